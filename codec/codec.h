// The message codec: the module's padding rule around AES-128-CBC.
//
// Ciphertext is the CBC encryption of the message followed by 1 to 16 bytes
// of padding: with rem = length mod 16, rem 1..15 appends 16 - rem bytes of
// value 16 - rem, and rem 0 appends a whole block of zero bytes (never
// PKCS #7's block of 0x10).
#pragma once

#include <cstdint>

#include "byte_string.h"

// Pads and encrypts `length` (at least 1) bytes of `data` under the 16-byte
// `key` and `iv`; `output` is overwritten with the ciphertext. Returns 0.
std::int32_t encode_message(const std::uint8_t* data, std::int32_t length, byte_string& output,
                            const std::uint8_t* key, const std::uint8_t* iv);

// Decrypts `length` bytes of ciphertext and strips the padding by its final
// byte alone. Returns 0 with the message in `output`, or -1 when `length` is
// not positive or the final byte is 16 or more. Throws std::length_error
// ("string too long") when the final byte asks for more bytes than there are.
// `output` is untouched unless 0 is returned.
std::int32_t decode_message(const std::uint8_t* data, std::int32_t length, byte_string& output,
                            const std::uint8_t* key, const std::uint8_t* iv);
