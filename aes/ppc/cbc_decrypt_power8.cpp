// CBC decryption with POWER8's vector crypto instructions, eight blocks in
// flight to cover VNCIPHER's latency. VNCIPHER adds its key before
// InvMixColumns, the order of the inverse cipher itself, so the round keys
// serve as they are; VNCIPHERLAST takes round key 0 with the previous
// ciphertext already added, which finishes the chaining XOR inside it.
#include "../compiler.h"

#if KESTRELBOX_PPC64

#include "../cbc_path.h"
#include "../wipe.h"
#include "power8_keys.h"

namespace {

constexpr int in_flight = 8;

block_vector decrypt_block(block_vector block, const block_vector keys[11],
                           block_vector previous) {
    block = block ^ keys[10];
    KESTRELBOX_UNROLL
    for (int r = 9; r > 0; --r) {
        block = vec_ncipher_be(block, keys[r]);
    }
    return vec_ncipherlast_be(block, keys[0] ^ previous);
}

}  // namespace

void cbc_decrypt_power8(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                        std::uint64_t length) {
    if (length == 0) {
        return;
    }
    const std::uint64_t blocks = (length - 1) / 16 + 1;
    block_vector keys[11];
    load_round_keys(keys, context);
    block_vector prev = load_block(context.chain_block);

    std::uint64_t b = 0;
    for (; b + in_flight <= blocks; b += in_flight) {
        block_vector c[in_flight], x[in_flight];
        KESTRELBOX_UNROLL
        for (int i = 0; i < in_flight; ++i) {
            c[i] = load_block(input + 16 * (b + i));
            x[i] = c[i] ^ keys[10];
        }
        KESTRELBOX_UNROLL
        for (int r = 9; r > 0; --r) {
            KESTRELBOX_UNROLL
            for (int i = 0; i < in_flight; ++i) {
                x[i] = vec_ncipher_be(x[i], keys[r]);
            }
        }
        store_block(output + 16 * b, vec_ncipherlast_be(x[0], keys[0] ^ prev));
        KESTRELBOX_UNROLL
        for (int i = 1; i < in_flight; ++i) {
            store_block(output + 16 * (b + i), vec_ncipherlast_be(x[i], keys[0] ^ c[i - 1]));
        }
        prev = c[in_flight - 1];
    }
    for (; b < blocks; ++b) {
        const block_vector c = load_block(input + 16 * b);
        store_block(output + 16 * b, decrypt_block(c, keys, prev));
        prev = c;
    }
    store_block(context.chain_block, prev);
    clear_vsx_registers();
    wipe(keys, sizeof keys);
}

#endif
