// What brimlow-migrate makes of the connection string it is given: a key given twice is a usage
// error before anything is written, and a SQLite file that another program holds is given up
// after the program's own lock wait, not the driver's default of minutes.

#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
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

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class MigrateTargetString : public testing::Test {
protected:
    CommandResult Run(const std::vector<std::string>& args) {
        std::vector<std::string> argv{testpaths::Build("brimlow-migrate").string()};
        argv.insert(argv.end(), args.begin(), args.end());
        return testsupport::RunCommand(argv, {}, m_dir.Path());
    }

    testsupport::TempDirectory m_dir{"brimlow-string"};
    testtarget::SqliteTarget m_target;
};

// The drivers disagree on which of two values counts (psqlODBC the last, sqlite3odbc the
// first): the run would write where its report does not say. Keys compare without case, and
// the spellings a driver reads as one key count as one.
TEST_F(MigrateTargetString, AKeyGivenTwiceIsAUsageErrorNamingIt) {
    const fs::path other = m_dir / "other.db";
    const fs::path summary = m_dir / "summary.json";
    struct Case {
        std::string connect;
        const char* named;
    };
    for (const Case& c : {Case{m_target.ConnectionString() + ";database=" + other.string(),
                               "Database more than once"},
                          Case{m_target.ConnectionString() + ";DBQ=" + other.string(),
                               "Database/DBQ more than once"},
                          Case{"Server=a;Uid=u;Servername=b;" + m_target.ConnectionString(),
                               "Server/Servername more than once"}}) {
        const CommandResult run = Run({"--target", c.connect, "--summary", summary.string(),
                                       testpaths::Data("sample.mdb").string()});
        EXPECT_EQ(run.exitCode, 2) << c.connect << "\n" << run.err;
        EXPECT_TRUE(Has(run.err, std::string("The connection string sets ") + c.named)) << run.err;
        EXPECT_FALSE(fs::exists(summary)) << c.connect;
        EXPECT_FALSE(fs::exists(other)) << c.connect;
        EXPECT_EQ(m_target.Count("KEN_ALL"), 0u);
    }
}

// An explicit SQLite target without Timeout= waits as the per-user file does: a file that a
// sqlite3 shell holds locked (begin exclusive) fails the run with the lock's explanation. The
// driver's own default would wait 100 s for each busy statement; the test gives up at 90 s.
TEST_F(MigrateTargetString, ALockedSqliteTargetFailsAfterTheProgramsLockWait) {
    const fs::path hold = m_dir / "hold";
    std::ofstream holding = m_target.HoldWriteLock(hold);

    const testsupport::CBackgroundRun run(
        {"--target", m_target.ConnectionString(), testpaths::Data("sample.mdb").string()},
        m_dir.Path());
    std::future<int> status = std::async(std::launch::async, [&] { return run.Wait(); });
    if (status.wait_for(std::chrono::seconds(90)) != std::future_status::ready) {
        run.Signal(SIGKILL);
        ADD_FAILURE() << "the run still waited for the lock after 90 s";
    }
    const int exitCode = status.get();
    holding << "commit;\n.quit\n" << std::flush;
    holding.close();
    const std::string err = testsupport::ReadFile(m_dir.Path() / "err");
    EXPECT_EQ(exitCode, 1) << err;
    EXPECT_TRUE(Has(err, "is locked by another program and stayed locked for 15 seconds")) << err;
}

}  // namespace
