// CBC decryption in bit planes, four blocks at a time in the four slots, a
// tail of one to three blocks with the other slots idle. The ciphertext is
// kept for the chaining XOR before `output`, which may be `input`, is
// written.
#include <cstring>

#include "../cbc_path.h"
#include "../wipe.h"
#include "bitsliced.h"

namespace {

constexpr std::uint64_t in_flight = 4;

// A round in frame a, InvShiftRows skipped.
template <int a>
inline void inv_round(std::uint64_t q[8], const std::uint64_t* key) {
    aes128_inv_sub_bytes_bitsliced(q);
    add_round_key(q, key);
    inv_mix_columns<a>(q);
}

}  // namespace

void cbc_decrypt_bitsliced(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                           std::uint64_t length) {
    if (length == 0) {
        return;
    }
    const std::uint64_t blocks = (length - 1) / 16 + 1;
    std::uint64_t keys[88];
    load_round_keys<2>(keys, context, blocks > 1);  // a lone block: slot 0
    std::uint64_t q[8] = {};
    // The block before each of the four, then the last one read.
    std::uint8_t chain[16 * (in_flight + 1)];
    std::memcpy(chain, context.chain_block, 16);
    for (std::uint64_t b = 0; b < blocks; b += in_flight) {
        const int count = static_cast<int>(blocks - b < in_flight ? blocks - b : in_flight);
        std::memcpy(chain + 16, input + 16 * b, 16 * static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            load_block(q, i, chain + 16 * (i + 1));
        }
        transpose(q);
        add_round_key(q, keys + 80);
        // Round r leaves the state in frame (10 - r) & 3.
        for (int r = 9; r > 1; r -= 4) {
            inv_round<1>(q, keys + 8 * r);
            inv_round<2>(q, keys + 8 * (r - 1));
            inv_round<3>(q, keys + 8 * (r - 2));
            inv_round<0>(q, keys + 8 * (r - 3));
        }
        inv_round<1>(q, keys + 8);
        aes128_inv_sub_bytes_bitsliced(q);
        add_round_key(q, keys);
        shift_rows_twice(q);
        transpose(q);
        for (int i = 0; i < count; ++i) {
            std::uint8_t* block = output + 16 * (b + static_cast<std::uint64_t>(i));
            store_block(block, q, i);
            for (int j = 0; j < 16; ++j) {
                block[j] ^= chain[16 * i + j];
            }
        }
        std::memcpy(chain, chain + 16 * count, 16);
    }
    std::memcpy(context.chain_block, chain, 16);
    wipe(keys, sizeof keys);
    wipe(q, sizeof q);
}
