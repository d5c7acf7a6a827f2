// Every brimlow-migrate run that writes to a target leaves one line in the run history, and
// --history lists the last runs in the user's language.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/support/BackgroundRun.h"
#include "tests/support/Paths.h"
#include "tests/support/RunCommand.h"
#include "tests/support/SqliteTarget.h"
#include "tests/support/TempDirectory.h"

namespace {

using testsupport::CommandResult;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

class MigrateHistory : public testing::Test {
protected:
    CommandResult Run(const std::vector<std::string>& arguments, const std::string& locale = "C") {
        std::vector<std::string> argv{"env", "XDG_STATE_HOME=" + m_state.Path().string(),
                                      "LC_ALL=" + locale,
                                      "LANGUAGE=", testpaths::Build("brimlow-migrate").string()};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return testsupport::RunCommand(argv);
    }

    testsupport::TempDirectory m_state{"brimlow-history"};
    testtarget::SqliteTarget m_target;
};

TEST_F(MigrateHistory, EachRunIsRecordedAndListedInTheUsersLanguage) {
    const std::string sample = testpaths::Data("sample.mdb").string();
    ASSERT_EQ(Run({"--target", m_target.ConnectionString(), sample}).exitCode, 0);
    ASSERT_EQ(Run({"--target", m_target.ConnectionString(), "--replace", sample}).exitCode, 0);
    ASSERT_EQ(Run({"--target", m_target.ConnectionString(), sample}).exitCode, 0);
    ASSERT_EQ(Run({"--sql", sample}).exitCode, 0);  // wrote to no target: not recorded

    const std::string file = (m_state.Path() / "brimlow/history.jsonl").string();
    struct stat status {};
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);

    const CommandResult list = Run({"--history"});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    const std::vector<std::string> lines = Lines(list.out);
    ASSERT_EQ(lines.size(), 3u) << list.out;
    EXPECT_NE(lines[0].find("  sample.mdb → "), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(" (new)  1,512 rows  completed"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("(replace)  1,512 rows  completed"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("(append)  1,512 rows  completed"), std::string::npos) << lines[2];

    const CommandResult last = Run({"--history", "1"}, "ja_JP.UTF-8");
    EXPECT_EQ(Lines(last.out).size(), 1u);
    EXPECT_NE(last.out.find("（追加）  1,512 件  完了"), std::string::npos) << last.out;
    EXPECT_EQ(Run({"--history", "x"}).exitCode, 2);
}

}  // namespace
