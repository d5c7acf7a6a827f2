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
const std::string kSentence = "The database '" + kPath +
                              "' is damaged: in the table '郵便番号', row 12, column '町域名': a "
                              "memo points to page 9 row 0, which does not exist";

TEST(SourceMessage, AShortMessageStaysAsItIs) {
    EXPECT_EQ(FitSourceMessage("The table 'X' does not exist."), "The table 'X' does not exist.");
}

TEST(SourceMessage, TheLibraryDetailGoesFirstThenTheMiddleOfThePath) {
    const std::string detail = " (libmdb: " + std::string(400, 'w') + ").";
    const std::string fitted = FitSourceMessage(kSentence + detail);
    EXPECT_LE(fitted.size(), kMaxSourceMessageBytes);
    EXPECT_TRUE(IsWholeUtf8(fitted));
    EXPECT_NE(fitted.find("row 12, column '町域名': a memo points to page 9 row 0"),
              std::string::npos)
        << fitted;
    EXPECT_NE(fitted.find("/srv/share/"), std::string::npos) << fitted;
    EXPECT_NE(fitted.find("/住所データ.mdb'"), std::string::npos) << fitted;
    EXPECT_EQ(fitted.find("libmdb"), std::string::npos) << fitted;
}

TEST(SourceMessage, ALongDetailIsShortenedWhenThatSuffices) {
    const std::string fitted = FitSourceMessage(
        "The database '/a.mdb' is damaged: x (libmdb: " + std::string(600, 'w') + ").");
    EXPECT_LE(fitted.size(), kMaxSourceMessageBytes);
    EXPECT_NE(fitted.find("(libmdb: www"), std::string::npos);
    EXPECT_EQ(fitted.substr(fitted.size() - 6), "w...).");
}

TEST(SourceMessage, EverySourceErrorIsFitted) {
    const CDaoException e(std::string(300, 'x') + std::string(200, 'y') + "あいう");
    EXPECT_LE(e.GetErrorMessage().size(), kMaxSourceMessageBytes);
    EXPECT_TRUE(IsWholeUtf8(e.GetErrorMessage()));
}

}  // namespace
