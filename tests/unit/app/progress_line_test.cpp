// The command line's progress line while the copy is verified.
#include "app/ProgressLine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// What the line wrote to out so far.
std::string Written(std::FILE* out) {
    std::fflush(out);
    std::rewind(out);
    std::string text;
    for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out)) {
        text += static_cast<char>(c);
    }
    return text;
}

}  // namespace

// The read-back shows the rows compared of the rows to compare, in place of the last table's
// line, and follows a total that a second reading raises.
TEST(ProgressLine, TheVerificationShowsTheRowsComparedInPlace) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    CProgressLine line(out);
    line.StartRun(1001);
    line.Show({"KEN_ALL", 1001, 1001}, 1001);
    line.StartVerify(166140);
    line.ShowVerify(52000, 171140);
    EXPECT_EQ(Written(out),
              "\rKEN_ALL  1,001 / 1,001 rows\rverifying  0 / 166,140 rows"
              "\rverifying  52,000 / 171,140 rows");
    std::fclose(out);
}
