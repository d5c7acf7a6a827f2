#pragma once

#include <cstdint>
#include <span>

#include "dbaccess/FieldValue.h"
#include "dbaccess/JetMemo.h"

// The two .mdb generations we read: Access 97 (Jet 3) and Access 2000-2003 (Jet 4).
enum class JetVersion { Jet3, Jet4 };

// Access column type codes as stored in the table definition (the same numbers libmdb uses).
namespace jettype {
constexpr int kBoolean = 0x01;
constexpr int kByte = 0x02;
constexpr int kInteger = 0x03;
constexpr int kLong = 0x04;
constexpr int kCurrency = 0x05;
constexpr int kSingle = 0x06;
constexpr int kDouble = 0x07;
constexpr int kDateTime = 0x08;
constexpr int kBinary = 0x09;
constexpr int kText = 0x0A;
constexpr int kOle = 0x0B;
constexpr int kMemo = 0x0C;
constexpr int kReplicationId = 0x0F;
constexpr int kNumeric = 0x10;
}  // namespace jettype

// True for the column types DecodeJetField turns into a value.
bool IsReadableJetType(int columnType) noexcept;
// The Access name of a column type, for messages ("Long Integer", "OLE Object", ...).
const char* JetTypeName(int columnType) noexcept;

// Decodes one field of a row from its raw bytes. isNull is the row's null bit for the column
// (clear = null); a Yes/No value is that bit itself and is never NULL. Text and Memo come back
// as UTF-8: Jet 4 from UTF-16LE or the compressed form, Jet 3 from CP932. Memo data outside
// the row is fetched through readLval. Throws JetFormatError when the bytes are too short for
// the type or a memo is broken, and for a column type outside IsReadableJetType.
CFieldValue DecodeJetField(JetVersion version, int columnType, bool isNull,
                           std::span<const uint8_t> bytes, const LvalRowReader& readLval);
