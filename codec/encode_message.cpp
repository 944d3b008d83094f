#include <cstring>

#include "../aes/aes128.h"
#include "../aes/wipe.h"
#include "codec.h"

std::int32_t encode_message(const std::uint8_t* data, std::int32_t length,
                            const output_sink& output, const std::uint8_t* key,
                            const std::uint8_t* iv) {
    const std::int32_t rem = length % 16;
    const std::size_t full = static_cast<std::size_t>(length - rem);

    // The result before the key is expanded, so that running out of memory
    // cannot leave round keys behind on the stack.
    std::uint8_t* out = output.allocate(output.owner, full + 16);

    // The whole blocks go straight from the caller's bytes into the result;
    // the last block, the message's tail and the padding, is built on the
    // stack.
    const std::uint8_t pad = rem == 0 ? 0 : static_cast<std::uint8_t>(16 - rem);
    std::uint8_t last[16];
    std::memcpy(last, data + full, static_cast<std::size_t>(rem));
    std::memset(last + rem, pad, static_cast<std::size_t>(16 - rem));

    aes128_context context;
    aes128_init(context, key, iv);
    cbc_encrypt(context, out, data, full);
    cbc_encrypt(context, out + full, last, 16);
    wipe(&context, sizeof context);
    wipe(last, sizeof last);
    wipe_stack();
    return 0;
}
