// The command line's progress line while the copy is verified.
#include "app/ProgressLine.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>

#include "dbaccess/Translate.h"

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

// In Japanese the line says it in Japanese, and blanks a longer line before it by the columns a
// terminal gives its wide characters (two each).
TEST(ProgressLine, InJapaneseTheLineIsJapanese) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "ja_JP.UTF-8") == nullptr) {
        GTEST_SKIP() << "the locale ja_JP.UTF-8 is not generated (scripts/install-deps)";
    }
    BindMessageCatalogue(BRIMLOW_BINARY_DIR "/locale");
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    {
        CProgressLine line(out);
        line.StartRun(1001);
        line.Show({"KEN_ALL", 1001, 1001}, 1001);
        line.StartVerify(166140);
        line.ShowVerify(52000, 171140);
        line.Show({"Mst01", 200, 5}, 5);
    }
    std::setlocale(LC_ALL, before.c_str());
    // 25, 22 and 27 columns, then 17: each line blanks what the longer one before it left.
    EXPECT_EQ(Written(out),
              "\rKEN_ALL  1,001 / 1,001 件\r検証中  0 / 166,140 件   "
              "\r検証中  52,000 / 171,140 件\rMst01  5 / 200 件          ");
    std::fclose(out);
}
