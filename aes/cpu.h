// What the processor offers, asked once; each answer includes the operating
// system's support for the registers involved.
#pragma once

#include "compiler.h"

#if KESTRELBOX_X86_64
#include <cstdint>

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

#if KESTRELBOX_ARM64
bool cpu_has_armv8_aes();  // the ARMv8 Crypto Extensions' AES instructions
#endif
