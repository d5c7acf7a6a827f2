#include "tests/support/EncryptedCopy.h"

#include <openssl/evp.h>

#include <array>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "dbaccess/access/jet/JetBytes.h"
#include "dbaccess/access/jet/JetHeader.h"
#include "dbaccess/access/jet/PageEncryption.h"

namespace testsupport {

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kPage = 4096;
constexpr size_t kInfoAt = kEncryptionInfoLengthAt + 2;
constexpr size_t kEncodingKeyAt = 0x3E;
constexpr uint8_t kHeaderKey[] = {0xC7, 0xDA, 0x39, 0x6B};

Bytes ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(in)), {});
    if (bytes.size() < kPage) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return bytes;
}

void WriteAll(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::span<const uint8_t> Info(const Bytes& file) {
    return {file.data() + kInfoAt, jetbytes::Le16(file, kEncryptionInfoLengthAt)};
}

// The file's own key, unwrapped with the password.
Bytes FileKey(const CAgileDescriptor& d, const std::string& password) {
    return AgileCbc(false, AgilePasswordKey(d, password, AgileKeyPurpose::KeyValue),
                    d.password.salt, d.encryptedKeyValue);
}

// The base64 value of the attribute in the descriptor's text replaced by that of bytes,
// which must be as long as the old.
void ReplaceAttribute(Bytes& file, const std::string& name, const Bytes& bytes) {
    std::string text(reinterpret_cast<const char*>(file.data() + kInfoAt),
                     jetbytes::Le16(file, kEncryptionInfoLengthAt));
    const size_t at = text.find(" " + name + "=\"");
    if (at == std::string::npos) {
        throw std::runtime_error("no " + name + " in the descriptor");
    }
    const size_t from = at + name.size() + 3;
    const size_t end = text.find('"', from);
    std::string encoded(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    encoded.resize(
        static_cast<size_t>(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                                            bytes.data(), static_cast<int>(bytes.size()))));
    if (encoded.size() != end - from) {
        throw std::runtime_error(name + " would change its length");
    }
    std::copy(encoded.begin(), encoded.end(),
              file.begin() + static_cast<std::ptrdiff_t>(kInfoAt + from));
}

}  // namespace

void CopyWithNewPassword(const std::filesystem::path& from, const std::filesystem::path& to,
                         const std::string& oldPassword, const std::string& newPassword) {
    Bytes file = ReadAll(from);
    const CAgileDescriptor d = ParseAgileDescriptor(Info(file));
    try {
        CPageDecryptor check(Info(file), 0, oldPassword);
    } catch (const CWrongPasswordError&) {
        throw std::runtime_error("the old password does not open " + from.string());
    }
    const Bytes key = FileKey(d, oldPassword);
    // A verifier: any bytes as long as the salt, and their hash padded to whole blocks.
    Bytes input(d.encryptedVerifierHashInput.size());
    for (size_t i = 0; i < input.size(); ++i) {
        input[i] = static_cast<uint8_t>(0xA5 ^ (i * 7));
    }
    Bytes hash = AgileHash(d.password.hash,
                           {std::span<const uint8_t>(input.data(), d.password.salt.size())});
    hash.resize(d.encryptedVerifierHashValue.size(), 0);
    const auto wrap = [&](AgileKeyPurpose purpose, const Bytes& plain) {
        return AgileCbc(true, AgilePasswordKey(d, newPassword, purpose), d.password.salt, plain);
    };
    ReplaceAttribute(file, "encryptedVerifierHashInput",
                     wrap(AgileKeyPurpose::VerifierInput, input));
    ReplaceAttribute(file, "encryptedVerifierHashValue", wrap(AgileKeyPurpose::VerifierHash, hash));
    ReplaceAttribute(file, "encryptedKeyValue", wrap(AgileKeyPurpose::KeyValue, key));
    WriteAll(to, file);
}

void CopyEncryptedLike(const std::filesystem::path& plainMdb, const std::filesystem::path& to,
                       const std::filesystem::path& keyFrom, const std::string& password) {
    const Bytes source = ReadAll(keyFrom);
    Bytes file = ReadAll(plainMdb);
    if (file.size() % kPage != 0 || file[0x14] != 1) {
        throw std::runtime_error(plainMdb.string() + " is not an Access 2000 file");
    }
    const CAgileDescriptor d = ParseAgileDescriptor(Info(source));
    Bytes key = FileKey(d, password);
    key.resize(d.keyData.keyBits / 8);
    std::copy_n("Standard ACE DB", 15, file.begin() + 4);
    file[0x14] = 2;
    // The encoding key lies in the masked part of the header: both files are masked alike.
    const Bytes stream = Rc4Keystream(kHeaderKey, 128);
    std::array<uint8_t, 4> encodingKey{};
    for (size_t i = 0; i < 4; ++i) {
        encodingKey[i] = source[kEncodingKeyAt + i] ^ stream[kEncodingKeyAt - 0x18 + i];
        file[kEncodingKeyAt + i] = source[kEncodingKeyAt + i];
    }
    const size_t infoLength = jetbytes::Le16(source, kEncryptionInfoLengthAt);
    std::copy_n(source.begin() + kEncryptionInfoLengthAt, 2 + infoLength,
                file.begin() + kEncryptionInfoLengthAt);
    for (size_t page = 1; page < file.size() / kPage; ++page) {
        const uint8_t block[4] = {static_cast<uint8_t>(page ^ encodingKey[0]),
                                  static_cast<uint8_t>((page >> 8) ^ encodingKey[1]),
                                  static_cast<uint8_t>((page >> 16) ^ encodingKey[2]),
                                  static_cast<uint8_t>((page >> 24) ^ encodingKey[3])};
        const Bytes iv = AgileHash(d.keyData.hash, {d.keyData.salt, block});
        const auto at = file.begin() + static_cast<std::ptrdiff_t>(page * kPage);
        const Bytes encrypted = AgileCbc(true, key, iv, std::span<const uint8_t>(&*at, kPage));
        std::copy(encrypted.begin(), encrypted.end(), at);
    }
    WriteAll(to, file);
}

void CopyJetEncoded(const std::filesystem::path& plainMdb, const std::filesystem::path& to,
                    uint32_t key) {
    Bytes file = ReadAll(plainMdb);
    if (file.size() % kPage != 0 || file[0x14] != 1) {
        throw std::runtime_error(plainMdb.string() + " is not an Access 2000 file");
    }
    const Bytes stream = Rc4Keystream(kHeaderKey, 128);
    for (size_t i = 0; i < 4; ++i) {
        const auto plain =
            static_cast<uint8_t>(file[kEncodingKeyAt + i] ^ stream[kEncodingKeyAt - 0x18 + i]);
        if (plain != 0) {
            throw std::runtime_error(plainMdb.string() + " is encoded already");
        }
        file[kEncodingKeyAt + i] ^= static_cast<uint8_t>(key >> (8 * i));
    }
    for (size_t page = 1; page < file.size() / kPage; ++page) {
        const uint32_t pageKey = key ^ static_cast<uint32_t>(page);
        const uint8_t bytes[4] = {static_cast<uint8_t>(pageKey), static_cast<uint8_t>(pageKey >> 8),
                                  static_cast<uint8_t>(pageKey >> 16),
                                  static_cast<uint8_t>(pageKey >> 24)};
        const Bytes pad = Rc4Keystream(bytes, kPage);
        for (size_t i = 0; i < kPage; ++i) {
            file[page * kPage + i] ^= pad[i];
        }
    }
    WriteAll(to, file);
}

}  // namespace testsupport
