// What an ARM processor has: on Linux, the kernel's hardware capabilities,
// read by plain functions that every build holds, so the suite checks them
// on any machine; on Windows, the system's answer; on Apple's ARM64
// processors, the AES instructions always.
#include "../cpu.h"

namespace {

// The bits of AT_HWCAP and AT_HWCAP2 (each architecture's asm/hwcap.h).
constexpr std::uint64_t aarch32_hwcap_neon = 1u << 12, aarch32_hwcap2_aes = 1u << 0;
constexpr std::uint64_t aarch64_hwcap_asimd = 1u << 1, aarch64_hwcap_aes = 1u << 3;

}  // namespace

arm_cpu_features aarch32_features_of(std::uint64_t hwcap, std::uint64_t hwcap2) {
    const bool neon = (hwcap & aarch32_hwcap_neon) != 0;
    return {neon, neon && (hwcap2 & aarch32_hwcap2_aes) != 0};
}

arm_cpu_features aarch64_features_of(std::uint64_t hwcap) {
    const bool neon = (hwcap & aarch64_hwcap_asimd) != 0;
    return {neon, neon && (hwcap & aarch64_hwcap_aes) != 0};
}

#if KESTRELBOX_ARM64

#if defined(__linux__)
#include <sys/auxv.h>

bool cpu_has_armv8_aes() { return aarch64_features_of(getauxval(AT_HWCAP)).aes; }
#elif defined(_WIN32)
#include <windows.h>

bool cpu_has_armv8_aes() {
    return IsProcessorFeaturePresent(PF_ARM_V8_CRYPTO_INSTRUCTIONS_AVAILABLE) != 0;
}
#elif defined(__APPLE__)
bool cpu_has_armv8_aes() { return true; }
#else
bool cpu_has_armv8_aes() { return false; }
#endif

#elif KESTRELBOX_ARM32

#if defined(__linux__)
#include <sys/auxv.h>

namespace {

const arm_cpu_features& features() {
    static const arm_cpu_features reported =
        aarch32_features_of(getauxval(AT_HWCAP), getauxval(AT_HWCAP2));
    return reported;
}

}  // namespace

bool cpu_has_neon() { return features().neon; }
bool cpu_has_armv8_aes() { return features().aes; }
#else
bool cpu_has_neon() { return false; }
bool cpu_has_armv8_aes() { return false; }
#endif

#endif
