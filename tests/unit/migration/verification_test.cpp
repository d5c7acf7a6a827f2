#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "migration/MigrationRun.h"
#include "migration/RunSettings.h"
#include "migration/TableCatalogue.h"
#include "tests/support/ScopedEnv.h"
#include "tests/unit/migration/engine_fakes.h"

namespace {

// Runs with verification on a source holding all eight tables (Mst02 filled by the tests)
// and a target that keeps every row it receives; the differences file goes to a folder of
// the test's own.
class VerificationTest : public testing::Test {
protected:
    VerificationTest() {
        for (const CCatalogueEntry& entry : GetTableCatalogue()) {
            source.tables[entry.query];
        }
        target.countable = true;
        target.readable = true;
        char folder[] = "/tmp/brimlow-verify-XXXXXX";
        m_folder = ::mkdtemp(folder);
        m_stateHome.emplace("XDG_STATE_HOME", m_folder);
    }
    ~VerificationTest() override {
        m_stateHome.reset();
        std::filesystem::remove_all(m_folder);
    }

    // The run's exception text; empty when it completed.
    std::string Run() {
        CMigrationRun run(source, target, log);
        run.SetVerify(true);
        try {
            run.Run([] { return std::string("a.mdb"); }, kTargetConnection);
        } catch (const CException& e) {
            return e.GetErrorMessage();
        }
        return {};
    }

    std::vector<FakeRow>& Mst02() { return source.tables["select * from Mst02"]; }
    static FakeRow Row(const std::string& code, const std::string& name, int flag) {
        return {{"Col02", CFieldValue::Text(code)},
                {"Col03", CFieldValue::Text(name)},
                {"Col04", CFieldValue::Null()},
                {"Col05", CFieldValue::Text("")},
                {"JogaiFlag", CFieldValue::Integer(static_cast<int16_t>(flag))}};
    }
    // Changes what the target holds of Mst02 before it is read back.
    void OnMst02(std::function<void(std::vector<std::vector<std::optional<std::string>>>&)> f) {
        target.onReadBack = [this, f](const std::string& table) {
            if (table == "Mst02") {
                f(target.stored["Mst02"]);
                target.onReadBack = nullptr;
            }
        };
    }
    void EmptyTarget() {
        target.stored.clear();
        target.held.clear();
    }
    bool Logged(const std::string& line) const {
        return std::find(log.lines.begin(), log.lines.end(), line) != log.lines.end();
    }
    std::string DifferencesFile() const {
        std::ifstream in(log.verification->differencesFile);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    FakeEvents events;
    FakeSource source{events};
    FakeTarget target{events};
    FakeLog log{events};
    std::string m_folder;
    std::optional<testsupport::ScopedEnv> m_stateHome;
};

TEST_F(VerificationTest, ACopyHeldExactlyIsEqualAndItsReadingIsTheCountAfterTheRun) {
    Mst02() = {Row("A001", "x", 0), Row("A001", "x", 0), Row("A002", "y\\", 1)};

    EXPECT_EQ(Run(), "");
    ASSERT_TRUE(log.verification);
    EXPECT_EQ(log.verification->state, CVerification::State::Equal);
    EXPECT_EQ(log.verification->Rows(), 3u);
    ASSERT_TRUE(log.outcome && log.outcome->verification);
    EXPECT_EQ(log.outcome->status, CRunOutcome::Status::Completed);
    // Read back once after the commit (no second count), then the completion line, then the
    // result.
    const auto& list = events.list;
    const auto read = std::find(list.begin(), list.end(), "target.read Mst02");
    ASSERT_NE(read, list.end());
    EXPECT_EQ(std::count(read, list.end(), "target.count Mst02"), 0);
    const auto completion =
        std::find(list.begin(), list.end(), "log " + std::string(kCompletionLine));
    ASSERT_NE(completion, list.end());
    EXPECT_EQ(*(completion + 1), "verified equal");
    EXPECT_EQ(*(read - 1), "target.read Mst01");
}

TEST_F(VerificationTest, AValueChangedOnTheWayNamesTableRowColumnAndBothValues) {
    Mst02() = {Row("A001", "x", 0), Row("A003", "abcd\\", 0), Row("A004", "z", 0)};
    OnMst02([](auto& rows) { rows[1][1] = "abcd"; });

    const std::string error = Run();

    EXPECT_NE(error.find("Mst02 row 2 with Col02 'A003': Col03 source 'abcd\\' target 'abcd'"),
              std::string::npos)
        << error;
    // The counts agree, so the completion line stands and the run fails after it.
    EXPECT_TRUE(Logged(kCompletionLine));
    ASSERT_TRUE(log.outcome);
    EXPECT_TRUE(log.outcome->differs);
    EXPECT_EQ(log.outcome->status, CRunOutcome::Status::Failed);
    ASSERT_TRUE(log.verification);
    EXPECT_EQ(log.verification->state, CVerification::State::Differs);
    const CVerification::Table& mst02 = log.verification->tables[3];
    EXPECT_FALSE(mst02.verified);
    EXPECT_TRUE(log.verification->tables[2].verified);
    EXPECT_EQ(mst02.sourceOnly, 1u);
    EXPECT_EQ(mst02.targetOnly, 1u);
    EXPECT_NE(error.find(log.verification->differencesFile), std::string::npos);
    EXPECT_EQ(DifferencesFile(),
              "Mst02 row 2 with Col02 'A003': Col03 source 'abcd\\' target 'abcd'\n");
}

TEST_F(VerificationTest, ADuplicateRowDroppedOrAValueSwappedBetweenRowsIsADifference) {
    // One of two identical rows missing: the count tells it, and the row is named.
    Mst02() = {Row("A001", "x", 0), Row("A001", "x", 0), Row("A002", "y", 1)};
    OnMst02([](auto& rows) { rows.erase(rows.begin()); });
    std::string error = Run();
    EXPECT_NE(error.find("Mst02 row 2 with Col02 'A001': not in the target"), std::string::npos)
        << error;
    EXPECT_FALSE(Logged(kCompletionLine));
    ASSERT_TRUE(log.outcome);
    EXPECT_TRUE(log.outcome->differs);

    // Two values swapped: the same values, the same count, other rows.
    log.lines.clear();
    Mst02() = {Row("A001", "x", 0), Row("A002", "y", 1)};
    EmptyTarget();
    OnMst02([](auto& rows) { std::swap(rows[0][4], rows[1][4]); });
    error = Run();
    EXPECT_NE(error.find("Mst02 row 1 with Col02 'A001': JogaiFlag source '0' target '1'"),
              std::string::npos)
        << error;
    EXPECT_NE(error.find("Mst02 row 2 with Col02 'A002': JogaiFlag source '1' target '0'"),
              std::string::npos);
}

TEST_F(VerificationTest, NullAndEmptyTextDifferAndAPaddedColumnsBlanksDoNot) {
    Mst02() = {Row("A001", "x", 0)};
    OnMst02([](auto& rows) { rows[0][2] = ""; });  // Col04 was NULL
    const std::string error = Run();
    EXPECT_NE(error.find("Col04 source NULL target ''"), std::string::npos) << error;

    EmptyTarget();
    target.padding = {true, false, false, false, false};  // Col02 is a char(n)
    OnMst02([](auto& rows) { rows[0][0] = "A001      "; });
    EXPECT_EQ(Run(), "");
    EXPECT_EQ(log.verification->state, CVerification::State::Equal);
}

TEST_F(VerificationTest, AnAppendToRowsAlreadyThereOrATargetThatCannotReadIsNotRun) {
    Mst02() = {Row("A001", "x", 0)};
    target.held["Mst02"] = 5;
    EXPECT_EQ(Run(), "");
    ASSERT_TRUE(log.verification);
    EXPECT_EQ(log.verification->state, CVerification::State::NotRun);
    EXPECT_NE(log.verification->reason.find("Mst02 held 5 rows before the run"), std::string::npos);
    EXPECT_EQ(std::count(events.list.begin(), events.list.end(), "target.read Mst02"), 0);

    EmptyTarget();
    target.readable = false;
    EXPECT_EQ(Run(), "");
    EXPECT_EQ(log.verification->state, CVerification::State::NotRun);
    EXPECT_EQ(log.verification->reason, "This target cannot read its tables back.");
    EXPECT_TRUE(Logged(kCompletionLine));
}

TEST_F(VerificationTest, AStopDuringTheReadingLeavesTheRunCompletedAndSaysSo) {
    std::vector<FakeRow> rows;
    for (int i = 0; i < 500; ++i) {
        rows.push_back(Row("A" + std::to_string(i), "x", 0));
    }
    Mst02() = rows;
    bool reading = false;
    target.onReadBack = [&](const std::string&) { reading = true; };
    log.stopWhen = [&] { return reading; };

    EXPECT_EQ(Run(), "");
    ASSERT_TRUE(log.verification);
    EXPECT_EQ(log.verification->state, CVerification::State::Stopped);
    EXPECT_STREQ(VerificationWord(log.verification->state), "not run");
    EXPECT_EQ(log.outcome->status, CRunOutcome::Status::Completed);
    EXPECT_TRUE(Logged(kCompletionLine));
}

TEST_F(VerificationTest, ARunThatFailsBeforeTheCommitIsNotVerified) {
    Mst02() = {Row("A001", "x", 0)};
    target.onExecute = [](const std::string&) { throw CDBException("refused"); };
    EXPECT_EQ(Run(), "refused");
    ASSERT_TRUE(log.outcome && log.outcome->verification);
    EXPECT_EQ(log.outcome->verification->state, CVerification::State::NotRun);
    EXPECT_FALSE(log.verification);
}

}  // namespace
