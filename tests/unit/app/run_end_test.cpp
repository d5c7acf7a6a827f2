// How the command line ends a run that verified its copy: what stderr says, the exit status
// and the summary, from outcomes made up here as the run would give them.
#include "app/RunEnd.h"

#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "app/ConsoleRun.h"
#include "dbaccess/Translate.h"
#include "tests/support/TempDirectory.h"

namespace {

struct CEnded {
    int status = 0;
    std::string err;
    std::string summary;
};

std::shared_ptr<CVerification> Found(CVerification::State state, std::string reason = {}) {
    auto verification = std::make_shared<CVerification>();
    verification->state = state;
    verification->reason = std::move(reason);
    verification->tables = {{"KEN_ALL",
                             1000,
                             1000,
                             state == CVerification::State::Equal,
                             state != CVerification::State::NotRun,
                             0,
                             0,
                             {}},
                            {"Mst01",
                             1,
                             1,
                             state == CVerification::State::Equal,
                             state != CVerification::State::NotRun,
                             0,
                             0,
                             {}}};
    return verification;
}

CRunOutcome Completed(std::shared_ptr<const CVerification> verification) {
    CRunOutcome outcome;
    outcome.verification = std::move(verification);
    return outcome;
}

// A run that failed after its commit because its target does not hold what it sent: the rows
// stay.
CRunOutcome Differs(std::exception_ptr error, std::shared_ptr<const CVerification> verification) {
    CRunOutcome outcome;
    outcome.status = CRunOutcome::Status::Failed;
    outcome.differs = true;
    outcome.error = std::move(error);
    outcome.verification = std::move(verification);
    return outcome;
}

// FinishRun on outcome, after a console that saw the two tables copied whole.
CEnded Finish(const CRunOutcome& outcome, bool verify, int signal = 0) {
    CConsoleRun console(stdout, nullptr);
    for (const CTableProgress& table :
         {CTableProgress{"KEN_ALL", 1000, 1000}, CTableProgress{"Mst01", 1, 1}}) {
        console.OnTableStart({table.table, table.total, 0});
        console.OnTableEnd(table);
    }
    CRunEnd end;
    end.outcome = outcome;
    end.signal = signal;
    end.verify = verify;
    const testsupport::TempDirectory dir("brimlow-run-end");
    CEnded ended;
    testing::internal::CaptureStderr();
    ended.status = FinishRun(end, console, (dir / "summary.json").string());
    ended.err = testing::internal::GetCapturedStderr();
    std::ifstream in(dir / "summary.json");
    ended.summary.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return ended;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

// Equal, and not run (with its reason), complete the run: exit 0, a line on stderr that says
// which; without --verify, none of it.
TEST(RunEndVerify, AnEqualOrUnverifiedCopyCompletesAndSaysWhich) {
    CEnded ended = Finish(Completed(Found(CVerification::State::Equal)), true);
    EXPECT_EQ(0, ended.status);
    EXPECT_EQ(
        "brimlow-migrate: verified: the target holds every value of the 1,001 rows as it "
        "was sent.\n",
        ended.err);
    EXPECT_TRUE(Has(ended.summary,
                    "{\"status\": \"completed\", \"tables\": [{\"table\": "
                    "\"KEN_ALL\", \"total\": 1000, \"inserted\": 1000, "))
        << ended.summary;
    EXPECT_TRUE(Has(ended.summary, "\"verified\": true}], \"verification\": \"equal\"}"))
        << ended.summary;

    ended = Finish(
        Completed(Found(CVerification::State::NotRun, "KEN_ALL held rows before the run.")), true);
    EXPECT_EQ(0, ended.status);
    EXPECT_EQ(
        "brimlow-migrate: note: the copy was not verified: KEN_ALL held rows before the "
        "run.\n",
        ended.err);
    EXPECT_TRUE(Has(ended.summary,
                    "\"verified\": false}], \"verification\": \"not run\", "
                    "\"verification_reason\": \"KEN_ALL held rows before the "
                    "run.\"}"))
        << ended.summary;

    ended = Finish(Completed(nullptr), false);
    EXPECT_EQ(0, ended.status);
    EXPECT_EQ("", ended.err);
    EXPECT_FALSE(Has(ended.summary, "verifi")) << ended.summary;
}

// A copy whose values differ fails with status "differs" and says what differs, then what to
// do; one whose counts differ keeps "count"; a run that ended before the read-back was not
// verified.
TEST(RunEndVerify, ADifferingCopyFailsAndSaysWhatToDo) {
    auto found = Found(CVerification::State::Differs);
    found->differencesFile = "/tmp/brimlow-differences.txt";
    CEnded ended = Finish(Differs(std::make_exception_ptr(CCopyDiffers(
                                      "Mst01 row 1 with Col02 'A003': Col09 source 'abcd\\' "
                                      "target 'abcd'")),
                                  found),
                          true);
    EXPECT_EQ(1, ended.status);
    EXPECT_EQ(0u, ended.err.find("Mst01 row 1 with Col02 'A003': Col09 source 'abcd\\' target "
                                 "'abcd'\nbrimlow-migrate: every row was committed and the data "
                                 "stays in the target"))
        << ended.err;
    EXPECT_TRUE(Has(ended.err, "then run again with --replace.\n")) << ended.err;
    EXPECT_EQ(0u, ended.summary.find("{\"status\": \"differs\", \"error\": \"Mst01 row 1"))
        << ended.summary;
    EXPECT_TRUE(Has(ended.summary,
                    "\"verified\": false}], \"differs\": \"values\", "
                    "\"verification\": \"differs\", \"differences_file\": "
                    "\"/tmp/brimlow-differences.txt\""))
        << ended.summary;

    ended = Finish(Differs(std::make_exception_ptr(CCountDiffers({{"KEN_ALL", 0, 1000, 999}})),
                           Found(CVerification::State::Differs)),
                   true);
    EXPECT_EQ(1, ended.status);
    EXPECT_FALSE(Has(ended.err, "--replace")) << ended.err;
    EXPECT_TRUE(Has(ended.summary, "\"differs\": \"count\", \"verification\": \"differs\""))
        << ended.summary;

    CRunOutcome failed =
        CRunOutcome::Of(std::make_exception_ptr(CDBException("refused")), nullptr, false);
    ended = Finish(failed, true);
    EXPECT_EQ(1, ended.status);
    EXPECT_TRUE(Has(ended.summary,
                    "\"verification\": \"not run\", \"verification_reason\": "
                    "\"The run ended before its tables were read back.\""))
        << ended.summary;
}

// Ctrl+C during the read-back stops the verification of a completed run: the rows stay, the
// summary says "completed" and not run, and the status is the stop's, in every language.
TEST(RunEndVerify, AStopDuringTheVerificationIsAStopOfACompletedRun) {
    const CRunOutcome stopped =
        Completed(Found(CVerification::State::Stopped, "The verification was stopped."));
    CEnded ended = Finish(stopped, true, SIGINT);
    EXPECT_EQ(128 + SIGINT, ended.status);
    EXPECT_EQ(
        "brimlow-migrate: stopped by SIGINT during the verification; every row was "
        "committed and stays in the target, but the copy was not verified.\n",
        ended.err);
    EXPECT_EQ(0u, ended.summary.find("{\"status\": \"completed\", \"tables\": ")) << ended.summary;
    EXPECT_TRUE(Has(ended.summary,
                    "\"verification\": \"not run\", \"verification_reason\": "
                    "\"The verification was stopped.\""))
        << ended.summary;

    const std::string before = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "ja_JP.UTF-8") == nullptr) {
        GTEST_SKIP() << "the locale ja_JP.UTF-8 is not generated (scripts/install-deps)";
    }
    BindMessageCatalogue(BRIMLOW_BINARY_DIR "/locale");
    ended = Finish(stopped, true, SIGINT);
    std::setlocale(LC_ALL, before.c_str());
    EXPECT_EQ(128 + SIGINT, ended.status);
    EXPECT_EQ(
        "brimlow-migrate: 検証中に SIGINT で中止しました。すべての行はコミット済みで移行先に"
        "残っていますが、コピーは検証していません。\n",
        ended.err);
}
