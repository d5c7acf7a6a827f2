// One Brimlow run at a time per target: a --replace started while a per-row run is under way
// fails before its first row, naming that run, and sends nothing; the per-row run completes
// and the target holds exactly its one copy; once it has closed, the next run goes ahead.

#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "tests/support/BackgroundRun.h"
#include "tests/support/Paths.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/RunCommand.h"
#include "tests/support/SqliteTarget.h"
#include "tests/support/TempDirectory.h"

namespace {

using testsupport::CBackgroundRun;
using testsupport::CommandResult;

// A fresh target of one kind: its connection string, a folder to run in, and a row count that
// does not go through brimlow.
struct LockTarget {
    std::string connection;
    std::filesystem::path folder;
    std::function<std::size_t(const std::string&)> count;
};

struct TargetMaker {
    const char* name;
    std::function<LockTarget()> make;
};

std::unique_ptr<testtarget::SqliteTarget> g_sqlite;
std::unique_ptr<testsupport::TempDirectory> g_folder;

const TargetMaker kSqlite{"SQLite", [] {
                              g_sqlite = std::make_unique<testtarget::SqliteTarget>();
                              return LockTarget{
                                  g_sqlite->ConnectionString(), g_sqlite->Directory(),
                                  [](const std::string& table) { return g_sqlite->Count(table); }};
                          }};
const TargetMaker kPostgres{
    "PostgreSQL", [] {
        auto& server = testtarget::PostgresServer::Get();
        const std::string database = server.CreateFreshDatabase("runlock");
        g_folder = std::make_unique<testsupport::TempDirectory>("brimlow-runlock");
        return LockTarget{server.ConnectionString(database), g_folder->Path(),
                          [database](const std::string& table) {
                              return std::stoul(*testtarget::PostgresServer::Get().Query(
                                  database, "select count(*) from " + table)[0][0]);
                          }};
    }};

// Whether the process is stopped (by SIGSTOP), every thread of it.
bool IsStopped(pid_t pid) {
    const std::string stat = testsupport::ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t end = stat.rfind(')');
    return end != std::string::npos && end + 2 < stat.size() && stat[end + 2] == 'T';
}

class MigrateRunLock : public testing::TestWithParam<TargetMaker> {};

TEST_P(MigrateRunLock, AReplaceDuringAPerRowRunFailsBeforeItsFirstRowAndNamesIt) {
    const auto full = testpaths::SharedFixtures("kenall-full.mdb");
    if (!std::filesystem::exists(full)) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("kenall-full.mdb");
    }
    const LockTarget target = GetParam().make();
    const std::string program = testpaths::Build("brimlow-migrate").string();
    const std::string sample = testpaths::Data("sample.mdb").string();

    // The per-row run, held still once its rows arrive, so that it is certainly under way
    // for as long as the second run waits.
    const CBackgroundRun first({"--target", target.connection, full.string()}, target.folder);
    ASSERT_TRUE(testsupport::AwaitCondition([&] { return target.count("KEN_ALL") > 0; }));
    first.Signal(SIGSTOP);
    // Counted once every thread of it has stopped: a commit under way finishes first.
    ASSERT_TRUE(testsupport::AwaitCondition([&] { return IsStopped(first.Pid()); }));
    const std::size_t beforeSecond = target.count("KEN_ALL");
    const CommandResult second = testsupport::RunCommand(
        {program, "--replace", "--target", target.connection, sample}, {}, target.folder);
    const std::size_t whileHeld = target.count("KEN_ALL");
    first.Signal(SIGCONT);

    EXPECT_EQ(second.exitCode, 1) << second.err;
    EXPECT_NE(second.err.find("Another Brimlow run (append by "), std::string::npos) << second.err;
    EXPECT_NE(second.err.find(", pid " + std::to_string(first.Pid()) + ", since "),
              std::string::npos)
        << second.err;
    EXPECT_NE(second.err.find("nothing was sent. Start again once it has finished."),
              std::string::npos)
        << second.err;
    EXPECT_EQ(second.err.find("row 1 "), std::string::npos) << second.err;
    EXPECT_EQ(whileHeld, beforeSecond);  // nothing deleted, nothing added

    EXPECT_EQ(first.Wait(), 0) << testsupport::ReadFile(target.folder / "err");
    EXPECT_EQ(target.count("KEN_ALL"), 126029u);

    // Released at the first run's Close: a third run goes ahead at once.
    const CommandResult third = testsupport::RunCommand(
        {program, "--replace", "--target", target.connection, sample}, {}, target.folder);
    EXPECT_EQ(third.exitCode, 0) << third.err;
    EXPECT_EQ(target.count("KEN_ALL"), 1001u);
}

INSTANTIATE_TEST_SUITE_P(Kinds, MigrateRunLock, testing::Values(kSqlite, kPostgres),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
