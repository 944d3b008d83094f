// What the processor offers, asked once; each answer includes the operating
// system's support for the registers involved.
#pragma once

#include <cstdint>

#include "compiler.h"

#if KESTRELBOX_X86_64
bool cpu_has_ssse3();
bool cpu_has_aesni();
bool cpu_has_vaes256();  // VAES with AVX2
bool cpu_has_vaes512();  // VAES with AVX-512F

// What CPUID and XGETBV report, as much as the choice reads: leaf 0's EAX,
// leaf 1's ECX, leaf 7's EBX and ECX, and XCR0, the register states the
// operating system saves. A leaf beyond the highest one, and XCR0 where
// leaf 1 says the operating system has not enabled XSAVE, count for nothing.
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
