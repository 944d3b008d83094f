// What the processor offers, asked once; each answer includes the operating
// system's support for the registers involved.
#pragma once

#include <cstdint>

#include "compiler.h"

KESTRELBOX_LOCAL_BEGIN

#if KESTRELBOX_X86_64

bool cpu_has_ssse3();
bool cpu_has_aesni();
bool cpu_has_vaes256();  // VAES with AVX2
bool cpu_has_vaes512();  // VAES with AVX-512F

// What CPUID and XGETBV report, as much as the choice reads: leaf 0's EAX,
// leaf 1's ECX, leaf 7's EBX and ECX, and XCR0, the register states the
// operating system saves. A leaf beyond the highest one, and XCR0 where
// leaf 1 says the operating system has not enabled XSAVE, count for nothing.
// On macOS, which gives a thread the AVX-512 state only at its first use,
// the AVX-512 bits are the kernel's hw.optional.avx512f.
struct x86_cpu_report {
    std::uint32_t highest_leaf;
    std::uint32_t leaf1_c;
    std::uint32_t leaf7_b;
    std::uint32_t leaf7_c;
    std::uint64_t xcr0;
};

struct x86_cpu_features {
    bool ssse3;
    bool aesni;
    bool vaes256;
    bool vaes512;
};

// The paths a report allows: each needs its instructions and, for the wide
// registers, the operating system's saving of their state, without which
// the first instruction that touches them faults.
x86_cpu_features x86_features_of(const x86_cpu_report& report);
#endif

#if KESTRELBOX_ARM64 || KESTRELBOX_ARM32
bool cpu_has_armv8_aes();  // the ARMv8 Crypto Extensions' AES instructions
#endif
#if KESTRELBOX_ARM32
bool cpu_has_neon();  // the Advanced SIMD instructions and their 32 D registers
#endif

// The paths an ARM processor allows, from what Linux reports of it in the
// auxiliary vector (AT_HWCAP, AT_HWCAP2), whose bits differ between 32-bit
// and 64-bit ARM: NEON for the vector-permute path, and the AES
// instructions, which work on the NEON registers, for the ARMv8 one. Plain
// integer logic, built on every target.
struct arm_cpu_features {
    bool neon;
    bool aes;
};

arm_cpu_features aarch32_features_of(std::uint64_t hwcap, std::uint64_t hwcap2);
arm_cpu_features aarch64_features_of(std::uint64_t hwcap);

// What the Linux kernel reports of a POWER processor, as much as the choice
// reads: AT_HWCAP and AT_HWCAP2.
struct ppc_cpu_report {
    std::uint64_t hwcap;
    std::uint64_t hwcap2;
};

struct ppc_cpu_features {
    bool vec_crypto;
};

// The paths a report allows: the POWER8 path needs the vector crypto
// instructions (PPC_FEATURE2_VEC_CRYPTO) and the rest of ISA 2.07 with VSX,
// for which its files are built. Built on every target, so that it is
// tested on every target.
ppc_cpu_features ppc_features_of(const ppc_cpu_report& report);

#if KESTRELBOX_PPC64
bool cpu_has_power8_crypto();  // POWER8's vector crypto instructions, VCIPHER and kin
#endif

// What the Linux kernel's hwprobe call reports of a RISC-V processor, as
// much as the choice reads: the extension bits of RISCV_HWPROBE_KEY_IMA_EXT_0,
// 0 where the kernel is too old to answer.
struct riscv_cpu_report {
    std::uint64_t ima_ext_0;
};

struct riscv_cpu_features {
    bool vector;  // the V extension, with the kernel's leave to use it
    bool zvkned;  // and the vector AES instructions besides
};

// The paths a report allows: the Zvkned path's files are built for V as
// well, so it needs both. Built on every target, so that it is tested on
// every target.
riscv_cpu_features riscv_features_of(const riscv_cpu_report& report);

#if KESTRELBOX_RISCV64
bool cpu_has_rvv();     // the V extension's registers and instructions
bool cpu_has_zvkned();  // with its AES instructions, vaesem and kin
#endif

KESTRELBOX_LOCAL_END
