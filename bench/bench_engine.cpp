// Each engine path in bytes per second: CBC encryption and decryption at
// 16 B, 1 KiB and 64 KiB, in place, key schedule excluded. Then the codec
// alone, as the module calls it but for Python: encoding messages of 1, 2
// and 4 blocks and decoding ciphertexts of as many, key schedule, padding,
// wipes and all, into a result allocated once.
#include <benchmark/benchmark.h>

#include <vector>

#include "aes/cbc_path.h"
#include "codec/codec.h"

namespace {

aes128_context context_for(const cbc_path& path) {
    const std::uint8_t key[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    aes128_context context;
    path.expand_key(context, key);
    for (auto& byte : context.chain_block) {
        byte = 0x42;
    }
    return context;
}

// One direction of one path over a buffer of state.range(0) bytes.
void run(benchmark::State& state, const cbc_path* path, bool decrypt) {
    if (!path->available()) {
        state.SkipWithError("not available on this processor");
        return;
    }
    aes128_context context = context_for(*path);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(state.range(0)), 0x5a);
    for (auto _ : state) {
        if (decrypt) {
            path->decrypt(context, buffer.data(), buffer.data(), buffer.size());
        } else {
            path->encrypt(context, buffer.data(), buffer.data(), buffer.size());
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

// One direction of the codec over state.range(0) bytes of input.
void run_codec(benchmark::State& state, bool decode) {
    const std::uint8_t key[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const std::uint8_t iv[16] = {};
    const auto size = static_cast<std::int32_t>(state.range(0));
    std::vector<std::uint8_t> input(static_cast<std::size_t>(size), 0x5a);
    static std::uint8_t result[64 + 16];
    const output_sink output{[](void*, std::size_t) { return result; }, nullptr};
    if (decode) {
        byte_string sealed;
        encode_message(input.data(), size - 1, sealed, key, iv);
        input = sealed;
    }
    for (auto _ : state) {
        if (decode) {
            benchmark::DoNotOptimize(decode_message(input.data(), size, output, key, iv));
        } else {
            benchmark::DoNotOptimize(encode_message(input.data(), size, output, key, iv));
        }
        benchmark::ClobberMemory();
    }
}

const int registered = [] {
    for (std::size_t i = 0; i < cbc_path_count; ++i) {
        const cbc_path* path = &cbc_paths[i];
        for (const bool decrypt : {false, true}) {
            const std::string name = std::string(decrypt ? "decrypt/" : "encrypt/") + path->name;
            benchmark::RegisterBenchmark(name.c_str(), run, path, decrypt)
                ->Arg(16)
                ->Arg(1024)
                ->Arg(64 << 10);
        }
    }
    for (const bool decode : {false, true}) {
        benchmark::RegisterBenchmark(decode ? "codec/decode" : "codec/encode", run_codec, decode)
            ->Arg(16)
            ->Arg(32)
            ->Arg(64);
    }
    return 0;
}();

}  // namespace

BENCHMARK_MAIN();
