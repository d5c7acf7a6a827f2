// brimlow-migrate --replace into a SQLite file loads its rows through the SQLite library with
// prepared inserts and bound values: every cell gets the storage class and the value a per-row
// run's literal gives it (compared table by table as a digest of typeof() and quote() of every
// column, the rows in the order of every column), a row the file refuses is named and changes
// nothing, a stop ends a wait for the file's lock, and a connection the library cannot mirror
// keeps the statements and says why.

#include <signal.h>
#include <sqlite3.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "migration/TableCatalogue.h"
#include "tests/support/BackgroundRun.h"
#include "tests/support/Paths.h"
#include "tests/support/RunCommand.h"
#include "tests/support/SqliteTarget.h"
#include "tests/support/TempDirectory.h"

namespace {

using testsupport::CommandResult;
using testsupport::ReadFile;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Per catalogue table: "<table> <rows> <64-bit FNV-1a of every cell's typeof() and quote()>",
// the rows ordered by every column; read with the SQLite library, byte-exact.
std::vector<std::string> Digests(const std::filesystem::path& file) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + file.string());
    }
    std::vector<std::string> digests;
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        std::string select;
        std::string order;
        for (const CCatalogueColumn& column : entry.columns) {
            select += std::string(select.empty() ? "" : ", ") + "typeof(" + column.name +
                      "), quote(" + column.name + ")";
            order += (order.empty() ? "" : ", ") + column.name;
        }
        const std::string query =
            "select " + select + " from " + entry.table + " order by " + order;
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            const std::string error = sqlite3_errmsg(db);
            sqlite3_close(db);
            throw std::runtime_error(error);
        }
        std::uint64_t hash = 1469598103934665603ull;
        const auto add = [&hash](const void* data, std::size_t size) {
            const auto* bytes = static_cast<const unsigned char*>(data);
            for (std::size_t i = 0; i < size; ++i) {
                hash = (hash ^ bytes[i]) * 1099511628211ull;
            }
        };
        std::size_t rows = 0;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            ++rows;
            for (int c = 0; c < sqlite3_column_count(statement); ++c) {
                const auto* text = sqlite3_column_text(statement, c);
                const std::size_t size =
                    static_cast<std::size_t>(sqlite3_column_bytes(statement, c));
                add(&size, sizeof size);
                add(text, size);
            }
        }
        sqlite3_finalize(statement);
        digests.push_back(entry.table + " " + std::to_string(rows) + " " + std::to_string(hash));
    }
    sqlite3_close(db);
    return digests;
}

CommandResult Migrate(const std::vector<std::string>& options, const std::string& connect,
                      const std::filesystem::path& dir, const std::string& mdb) {
    std::vector<std::string> argv{testpaths::Build("brimlow-migrate").string()};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(),
                {"--target", connect, "--summary", (dir / "summary.json").string(), mdb});
    return testsupport::RunCommand(argv, {}, dir);
}

class SqliteBound : public testing::TestWithParam<std::string> {};

// The fixtures hold the hostile values: backslashes, quotes, tabs, CR LF, text cut at a zero
// byte, characters outside the BMP, long memos, dates in and out of range, NULLs.
TEST_P(SqliteBound, StoresWhatAPerRowRunStores) {
    const std::filesystem::path mdb = GetParam() == "kenall-full"
                                          ? testpaths::SharedFixtures("kenall-full.mdb")
                                          : testpaths::Data(GetParam() + ".mdb");
    if (!std::filesystem::exists(mdb)) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("kenall-full.mdb");
    }
    testsupport::TempDirectory dir("brimlow-bound");
    const testtarget::SqliteTarget perRow;
    ASSERT_EQ(Migrate({}, perRow.ConnectionString(), dir.Path(), mdb.string()).exitCode, 0);

    const testtarget::SqliteTarget replaced;
    // Something to replace.
    ASSERT_EQ(
        Migrate({}, replaced.ConnectionString(), dir.Path(), testpaths::Data("sample.mdb").string())
            .exitCode,
        0);
    const CommandResult result =
        Migrate({"--replace"}, replaced.ConnectionString(), dir.Path(), mdb.string());
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(Has(ReadFile(dir.Path() / "summary.json"), "\"bulk\": \"bound\""))
        << ReadFile(dir.Path() / "summary.json");
    EXPECT_EQ(Digests(replaced.File()), Digests(perRow.File()));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, SqliteBound,
                         testing::Values("types", "dates", "sample", "kenall-full"),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return info.param == "kenall-full" ? std::string("kenall_full")
                                                                : info.param;
                         });

// A CHECK on a column that a row breaks: the run fails naming the table and that row, in the
// source's order, and every table holds what it held.
TEST(SqliteBoundRefusal, ACheckFailingOnARowNamesTableAndRowAndChangesNothing) {
    const std::string mdb = testpaths::Data("sample.mdb").string();
    testsupport::TempDirectory dir("brimlow-bound");
    // A per-row run into a fresh file stores Mst01's rows in the source's order: their rowids.
    const testtarget::SqliteTarget fresh;
    ASSERT_EQ(Migrate({}, fresh.ConnectionString(), dir.Path(), mdb).exitCode, 0);
    const auto first =
        fresh.Query("select min(rowid) from Mst01 where length(Col10) > 12;").at(0).at(0);
    ASSERT_TRUE(first.has_value());

    const testtarget::SqliteTarget target;
    ASSERT_EQ(Migrate({}, target.ConnectionString(), dir.Path(), mdb).exitCode, 0);
    target.Execute(
        "alter table Mst01 rename to old; create table Mst01 (Col02 text, Col03 text, Col04 "
        "text, Col05 text, Col06 text, Col07 text, Col08 text, Col09 text, Col10 text check "
        "(length(Col10) <= 12), JogaiFlag integer); insert into Mst01 select * from old where "
        "length(Col10) <= 12; drop table old;");
    const std::vector<std::string> before = Digests(target.File());

    const CommandResult result = Migrate({"--replace"}, target.ConnectionString(), dir.Path(), mdb);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(Has(result.err, "The target refused Mst01 row " + *first +
                                    ": CHECK constraint failed: length(Col10) <= 12 (19)"))
        << "row " << *first << "\n"
        << result.err;
    EXPECT_TRUE(Has(result.err, "the run was rolled back and the target holds what it held before"))
        << result.err;
    EXPECT_EQ(Digests(target.File()), before);
}

// A stop while the run waits for the file's write lock, which a sqlite3 shell holds, ends the
// run at once (the lock wait would end it as busy after 15 s), and nothing changes.
TEST(SqliteBoundStop, AStopEndsTheWaitForTheFilesLock) {
    const testtarget::SqliteTarget target;
    testsupport::TempDirectory dir("brimlow-bound");
    ASSERT_EQ(
        Migrate({}, target.ConnectionString(), dir.Path(), testpaths::Data("sample.mdb").string())
            .exitCode,
        0);
    const std::vector<std::string> before = Digests(target.File());
    std::ofstream holding = target.HoldWriteLock(dir.Path() / "hold");
    const testsupport::CBackgroundRun run({"--replace", "--target", target.ConnectionString(),
                                           testpaths::Data("sample.mdb").string()},
                                          dir.Path());
    // The run's own connection to the file: it waits for the lock.
    testsupport::AwaitCondition([&] {
        const std::filesystem::path fds = "/proc/" + std::to_string(run.Pid()) + "/fd";
        std::error_code ec;
        int opened = 0;
        for (const auto& fd : std::filesystem::directory_iterator(fds, ec)) {
            opened += std::filesystem::read_symlink(fd.path(), ec) == target.File() ? 1 : 0;
        }
        return opened >= 2;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    run.Signal(SIGINT);
    const int status = run.Wait();
    holding << "commit;\n.quit\n" << std::flush;
    holding.close();
    const std::string err = ReadFile(dir.Path() / "err");
    EXPECT_EQ(status, 128 + SIGINT) << err;
    EXPECT_FALSE(Has(err, "holds the target's tables")) << err;
    EXPECT_EQ(Digests(target.File()), before);
}

// A connection string with a setting the library's own connection cannot mirror keeps the
// statements, and says why. (An extension, LoadExt=, is the other such case; the driver leaks
// the message of an extension that fails to load, which the sanitizer build would report.)
TEST(SqliteBoundFallback, ASettingTheLibraryCannotMirrorKeepsTheInsertPathAndSaysSo) {
    const testtarget::SqliteTarget target;
    testsupport::TempDirectory dir("brimlow-bound");
    const testtarget::SqliteTarget perRow;
    const std::string mdb = testpaths::Data("types.mdb").string();
    ASSERT_EQ(Migrate({}, perRow.ConnectionString(), dir.Path(), mdb).exitCode, 0);
    // The driver hands the value to SQLite, which ignores a journal mode it does not know.
    const CommandResult result =
        Migrate({"--replace"}, target.ConnectionString() + ";JournalMode=bogus", dir.Path(), mdb);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(Has(result.err, "not bound straight into its file")) << result.err;
    EXPECT_TRUE(Has(result.err, "JournalMode=bogus")) << result.err;
    EXPECT_TRUE(Has(ReadFile(dir.Path() / "summary.json"), "\"bulk\": \"insert\""));
    EXPECT_EQ(Digests(target.File()), Digests(perRow.File()));
}

}  // namespace
