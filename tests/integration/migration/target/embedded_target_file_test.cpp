// The per-user embedded target: the file the program creates on first use, and
// brimlow-migrate writing to it from any folder when no driver list of the system registers
// the driver name "SQL Server".

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "dbaccess/Exceptions.h"
#include "migration/target/EmbeddedTargetFile.h"
#include "migration/target/ShippedFiles.h"
#include "migration/target/TargetResolution.h"
#include "tests/support/Paths.h"
#include "tests/support/RunCommand.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/SqliteTarget.h"
#include "tests/support/TempDirectory.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CommandResult;
using testsupport::RunCommand;

std::string Sqlite3(const fs::path& file, const std::string& sql) {
    const CommandResult result = RunCommand({"sqlite3", "-batch", file.string(), sql});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.out;
}

unsigned Mode(const fs::path& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

TEST(EmbeddedTargetFile, IsCreatedWithTheEightTablesInWalModeAndThenLeftAlone) {
    testsupport::TempDirectory dir("brimlow-embedded");
    const fs::path file = dir / "data/brimlow/Pomvale01";
    EnsureEmbeddedTargetFile(file, ShippedFile("schema/sqlite.sql"));
    EXPECT_EQ(Sqlite3(file, "pragma journal_mode; select count(*) from sqlite_master;"),
              "wal\n8\n");
    EXPECT_EQ(Mode(file), 0600u);
    EXPECT_EQ(Mode(file.parent_path()), 0700u);
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), {}), 1)
        << "only the file itself, no temporary one";

    Sqlite3(file, "insert into Mst01 (Col02) values ('kept');");
    EnsureEmbeddedTargetFile(file, ShippedFile("schema/sqlite.sql"));
    EXPECT_EQ(Sqlite3(file, "select Col02 from Mst01;"), "kept\n");

    // A file without the tables is not the program's to change.
    const fs::path empty = dir / "empty";
    std::ofstream{empty};
    EnsureEmbeddedTargetFile(empty, ShippedFile("schema/sqlite.sql"));
    EXPECT_EQ(fs::file_size(empty), 0u);

    EXPECT_THROW(EnsureEmbeddedTargetFile(dir / "x/Pomvale01", dir / "no-schema.sql"),
                 CDBException);
    EXPECT_FALSE(fs::exists(dir / "x/Pomvale01"));
}

// brimlow-migrate with no driver list that registers "SQL Server": ODBCSYSINI names an empty
// folder, HOME an empty one, and the working directory is a third.
class PerUserTarget : public testing::Test {
protected:
    CommandResult Migrate(const std::string& file, const std::string& option = {}) {
        std::vector<std::string> argv{"env",
                                      "-u",
                                      "XDG_DATA_HOME",
                                      "-u",
                                      "ODBCINSTINI",
                                      "ODBCSYSINI=" + m_odbc.Path().string(),
                                      "HOME=" + m_home.Path().string(),
                                      testpaths::Build("brimlow-migrate").string()};
        if (!option.empty()) {
            argv.push_back(option);
        }
        argv.push_back(file);
        return RunCommand(argv, {}, m_work.Path());
    }
    fs::path File() const { return m_home / ".local/share/brimlow/Pomvale01"; }

    testsupport::TempDirectory m_odbc{"brimlow-odbc"};
    testsupport::TempDirectory m_home{"brimlow-home"};
    testsupport::TempDirectory m_work{"brimlow-work"};
};

TEST_F(PerUserTarget, ARunFromAnyFolderArrivesWholeInThePerUserFile) {
    fs::copy_file(testpaths::Data("sample.mdb"), m_work / "sample.mdb");
    const CommandResult result = Migrate("sample.mdb");  // relative to the working directory
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_FALSE(fs::exists(m_work / "Pomvale01"));

    // The same run through the system's name "SQL Server" into a prepared file.
    testtarget::SqliteTarget reference;
    const CommandResult expected =
        RunCommand({testpaths::Build("brimlow-migrate").string(), testpaths::Data("sample.mdb")},
                   {}, reference.Directory());
    ASSERT_EQ(expected.exitCode, 0) << expected.err;
    EXPECT_EQ(result.out, expected.out);
    EXPECT_EQ(Sqlite3(File(), ".dump"), Sqlite3(reference.File(), ".dump"));
}

// --replace resolves the built-in string as a plain run does: the per-user file, named in the
// summary, and nothing in the working directory.
TEST_F(PerUserTarget, AReplacingRunGoesWhereAPlainRunGoes) {
    ASSERT_EQ(Migrate(testpaths::Data("sample.mdb")).exitCode, 0);
    const std::string plain = Sqlite3(File(), ".dump");
    const CommandResult replaced = RunCommand(
        {"env", "-u", "XDG_DATA_HOME", "-u", "ODBCINSTINI", "ODBCSYSINI=" + m_odbc.Path().string(),
         "HOME=" + m_home.Path().string(), testpaths::Build("brimlow-migrate").string(),
         "--replace", "--summary", "summary.json", testpaths::Data("sample.mdb")},
        {}, m_work.Path());
    ASSERT_EQ(replaced.exitCode, 0) << replaced.err;
    EXPECT_EQ(Sqlite3(File(), ".dump"), plain);
    EXPECT_FALSE(fs::exists(m_work / "Pomvale01"));
    std::ifstream in(m_work / "summary.json");
    const std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(json.find("\"target\": \"" + File().string() + "\""), std::string::npos) << json;
}

// unixODBC creates the user's data source list, readable by everyone under the usual umask,
// at the first lookup; odbcinst later writes a DSN's password into it. Neither the command
// line's run nor the dialog's description of its target leaves it readable by others, and an
// empty one such a lookup left before is narrowed.
TEST_F(PerUserTarget, TheUserDataSourceListIsNeverLeftReadableByOthers) {
    const fs::path list = m_home / "odbc.ini";
    const auto mode = [&list] { return fs::status(list).permissions() & fs::perms::mask; };
    const CommandResult run =
        RunCommand({"sh", "-c", "umask 022; exec \"$@\"", "sh", "env", "-u", "XDG_DATA_HOME", "-u",
                    "ODBCINSTINI", "ODBCSYSINI=" + m_odbc.Path().string(),
                    "HOME=" + m_home.Path().string(), "ODBCINI=" + list.string(),
                    testpaths::Build("brimlow-migrate").string(), testpaths::Data("sample.mdb")},
                   {}, m_work.Path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(!fs::exists(list) || mode() == (fs::perms::owner_read | fs::perms::owner_write));

    fs::remove(list);
    testsupport::ScopedEnv odbcIni("ODBCINI", list.string());
    const mode_t old = ::umask(022);
    DescribeBuiltInTarget();
    ::umask(old);
    EXPECT_TRUE(!fs::exists(list) || mode() == (fs::perms::owner_read | fs::perms::owner_write));

    fs::remove(list);
    std::ofstream{list};
    fs::permissions(list, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::others_read);
    DescribeBuiltInTarget();
    EXPECT_EQ(mode(), fs::perms::owner_read | fs::perms::owner_write);
}

// A link at the file's path, even one pointing nowhere, and a folder there are refused with
// their path named, and nothing is created where the link points. Temporaries that a killed
// creation left are removed; other files beside them stay.
TEST_F(PerUserTarget, ALinkOrAFolderAtThePathIsRefusedAndLeftoversAreRemoved) {
    fs::create_directories(File().parent_path());
    const fs::path elsewhere = m_work / "elsewhere";
    fs::create_symlink(elsewhere, File());
    CommandResult result = Migrate(testpaths::Data("sample.mdb"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find(File().string() + " is a symbolic link"), std::string::npos)
        << result.err;
    EXPECT_FALSE(fs::exists(fs::symlink_status(elsewhere)));

    fs::remove(File());
    fs::create_directory(File());
    result = Migrate(testpaths::Data("sample.mdb"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find(File().string() + " is a folder"), std::string::npos) << result.err;

    fs::remove(File());
    const fs::path leftover = File().string() + ".new-Ab12Cd";
    const fs::path other = File().string() + ".new-notes.txt";
    std::ofstream{leftover} << "half a file";
    std::ofstream{other} << "not ours";
    ASSERT_EQ(Migrate(testpaths::Data("sample.mdb")).exitCode, 0);
    EXPECT_FALSE(fs::exists(leftover));
    EXPECT_TRUE(fs::exists(other));
}

TEST_F(PerUserTarget, AFileWithoutTheTablesIsNamedWithTheSchemaToRunAndLeftAsItIs) {
    fs::create_directories(File().parent_path());
    std::ofstream{File()};
    const CommandResult result = Migrate(testpaths::Data("sample.mdb"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("no such table: KEN_ALL"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("has no table KEN_ALL"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(File().string()), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(ShippedFile("schema/sqlite.sql").string()), std::string::npos)
        << result.err;
    EXPECT_EQ(Sqlite3(File(), "select count(*) from sqlite_master;"), "0\n");
}

TEST_F(PerUserTarget, ALockedFileEndsTheRunWithAMessageNamingIt) {
    ASSERT_EQ(Migrate(testpaths::Data("sample.mdb")).exitCode, 0);
    // A sqlite3 shell holds the write lock until its input ends.
    const fs::path fifo = m_work / "hold";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string holder = "sqlite3 '" + File().string() + "' < '" + fifo.string() + "' &";
    ASSERT_EQ(std::system(holder.c_str()), 0);
    std::ofstream hold(fifo);
    hold << "begin exclusive;\n" << std::flush;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    const CommandResult result = Migrate(testpaths::Data("sample.mdb"));
    hold.close();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("database is locked"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("The SQLite file " + File().string() +
                              " is locked by another program and stayed locked for 15 seconds"),
              std::string::npos)
        << result.err;
}

}  // namespace
