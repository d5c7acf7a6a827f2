#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "dbaccess/access/jet/JetFormatError.h"
#include "dbaccess/access/jet/JetValue.h"

namespace {

using Bytes = std::vector<uint8_t>;

template <class T>
Bytes Raw(T value) {
    Bytes bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

const LvalRowReader kNoPages = [](uint32_t) { return std::nullopt; };

CFieldValue Decode(int type, const Bytes& bytes, bool isNull = false,
                   JetVersion version = JetVersion::Jet4) {
    return DecodeJetField(version, type, isNull, bytes, kNoPages);
}

struct ValueCase {
    const char* name;
    int type;
    Bytes bytes;
    CFieldValue expected;
};

void PrintTo(const ValueCase& c, std::ostream* os) {
    *os << c.name;
}

class SourceFieldValue : public ::testing::TestWithParam<ValueCase> {};

TEST_P(SourceFieldValue, KeepsTheColumnsTypeAndTheStoredValue) {
    EXPECT_TRUE(Decode(GetParam().type, GetParam().bytes) == GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Types, SourceFieldValue,
    ::testing::Values(
        ValueCase{"ByteIsUnsigned", jettype::kByte, {0xFF}, CFieldValue::Byte(255)},
        ValueCase{"IntegerIsSigned", jettype::kInteger, {0x00, 0x80}, CFieldValue::Integer(-32768)},
        ValueCase{"IntegerMaximum", jettype::kInteger, {0xFF, 0x7F}, CFieldValue::Integer(32767)},
        ValueCase{"LongIsSigned", jettype::kLong, Raw<int32_t>(-1), CFieldValue::Long(-1)},
        ValueCase{"LongMinimum", jettype::kLong, Raw<int32_t>(INT32_MIN),
                  CFieldValue::Long(INT32_MIN)},
        ValueCase{"Currency", jettype::kCurrency, Raw<int64_t>(-25000),
                  CFieldValue::Currency(-25000)},
        ValueCase{"Single", jettype::kSingle, Raw<float>(2.5f), CFieldValue::Single(2.5f)},
        ValueCase{"Double", jettype::kDouble, Raw<double>(0.49999999999999994),
                  CFieldValue::Double(0.49999999999999994)},
        ValueCase{"NegativeDate", jettype::kDateTime, Raw<double>(-1.25), CFieldValue::Date(-1.25)},
        ValueCase{"Jet4Text", jettype::kText, {'o', 0, 'k', 0}, CFieldValue::Text("ok")},
        ValueCase{"EmptyTextIsNotNull", jettype::kText, {}, CFieldValue::Text("")},
        ValueCase{"EmptyMemoIsNotNull", jettype::kMemo, {}, CFieldValue::Text("")},
        ValueCase{"InlineMemo",
                  jettype::kMemo,
                  {0x04, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 'h', 0, 'i', 0},
                  CFieldValue::Text("hi")},
        ValueCase{"LongerBytesThanTheType",
                  jettype::kInteger,
                  {0x01, 0x00, 0xEE},
                  CFieldValue::Integer(1)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SourceFieldValue, DatesKeepEveryBitOfTheStoredDouble) {
    const uint64_t bits = 0x40e37c52d561783a;  // 2009-04-03 14:07:30.5, just above the half
    const CFieldValue value = Decode(jettype::kDateTime, Raw(bits));
    ASSERT_EQ(value.GetType(), FieldType::Date);
    EXPECT_EQ(std::bit_cast<uint64_t>(value.GetReal()), bits);
}

TEST(SourceFieldValue, YesNoIsTheNullBitAndNeverNull) {
    EXPECT_TRUE(Decode(jettype::kBoolean, {}, false) == CFieldValue::Boolean(true));
    EXPECT_TRUE(Decode(jettype::kBoolean, {}, true) == CFieldValue::Boolean(false));
}

// Even a type whose values cannot be read: a NULL OLE Object is NULL, not unreadable.
TEST(SourceFieldValue, EveryOtherTypeIsNullWhenItsBitIsClear) {
    for (int type : {jettype::kByte, jettype::kInteger, jettype::kLong, jettype::kCurrency,
                     jettype::kSingle, jettype::kDouble, jettype::kDateTime, jettype::kText,
                     jettype::kMemo, jettype::kOle, jettype::kBinary, jettype::kComplex}) {
        EXPECT_TRUE(Decode(type, {}, true).IsNull()) << JetTypeName(type);
    }
}

TEST(SourceFieldValue, Jet3TextIsCodePage932) {
    EXPECT_TRUE(Decode(jettype::kText, {0x82, 0xA0, 0x87, 0x40}, false, JetVersion::Jet3) ==
                CFieldValue::Text("あ①"));
}

TEST(SourceFieldValue, Jet3TextFollowsTheGivenCodePage) {
    const CCodePageText western(1252);
    EXPECT_TRUE(DecodeJetField(JetVersion::Jet3, jettype::kText, false,
                               Bytes{'B', 'o', 'l', 0xED, 'v', 'a', 'r', 0xA3}, kNoPages,
                               {&western, 0}) == CFieldValue::Text("Bolívar£"));
}

// Sign byte, then the magnitude as four little-endian 32-bit words, most significant first.
Bytes DecimalBytes(bool negative, uint32_t low, uint32_t next = 0) {
    Bytes b(17, 0);
    b[0] = negative ? 0x80 : 0;
    for (int i = 0; i < 4; ++i) {
        b[13 + i] = static_cast<uint8_t>(low >> (8 * i));
        b[9 + i] = static_cast<uint8_t>(next >> (8 * i));
    }
    return b;
}

TEST(SourceFieldValue, DecimalIsItsExactText) {
    const auto decimal = [](const Bytes& b, int scale) {
        return DecodeJetField(JetVersion::Jet4, jettype::kNumeric, false, b, kNoPages,
                              {nullptr, scale});
    };
    EXPECT_TRUE(decimal(DecimalBytes(true, 125), 1) == CFieldValue::Decimal("-12.5"));
    EXPECT_TRUE(decimal(DecimalBytes(false, 1200), 2) == CFieldValue::Decimal("12"));
    EXPECT_TRUE(decimal(DecimalBytes(false, 5), 4) == CFieldValue::Decimal("0.0005"));
    EXPECT_TRUE(decimal(DecimalBytes(true, 0), 3) == CFieldValue::Decimal("0"));
    // 2^32 + 7 spans two words.
    EXPECT_TRUE(decimal(DecimalBytes(false, 7, 1), 0) == CFieldValue::Decimal("4294967303"));
}

TEST(SourceFieldValue, AReplicationIdIsTextInAccesssForm) {
    const Bytes guid = {0x78, 0x56, 0x34, 0x12, 0xBC, 0x9A, 0xF0, 0xDE,
                        0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    EXPECT_TRUE(Decode(jettype::kReplicationId, guid) ==
                CFieldValue::Text("{12345678-9ABC-DEF0-0123-456789ABCDEF}"));
}

std::string ErrorOf(int type, const Bytes& bytes) {
    try {
        Decode(type, bytes);
    } catch (const CJetFormatError& e) {
        return e.what();
    }
    return "no error";
}

TEST(SourceFieldValue, AValueShorterThanItsTypeIsAFormatError) {
    EXPECT_EQ(ErrorOf(jettype::kLong, {1, 2, 3}),
              "a Long Integer value needs 4 bytes, the row holds 3");
    EXPECT_EQ(ErrorOf(jettype::kDateTime, {}), "a Date/Time value needs 8 bytes, the row holds 0");
    EXPECT_EQ(ErrorOf(jettype::kByte, {}), "a Byte value needs 1 byte, the row holds 0");
}

TEST(SourceFieldValue, AnIntegerValueTooShortReadsAsAnInteger) {
    EXPECT_EQ(ErrorOf(jettype::kInteger, {1}), "an Integer value needs 2 bytes, the row holds 1");
}

TEST(SourceFieldValue, TypesWithoutAValueKindAreRefused) {
    for (int type : {jettype::kBinary, jettype::kOle, jettype::kComplex, 0x42}) {
        EXPECT_FALSE(IsReadableJetType(type));
        EXPECT_EQ(ErrorOf(type, {1, 2, 3, 4}), std::string("the column type ") + JetTypeName(type) +
                                                   " (" + std::to_string(type) +
                                                   ") cannot be read");
    }
}

// Access 2016's Large Number is a 64-bit integer; Access 2019's Date/Time Extended is text
// of whole days since 0001-01-01 and 100-nanosecond units of the day.
TEST(SourceFieldValue, TheTypesOfAccess2016AndLaterDecode) {
    EXPECT_TRUE(Decode(jettype::kLargeNumber, Raw<int64_t>(INT64_MIN)) ==
                CFieldValue::LargeNumber(INT64_MIN));
    EXPECT_EQ(ErrorOf(jettype::kLargeNumber, {1, 2, 3}),
              "a Large Number value needs 8 bytes, the row holds 3");
    const auto text = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
    const int64_t day = 864000000000;
    EXPECT_TRUE(Decode(jettype::kExtendedDate, text("0000000000000036323:0000000459001234567:7")) ==
                CFieldValue::ExtendedDate(36323 * day + 459001234567));
    EXPECT_TRUE(Decode(jettype::kExtendedDate, text("0000000000003652058:0000000863999999999:0")) ==
                CFieldValue::ExtendedDate(3652059 * day - 1));
    EXPECT_TRUE(Decode(jettype::kExtendedDate, {}, true).IsNull());
    for (const std::string bad :
         {"0000000000000036323:0000000459001234567:", "0000000000003652059:0000000000000000000:7",
          "0000000000000000000:0000000864000000000:7", "9000000000000000000:0000000000000000000:7",
          "0000000000000036323;0000000459001234567:7",
          "00000000000000363 3:0000000459001234567:7"}) {
        EXPECT_EQ(ErrorOf(jettype::kExtendedDate, text(bad)),
                  "a Date/Time Extended value is not in its stored form")
            << bad;
    }
}

// A calculated column's value inside its wrapper: 16 bytes, the length, the value, 3 more.
Bytes Wrapped(const Bytes& value) {
    Bytes bytes(16, 0);
    const Bytes length = Raw<uint32_t>(static_cast<uint32_t>(value.size()));
    bytes.insert(bytes.end(), length.begin(), length.end());
    bytes.insert(bytes.end(), value.begin(), value.end());
    bytes.insert(bytes.end(), 3, 0);
    return bytes;
}

CFieldValue Calculated(int type, const Bytes& bytes, bool isNull = false) {
    return DecodeCalculatedJetField(JetVersion::Jet4, type, isNull, bytes, kNoPages);
}

TEST(SourceFieldValue, ACalculatedValueIsReadFromItsWrapperInTheResultType) {
    EXPECT_EQ(Calculated(jettype::kLong, Wrapped(Raw<int32_t>(-12))), CFieldValue::Long(-12));
    EXPECT_EQ(Calculated(jettype::kCurrency, Wrapped(Raw<int64_t>(833333333))),
              CFieldValue::Currency(833333333));
    EXPECT_EQ(Calculated(jettype::kDouble, Wrapped(Raw<double>(0.1))), CFieldValue::Double(0.1));
    EXPECT_EQ(Calculated(jettype::kText, Wrapped({0xFF, 0xFE, 'W', 'a', 'y', 'n', 'e'})),
              CFieldValue::Text("Wayne"));
    // Yes/No is the value's byte, not the null bit.
    EXPECT_EQ(Calculated(jettype::kBoolean, Wrapped({0xFF})), CFieldValue::Boolean(true));
    EXPECT_EQ(Calculated(jettype::kBoolean, Wrapped({0x00}), true), CFieldValue::Boolean(false));
    // A Null result: the bit, or a wrapper around nothing.
    EXPECT_TRUE(Calculated(jettype::kLong, Wrapped(Raw<int32_t>(7)), true).IsNull());
    EXPECT_TRUE(Calculated(jettype::kDateTime, Wrapped({})).IsNull());
}

// A calculated Decimal: length, scale, sign, then the magnitude in groups: a leading 4-byte
// group when the length is not a multiple of 8, then 8-byte groups, each little-endian.
TEST(SourceFieldValue, ACalculatedDecimalKeepsEveryDigit) {
    // 50.325 = 50325000 at scale 6, in a 12-byte magnitude (4 + 8); no length given.
    EXPECT_EQ(Calculated(jettype::kNumeric, Wrapped({0x00, 0x00, 6, 0, 0, 0, 0, 0, 0x08, 0xE6, 0xFF,
                                                     0x02, 0, 0, 0, 0})),
              CFieldValue::Decimal("50.325"));
    // 0x0000AEE71FB004EC at scale 10, negative, length 14: -19230.7692307692.
    EXPECT_EQ(Calculated(jettype::kNumeric, Wrapped({0x0E, 0x00, 10, 0x80, 0, 0, 0, 0, 0xEC, 0x04,
                                                     0xB0, 0x1F, 0xE7, 0xAE, 0, 0})),
              CFieldValue::Decimal("-19230.7692307692"));
    // 16 bytes, two 8-byte groups: 2^64 + 1 at scale 0.
    EXPECT_EQ(Calculated(jettype::kNumeric, Wrapped({0x12, 0x00, 0, 0, 1, 0, 0, 0, 0, 0,
                                                     0,    0,    1, 0, 0, 0, 0, 0, 0, 0})),
              CFieldValue::Decimal("18446744073709551617"));
    EXPECT_THROW(Calculated(jettype::kNumeric, Wrapped({0x12, 0x00, 0, 0, 1})), CJetFormatError);
}

}  // namespace
