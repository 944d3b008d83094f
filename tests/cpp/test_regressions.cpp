// Every input that ever crashed the codec's fuzz harness, and the harness's
// seeds, run through the harness again: the same checks, without clang.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size);

namespace {

// Each folder must give inputs: the seeds alone must not hide an empty or
// misplaced regressions folder.
TEST(FuzzRegressions, EveryInputPassesTheHarness) {
    for (const char* folder :
         {KESTRELBOX_SOURCE "/fuzz/regressions", KESTRELBOX_SOURCE "/fuzz/corpus"}) {
        int replayed = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.path().extension() == ".md") {
                continue;
            }
            std::ifstream file(entry.path(), std::ios::binary);
            const std::vector<std::uint8_t> input{std::istreambuf_iterator<char>(file), {}};
            SCOPED_TRACE(entry.path().string());
            // The harness aborts on any wrong result, which fails this test.
            EXPECT_EQ(LLVMFuzzerTestOneInput(input.data(), input.size()), 0);
            ++replayed;
        }
        EXPECT_GT(replayed, 0) << folder;
    }
}

}  // namespace
