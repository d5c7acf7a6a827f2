// brimlow-migrate under a low limit of open files: libmdb's output is captured through a pipe
// of its own, which such a limit can refuse.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/Paths.h"
#include "tests/support/RunCommand.h"
#include "tests/support/SqliteTarget.h"
#include "tests/support/TempDirectory.h"

namespace {

using testsupport::CommandResult;

// What the runs under the limits 6 to 16 showed.
struct CLimitRuns {
    bool completed = false;
    bool named = false;
    bool converter = false;
};

// One run under a limit: it logs every table, or fails with a message that names the limit:
// never a failure without a word (standard error left pointing into the capture's pipe), and
// never another reason (glibc reports a text converter it could not load for want of a
// descriptor as missing).
void CheckRun(const CommandResult& result, CLimitRuns& runs) {
    if (result.exitCode == 0) {
        runs.completed = true;
        EXPECT_NE(result.out.find("移行が完了しました。"), std::string::npos) << result.out;
        EXPECT_EQ(result.err, "");
        return;
    }
    runs.named = true;
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_NE(result.err.find("(ulimit -n)"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("has no CP932 converter"), std::string::npos) << result.err;
    if (result.err.find("text converter CP932") != std::string::npos) {
        runs.converter = true;
        EXPECT_NE(result.err.find("too many open files"), std::string::npos) << result.err;
    }
}

// brimlow-migrate with the arguments under ulimit -n limit, in the environment env.
CommandResult RunUnderLimit(int limit, const std::vector<std::string>& env,
                            const std::vector<std::string>& args) {
    std::vector<std::string> argv{"env"};
    argv.insert(argv.end(), env.begin(), env.end());
    argv.insert(argv.end(), {"sh", "-c", "ulimit -n " + std::to_string(limit) + " && exec \"$@\"",
                             "sh", testpaths::Build("brimlow-migrate").string()});
    argv.insert(argv.end(), args.begin(), args.end());
    return testsupport::RunCommand(argv);
}

// Each limit either leaves room for the whole run or makes it fail naming the limit; one of
// them leaves no descriptor to load the text converter with.
TEST(MigrateLimits, ALowLimitOfOpenFilesCompletesTheRunOrIsNamed) {
#ifdef BRIMLOW_SANITIZED
    // The sanitizers' runtime makes pipes of its own to check memory before it reports, and
    // takes every type check for a fault when the limit refuses them.
    GTEST_SKIP() << "not under the sanitizers: their runtime needs descriptors of its own";
#endif
    CLimitRuns runs;
    for (int limit = 6; limit <= 16; ++limit) {
        SCOPED_TRACE("ulimit -n " + std::to_string(limit));
        testtarget::SqliteTarget target;
        const CommandResult result = RunUnderLimit(
            limit, {}, {"--target", target.ConnectionString(), testpaths::Data("sample.mdb")});
        CheckRun(result, runs);
        if (result.exitCode == 0) {
            EXPECT_EQ(target.Count("KEN_ALL"), 1001u);
        }
    }
    EXPECT_TRUE(runs.completed);
    EXPECT_TRUE(runs.named);
    EXPECT_TRUE(runs.converter) << "no limit stopped the text converter's load";
}

// The same with the per-user target, which the first run creates: SQLite's "unable to open
// database file" is not the whole story when the limit is why.
TEST(MigrateLimits, ALowLimitWhileThePerUserTargetIsCreatedIsNamed) {
#ifdef BRIMLOW_SANITIZED
    GTEST_SKIP() << "not under the sanitizers: their runtime needs descriptors of its own";
#endif
    CLimitRuns runs;
    for (int limit = 6; limit <= 16; ++limit) {
        SCOPED_TRACE("ulimit -n " + std::to_string(limit));
        testsupport::TempDirectory odbc("brimlow-odbc");
        testsupport::TempDirectory home("brimlow-home");
        CheckRun(
            RunUnderLimit(limit,
                          {"-u", "XDG_DATA_HOME", "-u", "ODBCINSTINI",
                           "ODBCSYSINI=" + odbc.Path().string(), "HOME=" + home.Path().string()},
                          {testpaths::Data("sample.mdb")}),
            runs);
    }
    EXPECT_TRUE(runs.completed);
    EXPECT_TRUE(runs.named);
}

}  // namespace
