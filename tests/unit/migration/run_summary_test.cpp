#include "migration/RunSummary.h"

#include <gtest/gtest.h>

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
