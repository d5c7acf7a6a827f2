#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace testsupport {

// Copies an .accdb encrypted with the agile kind so that newPassword opens it instead of
// oldPassword: the file's key, unwrapped with the old password's key, is wrapped again with
// the new one's, with a new verifier, and the descriptor keeps its salts and its length
// (base64 of the same number of bytes). The pages stay as Access encrypted them. Throws
// std::runtime_error when oldPassword is not the file's.
void CopyWithNewPassword(const std::filesystem::path& from, const std::filesystem::path& to,
                         const std::string& oldPassword, const std::string& newPassword);

// Copies an Access 2000 .mdb (4 KB pages, the rows of an .accdb) as an Access 2007 .accdb
// encrypted the way keyFrom, an agile-encrypted .accdb whose password is password, is: its
// header says "Standard ACE DB", version 2, carries keyFrom's encoding key and encryption
// description, and every page after the first is encrypted with keyFrom's key. What it
// holds reads as the .mdb's tables; password opens it.
void CopyEncryptedLike(const std::filesystem::path& plainMdb, const std::filesystem::path& to,
                       const std::filesystem::path& keyFrom, const std::string& password);

// Copies an Access 2000 .mdb with Jet's own page encoding applied, as Access 2000's "Encode
// Database" leaves it: a key at 0x3E of the header, and every page after the first RC4-encoded
// with the four bytes of (key XOR page number), little-endian, as its key.
void CopyJetEncoded(const std::filesystem::path& plainMdb, const std::filesystem::path& to,
                    uint32_t key);

}  // namespace testsupport
