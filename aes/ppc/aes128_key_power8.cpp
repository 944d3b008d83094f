// The key schedule with POWER8's VSBOX: SubWord without a table, on a word
// repeated across the vector, since VSBOX substitutes every byte in place.
#include "../compiler.h"

#if KESTRELBOX_PPC64

#include <cstring>

#include "../cbc_path.h"
#include "../wipe.h"
#include "../key_words.h"
#include "power8_keys.h"

namespace {

std::uint32_t sub_word(std::uint32_t word) {
    const block_vector words = reinterpret_cast<block_vector>(vec_splats(word));
    return vec_extract(reinterpret_cast<__vector unsigned int>(vec_sbox_be(words)), 0);
}

}  // namespace

void aes128_expand_key_power8(aes128_context& context, const std::uint8_t* key) {
    std::uint32_t w[44];
    expand_key_words(w, key, sub_word);
    std::memcpy(context.round_keys, w, sizeof w);
    clear_vsx_registers();
    wipe(w, sizeof w);
}

#endif
