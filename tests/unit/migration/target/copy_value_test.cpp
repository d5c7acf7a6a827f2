#include <gtest/gtest.h>

#include <string>

#include "migration/statement/ColumnKind.h"
#include "migration/target/CopySession.h"

namespace {

std::string Copied(const std::string& value, int kind) {
    std::string out = "<";
    AppendCopyValue(out, value, kind);
    return out + ">";
}

// COPY's text format reads a backslash as an escape and a tab, a line feed or a carriage
// return as the end of a column or a row: those four are escaped, everything else goes as it
// is, so that the server stores the literal's text.
TEST(CopyValue, EscapesWhatTheTextFormatReadsAndNothingElse) {
    EXPECT_EQ("<C:\\\\Users\\\\a\\\\>", Copied("C:\\Users\\a\\", COLKIND_TEXT));
    EXPECT_EQ("<a\\tb\\nc\\rd\\r\\n>", Copied("a\tb\nc\rd\r\n", COLKIND_TEXT));
    EXPECT_EQ("<'); delete from Mst01; -- \"q\" 𠮷 ,;|>",
              Copied("'); delete from Mst01; -- \"q\" 𠮷 ,;|", COLKIND_TEXT));
    EXPECT_EQ("<\\\\N>", Copied("\\N", COLKIND_TEXT));
    EXPECT_EQ("<>", Copied("", COLKIND_TEXT));
    EXPECT_EQ("<-42>", Copied("-42", COLKIND_INTEGER));
    EXPECT_EQ("<2009/04/03 14:07:30>", Copied("2009/04/03 14:07:30", COLKIND_DATETIME));
    EXPECT_EQ("<\\N>", Copied("", COLKIND_NULL));
}

}  // namespace
