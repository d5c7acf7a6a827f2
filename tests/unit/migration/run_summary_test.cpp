#include "migration/RunSummary.h"

#include <gtest/gtest.h>

#include <memory>

#include "migration/CountText.h"

namespace {

TEST(CountText, GroupsThreeDigitsWithCommas) {
    EXPECT_EQ("0", GroupThousands(0));
    EXPECT_EQ("999", GroupThousands(999));
    EXPECT_EQ("1,000", GroupThousands(1000));
    EXPECT_EQ("126,029", GroupThousands(126029));
    EXPECT_EQ("1,234,567", GroupThousands(1234567));
}

TEST(RunSummary, JsonStringsAreEscapedAndStayUtf8) {
    EXPECT_EQ(R"("a\"b\\c\nd\re\tf\u0001\u007f")", JsonString("a\"b\\c\nd\re\tf\x01\x7f"));
    EXPECT_EQ("\"値が長すぎます\"", JsonString("値が長すぎます"));
    // A driver text in another encoding (Shift_JIS) must not make the file unreadable.
    EXPECT_EQ(R"("\ufffdl/\ufffd")", JsonString("\x92\x6c/\xC3"));
}

TEST(RunSummary, ListsTheTablesStartedWithWhatTheyHold) {
    CRunSummary summary;
    const std::string error = "x";
    EXPECT_EQ("{\"status\": \"failed\", \"error\": \"x\", \"tables\": []}\n",
              summary.ToJson("failed", &error));
    // A run whose target tables hold other than it accounts for says what differs.
    EXPECT_EQ(
        "{\"status\": \"differs\", \"error\": \"x\", \"tables\": [], \"differs\": "
        "\"count\"}\n",
        summary.ToJson("differs", &error));

    summary.TableStarted({"KEN_ALL", 3, 0});
    summary.TableAt({"KEN_ALL", 3, 3});
    summary.TableStarted({"Mst01", 2, 0});
    summary.TableAt({"Mst01", 3, 3});  // a stale count: the total grew with the rows read
    summary.RowCountDiffers({"Mst01", 3, 3}, 2);
    summary.TableStarted({"KEN_ALL_Version", 1, 0});
    const std::string json = summary.ToJson("stopped", nullptr);
    EXPECT_EQ(0u, json.find("{\"status\": \"stopped\", \"tables\": [{\"table\": \"KEN_ALL\", "
                            "\"total\": 3, \"inserted\": 3, \"seconds\": 0.0"))
        << json;
    EXPECT_NE(std::string::npos,
              json.find("{\"table\": \"Mst01\", \"total\": 3, \"declared\": 2, \"inserted\": 3, "))
        << json;
    EXPECT_NE(std::string::npos, json.find("}, {\"table\": \"KEN_ALL_Version\", \"total\": 1, "
                                           "\"inserted\": 0, \"seconds\": 0.000}]}\n"))
        << json;
}

// With a verification, each table says whether it was verified, and the summary what the
// verification found, why it was not run, and where the differing rows went; a copy whose
// values differ says so apart from one whose counts differ. Without one, none of these keys.
TEST(RunSummary, AVerificationAddsItsKeysAndOnlyThen) {
    CRunSummary summary;
    summary.TableStarted({"KEN_ALL", 3, 3});
    summary.TableStarted({"Mst01", 2, 2});
    EXPECT_EQ(std::string::npos, summary.ToJson("completed", nullptr).find("verifi"));

    auto verification = std::make_shared<CVerification>();
    verification->state = CVerification::State::Differs;
    verification->tables = {{"KEN_ALL", 3, 3, true, true, 0, 0, {}},
                            {"Mst01", 2, 2, false, true, 1, 1, {}}};
    verification->differencesFile = "/tmp/differences \"1\".txt";
    summary.SetVerification(verification);
    summary.SetDiffers("values");
    const std::string error = "differs";
    std::string json = summary.ToJson("differs", &error);
    EXPECT_NE(std::string::npos, json.find("\"table\": \"KEN_ALL\", \"total\": 3, \"inserted\": 3, "
                                           "\"seconds\": 0.0"))
        << json;
    EXPECT_NE(std::string::npos, json.find(", \"verified\": true}, {\"table\": \"Mst01\"")) << json;
    EXPECT_NE(std::string::npos,
              json.find(", \"verified\": false}], \"differs\": \"values\", \"verification\": "
                        "\"differs\", \"differences_file\": \"/tmp/differences \\\"1\\\".txt\"}\n"))
        << json;
    EXPECT_EQ(std::string::npos, json.find("verification_reason")) << json;

    // Not run, and stopped (which was not run to its end): the reason; a table not read back
    // at all is not verified.
    for (const auto state : {CVerification::State::NotRun, CVerification::State::Stopped}) {
        auto notRun = std::make_shared<CVerification>();
        notRun->state = state;
        notRun->reason = "Mst01 held rows before the run.";
        summary.SetVerification(notRun);
        json = summary.ToJson("completed", nullptr);
        EXPECT_NE(std::string::npos,
                  json.find("\"verified\": false}], \"verification\": \"not run\", "
                            "\"verification_reason\": \"Mst01 held rows before the run.\"}"))
            << json;
        EXPECT_EQ(std::string::npos, json.find("\"verified\": true")) << json;
    }
}

// A replacing run says how its rows went in, after the target; other runs say nothing.
TEST(RunSummary, TellsTheLoadPathWhenGiven) {
    CRunSummary summary;
    summary.SetTarget("t");
    EXPECT_EQ("{\"status\": \"completed\", \"tables\": [], \"target\": \"t\"}\n",
              summary.ToJson("completed", nullptr));
    summary.SetBulk("copy");
    EXPECT_EQ(
        "{\"status\": \"completed\", \"tables\": [], \"target\": \"t\", \"bulk\": \"copy\"}\n",
        summary.ToJson("completed", nullptr));
}

}  // namespace
