#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "migration/statement/ColumnKind.h"
#include "migration/statement/RenderValue.h"

namespace {

// Renders inside the locale named by the parameter, set for the whole process as a program
// or a library might set it; restores the previous locale afterwards.
class RenderInLocale : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        m_previous = std::setlocale(LC_ALL, nullptr);
        if (std::setlocale(LC_ALL, GetParam()) == nullptr) {
            GTEST_SKIP() << "the locale " << GetParam()
                         << " is not generated (scripts/install-deps generates it)";
        }
    }
    void TearDown() override { std::setlocale(LC_ALL, m_previous.c_str()); }

private:
    std::string m_previous;
};

}  // namespace

// The golden files hold no fractions; these are the values whose text a decimal comma or
// localised digits would change.
TEST_P(RenderInLocale, NumbersAndDatesKeepTheirFixedForm) {
    EXPECT_EQ("0.30000000000000004", RenderValue(CFieldValue::Double(0.1 + 0.2), COLKIND_TEXT));
    EXPECT_EQ("1E+20", RenderValue(CFieldValue::Double(1e20), COLKIND_TEXT));
    EXPECT_EQ("1.1", RenderValue(CFieldValue::Single(1.1f), COLKIND_TEXT));
    EXPECT_EQ("12345.6789", RenderValue(CFieldValue::Currency(123456789), COLKIND_TEXT));
    EXPECT_EQ("1000000", RenderValue(CFieldValue::Double(1000000.0), COLKIND_INTEGER));
    EXPECT_EQ("3", RenderValue(CFieldValue::Text("2.5001"), COLKIND_INTEGER));
    EXPECT_EQ("2009/04/03 14:07:30",
              RenderValue(CFieldValue::Date(39906.5885416666642), COLKIND_DATETIME));
    EXPECT_EQ("2009/04/03 14:07:00",
              RenderValue(CFieldValue::Text(" 2009-04-03  14:07 "), COLKIND_DATETIME));
}

INSTANTIATE_TEST_SUITE_P(Locales, RenderInLocale, testing::Values("de_DE.UTF-8", "ja_JP.UTF-8"),
                         [](const auto& info) {
                             std::string name = info.param;
                             return name.substr(0, 5);
                         });
