#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dbaccess/access/jet/CodePageText.h"
#include "dbaccess/access/jet/JetFormatError.h"

namespace {

struct Cp932Case {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string expected;
};

void PrintTo(const Cp932Case& c, std::ostream* os) {
    *os << c.name;
}

class SourceCp932 : public ::testing::TestWithParam<Cp932Case> {};

TEST_P(SourceCp932, ConvertsToUtf8) {
    EXPECT_EQ(CCodePageText::Cp932().ToUtf8Replacing(GetParam().bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Characters, SourceCp932,
    ::testing::Values(Cp932Case{"Empty", {}, ""},
                      Cp932Case{"AsciiWithBackslashAndTilde", {'C', ':', 0x5C, 0x7E}, "C:\\~"},
                      Cp932Case{"Hiragana", {0x82, 0xA0}, "あ"},
                      Cp932Case{"NecCircledDigit", {0x87, 0x40}, "①"},
                      Cp932Case{"IbmExtensionRomanNumeral", {0xFA, 0x40}, "ⅰ"},
                      Cp932Case{"WaveDashIsFullWidthTilde", {0x81, 0x60}, "～"},
                      Cp932Case{"SecondByte5C", {0x95, 0x5C, 0x83, 0x5C}, "表ソ"},
                      Cp932Case{"HalfWidthKana", {0xB1, 0xDD}, "ｱﾝ"},
                      Cp932Case{"TheAccess97Fixture",
                                {0x5C, 0x87, 0x40, 0x82, 0xA0, 0x81, 0x60, 0x7E, 0x61},
                                "\\①あ～~a"},
                      Cp932Case{"LeadByteAtTheEnd", {'a', 0x82}, "a\uFFFD"},
                      Cp932Case{"UndefinedLeadByte", {0xA0, 'b'}, "\uFFFDb"},
                      Cp932Case{"BadTrailByte", {0x82, 0x20, 'c'}, "\uFFFD c"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

std::string Decoded(int codePage, std::vector<uint8_t> bytes) {
    try {
        return CCodePageText(codePage).ToUtf8(bytes);
    } catch (const CJetFormatError& e) {
        return std::string("error: ") + e.what();
    }
}

TEST(SourceCodePage, SingleByteCodePagesDecodeEveryByteAsWindowsDoes) {
    EXPECT_EQ(Decoded(1252, {0xA3, 'B', 'o', 'l', 0xED, 'v', 'a', 'r', 0x80}), "£Bolívar€");
    EXPECT_EQ(Decoded(1252, {0x81, 0x8D, 0x8F, 0x90, 0x9D}), "\u0081\u008D\u008F\u0090\u009D");
    EXPECT_EQ(Decoded(1252, {'A', 'A', 0x81, 'A', 'A'}), "AA\u0081AA");
    EXPECT_EQ(Decoded(1251, {0xC4, 0xE0}), "Да");
}

TEST(SourceCodePage, MultiByteTextThatIsInvalidIsAnError) {
    EXPECT_EQ(Decoded(932, {0x82, 0xA0}), "あ");
    EXPECT_EQ(Decoded(932, {'a', 0x82}),
              "error: its text is not valid in code page 932 (byte 0x82 at offset 1)");
    EXPECT_EQ(Decoded(936, {0xC4, 0xE3}), "你");
}

TEST(SourceCodePage, NoOrAnUnknownCodePageMeansCp932) {
    EXPECT_EQ(CCodePageText(0).CodePage(), 932);
    EXPECT_EQ(CCodePageText(12345).CodePage(), 932);
    EXPECT_EQ(CCodePageText(1252).IconvName(), "CP1252");
}

}  // namespace
