// What an x86-64 processor offers, from CPUID and XGETBV.
#include "../cpu.h"

#if defined(__x86_64__)

#include <cpuid.h>

#include <cstdint>

namespace {

struct cpu_features {
    bool aesni;
    bool vaes256;
    bool vaes512;
};

// Which register states the operating system saves (XCR0).
std::uint64_t os_saved_state() {
    std::uint32_t low, high;
    __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

cpu_features detect() {
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) {
        return {false, false, false};
    }
    const bool aesni = (c & bit_AES) && (c & bit_SSE4_1);
    if (!aesni || !(c & bit_OSXSAVE) || !(c & bit_AVX)) {
        return {aesni, false, false};
    }
    const std::uint64_t state = os_saved_state();
    const bool ymm = (state & 0x06) == 0x06;  // SSE and AVX state
    const bool zmm = (state & 0xe6) == 0xe6;  // and the AVX-512 opmask and upper registers
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) {
        return {aesni, false, false};
    }
    const bool vaes = c & bit_VAES;
    return {aesni, vaes && ymm && (b & bit_AVX2), vaes && zmm && (b & bit_AVX512F)};
}

const cpu_features& features() {
    static const cpu_features detected = detect();
    return detected;
}

}  // namespace

bool cpu_has_aesni() { return features().aesni; }
bool cpu_has_vaes256() { return features().vaes256; }
bool cpu_has_vaes512() { return features().vaes512; }

#endif
