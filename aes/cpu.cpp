#include "cpu.h"

#if defined(__x86_64__)

namespace {

struct cpu_features {
    bool aesni;
    bool vaes256;
    bool vaes512;
};

const cpu_features& features() {
    static const cpu_features detected = [] {
        __builtin_cpu_init();
        const bool aesni = __builtin_cpu_supports("aes") && __builtin_cpu_supports("sse4.1");
        const bool vaes = aesni && __builtin_cpu_supports("vaes");
        return cpu_features{aesni, vaes && __builtin_cpu_supports("avx2"),
                            vaes && __builtin_cpu_supports("avx512f")};
    }();
    return detected;
}

}  // namespace

bool cpu_has_aesni() { return features().aesni; }
bool cpu_has_vaes256() { return features().vaes256; }
bool cpu_has_vaes512() { return features().vaes512; }

#else

bool cpu_has_aesni() { return false; }
bool cpu_has_vaes256() { return false; }
bool cpu_has_vaes512() { return false; }

#endif
