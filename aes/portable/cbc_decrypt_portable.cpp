// CBC decryption (SP 800-38A 6.2) over the byte-oriented inverse cipher, one
// block at a time: the reference for every other path. `output` may be
// `input` itself, since each ciphertext block is kept before it is replaced.
#include <cstring>

#include "../cbc_path.h"
#include "steps.h"
#include "../wipe.h"

void cbc_decrypt_portable(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                          std::uint64_t length) {
    if (length == 0) {
        return;
    }
    const std::uint64_t blocks = (length - 1) / 16 + 1;
    std::uint8_t ciphertext[16];
    std::uint8_t state[16];
    for (std::uint64_t b = 0; b < blocks; ++b) {
        std::memcpy(ciphertext, input + 16 * b, 16);
        std::memcpy(state, ciphertext, 16);
        aes128_decrypt_block(state, context);
        add_round_key(state, context.chain_block);  // the chaining XOR
        std::memcpy(output + 16 * b, state, 16);
        std::memcpy(context.chain_block, ciphertext, 16);
    }
    wipe(state, sizeof state);
}
