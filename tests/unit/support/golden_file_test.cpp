#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/GoldenFile.h"

namespace {

using Strings = std::vector<std::string>;

TEST(GoldenReader, ReadsAnArrayOfStringsWithWhitespaceAnywhere) {
    EXPECT_EQ(ParseJsonStringArray("[]"), Strings{});
    EXPECT_EQ(ParseJsonStringArray(" \r\n[ \t]\n"), Strings{});
    EXPECT_EQ(ParseJsonStringArray("[\n\"a\",\n \"\" , \"b c\"\n]\n"), (Strings{"a", "", "b c"}));
}

TEST(GoldenReader, DecodesEveryEscape) {
    EXPECT_EQ(ParseJsonStringArray(R"(["\" \\ \/ \b \f \n \r \t"])"),
              Strings{"\" \\ / \b \f \n \r \t"});
}

TEST(GoldenReader, TurnsUnicodeEscapesIntoUtf8) {
    EXPECT_EQ(ParseJsonStringArray(R"(["\u0041\u00e9\u8868\uFF71"])"), Strings{"Aé表ｱ"});
    EXPECT_EQ(ParseJsonStringArray(R"(["\ud842\udfb7\uD83D\uDE00"])"), Strings{"𠮷😀"});
    EXPECT_EQ(ParseJsonStringArray(R"(["\u0000"])"), Strings{std::string(1, '\0')});
}

TEST(GoldenReader, PassesRawUtf8Through) {
    EXPECT_EQ(ParseJsonStringArray("[\"insert into Mst01 values ('𠮷野商店')\"]"),
              Strings{"insert into Mst01 values ('𠮷野商店')"});
}

TEST(GoldenReader, RejectsWhatIsNotAStringArray) {
    const char* const bad[] = {
        "",
        "{}",
        "[1]",
        "[\"a\",]",
        "[\"a\"",
        "[\"a\" \"b\"]",
        "[\"a\"] x",
        "[\"a]",
        "[\"\\x\"]",
        "[\"\\u12\"]",
        "[\"\\ud842\"]",
        "[\"\\udfb7\"]",
        "[\"\\ud842\\u0041\"]",
        "[\"tab\there\"]",
    };
    for (const char* json : bad) {
        EXPECT_THROW(ParseJsonStringArray(json), std::runtime_error) << json;
    }
}

}  // namespace
