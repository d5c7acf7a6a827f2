// The decryption of Access 2007+ files protected by a database password, on the two encrypted
// files of the shared fixtures: AES-128 with SHA-1 (db2007-enc, password Test123) and AES-256
// with SHA-512 (db2013-enc, password 1234).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "dbaccess/access/jet/JetBytes.h"
#include "dbaccess/access/jet/JetHeader.h"
#include "dbaccess/access/jet/PageEncryption.h"
#include "tests/support/Paths.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::optional<Bytes> Encrypted(const std::string& name) {
    const auto path = testpaths::SharedFixtures("real-accdb") / "encrypted" / (name + ".accdb");
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}

// What the first page says about the encryption.
CJetHeader Header(const Bytes& file) {
    return ParseJetHeader(std::span<const uint8_t>(file.data(), kJetFirstPageSize));
}

// The encryption info with one text of its descriptor replaced by another of the same length.
Bytes InfoWith(const Bytes& info, const std::string& from, const std::string& to) {
    std::string text(info.begin(), info.end());
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    return Bytes(text.begin(), text.end());
}

std::string RefusalOf(const Bytes& info) {
    try {
        (void)ParseAgileDescriptor(info);
    } catch (const CEncryptedDatabaseError& e) {
        return e.what();
    }
    return "not refused";
}

// The verifier tells the password; the program's own password does not open a file made
// with another.
TEST(SourcePageEncryption, TheVerifierTellsTheRightPasswordFromAWrongOne) {
    for (const auto& [name, password, cipher, hash] :
         {std::tuple<std::string, std::string, uint32_t, std::string>{"jackcessencrypt__db2007-enc",
                                                                      "Test123", 128, "SHA1"},
          {"jackcessencrypt__db2013-enc", "1234", 256, "SHA512"}}) {
        const auto file = Encrypted(name);
        if (!file) {
            GTEST_SKIP() << testpaths::MissingSharedFixture("real-accdb/encrypted");
        }
        const CJetHeader header = Header(*file);
        const CAgileDescriptor descriptor = ParseAgileDescriptor(header.encryptionInfo);
        EXPECT_EQ(descriptor.keyData.keyBits, cipher) << name;
        EXPECT_EQ(descriptor.keyData.hash, hash) << name;
        EXPECT_EQ(descriptor.spinCount, 100000u) << name;
        EXPECT_NO_THROW(CPageDecryptor(header.encryptionInfo, header.encodingKey, password))
            << name;
        for (const std::string& wrong :
             {std::string("wuzo"), std::string(), password + " ", std::string("test123")}) {
            EXPECT_THROW(CPageDecryptor(header.encryptionInfo, header.encodingKey, wrong),
                         CWrongPasswordError)
                << name << " with '" << wrong << "'";
        }
    }
}

// Decrypted, every page of the file is one of the page types of the Access 2000 layout: the
// catalogue's definition on page 2 (MSysObjects), data pages that name their table, and
// the rest. The first page is never encrypted and stays as read.
TEST(SourcePageEncryption, EveryPageDecryptsToAPageOfTheAccessLayout) {
    for (const auto& [name, password] :
         {std::pair<std::string, std::string>{"jackcessencrypt__db2007-enc", "Test123"},
          {"jackcessencrypt__db2013-enc", "1234"}}) {
        auto file = Encrypted(name);
        if (!file) {
            GTEST_SKIP() << testpaths::MissingSharedFixture("real-accdb/encrypted");
        }
        const CJetHeader header = Header(*file);
        CPageDecryptor decryptor(header.encryptionInfo, header.encodingKey, password);
        const Bytes first(file->begin(), file->begin() + 4096);
        decryptor.Decrypt(0, file->data(), 4096);
        EXPECT_EQ(Bytes(file->begin(), file->begin() + 4096), first) << name;
        ASSERT_EQ(file->size() % 4096, 0u);
        size_t dataPages = 0;
        for (size_t page = 1; page < file->size() / 4096; ++page) {
            uint8_t* bytes = file->data() + page * 4096;
            decryptor.Decrypt(static_cast<uint32_t>(page), bytes, 4096);
            // Data, definition, index (intermediate, leaf), usage map, and the two kinds only
            // Access 2007+ files have (8, 9), all followed by 1; a free page is zeros. The
            // plain .accdb files of the fixtures hold no other.
            const bool known = (bytes[1] == 1 && ((bytes[0] >= 1 && bytes[0] <= 5) ||
                                                  bytes[0] == 8 || bytes[0] == 9)) ||
                               (bytes[0] == 0 && bytes[1] == 0);
            EXPECT_TRUE(known) << name << " page " << page << " type " << int(bytes[0]) << ","
                               << int(bytes[1]);
            dataPages += bytes[0] == 1 ? 1 : 0;
            if (page == 2) {  // the catalogue's (MSysObjects') definition
                EXPECT_EQ(bytes[0], 2) << name;
                EXPECT_EQ(jetbytes::Le32(std::span<const uint8_t>(bytes, 4096), 4), 0u) << name;
            }
        }
        EXPECT_GT(dataPages, 5u) << name;
    }
}

// What is not AES in CBC mode with a hash read here is refused by name, before any password
// is tried.
TEST(SourcePageEncryption, AnotherCipherChainingKeySizeOrHashIsRefusedByName) {
    const auto file = Encrypted("jackcessencrypt__db2013-enc");
    if (!file) {
        GTEST_SKIP() << testpaths::MissingSharedFixture("real-accdb/encrypted");
    }
    const Bytes info = Header(*file).encryptionInfo;
    EXPECT_EQ(RefusalOf(InfoWith(info, "cipherAlgorithm=\"AES\"", "cipherAlgorithm=\"DES\"")),
              "the cipher DES");
    EXPECT_EQ(RefusalOf(InfoWith(info, "ChainingModeCBC", "ChainingModeCFB")),
              "the cipher chaining ChainingModeCFB");
    EXPECT_EQ(RefusalOf(InfoWith(info, "keyBits=\"256\"", "keyBits=\"512\"")),
              "AES with a key of 512 bits");
    EXPECT_EQ(RefusalOf(InfoWith(info, "hashAlgorithm=\"SHA512\"", "hashAlgorithm=\"SHA224\"")),
              "the hash SHA224");
    EXPECT_EQ(RefusalOf(InfoWith(info, "/password\"><p:", "/passworx\"><p:")),
              "a certificate instead of a password");
}

}  // namespace
