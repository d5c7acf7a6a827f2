#pragma once

#include <cstdint>
#include <span>

#include "dbaccess/access/jet/CodePageText.h"
#include "dbaccess/access/jet/FieldValue.h"
#include "dbaccess/access/jet/JetMemo.h"

// The two row layouts we read: Access 97 (Jet 3) and Access 2000-2003 (Jet 4). The files of
// Access 2007 and later (.accdb) keep their rows in the Access 2000 layout and read as Jet 4.
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
// Access 2007 and later. A complex column (attachments, multi-value lookups) holds a key into
// a hidden table; libmdb names no type after it, so the later two are ours.
constexpr int kComplex = 0x12;
constexpr int kLargeNumber = 0x13;   // Access 2016+: 64-bit signed integer
constexpr int kExtendedDate = 0x14;  // Access 2019+: Date/Time Extended, stored as text
}  // namespace jettype

// True for the column types DecodeJetField turns into a value.
bool IsReadableJetType(int columnType) noexcept;
// The Access name of a column type, for messages ("Long Integer", "OLE Object", ...).
const char* JetTypeName(int columnType) noexcept;

// What decoding a field needs beyond its bytes: the code page of Access 97 text (CP932 when
// null) and, for a Decimal column, its scale (digits after the point).
struct CJetFieldFormat {
    const CCodePageText* jet3Text = nullptr;
    int decimalScale = 0;
};

// Decodes one field of a row from its raw bytes. isNull is the row's null bit for the column
// (clear = null); a Yes/No value is that bit itself and is never NULL. Any other column is NULL
// when its bit says so, whatever its type, even one DecodeJetField cannot read. Text and Memo come
// back as UTF-8: Jet 4 from UTF-16LE or the compressed form, Jet 3 from the file's code page. A
// Decimal comes back as its exact decimal text, a Replication ID as text in Access's form
// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" (upper-case hex), a Large Number as its 64-bit
// integer and a Date/Time Extended as its exact 100-nanosecond count (see ExtendedDateTicks).
// Memo data outside the row is
// fetched through readLval. Throws CJetFormatError when the bytes are too short for the type,
// a memo is broken or Access 97 text is not valid in its code page, and for a column type
// outside IsReadableJetType.
CFieldValue DecodeJetField(JetVersion version, int columnType, bool isNull,
                           std::span<const uint8_t> bytes, const LvalRowReader& readLval,
                           const CJetFieldFormat& format = {});

// Decodes one field of a calculated column (Access 2010 and later), whose value Access stores
// inside a wrapper: 16 bytes, the value's length as a 32-bit little-endian number, the value's
// own bytes, and 3 bytes more; a fixed-size result is stored as a field of 39 bytes. The value
// is decoded as DecodeJetField decodes the column's type, except that a Yes/No result is
// its first byte (not zero: true) instead of the null bit, and a Decimal result is stored as a
// 16-bit length, the scale, a sign byte (not zero: negative) and the magnitude in up to 16
// bytes: a leading 4-byte group when the length is not a multiple of 8, then 8-byte groups,
// each group little-endian, the most significant group first. A wrapper shorter than its
// header is read as the value's own bytes. Throws as DecodeJetField does.
CFieldValue DecodeCalculatedJetField(JetVersion version, int columnType, bool isNull,
                                     std::span<const uint8_t> bytes, const LvalRowReader& readLval,
                                     const CJetFieldFormat& format = {});

// The exact decimal text of a Decimal value's 17 stored bytes (a sign byte, non-zero for
// negative, then a 128-bit magnitude as four little-endian 32-bit words, the most significant
// first) with scale digits after the point: "." as the separator, no trailing zeros, no
// exponent ("-12.5", "0.001", "0"). Exposed for the tests.
std::string DecimalText(std::span<const uint8_t, 17> stored, int scale);

// The 100-nanosecond units since 0001-01-01 00:00:00 of a Date/Time Extended value, from its
// stored text "DDDDDDDDDDDDDDDDDDD:TTTTTTTTTTTTTTTTTTT:P": 19 digits of whole days since
// 0001-01-01, 19 digits of the time of day in 100-nanosecond units, and the digit of the
// displayed precision, which the value does not depend on. Throws CJetFormatError when the
// bytes are not that text or name a day past 9999-12-31 or a time past the end of the day.
int64_t ExtendedDateTicks(std::span<const uint8_t> stored);
