// What the compiler and the target are, decided once, and the spellings that
// differ between GCC and clang (zig's and clang-cl included) on one side and
// MSVC on the other: attributes, pragmas, barriers and the clearing of the
// vector registers. Every other file uses these names, so a path reads the
// same on every compiler and no file tests a compiler's macro of its own.
#pragma once

// MSVC proper: clang-cl defines _MSC_VER too but speaks GCC's dialect.
#if defined(_MSC_VER) && !defined(__clang__)
#define KESTRELBOX_MSVC 1
#else
#define KESTRELBOX_MSVC 0
#endif

// The target, under GCC's and clang's macro or MSVC's. ARM64EC code defines
// _M_X64 as well but is ARM code, which gets the software paths.
#if defined(__x86_64__) || (defined(_M_X64) && !defined(_M_ARM64EC))
#define KESTRELBOX_X86_64 1
#else
#define KESTRELBOX_X86_64 0
#endif
#if defined(__aarch64__) || defined(_M_ARM64)
#define KESTRELBOX_ARM64 1
#else
#define KESTRELBOX_ARM64 0
#endif
// Little-endian 64-bit POWER, the only POWER that Linux distributions build
// for POWER8 and later.
#if defined(__powerpc64__) && defined(__LITTLE_ENDIAN__)
#define KESTRELBOX_PPC64 1
#else
#define KESTRELBOX_PPC64 0
#endif

// 64-bit RISC-V, whose vector and vector crypto extensions are optional: the
// files that use them are built for them (CMakeLists.txt) and run only once
// the kernel has said the processor has them.
#if defined(__riscv) && __riscv_xlen == 64
#define KESTRELBOX_RISCV64 1
#else
#define KESTRELBOX_RISCV64 0
#endif

// The project's own declarations, between these two, are hidden: a call to
// a function of ours that has no definition is a link error of the
// extension, not an ImportError when it is loaded. (-z defs would refuse
// the interpreter's symbols too, which an extension leaves to the process
// that loads it.) A Windows DLL has every symbol resolved when it is linked.
#if defined(_WIN32)
#define KESTRELBOX_LOCAL_BEGIN
#define KESTRELBOX_LOCAL_END
#else
#define KESTRELBOX_LOCAL_BEGIN _Pragma("GCC visibility push(hidden)")
#define KESTRELBOX_LOCAL_END _Pragma("GCC visibility pop")
#endif

// Windows x64 keeps XMM6-15 callee-saved, so every engine frame that uses
// them holds the caller's copies and the paths reach deeper below their
// caller: AES-NI decryption's two frames take 784 bytes there (clang), 256
// elsewhere. What the stack wipe clears after it grows by this much.
#if KESTRELBOX_X86_64 && defined(_WIN32)
#define KESTRELBOX_XMM_SAVE_BYTES 512
#else
#define KESTRELBOX_XMM_SAVE_BYTES 0
#endif

// 32-bit ARM (AArch32), whose NEON and AES instructions are optional: the
// files that use them are built for them (CMakeLists.txt) and run only once
// the kernel has said the processor has them.
#if defined(__arm__)
#define KESTRELBOX_ARM32 1
#else
#define KESTRELBOX_ARM32 0
#endif

#if KESTRELBOX_MSVC
#include <intrin.h>
// MSVC compiles any intrinsic in any function, so a path needs no attribute.
#define KESTRELBOX_TARGET(features)
#define KESTRELBOX_NOINLINE __declspec(noinline)
// MSVC has no unroll pragma; its loops stay as the optimiser leaves them.
#define KESTRELBOX_UNROLL
// A compiler barrier: no memory access is removed or moved across it, so the
// stores before it stay although the memory is never read again.
#define KESTRELBOX_KEEP_STORES(pointer) _ReadWriteBarrier()
// MSVC has no asm statement to hide a value from the optimiser: the fold it
// would stop only costs speed.
#define KESTRELBOX_OPAQUE_XMM(value) ((void)0)
#define KESTRELBOX_OPAQUE_NEON(value) ((void)0)
#else
#define KESTRELBOX_TARGET(features) __attribute__((target(features)))
#define KESTRELBOX_NOINLINE __attribute__((noinline))
// Read by GCC and clang alike: the loops it is put on run at most 16 times.
#define KESTRELBOX_UNROLL _Pragma("GCC unroll 16")
// An empty asm statement told that it reads the memory: the compiler must
// assume the stores before it are used.
#define KESTRELBOX_KEEP_STORES(pointer) __asm__ __volatile__("" : : "r"(pointer) : "memory")
// An empty asm statement that may have changed an XMM (or NEON) value,
// which the compiler can then no longer fold into the expressions around it.
// MemorySanitizer reports every secret operand of an asm statement, and the
// statement only orders arithmetic, so its builds go without it.
#if defined(__has_feature)
#if __has_feature(memory_sanitizer)
#define KESTRELBOX_NO_OPAQUE 1
#endif
#endif
#if defined(KESTRELBOX_NO_OPAQUE)
#define KESTRELBOX_OPAQUE_XMM(value) ((void)0)
#define KESTRELBOX_OPAQUE_NEON(value) ((void)0)
#else
#define KESTRELBOX_OPAQUE_XMM(value) __asm__("" : "+x"(value))
#define KESTRELBOX_OPAQUE_NEON(value) __asm__("" : "+w"(value))
#endif
#endif

// Nothing of a key or a block stays in a vector register once a hardware
// path returns, where a later call (the dynamic linker's lazy binding saves
// them with XSAVE, for one) could write it to memory. MSVC has no inline
// assembly on x64 or ARM64 and no intrinsic that names a register, except
// VZEROALL's: there the YMM (and ZMM0-15) registers are cleared and the rest
// stays as the path left it (the README says so).
#if KESTRELBOX_X86_64
#if KESTRELBOX_MSVC
// XMM0-15 on the AES-NI paths, which may run without AVX.
inline void clear_xmm_registers() {}
// YMM0-15 on the VAES-256 path.
inline void clear_ymm_registers() { _mm256_zeroall(); }
// ZMM0-15 on the AVX-512 path; ZMM16-31 stay.
inline void clear_zmm_registers() { _mm256_zeroall(); }
#else
// Every x86-64 vector register is the caller's to lose, so all are cleared:
// XMM0-15 with PXOR on the AES-NI paths, which may run without AVX; all of
// YMM0-15 with VZEROALL on the VAES-256 path; and on the AVX-512 path
// ZMM16-31 as well.
#define KESTRELBOX_XMM_CLOBBERS                                                                 \
    "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10",    \
        "xmm11", "xmm12", "xmm13", "xmm14", "xmm15"

inline void clear_xmm_registers() {
    __asm__ volatile(
        "pxor %%xmm0, %%xmm0\n pxor %%xmm1, %%xmm1\n pxor %%xmm2, %%xmm2\n pxor %%xmm3, %%xmm3\n"
        "pxor %%xmm4, %%xmm4\n pxor %%xmm5, %%xmm5\n pxor %%xmm6, %%xmm6\n pxor %%xmm7, %%xmm7\n"
        "pxor %%xmm8, %%xmm8\n pxor %%xmm9, %%xmm9\n pxor %%xmm10, %%xmm10\n"
        "pxor %%xmm11, %%xmm11\n pxor %%xmm12, %%xmm12\n pxor %%xmm13, %%xmm13\n"
        "pxor %%xmm14, %%xmm14\n pxor %%xmm15, %%xmm15\n" ::
            : KESTRELBOX_XMM_CLOBBERS);
}

KESTRELBOX_TARGET("avx") inline void clear_ymm_registers() {
    __asm__ volatile("vzeroall" ::: KESTRELBOX_XMM_CLOBBERS);
}

KESTRELBOX_TARGET("avx512f") inline void clear_zmm_registers() {
    __asm__ volatile(
        "vzeroall\n"
        "vpxord %%zmm16, %%zmm16, %%zmm16\n vpxord %%zmm17, %%zmm17, %%zmm17\n"
        "vpxord %%zmm18, %%zmm18, %%zmm18\n vpxord %%zmm19, %%zmm19, %%zmm19\n"
        "vpxord %%zmm20, %%zmm20, %%zmm20\n vpxord %%zmm21, %%zmm21, %%zmm21\n"
        "vpxord %%zmm22, %%zmm22, %%zmm22\n vpxord %%zmm23, %%zmm23, %%zmm23\n"
        "vpxord %%zmm24, %%zmm24, %%zmm24\n vpxord %%zmm25, %%zmm25, %%zmm25\n"
        "vpxord %%zmm26, %%zmm26, %%zmm26\n vpxord %%zmm27, %%zmm27, %%zmm27\n"
        "vpxord %%zmm28, %%zmm28, %%zmm28\n vpxord %%zmm29, %%zmm29, %%zmm29\n"
        "vpxord %%zmm30, %%zmm30, %%zmm30\n vpxord %%zmm31, %%zmm31, %%zmm31\n" ::
            : KESTRELBOX_XMM_CLOBBERS, "xmm16", "xmm17", "xmm18", "xmm19", "xmm20", "xmm21",
              "xmm22", "xmm23", "xmm24", "xmm25", "xmm26", "xmm27", "xmm28", "xmm29", "xmm30",
              "xmm31");
}
#endif
#endif

#if KESTRELBOX_ARM64
#if KESTRELBOX_MSVC
// v0-v31 stay.
inline void clear_neon_registers() {}
#else
// All of v0-v31; writing the low half of v8..v15 when the caller's values
// come back clears their upper halves too.
inline void clear_neon_registers() {
    __asm__ volatile(
        "movi v0.16b, #0\n movi v1.16b, #0\n movi v2.16b, #0\n movi v3.16b, #0\n"
        "movi v4.16b, #0\n movi v5.16b, #0\n movi v6.16b, #0\n movi v7.16b, #0\n"
        "movi v8.16b, #0\n movi v9.16b, #0\n movi v10.16b, #0\n movi v11.16b, #0\n"
        "movi v12.16b, #0\n movi v13.16b, #0\n movi v14.16b, #0\n movi v15.16b, #0\n"
        "movi v16.16b, #0\n movi v17.16b, #0\n movi v18.16b, #0\n movi v19.16b, #0\n"
        "movi v20.16b, #0\n movi v21.16b, #0\n movi v22.16b, #0\n movi v23.16b, #0\n"
        "movi v24.16b, #0\n movi v25.16b, #0\n movi v26.16b, #0\n movi v27.16b, #0\n"
        "movi v28.16b, #0\n movi v29.16b, #0\n movi v30.16b, #0\n movi v31.16b, #0\n" ::
            : "v0", "v1", "v2", "v3", "v4", "v5", "v6", "v7", "v8", "v9", "v10", "v11", "v12",
              "v13", "v14", "v15", "v16", "v17", "v18", "v19", "v20", "v21", "v22", "v23", "v24",
              "v25", "v26", "v27", "v28", "v29", "v30", "v31");
}
#endif
#endif

#if KESTRELBOX_PPC64
// The ELFv2 ABI gives the caller back v20-v31 (vs52-vs63) whole and the
// floating-point half (doubleword 0) of vs14-vs31, which the compiler saves
// and restores around this statement: everything else of vs0-vs51 is
// cleared, and v20-v31 hold the caller's values again once the path's
// epilogue has restored them.
#define KESTRELBOX_VSX_CLOBBERS_0_31                                                             \
    "vs0", "vs1", "vs2", "vs3", "vs4", "vs5", "vs6", "vs7", "vs8", "vs9", "vs10", "vs11", "vs12", \
        "vs13", "vs14", "vs15", "vs16", "vs17", "vs18", "vs19", "vs20", "vs21", "vs22", "vs23", \
        "vs24", "vs25", "vs26", "vs27", "vs28", "vs29", "vs30", "vs31"

inline void clear_vsx_registers() {
    __asm__ volatile(
        "xxlxor 0, 0, 0\n xxlxor 1, 1, 1\n xxlxor 2, 2, 2\n xxlxor 3, 3, 3\n"
        "xxlxor 4, 4, 4\n xxlxor 5, 5, 5\n xxlxor 6, 6, 6\n xxlxor 7, 7, 7\n"
        "xxlxor 8, 8, 8\n xxlxor 9, 9, 9\n xxlxor 10, 10, 10\n xxlxor 11, 11, 11\n"
        "xxlxor 12, 12, 12\n xxlxor 13, 13, 13\n xxlxor 14, 14, 14\n xxlxor 15, 15, 15\n"
        "xxlxor 16, 16, 16\n xxlxor 17, 17, 17\n xxlxor 18, 18, 18\n xxlxor 19, 19, 19\n"
        "xxlxor 20, 20, 20\n xxlxor 21, 21, 21\n xxlxor 22, 22, 22\n xxlxor 23, 23, 23\n"
        "xxlxor 24, 24, 24\n xxlxor 25, 25, 25\n xxlxor 26, 26, 26\n xxlxor 27, 27, 27\n"
        "xxlxor 28, 28, 28\n xxlxor 29, 29, 29\n xxlxor 30, 30, 30\n xxlxor 31, 31, 31\n"
        "xxlxor 32, 32, 32\n xxlxor 33, 33, 33\n xxlxor 34, 34, 34\n xxlxor 35, 35, 35\n"
        "xxlxor 36, 36, 36\n xxlxor 37, 37, 37\n xxlxor 38, 38, 38\n xxlxor 39, 39, 39\n"
        "xxlxor 40, 40, 40\n xxlxor 41, 41, 41\n xxlxor 42, 42, 42\n xxlxor 43, 43, 43\n"
        "xxlxor 44, 44, 44\n xxlxor 45, 45, 45\n xxlxor 46, 46, 46\n xxlxor 47, 47, 47\n"
        "xxlxor 48, 48, 48\n xxlxor 49, 49, 49\n xxlxor 50, 50, 50\n xxlxor 51, 51, 51\n" ::
            : KESTRELBOX_VSX_CLOBBERS_0_31, "v0", "v1", "v2", "v3", "v4", "v5", "v6", "v7", "v8",
              "v9", "v10", "v11", "v12", "v13", "v14", "v15", "v16", "v17", "v18", "v19");
}
#endif

#if KESTRELBOX_ARM32
// A function that uses NEON in a file built without it (the tests'
// register checks).
#if defined(__clang__)
#define KESTRELBOX_NEON32 KESTRELBOX_TARGET("neon")
#else
#define KESTRELBOX_NEON32 KESTRELBOX_TARGET("fpu=neon")
#endif

// All of q0-q15 (d0-d31). d8-d15 are the caller's: the compiler saves them
// before a path uses them and puts the caller's values back as it returns,
// which clears what the path left in them.
KESTRELBOX_NEON32 inline void clear_neon_registers() {
    __asm__ volatile(
        "vmov.i8 q0, #0\n vmov.i8 q1, #0\n vmov.i8 q2, #0\n vmov.i8 q3, #0\n"
        "vmov.i8 q4, #0\n vmov.i8 q5, #0\n vmov.i8 q6, #0\n vmov.i8 q7, #0\n"
        "vmov.i8 q8, #0\n vmov.i8 q9, #0\n vmov.i8 q10, #0\n vmov.i8 q11, #0\n"
        "vmov.i8 q12, #0\n vmov.i8 q13, #0\n vmov.i8 q14, #0\n vmov.i8 q15, #0\n" ::
            : "d0", "d1", "d2", "d3", "d4", "d5", "d6", "d7", "d8", "d9", "d10", "d11", "d12",
              "d13", "d14", "d15", "d16", "d17", "d18", "d19", "d20", "d21", "d22", "d23", "d24",
              "d25", "d26", "d27", "d28", "d29", "d30", "d31");
}
#endif

#if KESTRELBOX_RISCV64
// All of v0-v31, which the RISC-V calling convention gives the caller back
// none of: four groups of eight registers, at the widest element count, so
// every byte of every register whatever the vector length. The assembler is
// told of the vector extension here, so that a file built without it (the
// tests' register checks) can call this too; it runs only where the kernel
// has said the processor has it.
inline void clear_rvv_registers() {
    unsigned long count;
    __asm__ volatile(
        ".option push\n .option arch, +v\n"
        "vsetvli %0, zero, e8, m8, ta, ma\n"
        "vmv.v.i v0, 0\n vmv.v.i v8, 0\n vmv.v.i v16, 0\n vmv.v.i v24, 0\n"
        ".option pop\n"
        : "=r"(count)::"v0", "v1", "v2", "v3", "v4", "v5", "v6", "v7", "v8", "v9", "v10", "v11",
          "v12", "v13", "v14", "v15", "v16", "v17", "v18", "v19", "v20", "v21", "v22", "v23",
          "v24", "v25", "v26", "v27", "v28", "v29", "v30", "v31", "vl", "vtype");
}
#endif
