#include "dbaccess/Utf8Cut.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CutUtf8Test, ShortTextIsUnchanged) {
    EXPECT_EQ(CutUtf8("abc", 3), "abc");
    EXPECT_EQ(CutUtf8("", 0), "");
}

TEST(CutUtf8Test, AsciiIsCutAtTheLimit) {
    EXPECT_EQ(CutUtf8("abcdef", 4), "abcd");
}

TEST(CutUtf8Test, NeverSplitsACharacter) {
    const std::string text = "a日本";  // 1 + 3 + 3 bytes
    EXPECT_EQ(CutUtf8(text, 7), "a日本");
    EXPECT_EQ(CutUtf8(text, 6), "a日");
    EXPECT_EQ(CutUtf8(text, 5), "a日");
    EXPECT_EQ(CutUtf8(text, 4), "a日");
    EXPECT_EQ(CutUtf8(text, 3), "a");
    EXPECT_EQ(CutUtf8(text, 1), "a");
    EXPECT_EQ(CutUtf8(text, 0), "");
}

TEST(CutUtf8Test, NeverSplitsAFourByteCharacter) {
    const std::string text = "x𠮷";  // 1 + 4 bytes
    for (std::size_t limit = 1; limit < 5; ++limit) {
        EXPECT_EQ(CutUtf8(text, limit), "x") << "limit " << limit;
    }
    EXPECT_EQ(CutUtf8(text, 5), "x𠮷");
}

TEST(CutUtf8Test, InvalidUtf8IsStillCutWithinTheLimit) {
    const std::string text = "\x80\x80\x80\x80";
    EXPECT_EQ(CutUtf8(text, 2), "");
    EXPECT_EQ(CutUtf8("\xff\xfe\xfd", 2), "\xff\xfe");
}

TEST(CutUtf8Test, AKeptTailStartsOnACharacter) {
    const std::string text = "a日本";
    EXPECT_EQ(Utf8CharacterStart(text, 1), 1u);
    EXPECT_EQ(Utf8CharacterStart(text, 2), 4u);
    EXPECT_EQ(Utf8CharacterStart(text, 5), 7u);
    EXPECT_EQ(Utf8CharacterStart(text, 7), 7u);
}

}  // namespace
