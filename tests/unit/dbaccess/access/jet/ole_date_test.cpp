#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "dbaccess/access/jet/OleDate.h"
#include "migration/statement/ColumnKind.h"
#include "migration/statement/InsertItem.h"

namespace {

std::string DateText(double date) {
    return FormatDateTime(OleDateToFields(date));
}

// The Version values of the dates fixture, bit for bit, with the literal each must give.
struct FixtureDate {
    int row;
    std::optional<uint64_t> bits;  // none: NULL
    const char* literal;
};

const FixtureDate kFixtureDates[] = {
    {1, 0x0000000000000000, "'1899/12/30 00:00:00'"},
    {2, 0xbff4000000000000, "'1899/12/29 06:00:00'"},
    {3, 0x3fe0000000000000, "'1899/12/30 12:00:00'"},
    {4, 0xc0d1d50000000000, "'1850/01/01 00:00:00'"},
    {5, 0xc124103400000000, "'100/01/01 00:00:00'"},
    {6, 0xc1141037fffcf747, "'999/12/31 23:59:59'"},
    {7, 0x41469240ffff9ee9, "'9999/12/31 23:59:59'"},
    {8, 0x40e37c52d5555555, "'2009/04/03 14:07:30'"},
    {9, 0x40e37c52d561783a, "'2009/04/03 14:07:31'"},
    {10, 0x40e624e0000c22e4, "'2024/02/29 00:00:00'"},
    {11, 0xc0e1ce1ffff3dd1c, "'1800/03/01 00:00:00'"},
    {12, 0x40e37c52d56d94e7, "'2009/04/03 14:07:31'"},
    {13, 0x40e37c5ffffff9c9, "'2009/04/04 00:00:00'"},
    {14, 0x40e5efdffffff9c9, "'2023/01/01 00:00:00'"},
    {15, 0xc0d1abfffffff393, "'1850/06/16 00:00:00'"},
    {16, 0xbffffffffce4a2bc, "'1899/12/30 00:00:00'"},
    {17, std::nullopt, "NULL"},
    {18, 0x4000000000000000, "'1900/01/01 00:00:00'"},
    {19, 0x404e000000000000, "'1900/02/28 00:00:00'"},
    {20, 0x404e800000000000, "'1900/03/01 00:00:00'"},
    {21, 0x40e1dd30c6bb5aa5, "'2000/02/29 12:34:56'"},
    {22, 0xc0fabc8000000000, "'1600/02/29 00:00:00'"},
    {23, 0xc0f1d1b000000000, "'1700/03/01 00:00:00'"},
    {24, 0xc0fc497800000000, "'1582/10/10 12:00:00'"},
    {25, 0x40d8f84000000000, "'1970/01/01 00:00:00'"},
    {26, 0x40e89f0450672895, "'2038/01/19 03:14:08'"},
    {27, 0x40e5e872d5555555, "'2022/11/02 14:07:30'"},
};

TEST(OleDateFixture, EveryStoredVersionGivesItsLiteral) {
    for (const FixtureDate& date : kFixtureDates) {
        const CFieldValue value =
            date.bits ? CFieldValue::Date(std::bit_cast<double>(*date.bits)) : CFieldValue::Null();
        CInsertItemList row("KEN_ALL_Version");
        row.AddItem("Version", COLKIND_DATETIME, value);
        EXPECT_EQ(row.BuildStatement(),
                  std::string("insert into KEN_ALL_Version(Version) values (") + date.literal + ")")
            << "row " << date.row;
    }
}

struct DateCase {
    const char* name;
    double date;
    const char* text;
};

const DateCase kDateCases[] = {
    {"epoch", 0.0, "1899/12/30 00:00:00"},
    {"dayAndAHalf", 1.5, "1899/12/31 12:00:00"},
    {"negativeZeroDayHalf", -0.5, "1899/12/30 12:00:00"},
    {"negativeFractionIsTimeOfDay", -1.25, "1899/12/29 06:00:00"},
    {"shortDecimalOfAWholeSecond", 39906.588541667, "2009/04/03 14:07:30"},
    {"before1900", -18260.0, "1850/01/01 00:00:00"},
    {"yearWithOneDigitLess", -328717.0, "999/12/31 00:00:00"},
    {"firstDay", -657434.0, "100/01/01 00:00:00"},
    {"firstDayLastSecond", -657434.99998, "100/01/01 23:59:58"},
    {"firstDayCarriesForward", -657434.999999, "100/01/02 00:00:00"},
    {"lastDay", 2958465.0, "9999/12/31 00:00:00"},
    {"lastDayLastSecond", 2958465.99998, "9999/12/31 23:59:58"},
    {"lastDayStaysInYear9999", 2958465.999999, "9999/12/31 23:59:59"},
    {"exactHalfSecondGoesUp", 1.0 / 256, "1899/12/30 00:05:38"},
    {"dayBeforeFirst", -657435.0, "-1/-1/-1 -1:-1:-1"},
    {"dayAfterLast", 2958466.0, "-1/-1/-1 -1:-1:-1"},
    {"hugeNegative", -1e300, "-1/-1/-1 -1:-1:-1"},
    {"hugePositive", 1e300, "-1/-1/-1 -1:-1:-1"},
    {"nan", std::numeric_limits<double>::quiet_NaN(), "-1/-1/-1 -1:-1:-1"},
    {"positiveInfinity", std::numeric_limits<double>::infinity(), "-1/-1/-1 -1:-1:-1"},
    {"negativeInfinity", -std::numeric_limits<double>::infinity(), "-1/-1/-1 -1:-1:-1"},
};

class OleDateText : public testing::TestWithParam<DateCase> {};

TEST_P(OleDateText, GivesTheCalendarText) {
    EXPECT_EQ(DateText(GetParam().date), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Cases, OleDateText, testing::ValuesIn(kDateCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OleDate, InvalidDatesFailInAllSixFields) {
    const CDateTimeFields fields = OleDateToFields(-657435.5);
    EXPECT_FALSE(fields.IsValid());
    EXPECT_EQ(fields, CDateTimeFields{});
    EXPECT_EQ(fields.nSecond, -1);
}

// Each day of the range follows the one before it in the calendar.
TEST(OleDate, ConsecutiveDaysWalkTheCalendarFrom100To9999) {
    CDateTimeFields previous = OleDateToFields(-657434.0);
    ASSERT_EQ(previous, (CDateTimeFields{100, 1, 1, 0, 0, 0}));
    int leapDays = 0;
    for (int day = -657433; day <= 2958465; ++day) {
        const CDateTimeFields fields = OleDateToFields(day);
        CDateTimeFields expected = previous;
        if (++expected.nDay > DaysInMonth(expected.nYear, expected.nMonth)) {
            expected.nDay = 1;
            if (++expected.nMonth > 12) {
                expected.nMonth = 1;
                ++expected.nYear;
            }
        }
        ASSERT_EQ(fields, expected) << "day " << day;
        leapDays += fields.nMonth == 2 && fields.nDay == 29 ? 1 : 0;
        previous = fields;
    }
    EXPECT_EQ(previous, (CDateTimeFields{9999, 12, 31, 0, 0, 0}));
    // Years 100..9999 divisible by 4 (2475), less the centuries (99), plus those of 400 (24).
    EXPECT_EQ(leapDays, 2475 - 99 + 24);
}

// The double nearest a whole second mostly lies a hair below it; rounding, not truncating,
// gives the second back, and a value just short of the next second carries into it.
TEST(OleDate, RoundsEverySecondOfADayToTheNearest) {
    const double day = 44867.0;  // 2022-11-02
    for (int second = 0; second < 86400; ++second) {
        const CDateTimeFields exact = OleDateToFields(day + second / 86400.0);
        ASSERT_EQ(exact.nHour * 3600 + exact.nMinute * 60 + exact.nSecond, second);
        const CDateTimeFields almostNext = OleDateToFields(day + (second + 0.999) / 86400.0);
        const int expected = (second + 1) % 86400;
        ASSERT_EQ(almostNext.nHour * 3600 + almostNext.nMinute * 60 + almostNext.nSecond, expected);
        ASSERT_LT(almostNext.nSecond, 60);
        ASSERT_EQ(almostNext.nDay, second == 86399 ? 3 : 2);
    }
}

TEST(OleDate, DaysInMonthFollowsTheGregorianLeapRule) {
    EXPECT_EQ(DaysInMonth(1900, 2), 28);
    EXPECT_EQ(DaysInMonth(2000, 2), 29);
    EXPECT_EQ(DaysInMonth(2024, 2), 29);
    EXPECT_EQ(DaysInMonth(2023, 2), 28);
    EXPECT_EQ(DaysInMonth(2023, 4), 30);
    EXPECT_EQ(DaysInMonth(2023, 12), 31);
    EXPECT_EQ(DaysInMonth(2023, 13), 0);
}

TEST(OleDate, FormatWritesFieldsLikePrintf) {
    EXPECT_EQ(FormatDateTime({999, 12, 31, 23, 59, 59}), "999/12/31 23:59:59");
    EXPECT_EQ(FormatDateTime({2009, 4, 3, 4, 7, 0}), "2009/04/03 04:07:00");
    EXPECT_EQ(FormatDateTime(CDateTimeFields{}), "-1/-1/-1 -1:-1:-1");
}

}  // namespace
