// Whether an ARM64 processor has the ARMv8 AES instructions: the kernel's
// hardware capabilities on Linux, the system's answer on Windows; always on
// Apple's ARM64 processors.
#include "../cpu.h"

#if KESTRELBOX_ARM64

#if defined(__linux__)
#include <asm/hwcap.h>
#include <sys/auxv.h>

bool cpu_has_armv8_aes() { return (getauxval(AT_HWCAP) & HWCAP_AES) != 0; }
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

#endif
