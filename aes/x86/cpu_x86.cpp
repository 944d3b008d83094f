// What an x86-64 processor offers, from CPUID and XGETBV, and on macOS from
// the kernel for the AVX-512 state.
#include "../cpu.h"

#if KESTRELBOX_X86_64

#include <cstddef>
#include <cstdint>

#if !KESTRELBOX_MSVC
#include <cpuid.h>
#endif
#if defined(__APPLE__)
#include <sys/sysctl.h>
#endif

namespace {

struct cpuid_registers {
    std::uint32_t a, b, c, d;
};

// CPUID leaf `leaf`, subleaf `subleaf`: <cpuid.h> under GCC and clang,
// <intrin.h> under MSVC, which has no <cpuid.h>.
cpuid_registers cpuid(std::uint32_t leaf, std::uint32_t subleaf) {
#if KESTRELBOX_MSVC
    int r[4];
    __cpuidex(r, static_cast<int>(leaf), static_cast<int>(subleaf));
    return {static_cast<std::uint32_t>(r[0]), static_cast<std::uint32_t>(r[1]),
            static_cast<std::uint32_t>(r[2]), static_cast<std::uint32_t>(r[3])};
#else
    cpuid_registers r;
    __cpuid_count(leaf, subleaf, r.a, r.b, r.c, r.d);
    return r;
#endif
}

// XCR0; XGETBV faults unless the operating system has enabled XSAVE.
std::uint64_t os_saved_state() {
#if KESTRELBOX_MSVC
    return _xgetbv(0);
#else
    std::uint32_t low, high;
    __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (static_cast<std::uint64_t>(high) << 32) | low;
#endif
}

#if defined(__APPLE__)
// XCR0's AVX-512 state: the opmask registers, ZMM0-15's upper halves and
// ZMM16-31.
constexpr std::uint64_t xcr0_avx512_state = 0xe0;

// macOS turns the AVX-512 state on in a thread's XCR0 only when the thread
// first uses it, so XCR0 shows none at the start of every thread; the
// kernel says whether it will.
bool os_gives_avx512_state() {
    int value = 0;
    std::size_t size = sizeof value;
    return sysctlbyname("hw.optional.avx512f", &value, &size, nullptr, 0) == 0 && value == 1;
}
#endif

// The feature bits (Intel SDM volume 2A, CPUID): leaf 1 ECX, leaf 7 EBX and ECX.
constexpr std::uint32_t leaf1_ssse3 = 1u << 9, leaf1_sse4_1 = 1u << 19, leaf1_aes = 1u << 25,
                        leaf1_osxsave = 1u << 27, leaf1_avx = 1u << 28;
constexpr std::uint32_t leaf7_avx2 = 1u << 5, leaf7_avx512f = 1u << 16, leaf7_vaes = 1u << 9;

x86_cpu_report read_report() {
    x86_cpu_report report{};
    report.highest_leaf = cpuid(0, 0).a;
    if (report.highest_leaf >= 1) {
        report.leaf1_c = cpuid(1, 0).c;
    }
    if (report.highest_leaf >= 7) {
        const cpuid_registers leaf7 = cpuid(7, 0);
        report.leaf7_b = leaf7.b;
        report.leaf7_c = leaf7.c;
    }
    if (report.leaf1_c & leaf1_osxsave) {
        report.xcr0 = os_saved_state();
#if defined(__APPLE__)
        if (os_gives_avx512_state()) {
            report.xcr0 |= xcr0_avx512_state;
        }
#endif
    }
    return report;
}

const x86_cpu_features& features() {
    static const x86_cpu_features detected = x86_features_of(read_report());
    return detected;
}

}  // namespace

x86_cpu_features x86_features_of(const x86_cpu_report& report) {
    const std::uint32_t c = report.highest_leaf >= 1 ? report.leaf1_c : 0;
    const bool ssse3 = (c & leaf1_ssse3) != 0;
    const bool aesni = (c & leaf1_aes) && (c & leaf1_sse4_1);
    if (!aesni || !(c & leaf1_osxsave) || !(c & leaf1_avx) || report.highest_leaf < 7) {
        return {ssse3, aesni, false, false};
    }
    const bool ymm = (report.xcr0 & 0x06) == 0x06;  // SSE and AVX state
    const bool zmm = (report.xcr0 & 0xe6) == 0xe6;  // and the AVX-512 opmask and upper registers
    const bool vaes = report.leaf7_c & leaf7_vaes;
    return {ssse3, aesni, vaes && ymm && (report.leaf7_b & leaf7_avx2),
            vaes && zmm && (report.leaf7_b & leaf7_avx512f)};
}

bool cpu_has_ssse3() { return features().ssse3; }
bool cpu_has_aesni() { return features().aesni; }
bool cpu_has_vaes256() { return features().vaes256; }
bool cpu_has_vaes512() { return features().vaes512; }

#endif
