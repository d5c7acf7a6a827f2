// The built-in target's resolution: the system's driver name wins, otherwise our own driver
// and the per-user file; and the words added to a target's failures.

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <string>
#include <tuple>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "migration/RunSettings.h"
#include "migration/target/ConnectionString.h"
#include "migration/target/ShippedFiles.h"
#include "migration/target/TargetFailure.h"
#include "migration/target/TargetResolution.h"
#include "migration/target/kinds/TargetKinds.h"

namespace {

CTargetFacts Facts(bool bDataSource, bool bSystem, std::string xdg, std::string home) {
    CTargetFacts facts;
    facts.bDataSourceDefined = bDataSource;
    facts.bSystemRegistersSqlServer = bSystem;
    facts.xdgDataHome = std::move(xdg);
    facts.home = std::move(home);
    facts.shippedDriver = "/usr/lib/odbc/libsqlite3odbc.so";
    return facts;
}

CTargetFacts OurOwn(std::string xdg, std::string home) {
    return Facts(false, false, std::move(xdg), std::move(home));
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(TargetResolution, TheDataSourceComesFirstThenTheSystemsDriverName) {
    CTargetFacts withDataSource = Facts(true, true, "", "/home/u");
    withDataSource.dataSourceDescription = "DSN Pomvale01 (server db1)";
    const CResolvedTarget dsn = ResolveBuiltInTarget(withDataSource);
    EXPECT_EQ(dsn.connection, "DSN=Pomvale01");
    EXPECT_EQ(dsn.embeddedFile, "");
    EXPECT_EQ(dsn.description, "DSN Pomvale01 (server db1)");

    const CResolvedTarget system = ResolveBuiltInTarget(Facts(false, true, "", "/home/u"));
    EXPECT_EQ(system.connection, kTargetConnection);
    EXPECT_EQ(system.embeddedFile, "");
    EXPECT_EQ(system.description, "driver SQL Server, server .\\SQLEXPRESS, database Pomvale01");
}

TEST(TargetResolution, AnyOtherStringStandsAsItIsAndIsDescribedWithoutItsSecrets) {
    const CResolvedTarget given = ResolveTarget("Driver=/x.so;Server=db1;Database=p;Pwd=s3cret");
    EXPECT_EQ(given.connection, "Driver=/x.so;Server=db1;Database=p;Pwd=s3cret");
    EXPECT_EQ(given.embeddedFile, "");
    EXPECT_EQ(given.description, "driver /x.so, server db1, database p");
}

// The file a summary must never be: the per-user file, or a SQLite driver's Database=.
TEST(TargetResolution, TheTargetFileIsTheSqliteDatabaseAlone) {
    EXPECT_EQ(TargetFile(ResolveBuiltInTarget(OurOwn("", "/home/u"))),
              "/home/u/.local/share/brimlow/Pomvale01");
    EXPECT_EQ(TargetFile(ResolveTarget("Driver=/usr/lib/odbc/libsqlite3odbc.so;Database=/d/t.db")),
              "/d/t.db");
    EXPECT_EQ(TargetFile(ResolveTarget("Driver={SQLite3};Database=t.db;Timeout=1")), "t.db");
    EXPECT_EQ(TargetFile(ResolveTarget("Driver=/usr/lib/psqlodbcw.so;Database=t.db")), "");
}

TEST(TargetResolution, OtherwiseOurDriverWritesThePerUserFileWithTheLockTimeout) {
    const CResolvedTarget target = ResolveBuiltInTarget(OurOwn("", "/home/u"));
    EXPECT_EQ(target.embeddedFile, "/home/u/.local/share/brimlow/Pomvale01");
    EXPECT_EQ(target.description, target.embeddedFile);
    EXPECT_EQ(target.connection,
              "Driver=/usr/lib/odbc/libsqlite3odbc.so;"
              "Database=/home/u/.local/share/brimlow/Pomvale01;Timeout=7500");
}

TEST(TargetResolution, PerUserPathFollowsXdgDataHomeWhenAbsolute) {
    struct Case {
        const char* xdg;
        const char* home;
        const char* path;
    };
    for (const Case& c : {Case{"/data/u", "/home/u", "/data/u/brimlow/Pomvale01"},
                          Case{"/data/u/", "/home/u", "/data/u/brimlow/Pomvale01"},
                          Case{"relative/dir", "/home/u", "/home/u/.local/share/brimlow/Pomvale01"},
                          Case{"", "/home/u/", "/home/u/.local/share/brimlow/Pomvale01"}}) {
        EXPECT_EQ(EmbeddedTargetPath(OurOwn(c.xdg, c.home)), c.path) << c.xdg << " " << c.home;
    }
    EXPECT_THROW(EmbeddedTargetPath(OurOwn("", "")), CDBException);
    EXPECT_THROW(EmbeddedTargetPath(OurOwn("", "home")), CDBException);
}

TEST(TargetResolution, APathTheConnectionStringCannotCarryIsRefused) {
    for (const char* home : {"/home/a;b", "/home/{u}"}) {
        EXPECT_THROW(ResolveBuiltInTarget(OurOwn("", home)), CDBException) << home;
    }
}

TEST(TargetResolution, ReadsTheDriverOfItsSectionFromADriverList) {
    const std::string list =
        "# comment\n[SQLite3]\nDriver=/other.so\n\n[SQL Server]\n; note\n"
        "Description = x\n  Driver = /lib/sqlite.so  \n[Next]\nDriver=/next.so\n";
    EXPECT_EQ(FindIniDriver(list, "SQL Server"), "/lib/sqlite.so");
    EXPECT_EQ(FindIniDriver(list, "Missing"), "");
    EXPECT_EQ(FindIniDriver("[SQL Server]\nDescription=no driver\n", "SQL Server"), "");
    EXPECT_FALSE(ShippedSqlServerDriver().empty());
}

TEST(TargetFailureText, DescribesATargetWithoutItsSecrets) {
    EXPECT_EQ(DescribeTarget("Driver={PostgreSQL Unicode};Server=db1;Port=5432;"
                             "Database=pomvale01;Uid=brimlow;Pwd=s3cret;"),
              "driver PostgreSQL Unicode, server db1, port 5432, database pomvale01");
    EXPECT_EQ(DescribeTarget("DSN=Pomvale01;PWD={a;b}"), "DSN Pomvale01");
    EXPECT_EQ(DescribeTarget(""), "the target");
}

// A key given twice leaves the target to the driver (the first value or the last): refused
// when the target is resolved, naming the key; spellings a driver reads as one are one key.
TEST(TargetResolution, AKeyGivenTwiceIsRefusedNamingIt) {
    struct Case {
        const char* connect;
        const char* key;
    };
    for (const Case& c :
         {Case{"Driver=/x.so;Database=a;Port=1;Database=b", "Database"},
          Case{"Driver=/x.so;Database=a;DATABASE={b}", "Database"},
          Case{"Driver=/x.so;DBQ=a;Database=b", "DBQ/Database"},
          Case{"Server=h;Servername=s", "Server/Servername"},
          Case{"UID=u;Username=v", "UID/Username"}, Case{"User=u;uid=v", "User/uid"},
          Case{"PWD={a;b};Password=c", "PWD/Password"}, Case{"Port=1; port =2", "Port"},
          Case{"ConnSettings=x;A6=y", "ConnSettings/A6"},
          Case{"Driver=/x.so;Driver=/y.so", "Driver"}}) {
        EXPECT_EQ(RepeatedConnectionKey(c.connect), c.key) << c.connect;
        try {
            ResolveTarget(c.connect);
            ADD_FAILURE() << c.connect;
        } catch (const CDBException& e) {
            EXPECT_TRUE(Has(e.GetErrorMessage(),
                            std::string("The connection string sets ") + c.key + " more than once"))
                << e.GetErrorMessage();
        }
    }
    for (const char* connect :
         {"Driver=/x.so;Server=h;Port=1;Database=d;Uid=u;Pwd=p", "DSN=Pomvale01;Database=d",
          "Driver=/x.so;Database={a;Database=b}", ""}) {
        EXPECT_EQ(RepeatedConnectionKey(connect), "") << connect;
        EXPECT_EQ(ConnectionStringProblem(connect), "") << connect;
    }
}

// The text of a failed statement on a server whose product name is dbms.
std::string Explain(const CDBException& e, const std::string& table, const std::string& connect,
                    const std::string& dbms) {
    return ExplainStatementFailure(e, table, connect, KindOfDbms(dbms));
}

// A driver's failure as CDatabase throws it: the composed text and the records.
CDBException DriverFailure(const std::string& text, const char* state, long native = 0) {
    return CDBException(text, {CDiagnosticRecord{state, native, "[driver]" + text}});
}

TEST(TargetFailureText, AMissingTableNamesTheTargetAndTheSchemaFileAndKeepsTheDriversText) {
    struct Case {
        const char* name;
        const char* driverText;
        const char* state;
        const char* dbms;
        const char* connect;
        const char* schema;
    };
    for (const Case& c :
         {Case{"sqlite", "no such table: KEN_ALL (1)\n", "HY000", "SQLite",
               "Driver=/lib/sqlite.so;Database=/home/u/P;Timeout=7500", "sqlite.sql"},
          Case{"postgresql", "ERROR: relation \"ken_all\" does not exist;\nError while executing\n",
               "42P01", "PostgreSQL", "Driver=/psqlodbcw.so;Server=db1;Database=p;Pwd=s3cret",
               "postgresql.sql"},
          Case{"sqlserver", "Invalid object name 'KEN_ALL'.\n", "42S02", "Microsoft SQL Server",
               "Driver={SQL Server};Server=h;Database=Pomvale01;PWD=s3cret", "sqlserver.sql"}}) {
        const CDBException failure = DriverFailure(c.driverText, c.state, 1);
        EXPECT_EQ(ClassifyTargetFailure(failure, c.dbms), TargetFailureKind::MissingTable)
            << c.name;
        const std::string text = Explain(failure, "KEN_ALL", c.connect, c.dbms);
        EXPECT_EQ(text.rfind(c.driverText, 0), 0u) << c.name << ": " << text;
        EXPECT_TRUE(Has(text, "has no table KEN_ALL: " + DescribeTarget(c.connect)))
            << c.name << ": " << text;
        EXPECT_TRUE(Has(text, ShippedFile(std::string("schema/") + c.schema).string()))
            << c.name << ": " << text;
        EXPECT_FALSE(Has(text, "s3cret")) << c.name;
    }
}

TEST(TargetFailureText, ARelativeSqliteFileIsNamedWithTheWorkingDirectory) {
    const std::string text = Explain(DriverFailure("no such table: Mst01 (1)\n", "HY000", 1),
                                     "Mst01", kTargetConnection, "SQLite");
    EXPECT_TRUE(
        Has(text, "the SQLite file " +
                      (std::filesystem::current_path() / "Pomvale01").lexically_normal().string()))
        << text;
}

TEST(TargetFailureText, ALockedFileIsNamedWithTheWaitOnlyForOurTimeout) {
    const CDBException locked = DriverFailure("database is locked (5)\n", "HY000", 5);
    const std::string ours =
        Explain(locked, "Mst01", "Driver=/s.so;Database=/home/u/P;Timeout=7500", "SQLite");
    EXPECT_TRUE(Has(ours,
                    "The SQLite file /home/u/P is locked by another program and stayed "
                    "locked for 15 seconds."))
        << ours;
    // A string without a Timeout of its own gets ours too.
    const std::string given =
        Explain(locked, "Mst01", "Driver={SQL Server};Database=/srv/P", "SQLite");
    EXPECT_TRUE(Has(given,
                    "The SQLite file /srv/P is locked by another program and stayed "
                    "locked for 15 seconds."))
        << given;
    const std::string theirs =
        Explain(locked, "Mst01", "Driver={SQL Server};Database=/srv/P;Timeout=100", "SQLite");
    EXPECT_TRUE(Has(theirs, "The SQLite file /srv/P is locked by another program. Close"))
        << theirs;
}

// SQLite's "attempt to write a readonly database (8)" names neither the file nor what to do:
// in Japanese the message does, before the driver's text; in English it stays the driver's.
TEST(TargetFailureText, AReadOnlySqliteFileIsNamedInJapanese) {
    const CDBException readOnly =
        DriverFailure("attempt to write a readonly database (8)\n", "HY000", 8);
    const std::string connect = "Driver=/s.so;Database=/home/u/P";
    EXPECT_EQ(Explain(readOnly, "KEN_ALL", connect, "SQLite"),
              "attempt to write a readonly database (8)\n");

    const std::string before = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "ja_JP.UTF-8") == nullptr) {
        GTEST_SKIP() << "the locale ja_JP.UTF-8 is not generated (scripts/install-deps)";
    }
    BindMessageCatalogue(BRIMLOW_BINARY_DIR "/locale");
    const std::string japanese = Explain(readOnly, "KEN_ALL", connect, "SQLite");
    std::setlocale(LC_ALL, before.c_str());
    EXPECT_EQ(japanese.rfind("移行先の SQLite ファイル /home/u/P に書き込めません", 0), 0u)
        << japanese;
    EXPECT_TRUE(japanese.ends_with("\nattempt to write a readonly database (8)\n")) << japanese;
}

TEST(TargetFailureText, TheKindComesFromTheStateAndForSqliteFromItsOwnCodes) {
    EXPECT_EQ(ClassifyTargetFailure(DriverFailure("timeout", "HYT00"), "PostgreSQL"),
              TargetFailureKind::LockOrTimeout);
    EXPECT_EQ(ClassifyTargetFailure(DriverFailure("deadlock", "40001"), "Microsoft SQL Server"),
              TargetFailureKind::LockOrTimeout);
    EXPECT_EQ(ClassifyTargetFailure(DriverFailure("lost", "08S01"), "PostgreSQL"),
              TargetFailureKind::Connection);
    EXPECT_EQ(ClassifyTargetFailure(DriverFailure("could not connect", "08001"), ""),
              TargetFailureKind::Connection);
    // The wording alone decides nothing where the state says otherwise.
    EXPECT_EQ(ClassifyTargetFailure(DriverFailure("no such table: x", "23000"), "PostgreSQL"),
              TargetFailureKind::Other);
    EXPECT_EQ(ClassifyTargetFailure(
                  DriverFailure("UNIQUE constraint failed: t.id (19)", "HY000", 19), "SQLite"),
              TargetFailureKind::Other);
    EXPECT_EQ(ClassifyTargetFailure(CDBException("SQLExecDirect failed."), "SQLite"),
              TargetFailureKind::Other);
}

TEST(TargetFailureText, OtherFailuresKeepTheDriversTextAlone) {
    for (const auto& [text, state, dbms] :
         {std::tuple{"UNIQUE constraint failed: t.id (19)\n", "HY000", "SQLite"},
          std::tuple{"ERROR: column \"x\" of relation \"mst02\" does not exist\n", "42703",
                     "PostgreSQL"},
          std::tuple{"", "HY000", "SQLite"},
          // A missing table on a server we ship no schema for, a lock on a server.
          std::tuple{"Table 'p.Mst02' doesn't exist\n", "42S02", "MySQL"},
          std::tuple{"lock timeout\n", "HYT00", "PostgreSQL"}}) {
        EXPECT_EQ(Explain(DriverFailure(text, state), "Mst02", "Driver=x", dbms), text);
    }
}

}  // namespace

// The target in Japanese words, for the tooltip and the Japanese messages: the labels
// translated, the data source's details in full-width parentheses, the driver only when
// nothing else is named; a path stays as it is.
TEST(TargetResolution, AJapaneseNameTranslatesTheLabels) {
    EXPECT_EQ(JapaneseTargetName("DSN Pomvale01 (driver /x.so, server db1, port 5432, database p)"),
              "Pomvale01（サーバー db1、ポート 5432、データベース p）");
    EXPECT_EQ(JapaneseTargetName("DSN Pomvale01, server 127.0.0.1, port 5"),
              "Pomvale01（サーバー 127.0.0.1、ポート 5）");
    EXPECT_EQ(JapaneseTargetName("DSN Pomvale01"), "Pomvale01");
    EXPECT_EQ(JapaneseTargetName("driver SQL Server, server .\\SQLEXPRESS, database Pomvale01"),
              "サーバー .\\SQLEXPRESS、データベース Pomvale01");
    EXPECT_EQ(JapaneseTargetName("driver /x.so"), "ドライバー /x.so");
    EXPECT_EQ(JapaneseTargetName("driver /x.so, database /d/a, b.db"), "データベース /d/a, b.db");
    EXPECT_EQ(JapaneseTargetName("/home/u/.local/share/brimlow/Pomvale01"),
              "/home/u/.local/share/brimlow/Pomvale01");
    EXPECT_EQ(JapaneseTargetName("the target"), "移行先");
}
