// What a refused run is told of the run that holds its target.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "dbaccess/Translate.h"
#include "migration/target/RunLock.h"

namespace {

const std::string kHolder = "brimlow replace kaori@desk7 pid 4242\t2026-12-10T14:02:00+09:00";
const std::string kTarget = "DSN Pomvale01 (driver FreeTDS, server sv01, database postal)";

TEST(RunLockRefusal, NamesTheHolderAndTheTargetInTheUsersLanguage) {
    EXPECT_EQ(RunLockRefusal(kHolder, kTarget),
              "Another Brimlow run (replace by kaori@desk7, pid 4242, since "
              "2026-12-10T14:02:00+09:00) is writing to this target (" +
                  kTarget + "); nothing was sent. Start again once it has finished.\n");

    const std::string before = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "ja_JP.UTF-8") == nullptr) {
        GTEST_SKIP() << "the locale ja_JP.UTF-8 is not generated (scripts/install-deps)";
    }
    BindMessageCatalogue(BRIMLOW_BINARY_DIR "/locale");
    const std::string held = RunLockRefusal(kHolder, kTarget);
    const std::string unknown = RunLockRefusal("", kTarget);
    const std::string otherVersion =
        RunLockRefusal("brimlow merge kaori@desk7 pid 4242\t-", kTarget);
    std::setlocale(LC_ALL, before.c_str());
    EXPECT_EQ(
        held,
        "別の Brimlow の移行（kaori@desk7 による置き換え、pid 4242、"
        "2026-12-10T14:02:00+09:00 から）がこの移行先（Pomvale01（サーバー sv01、データベース "
        "postal））に書き込み中です。何も送信していません。その移行が終わってから、もう一度"
        "実行してください。\n");
    EXPECT_EQ(unknown.rfind("別の Brimlow の移行がこの移行先（Pomvale01（サーバー sv01、", 0), 0u)
        << unknown;
    // A mode this version does not know is shown as the other run wrote it.
    EXPECT_NE(otherVersion.find("kaori@desk7 によるmerge、"), std::string::npos) << otherVersion;
}

}  // namespace
