// Reading speed over the benchmark file, printed for the record; nothing is asserted on time.
#include <chrono>
#include <cstdio>

#include "tests/integration/dbaccess/access/source_support.h"

using namespace sourcetest;

namespace {

TEST(SourceSpeed, ReadsTheBenchmarkFileAsTheMigrationDoes) {
    const auto path = Shared("kenall-full.mdb");
    if (!path) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("kenall-full.mdb");
    }
    // The columns the migration copies, read once per row in its order.
    const std::vector<std::string> ken = {
        "DantaiCode", "ZipCode5",       "ZipCode7",   "TodofukenKana", "City1Kana",
        "City2Kana",  "TodofukenKanji", "City1Kanji", "City2Kanji",    "Flag10",
        "Flag11",     "Flag12",         "Flag13",     "Flag14",        "Flag15"};
    const std::vector<std::string> mst0103 = {"Col02", "Col03", "Col04", "Col05", "Col06",
                                              "Col07", "Col08", "Col09", "Col10", "JogaiFlag"};
    const std::vector<std::string> mst02 = {"Col02", "Col03", "Col04", "Col05", "JogaiFlag"};
    const std::vector<std::pair<std::string, std::vector<std::string>>> tables = {
        {"KEN_ALL", ken},      {"KEN_ALL_Version", {"Version"}},
        {"Mst01", mst0103},    {"Mst02", mst02},
        {"Mst02Error", mst02}, {"Mst03", mst0103},
        {"Mst04", mst02},      {"Mst04Error", mst02}};

    const auto openStart = std::chrono::steady_clock::now();
    CDaoDatabase db;
    db.Open(*path, false, true, kPassword);
    const auto readStart = std::chrono::steady_clock::now();
    size_t rows = 0;
    size_t fields = 0;
    for (const auto& [table, columns] : tables) {
        CDaoRecordset rs(db);
        rs.Open(dbOpenDynaset, "select * from " + table, dbReadOnly);
        while (!rs.IsEOF()) {
            for (const auto& column : columns) {
                rs.GetFieldValue(column);
                ++fields;
            }
            ++rows;
            rs.MoveNext();
        }
    }
    const auto end = std::chrono::steady_clock::now();
    const double openSeconds = std::chrono::duration<double>(readStart - openStart).count();
    const double readSeconds = std::chrono::duration<double>(end - readStart).count();
    EXPECT_EQ(rows, 166140u);
    std::printf(
        "kenall-full.mdb: open with check %.3f s; %zu rows, %zu fields read in %.3f s = "
        "%.0f rows/s\n",
        openSeconds, rows, fields, readSeconds, rows / readSeconds);
    RecordProperty("rows_per_second", static_cast<int>(rows / readSeconds));
}

}  // namespace
