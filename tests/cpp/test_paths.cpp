// Every engine path the build has, against the published vectors and against
// the portable path. A path the processor lacks is skipped, and the report
// test prints which ones ran.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "aes/cbc_path.h"
#include "aes/cpu.h"
#include "hex.h"
#include "vectors.h"

// Names the path in test output instead of its address.
void PrintTo(const cbc_path* path, std::ostream* os) { *os << path->name; }

namespace {

const cbc_path& portable = cbc_paths[0];

// The reference: the portable path from its own key schedule, so that a
// path's key schedule is checked too.
aes128_context portable_init(const std::vector<std::uint8_t>& key,
                             const std::vector<std::uint8_t>& iv) {
    aes128_context context;
    aes128_expand_key(context, key.data());
    std::memcpy(context.chain_block, iv.data(), 16);
    return context;
}

class Path : public ::testing::TestWithParam<const cbc_path*> {
protected:
    void SetUp() override {
        if (!GetParam()->available()) {
            GTEST_SKIP() << GetParam()->name << " is not available on this processor";
        }
    }
    const cbc_path& path() const { return *GetParam(); }

    aes128_context init(const std::uint8_t* key, const std::uint8_t* iv) const {
        aes128_context context;
        path().expand_key(context, key);
        std::memcpy(context.chain_block, iv, 16);
        return context;
    }
};

// memcmp with a length of 0 may still not be handed a null pointer.
bool same(const std::uint8_t* a, const std::uint8_t* b, std::size_t size) {
    return std::equal(a, a + size, b);
}

std::vector<std::uint8_t> random_bytes(std::mt19937& random, std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

TEST_P(Path, KeyScheduleMatchesFips197A1) {
    aes128_context context;
    path().expand_key(context, from_hex(f2_key).data());
    EXPECT_EQ(to_hex(context.round_keys + 160, 16), "d014f9a8c9ee2589e13f0cc8b6630ca6");
    aes128_context reference;
    portable.expand_key(reference, from_hex(f2_key).data());
    EXPECT_TRUE(same(context.round_keys, reference.round_keys, 176));
}

TEST_P(Path, Fips197C1OneBlock) {
    const auto key = from_hex(c1_key);
    const std::uint8_t zero_iv[16] = {};
    aes128_context context = init(key.data(), zero_iv);
    auto block = from_hex(c1_plaintext);
    path().encrypt(context, block.data(), block.data(), 16);
    EXPECT_EQ(to_hex(block.data(), 16), c1_ciphertext);
    context = init(key.data(), zero_iv);
    path().decrypt(context, block.data(), block.data(), 16);
    EXPECT_EQ(to_hex(block.data(), 16), c1_plaintext);
}

TEST_P(Path, Sp80038aF2BothDirections) {
    aes128_context context = init(from_hex(f2_key).data(), from_hex(f2_iv).data());
    auto buffer = from_hex(f2_plaintext);
    path().encrypt(context, buffer.data(), buffer.data(), buffer.size());
    EXPECT_EQ(to_hex(buffer.data(), buffer.size()), f2_ciphertext);
    EXPECT_EQ(to_hex(context.chain_block, 16), f2_last_block);

    context = init(from_hex(f2_key).data(), from_hex(f2_iv).data());
    std::vector<std::uint8_t> plain(buffer.size());
    path().decrypt(context, plain.data(), buffer.data(), buffer.size());
    EXPECT_EQ(to_hex(plain.data(), plain.size()), f2_plaintext);
    EXPECT_EQ(to_hex(context.chain_block, 16), f2_last_block);
}

// Random keys, IVs and buffers of 0 to 70 blocks at every offset within a
// block: the same bytes and chain_block as the portable path, in place and
// from one buffer into another.
TEST_P(Path, AgreesWithPortableAtUnalignedOffsets) {
    std::mt19937 random(static_cast<unsigned>(std::strlen(path().name)) * 7919u);
    for (std::size_t blocks = 0; blocks <= 70; ++blocks) {
        const std::size_t offset = blocks % 16;
        const std::size_t size = 16 * blocks;
        const auto key = random_bytes(random, 16), iv = random_bytes(random, 16);
        const auto data = random_bytes(random, size + 16);

        std::vector<std::uint8_t> expected(data.begin(), data.begin() + size);
        aes128_context reference = portable_init(key, iv);
        portable.encrypt(reference, expected.data(), expected.data(), size);
        std::vector<std::uint8_t> storage(size + 16, 0xee);
        std::memcpy(storage.data() + offset, data.data(), size);
        aes128_context context = init(key.data(), iv.data());
        path().encrypt(context, storage.data() + offset, storage.data() + offset, size);
        ASSERT_TRUE(same(storage.data() + offset, expected.data(), size)) << blocks;
        ASSERT_TRUE(same(context.chain_block, reference.chain_block, 16)) << blocks;

        std::vector<std::uint8_t> encrypted(size + 16, 0xee);
        context = init(key.data(), iv.data());
        path().encrypt(context, encrypted.data() + 15 - offset, data.data(), size);
        ASSERT_TRUE(same(encrypted.data() + 15 - offset, expected.data(), size)) << blocks;
        ASSERT_TRUE(same(context.chain_block, reference.chain_block, 16)) << blocks;

        std::vector<std::uint8_t> plain_expected(size);
        reference = portable_init(key, iv);
        portable.decrypt(reference, plain_expected.data(), data.data(), size);
        std::vector<std::uint8_t> in_place(size + 16);
        std::memcpy(in_place.data() + offset, data.data(), size);
        context = init(key.data(), iv.data());
        path().decrypt(context, in_place.data() + offset, in_place.data() + offset, size);
        ASSERT_TRUE(same(in_place.data() + offset, plain_expected.data(), size)) << blocks;
        ASSERT_TRUE(same(context.chain_block, reference.chain_block, 16)) << blocks;

        std::vector<std::uint8_t> into(size + 16, 0xee);
        context = init(key.data(), iv.data());
        path().decrypt(context, into.data() + 15 - offset, data.data() + 1, 0);
        path().decrypt(context, into.data() + 15 - offset, data.data(), size);
        ASSERT_TRUE(same(into.data() + 15 - offset, plain_expected.data(), size)) << blocks;
        ASSERT_TRUE(same(context.chain_block, reference.chain_block, 16)) << blocks;
    }
}

// Block-by-block calls on one context continue one another exactly as one
// call over the whole buffer does, which gives the reference's bytes; so do
// calls of uneven block counts.
TEST_P(Path, OneCallEqualsManyCalls) {
    std::mt19937 random(42);
    const std::size_t blocks = 67;
    const auto key = random_bytes(random, 16), iv = random_bytes(random, 16);
    const auto data = random_bytes(random, 16 * blocks);
    auto expected = data;
    aes128_context reference = portable_init(key, iv);
    portable.encrypt(reference, expected.data(), expected.data(), expected.size());

    for (const std::size_t step : {1u, 3u, 17u, 33u}) {
        auto once = data, pieces = data;
        aes128_context whole = init(key.data(), iv.data());
        aes128_context split = init(key.data(), iv.data());
        path().encrypt(whole, once.data(), once.data(), once.size());
        for (std::size_t b = 0; b < blocks; b += step) {
            const std::size_t n = 16 * std::min(step, blocks - b);
            path().encrypt(split, pieces.data() + 16 * b, pieces.data() + 16 * b, n);
        }
        ASSERT_EQ(once, expected) << step;
        ASSERT_EQ(pieces, expected) << step;
        ASSERT_TRUE(same(whole.chain_block, split.chain_block, 16));

        whole = init(key.data(), iv.data());
        split = init(key.data(), iv.data());
        path().decrypt(whole, once.data(), once.data(), once.size());
        for (std::size_t b = 0; b < blocks; b += step) {
            const std::size_t n = 16 * std::min(step, blocks - b);
            path().decrypt(split, pieces.data() + 16 * b, pieces.data() + 16 * b, n);
        }
        ASSERT_EQ(once, data) << step;
        ASSERT_EQ(pieces, data) << step;
        ASSERT_TRUE(same(whole.chain_block, split.chain_block, 16));
    }
}

INSTANTIATE_TEST_SUITE_P(Engine, Path,
                         ::testing::ValuesIn([] {
                             std::vector<const cbc_path*> all;
                             for (std::size_t i = 0; i < cbc_path_count; ++i) {
                                 all.push_back(&cbc_paths[i]);
                             }
                             return all;
                         }()),
                         [](const ::testing::TestParamInfo<const cbc_path*>& info) {
                             return std::string(info.param->name);
                         });

// The hardware paths of the processor the build is for, whatever compiler
// built it: were a file's or the dispatch's gate to miss the compiler's
// target macro, the build would hold the software paths alone, choose the
// bitsliced one and pass every other test.
TEST(Paths, BuildHoldsItsProcessorsPaths) {
    std::string processor = KESTRELBOX_PROCESSOR;
    std::transform(processor.begin(), processor.end(), processor.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::vector<std::string> expected = {"portable", "bitsliced"};
    if (processor == "x86_64" || processor == "amd64") {
        expected.insert(expected.end(), {"vperm", "aesni", "vaes256", "vaes512"});
    } else if (processor == "aarch64" || processor.rfind("arm", 0) == 0) {
        expected.insert(expected.end(), {"vperm", "armv8"});
    } else if (processor == "ppc64le") {
        expected.insert(expected.end(), {"power8"});
    } else if (processor == "riscv64") {
        expected.insert(expected.end(), {"zvkned"});
    }
    std::vector<std::string> held;
    for (std::size_t i = 0; i < cbc_path_count; ++i) {
        held.push_back(cbc_paths[i].name);
    }
    EXPECT_EQ(held, expected) << "built for " << KESTRELBOX_PROCESSOR;
}

// The public functions use the fastest available path: print the paths so a
// run shows which ones were exercised.
TEST(Paths, FastestAvailableIsChosen) {
    const cbc_path* last_available = nullptr;
    for (std::size_t i = 0; i < cbc_path_count; ++i) {
        const bool available = cbc_paths[i].available();
        std::cout << "engine path " << cbc_paths[i].name << ": "
                  << (available ? "runs here" : "not available") << "\n";
        if (available) {
            EXPECT_TRUE(cbc_path_agrees_with_portable(cbc_paths[i])) << cbc_paths[i].name;
            last_available = &cbc_paths[i];
        }
    }
    std::cout << "chosen: " << cbc_fastest_path().name << "\n";
    ASSERT_NE(last_available, nullptr);
    EXPECT_EQ(&cbc_fastest_path(), last_available);
    // Long buffers are decrypted on the fastest path too.
    EXPECT_EQ(&cbc_decrypt_path(1 << 20), last_available);
    EXPECT_STREQ(cbc_paths[0].name, "portable");
}

// A path is chosen only where it is available and gives the portable
// path's bytes: a path whose processor lacks it, or one that is wrong on
// it, is passed over for the next below.
void encrypt_wrongly(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                     std::uint64_t length) {
    cbc_encrypt_portable(context, output, input, length);
    output[length - 1] ^= 1;
}
bool never() { return false; }
bool always() { return true; }

TEST(Paths, ChosenOnlyWhereAvailableAndRight) {
    const cbc_path& portable = cbc_paths[0];
    const cbc_path& bitsliced = cbc_paths[1];
    const cbc_path wrong = {"wrong", always, portable.expand_key, encrypt_wrongly, portable.decrypt,
                            portable.encrypt_stack, portable.decrypt_stack,
                            portable.short_decrypt_stack};
    const cbc_path absent = {"absent", never, portable.expand_key, portable.encrypt,
                             portable.decrypt, portable.encrypt_stack, portable.decrypt_stack,
                             portable.short_decrypt_stack};
    const cbc_path right = {"right", always, portable.expand_key, portable.encrypt,
                            portable.decrypt, portable.encrypt_stack, portable.decrypt_stack,
                            portable.short_decrypt_stack};
    const cbc_path below_wrong[] = {portable, bitsliced, right, wrong};
    const cbc_path below_absent[] = {portable, bitsliced, right, absent};
    const cbc_path none_right[] = {portable, bitsliced, absent, wrong};
    EXPECT_STREQ(cbc_choose_path(below_wrong, 4).name, "right");
    EXPECT_STREQ(cbc_choose_path(below_absent, 4).name, "right");
    EXPECT_STREQ(cbc_choose_path(none_right, 4).name, "bitsliced");
}

// The choice on ARM from what Linux reports in AT_HWCAP and AT_HWCAP2, on
// processors other than this one: a path only where the kernel names its
// instructions, whatever else it names. The bits (each architecture's
// asm/hwcap.h): AArch32 HWCAP_NEON 12, HWCAP2_AES 0; AArch64 HWCAP_ASIMD 1,
// HWCAP_AES 3.
struct arm_case {
    const char* what;
    std::uint64_t hwcap, hwcap2;
    arm_cpu_features expected;
};

// AArch32: swp half thumb fastmult vfp edsp java tls (an ARMv6 with VFP);
// half thumb fastmult vfp edsp vfpv3 tls vfpv4 idiva idivt lpae evtstrm
// (VFPv4-D16); the same with neon vfpd32 (a Cortex-A72 or A76). HWCAP2: aes
// pmull sha1 sha2 crc32.
constexpr std::uint64_t armv6_vfp = 0x81d7, vfpv4_d16 = 0x37a0d6, neon_a72 = 0x3fb0d6;
constexpr std::uint64_t a32_aes = 1u << 0, a32_pmull = 1u << 1, a32_sha = 0xc, a32_crc32 = 1u << 4;
// AArch64: fp asimd evtstrm crc32 cpuid (a Cortex-A72 without crypto), and
// aes pmull sha1 sha2.
constexpr std::uint64_t a64_asimd_crc = 0x887, a64_aes = 1u << 3, a64_pmull_sha = 0x70;

TEST(Paths, ArmPathChosenOnlyWhereTheKernelReportsItsInstructions) {
    const arm_case aarch32[] = {
        {"Cortex-A76, crypto", neon_a72, a32_aes | a32_pmull | a32_sha | a32_crc32, {true, true}},
        {"Cortex-A72 without crypto", neon_a72, a32_crc32, {true, false}},
        {"PMULL and SHA without AES", neon_a72, a32_pmull | a32_sha | a32_crc32, {true, false}},
        {"AT_HWCAP's bit 0 (swp), not AT_HWCAP2's", neon_a72 | 1, 0, {true, false}},
        {"VFPv4-D16 without NEON", vfpv4_d16, a32_crc32, {false, false}},
        {"AES without NEON", vfpv4_d16, a32_aes, {false, false}},
        {"ARMv6 with VFP", armv6_vfp, 0, {false, false}},
        {"NEON's bit in AT_HWCAP2", vfpv4_d16, 1u << 12, {false, false}},
    };
    for (const arm_case& c : aarch32) {
        const arm_cpu_features chosen = aarch32_features_of(c.hwcap, c.hwcap2);
        EXPECT_EQ(chosen.neon, c.expected.neon) << "AArch32 " << c.what;
        EXPECT_EQ(chosen.aes, c.expected.aes) << "AArch32 " << c.what;
    }
    const arm_case aarch64[] = {
        {"Cortex-A72, crypto", a64_asimd_crc | a64_aes | a64_pmull_sha, 0, {true, true}},
        {"ASIMD without AES", a64_asimd_crc, 0, {true, false}},
        {"PMULL and SHA without AES", a64_asimd_crc | a64_pmull_sha, 0, {true, false}},
        {"AES without ASIMD", 1 | a64_aes, 0, {false, false}},
    };
    for (const arm_case& c : aarch64) {
        const arm_cpu_features chosen = aarch64_features_of(c.hwcap);
        EXPECT_EQ(chosen.neon, c.expected.neon) << "AArch64 " << c.what;
        EXPECT_EQ(chosen.aes, c.expected.aes) << "AArch64 " << c.what;
    }
}

#if KESTRELBOX_X86_64
// The choice from what CPUID and XGETBV say, on processors and operating
// systems that differ from this one: a path is chosen only where the
// processor has its instructions and the operating system saves the
// registers it uses (XCR0: bit 1 SSE, bit 2 AVX, bits 5 to 7 the AVX-512
// opmask and upper ZMM state), since its first instruction faults otherwise.
struct cpu_case {
    const char* what;
    x86_cpu_report report;
    x86_cpu_features expected;
};

// Leaf 1 ECX: SSSE3, SSE4.1, AES, OSXSAVE, AVX; leaf 7 EBX: AVX2, AVX-512F; ECX: VAES.
constexpr std::uint32_t ssse3 = 1u << 9, sse4_1 = 1u << 19, aes = 1u << 25, osxsave = 1u << 27,
                        avx = 1u << 28;
constexpr std::uint32_t leaf1 = ssse3 | sse4_1 | aes | osxsave | avx;
constexpr std::uint32_t avx2 = 1u << 5, avx512f = 1u << 16, leaf7_b = avx2 | avx512f;
constexpr std::uint32_t vaes = 1u << 9;

TEST(Paths, ChosenOnlyWhereTheProcessorAndTheOperatingSystemAllow) {
    const cpu_case cases[] = {
        {"everything, all saved", {13, leaf1, leaf7_b, vaes, 0xe7}, {true, true, true, true}},
        {"ZMM state not saved", {13, leaf1, leaf7_b, vaes, 0x07}, {true, true, true, false}},
        {"opmask state not saved", {13, leaf1, leaf7_b, vaes, 0xc7}, {true, true, true, false}},
        {"upper ZMM16-31 not saved", {13, leaf1, leaf7_b, vaes, 0x67}, {true, true, true, false}},
        {"YMM state not saved", {13, leaf1, leaf7_b, vaes, 0xe3}, {true, true, false, false}},
        {"only x87 and SSE saved", {13, leaf1, leaf7_b, vaes, 0x03}, {true, true, false, false}},
        {"no XSAVE", {13, leaf1 & ~osxsave, leaf7_b, vaes, 0xe7}, {true, true, false, false}},
        {"no AVX", {13, leaf1 & ~avx, leaf7_b, vaes, 0xe7}, {true, true, false, false}},
        {"no VAES", {13, leaf1, leaf7_b, 0, 0xe7}, {true, true, false, false}},
        {"no AVX2", {13, leaf1, avx512f, vaes, 0xe7}, {true, true, false, true}},
        {"no AVX-512F", {13, leaf1, avx2, vaes, 0xe7}, {true, true, true, false}},
        {"leaf 7 past the highest", {6, leaf1, leaf7_b, vaes, 0xe7}, {true, true, false, false}},
        {"no AES-NI", {13, leaf1 & ~aes, leaf7_b, vaes, 0xe7}, {true, false, false, false}},
        {"no SSE4.1", {13, leaf1 & ~sse4_1, leaf7_b, vaes, 0xe7}, {true, false, false, false}},
        {"no SSSE3", {13, leaf1 & ~ssse3, leaf7_b, vaes, 0xe7}, {false, true, true, true}},
        {"no leaf 1", {0, leaf1, leaf7_b, vaes, 0xe7}, {false, false, false, false}},
    };
    for (const cpu_case& c : cases) {
        const x86_cpu_features chosen = x86_features_of(c.report);
        EXPECT_EQ(chosen.ssse3, c.expected.ssse3) << c.what;
        EXPECT_EQ(chosen.aesni, c.expected.aesni) << c.what;
        EXPECT_EQ(chosen.vaes256, c.expected.vaes256) << c.what;
        EXPECT_EQ(chosen.vaes512, c.expected.vaes512) << c.what;
    }
}

// Decryption's path by size, from the paths that run here: AES-NI below
// sixteen blocks (a partial block counts whole), where both VAES paths run
// its loop; from sixteen the widest VAES path; without AES-NI the software
// paths at every size.
TEST(Paths, DecryptionPathBySizeClass) {
    const x86_cpu_features all{true, true, true, true}, no_512{true, true, true, false},
        no_256{true, true, false, true}, no_vaes{true, true, false, false},
        ssse3_only{true, false, false, false}, none{false, false, false, false};
    const struct {
        const char* what;
        x86_cpu_features usable;
        std::uint64_t length;
        const char* expected;
    } cases[] = {
        {"all, nothing", all, 0, "aesni"},
        {"all, 1 byte", all, 1, "aesni"},
        {"all, 15 blocks", all, 240, "aesni"},
        {"all, 15 blocks and a byte", all, 241, "vaes512"},
        {"all, 16 blocks", all, 256, "vaes512"},
        {"all, 31 blocks", all, 496, "vaes512"},
        {"all, 1 MiB", all, 1 << 20, "vaes512"},
        {"no VAES-512, 15 blocks", no_512, 240, "aesni"},
        {"no VAES-512, 16 blocks", no_512, 256, "vaes256"},
        {"no VAES-512, 1 MiB", no_512, 1 << 20, "vaes256"},
        {"no VAES-256, 15 blocks", no_256, 240, "aesni"},
        {"no VAES-256, 16 blocks", no_256, 256, "vaes512"},
        {"AES-NI alone, 1 MiB", no_vaes, 1 << 20, "aesni"},
        {"SSSE3 alone, 16 bytes", ssse3_only, 16, "vperm"},
        {"SSSE3 alone, 1 MiB", ssse3_only, 1 << 20, "vperm"},
        {"nothing, 1 MiB", none, 1 << 20, "bitsliced"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(cbc_decrypt_path_x86(c.usable, c.length).name, c.expected) << c.what;
    }
}
#endif

// The choice on POWER from what the kernel reports (AT_HWCAP, AT_HWCAP2):
// the POWER8 path only with the vector crypto instructions and the rest of
// ISA 2.07 with VSX, for which its files are built. Checked on every target.
TEST(Paths, Power8ChosenOnlyWhereTheKernelReportsVectorCrypto) {
    constexpr std::uint64_t altivec = 0x10000000, vsx = 0x00000080;
    constexpr std::uint64_t arch_2_07 = 0x80000000, vec_crypto = 0x02000000;
    // What Linux reports on a POWER9 (the 64-bit, FPU, MMU, DFP and other
    // bits around the ones read) and on a POWER10.
    constexpr std::uint64_t power9 = 0xdc0065c2, power9_2 = 0xbee00000;
    constexpr std::uint64_t power10_2 = power9_2 | 0x00040000 | 0x00020000;
    const struct {
        const char* what;
        ppc_cpu_report report;
        bool expected;
    } cases[] = {
        {"POWER9", {power9, power9_2}, true},
        {"POWER10", {power9, power10_2}, true},
        {"the four bits alone", {altivec | vsx, arch_2_07 | vec_crypto}, true},
        {"no vector crypto", {power9, power9_2 & ~vec_crypto}, false},
        {"no ISA 2.07", {power9, power9_2 & ~arch_2_07}, false},
        {"no VSX", {power9 & ~vsx, power9_2}, false},
        {"no AltiVec", {power9 & ~altivec, power9_2}, false},
        {"vector crypto bit in AT_HWCAP", {power9 | vec_crypto, 0}, false},
        {"POWER7", {power9, 0x00000000}, false},
        {"nothing", {0, 0}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ppc_features_of(c.report).vec_crypto, c.expected) << c.what;
    }
}

// The choice on RISC-V from what the kernel's hwprobe call reports in
// RISCV_HWPROBE_KEY_IMA_EXT_0 (asm/hwprobe.h: IMA_V bit 2, ZVKB 19, ZVKG 20,
// ZVKNED 21, ZVKNHA 22, ZVE32X to ZVE64D 37 to 41): the Zvkned path only with the
// vector AES instructions and V itself, for which its files are built; the
// kernel's report of V also says it lets this process use the vector
// registers. Checked on every target.
TEST(Paths, ZvknedChosenOnlyWhereTheKernelReportsVectorAes) {
    constexpr std::uint64_t v = 1u << 2, zvkb = 1u << 19, zvkg = 1u << 20, zvkned = 1u << 21,
                            zvknha = 1u << 22;
    constexpr std::uint64_t zve = 0x1full << 37;
    // The scalar bits of an RVA23 processor around the vector ones: fd c
    // zba zbb zbs zicboz zbc zfa zicond zihintpause.
    constexpr std::uint64_t rva23 = 0xfb | 0x19ull << 32;
    const struct {
        const char* what;
        std::uint64_t ima_ext_0;
        riscv_cpu_features expected;
    } cases[] = {
        {"RVA23 with the vector crypto extensions", rva23 | v | zve | zvkb | zvkg | zvkned,
         {true, true}},
        {"V and Zvkned alone", v | zvkned, {true, true}},
        {"RVA23 without vector crypto", rva23 | v | zve, {true, false}},
        {"Zvkned's neighbours without it", rva23 | v | zve | zvkb | zvkg | zvknha, {true, false}},
        {"Zvkned on an embedded vector subset, not V", rva23 | zve | zvkned, {false, false}},
        {"no vector extension", rva23, {false, false}},
        {"an old kernel's nothing", 0, {false, false}},
    };
    for (const auto& c : cases) {
        const riscv_cpu_features chosen = riscv_features_of({c.ima_ext_0});
        EXPECT_EQ(chosen.vector, c.expected.vector) << c.what;
        EXPECT_EQ(chosen.zvkned, c.expected.zvkned) << c.what;
    }
}

}  // namespace
