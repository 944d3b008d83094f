// The message codec: the module's padding rule around AES-128-CBC.
//
// Ciphertext is the CBC encryption of the message followed by 1 to 16 bytes
// of padding: with rem = length mod 16, rem 1..15 appends 16 - rem bytes of
// value 16 - rem, and rem 0 appends a whole block of zero bytes (never
// PKCS #7's block of 0x10).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "../aes/compiler.h"

KESTRELBOX_LOCAL_BEGIN

// Where the codec writes its result. It asks once, for exactly the size of
// the result, as soon as it knows it and only when the call will succeed,
// then writes every byte of it. `allocate` may throw (out of memory); the
// codec then lets the exception through having written nothing. Once
// `allocate` has returned, the codec neither throws nor calls back, so the
// owner may let go of the interpreter lock there until the codec returns.
struct output_sink {
    std::uint8_t* (*allocate)(void* owner, std::size_t size);
    void* owner;
};

// Pads and encrypts `length` (at least 1) bytes of `data` under the 16-byte
// `key` and `iv` into a result of (length / 16 + 1) * 16 bytes. Returns 0.
std::int32_t encode_message(const std::uint8_t* data, std::int32_t length,
                            const output_sink& output, const std::uint8_t* key,
                            const std::uint8_t* iv);

// Decrypts `length` bytes of ciphertext and strips the padding by its final
// byte alone. Returns 0 with the message as the result, or -1 when `length`
// is not positive or the final byte is 16 or more. Throws std::length_error
// ("string too long") when the final byte asks for more bytes than there are.
// Nothing is allocated unless 0 is returned.
std::int32_t decode_message(const std::uint8_t* data, std::int32_t length,
                            const output_sink& output, const std::uint8_t* key,
                            const std::uint8_t* iv);

// The same over a byte string, for callers in C++: `output` is resized to the
// result and overwritten, and left untouched unless 0 is returned.
using byte_string = std::vector<std::uint8_t>;
std::int32_t encode_message(const std::uint8_t* data, std::int32_t length, byte_string& output,
                            const std::uint8_t* key, const std::uint8_t* iv);
std::int32_t decode_message(const std::uint8_t* data, std::int32_t length, byte_string& output,
                            const std::uint8_t* key, const std::uint8_t* iv);

KESTRELBOX_LOCAL_END
