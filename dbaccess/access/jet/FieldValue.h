#pragma once

#include <cstdint>
#include <string>

// The type of a field value. It follows the Access column type the value was read from;
// Null stands for a null field of any type. Empty is a value that was never set.
enum class FieldType {
    Empty,
    Null,
    Text,          // Text and Memo: UTF-8, whole
    Long,          // Long Integer, 32-bit signed
    Integer,       // Integer, 16-bit signed
    Byte,          // Byte, unsigned 8-bit
    Boolean,       // Yes/No
    Single,        // 32-bit float
    Double,        // 64-bit float
    Currency,      // 64-bit integer in units of 1/10,000
    Date,          // Date/Time: days since 1899-12-30 as stored
    Decimal,       // Decimal: its exact decimal text ("-12.5"), kept as text so nothing is lost
    LargeNumber,   // Large Number, 64-bit signed
    ExtendedDate,  // Date/Time Extended: 100-nanosecond units since 0001-01-01 00:00:00
};

// One field value as the source delivers it. Nothing is converted here: a value keeps the
// type of its column, and rendering decides what becomes of it.
class CFieldValue {
public:
    CFieldValue() = default;

    static CFieldValue Null() { return CFieldValue(FieldType::Null); }
    static CFieldValue Text(std::string text) {
        CFieldValue v(FieldType::Text);
        v.m_text = std::move(text);
        return v;
    }
    static CFieldValue Decimal(std::string exactText) {
        CFieldValue v(FieldType::Decimal);
        v.m_text = std::move(exactText);
        return v;
    }
    static CFieldValue Long(int32_t n) { return Integral(FieldType::Long, n); }
    static CFieldValue Integer(int16_t n) { return Integral(FieldType::Integer, n); }
    static CFieldValue Byte(uint8_t n) { return Integral(FieldType::Byte, n); }
    static CFieldValue Boolean(bool b) { return Integral(FieldType::Boolean, b ? 1 : 0); }
    static CFieldValue Currency(int64_t tenThousandths) {
        return Integral(FieldType::Currency, tenThousandths);
    }
    static CFieldValue Single(float f) { return Real(FieldType::Single, f); }
    static CFieldValue Double(double d) { return Real(FieldType::Double, d); }
    static CFieldValue Date(double days) { return Real(FieldType::Date, days); }
    static CFieldValue LargeNumber(int64_t n) { return Integral(FieldType::LargeNumber, n); }
    static CFieldValue ExtendedDate(int64_t ticks) {
        return Integral(FieldType::ExtendedDate, ticks);
    }

    FieldType GetType() const noexcept { return m_type; }
    bool IsNull() const noexcept { return m_type == FieldType::Null; }

    // The members below read the value of the matching type only; reading another type's
    // member gives that member's zero value.
    // Text, and the exact decimal text of a Decimal.
    const std::string& GetText() const noexcept { return m_text; }
    // Moves the text out of a Text value (the value keeps an empty text), to spare a copy.
    std::string TakeText() noexcept { return std::move(m_text); }
    // Long, Integer, Byte, Boolean (1 or 0), Currency (in 1/10,000 units), Large Number and
    // Date/Time Extended (in 100-nanosecond units).
    int64_t GetInteger() const noexcept { return m_integer; }
    bool GetBoolean() const noexcept { return m_integer != 0; }
    // Single, Double and Date.
    double GetReal() const noexcept { return m_real; }

    friend bool operator==(const CFieldValue&, const CFieldValue&) = default;

private:
    explicit CFieldValue(FieldType type) : m_type(type) {}
    static CFieldValue Integral(FieldType type, int64_t n) {
        CFieldValue v(type);
        v.m_integer = n;
        return v;
    }
    static CFieldValue Real(FieldType type, double d) {
        CFieldValue v(type);
        v.m_real = d;
        return v;
    }

    FieldType m_type = FieldType::Empty;
    int64_t m_integer = 0;
    double m_real = 0.0;
    std::string m_text;
};

// The name of a field type for messages ("Text", "Long Integer", ...).
const char* FieldTypeName(FieldType type) noexcept;
