// CBC encryption (SP 800-38A 6.2) over the byte-oriented block cipher: the
// reference for every other path. Serial: each block is chained on the last.
// `output` may be `input` itself.
#include <cstring>

#include "../cbc_path.h"
#include "steps.h"

void cbc_encrypt_portable(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                          std::uint64_t length) {
    if (length == 0) {
        return;
    }
    const std::uint64_t blocks = (length - 1) / 16 + 1;
    const std::uint8_t* prev = context.chain_block;
    for (std::uint64_t b = 0; b < blocks; ++b) {
        std::uint8_t* block = output + 16 * b;
        std::memmove(block, input + 16 * b, 16);
        add_round_key(block, prev);  // the chaining XOR
        aes128_encrypt_block(block, context);
        prev = block;
    }
    std::memcpy(context.chain_block, prev, 16);
}
