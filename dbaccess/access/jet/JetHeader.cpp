#include "dbaccess/access/jet/JetHeader.h"

#include <strings.h>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

#include "dbaccess/access/jet/CodePageText.h"
#include "dbaccess/access/jet/JetBytes.h"
#include "dbaccess/access/jet/JetFormatError.h"
#include "dbaccess/access/jet/JetText.h"
#include "dbaccess/access/jet/PageEncryption.h"

namespace {

constexpr std::string_view kSignature("Standard Jet DB\0", 16);
constexpr std::string_view kAccdbSignature("Standard ACE DB\0", 16);
constexpr size_t kSignatureAt = 4;
constexpr size_t kVersionAt = 0x14;
constexpr size_t kMaskedAt = 0x18;
constexpr size_t kCodePageAt = 0x3C;
constexpr size_t kEncodingKeyAt = 0x3E;
constexpr size_t kPasswordAt = 0x42;
constexpr size_t kCreationDateAt = 0x72;
constexpr std::array<uint8_t, 4> kHeaderKey = {0xC7, 0xDA, 0x39, 0x6B};

// The 32-bit integer Access derives from the creation date. The cast of an out-of-range or
// NaN double would be undefined, and only a damaged header holds one: saturate instead.
int32_t DateMask(double date) {
    if (std::isnan(date)) {
        return 0;
    }
    if (date >= 2147483647.0) {
        return std::numeric_limits<int32_t>::max();
    }
    if (date <= -2147483648.0) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(date);
}

std::string Jet4Password(std::span<uint8_t> header, double creationDate) {
    const auto mask = static_cast<uint32_t>(DateMask(creationDate));
    std::array<uint8_t, 40> raw{};
    for (size_t i = 0; i < raw.size(); ++i) {
        raw[i] = header[kPasswordAt + i] ^ static_cast<uint8_t>(mask >> (8 * (i % 4)));
    }
    size_t units = 0;
    while (units < 20 && (raw[2 * units] | raw[2 * units + 1]) != 0) {
        ++units;
    }
    return DecodeJet4Text(std::span<const uint8_t>(raw.data(), 2 * units));
}

std::string Jet3Password(std::span<uint8_t> header, int codePage) {
    const auto raw = header.subspan(kPasswordAt, 20);
    size_t n = 0;
    while (n < raw.size() && raw[n] != 0) {
        ++n;
    }
    try {
        return CCodePageText(codePage).ToUtf8(raw.first(n));
    } catch (const CJetFormatError&) {
        // Not text in its code page: compared as CP932 with the bad bytes marked, no password
        // typed can match it.
        return CCodePageText::Cp932().ToUtf8Replacing(raw.first(n));
    }
}

}  // namespace

std::string PasswordFromConnect(const std::string& connect) {
    size_t at = 0;
    while (at <= connect.size()) {
        const size_t end = std::min(connect.find(';', at), connect.size());
        const std::string part = connect.substr(at, end - at);
        if (part.size() >= 4 && strncasecmp(part.c_str(), "PWD=", 4) == 0) {
            return part.substr(4);
        }
        at = end + 1;
    }
    return {};
}

std::vector<uint8_t> Rc4Keystream(std::span<const uint8_t> key, size_t n) {
    std::array<uint8_t, 256> s;
    for (size_t i = 0; i < s.size(); ++i) {
        s[i] = static_cast<uint8_t>(i);
    }
    for (size_t i = 0, j = 0; i < s.size(); ++i) {
        j = (j + s[i] + key[i % key.size()]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    std::vector<uint8_t> stream(n);
    for (size_t k = 0, i = 0, j = 0; k < n; ++k) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        stream[k] = s[(s[i] + s[j]) & 0xFF];
    }
    return stream;
}

CJetHeader ParseJetHeader(std::span<const uint8_t> firstBytes) {
    const auto signedAs = [&](std::string_view signature) {
        return firstBytes.size() >= kSignatureAt + signature.size() &&
               std::memcmp(firstBytes.data() + kSignatureAt, signature.data(), signature.size()) ==
                   0;
    };
    const bool accdb = signedAs(kAccdbSignature);
    if (!accdb && !signedAs(kSignature)) {
        throw CJetFormatError("it has no \"Standard Jet DB\" signature");
    }
    if (firstBytes.size() < kJetHeaderSize) {
        throw CJetFormatError("its header is cut short");
    }
    CJetHeader header;
    const uint8_t version = firstBytes[kVersionAt];
    if (accdb) {
        // Access 2007 (2) to Access 2019 (6), as libmdb knows them.
        if (version < 2 || version > 6) {
            throw CJetFormatError("its format version " + std::to_string(version) +
                                  " is not one of Access 2007 to Access 2019");
        }
        header.accdb = true;
    } else if (version > 1) {
        throw CJetFormatError("its format version " + std::to_string(version) +
                              " is not Access 97 or Access 2000-2003");
    }
    header.version = version == 0 ? JetVersion::Jet3 : JetVersion::Jet4;
    const size_t maskedLength = header.version == JetVersion::Jet3 ? 126 : 128;
    std::vector<uint8_t> bytes(firstBytes.begin(), firstBytes.begin() + kJetHeaderSize);
    const std::vector<uint8_t> keystream = Rc4Keystream(kHeaderKey, maskedLength);
    for (size_t i = 0; i < maskedLength; ++i) {
        bytes[kMaskedAt + i] ^= keystream[i];
    }
    if (accdb) {
        // A database password encrypts an .accdb, and its pages are then unreadable without it.
        // The file says so by a key other than zero; a plain file has no password to check.
        header.encodingKey = jetbytes::Le32(bytes, kEncodingKeyAt);
        if (header.encodingKey == 0) {
            return header;
        }
        const size_t infoAt = kEncryptionInfoLengthAt + 2;
        if (firstBytes.size() < infoAt ||
            firstBytes.size() - infoAt < jetbytes::Le16(firstBytes, kEncryptionInfoLengthAt)) {
            throw CDamagedEncryptionError("the description of its encryption is cut short");
        }
        const auto info =
            firstBytes.subspan(infoAt, jetbytes::Le16(firstBytes, kEncryptionInfoLengthAt));
        try {
            (void)ParseAgileDescriptor(info);  // refuses every other kind by name
        } catch (const CEncryptedDatabaseError&) {
            throw;
        } catch (const CJetFormatError& e) {
            throw CDamagedEncryptionError(e.what());
        }
        header.encrypted = true;
        header.encryptionInfo.assign(info.begin(), info.end());
        return header;
    }
    if (header.version == JetVersion::Jet4) {
        header.creationDate = jetbytes::LeDouble(bytes, kCreationDateAt);
        header.password = Jet4Password(bytes, header.creationDate);
    } else {
        header.codePage = jetbytes::Le16(bytes, kCodePageAt);
        header.password = Jet3Password(bytes, header.codePage);
    }
    return header;
}
