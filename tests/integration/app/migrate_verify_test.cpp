// brimlow-migrate --verify on the command line: the summary's verification keys, the exit
// status and what stderr says, for a copy that is equal, one a trigger changes, and an append
// into tables that held rows; --verify with --sql is a usage error.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "migration/TableCatalogue.h"
#include "tests/support/MiniJson.h"
#include "tests/support/Paths.h"
#include "tests/support/RunCommand.h"
#include "tests/support/SqliteTarget.h"
#include "tests/support/TempDirectory.h"

namespace {

using testsupport::CommandResult;

struct CVerifiedRun {
    CommandResult result;
    JsonValue summary;
    std::string json;
};

class MigrateVerify : public testing::Test {
protected:
    // brimlow-migrate --verify with args into the test's target, its summary read back.
    CVerifiedRun Run(const std::vector<std::string>& args) {
        std::vector<std::string> argv{testpaths::Build("brimlow-migrate").string(),
                                      "--verify",
                                      "--summary",
                                      (dir / "summary.json").string(),
                                      "--target",
                                      target.ConnectionString()};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.push_back(testpaths::Data("sample.mdb").string());
        CVerifiedRun run;
        run.result = testsupport::RunCommand(argv);
        std::ifstream in(dir / "summary.json");
        run.json.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        run.summary = ParseJson(run.json);
        return run;
    }

    // Whether every table of the summary says verified is value.
    static void ExpectEveryTableVerified(const JsonValue& summary, bool value) {
        ASSERT_EQ(summary["tables"].items.size(), GetTableCatalogue().size());
        for (const JsonValue& table : summary["tables"].items) {
            EXPECT_EQ(table["verified"].kind, JsonValue::Kind::Bool) << table["table"].text;
            EXPECT_EQ(table["verified"].boolean, value) << table["table"].text;
        }
    }

    const testtarget::SqliteTarget target;
    const testsupport::TempDirectory dir{"brimlow-verify"};
};

}  // namespace

// Into empty tables, per row and then replacing: every table verified, "equal", exit 0, and
// stderr says how many rows were compared.
TEST_F(MigrateVerify, ACleanRunIsEqualPerRowAndReplacing) {
    for (const std::vector<std::string>& mode :
         {std::vector<std::string>{}, std::vector<std::string>{"--replace"}}) {
        SCOPED_TRACE(mode.empty() ? "per row" : "--replace");
        const CVerifiedRun run = Run(mode);
        EXPECT_EQ(run.result.exitCode, 0) << run.result.err;
        EXPECT_EQ(run.summary["status"].text, "completed") << run.json;
        EXPECT_EQ(run.summary["verification"].text, "equal") << run.json;
        ExpectEveryTableVerified(run.summary, true);
        EXPECT_NE(run.result.err.find("brimlow-migrate: verified: the target holds every value of "
                                      "the "),
                  std::string::npos)
            << run.result.err;
    }
}

// A trigger that changes one value keeps the count: only the values tell. The run fails as
// "differs" with "values", names the table, keeps its rows, and lists them in a file.
TEST_F(MigrateVerify, AValueATriggerChangesFailsTheRunAsDiffering) {
    target.Execute(
        "create trigger change after insert on Mst03 when new.rowid = 7 begin update Mst03 set "
        "Col05 = coalesce(Col05, '') || 'x' where rowid = new.rowid; end;");
    const CVerifiedRun run = Run({});
    EXPECT_EQ(run.result.exitCode, 1) << run.result.err;
    EXPECT_EQ(run.summary["status"].text, "differs") << run.json;
    EXPECT_EQ(run.summary["differs"].text, "values") << run.json;
    EXPECT_EQ(run.summary["verification"].text, "differs") << run.json;
    EXPECT_NE(run.result.err.find("Mst03"), std::string::npos) << run.result.err;
    EXPECT_NE(run.result.err.find("then run again with --replace."), std::string::npos)
        << run.result.err;
    EXPECT_EQ(target.Count("Mst03"), 200u);
    const std::string file = run.summary["differences_file"].text;
    EXPECT_FALSE(file.empty()) << run.json;
    EXPECT_NE(run.result.err.find(file), std::string::npos) << run.result.err;
    for (const JsonValue& table : run.summary["tables"].items) {
        EXPECT_EQ(table["verified"].boolean, table["table"].text != "Mst03") << table["table"].text;
    }
}

// Rows added to a table that held some are not verified: "not run" with the reason, exit 0,
// a note on stderr.
TEST_F(MigrateVerify, AnAppendIntoTablesWithRowsIsNotVerified) {
    target.Execute("insert into Mst02(Col02) values ('old');");
    const CVerifiedRun run = Run({});
    EXPECT_EQ(run.result.exitCode, 0) << run.result.err;
    EXPECT_EQ(run.summary["status"].text, "completed") << run.json;
    EXPECT_EQ(run.summary["verification"].text, "not run") << run.json;
    EXPECT_FALSE(run.summary["verification_reason"].text.empty()) << run.json;
    EXPECT_NE(run.result.err.find("brimlow-migrate: note: the copy was not verified: "),
              std::string::npos)
        << run.result.err;
}

// Statements written out leave nothing to read back; without --verify, no verification keys.
TEST_F(MigrateVerify, SqlExcludesVerifyAndNoVerifyMeansNoKeys) {
    const CommandResult sql =
        testsupport::RunCommand({testpaths::Build("brimlow-migrate").string(), "--sql", "--verify",
                                 testpaths::Data("sample.mdb").string()});
    EXPECT_EQ(sql.exitCode, 2);
    EXPECT_EQ(sql.err.rfind("brimlow-migrate: --sql and --verify exclude each other\n", 0), 0u)
        << sql.err;

    const CommandResult plain = testsupport::RunCommand(
        {testpaths::Build("brimlow-migrate").string(), "--summary", (dir / "plain.json").string(),
         "--target", target.ConnectionString(), testpaths::Data("sample.mdb").string()});
    EXPECT_EQ(plain.exitCode, 0) << plain.err;
    std::ifstream in(dir / "plain.json");
    const std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(json.find("\"status\": \"completed\""), std::string::npos) << json;
    EXPECT_EQ(json.find("verifi"), std::string::npos) << json;
}
