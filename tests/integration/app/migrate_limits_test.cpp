// brimlow-migrate under a low limit of open files: libmdb's output is captured through a pipe
// of its own, which such a limit can refuse.

#include <gtest/gtest.h>

#include <string>

#include "tests/support/Paths.h"
#include "tests/support/RunCommand.h"
#include "tests/support/SqliteTarget.h"

namespace {

using testsupport::CommandResult;

// Each limit either leaves room for the whole run, which then logs every table, or makes it
// fail with a message that names the limit: never a failure without a word (standard error
// left pointing into the capture's pipe).
TEST(MigrateLimits, ALowLimitOfOpenFilesCompletesTheRunOrIsNamed) {
#ifdef BRIMLOW_SANITIZED
    // The sanitizers' runtime makes pipes of its own to check memory before it reports, and
    // takes every type check for a fault when the limit refuses them.
    GTEST_SKIP() << "not under the sanitizers: their runtime needs descriptors of its own";
#endif
    bool completed = false;
    bool named = false;
    for (int limit = 6; limit <= 16; ++limit) {
        SCOPED_TRACE("ulimit -n " + std::to_string(limit));
        testtarget::SqliteTarget target;
        const CommandResult result = testsupport::RunCommand(
            {"sh", "-c",
             "ulimit -n " + std::to_string(limit) + " && exec \"$0\" --target \"$1\" \"$2\"",
             testpaths::Build("brimlow-migrate").string(), target.ConnectionString(),
             testpaths::Data("sample.mdb").string()});
        if (result.exitCode == 0) {
            completed = true;
            EXPECT_NE(result.out.find("移行が完了しました。"), std::string::npos) << result.out;
            EXPECT_EQ(result.err, "");
            EXPECT_EQ(target.Count("KEN_ALL"), 1001u);
        } else {
            named = true;
            EXPECT_EQ(result.exitCode, 1) << result.err;
            EXPECT_NE(result.err.find("(ulimit -n)"), std::string::npos) << result.err;
        }
    }
    EXPECT_TRUE(completed);
    EXPECT_TRUE(named);
}

}  // namespace
