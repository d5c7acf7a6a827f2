// Replays the inputs kept from fuzzing the source reader's decoders (tests/data/regress/fuzz-*)
// and a few hostile inputs made by hand: each must end normally or in CJetFormatError.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/SourceDecodeInput.h"
#include "tests/support/Paths.h"

namespace {

std::vector<uint8_t> ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SourceFuzzRegression, KeptReproducersDecodeWithoutHarm) {
    size_t replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(testpaths::Data("regress"))) {
        if (entry.path().filename().string().rfind("fuzz-", 0) != 0) {
            continue;
        }
        const auto input = ReadAll(entry.path());
        EXPECT_NO_THROW(sourcefuzz::DecodeInput(input.data(), input.size())) << entry.path();
        ++replayed;
    }
    RecordProperty("replayed", static_cast<int>(replayed));
}

struct HostileCase {
    const char* name;
    std::vector<uint8_t> input;
};

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.name;
}

class SourceHostileInput : public ::testing::TestWithParam<HostileCase> {};

TEST_P(SourceHostileInput, DecodesWithoutHarm) {
    EXPECT_NO_THROW(sourcefuzz::DecodeInput(GetParam().input.data(), GetParam().input.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, SourceHostileInput,
    ::testing::Values(
        HostileCase{"EmptyInput", {}}, HostileCase{"HeaderOfOneByte", {0, 'S'}},
        HostileCase{"CompressedTextOfZeros", {1, 0xFF, 0xFE, 0, 0, 0, 0, 0}},
        HostileCase{"Cp932LeadBytesOnly", {2, 0x81, 0x82, 0x83, 0x84}},
        // A memo declaring 1 GB whose chain row names itself.
        HostileCase{"MemoChainOnItself", {3, 0x0C, 0, 12, 0, 0xFF, 0xFF, 0xFF, 0x3F, 1, 0,   0,  0,
                                          0, 0,    0, 0,  6, 0,    1,    0,    0,    0, 'a', 'b'}},
        // A single-page memo longer than its row.
        HostileCase{"MemoLongerThanItsRow", {3, 0x0C, 0, 12, 0, 0xFF, 0xFF, 0xFF, 0x7F, 1,  0,
                                             0, 0,    0, 0,  0, 0,    2,    0,    'a',  'b'}},
        HostileCase{"DoubleOfOneByte", {3, 0x07, 0, 1, 0, 0x42}},
        HostileCase{"UnknownTypeCode", {3, 0x7F, 0, 1, 0, 0x42}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
