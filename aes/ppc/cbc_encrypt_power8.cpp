// CBC encryption with POWER8's vector crypto instructions, one block at a
// time: each block needs the previous ciphertext, so VCIPHER's latency sets
// the speed. VCIPHERLAST adds its key last, so it takes the last round key
// with the next block's whitened plaintext already added: its result is
// the next block's first round input, and the chain holds ten instructions
// and nothing else.
#include "../compiler.h"

#if KESTRELBOX_PPC64

#include "../cbc_path.h"
#include "../wipe.h"
#include "power8_keys.h"

void cbc_encrypt_power8(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                        std::uint64_t length) {
    if (length == 0) {
        return;
    }
    const std::uint64_t blocks = (length - 1) / 16 + 1;
    block_vector keys[11];
    load_round_keys(keys, context);
    block_vector state = load_block(context.chain_block) ^ load_block(input) ^ keys[0];
    for (std::uint64_t b = 0; b + 1 < blocks; ++b) {
        KESTRELBOX_UNROLL
        for (int r = 1; r < 10; ++r) {
            state = vec_cipher_be(state, keys[r]);
        }
        // Read before this block's ciphertext is stored: in place, the two
        // are neighbours, not the same bytes.
        const block_vector whitened = load_block(input + 16 * (b + 1)) ^ keys[0];
        state = vec_cipherlast_be(state, keys[10] ^ whitened);
        store_block(output + 16 * b, state ^ whitened);
    }
    KESTRELBOX_UNROLL
    for (int r = 1; r < 10; ++r) {
        state = vec_cipher_be(state, keys[r]);
    }
    state = vec_cipherlast_be(state, keys[10]);
    store_block(output + 16 * (blocks - 1), state);
    store_block(context.chain_block, state);
    clear_vsx_registers();
    wipe(keys, sizeof keys);
}

#endif
