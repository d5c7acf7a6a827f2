#include "dbaccess/access/jet/FieldValue.h"

#include <gtest/gtest.h>

#include <utility>

TEST(FieldValue, KeepsNullDistinctFromEmptyText) {
    EXPECT_TRUE(CFieldValue::Null().IsNull());
    EXPECT_FALSE(CFieldValue::Text("").IsNull());
    EXPECT_NE(CFieldValue::Null(), CFieldValue::Text(""));
    EXPECT_EQ(CFieldValue().GetType(), FieldType::Empty);
}

TEST(FieldValue, KeepsTheColumnTypeAndValue) {
    EXPECT_EQ(CFieldValue::Byte(255).GetInteger(), 255);
    EXPECT_EQ(CFieldValue::Integer(-32768).GetInteger(), -32768);
    EXPECT_EQ(CFieldValue::Boolean(true).GetType(), FieldType::Boolean);
    EXPECT_EQ(CFieldValue::Currency(25000).GetInteger(), 25000);
    EXPECT_EQ(CFieldValue::Date(-1.25).GetReal(), -1.25);
}

TEST(FieldValue, NamesEveryTypeAsAccessDoes) {
    const std::pair<FieldType, const char*> names[] = {
        {FieldType::Empty, "Empty"},
        {FieldType::Null, "Null"},
        {FieldType::Text, "Text"},
        {FieldType::Long, "Long Integer"},
        {FieldType::Integer, "Integer"},
        {FieldType::Byte, "Byte"},
        {FieldType::Boolean, "Yes/No"},
        {FieldType::Single, "Single"},
        {FieldType::Double, "Double"},
        {FieldType::Currency, "Currency"},
        {FieldType::Date, "Date/Time"},
        {FieldType::Decimal, "Decimal"},
        {FieldType::LargeNumber, "Large Number"},
        {FieldType::ExtendedDate, "Date/Time Extended"}};
    for (const auto& [type, name] : names) {
        EXPECT_STREQ(FieldTypeName(type), name);
    }
}
