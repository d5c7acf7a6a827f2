#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "dbaccess/JetFormatError.h"
#include "dbaccess/JetValue.h"

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

TEST(SourceFieldValue, EveryOtherTypeIsNullWhenItsBitIsClear) {
    for (int type :
         {jettype::kByte, jettype::kInteger, jettype::kLong, jettype::kCurrency, jettype::kSingle,
          jettype::kDouble, jettype::kDateTime, jettype::kText, jettype::kMemo}) {
        EXPECT_TRUE(Decode(type, {}, true).IsNull()) << JetTypeName(type);
    }
}

TEST(SourceFieldValue, Jet3TextIsCodePage932) {
    EXPECT_TRUE(Decode(jettype::kText, {0x82, 0xA0, 0x87, 0x40}, false, JetVersion::Jet3) ==
                CFieldValue::Text("あ①"));
}

std::string ErrorOf(int type, const Bytes& bytes) {
    try {
        Decode(type, bytes);
    } catch (const JetFormatError& e) {
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

TEST(SourceFieldValue, TypesWithoutAValueKindAreRefused) {
    for (int type :
         {jettype::kBinary, jettype::kOle, jettype::kReplicationId, jettype::kNumeric, 0x42}) {
        EXPECT_FALSE(IsReadableJetType(type));
        EXPECT_EQ(ErrorOf(type, {1, 2, 3, 4}), std::string("the column type ") + JetTypeName(type) +
                                                   " (" + std::to_string(type) +
                                                   ") cannot be read");
    }
}

}  // namespace
