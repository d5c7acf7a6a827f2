#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "dbaccess/Exceptions.h"
#include "migration/statement/ColumnKind.h"
#include "migration/statement/RenderValue.h"

namespace {

struct ConversionCase {
    const char* name;
    CFieldValue value;
    std::string text;
};

std::string ConversionName(const testing::TestParamInfo<ConversionCase>& info) {
    return info.param.name;
}

// Values of other types in an integer column: converted, never read as the wrong member.
const ConversionCase kToInteger[] = {
    {"byteIsUnsigned", CFieldValue::Byte(255), "255"},
    {"integerMin", CFieldValue::Integer(-32768), "-32768"},
    {"yesIsMinusOne", CFieldValue::Boolean(true), "-1"},
    {"noIsZero", CFieldValue::Boolean(false), "0"},
    {"doubleHalfToEvenDown", CFieldValue::Double(2.5), "2"},
    {"doubleHalfToEvenUp", CFieldValue::Double(3.5), "4"},
    {"doubleNegativeHalf", CFieldValue::Double(-0.5), "0"},
    {"doubleNegativeHalfToEven", CFieldValue::Double(-2.5), "-2"},
    {"doubleJustBelowHalf", CFieldValue::Double(0.49999999999999994), "0"},
    {"doubleJustAboveOne", CFieldValue::Double(1.0000000000000002), "1"},
    {"doubleMillion", CFieldValue::Double(1000000.0), "1000000"},
    {"doubleNearMax", CFieldValue::Double(2147483647.4), "2147483647"},
    {"doubleMinTieStaysEven", CFieldValue::Double(-2147483648.5), "-2147483648"},
    {"singleHalf", CFieldValue::Single(2.5f), "2"},
    {"dateDayCount", CFieldValue::Date(1.75), "2"},
    {"currencyHalfToEvenDown", CFieldValue::Currency(25000), "2"},
    {"currencyHalfToEvenUp", CFieldValue::Currency(35000), "4"},
    {"currencyNegativeHalf", CFieldValue::Currency(-25000), "-2"},
    {"currencyNegativeHalfOfOne", CFieldValue::Currency(-5000), "0"},
    {"currencyBelowHalf", CFieldValue::Currency(14999), "1"},
    {"currencyAboveHalf", CFieldValue::Currency(5001), "1"},
    {"currencyMin", CFieldValue::Currency(-21474836480000), "-2147483648"},
    {"textLeadingZero", CFieldValue::Text("06"), "6"},
    {"textNegative", CFieldValue::Text("-1"), "-1"},
    {"textPlusSign", CFieldValue::Text("+7"), "7"},
    {"textBlanksAround", CFieldValue::Text(" \t12  "), "12"},
    {"textFractionHalfToEven", CFieldValue::Text("2.5"), "2"},
    {"textFractionAboveHalf", CFieldValue::Text("2.5001"), "3"},
    {"textFractionOnly", CFieldValue::Text(".6"), "1"},
    {"textMax", CFieldValue::Text("2147483647"), "2147483647"},
    {"decimalHalfToEven", CFieldValue::Decimal("2.5"), "2"},
    {"decimalNegativeHalfToEven", CFieldValue::Decimal("-3.5"), "-4"},
    {"decimalJustAboveHalf", CFieldValue::Decimal("0.5000000000000000000000000001"), "1"},
    {"textMin", CFieldValue::Text("-2147483648"), "-2147483648"},
    {"largeNumber", CFieldValue::LargeNumber(-2147483648), "-2147483648"},
    {"extendedDateAsOleDate", CFieldValue::ExtendedDate(599266728000000000), "3"},       // 2.75
    {"extendedDateBeforeDayZero", CFieldValue::ExtendedDate(599263704000000000), "-1"},  // -1.25
    {"emptyIsZero", CFieldValue(), "0"},
};

class ToInteger : public testing::TestWithParam<ConversionCase> {};
TEST_P(ToInteger, RendersTheConvertedNumber) {
    EXPECT_EQ(RenderValue(GetParam().value, COLKIND_INTEGER), GetParam().text);
}
INSTANTIATE_TEST_SUITE_P(Conversions, ToInteger, testing::ValuesIn(kToInteger), ConversionName);

// The text is the part of the error message that says why.
const ConversionCase kNotAnInteger[] = {
    {"doubleRoundsPastMax", CFieldValue::Double(2147483647.5), "(overflow)"},
    {"doubleBelowMin", CFieldValue::Double(-2147483649.0), "(overflow)"},
    {"doubleNaN", CFieldValue::Double(std::numeric_limits<double>::quiet_NaN()), "(overflow)"},
    {"doubleInfinity", CFieldValue::Double(std::numeric_limits<double>::infinity()), "(overflow)"},
    {"currencyPastMax", CFieldValue::Currency(21474836475000), "(overflow)"},
    {"largeNumberPastMax", CFieldValue::LargeNumber(2147483648), "(overflow)"},
    {"textPastMax", CFieldValue::Text("2147483648"), "(overflow)"},
    {"textBelowMin", CFieldValue::Text("-2147483649"), "(overflow)"},
    {"textManyDigits", CFieldValue::Text("99999999999999999999"), "(overflow)"},
    {"textWord", CFieldValue::Text("abc"), "(type mismatch)"},
    {"textEmpty", CFieldValue::Text(""), "(type mismatch)"},
    {"textBlanksOnly", CFieldValue::Text("   "), "(type mismatch)"},
    {"textSignOnly", CFieldValue::Text("-"), "(type mismatch)"},
    {"textPointOnly", CFieldValue::Text("."), "(type mismatch)"},
    {"textDigitsThenLetters", CFieldValue::Text("12abc"), "(type mismatch)"},
    {"textThousandsSeparator", CFieldValue::Text("1,000"), "(type mismatch)"},
    {"textExponent", CFieldValue::Text("1e3"), "(type mismatch)"},
    {"textFullWidthDigits", CFieldValue::Text("１２"), "(type mismatch)"},
    {"textInnerBlank", CFieldValue::Text("1 2"), "(type mismatch)"},
};

class NotAnInteger : public testing::TestWithParam<ConversionCase> {};
TEST_P(NotAnInteger, ThrowsCOleException) {
    try {
        RenderValue(GetParam().value, COLKIND_INTEGER);
        FAIL() << "no exception";
    } catch (const COleException& e) {
        EXPECT_NE(e.GetErrorMessage().find(GetParam().text), std::string::npos)
            << e.GetErrorMessage();
        EXPECT_NE(e.GetErrorMessage().find(FieldTypeName(GetParam().value.GetType())),
                  std::string::npos)
            << e.GetErrorMessage();
    }
}
INSTANTIATE_TEST_SUITE_P(Conversions, NotAnInteger, testing::ValuesIn(kNotAnInteger),
                         ConversionName);

// Values of other types in a text column.
const ConversionCase kToText[] = {
    {"longDecimal", CFieldValue::Long(600041), "600041"},
    {"longNegative", CFieldValue::Long(-1), "-1"},
    {"longMax", CFieldValue::Long(2147483647), "2147483647"},
    {"longMin", CFieldValue::Long(-2147483647 - 1), "-2147483648"},
    {"integer", CFieldValue::Integer(-32768), "-32768"},
    {"byte", CFieldValue::Byte(255), "255"},
    {"yes", CFieldValue::Boolean(true), "-1"},
    {"no", CFieldValue::Boolean(false), "0"},
    {"currencyWhole", CFieldValue::Currency(10000), "1"},
    {"currencyNoTrailingZeros", CFieldValue::Currency(25000), "2.5"},
    {"currencyNegativeFraction", CFieldValue::Currency(-5000), "-0.5"},
    {"currencySmallest", CFieldValue::Currency(1), "0.0001"},
    {"currencyAllDigits", CFieldValue::Currency(123456789), "12345.6789"},
    {"currencyMin", CFieldValue::Currency(std::numeric_limits<int64_t>::min()),
     "-922337203685477.5808"},
    {"doubleShort", CFieldValue::Double(0.1), "0.1"},
    {"doubleWhole", CFieldValue::Double(-3.0), "-3"},
    {"doubleMillion", CFieldValue::Double(1000000.0), "1000000"},
    {"doubleLarge", CFieldValue::Double(1e20), "1E+20"},
    {"doubleSmall", CFieldValue::Double(0.00001), "1E-05"},
    {"doubleNeedsSeventeenDigits", CFieldValue::Double(0.1 + 0.2), "0.30000000000000004"},
    {"doubleThird", CFieldValue::Double(1.0 / 3.0), "0.3333333333333333"},
    {"singleShort", CFieldValue::Single(1.1f), "1.1"},
    {"singleNeedsEightDigits", CFieldValue::Single(16777216.0f), "16777216"},
    {"date", CFieldValue::Date(39906.5885416666642), "2009/04/03 14:07:30"},
    {"dateOutOfRange", CFieldValue::Date(-1e7), "-1/-1/-1 -1:-1:-1"},
    {"decimalExact", CFieldValue::Decimal("-12345678901234567890.0123456789"),
     "-12345678901234567890.0123456789"},
    {"largeNumberMin", CFieldValue::LargeNumber(std::numeric_limits<int64_t>::min()),
     "-9223372036854775808"},
    {"extendedDateHalfSecondUp", CFieldValue::ExtendedDate(633743644495000000),
     "2009/04/03 14:07:30"},
    {"extendedDateBeforeYear100", CFieldValue::ExtendedDate(4999999), "1/01/01 00:00:00"},
    {"emptyIsEmptyText", CFieldValue(), ""},
};

class ToText : public testing::TestWithParam<ConversionCase> {};
TEST_P(ToText, RendersTheDecimalText) {
    EXPECT_EQ(RenderValue(GetParam().value, COLKIND_TEXT), GetParam().text);
}
INSTANTIATE_TEST_SUITE_P(Conversions, ToText, testing::ValuesIn(kToText), ConversionName);

// Values of other types in a date-time column.
const ConversionCase kToDateTime[] = {
    {"doubleDayCount", CFieldValue::Double(39906.5885416666642), "2009/04/03 14:07:30"},
    {"singleDayCount", CFieldValue::Single(0.5f), "1899/12/30 12:00:00"},
    {"longDayCount", CFieldValue::Long(2), "1900/01/01 00:00:00"},
    {"longOutOfRange", CFieldValue::Long(2958466), "-1/-1/-1 -1:-1:-1"},
    {"integerNegative", CFieldValue::Integer(-1), "1899/12/29 00:00:00"},
    {"byte", CFieldValue::Byte(61), "1900/03/01 00:00:00"},
    {"yesIsDayMinusOne", CFieldValue::Boolean(true), "1899/12/29 00:00:00"},
    {"currencyDayAndAHalf", CFieldValue::Currency(15000), "1899/12/31 12:00:00"},
    {"textSlashes", CFieldValue::Text("2009/04/03 14:07:30"), "2009/04/03 14:07:30"},
    {"textDashes", CFieldValue::Text("2009-04-03 14:07:30"), "2009/04/03 14:07:30"},
    {"textDateOnly", CFieldValue::Text("2009/4/3"), "2009/04/03 00:00:00"},
    {"textNoSeconds", CFieldValue::Text(" 2009-04-03  14:07 "), "2009/04/03 14:07:00"},
    {"textThreeDigitYear", CFieldValue::Text("999/12/31 23:59:59"), "999/12/31 23:59:59"},
    {"textLeapDay", CFieldValue::Text("2000/02/29"), "2000/02/29 00:00:00"},
    {"largeNumberDayCount", CFieldValue::LargeNumber(2), "1900/01/01 00:00:00"},
    {"extendedDateCarriesIntoNextDay", CFieldValue::ExtendedDate(633979007995000000),
     "2010/01/01 00:00:00"},
    {"extendedDateLastTickStaysInItsDay", CFieldValue::ExtendedDate(3155378975999999999),
     "9999/12/31 23:59:59"},
    {"extendedDatePastTheLastDay", CFieldValue::ExtendedDate(3155378976000000000),
     "-1/-1/-1 -1:-1:-1"},
    {"emptyIsDayZero", CFieldValue(), "1899/12/30 00:00:00"},
};

class ToDateTime : public testing::TestWithParam<ConversionCase> {};
TEST_P(ToDateTime, RendersTheDateTimeText) {
    EXPECT_EQ(RenderValue(GetParam().value, COLKIND_DATETIME), GetParam().text);
}
INSTANTIATE_TEST_SUITE_P(Conversions, ToDateTime, testing::ValuesIn(kToDateTime), ConversionName);

const char* const kNotADateTime[] = {
    "",
    "yesterday",
    "2009/02/29",
    "1900/02/29",
    "2009/13/01",
    "2009/00/10",
    "2009/04/31",
    "2009/04/03 24:00:00",
    "2009/04/03 14:60",
    "2009/04/03 14:07:60",
    "2009/04-03",
    "99/01/01",
    "10000/01/01",
    "2009/04/03T14:07:30",
    "2009/04/03 14:07:30 x",
    "2009/04/03 14:7",
    "2009/04/03 14",
    "14:07:30",
};

TEST(ToDateTimeFromText, ThrowsForAnythingButARealDate) {
    for (const char* text : kNotADateTime) {
        EXPECT_THROW(RenderValue(CFieldValue::Text(text), COLKIND_DATETIME), COleException)
            << '"' << text << '"';
    }
}

TEST(ConversionMessage, QuotesATextValueAndCutsALongOneOnACharacterBoundary) {
    try {
        RenderValue(CFieldValue::Text("abc"), COLKIND_INTEGER);
        FAIL() << "no exception";
    } catch (const COleException& e) {
        EXPECT_EQ(e.GetErrorMessage(),
                  "The Text value \"abc\" cannot be converted to an integer (type mismatch).");
    }
    try {
        // Fifteen three-byte characters: byte 40 falls inside the 14th, so 13 are kept.
        RenderValue(CFieldValue::Text("あいうえおかきくけこさしすせそ"), COLKIND_DATETIME);
        FAIL() << "no exception";
    } catch (const COleException& e) {
        EXPECT_EQ(e.GetErrorMessage(),
                  "The Text value \"あいうえおかきくけこさしす...\" cannot be converted to a "
                  "date-time (type mismatch).");
    }
}

TEST(ConversionMessage, WritesANumberInDecimal) {
    try {
        RenderValue(CFieldValue::Double(3e10), COLKIND_INTEGER);
        FAIL() << "no exception";
    } catch (const COleException& e) {
        EXPECT_EQ(e.GetErrorMessage(),
                  "The Double value 30000000000 is outside the range of a 32-bit integer "
                  "(overflow).");
    }
}

}  // namespace
