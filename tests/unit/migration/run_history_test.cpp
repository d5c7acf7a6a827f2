#include "migration/HistoryRecord.h"
#include "migration/RunHistory.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "tests/support/MiniJson.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDirectory.h"

namespace {

namespace fs = std::filesystem;

class RunHistory : public testing::Test {
protected:
    fs::path Folder() const { return m_state.Path() / "brimlow"; }
    fs::perms Mode(const fs::path& path) const {
        return fs::symlink_status(path).permissions() & fs::perms::mask;
    }

    testsupport::TempDirectory m_state{"brimlow-history"};
    testsupport::ScopedEnv m_env{"XDG_STATE_HOME", m_state.Path().string()};
};

TEST_F(RunHistory, ALineCarriesTheRunAndTheSummaryAndStaysPrivate) {
    const std::string line =
        HistoryLine(R"({"status": "completed", "tables": [{"table": "KEN_ALL", "inserted": 3}]})",
                    "/data/sample.mdb", "append");
    const JsonValue entry = ParseJson(line);
    EXPECT_EQ(entry["file"].text, "/data/sample.mdb");
    EXPECT_EQ(entry["mode"].text, "append");
    EXPECT_EQ(entry["status"].text, "completed");
    EXPECT_EQ(entry["tables"][0]["inserted"].text, "3");
    EXPECT_FALSE(entry["user"].text.empty());
    EXPECT_EQ(entry["time"].text.size(), 25u);  // 2026-12-10T14:02:03+09:00

    EXPECT_EQ(AppendRunHistory(line), "");
    EXPECT_EQ(AppendRunHistory(R"({"n": 2})"), "");
    EXPECT_EQ(ReadRunHistory(20), (std::vector<std::string>{line, R"({"n": 2})"}));
    EXPECT_EQ(ReadRunHistory(1), (std::vector<std::string>{R"({"n": 2})"}));
    EXPECT_EQ(Mode(Folder()), fs::perms::owner_all);
    EXPECT_EQ(Mode(Folder() / "history.jsonl"), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(RunHistory, NoLinkIsFollowedAndAFailureIsAWarningOnly) {
    fs::create_directories(Folder());
    const fs::path elsewhere = m_state.Path() / "elsewhere";
    fs::create_symlink(elsewhere, Folder() / "history.jsonl");
    const std::string warning = AppendRunHistory("{}");
    EXPECT_NE(warning.find("history.jsonl cannot be written"), std::string::npos) << warning;
    EXPECT_FALSE(fs::exists(elsewhere));

    fs::remove_all(Folder());
    fs::create_directories(elsewhere);
    fs::create_symlink(elsewhere, Folder());
    EXPECT_NE(AppendRunHistory("{}"), "");
    EXPECT_TRUE(fs::is_empty(elsewhere));
}

TEST_F(RunHistory, KeepsTheLastThousandRunsAndRunsEndingAtOnceLeaveWholeLines) {
    const std::string padding(400, 'x');
    for (std::size_t i = 0; i < kHistoryRuns + 20; ++i) {
        ASSERT_EQ(
            AppendRunHistory("{\"n\": " + std::to_string(i) + ", \"p\": \"" + padding + "\"}"), "");
    }
    std::vector<std::string> lines = ReadRunHistory(5000);
    ASSERT_EQ(lines.size(), kHistoryRuns);
    EXPECT_EQ(ParseJson(lines.front())["n"].text, "20");

    // Four processes append 50 lines each at the same time.
    fs::remove(Folder() / "history.jsonl");
    std::vector<pid_t> children;
    for (int c = 0; c < 4; ++c) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            for (int i = 0; i < 50; ++i) {
                AppendRunHistory("{\"child\": " + std::to_string(c) + ", \"p\": \"" + padding +
                                 "\"}");
            }
            ::_exit(0);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    lines = ReadRunHistory(5000);
    EXPECT_EQ(lines.size(), 200u);
    for (const std::string& line : lines) {
        EXPECT_NO_THROW(ParseJson(line)) << line;
    }
}

TEST_F(RunHistory, ALineReadsBackAsOneLineForAPerson) {
    const std::string line = HistoryLine(
        R"j({"status": "completed", "target": "DSN Pomvale01 (server \"db1\")", "tables": )j"
        R"j([{"table": "KEN_ALL", "total": 5, "inserted": 126029, "cut_at_zero_byte": )j"
        R"j([{"column": "A", "first_row": 1, "count": 2}]}, {"table": "Mst01", )j"
        R"j("inserted": 40111}], "verification": "equal"})j",
        "/data/\u9805\u76ee \"a\".mdb", "replace");
    const std::optional<CHistoryRecord> record = ParseHistoryLine(line);
    ASSERT_TRUE(record) << line;
    EXPECT_EQ(record->file, "/data/\u9805\u76ee \"a\".mdb");
    EXPECT_EQ(record->target, "DSN Pomvale01 (server \"db1\")");
    EXPECT_EQ(record->mode, "replace");
    EXPECT_EQ(record->rows, 166140u);
    EXPECT_EQ(record->verification, "equal");
    const std::string shown = DescribeHistoryRecord(*record);
    EXPECT_EQ(shown.substr(16),
              "  \u9805\u76ee \"a\".mdb → DSN Pomvale01 (server \"db1\") "
              "(replace)  166,140 rows  completed, verified");

    EXPECT_FALSE(ParseHistoryLine("{\"time\": \"x\", \"tables\": [}"));
    EXPECT_FALSE(ParseHistoryLine("not json"));
    EXPECT_EQ(
        ParseHistoryLine(R"({"time": "2026-12-10T14:02:00+09:00", "x": [1, {"y": null}]})")->time,
        "2026-12-10T14:02:00+09:00");
}

}  // namespace
