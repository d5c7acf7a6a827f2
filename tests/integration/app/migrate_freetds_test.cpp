// brimlow-migrate into SQL Server's wire protocol, as a user on Linux reaches SQL Server: the
// data source Pomvale01 through Debian's FreeTDS ODBC driver, to the test TDS server
// (tests/support/tds_server.py), which records every batch and transaction request it receives.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <cstdlib>

#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/TableCatalogue.h"
#include "migration/target/DialogTarget.h"
#include "tests/support/GoldenFile.h"
#include "tests/support/Paths.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TdsServer.h"

namespace {

using testsupport::CommandResult;
using testtarget::TdsServer;
using Tables = std::map<std::string, std::vector<std::string>>;

// The password of the data source the server starts with; it must show nowhere.
constexpr const char kPassword[] = "Pw-s3cret-4711";

std::unique_ptr<TdsServer> StartServer(const std::vector<std::string>& options = {}) {
    return std::make_unique<TdsServer>(options);
}

CommandResult Migrate(const TdsServer& server, const std::vector<std::string>& arguments,
                      // A Japanese session whose messages stay English, for the expectations.
                      const std::vector<std::string>& environment = {
                          "LC_ALL=", "LANGUAGE=", "LC_CTYPE=ja_JP.UTF-8", "LC_MESSAGES=C"}) {
    CommandResult result =
        testsupport::RunCommand(server.MigrateCommand(arguments, environment), {}, server.Folder());
    EXPECT_EQ(result.out.find(kPassword), std::string::npos) << result.out;
    EXPECT_EQ(result.err.find(kPassword), std::string::npos) << result.err;
    return result;
}

std::vector<std::string> Golden(const std::string& name) {
    return ReadGoldenStatements(testpaths::Data("golden/" + name + ".sql.json"));
}

// Per table, the value lists ("(…)") of the golden statements, in order.
Tables GoldenRows(const std::string& name) {
    Tables tables;
    for (const std::string& statement : Golden(name)) {
        const std::string table = statement.substr(12, statement.find('(') - 12);
        tables[table].push_back(statement.substr(statement.find(") values (") + 9));
    }
    return tables;
}

// The requests of the record as "kind" or "kind: text" lines. The server notes a closed
// connection when it sees it, which may be after the client has ended: it is left out.
std::vector<std::string> Requests(const TdsServer& server) {
    std::vector<std::string> requests;
    for (const JsonValue& record : server.Records()) {
        const std::string& kind = record["kind"].text;
        if (kind != "closed") {
            requests.push_back(kind == "batch" ? "batch: " + record["text"].text : kind);
        }
    }
    return requests;
}

// Checks what every run sends first (RunLock.h), from position at in texts: the run's label in
// the session's context_info, the session's id, one try of the run lock (the test server has
// no lock manager: it grants it). Removes them, and the attentions FreeTDS sends when it
// closes their results.
void TakeRunLockBatches(std::vector<std::string>& texts, std::size_t at, const std::string& mode,
                        const std::string& prefix = "") {
    texts.erase(std::remove(texts.begin() + std::min(at, texts.size()), texts.end(), "attention"),
                texts.end());
    std::string hex;
    for (const char c : "brimlow " + mode + " ") {
        static const char kHex[] = "0123456789abcdef";
        hex += {kHex[static_cast<unsigned char>(c) >> 4], kHex[c & 15]};
    }
    ASSERT_GE(texts.size(), at + 3);
    EXPECT_EQ(texts[at].rfind(prefix + "set context_info 0x" + hex, 0), 0u) << texts[at];
    EXPECT_EQ(texts[at + 1], prefix + "select @@SPID");
    EXPECT_EQ(texts[at + 2],
              prefix +
                  "set nocount on; declare @r int; exec @r = sp_getapplock @Resource = 'brimlow', "
                  "@LockMode = 'Exclusive', @LockOwner = 'Session', @LockTimeout = 0; "
                  "set nocount off; select @r");
    texts.erase(texts.begin() + at, texts.begin() + at + 3);
}

// Compares table by table: the row counts, then the first row that differs.
void ExpectSameTables(const Tables& actual, const Tables& expected) {
    for (const auto& [table, rows] : expected) {
        const auto found = actual.find(table);
        ASSERT_TRUE(found != actual.end()) << table << " is not there";
        ASSERT_EQ(found->second.size(), rows.size()) << table;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            ASSERT_EQ(found->second[i], rows[i]) << table << " row " << i + 1;
        }
    }
    EXPECT_EQ(actual.size(), expected.size());
}

class FreeTds : public testing::Test {
protected:
    void SetUp() override {
        if (!TdsServer::DriverInstalled()) {
            GTEST_SKIP() << TdsServer::Driver()
                         << " is not installed (package tdsodbc; scripts/install-deps)";
        }
    }
};

// The fixture's name and the locale brimlow-migrate runs in.
class FreeTdsPerRow : public FreeTds,
                      public testing::WithParamInterface<std::tuple<const char*, const char*>> {};

// The data source holds UID and PWD (FreeTDS itself ignores them there) and no client charset
// (FreeTDS would follow the locale): what arrives is the golden statements, byte for byte,
// and what --sql prints, in any locale.
TEST_P(FreeTdsPerRow, TheServerReceivesTheGoldenStatementsAndTheDataSourcesLogin) {
    const auto [name, locale] = GetParam();
    const auto server = StartServer();
    const std::filesystem::path summary = std::filesystem::path(server->Folder()) / "s.json";
    const std::string file = testpaths::Data(std::string(name) + ".mdb").string();
    const CommandResult run =
        Migrate(*server, {"--summary", summary.string(), file}, {std::string("LC_ALL=") + locale});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    std::vector<std::string> all = server->Batches();
    // The session's quoting is asked first (a backslash must come back as it is), then the
    // run lock is taken.
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.front(), "select 'a\\'");
    all.erase(all.begin());
    TakeRunLockBatches(all, 0, "append");
    // The look at the eight tables and their counts, before the first row and after the last,
    // are no rows.
    std::vector<std::string> batches;
    for (const std::string& batch : all) {
        if (batch.rfind("select ", 0) != 0) {
            batches.push_back(batch);
        }
    }
    EXPECT_EQ(batches, Golden(name));
    std::string joined;
    for (const std::string& batch : batches) {
        joined += batch + "\n";
    }
    EXPECT_EQ(
        joined,
        testsupport::RunCommand({testpaths::Build("brimlow-migrate").string(), "--sql", file}).out);
    ExpectSameTables(server->Committed(), GoldenRows(name));

    const JsonValue login = server->Records().at(1);  // after the PRELOGIN
    EXPECT_EQ(login["kind"].text, "login");
    EXPECT_EQ(login["user"].text, "brimlow");
    EXPECT_EQ(login["password"].text, kPassword);
    EXPECT_EQ(login["database"].text, "Pomvale01");
    EXPECT_EQ(login["app"].text, "brimlow");
    std::ifstream in(summary);
    const std::string written(std::istreambuf_iterator<char>(in), {});
    EXPECT_NE(written.find("\"DSN Pomvale01 (driver "), std::string::npos) << written;
    EXPECT_EQ(written.find(kPassword), std::string::npos) << written;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FreeTdsPerRow,
                         testing::Combine(testing::Values("sample", "types", "dates"),
                                          testing::Values("C", "ja_JP.UTF-8")),
                         [](const auto& info) {
                             std::string name = std::string(std::get<0>(info.param)) + "_" +
                                                std::get<1>(info.param);
                             for (char& c : name) {
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

// A login in the connection string wins over the data source's; a password the string can
// carry only in braces arrives as it is; a client charset of the data source's own is kept.
TEST_F(FreeTds, TheStringsLoginWinsAndAnyPasswordArrivesAsWritten) {
    const auto server = StartServer();
    ASSERT_EQ(Migrate(*server, {"--target", "DSN=Pomvale01;UID=other;PWD=pw",
                                testpaths::Data("dates.mdb").string()})
                  .exitCode,
              0);
    server->DefineDataSource("UID=brimlow\nPWD=a;b}c{d\n");  // FreeTDS takes no "}}"
    ASSERT_EQ(Migrate(*server, {testpaths::Data("dates.mdb").string()}).exitCode, 0);
    server->DefineDataSource("UID=brimlow\nPWD=x\nClientCharset=ISO-8859-1\n");
    ASSERT_EQ(Migrate(*server, {testpaths::Data("sample.mdb").string()}, {"LC_ALL=C"}).exitCode, 0);

    std::vector<std::string> logins;
    for (const JsonValue& record : server->Records()) {
        if (record["kind"].text == "login") {
            logins.push_back(record["user"].text + "/" + record["password"].text);
        }
    }
    EXPECT_EQ(logins, (std::vector<std::string>{"other/pw", "brimlow/a;b}c{d", "brimlow/x"}));
    // ISO-8859-1 cannot carry 北海道: the data source's choice was the driver's to apply.
    const std::vector<std::string> batches = server->Batches();
    const auto lastRow = std::find_if(batches.rbegin(), batches.rend(), [](const std::string& b) {
        return b.rfind("insert into ", 0) == 0;
    });
    ASSERT_NE(lastRow, batches.rend());
    EXPECT_EQ(lastRow->rfind("insert into Mst04(", 0), 0u) << *lastRow;
    EXPECT_NE(*lastRow, Golden("sample").back());
}

// --replace: the look at the eight tables, the rollback probe on a #table, the deletes holding
// their tables, the count of each table, the rows in statements of at most 1,000, one commit,
// the count of each table again, and then the new contents alone.
TEST_F(FreeTds, AReplacingRunProbesDeletesInsertsAndCommitsOnce) {
    const auto server = StartServer({"--rows", "KEN_ALL=3", "--rows", "Mst04Error=2"});
    const CommandResult run =
        Migrate(*server, {"--replace", testpaths::Data("sample.mdb").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    std::vector<std::string> requests = Requests(*server);
    TakeRunLockBatches(requests, 3, "replace", "batch: ");
    const std::string probe = "#brimlow_rollback_probe";
    std::vector<std::string> looks;
    std::vector<std::string> counts;
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        std::string columns;
        for (const CCatalogueColumn& column : entry.columns) {
            columns += (columns.empty() ? "" : ",") + column.name;
        }
        looks.push_back("batch: select " + columns + " from " + entry.table + " where 1=0");
        counts.push_back("batch: select count(*) from " + entry.table);
    }
    std::vector<std::string> start{"prelogin", "login", "batch: select 'a\\'"};
    start.insert(start.end(), looks.begin(), looks.end());
    start.insert(start.end(),
                 {"batch: create table " + probe + " (id integer primary key)", "begin",
                  "batch: insert into " + probe + " (id) values (1)", "rollback", "rollback",
                  "batch: insert into " + probe + " (id) values (1)", "batch: drop table " + probe,
                  "begin"});
    ASSERT_GT(requests.size(), start.size() + 8);
    EXPECT_EQ(std::vector<std::string>(requests.begin(), requests.begin() + start.size()), start);
    std::size_t i = start.size();
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        EXPECT_EQ(requests[i++],
                  "batch: delete from " + entry.table + " with (TABLOCKX, HOLDLOCK)");
    }
    for (const std::string& count : counts) {
        EXPECT_EQ(requests[i++], count);
    }
    for (; i < requests.size() && requests[i].rfind("batch: insert into ", 0) == 0; ++i) {
    }
    // Autocommit back on is a rollback of nothing; the counts come after it.
    std::vector<std::string> end{"commit", "rollback"};
    end.insert(end.end(), counts.begin(), counts.end());
    EXPECT_EQ(std::vector<std::string>(requests.begin() + i, requests.end()), end);
    int kenAllStatements = 0;
    for (const JsonValue& record : server->Records()) {
        // The rows' statements, not the probe's (on its #table, outside the transaction).
        const std::string& text = record["text"].text;
        if (text.rfind("insert into ", 0) == 0 && text.rfind("insert into #", 0) != 0) {
            EXPECT_TRUE(record["transaction"].boolean);
            EXPECT_LE(std::stoi(record["rows"].text), 1000);
            kenAllStatements += text.rfind("insert into KEN_ALL(", 0) == 0;
        }
    }
    EXPECT_GT(kenAllStatements, 1);  // its 1,001 rows take more than one statement
    Tables expected = GoldenRows("sample");
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        expected[entry.table];  // deleted, whether or not rows came back
    }
    ExpectSameTables(server->Committed(), expected);
}

// A statement refused in the sixth table: everything is rolled back, the target keeps what it
// held, and the message names the table and the rows.
TEST_F(FreeTds, ARefusalInTheSixthTableRollsEverythingBack) {
    const auto server = StartServer(
        {"--rows", "KEN_ALL=3", "--rows", "Mst03=2", "--error-on", "insert into Mst03(=2627"});
    const Tables before = server->Committed();
    ASSERT_EQ(GetTableCatalogue()[5].table, "Mst03");
    const CommandResult run =
        Migrate(*server, {"--replace", testpaths::Data("sample.mdb").string()});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("The target refused Mst03 rows 1 to 200: Violation of PRIMARY KEY "
                           "constraint 'PK_Mst03'."),
              std::string::npos)
        << run.err;
    ExpectSameTables(server->Committed(), before);
    const std::vector<std::string> requests = Requests(*server);
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "commit"), 0);
    EXPECT_EQ(requests.back(), "rollback");
}

// The server applies the commit and the connection drops before its answer: the program
// cannot tell old from new contents, and says so instead of "rolled back".
TEST_F(FreeTds, ACommitWhoseAnswerIsLostIsUnknown) {
    const auto server = StartServer({"--rows", "KEN_ALL=3", "--drop-on", "commit-done"});
    const CommandResult run =
        Migrate(*server, {"--replace", testpaths::Data("sample.mdb").string()});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("the connection was lost during the commit; the outcome is unknown: "
                           "the target holds either the old or the new contents"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("rolled back"), std::string::npos) << run.err;
    EXPECT_EQ(server->Committed().at("KEN_ALL").size(), 1001u);
}

// What a user is told for SQL Server's errors, chosen by their SQLSTATE (FreeTDS gives a lock
// timeout and a deadlock the general 42000: by SQL Server's number), FreeTDS's tags removed.
TEST_F(FreeTds, ServerErrorsAreToldWithTheTableAndTheRow) {
    const std::string sample = testpaths::Data("sample.mdb").string();
    {
        const auto server = StartServer({"--error-on", "insert into Mst01(=2627"});
        const CommandResult run = Migrate(*server, {sample});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("failed at row 1 of Mst01; 0 rows of Mst01 were inserted.\n"
                               "Violation of PRIMARY KEY constraint 'PK_Mst01'. Cannot insert "
                               "duplicate key in object 'dbo.Mst01'."),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(run.err.find("[FreeTDS]"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("[SQL Server]"), std::string::npos) << run.err;
    }
    {
        const auto server = StartServer({"--error-on", "insert into Mst02(=208"});
        const CommandResult run = Migrate(*server, {sample});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("Invalid object name 'Mst02'.\nThe target has no table Mst02: DSN "
                               "Pomvale01"),
                  std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find("schema/sqlserver.sql"), std::string::npos) << run.err;
    }
    for (const char* error : {"1222", "1205"}) {
        const auto server =
            StartServer({"--error-on", std::string("delete from Mst01 with=") + error});
        const CommandResult run = Migrate(*server, {"--replace", sample});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("Another run (or another program) holds the target's tables"),
                  std::string::npos)
            << error << ": " << run.err;
        EXPECT_EQ(server->Committed(), Tables{}) << error;
    }
}

// SQL Server shutting down answers a statement with its message 6005: the statement may have
// been applied before it, so the row's outcome is unknown, not a failure of the row.
TEST_F(FreeTds, AServerShuttingDownLeavesTheRowUnknown) {
    const auto server = StartServer({"--error-on", "insert into Mst01(=6005"});
    const std::filesystem::path summary = std::filesystem::path(server->Folder()) / "s.json";
    const CommandResult run =
        Migrate(*server, {"--summary", summary.string(), testpaths::Data("sample.mdb").string()});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("the connection was lost while row 1 of Mst01 was being sent"),
              std::string::npos)
        << run.err;
    std::ifstream in(summary);
    const std::string written(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(written.rfind("{\"status\": \"unknown\"", 0), 0u) << written;
}

// A delete that waits for its table's lock is cancelled by FreeTDS at the statement timeout
// (15 s, an ATTENTION on the wire); the run says that another program holds the tables, and
// nothing changed.
TEST_F(FreeTds, ALockWaitEndsAtTheStatementTimeout) {
    const auto server = StartServer({"--rows", "Mst01=2", "--hold-on", "delete from Mst01 with"});
    const Tables before = server->Committed();
    const CommandResult run =
        Migrate(*server, {"--replace", testpaths::Data("types.mdb").string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Timeout expired\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Another run (or another program) holds the target's tables"),
              std::string::npos)
        << run.err;
    const std::vector<std::string> requests = Requests(*server);
    EXPECT_NE(std::find(requests.begin(), requests.end(), "attention"), requests.end());
    ExpectSameTables(server->Committed(), before);
}

}  // namespace

// The dialog's question before rows are added twice counts each table with "select count(*)"
// on the run's connection: through FreeTDS the server's counts come back as they are.
TEST_F(FreeTds, TheExistingRowsAreCountedThroughTheDriver) {
    const auto server = StartServer({"--rows", "KEN_ALL=7", "--rows", "Mst03=2"});
    const std::string conf = server->Folder() + "/freetds.conf";
    setenv("FREETDSCONF", conf.c_str(), 1);
    CDatabase database;
    database.OpenEx(std::string("Driver=") + TdsServer::Driver() +
                    ";Servername=brimlowtest;Database=Pomvale01;UID=brimlow;PWD=" + kPassword +
                    ";ClientCharset=UTF-8");
    std::map<std::string, std::size_t> counts;
    for (const CTargetTableRows& table : CountTargetRows(database)) {
        ASSERT_TRUE(table.rows.has_value()) << table.table;
        counts[table.table] = *table.rows;
    }
    unsetenv("FREETDSCONF");
    EXPECT_EQ(counts.size(), GetTableCatalogue().size());
    EXPECT_EQ(counts["KEN_ALL"], 7u);
    EXPECT_EQ(counts["Mst03"], 2u);
    EXPECT_EQ(counts["Mst01"], 0u);
}

// --verify reads the tables back from the server: what it stored as sent is equal; text it cut
// to its column's length (ANSI_WARNINGS OFF) or stored as '?' outside its code page differs,
// named by table, row and column, with both values.
TEST_F(FreeTds, VerificationFindsWhatTheServerCutOrCouldNotStore) {
    const std::string file = testpaths::Data("sample.mdb").string();
    const auto verify = [&file](const TdsServer& server, const char* mode) {
        const std::string summary = server.Folder() + "/s.json";
        CommandResult run = Migrate(server, {"--verify", mode, "--summary", summary, file});
        std::ifstream in(summary);
        return std::make_pair(run, ParseJson(std::string(std::istreambuf_iterator<char>(in), {})));
    };
    {
        const auto server = StartServer();
        const auto [run, summary] = verify(*server, "--replace");
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(summary["verification"].text, "equal");
    }
    {
        const auto server =
            StartServer({"--column", "Mst01.Col09=nvarchar(4)", "--ansi-warnings", "off"});
        const auto [run, summary] = verify(*server, "--replace");
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("Mst01 row 3 with Col02 'A003': Col09 source '山本 太郎' target "
                               "'山本 太'"),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(summary["status"].text, "differs");
    }
    {
        const auto server = StartServer({"--code-page", "1252", "--varchar"});
        const auto [run, summary] = verify(*server, "--no-progress");
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("KEN_ALL row 1 with DantaiCode '01101': TodofukenKana source "
                               "'ﾎｯｶｲﾄﾞｳ' target '??????\?'"),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(summary["verification"].text, "differs");
    }
}
