#include "dbaccess/odbc/OdbcMessage.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct StripCase {
    const char* name;
    std::string message;
    std::string expected;
};

class StripOriginTagsTest : public testing::TestWithParam<StripCase> {};

TEST_P(StripOriginTagsTest, RemovesLeadingTagsOnly) {
    EXPECT_EQ(StripOriginTags(GetParam().message), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, StripOriginTagsTest,
    testing::Values(
        StripCase{"drivermanager", "[unixODBC][Driver Manager]Can't open lib 'x' : file not found",
                  "Can't open lib 'x' : file not found"},
        StripCase{"sqlite", "[SQLite]no such table: nosuch (1)", "no such table: nosuch (1)"},
        StripCase{"freetds", "[FreeTDS][SQL Server]Unable to connect to data source",
                  "Unable to connect to data source"},
        StripCase{"blankaftereachtag", "[A] [B] text", "text"},
        StripCase{"onlyoneblankremoved", "[A]  two blanks", " two blanks"},
        StripCase{"notags", "ERROR: relation \"t\" does not exist",
                  "ERROR: relation \"t\" does not exist"},
        StripCase{"bracketinside", "value [1] is bad", "value [1] is bad"},
        StripCase{"tagafterotherstext", "x[A]y", "x[A]y"},
        StripCase{"unclosedtag", "[unclosed message", "[unclosed message"},
        StripCase{"tagsonly", "[A][B]", ""}, StripCase{"empty", "", ""},
        StripCase{"emptytag", "[]text", "text"},
        StripCase{"newlineskept", "[X]line 1\nline 2\n", "line 1\nline 2\n"},
        StripCase{"japanese", "[ドライバ]接続できません", "接続できません"}),
    [](const testing::TestParamInfo<StripCase>& info) { return std::string(info.param.name); });

TEST(ComposeDiagnosticTextTest, EachMessageStrippedAndFollowedByNewline) {
    EXPECT_EQ(ComposeDiagnosticText({"[unixODBC][Driver Manager]first", "second", "[SQLite]third"}),
              "first\nsecond\nthird\n");
}

TEST(ComposeDiagnosticTextTest, EmbeddedNewlinesAreKept) {
    EXPECT_EQ(ComposeDiagnosticText({"ERROR: duplicate\nDETAIL: Key (id)=(1) already exists."}),
              "ERROR: duplicate\nDETAIL: Key (id)=(1) already exists.\n");
}

TEST(ComposeDiagnosticTextTest, NoMessagesGiveEmptyText) {
    EXPECT_EQ(ComposeDiagnosticText({}), "");
}

TEST(ComposeDiagnosticTextTest, EmptyMessageStillGetsItsNewline) {
    EXPECT_EQ(ComposeDiagnosticText({"", "[A]"}), "\n\n");
}

TEST(ComposeDiagnosticTextTest, TextOfExactlyTheLimitIsKept) {
    const std::string message(kMaxDiagnosticTextBytes - 1, 'm');
    EXPECT_EQ(ComposeDiagnosticText({message}), message + "\n");
}

TEST(ComposeDiagnosticTextTest, LongTextIsCutTo511Bytes) {
    const std::string text = ComposeDiagnosticText({std::string(400, 'a'), std::string(400, 'b')});
    ASSERT_EQ(text.size(), 511u);
    EXPECT_EQ(text, std::string(400, 'a') + "\n" + std::string(110, 'b'));
}

TEST(ComposeDiagnosticTextTest, CutKeepsJapaneseCharactersWhole) {
    std::string japanese;
    for (int i = 0; i < 200; ++i) {
        japanese += "表";  // 3 bytes each: 511 is not a multiple of 3
    }
    const std::string text = ComposeDiagnosticText({"[Tag]" + japanese});
    EXPECT_EQ(text.size(), 510u);
    EXPECT_EQ(text, japanese.substr(0, 510));
}

}  // namespace
