// The files brimlow-migrate is given besides the source, seen as the run will use them: the
// summary is none of the files the run reads or writes, however they are named, and the
// connection string file is read without waiting or reading without end.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/BackgroundRun.h"
#include "tests/support/Paths.h"
#include "tests/support/RunCommand.h"
#include "tests/support/SqliteTarget.h"
#include "tests/support/TempDirectory.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CommandResult;
using testsupport::RunCommand;

using testsupport::ReadFile;

// A limit on the address space that ends a read without end at once. Not under the
// sanitizers, whose runtime reserves far more address space than this to start with.
#ifdef BRIMLOW_SANITIZED
const std::string kSmallAddressSpace;
#else
const std::string kSmallAddressSpace = "ulimit -v 2000000; ";
#endif

std::string Program() {
    return testpaths::Build("brimlow-migrate").string();
}

class MigrateRunFiles : public testing::Test {
protected:
    CommandResult Run(const std::vector<std::string>& args, const std::string& input = {}) {
        std::vector<std::string> argv{Program()};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunCommand(argv, input, m_dir.Path());
    }
    // The run with the built-in target, which here is the per-user SQLite file under m_home:
    // no driver list registers "SQL Server".
    CommandResult RunBuiltIn(const std::vector<std::string>& args) {
        std::vector<std::string> argv{"env",
                                      "-u",
                                      "XDG_DATA_HOME",
                                      "-u",
                                      "ODBCINSTINI",
                                      "ODBCSYSINI=" + m_odbc.Path().string(),
                                      "HOME=" + m_home.Path().string(),
                                      Program()};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunCommand(argv, {}, m_dir.Path());
    }
    static void ExpectRefused(const CommandResult& result, const std::string& summary,
                              const std::string& what) {
        EXPECT_EQ(result.exitCode, 2) << summary << "\n" << result.err;
        EXPECT_NE(result.err.find("the summary file " + summary + " is the " + what),
                  std::string::npos)
            << result.err;
        EXPECT_EQ(result.out, "") << summary;
    }

    testsupport::TempDirectory m_dir{"brimlow-run-files"};
    testsupport::TempDirectory m_odbc{"brimlow-odbc"};
    testsupport::TempDirectory m_home{"brimlow-home"};
};

// The per-user target before its first run, a SQLite target that does not exist yet, the
// connection string file: each is refused as the summary, also spelled otherwise and through
// links either way, before anything is written; nothing is created and the connection string
// file keeps its words and mode.
TEST_F(MigrateRunFiles, NoFileOfTheRunCanBeTheSummaryEvenBeforeItExists) {
    const std::string source = testpaths::Data("sample.mdb").string();

    const fs::path perUser = m_home / ".local/share/brimlow/Pomvale01";
    fs::create_directories(perUser.parent_path());
    for (const fs::path& summary : {perUser, perUser.parent_path() / "../brimlow/./Pomvale01"}) {
        ExpectRefused(RunBuiltIn({"--summary", summary.string(), source}), summary.string(),
                      "target file");
    }
    EXPECT_FALSE(fs::exists(perUser));

    const std::string fresh = "Driver={SQL Server};Database=" + (m_dir / "fresh.db").string();
    fs::create_directory(m_dir / "sub");
    fs::create_symlink("fresh.db", m_dir / "to-fresh");
    fs::create_symlink(m_dir / "fresh.db", m_dir / "sub/link");
    for (const std::string summary : {"fresh.db", "./sub/../fresh.db", "to-fresh"}) {
        ExpectRefused(Run({"--target", fresh, "--summary", summary, source}), summary,
                      "target file");
    }
    // The target's name is the link, the summary the file it leads to.
    ExpectRefused(
        Run({"--target", "Driver={SQL Server};Database=sub/link", "--summary", "fresh.db", source}),
        "fresh.db", "target file");
    EXPECT_FALSE(fs::exists(m_dir / "fresh.db"));

    testtarget::SqliteTarget target;
    const fs::path file = m_dir / "connection";
    std::ofstream(file) << target.ConnectionString() << "\n";
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("connection", m_dir / "to-connection");
    for (const std::string summary : {"connection", "./connection", "to-connection"}) {
        ExpectRefused(Run({"--target-file", file.string(), "--summary", summary, source}), summary,
                      "connection string file");
    }
    ExpectRefused(Run({"--target-file", "to-connection", "--summary", file.string(), source}),
                  file.string(), "connection string file");
    EXPECT_EQ(ReadFile(file), target.ConnectionString() + "\n");
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(target.Count("KEN_ALL"), 0u);

    // A file beside them is still a summary.
    const CommandResult result =
        Run({"--target-file", "connection", "--summary", "connection.json", source});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadFile(m_dir / "connection.json").rfind("{\"status\": \"completed\"", 0), 0u);
}

// A named pipe without a writer is given up after a short wait, one with a writer is read; a
// device, a folder and more than 64 KiB (also on standard input) are refused as usage errors
// with their reason, never read until memory runs out (the address space is limited so that
// such a read would end the program at once).
TEST_F(MigrateRunFiles, TheConnectionStringFileIsReadWithoutWaitingOrReadingWithoutEnd) {
    const std::string source = testpaths::Data("sample.mdb").string();
    const fs::path fifo = m_dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Bounded here, so that a program that waits for the writer fails rather than hangs.
    CommandResult result =
        RunCommand({"timeout", "30", Program(), "--target-file", fifo.string(), source});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("cannot read the target file " + fifo.string() +
                              ": no program wrote to it within 3 seconds"),
              std::string::npos)
        << result.err;

    testtarget::SqliteTarget target;
    result = RunCommand({"/bin/sh", "-c",
                         "printf '%s\\n' \"$1\" > \"$2\" & exec \"$0\" "
                         "--target-file \"$2\" \"$3\"",
                         Program(), target.ConnectionString(), fifo.string(), source});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(target.Count("KEN_ALL"), 1001u);

    fs::create_directory(m_dir / "folder");
    std::ofstream(m_dir / "large") << std::string(64 * 1024 + 1, 'x');
    const std::pair<std::string, std::string> refused[] = {
        {"/dev/zero", "it is a device, not a file"},
        {(m_dir / "folder").string(), "it is a folder"},
        {(m_dir / "large").string(), "it holds more than 64 KiB: not a connection string"}};
    for (const auto& [file, why] : refused) {
        result = RunCommand({"/bin/sh", "-c",
                             kSmallAddressSpace + "exec \"$0\" --target-file \"$1\" \"$2\"",
                             Program(), file, source});
        EXPECT_EQ(result.exitCode, 2) << file << "\n" << result.err;
        EXPECT_NE(result.err.find("cannot read the target file " + file + ": " + why),
                  std::string::npos)
            << result.err;
    }
    result = RunCommand({"/bin/sh", "-c",
                         kSmallAddressSpace + "exec \"$0\" --target-file - \"$1\" < /dev/zero",
                         Program(), source});
    EXPECT_EQ(result.exitCode, 2) << result.err;
    EXPECT_NE(result.err.find("cannot read the target file -: it holds more than 64 KiB"),
              std::string::npos)
        << result.err;
}

}  // namespace
