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

    // The last two blocks, the message's end and the padding, are built on
    // the stack; the whole blocks before them go straight from the caller's
    // bytes into the result. A message under two blocks costs one pass of
    // the engine.
    const std::size_t tail_start = full >= 16 ? full - 16 : 0;
    const std::size_t tail_size = full + 16 - tail_start;
    const std::uint8_t pad = rem == 0 ? 0 : static_cast<std::uint8_t>(16 - rem);
    // The secrets the call holds, side by side so that one wipe clears them:
    // the message's last bytes, and the round keys and chaining block.
    struct {
        std::uint8_t tail[32];
        aes128_context context;
    } held;
    std::uint8_t* const tail = held.tail;
    aes128_context& context = held.context;
    const std::size_t kept = static_cast<std::size_t>(length) - tail_start;
    // The padding byte over the whole tail first, a fixed size filled
    // inline, then the message's end over it.
    std::memset(tail, pad, sizeof held.tail);
    std::memcpy(tail, data + tail_start, kept);

    aes128_init(context, key, iv);
    if (tail_start > 0) {
        cbc_encrypt(context, out, data, tail_start);
    }
    cbc_encrypt(context, out + tail_start, tail, tail_size);
    wipe_record(held);
    wipe_stack(cbc_stack_bytes(0));
    return 0;
}
