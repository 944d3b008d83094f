// Whether a POWER processor has the vector crypto instructions, from the
// hardware capabilities the Linux kernel reports. The choice from a report
// is plain arithmetic, built on every target so that its tests run
// everywhere; only the asking is POWER's.
#include "../cpu.h"

#if KESTRELBOX_PPC64 && defined(__linux__)
#include <sys/auxv.h>
#endif

namespace {

// The bits of AT_HWCAP and AT_HWCAP2 (the kernel's asm/cputable.h): the
// files of the path are built for POWER8, whose instruction set (ISA 2.07)
// the compiler may use anywhere in them, on VSX registers, besides the
// crypto instructions themselves.
constexpr std::uint64_t hwcap_altivec = 0x10000000, hwcap_vsx = 0x00000080;
constexpr std::uint64_t hwcap2_arch_2_07 = 0x80000000, hwcap2_vec_crypto = 0x02000000;

}  // namespace

ppc_cpu_features ppc_features_of(const ppc_cpu_report& report) {
    const bool vector = (report.hwcap & hwcap_altivec) && (report.hwcap & hwcap_vsx);
    const bool power8 = (report.hwcap2 & hwcap2_arch_2_07) && (report.hwcap2 & hwcap2_vec_crypto);
    return {vector && power8};
}

#if KESTRELBOX_PPC64
bool cpu_has_power8_crypto() {
#if defined(__linux__)
    static const bool has = ppc_features_of({getauxval(AT_HWCAP), getauxval(AT_HWCAP2)}).vec_crypto;
    return has;
#else
    return false;
#endif
}
#endif
