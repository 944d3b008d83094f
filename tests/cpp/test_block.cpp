// The block cipher and key schedule against FIPS-197's published examples.
#include <gtest/gtest.h>

#include <cstring>

#include "aes/aes128.h"
#include "hex.h"
#include "vectors.h"

namespace {

aes128_context context_for(const char* key_hex) {
    aes128_context context;
    const auto key = from_hex(key_hex);
    const std::uint8_t iv[16] = {};
    aes128_init(context, key.data(), iv);
    return context;
}

TEST(Block, Fips197C1Encrypts) {
    const aes128_context context = context_for(c1_key);
    auto state = from_hex(c1_plaintext);
    aes128_encrypt_block(state.data(), context);
    EXPECT_EQ(to_hex(state.data(), 16), c1_ciphertext);
}

TEST(Block, Fips197C1Decrypts) {
    const aes128_context context = context_for(c1_key);
    auto state = from_hex(c1_ciphertext);
    aes128_decrypt_block(state.data(), context);
    EXPECT_EQ(to_hex(state.data(), 16), c1_plaintext);
}

TEST(Block, LeavesChainBlockAlone) {
    aes128_context context = context_for(c1_key);
    std::memset(context.chain_block, 0xa5, 16);
    auto state = from_hex(c1_plaintext);
    aes128_encrypt_block(state.data(), context);
    aes128_decrypt_block(state.data(), context);
    EXPECT_EQ(to_hex(state.data(), 16), c1_plaintext);
    EXPECT_EQ(to_hex(context.chain_block, 16), "a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5");
}

// FIPS-197 appendix A.1: the whole key schedule, w[0] to w[43].
TEST(KeySchedule, Fips197A1AllWords) {
    const char* words[44] = {
        "2b7e1516", "28aed2a6", "abf71588", "09cf4f3c", "a0fafe17", "88542cb1", "23a33939",
        "2a6c7605", "f2c295f2", "7a96b943", "5935807a", "7359f67f", "3d80477d", "4716fe3e",
        "1e237e44", "6d7a883b", "ef44a541", "a8525b7f", "b671253b", "db0bad00", "d4d1c6f8",
        "7c839d87", "caf2b8bc", "11f915bc", "6d88a37a", "110b3efd", "dbf98641", "ca0093fd",
        "4e54f70e", "5f5fc9f3", "84a64fb2", "4ea6dc4f", "ead27321", "b58dbad2", "312bf560",
        "7f8d292f", "ac7766f3", "19fadc21", "28d12941", "575c006e", "d014f9a8", "c9ee2589",
        "e13f0cc8", "b6630ca6",
    };
    aes128_context context;
    const auto key = from_hex("2b7e151628aed2a6abf7158809cf4f3c");
    aes128_expand_key(context, key.data());
    for (int i = 0; i < 44; ++i) {
        EXPECT_EQ(to_hex(context.round_keys + 4 * i, 4), words[i]) << "w[" << i << "]";
    }
}

TEST(KeySchedule, InitLoadsIv) {
    aes128_context context;
    const auto key = from_hex(c1_key);
    const auto iv = from_hex("f0e1d2c3b4a5968778695a4b3c2d1e0f");
    aes128_init(context, key.data(), iv.data());
    EXPECT_EQ(to_hex(context.chain_block, 16), "f0e1d2c3b4a5968778695a4b3c2d1e0f");
    EXPECT_EQ(to_hex(context.round_keys, 16), c1_key);
}

}  // namespace
