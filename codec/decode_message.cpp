#include <cstring>
#include <stdexcept>

#include "../aes/aes128.h"
#include "../aes/wipe.h"
#include "codec.h"

std::int32_t decode_message(const std::uint8_t* data, std::int32_t length, byte_string& output,
                            const std::uint8_t* key, const std::uint8_t* iv) {
    if (length <= 0) {
        return -1;
    }
    const std::size_t size = static_cast<std::size_t>(length);
    const std::size_t padded = ((size - 1) / 16 + 1) * 16;

    // A private copy of whole blocks. The whole blocks of the ciphertext are
    // decrypted straight from the caller's bytes into it; a partial last
    // block is copied in, zero-filled to a whole block so that it is
    // decrypted whole without reading past the caller's bytes, and decrypted
    // where it lies.
    byte_string working(padded);
    std::uint8_t* plain = working.data();
    const std::size_t whole = size - size % 16;

    aes128_context context;
    aes128_init(context, key, iv);
    cbc_decrypt(context, plain, data, whole);
    if (whole < size) {
        std::memcpy(plain + whole, data + whole, size - whole);
        std::memset(plain + size, 0, padded - size);
        cbc_decrypt_in_place(context, plain + whole, 16);
    }
    wipe(&context, sizeof context);

    // Only the final byte is looked at: 0 strips a whole block, 1..15 strip
    // that many bytes, anything else is not padding this codec writes.
    const std::uint8_t last = plain[size - 1];
    if (last >= 16) {
        wipe(plain, padded);
        return -1;
    }
    const std::int64_t n = static_cast<std::int64_t>(size) - (last == 0 ? 16 : last);
    if (n < 0) {
        wipe(plain, padded);
        throw std::length_error("string too long");
    }
    // Hand the decrypted copy over as the output: no second copy, nothing
    // that can throw, and the stripped padding erased first.
    wipe(plain + n, padded - static_cast<std::size_t>(n));
    working.resize(static_cast<std::size_t>(n));
    output.swap(working);
    return 0;
}
