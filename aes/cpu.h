// What the processor offers, asked once; each answer includes the operating
// system's support for the registers involved.
#pragma once

#include "compiler.h"

#if KESTRELBOX_X86_64
bool cpu_has_ssse3();
bool cpu_has_aesni();
bool cpu_has_vaes256();  // VAES with AVX2
bool cpu_has_vaes512();  // VAES with AVX-512F
#endif

#if KESTRELBOX_ARM64
bool cpu_has_armv8_aes();  // the ARMv8 Crypto Extensions' AES instructions
#endif
