// What the processor offers, asked once; each answer includes the operating
// system's support for the registers involved.
#pragma once

#if defined(__x86_64__)
bool cpu_has_aesni();
bool cpu_has_vaes256();  // VAES with AVX2
bool cpu_has_vaes512();  // VAES with AVX-512F
#endif

#if defined(__aarch64__)
bool cpu_has_armv8_aes();  // the ARMv8 Crypto Extensions' AES instructions
#endif
