#include <cstring>
#include <stdexcept>

#include "../aes/aes128.h"
#include "../aes/wipe.h"
#include "codec.h"

// The final byte's verdict, the status and the message's length, is what the
// caller is told anyway. The constant-time check (`make ct`) declares it
// public here, the one place it is decided, so that anything else its tools
// flag is a real leak.
#if defined(KESTRELBOX_CT) && defined(__has_feature)
#if __has_feature(memory_sanitizer)
#define KESTRELBOX_CT_MSAN 1
#endif
#endif
#if defined(KESTRELBOX_CT_MSAN)
#include <sanitizer/msan_interface.h>
#define declare_public(value) __msan_unpoison(&(value), sizeof(value))
#elif defined(KESTRELBOX_CT)
#include <valgrind/memcheck.h>
#define declare_public(value) VALGRIND_MAKE_MEM_DEFINED(&(value), sizeof(value))
#else
#define declare_public(value) ((void)0)
#endif

// Copies `size` bytes, at most 32: two fixed-size copies that overlap as
// much as they must, put inline where a call of memcpy would cost more.
static void copy_short(std::uint8_t* to, const std::uint8_t* from, std::size_t size) {
    if (size >= 16) {
        std::memcpy(to, from, 16);
        std::memcpy(to + size - 16, from + size - 16, 16);
    } else if (size >= 8) {
        std::memcpy(to, from, 8);
        std::memcpy(to + size - 8, from + size - 8, 8);
    } else if (size >= 4) {
        std::memcpy(to, from, 4);
        std::memcpy(to + size - 4, from + size - 4, 4);
    } else {
        for (std::size_t i = 0; i < size; ++i) {
            to[i] = from[i];
        }
    }
}

// CBC decrypts any block on its own from the ciphertext block before it (the
// IV before the first), so the last two blocks are decrypted first, on the
// stack: the final byte decides the outcome and the result's size before
// anything is allocated. At most 16 bytes are stripped, so the message
// reaches into those two blocks; the blocks before them are decrypted
// straight from the caller's bytes into the result, and the rest is copied
// from the stack. A message of one or two blocks costs one pass of the
// engine.
std::int32_t decode_message(const std::uint8_t* data, std::int32_t length,
                            const output_sink& output, const std::uint8_t* key,
                            const std::uint8_t* iv) {
    if (length <= 0) {
        return -1;
    }
    const std::size_t size = static_cast<std::size_t>(length);
    const std::size_t blocks = (size - 1) / 16 + 1;
    const std::size_t tail_start = blocks > 2 ? 16 * (blocks - 2) : 0;

    // The secrets the call holds, side by side so that one wipe clears them:
    // the round keys and chaining block, and the last two blocks decrypted.
    struct {
        aes128_context context;
        std::uint8_t tail[32];
    } held;
    aes128_context& context = held.context;
    std::uint8_t* const tail = held.tail;

    // The key schedule first: the blocks wait on its chain of ten steps, and
    // the copy below runs beside it. Two whole blocks, the usual case, are
    // copied inline; a shorter tail is zero-filled first, so that a partial
    // final block is decrypted whole without reading past the caller's bytes.
    aes128_init(context, key, iv);
    const std::size_t kept = size - tail_start;
    if (kept == sizeof held.tail) {
        std::memcpy(tail, data + tail_start, sizeof held.tail);
    } else {
        std::memset(tail, 0, sizeof held.tail);
        std::memcpy(tail, data + tail_start, kept);
    }
    if (tail_start > 0) {
        std::memcpy(context.chain_block, data + tail_start - 16, 16);
    }
    cbc_decrypt_in_place(context, tail, kept);
    // On every way out: the context, the decrypted blocks, and the stack the
    // engine used.
    const std::size_t stack_bytes = cbc_stack_bytes(size);
    const auto forget = [&] {
        wipe_record(held);
        wipe_stack(stack_bytes);
    };

    // Only the final byte is looked at: 0 strips a whole block, 1..15 strip
    // that many bytes, anything else is not padding this codec writes.
    const std::uint8_t last = tail[size - 1 - tail_start];
    const bool not_padding = last >= 16;
    const std::int64_t n = static_cast<std::int64_t>(size) - (last == 0 ? 16 : last);
    declare_public(not_padding);
    declare_public(n);
    if (not_padding || n < 0) {
        forget();
        if (not_padding) {
            return -1;
        }
        throw std::length_error("string too long");
    }

    const std::size_t message = static_cast<std::size_t>(n);
    std::uint8_t* out;
    try {
        out = output.allocate(output.owner, message);
    } catch (...) {
        forget();
        throw;
    }
    if (tail_start > 0) {
        std::memcpy(context.chain_block, iv, 16);
        cbc_decrypt(context, out, data, tail_start);
    }
    copy_short(out + tail_start, tail, message - tail_start);
    forget();
    return 0;
}
