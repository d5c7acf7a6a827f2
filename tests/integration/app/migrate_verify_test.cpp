// brimlow-migrate --verify on both real targets the tests start: a clean copy is "equal"; what
// the target does to the rows on its own (a trigger that changes a value, one that deletes a
// row after inserting it, a column too short for a value) is found by reading the tables back
// and named by table, row and column, with both values.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "tests/support/BackgroundRun.h"
#include "tests/support/MiniJson.h"
#include "tests/support/Paths.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/RunCommand.h"
#include "tests/support/SqliteTarget.h"
#include "tests/support/TempDirectory.h"

namespace {

using testsupport::CommandResult;

// One kind of target: a fresh one's connection string, SQL run beside the program, and the
// statements that make a trigger change Mst01's Col09 in the row whose Col02 is 'A003', one
// that deletes the row 'A002' once it is inserted, and one that narrows Col03 to three
// characters.
struct VerifyTarget {
    const char* name;
    std::function<std::string()> open;
    std::function<void(const std::string&)> execute;
    const char* changeTrigger;
    const char* deleteTrigger;
    const char* narrowColumn;
};

std::unique_ptr<testtarget::SqliteTarget> g_sqlite;
std::string g_database;

const VerifyTarget kSqlite{
    "SQLite",
    [] {
        g_sqlite = std::make_unique<testtarget::SqliteTarget>();
        return g_sqlite->ConnectionString();
    },
    [](const std::string& sql) { g_sqlite->Execute(sql); },
    "create trigger change after insert on Mst01 when new.Col02 = 'A003' begin update Mst01 set "
    "Col09 = Col09 || 'x' where rowid = new.rowid; end;",
    "create trigger remove after insert on Mst01 when new.Col02 = 'A002' begin delete from Mst01 "
    "where rowid = new.rowid; end;",
    "drop table Mst01; create table Mst01 (Col02 varchar(10), Col03 varchar(3), Col04 text, "
    "Col05 text, Col06 text, Col07 text, Col08 text, Col09 text, Col10 text, JogaiFlag "
    "integer);"};
const VerifyTarget kPostgres{
    "PostgreSQL",
    [] {
        g_database = testtarget::PostgresServer::Get().CreateFreshDatabase("verify");
        return testtarget::PostgresServer::Get().ConnectionString(g_database);
    },
    [](const std::string& sql) { testtarget::PostgresServer::Get().Execute(g_database, sql); },
    "create function change() returns trigger language plpgsql as $$ begin if new.Col02 = "
    "'A003' then new.Col09 := new.Col09 || 'x'; end if; return new; end $$; create trigger "
    "change before insert on Mst01 for each row execute function change();",
    "create function remove() returns trigger language plpgsql as $$ begin delete from Mst01 "
    "where Col02 = 'A002'; return null; end $$; create trigger remove after insert on Mst01 for "
    "each row when (new.Col02 = 'A002') execute function remove();",
    "alter table Mst01 alter column Col03 type varchar(3);"};

class MigrateVerify : public testing::TestWithParam<VerifyTarget> {
protected:
    void SetUp() override { m_strConnect = GetParam().open(); }
    void Execute(const std::string& sql) { GetParam().execute(sql); }

    // brimlow-migrate --verify on sample.mdb, with more options before the file.
    CommandResult Run(std::vector<std::string> options = {}) {
        std::vector<std::string> argv = {testpaths::Build("brimlow-migrate").string(),
                                         "--verify",
                                         "--summary",
                                         Summary().string(),
                                         "--target",
                                         m_strConnect};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back(testpaths::Data("sample.mdb").string());
        return testsupport::RunCommand(argv, {}, m_folder.Path());
    }
    std::filesystem::path Summary() const { return m_folder.Path() / "summary.json"; }
    JsonValue ReadSummary() const { return ParseJson(testsupport::ReadFile(Summary())); }

    std::string m_strConnect;
    testsupport::TempDirectory m_folder{"brimlow-verify"};
};

TEST_P(MigrateVerify, ACleanCopyIsEqualPerRowAndReplacingAndAnAppendIsNotRun) {
    for (const bool replace : {false, true}) {
        const CommandResult run =
            Run(replace ? std::vector<std::string>{"--replace"} : std::vector<std::string>{});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const JsonValue summary = ReadSummary();
        EXPECT_EQ(summary["status"].text, "completed");
        EXPECT_EQ(summary["verification"].text, "equal") << run.err;
        for (const JsonValue& table : summary["tables"].items) {
            EXPECT_TRUE(table["verified"].boolean) << table["table"].text;
        }
        if (!replace) {
            // The tables hold a copy now: a second append cannot be told apart from it.
            const CommandResult append = Run();
            ASSERT_EQ(append.exitCode, 0) << append.err;
            EXPECT_EQ(ReadSummary()["verification"].text, "not run");
            EXPECT_NE(ReadSummary()["verification_reason"].text.find("KEN_ALL held 1,001 rows"),
                      std::string::npos)
                << append.err;
        }
    }
}

TEST_P(MigrateVerify, AValueATriggerChangedIsNamedWithBothValues) {
    Execute(GetParam().changeTrigger);
    const CommandResult run = Run();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Mst01 row 3 with Col02 'A003': Col09 source '山本 太郎' target "
                           "'山本 太郎x'"),
              std::string::npos)
        << run.err;
    const JsonValue summary = ReadSummary();
    EXPECT_EQ(summary["status"].text, "differs");
    EXPECT_EQ(summary["differs"].text, "values");
    EXPECT_EQ(summary["verification"].text, "differs");
    // Every row is in: the count alone would not have told.
    for (const JsonValue& table : summary["tables"].items) {
        EXPECT_EQ(table["verified"].boolean, table["table"].text != "Mst01");
    }
    const std::string file = summary["differences_file"].text;
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(testsupport::ReadFile(file),
              "Mst01 row 3 with Col02 'A003': Col09 source '山本 太郎' target '山本 太郎x'\n");
}

TEST_P(MigrateVerify, ARowATriggerDeletedAfterItsInsertIsNamed) {
    Execute(GetParam().deleteTrigger);
    const CommandResult run = Run({"--replace"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Mst01 row 2 with Col02 'A002': not in the target"), std::string::npos)
        << run.err;
    const JsonValue summary = ReadSummary();
    EXPECT_EQ(summary["status"].text, "differs");
    EXPECT_EQ(summary["verification"].text, "differs");
}

// SQLite keeps a value longer than its column's declared length; PostgreSQL refuses it, and
// the run fails at that row.
TEST_P(MigrateVerify, AColumnTooShortForAValue) {
    Execute(GetParam().narrowColumn);
    const CommandResult run = Run();
    const JsonValue summary = ReadSummary();
    if (std::string(GetParam().name) == "SQLite") {
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(summary["verification"].text, "equal");
    } else {
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(summary["status"].text, "failed");
        EXPECT_NE(run.err.find("value too long"), std::string::npos) << run.err;
        EXPECT_EQ(summary["verification"].text, "not run");
    }
}

// Statements written out leave nothing to read back; without --verify, no verification keys.
TEST(MigrateVerifyOptions, SqlExcludesVerifyAndNoVerifyMeansNoKeys) {
    const std::string program = testpaths::Build("brimlow-migrate").string();
    const std::string sample = testpaths::Data("sample.mdb").string();
    const CommandResult sql = testsupport::RunCommand({program, "--sql", "--verify", sample});
    EXPECT_EQ(sql.exitCode, 2);
    EXPECT_EQ(sql.err.rfind("brimlow-migrate: --sql and --verify exclude each other\n", 0), 0u)
        << sql.err;

    const testtarget::SqliteTarget target;
    const testsupport::TempDirectory dir{"brimlow-verify"};
    const CommandResult plain =
        testsupport::RunCommand({program, "--summary", (dir.Path() / "plain.json").string(),
                                 "--target", target.ConnectionString(), sample});
    EXPECT_EQ(plain.exitCode, 0) << plain.err;
    const std::string json = testsupport::ReadFile(dir.Path() / "plain.json");
    EXPECT_NE(json.find("\"status\": \"completed\""), std::string::npos) << json;
    EXPECT_EQ(json.find("verifi"), std::string::npos) << json;
}

INSTANTIATE_TEST_SUITE_P(Kinds, MigrateVerify, testing::Values(kSqlite, kPostgres),
                         [](const testing::TestParamInfo<VerifyTarget>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
