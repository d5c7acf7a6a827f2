// brimlow-migrate end to end: real .mdb files into real targets, the embedded SQLite target
// through the built-in connection string and the project's odbcinst.ini, and PostgreSQL
// through psqlODBC with --target. Each case runs on both.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "dbaccess/Exceptions.h"
#include "dbaccess/access/FileCheckProcess.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/TableCatalogue.h"
#include "tests/support/DeclaredRows.h"
#include "tests/support/EncryptedCopy.h"
#include "tests/support/GoldenFile.h"
#include "tests/support/Paths.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/RunCommand.h"
#include "tests/support/SqliteTarget.h"
#include "tests/support/TempDirectory.h"

namespace {

using testsupport::CommandResult;
using testtarget::Rows;

// One target database with the eight tables, and how brimlow-migrate reaches it.
class Target {
public:
    virtual ~Target() = default;
    // Arguments that select this target (none for the built-in connection string).
    virtual std::vector<std::string> TargetArguments() const = 0;
    virtual std::filesystem::path WorkDirectory() const = 0;
    virtual std::string ConnectionString() const = 0;
    virtual void Execute(const std::string& sql) const = 0;
    virtual Rows Query(const std::string& sql) const = 0;
    // An unreachable target of the same kind.
    virtual std::string UnreachableConnection() const = 0;
};

class SqliteBuiltIn final : public Target {
public:
    std::vector<std::string> TargetArguments() const override { return {}; }
    std::filesystem::path WorkDirectory() const override { return m_db.Directory(); }
    std::string ConnectionString() const override { return m_db.ConnectionString(); }
    void Execute(const std::string& sql) const override { m_db.Execute(sql); }
    Rows Query(const std::string& sql) const override { return m_db.Query(sql); }
    std::string UnreachableConnection() const override {
        return "Driver={SQL Server};Database=/nonexistent-folder/Pomvale01";
    }

private:
    testtarget::SqliteTarget m_db;
};

class Postgres final : public Target {
public:
    Postgres()
        : m_server(testtarget::PostgresServer::Get()),
          m_database(m_server.CreateFreshDatabase("e2e")) {}
    std::vector<std::string> TargetArguments() const override {
        return {"--target", m_server.ConnectionString(m_database)};
    }
    std::filesystem::path WorkDirectory() const override { return m_work.Path(); }
    std::string ConnectionString() const override { return m_server.ConnectionString(m_database); }
    void Execute(const std::string& sql) const override { m_server.Execute(m_database, sql); }
    Rows Query(const std::string& sql) const override { return m_server.Query(m_database, sql); }
    std::string UnreachableConnection() const override {
        // The server's own port, on an address nothing listens on.
        return "Driver=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so;Server=127.0.0.2;Port=" +
               std::to_string(m_server.Port() + 1) + ";Database=x;Uid=postgres";
    }

private:
    testtarget::PostgresServer& m_server;
    std::string m_database;
    testsupport::TempDirectory m_work{"brimlow-e2e"};
};

std::unique_ptr<Target> MakeTarget(const std::string& kind) {
    if (kind == "sqlite") {
        return std::make_unique<SqliteBuiltIn>();
    }
    return std::make_unique<Postgres>();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> LogLinesUpTo(size_t tables, bool completed) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < tables; ++i) {
        lines.push_back(GetTableCatalogue()[i].logLine);
    }
    if (completed) {
        lines.push_back("移行が完了しました。");
    }
    return lines;
}

const CCatalogueEntry& Entry(const std::string& table) {
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        if (entry.table == table) {
            return entry;
        }
    }
    throw std::logic_error("no table " + table);
}

// The catalogued columns of a table, every row, in a stable order.
Rows SortedRows(const Target& target, const std::string& table) {
    std::string columns;
    for (const CCatalogueColumn& column : Entry(table).columns) {
        columns += (columns.empty() ? "" : ",") + column.name;
    }
    Rows rows = target.Query("select " + columns + " from " + table + ";");
    std::sort(rows.begin(), rows.end());
    return rows;
}

size_t Count(const Target& target, const std::string& table) {
    return std::stoul(*target.Query("select count(*) from " + table + ";").at(0).at(0));
}

// What --sql writes for the named fixture: its golden statements, a line each.
std::string GoldenSqlOutput(const std::string& name) {
    std::string expected;
    for (const std::string& statement :
         ReadGoldenStatements(testpaths::Data("golden/" + name + ".sql.json"))) {
        expected += statement + "\n";
    }
    return expected;
}

// A database of the given kind holding the golden statements of sample.mdb: what a target
// must hold after one run. They go in through ODBC, as the statements of a run do: the
// sqlite3 shell would turn the CR LF inside some values into LF.
std::unique_ptr<Target> GoldenSample(const std::string& kind) {
    std::unique_ptr<Target> reference = MakeTarget(kind);
    CDatabase referenceDb;
    referenceDb.OpenEx(reference->ConnectionString(), noOdbcDialog);
    for (const std::string& statement :
         ReadGoldenStatements(testpaths::Data("golden/sample.sql.json"))) {
        referenceDb.ExecuteSQL(statement);
    }
    return reference;
}

class MigrateEndToEnd : public testing::TestWithParam<std::string> {
protected:
    void SetUp() override { m_target = MakeTarget(GetParam()); }

    CommandResult Migrate(const std::string& path, std::vector<std::string> targetArgs) {
        std::vector<std::string> argv{testpaths::Build("brimlow-migrate").string()};
        argv.insert(argv.end(), targetArgs.begin(), targetArgs.end());
        argv.push_back(path);
        return testsupport::RunCommand(argv, {}, m_target->WorkDirectory());
    }
    CommandResult Migrate(const std::string& path) {
        return Migrate(path, m_target->TargetArguments());
    }

    std::unique_ptr<Target> m_target;
};

TEST_P(MigrateEndToEnd, SampleArrivesValueForValueAndLogsEveryTable) {
    const CommandResult result = Migrate(testpaths::Data("sample.mdb"));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Lines(result.out), LogLinesUpTo(8, true));
    EXPECT_EQ(result.err, "");

    const std::unique_ptr<Target> reference = GoldenSample(GetParam());
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        EXPECT_EQ(SortedRows(*m_target, entry.table), SortedRows(*reference, entry.table))
            << entry.table;
    }
    EXPECT_EQ(Count(*m_target, "KEN_ALL"), 1001u);
    EXPECT_EQ(Count(*m_target, "Mst04Error"), 0u);
}

TEST_P(MigrateEndToEnd, HostileTextArrivesAsPlainText) {
    ASSERT_EQ(Migrate(testpaths::Data("sample.mdb")).exitCode, 0);

    const Rows injected =
        m_target->Query("select Col10 from Mst01 where Col10 like '%delete from Mst01%';");
    ASSERT_EQ(injected.size(), 1u);
    EXPECT_EQ(*injected[0][0], "'); delete from Mst01; --");
    EXPECT_EQ(Count(*m_target, "Mst01"), 200u);
    const Rows backslashes = m_target->Query("select Col09, Col10 from Mst01 where Col09 = '\\';");
    ASSERT_EQ(backslashes.size(), 1u);
    EXPECT_EQ(*backslashes[0][1], "C:\\Users\\share\\顧客.xlsx");
    const Rows crlf = m_target->Query("select Col10 from Mst01 where Col10 like '1行目%';");
    ASSERT_EQ(crlf.size(), 1u);
    EXPECT_EQ(*crlf[0][0], "1行目\r\n2行目");
}

TEST_P(MigrateEndToEnd, EmptySourceLogsEveryTableAndSendsNothing) {
    const CommandResult result = Migrate(testpaths::Data("empty.mdb"));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Lines(result.out), LogLinesUpTo(8, true));
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        EXPECT_EQ(Count(*m_target, entry.table), 0u) << entry.table;
    }
}

// Every table and column the run reads is looked up before the target is touched: a missing
// one sends nothing, whichever table it is in.
TEST_P(MigrateEndToEnd, MissingSourceTableOrColumnFailsBeforeAnyRow) {
    for (const auto& [file, named] :
         {std::pair{"missing-table.mdb", "Mst03"}, std::pair{"missing-column.mdb", "Col04"}}) {
        const CommandResult result = Migrate(testpaths::Data(file));
        EXPECT_EQ(result.exitCode, 1) << file;
        EXPECT_EQ(result.out, "") << file;
        EXPECT_NE(result.err.find(named), std::string::npos) << result.err;
        for (const CCatalogueEntry& entry : GetTableCatalogue()) {
            EXPECT_EQ(Count(*m_target, entry.table), 0u) << file << " " << entry.table;
        }
    }
}

// A target table or column the statements name that is missing is found right after the
// connect, also for a table whose source is empty, and nothing is sent or emptied.
TEST_P(MigrateEndToEnd, MissingTargetTableOrColumnFailsBeforeAnyRow) {
    m_target->Execute("insert into Mst02(Col02) values ('old'); drop table Mst04;");
    std::vector<std::string> replace = m_target->TargetArguments();
    replace.insert(replace.begin(), "--replace");
    for (const std::vector<std::string>& args : {m_target->TargetArguments(), replace}) {
        const CommandResult result = Migrate(testpaths::Data("sample.mdb"), args);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find("The target has no table Mst04: "), std::string::npos)
            << result.err;
        EXPECT_EQ(Count(*m_target, "KEN_ALL"), 0u);
        EXPECT_EQ(Count(*m_target, "Mst02"), 1u);
    }

    m_target->Execute(
        "create table Mst04 (Col02 text, Col03 text, Col04 text, Col05 text, JogaiFlag "
        "integer); drop table Mst04Error; create table Mst04Error (Col02 text, Col03 text, "
        "Col04 text, Col05 text);");
    const CommandResult result = Migrate(testpaths::Data("sample.mdb"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("The table Mst04Error of the target ("), std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("lacks a column the program writes"), std::string::npos)
        << result.err;
    EXPECT_EQ(Count(*m_target, "KEN_ALL"), 0u);
}

TEST_P(MigrateEndToEnd, BadSourceFailsBeforeAnyTargetConnection) {
    // Connecting to SQLite creates its file: the probe file's absence proves that no
    // connection was attempted. Every kind of target is reached the same way.
    const testsupport::TempDirectory probeDir("brimlow-probe");
    const std::filesystem::path probe = probeDir / "probe";
    const std::vector<std::string> probeTarget{"--target",
                                               "Driver={SQL Server};Database=" + probe.string()};
    const std::filesystem::path missing = probeDir / "missing.mdb";
    for (const std::string& path :
         {testpaths::Data("wrongpassword.mdb").string(), missing.string(), std::string()}) {
        const CommandResult result = Migrate(path, probeTarget);
        EXPECT_EQ(result.exitCode, 1) << path;
        EXPECT_EQ(result.out, "") << path;
        EXPECT_NE(result.err, "") << path;
        EXPECT_FALSE(std::filesystem::exists(probe)) << path;
    }
}

TEST_P(MigrateEndToEnd, UnreachableTargetFailsAtTheConnectAndLogsNothing) {
    const CommandResult result =
        Migrate(testpaths::Data("sample.mdb"), {"--target", m_target->UnreachableConnection()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err, "");
}

TEST_P(MigrateEndToEnd, RefusedRowKeepsEarlierRowsAndEarlierTables) {
    // A unique key on the target and a row already holding row 5's code: row 5 is refused.
    m_target->Execute(
        "create unique index mst02_code on Mst02(Col02);"
        "insert into Mst02(Col02) values ('B05');");

    const CommandResult result = Migrate(testpaths::Data("sample.mdb"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(Lines(result.out), LogLinesUpTo(3, false));
    EXPECT_NE(result.err, "");
    EXPECT_EQ(Count(*m_target, "KEN_ALL"), 1001u);
    EXPECT_EQ(Count(*m_target, "Mst01"), 200u);
    const Rows codes = m_target->Query("select Col02 from Mst02 order by Col02;");
    ASSERT_EQ(codes.size(), 5u);
    EXPECT_EQ(*codes[0][0], "B01");
    EXPECT_EQ(*codes[3][0], "B04");
    EXPECT_EQ(*codes[4][0], "B05");
}

TEST_P(MigrateEndToEnd, TwoRunsInsertEverythingTwice) {
    ASSERT_EQ(Migrate(testpaths::Data("sample.mdb")).exitCode, 0);
    const CommandResult second = Migrate(testpaths::Data("sample.mdb"));
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(Lines(second.out), LogLinesUpTo(8, true));
    EXPECT_EQ(Count(*m_target, "KEN_ALL"), 2002u);
    EXPECT_EQ(Count(*m_target, "Mst01"), 400u);
    EXPECT_EQ(Count(*m_target, "KEN_ALL_Version"), 2u);
}

// A row the target acknowledges without storing it (a BEFORE trigger that discards it:
// SQLite's RAISE(IGNORE), a PostgreSQL trigger returning NULL) stops the run there, and what the
// run says it inserted is what the target holds.
TEST_P(MigrateEndToEnd, ARowATriggerDiscardsStopsTheRunThere) {
    if (GetParam() == "sqlite") {
        m_target->Execute(
            "create trigger swallow before insert on KEN_ALL when (select count(*) from KEN_ALL) "
            ">= 935 begin select raise(ignore); end;");
    } else {
        m_target->Execute(
            "create function swallow() returns trigger language plpgsql as $$ begin if (select "
            "count(*) from KEN_ALL) >= 935 then return null; end if; return new; end $$;"
            "create trigger swallow before insert on KEN_ALL for each row execute function "
            "swallow();");
    }
    const testsupport::TempDirectory dir("brimlow-swallow");
    std::vector<std::string> args = m_target->TargetArguments();
    args.insert(args.begin(), {"--summary", (dir / "summary.json").string()});
    const CommandResult result = Migrate(testpaths::Data("sample.mdb"), args);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("failed at row 936 of KEN_ALL; 935 rows of KEN_ALL were inserted."),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("The target accepted row 936 of KEN_ALL without storing it: a "
                              "trigger or a rule on the table discarded it."),
              std::string::npos)
        << result.err;
    EXPECT_EQ(Count(*m_target, "KEN_ALL"), 935u);
    std::ifstream in(dir / "summary.json");
    const std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(json.find("\"table\": \"KEN_ALL\", \"total\": 1001, \"inserted\": 935,"),
              std::string::npos)
        << json;
}

// PostgreSQL's DO INSTEAD NOTHING rule answers "INSERT 0 0": the first row stops the run.
TEST(MigratePostgresRule, ADoInsteadNothingRuleStopsTheRunAtItsFirstRow) {
    Postgres target;
    target.Execute("create rule nothing as on insert to Mst04 do instead nothing;");
    const CommandResult result =
        testsupport::RunCommand({testpaths::Build("brimlow-migrate").string(), "--target",
                                 target.ConnectionString(), testpaths::Data("sample.mdb").string()},
                                {}, target.WorkDirectory());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(Lines(result.out), LogLinesUpTo(6, false));
    EXPECT_NE(result.err.find("The target accepted row 1 of Mst04 without storing it"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(Count(target, "Mst03"), 200u);
}

// An AFTER trigger that writes another table does not count as the row's: the run completes,
// per row and replacing.
TEST_P(MigrateEndToEnd, AnAfterTriggerWritingAnotherTableIsNoFailure) {
    if (GetParam() == "sqlite") {
        m_target->Execute(
            "create table audit (x text); create trigger audit after insert on Mst02 begin "
            "insert into audit values (new.Col02); insert into audit values ('again'); end;");
    } else {
        m_target->Execute(
            "create table audit (x text); create function audit() returns trigger language "
            "plpgsql as $$ begin insert into audit values (new.Col02); insert into audit "
            "values ('again'); return null; end $$; create trigger audit after insert on Mst02 "
            "for each row execute function audit();");
    }
    const CommandResult perRow = Migrate(testpaths::Data("sample.mdb"));
    ASSERT_EQ(perRow.exitCode, 0) << perRow.err;
    std::vector<std::string> args = m_target->TargetArguments();
    args.insert(args.begin(), "--replace");
    const CommandResult replacing = Migrate(testpaths::Data("sample.mdb"), args);
    ASSERT_EQ(replacing.exitCode, 0) << replacing.err;
    EXPECT_EQ(Lines(replacing.out), LogLinesUpTo(8, true));
    EXPECT_EQ(Count(*m_target, "audit"), 200u);
    EXPECT_EQ(Count(*m_target, "Mst02"), 50u);
}

// Another writer (here a trigger on KEN_ALL that adds a row of its own to it) leaves the table
// holding more than the run inserted: the rows stay, the completion line is not logged, and the
// run ends as its own kind of failure, in the summary as well.
TEST_P(MigrateEndToEnd, ATableChangedDuringTheRunEndsItAsDiffering) {
    if (GetParam() == "sqlite") {
        m_target->Execute(
            "create trigger extra after insert on KEN_ALL when (select count(*) from KEN_ALL) = "
            "10 begin insert into KEN_ALL (DantaiCode) values ('extra'); end;");
    } else {
        m_target->Execute(
            "create function extra() returns trigger language plpgsql as $$ begin if "
            "pg_trigger_depth() = 1 and (select count(*) from KEN_ALL) = 10 then insert into "
            "KEN_ALL (DantaiCode) values ('extra'); end if; return null; end $$; create trigger "
            "extra after insert on KEN_ALL for each row execute function extra();");
    }
    const testsupport::TempDirectory dir("brimlow-differs");
    std::vector<std::string> args = m_target->TargetArguments();
    args.insert(args.begin(), {"--summary", (dir / "summary.json").string()});
    const CommandResult result = Migrate(testpaths::Data("sample.mdb"), args);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(Lines(result.out), LogLinesUpTo(8, false));
    EXPECT_NE(result.err.find("KEN_ALL holds 1,002 rows; 1,001 were inserted into the empty "
                              "table.\nAnother program (or a trigger on the table) changed the "
                              "target during the run."),
              std::string::npos)
        << result.err;
    EXPECT_EQ(Count(*m_target, "KEN_ALL"), 1002u);
    std::ifstream in(dir / "summary.json");
    const std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(json.rfind("{\"status\": \"differs\", \"error\": ", 0), 0u) << json;
    EXPECT_NE(json.find("\"differs\": \"count\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"table\": \"KEN_ALL\", \"total\": 1001, \"inserted\": 1001,"),
              std::string::npos)
        << json;
}

// Every row of every table, for comparing a whole target before and after.
std::vector<Rows> Snapshot(const Target& target) {
    std::vector<Rows> tables;
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        tables.push_back(SortedRows(target, entry.table));
    }
    return tables;
}

TEST_P(MigrateEndToEnd, ReplaceTwiceLeavesExactlyOneCopy) {
    m_target->Execute("insert into Mst02(Col02) values ('old');");
    std::vector<std::string> args = m_target->TargetArguments();
    args.insert(args.begin(), "--replace");
    for (int run = 0; run < 2; ++run) {
        const CommandResult result = Migrate(testpaths::Data("sample.mdb"), args);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(Lines(result.out), LogLinesUpTo(8, true));
    }
    EXPECT_EQ(Snapshot(*m_target), Snapshot(*GoldenSample(GetParam())));
}

TEST_P(MigrateEndToEnd, ReplaceFailureInTheSixthTableLeavesEveryTableAsItWas) {
    ASSERT_EQ(Migrate(testpaths::Data("sample.mdb")).exitCode, 0);
    m_target->Execute("insert into Mst02(Col02) values ('old');");
    // Mst03's products share their Col05 codes: a unique index refuses its rows.
    m_target->Execute("delete from Mst03; create unique index mst03_col05 on Mst03(Col05);");
    const std::vector<Rows> before = Snapshot(*m_target);

    std::vector<std::string> args = m_target->TargetArguments();
    args.insert(args.begin(), "--replace");
    const CommandResult result = Migrate(testpaths::Data("sample.mdb"), args);
    EXPECT_EQ(result.exitCode, 1);
    // Nothing was committed: no table claims to be copied.
    EXPECT_TRUE(Lines(result.out).empty()) << result.out;
    EXPECT_NE(result.err.find("failed during Mst03; the run was rolled back and the target holds "
                              "what it held before."),
              std::string::npos)
        << result.err;
    // PostgreSQL's COPY names the row its context line gives, SQLite the row whose insert failed.
    EXPECT_NE(result.err.find("The target refused Mst03 row 9: "), std::string::npos) << result.err;
    EXPECT_EQ(Snapshot(*m_target), before);
}

INSTANTIATE_TEST_SUITE_P(Targets, MigrateEndToEnd, testing::Values("sqlite", "postgres"),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

// Without a target the statements are the golden ones, byte for byte, and the log goes to
// stderr.
TEST(MigrateSqlOnly, WritesTheGoldenStatements) {
    for (const std::string name : {"sample", "types", "dates"}) {
        const CommandResult result =
            testsupport::RunCommand({testpaths::Build("brimlow-migrate").string(), "--sql",
                                     testpaths::Data(name + ".mdb").string()});
        ASSERT_EQ(result.exitCode, 0) << name << result.err;
        EXPECT_EQ(result.out, GoldenSqlOutput(name)) << name;
        EXPECT_EQ(Lines(result.err), LogLinesUpTo(8, true)) << name;
    }
}

// A table whose definition declares fewer rows than it holds (a stale count) is read whole:
// the statements are the golden ones, and the count is noted on stderr, before the table's
// line, and in the summary.
TEST(MigrateSqlOnly, AStaleRowCountIsNotedAndEveryRowWritten) {
    const testsupport::TempDirectory dir("brimlow-stale");
    const std::filesystem::path path = dir / "stale.mdb";
    testsupport::CopyWithDeclaredRows(testpaths::Data("sample.mdb"), path, "Mst02", 49);
    const std::filesystem::path summary = dir / "summary.json";
    const CommandResult result =
        testsupport::RunCommand({testpaths::Build("brimlow-migrate").string(), "--sql", "--summary",
                                 summary.string(), path.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, GoldenSqlOutput("sample"));
    std::vector<std::string> lines = LogLinesUpTo(8, true);
    lines.insert(lines.begin() + 3,
                 "brimlow-migrate: note: Mst02 holds 50 rows, but its table definition declares "
                 "49 (a stale count; Compact and Repair in Access corrects it).");
    EXPECT_EQ(Lines(result.err), lines);
    std::ifstream in(summary);
    const std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(json.find("{\"table\": \"Mst02\", \"total\": 50, \"declared\": 49, "
                        "\"inserted\": 50, "),
              std::string::npos)
        << json;
    EXPECT_EQ(json.find("declared"), json.rfind("declared")) << json;
}

// An .accdb protected with the program's own password is decrypted as it is read, in the
// check process and in the run: the statements are those of the same tables unencrypted.
// The file is sample.mdb's pages encrypted with db2013-enc's key, wrapped again for the
// program's password (Access's own pages, wrapped again, are read by the source tests).
TEST(MigrateSqlOnly, AnAccdbEncryptedWithTheProgramsPasswordGivesTheSameStatements) {
    const std::filesystem::path encrypted =
        testpaths::SharedFixtures("real-accdb") / "encrypted" / "jackcessencrypt__db2013-enc.accdb";
    if (!std::filesystem::exists(encrypted)) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("real-accdb/encrypted");
    }
    const testsupport::TempDirectory dir("brimlow-encrypted");
    const std::filesystem::path rewrapped = dir / "db2013-program-password.accdb";
    testsupport::CopyWithNewPassword(encrypted, rewrapped, "1234", "wuzo");
    const std::filesystem::path path = dir / "sample.accdb";
    testsupport::CopyEncryptedLike(testpaths::Data("sample.mdb"), path, rewrapped, "wuzo");
    const CommandResult result = testsupport::RunCommand(
        {testpaths::Build("brimlow-migrate").string(), "--sql", path.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, GoldenSqlOutput("sample"));
    for (const std::filesystem::path& file : {path, rewrapped}) {
        const CommandResult vet =
            testsupport::RunCommand({testpaths::Build("brimlow-vet").string(), file.string()});
        EXPECT_EQ(vet.exitCode, 0) << file << vet.out << vet.err;
        EXPECT_NE(vet.out.find("\nok\n"), std::string::npos) << vet.out;
    }
    // The original, encrypted with another password, is refused as such by both.
    const CommandResult other = testsupport::RunCommand(
        {testpaths::Build("brimlow-migrate").string(), "--sql", encrypted.string()});
    EXPECT_NE(other.exitCode, 0);
    EXPECT_NE(other.err.find("Not a valid password for the database '" + encrypted.string() + "'."),
              std::string::npos)
        << other.err;
}

// Jet's own page encoding of an .mdb (Access 2000's "Encode Database", RC4 with a key from the
// header; no password) is undone by libmdb as it reads each page: such a file reads as the
// plain one.
TEST(MigrateSqlOnly, AnMdbWithJetsPageEncodingGivesTheSameStatements) {
    const testsupport::TempDirectory dir("brimlow-jet-encoded");
    const std::filesystem::path path = dir / "encoded.mdb";
    testsupport::CopyJetEncoded(testpaths::Data("sample.mdb"), path, 0x5A17C3E9);
    const CommandResult result = testsupport::RunCommand(
        {testpaths::Build("brimlow-migrate").string(), "--sql", path.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, GoldenSqlOutput("sample"));
}

// A file that is not an Access database is told so in the same words by the check process
// and by the run, which refuses it before the check.
TEST(MigrateSqlOnly, TheCheckAndTheRunGiveTheSameReasonForAFileThatIsNotAnAccessDatabase) {
    const testsupport::TempDirectory dir("brimlow-not-access");
    const std::filesystem::path path = dir / "notes.mdb";
    std::ofstream(path) << std::string(8192, 'x');
    const std::string reason = "'" + path.string() +
                               "' is not an Access database file: it has no \"Standard Jet DB\" "
                               "signature.";
    const CommandResult vet =
        testsupport::RunCommand({testpaths::Build("brimlow-vet").string(), path.string()});
    EXPECT_EQ(vet.exitCode, 1);
    EXPECT_NE(vet.out.find("failure:not-a-database"), std::string::npos) << vet.out;
    const CommandResult run = testsupport::RunCommand(
        {testpaths::Build("brimlow-migrate").string(), "--sql", path.string()});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
    // The check's report, read back as the program reads it, says the same.
    try {
        VetSourceFile(path.string());
        ADD_FAILURE() << "the check passed";
    } catch (const CDaoException& e) {
        EXPECT_EQ(e.Kind(), SourceFailureKind::NotADatabase);
        EXPECT_EQ(e.GetErrorMessage(), reason);
    }
}

// A text holding a zero byte goes as far as that byte (an SQL literal cannot carry it), and
// the command line says where, on stderr and in the summary. The file is sample.mdb with the
// apostrophe of Mst01's "it's 表'ソ'" (row 189, stored as UTF-16) turned into U+0000.
TEST(MigrateSqlOnly, ATextCutAtAZeroByteIsNoted) {
    const testsupport::TempDirectory dir("brimlow-zero");
    std::ifstream in(testpaths::Data("sample.mdb"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string apostrophe("i\0t\0'\0s\0", 8);
    const size_t at = bytes.find(apostrophe);
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(bytes.find(apostrophe, at + 1), std::string::npos);
    bytes[at + 4] = '\0';
    const std::filesystem::path path = dir / "zero.mdb";
    std::ofstream(path, std::ios::binary) << bytes;
    const std::filesystem::path summary = dir / "summary.json";
    const CommandResult result =
        testsupport::RunCommand({testpaths::Build("brimlow-migrate").string(), "--sql", "--summary",
                                 summary.string(), path.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::string expected = GoldenSqlOutput("sample");
    const std::string whole = "values ('A189','it''s 表''ソ''',";
    ASSERT_NE(expected.find(whole), std::string::npos);
    expected.replace(expected.find(whole), whole.size(), "values ('A189','it',");
    EXPECT_EQ(result.out, expected);
    std::vector<std::string> lines = LogLinesUpTo(8, true);
    lines.insert(lines.begin() + 2,
                 "brimlow-migrate: note: Mst01, column Col03: 1 text value was cut at a zero byte, "
                 "which SQL text cannot carry; the rest of the text was not copied (first in row "
                 "189).");
    EXPECT_EQ(Lines(result.err), lines);
    std::ifstream json(summary);
    const std::string text((std::istreambuf_iterator<char>(json)),
                           std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("\"cut_at_zero_byte\": [{\"column\": \"Col03\", \"first_row\": 189, "
                        "\"count\": 1}]"),
              std::string::npos)
        << text;
}

// A damaged table beside the eight is no part of the run: it copies the eight.
TEST(MigrateSqlOnly, ADamagedNinthTableDoesNotStopTheRun) {
    const CommandResult result =
        testsupport::RunCommand({testpaths::Build("brimlow-migrate").string(), "--sql",
                                 testpaths::Data("regress/extra-table-damaged.mdb").string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, GoldenSqlOutput("sample"));
}

// Statements that cannot be written make the run fail, also when all of them fit in the
// stream's buffer and are only written at the end, or while the source reads its next table.
TEST(MigrateSqlOnly, AnUnwritableOutputFails) {
    for (const std::string name : {"dates", "sample"}) {
        const CommandResult result =
            testsupport::RunCommand({"/bin/sh", "-c", "exec \"$0\" --sql \"$1\" >/dev/full",
                                     testpaths::Build("brimlow-migrate").string(),
                                     testpaths::Data(name + ".mdb").string()});
        EXPECT_EQ(result.exitCode, 1) << name << result.err;
        EXPECT_NE(result.err.find("Cannot write the statements"), std::string::npos)
            << name << result.err;
    }
}

TEST(MigrateCommandLine, UsageErrorsExitWithTwo) {
    const std::string program = testpaths::Build("brimlow-migrate").string();
    for (const std::vector<std::string>& argv :
         std::vector<std::vector<std::string>>{{program},
                                               {program, "a.mdb", "b.mdb"},
                                               {program, "--target"},
                                               {program, "--frobnicate", "a.mdb"},
                                               {program, "--sql", "--target", "x", "a.mdb"},
                                               {program, "--replace", "--sql", "a.mdb"}}) {
        const CommandResult result = testsupport::RunCommand(argv);
        EXPECT_EQ(result.exitCode, 2) << argv.size();
        EXPECT_NE(result.err.find("usage: brimlow-migrate"), std::string::npos);
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(testsupport::RunCommand({program, "--help"}).exitCode, 0);
}

}  // namespace
