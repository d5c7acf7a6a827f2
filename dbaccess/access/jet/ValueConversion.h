#pragma once

#include <cstdint>
#include <string>

#include "dbaccess/access/jet/FieldValue.h"
#include "dbaccess/access/jet/OleDate.h"

// Conversions of a field value to the type its column kind writes. A value whose type fits
// the kind is taken as it is; any other is converted the way OLE Automation's
// VariantChangeType converts a VARIANT, so no member is ever read as the wrong type.
// A never-set (Empty) value converts as VariantChangeType converts VT_EMPTY: to 0, to an
// empty text, to day 0 (1899/12/30 00:00:00). A NULL value is the caller's business: each
// function treats it like Empty.
// Each throws COleException naming the value's type when the value cannot be converted.

// The 32-bit integer for an integer column. Byte is unsigned; Yes/No is -1 or 0; Single,
// Double, Date, Currency and Decimal are rounded half to even on their exact value, Date/Time
// Extended on its OLE date; Large Number must fit; a text must hold a decimal number, blanks
// around it allowed ("06" is 6, " -1 " is -1, "2.5" is 2). Throws COleException for a text
// that is no such number (type mismatch) and for a result outside the 32-bit range (overflow).
int32_t ConvertToInteger(const CFieldValue& value);

// The text for a text column. Text is cut at its first zero byte. Numbers are written in
// decimal: Currency, Decimal and Large Number with their exact digits and no trailing zeros
// ("2.5"), Single and Double with the fewest significant digits, 7 (Single) or 15 (Double) at
// least, that read back as the same number ("0.1", "1E+20"); Yes/No as -1 or 0; a date (Date/Time
// Extended too) as its date-time text.
std::string ConvertToText(const CFieldValue& value);

// The calendar fields for a date-time column. A Date/Time Extended value gives its own fields
// (see ExtendedDateToFields). Numbers count days as an OLE date does (a number outside the
// convertible range gives invalid fields, as such a date does). A text must hold
// "yyyy/mm/dd" or "yyyy-mm-dd", optionally followed by "hh:mm" or "hh:mm:ss", blanks around it
// allowed, and name a real date from the year 100 to 9999; any other text throws
// COleException (type mismatch).
CDateTimeFields ConvertToDateTime(const CFieldValue& value);
