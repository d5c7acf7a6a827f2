#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "dbaccess/Exceptions.h"
#include "dbaccess/SourceMessage.h"
#include "dbaccess/Translate.h"

namespace {

constexpr const char* kMissingTable = "The table '%1' does not exist in the database '%2'.";
constexpr const char* kCatalogue =
    "The database '%1' is damaged: its table catalogue cannot be read.";

CDaoMessage Damaged(const std::string& path, const std::string& said) {
    CDaoMessage message = CDaoMessage::Format(kCatalogue, {SourceFile(path)});
    message.AddLibraryDetail(said);
    return message;
}

// The build's Japanese catalogue in a Japanese locale, for the scope of a test.
class CJapanese {
public:
    CJapanese() : m_before(std::setlocale(LC_ALL, nullptr)) {
        m_ok = std::setlocale(LC_ALL, "ja_JP.UTF-8") != nullptr;
        BindMessageCatalogue(BRIMLOW_BINARY_DIR "/locale");
    }
    ~CJapanese() { std::setlocale(LC_ALL, m_before.c_str()); }
    bool Ok() const { return m_ok; }

private:
    std::string m_before;
    bool m_ok = false;
};

TEST(Translate, TemplatesGiveTheEnglishTextAndComeBackAsTheirId) {
    const CDaoMessage message =
        CDaoMessage::Format(kMissingTable, {SourceTable("Mst03"), SourceFile("/d/a.mdb")});
    EXPECT_EQ(message.Text(), "The table 'Mst03' does not exist in the database '/d/a.mdb'.");
    EXPECT_EQ(message.Template(), kMissingTable);
    EXPECT_EQ(Damaged("/d/a.mdb", "offset 8192 is beyond EOF").Text(),
              "The database '/d/a.mdb' is damaged: its table catalogue cannot be read "
              "(libmdb: offset 8192 is beyond EOF).");
    EXPECT_EQ(Damaged("/d/a.mdb", "x").Template(), kCatalogue);
    EXPECT_EQ(CDaoMessage::Format("100%% of '%1'", {SourceFile("f")}).Template(), "100%% of '%1'");
    EXPECT_EQ(FormatMessage("%2 then %1, 50%%, %x", {"a", "b"}), "b then a, 50%, %x");
}

TEST(Translate, UnderCTheTextsStayEnglish) {
    EXPECT_STREQ(Tr("No database file was given."), "No database file was given.");
    EXPECT_EQ(CDaoException(SourceFailureKind::Damaged, Damaged("/d/a.mdb", "")).GetErrorMessage(),
              "The database '/d/a.mdb' is damaged: its table catalogue cannot be read.");
}

TEST(Translate, JapaneseKeepsThePartsAndPutsLibraryDetailAfterTheSentence) {
    const CJapanese japanese;
    if (!japanese.Ok()) {
        GTEST_SKIP() << "the locale ja_JP.UTF-8 is not generated (scripts/install-deps)";
    }
    const CDaoException missing(
        SourceFailureKind::MissingTable,
        CDaoMessage::Format(kMissingTable, {SourceTable("Mst03"), SourceFile("/d/a.mdb")}));
    EXPECT_EQ(missing.GetErrorMessage().rfind(
                  "データベース「/d/a.mdb」にテーブル「Mst03」がありません。", 0),
              0u)
        << missing.GetErrorMessage();
    EXPECT_EQ(missing.GetPart(SourcePart::Table), "Mst03");

    const std::string damaged =
        CDaoException(SourceFailureKind::Damaged, Damaged("/d/a.mdb", "offset 8192 is beyond EOF"))
            .GetErrorMessage();
    EXPECT_NE(damaged.find("最適化/修復"), std::string::npos) << damaged;
    EXPECT_TRUE(damaged.ends_with("。 (libmdb: offset 8192 is beyond EOF)")) << damaged;

    // Three bytes a character: the cut shortens the library's detail, never the sentence.
    const std::string path = "/srv/" + std::string(60, 'd') + "/住所データ.mdb";
    const std::string fitted =
        CDaoException(SourceFailureKind::Damaged, Damaged(path, std::string(600, 'x')))
            .GetErrorMessage();
    EXPECT_LE(fitted.size(), kMaxSourceMessageBytes);
    EXPECT_NE(fitted.find("もう一度移行してください。"), std::string::npos) << fitted;
    EXPECT_NE(fitted.find("xxx..."), std::string::npos) << fitted;

    EXPECT_EQ(
        TrFormat("Target tried: %1.\n", {"DSN Pomvale01", "DSN Pomvale01 (server db1)"})
            .rfind("移行先のデータベース（DSN Pomvale01 (server db1)）に接続できませんでした。", 0),
        0u);

    // A message without text stays without one (the empty id is the catalogue's header).
    EXPECT_EQ(CDaoException(SourceFailureKind::CannotOpen, "").GetErrorMessage(), "");
}

}  // namespace
