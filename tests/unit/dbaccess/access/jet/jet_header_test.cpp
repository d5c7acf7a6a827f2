#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "dbaccess/access/jet/JetFormatError.h"
#include "dbaccess/access/jet/JetHeader.h"
#include "tests/support/Paths.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes FirstPage(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    Bytes bytes(4096);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

const std::vector<uint8_t> kHeaderKey = {0xC7, 0xDA, 0x39, 0x6B};

// Masks (or unmasks) the header part that Access hides under the RC4 keystream.
void ToggleHeaderMask(Bytes& page, size_t length) {
    const auto stream = Rc4Keystream(kHeaderKey, length);
    for (size_t i = 0; i < length; ++i) {
        page[0x18 + i] ^= stream[i];
    }
}

// A Jet 4 header with the given creation date and password, written the way Access does.
Bytes Jet4Header(double creationDate, const std::u16string& password) {
    Bytes page(4096, 0);
    std::memcpy(page.data() + 4, "Standard Jet DB", 15);
    page[0x14] = 1;
    std::memcpy(page.data() + 0x72, &creationDate, 8);
    const auto mask = static_cast<uint32_t>(static_cast<int32_t>(creationDate));
    for (size_t i = 0; i < 40; ++i) {
        const char16_t unit = i / 2 < password.size() ? password[i / 2] : 0;
        const auto byte = static_cast<uint8_t>(i % 2 ? unit >> 8 : unit & 0xFF);
        page[0x42 + i] = byte ^ static_cast<uint8_t>(mask >> (8 * (i % 4)));
    }
    ToggleHeaderMask(page, 128);
    return page;
}

TEST(SourceHeader, TheMaskIsTheRc4KeystreamOfTheFixedKey) {
    // The first and last 8 bytes of the 128-byte mask as documented for Jet 4 files.
    const auto stream = Rc4Keystream(kHeaderKey, 128);
    const Bytes head(stream.begin(), stream.begin() + 8);
    const Bytes tail(stream.end() - 8, stream.end());
    EXPECT_EQ(head, (Bytes{0xb5, 0x6f, 0x03, 0x62, 0x61, 0x08, 0xc2, 0x55}));
    EXPECT_EQ(tail, (Bytes{0x78, 0x16, 0x0c, 0xed, 0xe9, 0x2d, 0x62, 0xd4}));
}

struct FixtureCase {
    const char* file;
    JetVersion version;
    const char* password;
    int codePage = 0;
};

void PrintTo(const FixtureCase& c, std::ostream* os) {
    *os << c.file;
}

class SourceHeaderOfFixture : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(SourceHeaderOfFixture, GivesVersionAndPassword) {
    auto path = testpaths::Data(GetParam().file);
    const std::string file = GetParam().file;
    if (file.rfind("jet3/", 0) == 0 || file.rfind("real/", 0) == 0) {
        path = testpaths::SharedFixtures(file);
        if (!std::filesystem::exists(path)) {
            GTEST_SKIP() << testpaths::MissingSharedFixture(file.substr(0, 4));
        }
    }
    const CJetHeader header = ParseJetHeader(FirstPage(path));
    EXPECT_EQ(header.version, GetParam().version);
    EXPECT_EQ(header.password, GetParam().password);
    EXPECT_EQ(header.codePage, GetParam().codePage);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SourceHeaderOfFixture,
    ::testing::Values(FixtureCase{"sample.mdb", JetVersion::Jet4, "wuzo"},
                      FixtureCase{"nopassword.mdb", JetVersion::Jet4, ""},
                      FixtureCase{"wrongpassword.mdb", JetVersion::Jet4, "abcd"},
                      FixtureCase{"jet3/access97-cp932.mdb", JetVersion::Jet3, "", 932},
                      FixtureCase{"jet3/access97-cp932-wuzo.mdb", JetVersion::Jet3, "wuzo", 932},
                      FixtureCase{"jet3/access97-cp932-abcd.mdb", JetVersion::Jet3, "abcd", 932},
                      FixtureCase{"real/jackcess__V1997_testV1997.mdb", JetVersion::Jet3, "",
                                  1252}),
    [](const auto& info) {
        std::string name = info.param.file;
        std::erase_if(name, [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); });
        return name;
    });

TEST(SourceHeader, TheFixturesCreationDateIsRead) {
    const CJetHeader header = ParseJetHeader(FirstPage(testpaths::Data("sample.mdb")));
    EXPECT_DOUBLE_EQ(header.creationDate, 44867.45013888889);
}

struct DateCase {
    const char* name;
    double creationDate;
    std::u16string password;
    std::string expected;
};

void PrintTo(const DateCase& c, std::ostream* os) {
    *os << c.name;
}

class SourceHeaderPasswordMask : public ::testing::TestWithParam<DateCase> {};

TEST_P(SourceHeaderPasswordMask, FollowsEachFilesCreationDate) {
    const CJetHeader header =
        ParseJetHeader(Jet4Header(GetParam().creationDate, GetParam().password));
    EXPECT_EQ(header.password, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Dates, SourceHeaderPasswordMask,
    ::testing::Values(DateCase{"SharedFixturesDate", 44867.45013888889, u"wuzo", "wuzo"},
                      DateCase{"Year2003", 37700.25, u"wuzo", "wuzo"},
                      DateCase{"BeforeThe1899Epoch", -18260.5, u"wuzo", "wuzo"},
                      DateCase{"DateZero", 0.0, u"abcd", "abcd"},
                      DateCase{"JapanesePassword", 40000.0, u"秘密", "秘密"},
                      DateCase{"TwentyCharacters", 41000.0, u"abcdefghijklmnopqrst",
                               "abcdefghijklmnopqrst"},
                      DateCase{"NoPassword", 39000.0, u"", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SourceHeader, AnImpossibleCreationDateStillGivesAMask) {
    for (double date : {1e300, -1e300, std::nan("")}) {
        Bytes page = Jet4Header(0.0, u"");
        ToggleHeaderMask(page, 128);
        std::memcpy(page.data() + 0x72, &date, 8);
        ToggleHeaderMask(page, 128);
        EXPECT_NO_THROW(ParseJetHeader(page)) << date;
    }
}

std::string ErrorOf(const Bytes& bytes) {
    try {
        ParseJetHeader(bytes);
    } catch (const CJetFormatError& e) {
        return e.what();
    }
    return "no error";
}

TEST(SourceHeader, RefusesWhatIsNotAJetFile) {
    Bytes page = Jet4Header(0.0, u"");
    EXPECT_EQ(ErrorOf({}), "it has no \"Standard Jet DB\" signature");
    EXPECT_EQ(ErrorOf(Bytes(4096, 0)), "it has no \"Standard Jet DB\" signature");
    EXPECT_EQ(ErrorOf(Bytes(page.begin(), page.begin() + 0x20)), "its header is cut short");
    page[0x14] = 3;
    EXPECT_EQ(ErrorOf(page), "its format version 3 is not Access 97 or Access 2000-2003");
    std::memcpy(page.data() + 4, "Standard ACE DB", 15);
    EXPECT_EQ(ErrorOf(page), "no error");  // 3 is Access 2010
    page[0x14] = 7;
    EXPECT_EQ(ErrorOf(page), "its format version 7 is not one of Access 2007 to Access 2019");
}

// An .accdb: Access 2000 rows and no password to check, even where the Jet 4 password would
// lie; a key at 0x3E means a password encrypts it, in the way the block at 0x299 describes.
// Every kind but the agile one is refused by its name.
TEST(SourceHeader, AnAccdbReadsAsJet4AndItsEncryptionIsNamed) {
    Bytes page = Jet4Header(37000.0, u"wuzo");
    std::memcpy(page.data() + 4, "Standard ACE DB", 15);
    for (uint8_t version : {2, 6}) {
        page[0x14] = version;
        const CJetHeader header = ParseJetHeader(page);
        EXPECT_TRUE(header.accdb);
        EXPECT_FALSE(header.encrypted);
        EXPECT_EQ(header.version, JetVersion::Jet4);
        EXPECT_EQ(header.password, "");
    }
    ToggleHeaderMask(page, 128);
    page[0x40] = 1;
    ToggleHeaderMask(page, 128);
    // A key without a description of the encryption: the header is damaged.
    EXPECT_EQ(ErrorOf(page), "its encryption description is cut short");
    EXPECT_EQ(ErrorOf(Bytes(page.begin(), page.begin() + 0x200)),
              "the description of its encryption is cut short");
    struct Kind {
        uint16_t major, minor;
        uint32_t flags;
        const char* named;
    };
    for (const Kind& kind :
         {Kind{4, 2, 0x24, "ECMA-376 Standard encryption (AES)"},
          Kind{3, 2, 0x04, "RC4 CryptoAPI encryption"},
          Kind{2, 2, 0x04, "RC4 CryptoAPI encryption"}, Kind{4, 3, 0x04, "extensible encryption"},
          Kind{1, 1, 0, "RC4 encryption"}, Kind{5, 0, 0, "encryption of version 5.0"}}) {
        const uint8_t info[] = {12,
                                0,
                                static_cast<uint8_t>(kind.major),
                                0,
                                static_cast<uint8_t>(kind.minor),
                                0,
                                static_cast<uint8_t>(kind.flags),
                                0,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0};
        std::memcpy(page.data() + 0x299, info, sizeof info);
        EXPECT_THROW(ParseJetHeader(page), CEncryptedDatabaseError) << kind.named;
        EXPECT_EQ(ErrorOf(page), kind.named);
    }
}

// Both encrypted files of the shared fixtures are of the agile kind; plain files of each
// format carry no key.
TEST(SourceHeader, RealAccdbFilesAreToldApartByTheirKey) {
    const auto folder = testpaths::SharedFixtures("real-accdb");
    if (!std::filesystem::exists(folder)) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("real-accdb");
    }
    for (const char* name : {"jackcessencrypt__db2007-enc", "jackcessencrypt__db2013-enc"}) {
        const auto path = folder / "encrypted" / (std::string(name) + ".accdb");
        const CJetHeader header = ParseJetHeader(FirstPage(path));
        EXPECT_TRUE(header.encrypted) << name;
        EXPECT_NE(header.encodingKey, 0u) << name;
        EXPECT_GT(header.encryptionInfo.size(), 100u) << name;
    }
    for (const char* name : {"jackcess__V2007_testV2007", "jackcess__V2010_testV2010",
                             "jackcess__main_resources_com_healthmarketscience_jackcess_empty2016",
                             "jackcess__V2019_extDateTestV2019"}) {
        const CJetHeader header =
            ParseJetHeader(FirstPage(folder / (std::string(name) + ".accdb")));
        EXPECT_TRUE(header.accdb) << name;
        EXPECT_FALSE(header.encrypted) << name;
        EXPECT_EQ(header.password, "") << name;
    }
}

}  // namespace
