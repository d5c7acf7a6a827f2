#include "dbaccess/JetValue.h"

#include <string>

#include "dbaccess/Cp932Text.h"
#include "dbaccess/JetBytes.h"
#include "dbaccess/JetFormatError.h"
#include "dbaccess/JetText.h"

namespace {

// Checks a fixed-size value has all its bytes before it is read.
std::span<const uint8_t> Need(std::span<const uint8_t> bytes, size_t width, int columnType) {
    if (bytes.size() < width) {
        throw JetFormatError(std::string("a ") + JetTypeName(columnType) + " value needs " +
                             std::to_string(width) + (width == 1 ? " byte" : " bytes") +
                             ", the row holds " + std::to_string(bytes.size()));
    }
    return bytes;
}

std::string DecodeText(JetVersion version, std::span<const uint8_t> bytes) {
    return version == JetVersion::Jet4 ? DecodeJet4Text(bytes) : Cp932ToUtf8(bytes);
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
        default:
            return "unknown";
    }
}

CFieldValue DecodeJetField(JetVersion version, int columnType, bool isNull,
                           std::span<const uint8_t> bytes, const LvalRowReader& readLval) {
    using namespace jetbytes;
    if (!IsReadableJetType(columnType)) {
        throw JetFormatError(std::string("the column type ") + JetTypeName(columnType) + " (" +
                             std::to_string(columnType) + ") cannot be read");
    }
    if (columnType == jettype::kBoolean) {
        return CFieldValue::Boolean(!isNull);
    }
    if (isNull) {
        return CFieldValue::Null();
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
            return CFieldValue::Text(DecodeText(version, bytes));
        case jettype::kMemo: {
            const std::vector<uint8_t> data = ReadMemoBytes(bytes, readLval);
            return CFieldValue::Text(DecodeText(version, data));
        }
        default:
            throw JetFormatError("unreachable column type");
    }
}
