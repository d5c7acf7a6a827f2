// The files brimlow-migrate is pointed at besides the source: the summary, which never
// destroys anything, and the connection string read from a file.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <thread>
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

std::string Program() {
    return testpaths::Build("brimlow-migrate").string();
}

class MigrateFiles : public testing::Test {
protected:
    MigrateFiles() { fs::copy_file(testpaths::Data("sample.mdb"), Source()); }
    fs::path Source() const { return m_dir / "src.mdb"; }
    CommandResult Run(const std::vector<std::string>& args, const std::string& input = {}) {
        std::vector<std::string> argv{Program()};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunCommand(argv, input, m_dir.Path());
    }

    testsupport::TempDirectory m_dir{"brimlow-files"};
    testtarget::SqliteTarget m_target;
};

// The source, the target's file (also under another name) and a folder are refused before
// anything happens, and stay as they were.
TEST_F(MigrateFiles, ASummaryPathThatIsAFileOfTheRunOrAFolderIsAUsageError) {
    const std::string source = ReadFile(Source());
    const std::string target = ReadFile(m_target.File());
    fs::create_symlink(m_target.File(), m_dir / "alias");
    fs::create_directory(m_dir / "folder");
    for (const fs::path& summary : {Source(), m_target.File(), m_dir / "alias", m_dir / "folder"}) {
        const CommandResult result = Run({"--target", m_target.ConnectionString(), "--summary",
                                          summary.string(), Source().string()});
        EXPECT_EQ(result.exitCode, 2) << summary;
        EXPECT_NE(result.err.find("the summary file " + summary.string() + " is "),
                  std::string::npos)
            << result.err;
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(ReadFile(Source()), source);
    EXPECT_EQ(ReadFile(m_target.File()), target);
    EXPECT_TRUE(fs::is_symlink(m_dir / "alias"));
    EXPECT_TRUE(fs::is_directory(m_dir / "folder"));
    EXPECT_EQ(m_target.Count("KEN_ALL"), 0u);
}

// A link planted where a temporary name was predictable (FILE.tmp<pid>: the shell's pid is
// the program's after exec) is never followed, and a link at the summary path itself is
// replaced, not written through.
TEST_F(MigrateFiles, LinksBesideOrAtTheSummaryAreNotFollowed) {
    std::ofstream(m_dir / "victim") << "precious";
    for (const std::string summary : {"summary.json", "at.json"}) {
        const CommandResult result =
            RunCommand({"/bin/sh", "-c",
                        "ln -s victim summary.json.tmp$$ && ln -sf victim at.json && exec \"$0\" "
                        "--sql --summary \"$1\" \"$2\" >/dev/null",
                        Program(), summary, Source().string()},
                       {}, m_dir.Path());
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(ReadFile(m_dir / "victim"), "precious") << summary;
        EXPECT_EQ(ReadFile(m_dir / summary).rfind("{\"status\": \"completed\"", 0), 0u);
    }
    EXPECT_FALSE(fs::is_symlink(m_dir / "at.json"));
}

// A FIFO with a reader gets the final summary, one without is reported at once, and a
// device stays a device (through a link to /dev/null, so that nothing could replace the
// device itself).
TEST_F(MigrateFiles, AStreamGetsTheFinalSummaryWrittenIntoIt) {
    const fs::path fifo = m_dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::future<std::string> read = std::async(std::launch::async, [&] { return ReadFile(fifo); });
    CommandResult result = Run(
        {"--target", m_target.ConnectionString(), "--summary", fifo.string(), Source().string()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(
        read.get().rfind("{\"status\": \"completed\", \"tables\": [{\"table\": \"KEN_ALL\"", 0),
        0u);

    result = Run({"--sql", "--summary", fifo.string(), Source().string()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("Cannot write '" + fifo.string() + "': no program reads from it."),
              std::string::npos)
        << result.err;
    EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);

    fs::create_symlink("/dev/null", m_dir / "null");
    result = Run({"--sql", "--summary", (m_dir / "null").string(), Source().string()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(fs::is_symlink(m_dir / "null"));
    EXPECT_EQ(fs::status("/dev/null").type(), fs::file_type::character);
}

// While the run waits for the target, the summary already says "running", with no table and
// the target; an old summary is replaced by it, never removed first.
TEST_F(MigrateFiles, TheSummarySaysRunningFromTheStart) {
    const fs::path summary = m_dir / "summary.json";
    std::ofstream(summary) << "old";
    // A sqlite3 shell holds the write lock until its input ends.
    const fs::path hold = m_dir / "hold";
    std::ofstream holding = m_target.HoldWriteLock(hold);

    std::atomic<bool> done{false};
    std::future<CommandResult> run = std::async(std::launch::async, [&] {
        CommandResult result = Run({"--target", m_target.ConnectionString() + ";Timeout=600000",
                                    "--summary", summary.string(), Source().string()});
        done = true;
        return result;
    });
    std::string json = ReadFile(summary);
    while (!done && json == "old") {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        json = ReadFile(summary);
    }
    // The program holds the FIFO open too (inherited), so the lock ends by commit, not by EOF.
    holding << "commit;\n" << std::flush;
    EXPECT_EQ(json,
              "{\"status\": \"running\", \"tables\": [], \"target\": \"driver SQL Server, "
              "database " +
                  m_target.File().string() + "\"}\n");
    const CommandResult result = run.get();
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadFile(summary).rfind("{\"status\": \"completed\"", 0), 0u);
}

// The connection string from a file or standard input reaches the target; a file that other
// users may read is warned about; --target-file and --target exclude each other.
TEST_F(MigrateFiles, TheTargetComesFromAFile) {
    const fs::path file = m_dir / "target";
    std::ofstream(file) << m_target.ConnectionString() << "\n";
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    CommandResult result = Run({"--target-file", file.string(), Source().string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const size_t rows = m_target.Count("KEN_ALL");
    EXPECT_GT(rows, 0u);

    fs::permissions(file, fs::perms::group_read | fs::perms::others_read, fs::perm_options::add);
    result = Run({"--target-file", file.string(), Source().string()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.err.find("warning: the connection string file " + file.string() +
                              " may be read by other users (mode 0644)"),
              std::string::npos)
        << result.err;

    result =
        Run({"--target-file", "-", "--replace", Source().string()}, m_target.ConnectionString());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(m_target.Count("KEN_ALL"), rows);

    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--target-file", file.string(), "--target", "x", Source().string()},
             {"--sql", "--target-file", file.string(), Source().string()},
             {"--target-file", (m_dir / "absent").string(), Source().string()}}) {
        result = Run(args);
        EXPECT_EQ(result.exitCode, 2) << args[2];
        EXPECT_NE(result.err.find("usage: brimlow-migrate"), std::string::npos);
    }
}

// Without a target the rows are written, not inserted, also in the account of a failure in
// the middle of a table (a file larger than the statements' buffer).
TEST(MigrateSqlOnlyWords, AFailedRunSaysTheRowsWereWritten) {
    const fs::path full = testpaths::SharedFixtures("kenall-full.mdb");
    if (!fs::exists(full)) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("kenall-full.mdb");
    }
    const CommandResult result = RunCommand(
        {"/bin/sh", "-c", "exec \"$0\" --sql \"$1\" >/dev/full", Program(), full.string()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find(" were written."), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("inserted"), std::string::npos) << result.err;
}

}  // namespace
