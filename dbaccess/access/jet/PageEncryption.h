#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "dbaccess/access/jet/JetFormatError.h"

// Access 2007 and later encrypt a file with a database password page by page: every page but
// the first, each on its own, with a key that only the password unlocks. The first page says
// how, at 0x299: a 16-bit length, then an "encryption info" block that starts with a version
// (major, minor). Access 2010 and later, and Access 2007 with its service packs, write the
// "agile" kind (4.4): a reserved 32-bit value 0x40, then an XML descriptor naming the cipher,
// its key size and chaining, the hash and its spin count, with salts and the encrypted key.
//
// With the password, the key is derived by hashing the salt and the password (UTF-16LE), then
// hashing the result again spin-count times, each time after the iteration's 32-bit number,
// and once more with a fixed block of eight bytes per purpose; the key is that hash cut or
// padded with 0x36 to the key's size. One such key decrypts a verifier (random bytes and their
// hash: the password is right when the two agree), another the file's own key. A page is
// decrypted with the file's key in CBC mode, its IV the hash of the descriptor's key-data salt
// and four bytes that tell the page: its number, little-endian, XORed with the file's
// encoding key (the four bytes at 0x3E of the unmasked header).

// A password other than the one the file was encrypted with.
class CWrongPasswordError : public CJetFormatError {
public:
    using CJetFormatError::CJetFormatError;
};

// The parts of an agile descriptor that the decryption uses. Binary attributes are decoded
// from base64.
struct CAgileDescriptor {
    struct Cipher {
        std::string algorithm;  // "AES"
        std::string chaining;   // "ChainingModeCBC"
        std::string hash;       // "SHA1", "SHA256", "SHA384", "SHA512"
        uint32_t keyBits = 0;
        uint32_t blockSize = 0;
        uint32_t hashSize = 0;
        std::vector<uint8_t> salt;
    };
    Cipher keyData;   // the pages' cipher
    Cipher password;  // the cipher that wraps the key with the password
    uint32_t spinCount = 0;
    std::vector<uint8_t> encryptedVerifierHashInput;
    std::vector<uint8_t> encryptedVerifierHashValue;
    std::vector<uint8_t> encryptedKeyValue;
};

// Where the encryption info lies in the first page, after its 16-bit length.
constexpr size_t kEncryptionInfoLengthAt = 0x299;

// Reads the agile descriptor of an encryption info block (from its version on). Throws
// CEncryptedDatabaseError naming the encryption when it is of another kind (RC4 CryptoAPI,
// ECMA-376 Standard, extensible) or names a cipher, chaining or hash not read here, and
// CJetFormatError when the block cannot be read.
CAgileDescriptor ParseAgileDescriptor(std::span<const uint8_t> encryptionInfo);

// The block keys of MS-OFFCRYPTO's agile key derivation: the verifier's input, its hash, and
// the file's key.
enum class AgileKeyPurpose { VerifierInput, VerifierHash, KeyValue };

// The key that the password gives for one purpose (see above), keyBits / 8 bytes.
std::vector<uint8_t> AgilePasswordKey(const CAgileDescriptor& descriptor,
                                      const std::string& passwordUtf8, AgileKeyPurpose purpose);

// One hash with the named algorithm over the concatenation of the parts.
std::vector<uint8_t> AgileHash(const std::string& algorithm,
                               std::initializer_list<std::span<const uint8_t>> parts);

// AES-CBC without padding over whole blocks, key size from the key; iv cut or padded with
// 0x36 to the block size.
std::vector<uint8_t> AgileCbc(bool encrypt, std::span<const uint8_t> key,
                              std::span<const uint8_t> iv, std::span<const uint8_t> data);

// Decrypts the pages of a file encrypted with the agile kind.
class CPageDecryptor {
public:
    // Reads the descriptor, checks the password with its verifier and unwraps the file's key.
    // Throws as ParseAgileDescriptor does, and CWrongPasswordError.
    CPageDecryptor(std::span<const uint8_t> encryptionInfo, uint32_t encodingKey,
                   const std::string& passwordUtf8);
    ~CPageDecryptor();
    CPageDecryptor(const CPageDecryptor&) = delete;
    CPageDecryptor& operator=(const CPageDecryptor&) = delete;

    // Decrypts a whole page in place; the first page (0), which is never encrypted, is left
    // as it is. size must be a multiple of the cipher's block size.
    void Decrypt(uint32_t page, uint8_t* bytes, size_t size);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
