#include "dbaccess/access/jet/PageEncryption.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "dbaccess/access/jet/JetBytes.h"

namespace {

// MS-OFFCRYPTO's fixed block keys, one per purpose of a password key.
constexpr uint8_t kVerifierInputBlock[] = {0xfe, 0xa7, 0xd2, 0x76, 0x3b, 0x4b, 0x9e, 0x79};
constexpr uint8_t kVerifierHashBlock[] = {0xd7, 0xaa, 0x0f, 0x6d, 0x30, 0x61, 0x34, 0x4e};
constexpr uint8_t kKeyValueBlock[] = {0x14, 0x6e, 0x0b, 0xe7, 0xab, 0xac, 0xd0, 0xd6};

constexpr uint32_t kAgileReserved = 0x40;
constexpr std::string_view kPasswordEncryptor =
    "http://schemas.microsoft.com/office/2006/keyEncryptor/password";
// MS-OFFCRYPTO allows no more; a damaged descriptor could otherwise keep the derivation busy
// for hours.
constexpr uint32_t kMostSpins = 10'000'000;
// The longest password Access takes, in UTF-16 units.
constexpr size_t kMostPasswordUnits = 255;

[[noreturn]] void Unreadable(const std::string& scheme) {
    throw CEncryptedDatabaseError(scheme);
}

const EVP_MD* Digest(const std::string& name) {
    if (name == "SHA1") {
        return EVP_sha1();
    }
    if (name == "SHA256") {
        return EVP_sha256();
    }
    if (name == "SHA384") {
        return EVP_sha384();
    }
    if (name == "SHA512") {
        return EVP_sha512();
    }
    return nullptr;
}

const EVP_CIPHER* AesCbc(size_t keyBytes) {
    switch (keyBytes) {
        case 16:
            return EVP_aes_128_cbc();
        case 24:
            return EVP_aes_192_cbc();
        case 32:
            return EVP_aes_256_cbc();
        default:
            return nullptr;
    }
}

// The bytes cut or padded with pad to length.
std::vector<uint8_t> FixedLength(std::vector<uint8_t> bytes, size_t length, uint8_t pad) {
    bytes.resize(length, pad);
    return bytes;
}

// The text of the tag that starts at the first element whose local name is name (any
// namespace prefix), up to its closing '>'; "" when there is none.
std::string_view ElementTag(std::string_view xml, std::string_view name, size_t from = 0) {
    for (size_t at = xml.find('<', from); at != std::string_view::npos;
         at = xml.find('<', at + 1)) {
        size_t nameAt = at + 1;
        const size_t nameEnd = xml.find_first_of(" \t\r\n/>", nameAt);
        if (nameEnd == std::string_view::npos) {
            return {};
        }
        const size_t colon = xml.find(':', nameAt);
        if (colon != std::string_view::npos && colon < nameEnd) {
            nameAt = colon + 1;
        }
        if (xml.substr(nameAt, nameEnd - nameAt) == name) {
            const size_t end = xml.find('>', nameEnd);
            return end == std::string_view::npos ? std::string_view{} : xml.substr(at, end - at);
        }
    }
    return {};
}

// The value of the attribute in a tag; "" when it is missing. The descriptor's values hold no
// entities that matter here (names, numbers, base64).
std::string Attribute(std::string_view tag, std::string_view name) {
    for (size_t at = tag.find(name); at != std::string_view::npos; at = tag.find(name, at + 1)) {
        const bool startsName = at > 0 && std::strchr(" \t\r\n", tag[at - 1]) != nullptr;
        const size_t eq = at + name.size();
        if (!startsName || eq + 1 >= tag.size() || tag[eq] != '=' ||
            (tag[eq + 1] != '"' && tag[eq + 1] != '\'')) {
            continue;
        }
        const size_t end = tag.find(tag[eq + 1], eq + 2);
        if (end == std::string_view::npos) {
            return {};
        }
        return std::string(tag.substr(eq + 2, end - eq - 2));
    }
    return {};
}

uint32_t Number(std::string_view tag, std::string_view name) {
    const std::string text = Attribute(tag, name);
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        throw CJetFormatError("its encryption descriptor has no valid " + std::string(name));
    }
    return static_cast<uint32_t>(std::stoul(text));
}

std::vector<uint8_t> Base64(std::string_view tag, std::string_view name) {
    std::string text = Attribute(tag, name);
    text.erase(std::remove_if(text.begin(), text.end(),
                              [](char c) { return std::strchr(" \t\r\n", c) != nullptr; }),
               text.end());
    if (text.empty() || text.size() % 4 != 0) {
        throw CJetFormatError("its encryption descriptor has no valid " + std::string(name));
    }
    std::vector<uint8_t> bytes(text.size() / 4 * 3);
    const int n = EVP_DecodeBlock(bytes.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                  static_cast<int>(text.size()));
    if (n < 0) {
        throw CJetFormatError("its encryption descriptor has no valid " + std::string(name));
    }
    size_t padding = 0;
    for (size_t i = text.size(); i-- > 0 && text[i] == '=';) {
        ++padding;
    }
    bytes.resize(static_cast<size_t>(n) - std::min<size_t>(padding, static_cast<size_t>(n)));
    return bytes;
}

// A cipher the pages or the key are read with, refused by name unless it is AES in CBC mode
// with a hash named here.
CAgileDescriptor::Cipher ReadCipher(std::string_view tag) {
    CAgileDescriptor::Cipher cipher;
    cipher.algorithm = Attribute(tag, "cipherAlgorithm");
    cipher.chaining = Attribute(tag, "cipherChaining");
    cipher.hash = Attribute(tag, "hashAlgorithm");
    if (cipher.algorithm != "AES") {
        Unreadable("the cipher " + cipher.algorithm);
    }
    if (cipher.chaining != "ChainingModeCBC") {
        Unreadable("the cipher chaining " + cipher.chaining);
    }
    if (!Digest(cipher.hash)) {
        Unreadable("the hash " + cipher.hash);
    }
    cipher.keyBits = Number(tag, "keyBits");
    cipher.blockSize = Number(tag, "blockSize");
    cipher.hashSize = Number(tag, "hashSize");
    cipher.salt = Base64(tag, "saltValue");
    if (!AesCbc(cipher.keyBits / 8) || cipher.keyBits % 8 != 0) {
        Unreadable("AES with a key of " + std::to_string(cipher.keyBits) + " bits");
    }
    if (cipher.blockSize != 16 ||
        cipher.hashSize != static_cast<uint32_t>(EVP_MD_get_size(Digest(cipher.hash)))) {
        throw CJetFormatError("its encryption descriptor names sizes its cipher does not have");
    }
    return cipher;
}

// UTF-8 as UTF-16LE, cut at Access's longest password; bytes that are not UTF-8 are taken
// one by one, so that such a password is compared, not refused.
std::vector<uint8_t> Utf16Le(const std::string& text) {
    std::vector<uint8_t> out;
    const auto unit = [&out](uint32_t u) {
        out.push_back(static_cast<uint8_t>(u & 0xFF));
        out.push_back(static_cast<uint8_t>(u >> 8));
    };
    for (size_t i = 0; i < text.size() && out.size() < 2 * kMostPasswordUnits;) {
        const auto c = static_cast<uint8_t>(text[i]);
        const size_t length = c < 0x80         ? 1
                              : (c >> 5) == 6  ? 2
                              : (c >> 4) == 14 ? 3
                              : (c >> 3) == 30 ? 4
                                               : 0;
        uint32_t cp = c;
        bool valid = length > 0 && i + length <= text.size();
        if (valid && length > 1) {
            cp = c & (0x7F >> length);
            for (size_t k = 1; k < length; ++k) {
                const auto next = static_cast<uint8_t>(text[i + k]);
                valid = valid && (next & 0xC0) == 0x80;
                cp = (cp << 6) | (next & 0x3F);
            }
        }
        if (!valid) {
            unit(c);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 + (cp >> 10));
            unit(0xDC00 + (cp & 0x3FF));
        } else {
            unit(cp);
        }
        i += length;
    }
    out.resize(std::min(out.size(), 2 * kMostPasswordUnits));
    return out;
}

struct CDigestContext {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    ~CDigestContext() { EVP_MD_CTX_free(ctx); }
};

struct CCipherContext {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    ~CCipherContext() { EVP_CIPHER_CTX_free(ctx); }
};

[[noreturn]] void CryptoFailed() {
    throw CJetFormatError("the system's cryptography library failed");
}

}  // namespace

CAgileDescriptor ParseAgileDescriptor(std::span<const uint8_t> info) {
    if (info.size() < 8) {
        throw CJetFormatError("its encryption description is cut short");
    }
    const uint16_t major = jetbytes::Le16(info, 0);
    const uint16_t minor = jetbytes::Le16(info, 2);
    if (major == 4 && minor == 4) {
        if (jetbytes::Le32(info, 4) != kAgileReserved) {
            throw CJetFormatError("its encryption description is not of a known layout");
        }
    } else if (minor == 2 && major >= 2 && major <= 4) {
        // Standard encryption (AES) or RC4 through CryptoAPI, told apart by the AES flag.
        constexpr uint32_t kAesFlag = 0x20;
        Unreadable((jetbytes::Le32(info, 4) & kAesFlag) != 0 ? "ECMA-376 Standard encryption (AES)"
                                                             : "RC4 CryptoAPI encryption");
    } else if (minor == 3 && (major == 3 || major == 4)) {
        Unreadable("extensible encryption");
    } else if (major == 1 && minor == 1) {
        Unreadable("RC4 encryption");
    } else {
        Unreadable("encryption of version " + std::to_string(major) + "." + std::to_string(minor));
    }
    const std::string_view xml(reinterpret_cast<const char*>(info.data()) + 8, info.size() - 8);
    const std::string_view keyData = ElementTag(xml, "keyData");
    if (keyData.empty()) {
        throw CJetFormatError("its encryption descriptor has no key data");
    }
    // The password's key encryptor; a file that only a certificate opens has none.
    std::string_view encryptedKey;
    for (size_t at = 0;;) {
        const std::string_view encryptor = ElementTag(xml, "keyEncryptor", at);
        if (encryptor.empty()) {
            break;
        }
        at = static_cast<size_t>(encryptor.data() - xml.data()) + encryptor.size();
        if (Attribute(encryptor, "uri") == kPasswordEncryptor) {
            encryptedKey = ElementTag(xml, "encryptedKey", at);
            break;
        }
    }
    if (encryptedKey.empty()) {
        Unreadable("a certificate instead of a password");
    }
    CAgileDescriptor descriptor;
    descriptor.keyData = ReadCipher(keyData);
    descriptor.password = ReadCipher(encryptedKey);
    descriptor.spinCount = Number(encryptedKey, "spinCount");
    if (descriptor.spinCount > kMostSpins) {
        throw CJetFormatError("its encryption descriptor asks for " +
                              std::to_string(descriptor.spinCount) +
                              " hash rounds, more than Access ever writes");
    }
    descriptor.encryptedVerifierHashInput = Base64(encryptedKey, "encryptedVerifierHashInput");
    descriptor.encryptedVerifierHashValue = Base64(encryptedKey, "encryptedVerifierHashValue");
    descriptor.encryptedKeyValue = Base64(encryptedKey, "encryptedKeyValue");
    const auto wholeBlocks = [](const std::vector<uint8_t>& bytes) {
        return !bytes.empty() && bytes.size() % 16 == 0;
    };
    if (!wholeBlocks(descriptor.encryptedVerifierHashInput) ||
        !wholeBlocks(descriptor.encryptedVerifierHashValue) ||
        !wholeBlocks(descriptor.encryptedKeyValue) ||
        descriptor.encryptedVerifierHashValue.size() < descriptor.password.hashSize ||
        descriptor.encryptedKeyValue.size() < descriptor.keyData.keyBits / 8) {
        throw CJetFormatError("its encryption descriptor holds values of the wrong size");
    }
    return descriptor;
}

std::vector<uint8_t> AgileHash(const std::string& algorithm,
                               std::initializer_list<std::span<const uint8_t>> parts) {
    const EVP_MD* md = Digest(algorithm);
    CDigestContext digest;
    if (!md || !digest.ctx || EVP_DigestInit_ex(digest.ctx, md, nullptr) != 1) {
        CryptoFailed();
    }
    for (const auto& part : parts) {
        if (EVP_DigestUpdate(digest.ctx, part.data(), part.size()) != 1) {
            CryptoFailed();
        }
    }
    std::vector<uint8_t> out(static_cast<size_t>(EVP_MD_get_size(md)));
    if (EVP_DigestFinal_ex(digest.ctx, out.data(), nullptr) != 1) {
        CryptoFailed();
    }
    return out;
}

std::vector<uint8_t> AgileCbc(bool encrypt, std::span<const uint8_t> key,
                              std::span<const uint8_t> iv, std::span<const uint8_t> data) {
    const EVP_CIPHER* cipher = AesCbc(key.size());
    CCipherContext context;
    const std::vector<uint8_t> fullIv = FixedLength({iv.begin(), iv.end()}, 16, 0x36);
    std::vector<uint8_t> out(data.size());
    int n = 0;
    if (!cipher || !context.ctx || data.size() % 16 != 0 ||
        EVP_CipherInit_ex(context.ctx, cipher, nullptr, key.data(), fullIv.data(),
                          encrypt ? 1 : 0) != 1 ||
        EVP_CIPHER_CTX_set_padding(context.ctx, 0) != 1 ||
        EVP_CipherUpdate(context.ctx, out.data(), &n, data.data(), static_cast<int>(data.size())) !=
            1) {
        CryptoFailed();
    }
    return out;
}

namespace {

// The password hashed with the salt, then spun: the part of a password key that does not
// depend on its purpose, and the whole cost of opening a file.
std::vector<uint8_t> SpunHash(const CAgileDescriptor& descriptor, const std::string& passwordUtf8) {
    const CAgileDescriptor::Cipher& cipher = descriptor.password;
    const EVP_MD* md = Digest(cipher.hash);
    CDigestContext digest;
    if (!md || !digest.ctx) {
        CryptoFailed();
    }
    const std::vector<uint8_t> password = Utf16Le(passwordUtf8);
    std::vector<uint8_t> hash = AgileHash(cipher.hash, {cipher.salt, password});
    for (uint32_t i = 0; i < descriptor.spinCount; ++i) {
        const uint8_t round[4] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8),
                                  static_cast<uint8_t>(i >> 16), static_cast<uint8_t>(i >> 24)};
        if (EVP_DigestInit_ex(digest.ctx, md, nullptr) != 1 ||
            EVP_DigestUpdate(digest.ctx, round, sizeof round) != 1 ||
            EVP_DigestUpdate(digest.ctx, hash.data(), hash.size()) != 1 ||
            EVP_DigestFinal_ex(digest.ctx, hash.data(), nullptr) != 1) {
            CryptoFailed();
        }
    }
    return hash;
}

std::vector<uint8_t> KeyFromSpun(const CAgileDescriptor& descriptor,
                                 const std::vector<uint8_t>& spun, AgileKeyPurpose purpose) {
    std::span<const uint8_t> block = kKeyValueBlock;
    if (purpose == AgileKeyPurpose::VerifierInput) {
        block = kVerifierInputBlock;
    } else if (purpose == AgileKeyPurpose::VerifierHash) {
        block = kVerifierHashBlock;
    }
    const CAgileDescriptor::Cipher& cipher = descriptor.password;
    return FixedLength(AgileHash(cipher.hash, {spun, block}), cipher.keyBits / 8, 0x36);
}

}  // namespace

std::vector<uint8_t> AgilePasswordKey(const CAgileDescriptor& descriptor,
                                      const std::string& passwordUtf8, AgileKeyPurpose purpose) {
    return KeyFromSpun(descriptor, SpunHash(descriptor, passwordUtf8), purpose);
}

struct CPageDecryptor::Impl {
    CAgileDescriptor descriptor;
    std::vector<uint8_t> key;
    uint8_t encodingKey[4] = {};
    const EVP_MD* md = nullptr;
    CDigestContext digest;
    CCipherContext cipher;
};

CPageDecryptor::CPageDecryptor(std::span<const uint8_t> encryptionInfo, uint32_t encodingKey,
                               const std::string& passwordUtf8)
    : m_impl(std::make_unique<Impl>()) {
    Impl& d = *m_impl;
    d.descriptor = ParseAgileDescriptor(encryptionInfo);
    const CAgileDescriptor& desc = d.descriptor;
    const CAgileDescriptor::Cipher& wrap = desc.password;
    // The three keys share the spin: it is made once.
    const std::vector<uint8_t> spun = SpunHash(desc, passwordUtf8);
    const std::vector<uint8_t> inputKey = KeyFromSpun(desc, spun, AgileKeyPurpose::VerifierInput);
    const std::vector<uint8_t> hashKey = KeyFromSpun(desc, spun, AgileKeyPurpose::VerifierHash);
    const std::vector<uint8_t> input =
        AgileCbc(false, inputKey, wrap.salt, desc.encryptedVerifierHashInput);
    const std::vector<uint8_t> expected =
        AgileCbc(false, hashKey, wrap.salt, desc.encryptedVerifierHashValue);
    const size_t inputSize = std::min<size_t>(input.size(), wrap.salt.size());
    const std::vector<uint8_t> actual =
        AgileHash(wrap.hash, {std::span<const uint8_t>(input.data(), inputSize)});
    if (!std::equal(actual.begin(), actual.end(), expected.begin())) {
        throw CWrongPasswordError("the password does not match the file's verifier");
    }
    const std::vector<uint8_t> valueKey = KeyFromSpun(desc, spun, AgileKeyPurpose::KeyValue);
    d.key = AgileCbc(false, valueKey, wrap.salt, desc.encryptedKeyValue);
    d.key.resize(desc.keyData.keyBits / 8);
    for (int i = 0; i < 4; ++i) {
        d.encodingKey[i] = static_cast<uint8_t>(encodingKey >> (8 * i));
    }
    d.md = Digest(desc.keyData.hash);
    if (!d.digest.ctx || !d.cipher.ctx ||
        EVP_DecryptInit_ex(d.cipher.ctx, AesCbc(d.key.size()), nullptr, d.key.data(), nullptr) !=
            1 ||
        EVP_CIPHER_CTX_set_padding(d.cipher.ctx, 0) != 1) {
        CryptoFailed();
    }
}

CPageDecryptor::~CPageDecryptor() = default;

void CPageDecryptor::Decrypt(uint32_t page, uint8_t* bytes, size_t size) {
    if (page == 0 || size == 0) {
        return;
    }
    Impl& d = *m_impl;
    const uint8_t block[4] = {static_cast<uint8_t>(page ^ d.encodingKey[0]),
                              static_cast<uint8_t>((page >> 8) ^ d.encodingKey[1]),
                              static_cast<uint8_t>((page >> 16) ^ d.encodingKey[2]),
                              static_cast<uint8_t>((page >> 24) ^ d.encodingKey[3])};
    uint8_t hash[EVP_MAX_MD_SIZE];
    unsigned hashSize = 0;
    if (EVP_DigestInit_ex(d.digest.ctx, d.md, nullptr) != 1 ||
        EVP_DigestUpdate(d.digest.ctx, d.descriptor.keyData.salt.data(),
                         d.descriptor.keyData.salt.size()) != 1 ||
        EVP_DigestUpdate(d.digest.ctx, block, sizeof block) != 1 ||
        EVP_DigestFinal_ex(d.digest.ctx, hash, &hashSize) != 1) {
        CryptoFailed();
    }
    uint8_t iv[16];
    std::memset(iv, 0x36, sizeof iv);
    std::memcpy(iv, hash, std::min<size_t>(hashSize, sizeof iv));
    int n = 0;
    if (EVP_DecryptInit_ex(d.cipher.ctx, nullptr, nullptr, nullptr, iv) != 1 ||
        EVP_DecryptUpdate(d.cipher.ctx, bytes, &n, bytes, static_cast<int>(size)) != 1) {
        CryptoFailed();
    }
}
