// brimlow-migrate --replace into PostgreSQL loads its rows with COPY through libpq: what it
// stores is compared with what the golden statements store when psql runs them and with what a
// per-row run stores, table by table (a digest of the rows sorted byte-wise); a refused value,
// a stop and a lost connection during a COPY leave the target as it was.

#include <signal.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/TableCatalogue.h"
#include "migration/target/RunLock.h"
#include "tests/support/BackgroundRun.h"
#include "tests/support/GoldenFile.h"
#include "tests/support/Paths.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/RunCommand.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/SqliteTarget.h"
#include "tests/support/StallProxy.h"
#include "tests/support/TempDirectory.h"

namespace {

using testsupport::CommandResult;
using testsupport::ReadFile;

testtarget::PostgresServer& Server() {
    return testtarget::PostgresServer::Get();
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Per table: its row count and the md5 of its catalogued columns' rows in UTF-8 (whatever the
// database's encoding), sorted byte-wise.
std::vector<std::string> Digests(const std::string& database) {
    std::vector<std::string> digests;
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        std::string columns;
        for (const CCatalogueColumn& column : entry.columns) {
            columns += (columns.empty() ? "" : ",") + column.name;
        }
        const std::string row = "row(" + columns + ")::text";
        const auto rows = Server().Query(
            database, "select count(*) || ' ' || coalesce(md5(convert_to(string_agg(" + row +
                          ", chr(10) order by " + row + " collate \"C\"), 'UTF8')), '') from " +
                          entry.table);
        digests.push_back(entry.table + " " + rows.at(0).at(0).value_or("NULL"));
    }
    return digests;
}

CommandResult Migrate(const std::vector<std::string>& options, const std::string& database,
                      const std::filesystem::path& dir, const std::string& mdb,
                      const std::string& connectSuffix = "") {
    std::vector<std::string> argv{testpaths::Build("brimlow-migrate").string()};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), {"--target", Server().ConnectionString(database) + connectSuffix,
                             "--summary", (dir / "summary.json").string(), mdb});
    return testsupport::RunCommand(argv, {}, dir);
}

// A fresh database in EUC_JP with the eight tables.
std::string EucJpDatabase() {
    const std::string database = Server().CreateFreshDatabase("eucjp", false);
    Server().Execute("postgres", "drop database " + database);
    Server().Execute("postgres", "create database " + database +
                                     " encoding 'EUC_JP' template template0 lc_collate 'C' "
                                     "lc_ctype 'C'");
    Server().Execute(database, ReadFile(testpaths::Source("schema/postgresql.sql")));
    return database;
}

class BulkCopy : public testing::TestWithParam<std::string> {};

// Every value arrives as the statements' literals store it: the hostile texts (backslashes,
// quotes, tabs, CR LF, text cut at a zero byte, characters outside the BMP), dates, NULLs.
TEST_P(BulkCopy, StoresWhatTheGoldenStatementsAndAPerRowRunStore) {
    const std::string mdb = testpaths::Data(GetParam() + ".mdb").string();
    testsupport::TempDirectory dir("brimlow-bulk");

    const std::string golden = Server().CreateFreshDatabase("golden");
    std::string script;
    for (const std::string& statement :
         ReadGoldenStatements(testpaths::Data("golden/" + GetParam() + ".sql.json"))) {
        script += statement + ";\n";
    }
    Server().Execute(golden, "begin;\n" + script + "commit;\n");

    const std::string perRow = Server().CreateFreshDatabase("perrow");
    ASSERT_EQ(Migrate({}, perRow, dir.Path(), mdb).exitCode, 0);

    const std::string replaced = Server().CreateFreshDatabase("copy");
    // Something to replace.
    ASSERT_EQ(Migrate({}, replaced, dir.Path(), mdb).exitCode, 0);
    const CommandResult result = Migrate({"--replace"}, replaced, dir.Path(), mdb);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(Has(ReadFile(dir.Path() / "summary.json"), "\"bulk\": \"copy\""))
        << ReadFile(dir.Path() / "summary.json");

    EXPECT_EQ(Digests(replaced), Digests(golden));
    EXPECT_EQ(Digests(perRow), Digests(golden));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, BulkCopy, testing::Values("types", "dates", "sample"));

// Into SQLite every row of a replacing run arrives with the value and the storage class the
// golden statements' literals give it (text as text, integers as integers), as a per-row run's.
class BulkSqlite : public testing::TestWithParam<std::string> {};

testtarget::Rows SqliteRows(const testtarget::SqliteTarget& target, const std::string& table) {
    std::string columns;
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        if (entry.table != table) {
            continue;
        }
        for (const CCatalogueColumn& column : entry.columns) {
            columns += (columns.empty() ? "" : ",") + column.name + ",typeof(" + column.name + ")";
        }
    }
    return target.Query("select " + columns + " from " + table + " order by " + columns + ";");
}

TEST_P(BulkSqlite, StoresWhatTheGoldenStatementsAndAPerRowRunStore) {
    const std::string mdb = testpaths::Data(GetParam() + ".mdb").string();
    testsupport::TempDirectory dir("brimlow-bulk");
    // The golden statements go in through ODBC, as a run's do: the sqlite3 shell turns the CR LF
    // inside some values into LF.
    const testtarget::SqliteTarget golden;
    {
        CDatabase database;
        database.OpenEx(golden.ConnectionString(), noOdbcDialog);
        for (const std::string& statement :
             ReadGoldenStatements(testpaths::Data("golden/" + GetParam() + ".sql.json"))) {
            database.ExecuteSQL(statement);
        }
    }
    const testtarget::SqliteTarget perRow;
    const testtarget::SqliteTarget replaced;
    const auto run = [&](const std::vector<std::string>& options,
                         const testtarget::SqliteTarget& target) {
        std::vector<std::string> argv{testpaths::Build("brimlow-migrate").string()};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.insert(argv.end(), {"--target", target.ConnectionString(), mdb});
        return testsupport::RunCommand(argv, {}, dir.Path());
    };
    ASSERT_EQ(run({}, perRow).exitCode, 0);
    ASSERT_EQ(run({}, replaced).exitCode, 0);
    const CommandResult result = run({"--replace"}, replaced);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        const testtarget::Rows expected = SqliteRows(golden, entry.table);
        EXPECT_EQ(SqliteRows(replaced, entry.table), expected) << entry.table;
        EXPECT_EQ(SqliteRows(perRow, entry.table), expected) << entry.table;
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, BulkSqlite, testing::Values("types", "dates", "sample"));

// A value the column refuses fails the run naming the table and the row the server's context
// names, and the target keeps what it held.
TEST(BulkCopyRefusal, ATooShortColumnNamesTableAndRowAndChangesNothing) {
    const std::string mdb = testpaths::Data("sample.mdb").string();
    testsupport::TempDirectory dir("brimlow-bulk");
    const std::string database = Server().CreateFreshDatabase("short");
    ASSERT_EQ(Migrate({}, database, dir.Path(), mdb).exitCode, 0);
    Server().Execute(database,
                     "alter table Mst01 alter column Col10 type varchar(12) using left(Col10, 12)");
    const std::vector<std::string> before = Digests(database);

    const CommandResult result = Migrate({"--replace"}, database, dir.Path(), mdb);
    EXPECT_EQ(result.exitCode, 1);
    // The first row of Mst01 whose Col10 is longer than 12 characters, in the source's order.
    std::string expectedRow;
    {
        const std::vector<std::string> statements =
            ReadGoldenStatements(testpaths::Data("golden/sample.sql.json"));
        const std::string fresh = Server().CreateFreshDatabase("short_ref");
        Server().Execute(fresh, "alter table Mst01 alter column Col10 type varchar(12)");
        std::size_t row = 0;
        for (const std::string& statement : statements) {
            if (statement.rfind("insert into Mst01(", 0) != 0) {
                continue;
            }
            ++row;
            try {
                Server().Execute(fresh, statement);
            } catch (const std::runtime_error&) {
                expectedRow = "Mst01 row " + std::to_string(row) + ":";
                break;
            }
        }
    }
    ASSERT_FALSE(expectedRow.empty());
    EXPECT_TRUE(Has(result.err, expectedRow)) << expectedRow << "\n" << result.err;
    EXPECT_TRUE(Has(result.err, "value too long")) << result.err;
    EXPECT_EQ(Digests(database), before);
}

// An EUC_JP database cannot hold a character outside its set: the conversion's refusal names
// the table and the row, and nothing changes. The same database takes the Japanese text of
// dates.mdb through both paths alike.
TEST(BulkCopyRefusal, AnEucJpDatabaseGetsTheSameRowsOrTheSameRefusal) {
    testsupport::TempDirectory dir("brimlow-bulk");
    const std::string database = EucJpDatabase();
    const std::string utf8 = Server().CreateFreshDatabase("utf8");

    const std::string dates = testpaths::Data("dates.mdb").string();
    ASSERT_EQ(Migrate({}, utf8, dir.Path(), dates).exitCode, 0);
    const CommandResult copied = Migrate({"--replace"}, database, dir.Path(), dates);
    ASSERT_EQ(copied.exitCode, 0) << copied.err;
    EXPECT_TRUE(Has(ReadFile(dir.Path() / "summary.json"), "\"bulk\": \"copy\""));
    EXPECT_EQ(Digests(database), Digests(utf8));

    const std::vector<std::string> before = Digests(database);
    const CommandResult refused =
        Migrate({"--replace"}, database, dir.Path(), testpaths::Data("types.mdb").string());
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(
        std::regex_search(refused.err, std::regex("The target refused [A-Za-z0-9_]+ row [0-9]+:")))
        << refused.err;
    EXPECT_TRUE(Has(refused.err, "EUC_JP")) << refused.err;
    EXPECT_EQ(Digests(database), before);
}

// Under a locale whose character set is not UTF-8 (a scheduled job with LANG unset, or
// ja_JP.eucJP), or a PGCLIENTENCODING of another set, the statements are still UTF-8 and the
// server is told so: an EUC_JP database converts the postal list's text (the first row goes
// in; 〜 has no EUC_JP form and is refused as such, not as bytes of another set), and the
// loading session is the driver's twin.
TEST(BulkCopyRefusal, AnyLocaleSendsUtf8AndSaysSo) {
    testsupport::TempDirectory dir("brimlow-bulk");
    const std::string eucJp = EucJpDatabase();
    const std::string expected = Server().CreateFreshDatabase("utf8");
    const std::string sample = testpaths::Data("sample.mdb").string();
    ASSERT_EQ(Migrate({}, expected, dir.Path(), sample).exitCode, 0);

    const testsupport::ScopedEnv c("LC_ALL", "C");
    const testsupport::ScopedEnv other("PGCLIENTENCODING", "SJIS");
    const CommandResult refused = Migrate({}, eucJp, dir.Path(), sample);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(Has(refused.err, "failed at row 2 of KEN_ALL")) << refused.err;
    EXPECT_TRUE(Has(refused.err, "has no equivalent in encoding \"EUC_JP\"")) << refused.err;

    const std::string utf8 = Server().CreateFreshDatabase("utf8");
    const CommandResult copied = Migrate({"--replace"}, utf8, dir.Path(), sample);
    ASSERT_EQ(copied.exitCode, 0) << copied.err;
    EXPECT_TRUE(Has(ReadFile(dir.Path() / "summary.json"), "\"bulk\": \"copy\"")) << copied.err;
    EXPECT_EQ(Digests(utf8), Digests(expected));
}

// A ConnSettings that sets another search_path runs in both sessions: the rows go to that
// schema's tables, through COPY.
TEST(BulkCopySession, ConnSettingsSearchPathIsTheLoadingSessionsToo) {
    testsupport::TempDirectory dir("brimlow-bulk");
    const std::string database = Server().CreateFreshDatabase("searchpath");
    Server().Execute(database, "create schema other; set search_path to other;\n" +
                                   ReadFile(testpaths::Source("schema/postgresql.sql")));
    const std::string mdb = testpaths::Data("dates.mdb").string();
    const std::string reference = Server().CreateFreshDatabase("searchref");
    ASSERT_EQ(Migrate({}, reference, dir.Path(), mdb).exitCode, 0);

    const CommandResult result = Migrate({"--replace"}, database, dir.Path(), mdb,
                                         ";ConnSettings={set search_path to other}");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(Has(ReadFile(dir.Path() / "summary.json"), "\"bulk\": \"copy\""));
    EXPECT_EQ(Server().Query(database, "select count(*) from public.KEN_ALL_Version").at(0).at(0),
              "0");
    std::vector<std::string> other;
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        other.push_back(
            *Server().Query(database, "select count(*) from other." + entry.table).at(0).at(0));
    }
    std::vector<std::string> expected;
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        expected.push_back(
            *Server().Query(reference, "select count(*) from " + entry.table).at(0).at(0));
    }
    EXPECT_EQ(other, expected);
}

// A data source attribute libpq has no equivalent for keeps the insert path, and says so.
TEST(BulkCopySession, AnUnknownAttributeKeepsTheInsertPathAndSaysSo) {
    testsupport::TempDirectory dir("brimlow-bulk");
    const std::string database = Server().CreateFreshDatabase("unknownattr");
    const std::string mdb = testpaths::Data("dates.mdb").string();
    const CommandResult result =
        Migrate({"--replace"}, database, dir.Path(), mdb, ";MaxVarcharSize=300");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(Has(result.err, "not through COPY")) << result.err;
    EXPECT_TRUE(Has(result.err, "maxvarcharsize")) << result.err;
    EXPECT_TRUE(Has(ReadFile(dir.Path() / "summary.json"), "\"bulk\": \"insert\""));
}

// The server's log holds exactly the loading session's statements: no truncate, no change of
// a durability setting.
TEST(BulkCopySession, TheServerLogShowsTheExpectedStatements) {
    testsupport::TempDirectory dir("brimlow-bulk");
    const std::string database = Server().CreateFreshDatabase("logged");
    const std::string mdb = testpaths::Data("sample.mdb").string();
    Server().Execute(database, "alter database " + database + " set log_statement = 'all'");
    const std::filesystem::path log =
        std::filesystem::path(*Server().Query(database, "show data_directory").at(0).at(0))
            .parent_path() /
        "server.log";
    const std::size_t start = ReadFile(log).size();
    const CommandResult result = Migrate({"--replace"}, database, dir.Path(), mdb);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string logged = ReadFile(log).substr(start);

    // Line by line: a regular expression would recurse through the long lines of inserts.
    std::vector<std::string> statements;
    static constexpr std::string_view kStatement = "LOG:  statement: ";
    for (std::size_t start = 0; start < logged.size();) {
        std::size_t end = logged.find('\n', start);
        end = end == std::string::npos ? logged.size() : end;
        const std::string_view line(logged.data() + start, end - start);
        if (const std::size_t at = line.find(kStatement); at != std::string_view::npos) {
            statements.emplace_back(line.substr(at + kStatement.size()));
        }
        start = end + 1;
    }
    std::vector<std::string> loads;
    for (const std::string& statement : statements) {
        if (statement.rfind("copy ", 0) == 0 || statement.rfind("delete from", 0) == 0 ||
            statement.rfind("lock table", 0) == 0 || statement == "BEGIN" ||
            statement == "COMMIT") {
            loads.push_back(statement);
        }
        EXPECT_FALSE(Has(statement, "truncate") || Has(statement, "synchronous_commit") ||
                     (Has(statement, "insert into") && !Has(statement, "rollback_probe")))
            << statement;
    }
    // A COPY for each table with rows, in the catalogue's order.
    std::vector<std::string> expected{"BEGIN", ""};
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        expected.push_back("delete from " + entry.table);
    }
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        if (*Server().Query(database, "select count(*) from " + entry.table).at(0).at(0) != "0") {
            expected.push_back("copy " + entry.table);
        }
    }
    expected.push_back("COMMIT");
    ASSERT_EQ(loads.size(), expected.size()) << logged;
    EXPECT_EQ(loads[1].rfind("lock table ", 0), 0u) << loads[1];
    loads[1].clear();
    for (std::string& load : loads) {
        if (load.rfind("copy ", 0) == 0) {
            load = load.substr(0, load.find('('));
        }
    }
    EXPECT_EQ(loads, expected);
}

// Another program holding a table past the lock timeout ends the wait as the insert path
// does: the run says the tables are held and changes nothing.
TEST(BulkCopySession, ATableHeldPastTheLockTimeoutIsReportedAsBusy) {
    testsupport::TempDirectory dir("brimlow-bulk");
    const std::string database = Server().CreateFreshDatabase("held");
    const std::string mdb = testpaths::Data("dates.mdb").string();
    ASSERT_EQ(Migrate({}, database, dir.Path(), mdb).exitCode, 0);
    const std::vector<std::string> before = Digests(database);
    std::thread holder([&] {
        Server().Execute(database,
                         "begin; lock table Mst01 in share mode; select pg_sleep(22); commit;");
    });
    testsupport::AwaitCondition([&] {
        return *Server()
                    .Query(database,
                           "select count(*) from pg_locks where mode = 'ShareLock' and "
                           "locktype = 'relation'")
                    .at(0)
                    .at(0) != "0";
    });
    const CommandResult result = Migrate({"--replace"}, database, dir.Path(), mdb);
    holder.join();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(Has(result.err,
                    "holds the target's tables and did not let them go within the "
                    "lock timeout"))
        << result.err;
    EXPECT_EQ(Digests(database), before);
}

// The pid of the session that holds the run lock in database and its application_name; none
// when no session holds it.
std::vector<std::string> RunLockHolder(const std::string& database) {
    const auto rows = Server().Query(
        database,
        "select l.pid::text, a.application_name from pg_locks l join pg_stat_activity a "
        "on a.pid = l.pid where l.locktype = 'advisory' and l.granted and l.objsubid = 1 and "
        "l.classid = " +
            std::to_string(kRunLockKey >> 32) +
            " and l.objid = " + std::to_string(kRunLockKey & 0xffffffff));
    if (rows.empty()) {
        return {};
    }
    return {rows.at(0).at(0).value_or(""), rows.at(0).at(1).value_or("")};
}

// The pid of the session that waits for Mst01's lock, "" when none does.
std::string Mst01Waiter(const std::string& database) {
    const auto rows = Server().Query(database,
                                     "select pid::text from pg_locks where locktype = 'relation' "
                                     "and not granted and relation = 'mst01'::regclass");
    return rows.empty() ? "" : rows.at(0).at(0).value_or("");
}

// Another program holds Mst01 for a few seconds, from a thread of its own.
class CMst01Held {
public:
    explicit CMst01Held(const std::string& database)
        : m_holder([database] {
              Server().Execute(database,
                               "begin; lock table Mst01 in share mode; select pg_sleep(5); "
                               "commit;");
          }) {
        testsupport::AwaitCondition([&] {
            return *Server()
                        .Query(database,
                               "select count(*) from pg_locks where mode = 'ShareLock' and "
                               "locktype = 'relation' and granted")
                        .at(0)
                        .at(0) != "0";
        });
    }
    ~CMst01Held() { m_holder.join(); }

private:
    std::thread m_holder;
};

// A replacing run into PostgreSQL is one session on the server: the session that waits for a
// table (and then loads) is the one holding the run lock, under the run's label. A second run
// started meanwhile, replacing or per-row, waits for it and then goes ahead; one stopped while
// it waits ends as a stopped run and changes nothing.
TEST(BulkCopySession, TheLoadingSessionHoldsTheRunLockAndASecondRunWaitsForIt) {
    const std::string mdb = testpaths::Data("sample.mdb").string();
    testsupport::TempDirectory dir("brimlow-bulk");
    testsupport::TempDirectory secondDir("brimlow-bulk-second");
    const std::string database = Server().CreateFreshDatabase("lockholder");
    ASSERT_EQ(Migrate({}, database, dir.Path(), mdb).exitCode, 0);
    const std::vector<std::string> once = Digests(database);
    const std::string twiceDatabase = Server().CreateFreshDatabase("lockholder_twice");
    ASSERT_EQ(Migrate({}, twiceDatabase, dir.Path(), mdb).exitCode, 0);
    ASSERT_EQ(Migrate({}, twiceDatabase, dir.Path(), mdb).exitCode, 0);
    const std::vector<std::string> twice = Digests(twiceDatabase);
    const std::string connect = Server().ConnectionString(database);
    const auto replace = [&](const std::filesystem::path& in) {
        return std::vector<std::string>{
            "--replace", "--target", connect, "--summary", (in / "summary.json").string(), mdb};
    };
    // Both runs' sessions carry their label; the second one's tries the lock.
    const auto bothLabelled = [&] {
        return *Server()
                    .Query(database,
                           "select count(*) from pg_stat_activity where application_name like "
                           "'brimlow %'")
                    .at(0)
                    .at(0) == "2";
    };

    for (const char* second : {"replace", "append", "stopped"}) {
        SCOPED_TRACE(second);
        std::optional<testsupport::CBackgroundRun> first;
        std::optional<testsupport::CBackgroundRun> next;
        std::vector<std::string> holder;
        std::string waiter;
        {
            const CMst01Held held(database);
            first.emplace(replace(dir.Path()), dir.Path());
            testsupport::AwaitCondition([&] { return !Mst01Waiter(database).empty(); });
            waiter = Mst01Waiter(database);
            holder = RunLockHolder(database);
            const std::string which = second;
            next.emplace(which == "append" ? std::vector<std::string>{"--target", connect, mdb}
                                           : replace(secondDir.Path()),
                         secondDir.Path());
            EXPECT_TRUE(testsupport::AwaitCondition(bothLabelled));
            if (which == "stopped") {
                next->Signal(SIGINT);
                EXPECT_EQ(next->Wait(), 128 + SIGINT) << ReadFile(secondDir.Path() / "err");
            }
        }
        EXPECT_EQ(first->Wait(), 0) << ReadFile(dir.Path() / "err");
        ASSERT_FALSE(waiter.empty());
        ASSERT_EQ(holder.size(), 2u);
        EXPECT_EQ(holder[0], waiter);
        EXPECT_EQ(holder[1].rfind("brimlow replace ", 0), 0u) << holder[1];
        EXPECT_TRUE(Has(ReadFile(dir.Path() / "summary.json"), "\"bulk\": \"copy\""));
        if (std::string(second) == "stopped") {
            EXPECT_EQ(Digests(database), once);
            continue;
        }
        EXPECT_EQ(next->Wait(), 0) << ReadFile(secondDir.Path() / "err");
        if (std::string(second) == "replace") {
            EXPECT_TRUE(Has(ReadFile(secondDir.Path() / "summary.json"), "\"bulk\": \"copy\""));
            EXPECT_EQ(Digests(database), once);
        } else {
            // Added after the first run's commit: two copies of every row.
            EXPECT_EQ(Digests(database), twice);
            // Back to one copy for the next round.
            ASSERT_EQ(Migrate({"--replace"}, database, dir.Path(), mdb).exitCode, 0);
        }
        EXPECT_TRUE(RunLockHolder(database).empty());
    }
}

// A run of sample.mdb --replace into a database already holding it, through a relay that
// misbehaves at Mst01's COPY.
class CProxiedCopy {
public:
    CProxiedCopy(const char* when, const char* action)
        : m_database(Server().CreateFreshDatabase("copylost")),
          m_proxy(Server().Port(), "copy Mst01(", 1, when, action) {
        const std::string mdb = testpaths::Data("sample.mdb").string();
        if (Migrate({}, m_database, m_dir.Path(), mdb).exitCode != 0) {
            throw std::runtime_error("the first run failed");
        }
        m_before = Digests(m_database);
        m_run.emplace(
            std::vector<std::string>{"--replace", "--target",
                                     m_proxy.Through(Server().ConnectionString(m_database)), mdb},
            m_dir.Path());
    }
    int Wait() const {
        std::atomic<bool> done{false};
        std::thread killer([this, &done] {
            for (int i = 0; i < 1200 && !done; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            if (!done) {
                m_run->Signal(SIGKILL);
            }
        });
        const int status = m_run->Wait();
        done = true;
        killer.join();
        return status;
    }
    bool Triggered() const { return m_proxy.Triggered(); }
    const testsupport::CBackgroundRun& Run() const { return *m_run; }
    std::string Err() const { return ReadFile(m_dir.Path() / "err"); }
    bool Unchanged() const { return Digests(m_database) == m_before; }
    // The sessions of the database other than the asking one.
    int Sessions() const {
        return std::stoi(
            *Server()
                 .Query(m_database, "select count(*) from pg_stat_activity where datname = '" +
                                        m_database + "' and pid <> pg_backend_pid()")
                 .at(0)
                 .at(0));
    }

private:
    std::string m_database;
    testsupport::CStallProxy m_proxy;
    testsupport::TempDirectory m_dir{"brimlow-copylost"};
    std::vector<std::string> m_before;
    std::optional<testsupport::CBackgroundRun> m_run;
};

TEST(BulkCopyLost, ALostConnectionDuringACopyChangesNothing) {
    const CProxiedCopy run("after", "drop");
    EXPECT_EQ(run.Wait(), 1) << run.Err();
    EXPECT_TRUE(Has(run.Err(), "Mst01")) << run.Err();
    // Waits for the server to end the dropped session's transaction.
    testsupport::AwaitCondition([&] { return run.Unchanged(); });
    EXPECT_TRUE(run.Unchanged());
}

TEST(BulkCopyLost, AStopWhileTheServerIsSilentDuringACopyChangesNothing) {
    const CProxiedCopy run("after", "freeze");
    testsupport::AwaitCondition([&] { return run.Triggered(); });
    run.Run().Signal(SIGINT);
    EXPECT_EQ(run.Wait(), 128 + SIGINT) << run.Err();
    // Both of the run's sessions were ended: nothing holds the tables any more.
    EXPECT_TRUE(testsupport::AwaitCondition([&] { return run.Sessions() == 0; }));
    testsupport::AwaitCondition([&] { return run.Unchanged(); });
    EXPECT_TRUE(run.Unchanged());
}

}  // namespace
