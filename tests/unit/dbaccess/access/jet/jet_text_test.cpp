#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dbaccess/access/jet/JetText.h"

namespace {

struct TextCase {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string expected;
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<uint8_t> Utf16(const std::u16string& text) {
    std::vector<uint8_t> bytes;
    for (char16_t u : text) {
        bytes.push_back(static_cast<uint8_t>(u & 0xFF));
        bytes.push_back(static_cast<uint8_t>(u >> 8));
    }
    return bytes;
}

std::vector<uint8_t> Compressed(std::initializer_list<std::vector<uint8_t>> runs) {
    std::vector<uint8_t> bytes = {0xFF, 0xFE};
    bool first = true;
    for (const auto& run : runs) {
        if (!first) {
            bytes.push_back(0x00);
        }
        first = false;
        bytes.insert(bytes.end(), run.begin(), run.end());
    }
    return bytes;
}

class SourceJet4Text : public ::testing::TestWithParam<TextCase> {};

TEST_P(SourceJet4Text, DecodesToUtf8) {
    EXPECT_EQ(DecodeJet4Text(GetParam().bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, SourceJet4Text,
    ::testing::Values(
        TextCase{"Empty", {}, ""}, TextCase{"Utf16Ascii", Utf16(u"it's"), "it's"},
        TextCase{"Utf16Japanese", Utf16(u"表計算ソフト"), "表計算ソフト"},
        TextCase{"Utf16HalfWidthKana", Utf16(u"ｵｰﾌﾞﾗｲｴﾝ"), "ｵｰﾌﾞﾗｲｴﾝ"},
        TextCase{"SurrogatePairKanji", Utf16(u"𠮷野"), "𠮷野"},
        TextCase{"SurrogatePairEmoji", Utf16(u"絵😀"), "絵😀"},
        TextCase{"LoneHighSurrogate",
                 Utf16(u"a\xD842"
                       "b"),
                 "a\uFFFDb"},
        TextCase{"LoneLowSurrogate", Utf16(u"a\xDFB7"), "a\uFFFD"},
        TextCase{"HighSurrogateAtEnd", Utf16(u"a\xD842"), "a\uFFFD"},
        TextCase{"OddTrailingByteDropped", {'a', 0, 'b'}, "a"},
        TextCase{"EmbeddedNulKept", Utf16(std::u16string(u"a\0b", 3)), std::string("a\0b", 3)},
        TextCase{"CompressedAscii", Compressed({{'s', 'h', 'o', 'r', 't'}}), "short"},
        TextCase{"CompressedLatin1", Compressed({{'c', 0xE9}}), "cé"},
        TextCase{"CompressedThenUtf16", Compressed({{'a', 'b'}, Utf16(u"あい"), {'c'}}), "abあいc"},
        TextCase{"CompressedStartsWithUtf16", Compressed({{}, Utf16(u"表")}), "表"},
        // Access leaves a text uncompressed when a character has a 0x00 byte; 𠮷 has none.
        TextCase{"CompressedSurrogatePair", Compressed({{'x'}, Utf16(u"𠮷")}), "x𠮷"},
        TextCase{"CompressionMarkOnly", {0xFF, 0xFE}, ""},
        TextCase{"CompressedCrLf", Compressed({{'1', '\r', '\n', '2'}}), "1\r\n2"}),
    [](const auto& info) { return std::string(info.param.name); });

struct Utf8Case {
    char32_t codePoint;
    std::string expected;
};

TEST(SourceUtf8, EncodesEachLengthAtItsBoundaries) {
    const std::vector<Utf8Case> cases = {{0x7F, "\x7F"},
                                         {0x80, "\xC2\x80"},
                                         {0x7FF, "\xDF\xBF"},
                                         {0x800, "\xE0\xA0\x80"},
                                         {0xFFFF, "\xEF\xBF\xBF"},
                                         {0x10000, "\xF0\x90\x80\x80"},
                                         {0x10FFFF, "\xF4\x8F\xBF\xBF"}};
    for (const auto& c : cases) {
        std::string out;
        AppendUtf8(out, c.codePoint);
        EXPECT_EQ(out, c.expected) << std::hex << static_cast<uint32_t>(c.codePoint);
    }
}

}  // namespace
