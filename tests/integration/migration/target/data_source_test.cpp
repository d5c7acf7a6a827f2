// The data source Pomvale01: when unixODBC knows one, brimlow-migrate without --target writes
// to it, failures name it, and its password is shown nowhere.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "migration/TableCatalogue.h"
#include "tests/support/Paths.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDirectory.h"

namespace {

using testsupport::CommandResult;

constexpr const char kPassword[] = "Pw-s3cret-4711";

// A user data source in a temporary odbc.ini (ODBCINI) for the test PostgreSQL server.
class DataSource : public testing::Test {
protected:
    void Define(const std::string& server, int port, const std::string& database,
                const std::string& extraLines = "") {
        std::ofstream(m_dir / "odbc.ini")
            << "[Pomvale01]\n"
               "Driver=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so\n"
               "Servername="
            << server << "\nPort=" << port << "\nDatabase=" << database
            << "\nUsername=postgres\nPassword=" << kPassword << "\n"
            << extraLines;
    }
    CommandResult Migrate(std::vector<std::string> args) {
        std::vector<std::string> argv{"env", "ODBCINI=" + (m_dir / "odbc.ini").string(),
                                      testpaths::Build("brimlow-migrate").string()};
        argv.insert(argv.end(), args.begin(), args.end());
        CommandResult result = testsupport::RunCommand(argv, {}, m_dir.Path());
        EXPECT_EQ(result.out.find(kPassword), std::string::npos) << result.out;
        EXPECT_EQ(result.err.find(kPassword), std::string::npos) << result.err;
        return result;
    }

    testtarget::PostgresServer& m_server = testtarget::PostgresServer::Get();
    testsupport::TempDirectory m_dir{"brimlow-dsn"};
};

TEST_F(DataSource, ARunWithoutTargetArrivesInTheDataSourceAsWithTarget) {
    const std::string viaDsn = m_server.CreateFreshDatabase("dsn");
    const std::string viaTarget = m_server.CreateFreshDatabase("target");
    Define("127.0.0.1", m_server.Port(), viaDsn);

    const std::filesystem::path summary = m_dir / "summary.json";
    const CommandResult dsn =
        Migrate({"--summary", summary.string(), testpaths::Data("sample.mdb").string()});
    ASSERT_EQ(dsn.exitCode, 0) << dsn.err;
    std::ifstream summaryFile(summary);
    const std::string json{std::istreambuf_iterator<char>(summaryFile), {}};
    EXPECT_NE(json.find("\"target\": \"DSN Pomvale01"), std::string::npos) << json;
    EXPECT_EQ(json.find(kPassword), std::string::npos) << json;
    EXPECT_FALSE(std::filesystem::exists(m_dir / "Pomvale01"));
    const CommandResult target =
        Migrate({"--target", m_server.ConnectionString(viaTarget), testpaths::Data("sample.mdb")});
    ASSERT_EQ(target.exitCode, 0) << target.err;
    EXPECT_EQ(dsn.out, target.out);
    for (const CCatalogueEntry& entry : GetTableCatalogue()) {
        const std::string all = "select * from " + entry.table + ";";
        testtarget::Rows got = m_server.Query(viaDsn, all);
        testtarget::Rows expected = m_server.Query(viaTarget, all);
        std::sort(got.begin(), got.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(got, expected) << entry.table;
    }
}

TEST_F(DataSource, FailuresNameTheDataSource) {
    Define("127.0.0.2", m_server.Port() + 1, "x");  // nothing listens there
    const CommandResult down = Migrate({testpaths::Data("sample.mdb")});
    EXPECT_EQ(down.exitCode, 1);
    EXPECT_NE(down.err.find("Target tried: DSN Pomvale01, server 127.0.0.2, port " +
                            std::to_string(m_server.Port() + 1) + ", database x."),
              std::string::npos)
        << down.err;

    const std::string empty = m_server.CreateFreshDatabase("notables", false);
    Define("127.0.0.1", m_server.Port(), empty);
    const CommandResult missing = Migrate({testpaths::Data("sample.mdb")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("has no table KEN_ALL: DSN Pomvale01, server 127.0.0.1, port " +
                               std::to_string(m_server.Port()) + ", database " + empty + "."),
              std::string::npos)
        << missing.err;
    EXPECT_NE(missing.err.find("postgresql.sql"), std::string::npos) << missing.err;
}

// On a database whose sessions read backslashes as escapes, the data source's connection
// turns standard quoting on by itself; a data source with a pqopt of its own is left alone and
// refused before the first row, in both modes, naming why.
TEST_F(DataSource, AnEscapingServerIsQuotedStandardOrRefused) {
    const std::string database = m_server.CreateFreshDatabase("dsnescapes");
    m_server.Execute(database,
                     "alter database " + database + " set standard_conforming_strings = off");
    Define("127.0.0.1", m_server.Port(), database);
    const CommandResult quoted = Migrate({testpaths::Data("sample.mdb").string()});
    ASSERT_EQ(quoted.exitCode, 0) << quoted.err;
    EXPECT_EQ(quoted.out.find("pqopt"), std::string::npos) << quoted.out;

    Define("127.0.0.1", m_server.Port(), database, "pqopt=application_name=brimlow_test\n");
    const testtarget::Rows before = m_server.Query(database, "select count(*) from KEN_ALL");
    for (const bool replace : {false, true}) {
        std::vector<std::string> args{testpaths::Data("sample.mdb").string()};
        if (replace) {
            args.insert(args.begin(), {"--replace", "--target", "DSN=Pomvale01"});
        }
        const CommandResult refused = Migrate(args);
        EXPECT_EQ(refused.exitCode, 1) << refused.err;
        EXPECT_NE(refused.err.find("standard_conforming_strings is off"), std::string::npos)
            << refused.err;
        EXPECT_EQ(m_server.Query(database, "select count(*) from KEN_ALL"), before);
    }
}

// A data source whose ConnSettings turns standard quoting off after the program turned it on:
// refused before the first row, naming where the setting is.
TEST_F(DataSource, AConnSettingsThatEscapesIsRefused) {
    const std::string database = m_server.CreateFreshDatabase("dsnconnsettings");
    Define("127.0.0.1", m_server.Port(), database,
           "ConnSettings=set standard_conforming_strings=off\n");
    const CommandResult refused = Migrate({testpaths::Data("sample.mdb").string()});
    EXPECT_EQ(refused.exitCode, 1) << refused.err;
    EXPECT_NE(refused.err.find("standard_conforming_strings is off"), std::string::npos)
        << refused.err;
    EXPECT_NE(refused.err.find("ConnSettings"), std::string::npos) << refused.err;
    EXPECT_EQ(m_server.Query(database, "select count(*) from KEN_ALL"), (testtarget::Rows{{"0"}}));
}

// The target is named as the driver reaches it: the data source's server, port and database,
// and a value the string gives itself instead of the data source's (no usage error: the
// string wins, as the drivers have it).
TEST_F(DataSource, TheTargetIsNamedWithTheValuesTheDriverUses) {
    const std::string named = m_server.CreateFreshDatabase("dsnnamed");
    const std::string given = m_server.CreateFreshDatabase("stringgiven");
    Define("127.0.0.1", m_server.Port(), named);
    const std::string port = std::to_string(m_server.Port());
    const std::filesystem::path summary = m_dir / "summary.json";
    const auto target = [&] {
        std::ifstream in(summary);
        const std::string json{std::istreambuf_iterator<char>(in), {}};
        const size_t start = json.find("\"target\": \"");
        return start == std::string::npos ? json : json.substr(start);
    };
    const CommandResult dsn =
        Migrate({"--summary", summary.string(), testpaths::Data("dates.mdb").string()});
    ASSERT_EQ(dsn.exitCode, 0) << dsn.err;
    EXPECT_EQ(
        target().rfind("\"target\": \"DSN Pomvale01 (driver "
                       "/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so, server 127.0.0.1, port " +
                           port + ", database " + named + ")\"",
                       0),
        0u)
        << target();
    const CommandResult overridden =
        Migrate({"--target", "DSN=Pomvale01;database=" + given, "--summary", summary.string(),
                 testpaths::Data("dates.mdb").string()});
    ASSERT_EQ(overridden.exitCode, 0) << overridden.err;
    EXPECT_EQ(target().rfind("\"target\": \"DSN Pomvale01, server 127.0.0.1, port " + port +
                                 ", database " + given + "\"",
                             0),
              0u)
        << target();
    EXPECT_EQ(m_server.Query(given, "select count(*) from KEN_ALL_Version"),
              (testtarget::Rows{{"27"}}));
    EXPECT_EQ(m_server.Query(named, "select count(*) from KEN_ALL_Version"),
              (testtarget::Rows{{"27"}}));
}

}  // namespace
