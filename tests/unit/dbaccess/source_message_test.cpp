#include <gtest/gtest.h>

#include <string>

#include "dbaccess/Exceptions.h"
#include "dbaccess/SourceMessage.h"

namespace {

bool IsWholeUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        if (i + n > text.size()) {
            return false;
        }
        for (size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += n;
    }
    return true;
}

const std::string kPath = "/srv/share/" + std::string(450, 'd') + "/住所データ.mdb";

// The damaged-memo sentence of the source reader, naming its parts.
CDaoMessage MemoSentence(const std::string& path, const std::string& said) {
    return CDaoMessage() << "The database '" << SourceFile(path) << "' is damaged: in the table '"
                         << SourceTable("郵便番号") << "', row " << SourceRow(12) << ", column '"
                         << SourceColumn("町域名")
                         << "': a memo points to page 9 row 0, which does not exist"
                         << LibraryDetail(said) << ".";
}

TEST(SourceMessage, AShortMessageStaysAsItIs) {
    EXPECT_EQ(CDaoMessage("The table 'X' does not exist.").Fitted(),
              "The table 'X' does not exist.");
}

TEST(SourceMessage, ShowsItsPartsInPlaceAndKeepsThem) {
    const CDaoException e(SourceFailureKind::Damaged,
                          MemoSentence("/a.mdb", "offset 8192 is beyond EOF"));
    EXPECT_EQ(e.GetErrorMessage(),
              "The database '/a.mdb' is damaged: in the table '郵便番号', row 12, column '町域名': "
              "a memo points to page 9 row 0, which does not exist (libmdb: offset 8192 is "
              "beyond EOF).");
    EXPECT_EQ(e.GetPart(SourcePart::File), "/a.mdb");
    EXPECT_EQ(e.GetPart(SourcePart::Table), "郵便番号");
    EXPECT_EQ(e.GetPart(SourcePart::Column), "町域名");
    EXPECT_EQ(e.GetPart(SourcePart::Row), "12");
    EXPECT_EQ(e.GetPart(SourcePart::LibraryDetail), "offset 8192 is beyond EOF");
    EXPECT_EQ(MemoSentence("/a.mdb", "").Text().find("libmdb"), std::string::npos);
}

TEST(SourceMessage, TheLibraryDetailGoesFirstThenTheMiddleOfThePath) {
    const std::string fitted = MemoSentence(kPath, std::string(400, 'w')).Fitted();
    EXPECT_LE(fitted.size(), kMaxSourceMessageBytes);
    EXPECT_TRUE(IsWholeUtf8(fitted));
    EXPECT_NE(fitted.find("row 12, column '町域名': a memo points to page 9 row 0"),
              std::string::npos)
        << fitted;
    EXPECT_NE(fitted.find("'/srv/share/"), std::string::npos) << fitted;
    EXPECT_NE(fitted.find("/住所データ.mdb'"), std::string::npos) << fitted;
    EXPECT_EQ(fitted.find("libmdb"), std::string::npos) << fitted;
    EXPECT_EQ(fitted.substr(fitted.size() - 6), "exist.");
}

TEST(SourceMessage, ALongDetailIsShortenedWhenThatSuffices) {
    const std::string fitted = MemoSentence("/a.mdb", std::string(600, 'w')).Fitted();
    EXPECT_LE(fitted.size(), kMaxSourceMessageBytes);
    EXPECT_NE(fitted.find("(libmdb: www"), std::string::npos);
    EXPECT_EQ(fitted.substr(fitted.size() - 6), "w...).");
}

// The path is known as a part: one without "/" is shortened like any other, and a quote or
// " (libmdb: " in a name is only text.
TEST(SourceMessage, ThePathIsShortenedByWhatItIsNotByHowItLooks) {
    const std::string path = "C:" + std::string(600, 'd') + ".mdb";
    const std::string fitted = MemoSentence(path, "").Fitted();
    EXPECT_LE(fitted.size(), kMaxSourceMessageBytes);
    EXPECT_EQ(fitted.substr(0, 20), "The database 'C:dddd");
    EXPECT_NE(fitted.find("d...d"), std::string::npos) << fitted;
    EXPECT_NE(fitted.find("dd.mdb' is damaged"), std::string::npos) << fitted;
    EXPECT_EQ(fitted.substr(fitted.size() - 6), "exist.");

    const std::string odd = "o'brien (libmdb: x)";
    const std::string named =
        (CDaoMessage() << "The table '" << SourceTable(odd) << "' in '" << SourceFile(kPath) << "'"
                       << LibraryDetail(std::string(100, 'w')) << ".")
            .Fitted();
    EXPECT_NE(named.find("The table '" + odd + "' in '/srv/share/"), std::string::npos) << named;
    EXPECT_EQ(named.find("www"), std::string::npos) << named;
}

TEST(SourceMessage, EverySourceErrorIsFitted) {
    const CDaoException e(SourceFailureKind::Damaged,
                          std::string(300, 'x') + std::string(200, 'y') + "あいう");
    EXPECT_LE(e.GetErrorMessage().size(), kMaxSourceMessageBytes);
    EXPECT_TRUE(IsWholeUtf8(e.GetErrorMessage()));
}

TEST(SourceMessage, AddedLibraryDetailGoesBeforeTheFullStop) {
    CDaoMessage stop("It is damaged.");
    stop.AddLibraryDetail("offset 8192 is beyond EOF");
    EXPECT_EQ(stop.Text(), "It is damaged (libmdb: offset 8192 is beyond EOF).");
    CDaoMessage noStop("no stop");
    noStop.AddLibraryDetail("said");
    EXPECT_EQ(noStop.Text(), "no stop (libmdb: said)");
    CDaoMessage nothing("It is damaged.");
    nothing.AddLibraryDetail("");
    EXPECT_EQ(nothing.Text(), "It is damaged.");
}

}  // namespace
