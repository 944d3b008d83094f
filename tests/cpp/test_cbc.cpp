// The public CBC functions, whichever path they run on: lengths that are
// not whole blocks, a length of 0, and decryption undoing encryption. The
// vectors and chaining are checked per path in test_paths.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "aes/aes128.h"
#include "hex.h"
#include "vectors.h"

namespace {

aes128_context f2_context() {
    aes128_context context;
    aes128_init(context, from_hex(f2_key).data(), from_hex(f2_iv).data());
    return context;
}

TEST(Cbc, LengthZeroChangesNothing) {
    for (auto cbc : {cbc_encrypt_in_place, cbc_decrypt_in_place}) {
        aes128_context context = f2_context();
        std::vector<std::uint8_t> buffer(32, 0x5c);
        cbc(context, buffer.data(), 0);
        EXPECT_EQ(buffer, std::vector<std::uint8_t>(32, 0x5c));
        EXPECT_EQ(to_hex(context.chain_block, 16), f2_iv);
    }
}

// A partial last block is processed whole: 1 byte means 16, 17 means 32,
// and nothing beyond the last whole block is touched.
TEST(Cbc, PartialLengthsRoundUpToWholeBlocks) {
    for (std::uint64_t length : {1u, 17u}) {
        const std::size_t processed = (length + 15) / 16 * 16;
        aes128_context context = f2_context();
        auto buffer = from_hex(f2_plaintext);
        cbc_encrypt_in_place(context, buffer.data(), length);
        EXPECT_EQ(to_hex(buffer.data(), processed), std::string(f2_ciphertext, 2 * processed));
        EXPECT_EQ(to_hex(buffer.data() + processed, 64 - processed),
                  std::string(f2_plaintext + 2 * processed));

        context = f2_context();
        cbc_decrypt_in_place(context, buffer.data(), length);
        EXPECT_EQ(to_hex(buffer.data(), 64), f2_plaintext);
    }
}

TEST(Cbc, DecryptRestoresWhatEncryptMade) {
    std::mt19937 random(20261208);
    for (std::size_t blocks = 1; blocks <= 64; ++blocks) {
        std::vector<std::uint8_t> key(16), iv(16), plain(16 * blocks);
        for (auto* v : {&key, &iv, &plain}) {
            for (auto& byte : *v) {
                byte = static_cast<std::uint8_t>(random());
            }
        }
        auto buffer = plain;
        aes128_context context;
        aes128_init(context, key.data(), iv.data());
        cbc_encrypt_in_place(context, buffer.data(), buffer.size());
        ASSERT_NE(buffer, plain);
        aes128_init(context, key.data(), iv.data());
        cbc_decrypt_in_place(context, buffer.data(), buffer.size());
        ASSERT_EQ(buffer, plain) << blocks << " blocks";
    }
}

}  // namespace
