// A source file that another program copies a new version over while the run reads it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <string>

#include "tests/support/BackgroundRun.h"
#include "tests/support/Paths.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDirectory.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CBackgroundRun;

using testsupport::ScopedEnv;

// The file is truncated and the first page of another Access file written into it, as a copy
// starts, while the run reads it slowly (as from a share): once the file check has ended,
// when the run opens the file, and again in the middle of the first table. The pages the run
// reads next are gone; the run fails saying the file changed while it was read and what to
// do, not that it is damaged.
TEST(MigrateChangedSource, AFileOverwrittenInPlaceWhileReadIsSaidToHaveChanged) {
    const std::string other = testsupport::ReadFile(testpaths::Data("dates.mdb"));
    ASSERT_GE(other.size(), 4096u);
    ScopedEnv slow("LD_PRELOAD", BRIMLOW_SLOW_PAGES_SHIM);
    ScopedEnv delay("BRIMLOW_SLOW_PAGE_US", "15000");
    for (const bool bInTable : {false, true}) {
        SCOPED_TRACE(bInTable ? "in the middle of a table" : "as the file is opened");
        testsupport::TempDirectory dir("brimlow-changed");
        const fs::path source = dir / "src.mdb";
        fs::copy_file(testpaths::Data("sample.mdb"), source);
        const CBackgroundRun run({"--sql", "--progress", source.string()}, dir.Path());
        ASSERT_TRUE(testsupport::AwaitCondition([&] { return run.HasChild(); }));
        ASSERT_TRUE(testsupport::AwaitCondition([&] { return !run.HasChild(); }));
        if (bInTable) {
            // The progress line counts the rows read of the first table.
            const std::regex reading("KEN_ALL +[1-9]");
            ASSERT_TRUE(testsupport::AwaitCondition(
                [&] { return std::regex_search(testsupport::ReadFile(dir / "err"), reading); }));
        }

        const int fd = open(source.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, other.data(), 4096), 4096);
        close(fd);

        EXPECT_EQ(run.Wait(), 1);
        const std::string err = testsupport::ReadFile(dir / "err");
        EXPECT_NE(err.find("changed while it was being read"), std::string::npos) << err;
        EXPECT_NE(err.find("Repeat the run once the copy is complete."), std::string::npos) << err;
        EXPECT_EQ(err.find("damaged"), std::string::npos) << err;
        if (bInTable) {
            EXPECT_NE(err.find("failed at row "), std::string::npos) << err;
        }
    }
}

}  // namespace
