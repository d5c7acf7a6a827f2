#include "dbaccess/access/jet/FieldValue.h"

#include <gtest/gtest.h>

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
    EXPECT_STREQ(FieldTypeName(FieldType::Currency), "Currency");
}
