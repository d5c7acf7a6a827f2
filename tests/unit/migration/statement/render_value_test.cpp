#include <gtest/gtest.h>

#include <string>

#include "migration/statement/ColumnKind.h"
#include "migration/statement/RenderValue.h"

namespace {

using namespace std::string_literals;

struct RenderCase {
    const char* name;
    CFieldValue value;
    int kind;
    std::string text;
};

// Values whose type is the one their kind writes.
const RenderCase kRenderCases[] = {
    {"integerZero", CFieldValue::Long(0), COLKIND_INTEGER, "0"},
    {"integerNegative", CFieldValue::Long(-5), COLKIND_INTEGER, "-5"},
    {"integerMax", CFieldValue::Long(2147483647), COLKIND_INTEGER, "2147483647"},
    {"integerMin", CFieldValue::Long(-2147483647 - 1), COLKIND_INTEGER, "-2147483648"},
    {"textEmpty", CFieldValue::Text(""), COLKIND_TEXT, ""},
    {"textApostrophesKept", CFieldValue::Text("it's"), COLKIND_TEXT, "it's"},
    {"textMultiByteUnchanged", CFieldValue::Text("表計算ソフト𠮷"), COLKIND_TEXT, "表計算ソフト𠮷"},
    {"textControlCharactersKept", CFieldValue::Text("1行目\r\n2\t\\%\""), COLKIND_TEXT,
     "1行目\r\n2\t\\%\""},
    {"textCutAtFirstZeroByte", CFieldValue::Text("ab\0cd"s), COLKIND_TEXT, "ab"},
    {"textBlanksKept", CFieldValue::Text("  前後  "), COLKIND_TEXT, "  前後  "},
    {"dateWorkedExample", CFieldValue::Date(39906.588541667), COLKIND_DATETIME,
     "2009/04/03 14:07:30"},
    {"dateBeforeEpoch", CFieldValue::Date(-18260.0), COLKIND_DATETIME, "1850/01/01 00:00:00"},
    {"dateOutOfRange", CFieldValue::Date(3e6), COLKIND_DATETIME, "-1/-1/-1 -1:-1:-1"},
    {"nullKindRendersEmpty", CFieldValue::Long(7), COLKIND_NULL, ""},
    {"unknownKindRendersEmpty", CFieldValue::Long(7), 9, ""},
};

class RenderValueCases : public testing::TestWithParam<RenderCase> {};

TEST_P(RenderValueCases, GivesTheValueText) {
    EXPECT_EQ(RenderValue(GetParam().value, GetParam().kind), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(MatchingTypes, RenderValueCases, testing::ValuesIn(kRenderCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct QuoteCase {
    const char* name;
    std::string text;
    int kind;
    std::string literal;
};

const QuoteCase kQuoteCases[] = {
    {"textPlain", "A01", COLKIND_TEXT, "'A01'"},
    {"textEmpty", "", COLKIND_TEXT, "''"},
    {"textApostrophe", "it's", COLKIND_TEXT, "'it''s'"},
    {"textLoneApostrophe", "'", COLKIND_TEXT, "''''"},
    {"textTwoApostrophes", "''", COLKIND_TEXT, "''''''"},
    {"textApostropheAtEnds", "'x'", COLKIND_TEXT, "'''x'''"},
    {"textInjectionStaysInside", "'); delete from Mst01; --", COLKIND_TEXT,
     "'''); delete from Mst01; --'"},
    {"textBackslashThenApostrophe", "\\'", COLKIND_TEXT, "'\\'''"},
    {"textNothingElseEscaped", "a\\b%_\"\r\n\t", COLKIND_TEXT, "'a\\b%_\"\r\n\t'"},
    {"textMultiByteNextToApostrophes", "it's 表'ソ'", COLKIND_TEXT, "'it''s 表''ソ'''"},
    {"dateTime", "2009/04/03 14:07:30", COLKIND_DATETIME, "'2009/04/03 14:07:30'"},
    {"dateTimeInvalid", "-1/-1/-1 -1:-1:-1", COLKIND_DATETIME, "'-1/-1/-1 -1:-1:-1'"},
    {"dateTimeApostrophe", "x'y", COLKIND_DATETIME, "'x''y'"},
    {"nullIgnoresText", "it's", COLKIND_NULL, "NULL"},
    {"nullOfEmpty", "", COLKIND_NULL, "NULL"},
    {"integerUnchanged", "-5", COLKIND_INTEGER, "-5"},
    {"integerKeepsApostrophes", "it's", COLKIND_INTEGER, "it's"},
    {"unknownKindUnchanged", "x'y", 9, "x'y"},
};

class QuoteValueCases : public testing::TestWithParam<QuoteCase> {};

TEST_P(QuoteValueCases, GivesTheLiteral) {
    EXPECT_EQ(QuoteValue(GetParam().text, GetParam().kind), GetParam().literal);
}

TEST_P(QuoteValueCases, PredictsTheLiteralsLength) {
    EXPECT_EQ(QuotedLength(GetParam().text, GetParam().kind), GetParam().literal.size());
}

TEST_P(QuoteValueCases, AppendsTheSameLiteral) {
    std::string out = "x,";
    AppendQuotedValue(out, GetParam().text, GetParam().kind);
    EXPECT_EQ(out, "x," + GetParam().literal);
}

INSTANTIATE_TEST_SUITE_P(Kinds, QuoteValueCases, testing::ValuesIn(kQuoteCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
