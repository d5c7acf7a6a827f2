#include "dbaccess/access/jet/JetValue.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <string_view>

#include "dbaccess/access/jet/JetBytes.h"
#include "dbaccess/access/jet/JetFormatError.h"
#include "dbaccess/access/jet/JetText.h"

namespace {

// Checks a fixed-size value has all its bytes before it is read.
std::span<const uint8_t> Need(std::span<const uint8_t> bytes, size_t width, int columnType) {
    if (bytes.size() < width) {
        const char* name = JetTypeName(columnType);
        const bool vowel = std::string_view("AEIOU").find(name[0]) != std::string_view::npos;
        throw CJetFormatError(std::string(vowel ? "an " : "a ") + name + " value needs " +
                              std::to_string(width) + (width == 1 ? " byte" : " bytes") +
                              ", the row holds " + std::to_string(bytes.size()));
    }
    return bytes;
}

std::string DecodeText(JetVersion version, std::span<const uint8_t> bytes,
                       const CJetFieldFormat& format) {
    if (version == JetVersion::Jet4) {
        return DecodeJet4Text(bytes);
    }
    return (format.jet3Text ? *format.jet3Text : CCodePageText::Cp932()).ToUtf8(bytes);
}

// Replication ID: Data1 (32-bit), Data2 and Data3 (16-bit) little-endian, then 8 bytes.
std::string GuidText(std::span<const uint8_t> b) {
    char text[39];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  jetbytes::Le32(b, 0), jetbytes::Le16(b, 4), jetbytes::Le16(b, 6), b[8], b[9],
                  b[10], b[11], b[12], b[13], b[14], b[15]);
    return text;
}

}  // namespace

bool IsReadableJetType(int columnType) noexcept {
    switch (columnType) {
        case jettype::kBoolean:
        case jettype::kByte:
        case jettype::kInteger:
        case jettype::kLong:
        case jettype::kCurrency:
        case jettype::kSingle:
        case jettype::kDouble:
        case jettype::kDateTime:
        case jettype::kText:
        case jettype::kMemo:
        case jettype::kReplicationId:
        case jettype::kNumeric:
        case jettype::kLargeNumber:
        case jettype::kExtendedDate:
            return true;
        default:
            return false;
    }
}

const char* JetTypeName(int columnType) noexcept {
    switch (columnType) {
        case jettype::kBoolean:
            return "Yes/No";
        case jettype::kByte:
            return "Byte";
        case jettype::kInteger:
            return "Integer";
        case jettype::kLong:
            return "Long Integer";
        case jettype::kCurrency:
            return "Currency";
        case jettype::kSingle:
            return "Single";
        case jettype::kDouble:
            return "Double";
        case jettype::kDateTime:
            return "Date/Time";
        case jettype::kBinary:
            return "Binary";
        case jettype::kText:
            return "Text";
        case jettype::kOle:
            return "OLE Object";
        case jettype::kMemo:
            return "Memo";
        case jettype::kReplicationId:
            return "Replication ID";
        case jettype::kNumeric:
            return "Decimal";
        case jettype::kComplex:
            return "Attachment or multi-value (complex)";
        case jettype::kLargeNumber:
            return "Large Number";
        case jettype::kExtendedDate:
            return "Date/Time Extended";
        default:
            return "unknown";
    }
}

std::string DecimalText(std::span<const uint8_t, 17> stored, int scale) {
    // The magnitude as four 32-bit words, most significant first; divided by 10 repeatedly.
    uint32_t words[4];
    for (int i = 0; i < 4; ++i) {
        words[i] = jetbytes::Le32(stored, 1 + 4 * static_cast<size_t>(i));
    }
    std::string digits;
    for (;;) {
        uint64_t rest = 0;
        bool zero = true;
        for (uint32_t& word : words) {
            const uint64_t current = (rest << 32) | word;
            word = static_cast<uint32_t>(current / 10);
            rest = current % 10;
            zero = zero && word == 0;
        }
        digits.insert(digits.begin(), static_cast<char>('0' + rest));
        if (zero) {
            break;
        }
    }
    scale = std::max(scale, 0);
    if (digits.size() <= static_cast<size_t>(scale)) {
        digits.insert(0, static_cast<size_t>(scale) + 1 - digits.size(), '0');
    }
    std::string whole = digits.substr(0, digits.size() - static_cast<size_t>(scale));
    std::string fraction = digits.substr(whole.size());
    while (!fraction.empty() && fraction.back() == '0') {
        fraction.pop_back();
    }
    const bool isZero = whole == "0" && fraction.empty();
    return (stored[0] != 0 && !isZero ? "-" : "") + whole + (fraction.empty() ? "" : ".") +
           fraction;
}

int64_t ExtendedDateTicks(std::span<const uint8_t> stored) {
    constexpr size_t kDigits = 19;
    constexpr size_t kLength = 2 * kDigits + 3;
    constexpr int64_t kLastDay = 3652058;  // 9999-12-31
    constexpr int64_t kTicksPerDay = 864000000000;
    // A field of 19 digits; any value it may validly hold has a leading zero, so the 18 after
    // it are read, which cannot overflow.
    const auto number = [&](size_t at, int64_t& value) {
        value = 0;
        for (size_t i = at; i < at + kDigits; ++i) {
            if (stored[i] < '0' || stored[i] > '9' || (i == at && stored[i] != '0')) {
                return false;
            }
            value = value * 10 + (stored[i] - '0');
        }
        return true;
    };
    int64_t day = 0;
    int64_t time = 0;
    if (stored.size() < kLength || stored[kDigits] != ':' || stored[2 * kDigits + 1] != ':' ||
        stored[kLength - 1] < '0' || stored[kLength - 1] > '9' || !number(0, day) ||
        !number(kDigits + 1, time) || day > kLastDay || time >= kTicksPerDay) {
        throw CJetFormatError("a Date/Time Extended value is not in its stored form");
    }
    return day * kTicksPerDay + time;
}

CFieldValue DecodeJetField(JetVersion version, int columnType, bool isNull,
                           std::span<const uint8_t> bytes, const LvalRowReader& readLval,
                           const CJetFieldFormat& format) {
    using namespace jetbytes;
    if (columnType == jettype::kBoolean) {
        return CFieldValue::Boolean(!isNull);
    }
    if (isNull) {
        return CFieldValue::Null();
    }
    if (!IsReadableJetType(columnType)) {
        throw CJetFormatError(std::string("the column type ") + JetTypeName(columnType) + " (" +
                              std::to_string(columnType) + ") cannot be read");
    }
    switch (columnType) {
        case jettype::kByte:
            return CFieldValue::Byte(Need(bytes, 1, columnType)[0]);
        case jettype::kInteger:
            return CFieldValue::Integer(static_cast<int16_t>(Le16(Need(bytes, 2, columnType), 0)));
        case jettype::kLong:
            return CFieldValue::Long(static_cast<int32_t>(Le32(Need(bytes, 4, columnType), 0)));
        case jettype::kCurrency:
            return CFieldValue::Currency(static_cast<int64_t>(Le64(Need(bytes, 8, columnType), 0)));
        case jettype::kSingle:
            return CFieldValue::Single(LeFloat(Need(bytes, 4, columnType), 0));
        case jettype::kDouble:
            return CFieldValue::Double(LeDouble(Need(bytes, 8, columnType), 0));
        case jettype::kDateTime:
            return CFieldValue::Date(LeDouble(Need(bytes, 8, columnType), 0));
        case jettype::kText:
            return CFieldValue::Text(DecodeText(version, bytes, format));
        case jettype::kMemo: {
            const std::vector<uint8_t> data = ReadMemoBytes(bytes, readLval);
            return CFieldValue::Text(DecodeText(version, data, format));
        }
        case jettype::kReplicationId:
            return CFieldValue::Text(GuidText(Need(bytes, 16, columnType)));
        case jettype::kNumeric:
            return CFieldValue::Decimal(
                DecimalText(Need(bytes, 17, columnType).first<17>(), format.decimalScale));
        case jettype::kLargeNumber:
            return CFieldValue::LargeNumber(
                static_cast<int64_t>(Le64(Need(bytes, 8, columnType), 0)));
        case jettype::kExtendedDate:
            return CFieldValue::ExtendedDate(ExtendedDateTicks(bytes));
        default:
            throw CJetFormatError("unreachable column type");
    }
}

namespace {

constexpr size_t kCalculatedLengthAt = 16;
constexpr size_t kCalculatedValueAt = 20;

// The value's own bytes inside a calculated field's wrapper.
std::span<const uint8_t> Unwrapped(std::span<const uint8_t> bytes) {
    if (bytes.size() < kCalculatedValueAt) {
        return bytes;
    }
    const uint32_t length = jetbytes::Le32(bytes, kCalculatedLengthAt);
    return bytes.subspan(kCalculatedValueAt,
                         std::min<size_t>(length, bytes.size() - kCalculatedValueAt));
}

// A calculated Decimal in the 17-byte form of a stored Decimal (DecimalText), with its scale.
std::pair<std::array<uint8_t, 17>, int> CalculatedDecimal(std::span<const uint8_t> value) {
    if (value.size() < 4) {
        throw CJetFormatError("a calculated Decimal value is cut short");
    }
    const int16_t total = static_cast<int16_t>(jetbytes::Le16(value, 0));
    const size_t available = value.size() - 4;
    size_t length = (total > 0 ? static_cast<size_t>(total) : value.size() - 2) - 2;
    length = std::min<size_t>(length / 4 * 4, 16);
    if (length > available) {
        throw CJetFormatError("a calculated Decimal value is cut short");
    }
    // The magnitude, most significant byte first.
    std::array<uint8_t, 16> magnitude{};
    const size_t start = 16 - length;
    std::copy_n(value.begin() + 4, length, magnitude.begin() + static_cast<std::ptrdiff_t>(start));
    size_t group = start;
    if (length % 8 != 0) {
        std::reverse(magnitude.begin() + static_cast<std::ptrdiff_t>(group),
                     magnitude.begin() + static_cast<std::ptrdiff_t>(group + 4));
        group += 4;
    }
    for (; group < 16; group += 8) {
        std::reverse(magnitude.begin() + static_cast<std::ptrdiff_t>(group),
                     magnitude.begin() + static_cast<std::ptrdiff_t>(group + 8));
    }
    std::array<uint8_t, 17> stored{};
    stored[0] = value[3] != 0 ? 0x80 : 0;
    for (size_t word = 0; word < 4; ++word) {
        for (size_t i = 0; i < 4; ++i) {
            stored[1 + 4 * word + i] = magnitude[4 * word + 3 - i];
        }
    }
    return {stored, value[2]};
}

}  // namespace

CFieldValue DecodeCalculatedJetField(JetVersion version, int columnType, bool isNull,
                                     std::span<const uint8_t> bytes, const LvalRowReader& readLval,
                                     const CJetFieldFormat& format) {
    if (columnType == jettype::kBoolean) {
        const auto value = Unwrapped(bytes);
        return CFieldValue::Boolean(!value.empty() && value[0] != 0);
    }
    // An expression whose result is Null stores a wrapper around nothing; text cannot tell it
    // from an empty text, and reads as empty.
    if (isNull || (columnType != jettype::kText && columnType != jettype::kMemo &&
                   bytes.size() >= kCalculatedValueAt && Unwrapped(bytes).empty())) {
        return CFieldValue::Null();
    }
    if (columnType == jettype::kNumeric) {
        const auto [stored, scale] = CalculatedDecimal(Unwrapped(bytes));
        return CFieldValue::Decimal(DecimalText(stored, scale));
    }
    if (columnType == jettype::kMemo) {
        const std::vector<uint8_t> data = ReadMemoBytes(bytes, readLval);
        return CFieldValue::Text(DecodeText(version, Unwrapped(data), format));
    }
    return DecodeJetField(version, columnType, false, Unwrapped(bytes), readLval, format);
}
