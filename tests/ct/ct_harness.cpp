// Constant time checked by memcheck (the ctgrind technique): the key, the IV
// and the message are marked undefined, so any branch or memory address that
// depends on them is reported. `ct_harness <path>` runs one engine path
// (key schedule, CBC both ways); `ct_harness codec` runs the encoder and the
// decoder on the path the dispatch chooses. `make ct` runs it under valgrind.
#include <valgrind/memcheck.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "aes/cbc_path.h"
#include "codec/codec.h"

namespace {

constexpr std::size_t size = 16 * 75;  // every wide loop and its tail

void secret(void* memory, std::size_t bytes) { VALGRIND_MAKE_MEM_UNDEFINED(memory, bytes); }

void run_path(const cbc_path& path) {
    std::uint8_t key[16], iv[16];
    std::vector<std::uint8_t> buffer(size, 0x5c);
    secret(key, sizeof key);
    secret(iv, sizeof iv);
    secret(buffer.data(), buffer.size());
    aes128_context context;
    path.expand_key(context, key);
    std::memcpy(context.chain_block, iv, 16);
    path.encrypt(context, buffer.data(), buffer.data(), buffer.size());
    path.decrypt(context, buffer.data(), buffer.data(), buffer.size());
}

void run_codec() {
    std::uint8_t key[16], iv[16];
    secret(key, sizeof key);
    secret(iv, sizeof iv);
    for (const std::size_t length : {1u, 16u, 17u, 1000u}) {
        std::vector<std::uint8_t> message(length, 0x5c), sealed, opened;
        secret(message.data(), message.size());
        encode_message(message.data(), static_cast<std::int32_t>(length), sealed, key, iv);
        // Whatever the outcome: success, status -1 or the length error.
        for (const std::size_t cut : {std::size_t{0}, std::size_t{11}}) {
            try {
                decode_message(sealed.data(), static_cast<std::int32_t>(sealed.size() - cut),
                               opened, key, iv);
            } catch (const std::length_error&) {
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string name = argc > 1 ? argv[1] : "";
    if (name == "codec") {
        run_codec();
        std::printf("ran the codec on the %s path\n", cbc_fastest_path().name);
        return 0;
    }
    for (std::size_t i = 0; i < cbc_path_count; ++i) {
        if (name == cbc_paths[i].name) {
            if (!cbc_paths[i].available()) {
                std::printf("%s is not available here\n", name.c_str());
                return 2;
            }
            run_path(cbc_paths[i]);
            std::printf("ran the %s path\n", name.c_str());
            return 0;
        }
    }
    std::fprintf(stderr, "usage: ct_harness codec|<path name>\n");
    return 2;
}
