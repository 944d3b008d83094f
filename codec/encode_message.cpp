#include <cstring>

#include "../aes/aes128.h"
#include "../aes/wipe.h"
#include "codec.h"

std::int32_t encode_message(const std::uint8_t* data, std::int32_t length, byte_string& output,
                            const std::uint8_t* key, const std::uint8_t* iv) {
    const std::int32_t rem = length % 16;
    const std::size_t full = static_cast<std::size_t>(length - rem);

    // Size the output before the key is expanded, so that running out of
    // memory cannot leave round keys behind on the stack.
    output.resize(full + 16);
    std::uint8_t* out = output.data();

    // The last block is the message's tail and the padding; the whole blocks
    // before it are encrypted straight from the caller's bytes, which saves
    // copying the message first.
    const std::uint8_t pad = rem == 0 ? 0 : static_cast<std::uint8_t>(16 - rem);
    std::memcpy(out + full, data + full, static_cast<std::size_t>(rem));
    std::memset(out + full + rem, pad, static_cast<std::size_t>(16 - rem));

    aes128_context context;
    aes128_init(context, key, iv);
    cbc_encrypt(context, out, data, full);
    cbc_encrypt_in_place(context, out + full, 16);
    wipe(&context, sizeof context);
    return 0;
}
