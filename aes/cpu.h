// What the processor offers, asked once; each answer includes the operating
// system's support for the registers involved.
#pragma once

bool cpu_has_aesni();
bool cpu_has_vaes256();  // VAES with AVX2
bool cpu_has_vaes512();  // VAES with AVX-512F
