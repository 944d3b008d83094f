// The NIST CAVP AESAVS response files for AES-128-CBC, every record on every
// engine path the processor has: the known-answer and multi-block records
// both ways, and the Monte Carlo records by the AESAVS procedure for CBC.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "aes/cbc_path.h"
#include "hex.h"

namespace {

using bytes = std::vector<std::uint8_t>;

struct cavp_record {
    bool encrypt;  // the [ENCRYPT] section, else [DECRYPT]
    bytes key, iv, plaintext, ciphertext;
};

// The records of an .rsp file: "[ENCRYPT]" or "[DECRYPT]" starts a section,
// "NAME = hex" lines fill a record, and CIPHERTEXT or PLAINTEXT, whichever
// the section gives last, ends it. Comments, COUNT and CR are passed over.
std::vector<cavp_record> read_rsp(const std::string& path) {
    std::ifstream file(path);
    std::vector<cavp_record> records;
    cavp_record record{};
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line == "[ENCRYPT]" || line == "[DECRYPT]") {
            record.encrypt = line == "[ENCRYPT]";
            continue;
        }
        const auto equals = line.find(" = ");
        if (line.empty() || line[0] == '#' || equals == std::string::npos) {
            continue;
        }
        const std::string name = line.substr(0, equals);
        const bytes value = from_hex(line.substr(equals + 3));
        if (name == "KEY") {
            record.key = value;
        } else if (name == "IV") {
            record.iv = value;
        } else if (name == "PLAINTEXT") {
            record.plaintext = value;
        } else if (name == "CIPHERTEXT") {
            record.ciphertext = value;
        }
        if ((name == "CIPHERTEXT" && record.encrypt) || (name == "PLAINTEXT" && !record.encrypt)) {
            records.push_back(record);
        }
    }
    return records;
}

using cavp_case = std::tuple<const cbc_path*, const char*>;

class Cavp : public ::testing::TestWithParam<cavp_case> {
protected:
    void SetUp() override {
        if (!path().available()) {
            GTEST_SKIP() << path().name << " is not available on this processor";
        }
        records = read_rsp(std::string(KESTRELBOX_SOURCE "/tests/vectors/cavp/") +
                           std::get<1>(GetParam()) + ".rsp");
        ASSERT_FALSE(records.empty());
    }
    const cbc_path& path() const { return *std::get<0>(GetParam()); }

    aes128_context init(const bytes& key, const bytes& iv) const {
        aes128_context context;
        path().expand_key(context, key.data());
        std::memcpy(context.chain_block, iv.data(), 16);
        return context;
    }
    bytes encrypt(const bytes& key, const bytes& iv, const bytes& plaintext) const {
        aes128_context context = init(key, iv);
        bytes out(plaintext.size());
        path().encrypt(context, out.data(), plaintext.data(), out.size());
        return out;
    }
    bytes decrypt(const bytes& key, const bytes& iv, const bytes& ciphertext) const {
        aes128_context context = init(key, iv);
        bytes out(ciphertext.size());
        path().decrypt(context, out.data(), ciphertext.data(), out.size());
        return out;
    }

    std::vector<cavp_record> records;
};

// The Monte Carlo file's records are outer iterations, not single pairs.
class MonteCarlo : public Cavp {};

TEST_P(Cavp, EveryRecordBothWays) {
    for (std::size_t i = 0; i < records.size(); ++i) {
        const cavp_record& r = records[i];
        EXPECT_EQ(encrypt(r.key, r.iv, r.plaintext), r.ciphertext) << "record " << i;
        EXPECT_EQ(decrypt(r.key, r.iv, r.ciphertext), r.plaintext) << "record " << i;
    }
}

using block = std::array<std::uint8_t, 16>;

block block_of(const bytes& value) {
    block b{};
    std::copy(value.begin(), value.end(), b.begin());
    return b;
}

// AESAVS 6.4.2 for AES-128: each outer iteration chains 1000 blocks on one
// context, the j-th input being the IV (j = 1) or the output two blocks back;
// the next key is the key XOR the last output, the next IV the last output,
// the next first input the output before it.
TEST_P(MonteCarlo, ProcedureForCbc) {
    for (const bool encrypt : {true, false}) {
        std::vector<const cavp_record*> section;
        for (const cavp_record& r : records) {
            if (r.encrypt == encrypt) {
                section.push_back(&r);
            }
        }
        ASSERT_EQ(section.size(), 100u);
        block key = block_of(section[0]->key), iv = block_of(section[0]->iv);
        block input = block_of(encrypt ? section[0]->plaintext : section[0]->ciphertext);
        for (std::size_t i = 0; i < section.size(); ++i) {
            const cavp_record& r = *section[i];
            ASSERT_EQ(key, block_of(r.key)) << "outer iteration " << i;
            ASSERT_EQ(iv, block_of(r.iv)) << "outer iteration " << i;
            ASSERT_EQ(input, block_of(encrypt ? r.plaintext : r.ciphertext))
                << "outer iteration " << i;
            aes128_context context;
            path().expand_key(context, key.data());
            std::memcpy(context.chain_block, iv.data(), 16);
            block output{}, before{}, next = input;
            for (int j = 0; j < 1000; ++j) {
                before = output;
                if (encrypt) {
                    path().encrypt(context, output.data(), next.data(), 16);
                } else {
                    path().decrypt(context, output.data(), next.data(), 16);
                }
                next = j == 0 ? iv : before;
            }
            ASSERT_EQ(output, block_of(encrypt ? r.ciphertext : r.plaintext))
                << "outer iteration " << i;
            for (int b = 0; b < 16; ++b) {
                key[b] ^= output[b];
            }
            iv = output;
            input = before;
        }
    }
}

std::vector<cavp_case> every_path_with(std::initializer_list<const char*> files) {
    std::vector<cavp_case> cases;
    for (std::size_t i = 0; i < cbc_path_count; ++i) {
        for (const char* file : files) {
            cases.emplace_back(&cbc_paths[i], file);
        }
    }
    return cases;
}

std::string case_name(const ::testing::TestParamInfo<cavp_case>& info) {
    return std::string(std::get<0>(info.param)->name) + "_" + std::get<1>(info.param);
}

INSTANTIATE_TEST_SUITE_P(Nist, Cavp,
                         ::testing::ValuesIn(every_path_with({"CBCGFSbox128", "CBCKeySbox128",
                                                              "CBCVarKey128", "CBCVarTxt128",
                                                              "CBCMMT128"})),
                         case_name);
INSTANTIATE_TEST_SUITE_P(Nist, MonteCarlo, ::testing::ValuesIn(every_path_with({"CBCMCT128"})),
                         case_name);

}  // namespace
