// CBC decryption (SP 800-38A 6.2), one block at a time.
#include <cstring>

#include "aes128.h"

void cbc_decrypt_in_place(aes128_context& context, std::uint8_t* buffer, std::uint64_t length) {
    if (length == 0) {
        return;
    }
    const std::uint64_t blocks = (length - 1) / 16 + 1;
    for (std::uint64_t b = 0; b < blocks; ++b) {
        std::uint8_t* block = buffer + 16 * b;
        std::uint8_t ciphertext[16];
        std::memcpy(ciphertext, block, 16);
        aes128_decrypt_block(block, context);
        for (int i = 0; i < 16; ++i) {
            block[i] ^= context.chain_block[i];
        }
        std::memcpy(context.chain_block, ciphertext, 16);
    }
}
