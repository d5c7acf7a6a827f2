#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "dbaccess/access/jet/JetValue.h"

// What the first page of an Access file says about the file.
struct CJetHeader {
    // The row layout; an .accdb has Access 2000's.
    JetVersion version = JetVersion::Jet4;
    // An Access 2007 or later file ("Standard ACE DB"). It never has a password in its header:
    // a password encrypts such a file (see encrypted).
    bool accdb = false;
    // An .accdb encrypted with a password, in the one kind this program decrypts (agile, see
    // PageEncryption.h): the four bytes at 0x3E as a little-endian number, and the
    // encryption info block of its first page (from its version on).
    bool encrypted = false;
    uint32_t encodingKey = 0;
    std::vector<uint8_t> encryptionInfo;
    // The creation date (days since 1899-12-30); Jet 4 masks the password with it.
    double creationDate = 0.0;
    // The code page of Access 97 text (0 when the header names none).
    int codePage = 0;
    // The database password as UTF-8; empty when the file has none.
    std::string password;
};

// The number of leading bytes ParseJetHeader needs.
constexpr size_t kJetHeaderSize = 0x18 + 128;
// The bytes to give ParseJetHeader so that it can read an encrypted .accdb's description of its
// encryption too: its whole first page.
constexpr size_t kJetFirstPageSize = 4096;

// Reads the header of an Access file from its first bytes: the "Standard Jet DB" signature
// at offset 4 (Access 2007 and later: "Standard ACE DB"), the format version at 0x14, then the part
// from 0x18 that Access masks with a fixed RC4 keystream (126 bytes for Jet 3, 128 for Jet 4). In
// it, at 0x3C, the code page of Access 97 text, and at 0x42 the password: Jet 3 keeps 20 bytes of
// text in that code page (CP932 when it names none, see CCodePageText); Jet 4 keeps 20 UTF-16LE
// characters, masked again with the four little-endian bytes of the creation date at 0x72 taken as
// a 32-bit integer. An .accdb keeps at 0x3E a key that is not zero when a password encrypts the
// file, and then describes the encryption at 0x299 of its first page. Throws CJetFormatError
// when the signature or a known version is missing or the bytes are too few, and
// CEncryptedDatabaseError, naming the encryption, for an .accdb encrypted in a way this program
// cannot decrypt, and CDamagedEncryptionError when the description of its encryption cannot
// be read.
CJetHeader ParseJetHeader(std::span<const uint8_t> firstBytes);

// The password of a DAO connect string such as ";PWD=wuzo": the text after "PWD=" (any
// letter case) up to the next ";". Other parts are ignored; no PWD part means no password.
std::string PasswordFromConnect(const std::string& connect);

// The RC4 keystream for key, n bytes long. Exposed for the tests.
std::vector<uint8_t> Rc4Keystream(std::span<const uint8_t> key, size_t n);
