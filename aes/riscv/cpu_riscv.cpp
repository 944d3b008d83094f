// Whether a RISC-V processor has the vector and vector AES instructions,
// from what the Linux kernel's hwprobe call reports. The choice from a
// report is plain arithmetic, built on every target so that its tests run
// everywhere; only the asking is RISC-V's.
#include "../cpu.h"

#if KESTRELBOX_RISCV64 && defined(__linux__)
#include <unistd.h>
#endif

namespace {

// The bits of RISCV_HWPROBE_KEY_IMA_EXT_0 (the kernel's asm/hwprobe.h). The
// kernel reports V, and the vector extensions with it, only where it has
// enabled the vector state for this process, whose first vector
// instruction would fault otherwise.
constexpr std::uint64_t ima_v = 1u << 2, ext_zvkned = 1u << 21;

}  // namespace

riscv_cpu_features riscv_features_of(const riscv_cpu_report& report) {
    const bool vector = (report.ima_ext_0 & ima_v) != 0;
    return {vector, vector && (report.ima_ext_0 & ext_zvkned) != 0};
}

#if KESTRELBOX_RISCV64
namespace {

// One key-value pair of the hwprobe call, struct riscv_hwprobe. A kernel
// that does not know the key sets it to -1; one older than the call (6.4)
// fails it with ENOSYS: both count as nothing.
struct hwprobe_pair {
    std::int64_t key;
    std::uint64_t value;
};
constexpr std::int64_t key_ima_ext_0 = 4;
constexpr long hwprobe_call = 258;

riscv_cpu_features asked() {
#if defined(__linux__)
    hwprobe_pair pair = {key_ima_ext_0, 0};
    // Every processor of the process, no flags: what all of them have.
    if (syscall(hwprobe_call, &pair, 1, 0, nullptr, 0) == 0 && pair.key == key_ima_ext_0) {
        return riscv_features_of({pair.value});
    }
#endif
    return riscv_features_of({0});
}

const riscv_cpu_features& features() {
    static const riscv_cpu_features answer = asked();
    return answer;
}

}  // namespace

bool cpu_has_rvv() { return features().vector; }
bool cpu_has_zvkned() { return features().zvkned; }
#endif
