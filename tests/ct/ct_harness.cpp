// Constant time checked by a tool that tracks undefined memory: the key, the
// IV and the message are marked undefined, so any branch or memory address
// that depends on them is reported. Built for valgrind's memcheck (the
// ctgrind technique), or with MemorySanitizer, which runs the VAES paths that
// valgrind hides. `ct_harness <path>` runs one engine path (key schedule,
// CBC both ways); `ct_harness codec` runs the encoder and the decoder on the
// path the dispatch chooses; `ct_harness paths` lists the paths available
// here. Any other name, or a path not available, fails. `make ct` runs it.
#if defined(__has_feature)
#if __has_feature(memory_sanitizer)
#define KESTRELBOX_MSAN 1
#endif
#endif
#if defined(KESTRELBOX_MSAN)
#include <sanitizer/msan_interface.h>
#else
#include <valgrind/memcheck.h>
#endif

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "aes/cbc_path.h"
#include "codec/codec.h"

namespace {

constexpr std::size_t size = 16 * 75;  // every wide loop and its tail

#if defined(KESTRELBOX_MSAN)
void secret(void* memory, std::size_t bytes) { __msan_poison(memory, bytes); }
#else
void secret(void* memory, std::size_t bytes) { VALGRIND_MAKE_MEM_UNDEFINED(memory, bytes); }
#endif

// Under memcheck the key is secret and the path runs its key schedule and
// both directions. MemorySanitizer reports any secret operand of an asm
// statement or of AESKEYGENASSIST, which it cannot follow, so the key
// schedule and the encryption (the AES-NI path's, on every x86 path) are
// left to memcheck: there the round keys are secret and the path decrypts.
void run_path(const cbc_path& path) {
    std::uint8_t key[16] = {}, iv[16] = {};
    std::vector<std::uint8_t> buffer(size, 0x5c);
    aes128_context context;
#if defined(KESTRELBOX_MSAN)
    path.expand_key(context, key);
    secret(context.round_keys, sizeof context.round_keys);
#else
    secret(key, sizeof key);
    path.expand_key(context, key);
#endif
    secret(iv, sizeof iv);
    secret(buffer.data(), buffer.size());
    std::memcpy(context.chain_block, iv, 16);
#if !defined(KESTRELBOX_MSAN)
    path.encrypt(context, buffer.data(), buffer.data(), buffer.size());
#endif
    path.decrypt(context, buffer.data(), buffer.data(), buffer.size());
}

// Both directions under memcheck; under MemorySanitizer, for the reason
// above, the decoder alone with the key public.
void run_codec() {
    std::uint8_t key[16] = {}, iv[16] = {};
#if !defined(KESTRELBOX_MSAN)
    secret(key, sizeof key);
#endif
    secret(iv, sizeof iv);
    for (const std::size_t length : {1u, 16u, 17u, 1000u}) {
        std::vector<std::uint8_t> message(length, 0x5c), sealed((length / 16 + 1) * 16, 0x3a),
            opened;
        secret(message.data(), message.size());
        secret(sealed.data(), sealed.size());
#if !defined(KESTRELBOX_MSAN)
        encode_message(message.data(), static_cast<std::int32_t>(length), sealed, key, iv);
#endif
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
    if (name == "paths") {
        for (std::size_t i = 0; i < cbc_path_count; ++i) {
            if (cbc_paths[i].available()) {
                std::printf("%s\n", cbc_paths[i].name);
            }
        }
        return 0;
    }
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
    std::fprintf(stderr, "usage: ct_harness paths|codec|<path name>\n");
    return 2;
}
