// libFuzzer target over the codec. The input is a 16-byte key, a 16-byte IV
// and then data of any length. The data is encoded and decoded back, and it
// is also decoded as it stands, as ciphertext of any length, against the
// final-byte rule worked out here with the portable engine over a
// zero-filled copy. Sanitizers catch any read or write outside a buffer.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "aes/cbc_path.h"
#include "codec/codec.h"

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// What decode_message must do with `cipher`: -1, an error (-2), or 0 with
// the message it must give.
int expected_decode(const std::uint8_t* key, const std::uint8_t* iv,
                    const std::vector<std::uint8_t>& cipher, std::vector<std::uint8_t>& message) {
    if (cipher.empty()) {
        return -1;
    }
    std::vector<std::uint8_t> plain(cipher);
    plain.resize((cipher.size() + 15) / 16 * 16, 0);
    aes128_context context;
    aes128_expand_key(context, key);
    std::memcpy(context.chain_block, iv, 16);
    cbc_decrypt_portable(context, plain.data(), plain.data(), plain.size());
    const std::uint8_t last = plain[cipher.size() - 1];
    if (last >= 16) {
        return -1;
    }
    const long n = static_cast<long>(cipher.size()) - (last == 0 ? 16 : last);
    if (n < 0) {
        return -2;
    }
    message.assign(plain.begin(), plain.begin() + n);
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size < 32 || size - 32 > (1u << 20)) {
        return 0;
    }
    const std::uint8_t* key = input;
    const std::uint8_t* iv = input + 16;
    // An exactly sized heap copy, so a read past the end is caught.
    const std::vector<std::uint8_t> data(input + 32, input + size);
    const auto length = static_cast<std::int32_t>(data.size());

    if (!data.empty()) {
        byte_string cipher, message;
        require(encode_message(data.data(), length, cipher, key, iv) == 0);
        require(cipher.size() == (data.size() / 16 + 1) * 16);
        const std::vector<std::uint8_t> sealed(cipher.begin(), cipher.end());
        require(decode_message(sealed.data(), static_cast<std::int32_t>(sealed.size()), message,
                               key, iv) == 0);
        require(std::equal(data.begin(), data.end(), message.begin(), message.end()));
    }

    std::vector<std::uint8_t> message;
    const int expected = expected_decode(key, iv, data, message);
    const char* sentinel = "untouched";
    byte_string output(sentinel, sentinel + 9);
    int status;
    try {
        status = decode_message(data.data(), length, output, key, iv);
    } catch (const std::length_error& error) {
        require(std::strcmp(error.what(), "string too long") == 0);
        status = -2;
    }
    require(status == expected);
    if (status == 0) {
        require(std::equal(message.begin(), message.end(), output.begin(), output.end()));
    } else {
        require(output == byte_string(sentinel, sentinel + 9));
    }
    return 0;
}
