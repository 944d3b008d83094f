// AES-128 (FIPS-197, Nk = 4, Nr = 10) and CBC mode (SP 800-38A 6.2) over
// caller-owned buffers. The engine allocates nothing, checks nothing and
// cannot fail: key, IV and buffer sizes are the caller's guarantee.
#pragma once

#include <cstddef>
#include <cstdint>

#include "compiler.h"

KESTRELBOX_LOCAL_BEGIN

struct aes128_context {
    std::uint8_t round_keys[176];  // round key r is bytes 16r .. 16r+15
    std::uint8_t chain_block[16];  // the IV, then the last ciphertext block
};

// Expands the 16-byte key and loads the 16-byte IV into chain_block. The
// schedule is the same on every path; the chosen path computes it.
void aes128_init(aes128_context& context, const std::uint8_t* key, const std::uint8_t* iv);

// Fills round_keys from the 16 key bytes (FIPS-197 section 5.2).
void aes128_expand_key(aes128_context& context, const std::uint8_t* key);

// One block in place; chain_block is neither read nor written.
void aes128_encrypt_block(std::uint8_t* state, const aes128_context& context);
void aes128_decrypt_block(std::uint8_t* state, const aes128_context& context);

// CBC over ((length - 1) / 16 + 1) whole blocks in place, so a partial last
// block is processed whole and the buffer must hold it. A length of 0 changes
// nothing. Afterwards chain_block holds the last ciphertext block, so calls
// on one context continue one another.
void cbc_encrypt_in_place(aes128_context& context, std::uint8_t* buffer, std::uint64_t length);
void cbc_decrypt_in_place(aes128_context& context, std::uint8_t* buffer, std::uint64_t length);

// The same from `input` into `output`, which must not overlap, so that a
// copy can be encrypted or decrypted in the same pass that makes it.
void cbc_encrypt(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                 std::uint64_t length);
void cbc_decrypt(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                 std::uint64_t length);

// How far below the caller's frame a key schedule, encryption, and
// decryption of buffers up to `decrypted` bytes (0: none) may have written
// on the paths chosen for them: what the caller's stack wipe must clear.
std::size_t cbc_stack_bytes(std::uint64_t decrypted);

KESTRELBOX_LOCAL_END
