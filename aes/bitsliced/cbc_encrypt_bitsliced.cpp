// CBC encryption in bit planes, one block at a time in slot 0: each block
// needs the ciphertext of the one before, so three of the four slots carry
// nothing, and this direction runs at a quarter of the circuit's width.
#include <cstring>

#include "../cbc_path.h"
#include "../wipe.h"
#include "bitsliced.h"

namespace {

// A round in frame a, ShiftRows skipped.
template <int a>
inline void round(std::uint64_t q[8], const std::uint64_t* key) {
    aes128_sub_bytes_bitsliced(q);
    mix_columns<a>(q);
    add_round_key(q, key);
}

}  // namespace

void cbc_encrypt_bitsliced(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                           std::uint64_t length) {
    if (length == 0) {
        return;
    }
    const std::uint64_t blocks = (length - 1) / 16 + 1;
    std::uint64_t keys[88];
    load_round_keys<0>(keys, context, false);  // slot 0 alone
    std::uint64_t q[8] = {};
    std::uint8_t state[16];
    std::memcpy(state, context.chain_block, 16);
    for (std::uint64_t b = 0; b < blocks; ++b) {
        for (int i = 0; i < 16; ++i) {
            state[i] ^= input[16 * b + i];  // the chaining XOR
        }
        load_block(q, 0, state);
        transpose(q);
        add_round_key(q, keys);
        // Round r leaves the state in frame -r & 3.
        for (int r = 1; r < 9; r += 4) {
            round<3>(q, keys + 8 * r);
            round<2>(q, keys + 8 * (r + 1));
            round<1>(q, keys + 8 * (r + 2));
            round<0>(q, keys + 8 * (r + 3));
        }
        round<3>(q, keys + 72);
        aes128_sub_bytes_bitsliced(q);
        add_round_key(q, keys + 80);
        shift_rows_twice(q);
        transpose(q);
        store_block(state, q, 0);
        std::memcpy(output + 16 * b, state, 16);
    }
    std::memcpy(context.chain_block, state, 16);
    wipe(keys, sizeof keys);
    wipe(q, sizeof q);
}
