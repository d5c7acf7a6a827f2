// Values read from the test .mdb files, checked against what the fixtures were written with.
#include <bit>
#include <cstdint>

#include "tests/integration/dbaccess/access/source_support.h"

using namespace sourcetest;

namespace {

CFieldValue T(const char* text) {
    return CFieldValue::Text(text);
}
const CFieldValue kNull = CFieldValue::Null();

class SourceTypesFile : public ::testing::Test {
protected:
    void SetUp() override { db.Open(Data("types.mdb"), false, true, kPassword); }
    CDaoDatabase db;
};

struct ColumnCase {
    const char* name;  // what the case covers
    const char* table;
    const char* column;
    std::vector<CFieldValue> expected;
};

void PrintTo(const ColumnCase& c, std::ostream* os) {
    *os << c.name;
}

class SourceTypesColumns : public SourceTypesFile,
                           public ::testing::WithParamInterface<ColumnCase> {};

TEST_P(SourceTypesColumns, DeliverTheStoredValuesWithTheColumnsType) {
    const ColumnCase& c = GetParam();
    EXPECT_EQ(Describe(ReadColumn(db, c.table, c.column)), Describe(c.expected));
}

CFieldValue Money(int64_t units) {
    return CFieldValue::Currency(units);
}

INSTANTIATE_TEST_SUITE_P(
    ByAccessType, SourceTypesColumns,
    ::testing::Values(
        ColumnCase{"ByteIsUnsigned",
                   "KEN_ALL",
                   "Flag10",
                   {CFieldValue::Byte(0), CFieldValue::Byte(255), CFieldValue::Byte(1),
                    CFieldValue::Byte(0), kNull, CFieldValue::Byte(0), CFieldValue::Byte(0),
                    CFieldValue::Byte(0)}},
        ColumnCase{"IntegerIsSigned16Bit",
                   "KEN_ALL",
                   "Flag11",
                   {CFieldValue::Integer(0), CFieldValue::Integer(-1), CFieldValue::Integer(32767),
                    CFieldValue::Integer(-32768), kNull, CFieldValue::Integer(0),
                    CFieldValue::Integer(0), CFieldValue::Integer(0)}},
        ColumnCase{
            "YesNoIsNeverNull",
            "KEN_ALL",
            "Flag12",
            {CFieldValue::Boolean(false), CFieldValue::Boolean(true), CFieldValue::Boolean(true),
             CFieldValue::Boolean(false), CFieldValue::Boolean(false), CFieldValue::Boolean(false),
             CFieldValue::Boolean(true), CFieldValue::Boolean(false)}},
        ColumnCase{"Double",
                   "KEN_ALL",
                   "Flag13",
                   {CFieldValue::Double(0), CFieldValue::Double(-3), CFieldValue::Double(1000000),
                    CFieldValue::Double(1), kNull, CFieldValue::Double(6), CFieldValue::Double(0),
                    CFieldValue::Double(0)}},
        ColumnCase{"CurrencyInTenThousandths",
                   "KEN_ALL",
                   "Flag14",
                   {Money(0), Money(25000), Money(35000), Money(-25000), kNull, Money(14999),
                    Money(5001), Money(-5000)}},
        ColumnCase{"ShortTextKeepsLeadingZeros",
                   "KEN_ALL",
                   "Flag15",
                   {T("0"), T("6"), T("06"), T("12"), kNull, T("0"), T("4"), T("5")}},
        ColumnCase{"LongIntegerIsSigned32Bit",
                   "Mst01",
                   "Col05",
                   {CFieldValue::Long(9638022), CFieldValue::Long(600041), CFieldValue::Long(-1),
                    CFieldValue::Long(2147483647), CFieldValue::Long(-2147483647 - 1), kNull}},
        ColumnCase{"MemoWithNullAndQuotes", "Mst02", "Col05", {kNull, T("memo 'x'"), kNull}},
        ColumnCase{"MemoJapanese",
                   "Mst02Error",
                   "Col05",
                   {T("コード重複: 'B01'"), T("名称未入力"), kNull}},
        ColumnCase{"MemoWithTab",
                   "Mst04",
                   "Col05",
                   {T("tab\tinside memo"), T("0134-75-6149"), T("0141-84-9157")}},
        ColumnCase{"MemoShortJapanese", "Mst04Error", "Col03", {T("旧本社"), T("it's memo")}},
        ColumnCase{"MemoWithLineBreaks",
                   "Mst03",
                   "Col03",
                   {T("蛍光ペン 業務用"), T("Kid's ノート\r\n(メモ型)"), kNull, T("マスク 徳用")}}),
    [](const auto& info) { return std::string(info.param.name); });

size_t CodePoints(const std::string& utf8) {
    size_t n = 0;
    for (unsigned char c : utf8) {
        n += (c & 0xC0) != 0x80;
    }
    return n;
}

TEST_F(SourceTypesFile, MemoColumnKeepsEmptyNullAndCharactersOutsideTheBmp) {
    const auto memos = ReadColumn(db, "Mst01", "Col10");
    ASSERT_EQ(memos.size(), 6u);
    EXPECT_EQ(memos[0], T("short memo"));
    EXPECT_EQ(memos[2], T("memo with 'quotes'\r\nand a second line"));
    EXPECT_EQ(memos[3], T(""));
    EXPECT_EQ(memos[4], kNull);
    EXPECT_EQ(memos[5], T("𠮷😀"));
}

TEST_F(SourceTypesFile, MemosLongerThanAPageAreReadWhole) {
    const auto japanese = ReadColumn(db, "Mst01", "Col10")[1];
    ASSERT_EQ(japanese.GetType(), FieldType::Text);
    EXPECT_EQ(CodePoints(japanese.GetText()), 5001u);
    EXPECT_EQ(japanese.GetText().rfind("長文メモ欄のテスト。", 0), 0u);

    const auto ascii = ReadColumn(db, "Mst03", "Col10")[0];
    ASSERT_EQ(ascii.GetType(), FieldType::Text);
    EXPECT_EQ(ascii.GetText().size(), 4505u);
    EXPECT_NE(ascii.GetText().find("\r\n"), std::string::npos);
    EXPECT_EQ(ReadColumn(db, "Mst03", "Col10")[3], T("表ソ能十予貼噂"));
}

class SourceSampleFile : public ::testing::Test {
protected:
    void SetUp() override { db.Open(Data("sample.mdb"), false, true, kPassword); }
    CFieldValue Cell(const std::string& table, size_t row, const std::string& column) {
        return ReadColumn(db, table, column).at(row - 1);
    }
    CDaoDatabase db;
};

struct CellCase {
    const char* name;
    const char* table;
    size_t row;  // 1-based storage position
    const char* column;
    CFieldValue expected;
};

void PrintTo(const CellCase& c, std::ostream* os) {
    *os << c.name;
}

class SourceSampleCells : public SourceSampleFile,
                          public ::testing::WithParamInterface<CellCase> {};

TEST_P(SourceSampleCells, HoldTheEdgeValuesAsWritten) {
    const CellCase& c = GetParam();
    EXPECT_EQ(Describe(Cell(c.table, c.row, c.column)), Describe(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    EdgeValues, SourceSampleCells,
    ::testing::Values(
        CellCase{"EmptyText", "Mst01", 30, "Col07", T("")},
        CellCase{"NullText", "Mst01", 30, "Col10", kNull},
        CellCase{"CrLf", "Mst01", 85, "Col07", T("住所1\r\n住所2\r\n")},
        CellCase{"NonBmpKanji", "Mst01", 117, "Col03", T("𠮷野商店")},
        CellCase{"Emoji", "Mst01", 117, "Col10", T("絵文字😀テスト")},
        CellCase{"IntegerMinimum", "Mst01", 141, "JogaiFlag", CFieldValue::Integer(-32768)},
        CellCase{"WaveDash", "KEN_ALL", 2, "City2Kanji", T("北一条西（１〜１９丁目）")},
        CellCase{"LongFlag", "KEN_ALL", 54, "Flag11", CFieldValue::Long(1)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SourceDatesFile, DateValuesAreTheStoredDoublesBitForBit) {
    // Rows 1-27 of dates.mdb; row 17 is NULL.
    const std::vector<uint64_t> bits = {0x0000000000000000,
                                        0xbff4000000000000,
                                        0x3fe0000000000000,
                                        0xc0d1d50000000000,
                                        0xc124103400000000,
                                        0xc1141037fffcf747,
                                        0x41469240ffff9ee9,
                                        0x40e37c52d5555555,
                                        0x40e37c52d561783a,
                                        0x40e624e0000c22e4,
                                        0xc0e1ce1ffff3dd1c,
                                        0x40e37c52d56d94e7,
                                        0x40e37c5ffffff9c9,
                                        0x40e5efdffffff9c9,
                                        0xc0d1abfffffff393,
                                        0xbffffffffce4a2bc,
                                        0,
                                        0x4000000000000000,
                                        0x404e000000000000,
                                        0x404e800000000000,
                                        0x40e1dd30c6bb5aa5,
                                        0xc0fabc8000000000,
                                        0xc0f1d1b000000000,
                                        0xc0fc497800000000,
                                        0x40d8f84000000000,
                                        0x40e89f0450672895,
                                        0x40e5e872d5555555};
    CDaoDatabase db;
    db.Open(Data("dates.mdb"), false, true, kPassword);
    const auto dates = ReadColumn(db, "KEN_ALL_Version", "Version");
    ASSERT_EQ(dates.size(), bits.size());
    for (size_t i = 0; i < dates.size(); ++i) {
        if (i == 16) {
            EXPECT_TRUE(dates[i].IsNull());
            continue;
        }
        ASSERT_EQ(dates[i].GetType(), FieldType::Date) << "row " << i + 1;
        EXPECT_EQ(std::bit_cast<uint64_t>(dates[i].GetReal()), bits[i]) << "row " << i + 1;
    }
}

TEST(SourceExtraColumnsFile, ListedColumnsReadAsInSampleAndExtraOnesStayReadable) {
    CDaoDatabase sample;
    CDaoDatabase extra;
    sample.Open(Data("sample.mdb"), false, true, kPassword);
    extra.Open(Data("extra-columns.mdb"), false, true, kPassword);
    const std::vector<std::string> columns = {"Col02", "Col03", "Col10", "JogaiFlag"};
    EXPECT_EQ(ReadRows(extra, "Mst01", columns), ReadRows(sample, "Mst01", columns));
    EXPECT_EQ(ReadColumn(extra, "Mst02", "ExtraHead").front(), T("X'Mst02-1"));
    EXPECT_EQ(ReadColumn(extra, "Mst02", "ExtraTail").front(), CFieldValue::Long(930000));
}

TEST(SourceJet3File, TextIsReadAsCodePage932) {
    const auto path = Shared("jet3/access97-cp932.mdb");
    if (!path) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("jet3");
    }
    CDaoDatabase db;
    db.Open(*path, false, true, "");
    const auto rows = ReadRows(db, "Table1", {"A", "B"});
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], T("a"));
    EXPECT_EQ(rows[0][1], T("b"));
    EXPECT_EQ(rows[1][1], T("\\①あ～~a"));
    const auto dates = ReadColumn(db, "Table1", "G");
    ASSERT_EQ(dates[0].GetType(), FieldType::Date);
    EXPECT_EQ(dates[0].GetReal(), 29932.0);  // 1981-12-12
}

}  // namespace
