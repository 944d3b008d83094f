// Constant tables of FIPS-197, shared read-only by every call.
#pragma once

#include <cstdint>

#include "../compiler.h"

KESTRELBOX_LOCAL_BEGIN

extern const std::uint8_t aes_sbox[256];      // figure 7
extern const std::uint8_t aes_inv_sbox[256];  // figure 14
extern const std::uint8_t aes_rcon[11];       // first byte of Rcon[i div 4]; entry 0 unused

KESTRELBOX_LOCAL_END
