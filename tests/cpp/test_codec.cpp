// The padding rule of the encoder and the final-byte rule of the decoder,
// checked through the engine's raw CBC.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "aes/aes128.h"
#include "aes/cbc_path.h"
#include "aes/compiler.h"
#include "codec/codec.h"

namespace {

const std::uint8_t key[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                              0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};
const std::uint8_t iv[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

byte_string bytes_of(const char* text) {
    return byte_string(text, text + std::strlen(text));
}

byte_string untouched() { return bytes_of("untouched"); }

std::vector<std::uint8_t> message_of(std::size_t length) {
    std::vector<std::uint8_t> message(length);
    for (std::size_t i = 0; i < length; ++i) {
        message[i] = static_cast<std::uint8_t>(0x30 + i * 7);
    }
    return message;
}

std::vector<std::uint8_t> raw_encrypt(std::vector<std::uint8_t> plain) {
    aes128_context context;
    aes128_init(context, key, iv);
    cbc_encrypt_in_place(context, plain.data(), plain.size());
    return plain;
}

std::vector<std::uint8_t> raw_decrypt(std::vector<std::uint8_t> cipher) {
    aes128_context context;
    aes128_init(context, key, iv);
    cbc_decrypt_in_place(context, cipher.data(), cipher.size());
    return cipher;
}

// Fills the stack below the caller, where the decoder's frame will lie,
// with a pattern that is not zero, so that a block it forgets to zero-fill
// decrypts to other bytes on every call.
KESTRELBOX_NOINLINE void fill_stack() {
    volatile std::uint8_t area[16 * 1024];
    for (auto& byte : area) {
        byte = 0xa5;
    }
}

std::int32_t decode(const std::vector<std::uint8_t>& cipher, byte_string& output) {
    fill_stack();
    return decode_message(cipher.data(), static_cast<std::int32_t>(cipher.size()), output, key, iv);
}

class EncoderPadding : public ::testing::TestWithParam<std::size_t> {};

TEST_P(EncoderPadding, AppendsTheRuleAndEncryptsWithCbc) {
    const std::size_t length = GetParam();
    const auto message = message_of(length);
    byte_string output = bytes_of("previous content is overwritten");
    const auto size = static_cast<std::int32_t>(length);
    ASSERT_EQ(encode_message(message.data(), size, output, key, iv), 0);

    const std::size_t rem = length % 16;
    std::vector<std::uint8_t> expected = message;
    expected.insert(expected.end(), 16 - rem, static_cast<std::uint8_t>(rem == 0 ? 0 : 16 - rem));
    ASSERT_EQ(output.size(), (length / 16 + 1) * 16);
    const std::vector<std::uint8_t> cipher(output.begin(), output.end());
    EXPECT_EQ(raw_decrypt(cipher), expected);
}

INSTANTIATE_TEST_SUITE_P(Lengths, EncoderPadding,
                         ::testing::Values(1, 2, 15, 16, 17, 31, 32, 33, 100, 1024));

// The result's size at the longest messages, whose padded size no longer
// fits the codec's signed 32 bits: asked for whole, before any message byte
// is read (the sink refuses, so none is).
TEST(Encoder, AsksForTheWholeResultAtTheLongestMessages) {
    struct refused {};
    for (const std::int32_t length : {INT32_MAX, INT32_MAX - 15, INT32_MAX - 16}) {
        std::size_t asked = 0;
        auto refuse = [](void* owner, std::size_t size) -> std::uint8_t* {
            *static_cast<std::size_t*>(owner) = size;
            throw refused();
        };
        const std::uint8_t unread = 0;
        EXPECT_THROW(encode_message(&unread, length, output_sink{refuse, &asked}, key, iv), refused);
        EXPECT_EQ(asked, (static_cast<std::size_t>(length) / 16 + 1) * 16) << length;
    }
}

TEST(Decoder, RoundTripsEveryShortLength) {
    for (std::size_t length = 1; length <= 48; ++length) {
        const auto message = message_of(length);
        byte_string cipher, output;
        encode_message(message.data(), static_cast<std::int32_t>(length), cipher, key, iv);
        ASSERT_EQ(decode_message(cipher.data(), static_cast<std::int32_t>(cipher.size()), output,
                                 key, iv),
                  0);
        EXPECT_EQ(std::vector<std::uint8_t>(output.begin(), output.end()), message) << length;
    }
}

// Two whole blocks whose final decrypted byte is `last`.
std::vector<std::uint8_t> cipher_ending_in(std::uint8_t last) {
    auto plain = message_of(32);
    plain[31] = last;
    return raw_encrypt(plain);
}

TEST(Decoder, FinalByteZeroStripsAWholeBlock) {
    byte_string output;
    ASSERT_EQ(decode(cipher_ending_in(0x00), output), 0);
    const auto plain = message_of(16);
    EXPECT_EQ(std::vector<std::uint8_t>(output.begin(), output.end()), plain);
}

TEST(Decoder, FinalByteOneToFifteenStripsThatMany) {
    for (int v = 1; v <= 15; ++v) {
        byte_string output;
        ASSERT_EQ(decode(cipher_ending_in(static_cast<std::uint8_t>(v)), output), 0);
        const auto plain = message_of(32);
        EXPECT_EQ(std::vector<std::uint8_t>(output.begin(), output.end()),
                  std::vector<std::uint8_t>(plain.begin(), plain.end() - v));
    }
}

TEST(Decoder, FinalByteSixteenOrMoreFailsAndLeavesOutputAlone) {
    for (int v : {0x10, 0x11, 0x7f, 0x80, 0xc3, 0xff}) {
        byte_string output = untouched();
        EXPECT_EQ(decode(cipher_ending_in(static_cast<std::uint8_t>(v)), output), -1) << v;
        EXPECT_EQ(output, untouched());
    }
}

TEST(Decoder, LengthZeroOrNegativeFails) {
    const std::uint8_t byte = 0;
    for (std::int32_t length : {0, -1, -16}) {
        byte_string output = untouched();
        EXPECT_EQ(decode_message(&byte, length, output, key, iv), -1);
        EXPECT_EQ(output, untouched());
    }
}

// A 16-byte ciphertext ending in 00 is the encoding of nothing.
TEST(Decoder, SingleBlockEndingInZeroIsEmpty) {
    byte_string output = untouched();
    ASSERT_EQ(decode(raw_encrypt(std::vector<std::uint8_t>(16, 0)), output), 0);
    EXPECT_TRUE(output.empty());
}

// A ciphertext that is not whole blocks is zero-filled to a block before
// decrypting; find inputs whose final byte lands in each class that the
// length allows (the length error only below 16 bytes) and check the outcome.
class PartialCiphertext : public ::testing::TestWithParam<std::size_t> {};

TEST_P(PartialCiphertext, FollowsTheFinalByteOverTheZeroFilledBlock) {
    const std::size_t length = GetParam();
    std::mt19937 random(static_cast<std::mt19937::result_type>(length));
    bool saw_error = length >= 16, saw_success = false, saw_failure = false;
    for (int attempt = 0; attempt < 4000 && !(saw_error && saw_success && saw_failure); ++attempt) {
        std::vector<std::uint8_t> cipher(length);
        for (auto& byte : cipher) {
            byte = static_cast<std::uint8_t>(random());
        }
        std::vector<std::uint8_t> filled = cipher;
        filled.resize((length / 16 + 1) * 16, 0);
        const auto plain = raw_decrypt(filled);
        const std::uint8_t v = plain[length - 1];
        const std::size_t stripped = v == 0 ? 16 : v;

        byte_string output = untouched();
        if (v >= 16) {
            EXPECT_EQ(decode(cipher, output), -1);
            saw_failure = true;
        } else if (stripped > length) {
            EXPECT_THROW(
                {
                    try {
                        decode(cipher, output);
                    } catch (const std::length_error& error) {
                        EXPECT_STREQ(error.what(), "string too long");
                        throw;
                    }
                },
                std::length_error);
            saw_error = true;
        } else {
            ASSERT_EQ(decode(cipher, output), 0);
            EXPECT_EQ(std::vector<std::uint8_t>(output.begin(), output.end()),
                      std::vector<std::uint8_t>(plain.begin(), plain.begin() + (length - stripped)));
            saw_success = true;
            continue;
        }
        EXPECT_EQ(output, untouched());
    }
    EXPECT_TRUE(saw_error && saw_success && saw_failure);
}

INSTANTIATE_TEST_SUITE_P(Lengths, PartialCiphertext,
                         ::testing::Values(5, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45,
                                           46, 47, 4133));

// Threads through the codec at once, both directions, sizes at random, keys
// of their own: every result is the one the portable path gives alone. The
// expected results never touch the chosen path, so the threads are the
// first to choose it; `make sanitize` runs this under ThreadSanitizer.
TEST(CodecThreads, AgreeWithThePortablePathAlone) {
    struct job {
        std::vector<std::uint8_t> message, key, iv, cipher;
    };
    std::mt19937 random(2024);
    std::vector<job> jobs(64);
    for (job& each : jobs) {
        each.message.resize(1 + random() % 70000);
        each.key.resize(16);
        each.iv.resize(16);
        for (auto* bytes : {&each.message, &each.key, &each.iv}) {
            for (auto& byte : *bytes) {
                byte = static_cast<std::uint8_t>(random());
            }
        }
        const std::size_t rem = each.message.size() % 16;
        each.cipher = each.message;
        each.cipher.insert(each.cipher.end(), 16 - rem,
                           static_cast<std::uint8_t>(rem == 0 ? 0 : 16 - rem));
        aes128_context context;
        aes128_expand_key(context, each.key.data());
        std::memcpy(context.chain_block, each.iv.data(), 16);
        cbc_encrypt_portable(context, each.cipher.data(), each.cipher.data(), each.cipher.size());
    }

    constexpr int thread_count = 4;
    std::vector<int> wrong(thread_count, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; ++t) {
        threads.emplace_back([&, t] {
            for (std::size_t n = 0; n < jobs.size(); ++n) {
                const job& each = jobs[(n + 16 * t) % jobs.size()];
                byte_string sealed, opened;
                encode_message(each.message.data(), static_cast<std::int32_t>(each.message.size()),
                               sealed, each.key.data(), each.iv.data());
                decode_message(each.cipher.data(), static_cast<std::int32_t>(each.cipher.size()),
                               opened, each.key.data(), each.iv.data());
                wrong[t] += !std::equal(sealed.begin(), sealed.end(), each.cipher.begin(),
                                        each.cipher.end()) +
                            !std::equal(opened.begin(), opened.end(), each.message.begin(),
                                        each.message.end());
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong, std::vector<int>(thread_count, 0));
}

}  // namespace
