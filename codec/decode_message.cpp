#include <cstring>
#include <stdexcept>

#include "../aes/aes128.h"
#include "../aes/wipe.h"
#include "codec.h"

// The final byte's verdict, the status and the message's length, is what the
// caller is told anyway. The constant-time check (`make ct`) declares it
// public here, the one place it is decided, so that anything else memcheck
// flags is a real leak.
#if defined(KESTRELBOX_CT)
#include <valgrind/memcheck.h>
#define declare_public(value) VALGRIND_MAKE_MEM_DEFINED(&(value), sizeof(value))
#else
#define declare_public(value) ((void)0)
#endif

// CBC decrypts any block on its own from the ciphertext block before it (the
// IV before the first), so the final block is decrypted first: its last byte
// decides the outcome and the result's size before anything is allocated.
// Then the blocks that hold message bytes are decrypted straight from the
// caller's bytes into the result.
std::int32_t decode_message(const std::uint8_t* data, std::int32_t length,
                            const output_sink& output, const std::uint8_t* key,
                            const std::uint8_t* iv) {
    if (length <= 0) {
        return -1;
    }
    const std::size_t size = static_cast<std::size_t>(length);
    const std::size_t final_start = (size - 1) / 16 * 16;

    // A partial final block is zero-filled so that it is decrypted whole
    // without reading past the caller's bytes.
    std::uint8_t final_block[16] = {};
    std::memcpy(final_block, data + final_start, size - final_start);
    aes128_context context;
    aes128_init(context, key, iv);
    if (final_start > 0) {
        std::memcpy(context.chain_block, data + final_start - 16, 16);
    }
    cbc_decrypt_in_place(context, final_block, 16);

    // Only the final byte is looked at: 0 strips a whole block, 1..15 strip
    // that many bytes, anything else is not padding this codec writes.
    const std::uint8_t last = final_block[size - 1 - final_start];
    const bool not_padding = last >= 16;
    const std::int64_t n = static_cast<std::int64_t>(size) - (last == 0 ? 16 : last);
    declare_public(not_padding);
    declare_public(n);
    if (not_padding || n < 0) {
        wipe(&context, sizeof context);
        wipe(final_block, sizeof final_block);
        wipe_stack();
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
        wipe(&context, sizeof context);
        wipe(final_block, sizeof final_block);
        wipe_stack();
        throw;
    }
    const std::size_t whole = message / 16 * 16;
    std::memcpy(context.chain_block, iv, 16);
    cbc_decrypt(context, out, data, whole);
    // The message's tail, when it ends inside a block: the final block is
    // already decrypted; an earlier one is decrypted on the stack.
    if (whole < message) {
        std::uint8_t* tail = final_block;
        std::uint8_t block[16];
        if (whole != final_start) {
            cbc_decrypt(context, block, data + whole, 16);
            tail = block;
        }
        std::memcpy(out + whole, tail, message - whole);
        wipe(block, sizeof block);
    }
    wipe(&context, sizeof context);
    wipe(final_block, sizeof final_block);
    wipe_stack();
    return 0;
}
