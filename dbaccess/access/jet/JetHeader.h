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
    // An Access 2007 or later file ("Standard ACE DB"). It never has a password: a password
    // encrypts such a file, and ParseJetHeader refuses it.
    bool accdb = false;
    // The creation date (days since 1899-12-30); Jet 4 masks the password with it.
    double creationDate = 0.0;
    // The code page of Access 97 text (0 when the header names none).
    int codePage = 0;
    // The database password as UTF-8; empty when the file has none.
    std::string password;
};

// The number of leading bytes ParseJetHeader needs.
constexpr size_t kJetHeaderSize = 0x18 + 128;

// Reads the header of an Access file from its first bytes: the "Standard Jet DB" signature
// at offset 4 (Access 2007 and later: "Standard ACE DB"), the format version at 0x14, then the part
// from 0x18 that Access masks with a fixed RC4 keystream (126 bytes for Jet 3, 128 for Jet 4). In
// it, at 0x3C, the code page of Access 97 text, and at 0x42 the password: Jet 3 keeps 20 bytes of
// text in that code page (CP932 when it names none, see CCodePageText); Jet 4 keeps 20 UTF-16LE
// characters, masked again with the four little-endian bytes of the creation date at 0x72 taken as
// a 32-bit integer. An .accdb keeps at 0x3E a key that is not zero when a password encrypts the
// file. Throws CJetFormatError when the signature or a known version is missing or the bytes are
// too few, and CEncryptedDatabaseError for an encrypted .accdb.
CJetHeader ParseJetHeader(std::span<const uint8_t> firstBytes);

// The RC4 keystream for key, n bytes long. Exposed for the tests.
std::vector<uint8_t> Rc4Keystream(std::span<const uint8_t> key, size_t n);
