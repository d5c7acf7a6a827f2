#include "dbaccess/access/jet/ValueConversion.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

#include "dbaccess/Exceptions.h"
#include "dbaccess/Translate.h"
#include "dbaccess/Utf8Cut.h"

namespace {

constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int64_t kCurrencyScale = 10000;  // Currency counts 1/10,000 units
constexpr size_t kLongestQuotedText = 40;  // bytes of a text value quoted in a message

// Text values end at their first zero byte, as a C string would.
std::string_view CutAtZero(const std::string& text) {
    return std::string_view(text.data(), std::min(text.find('\0'), text.size()));
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string DecimalText(int64_t n) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, n);
    return std::string(buffer, result.ptr);
}

// "Text value "abc"", "Double value 3E+10": a long text is cut on a character boundary.
std::string DescribeValue(const CFieldValue& value) {
    std::string description = std::string(FieldTypeName(value.GetType())) + " value";
    if (value.GetType() == FieldType::Text) {
        std::string_view text = CutAtZero(value.GetText());
        bool cut = false;
        if (text.size() > kLongestQuotedText) {
            text = text.substr(0, Utf8CutLength(text, kLongestQuotedText));
            cut = true;
        }
        description += " \"";
        description += text;
        description += cut ? "...\"" : "\"";
    } else if (value.GetType() != FieldType::Empty) {
        description += ' ';
        description += ConvertToText(value);
    }
    return description;
}

// english: the sentence, with %1 for the value.
[[noreturn]] void ThrowTypeMismatch(const CFieldValue& value, const char* english) {
    throw COleException(TrFormat(english, {DescribeValue(value)}));
}

[[noreturn]] void ThrowOverflow(const CFieldValue& value) {
    throw COleException(TrFormat("The %1 is outside the range of a 32-bit integer (overflow)",
                                 {DescribeValue(value)}));
}

int32_t CheckedInt32(int64_t n, const CFieldValue& value) {
    if (n < kInt32Min || n > kInt32Max) {
        ThrowOverflow(value);
    }
    return static_cast<int32_t>(n);
}

// Half to even on the exact double: d - floor(d) is exact, so a tie is seen as a tie.
int32_t RoundRealToInt32(double d, const CFieldValue& value) {
    double rounded = std::floor(d);
    const double rest = d - rounded;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(rounded, 2.0) != 0.0)) {
        rounded += 1.0;
    }
    // Written so that NaN fails too.
    if (!(rounded >= static_cast<double>(kInt32Min) && rounded <= static_cast<double>(kInt32Max))) {
        ThrowOverflow(value);
    }
    return static_cast<int32_t>(rounded);
}

// Half to even on the exact 4-decimal value.
int32_t RoundCurrencyToInt32(int64_t units, const CFieldValue& value) {
    int64_t whole = units / kCurrencyScale;
    const int64_t rest = units % kCurrencyScale;  // same sign as units
    const bool odd = whole % 2 != 0;
    if (rest > kCurrencyScale / 2 || (rest == kCurrencyScale / 2 && odd)) {
        ++whole;
    } else if (rest < -kCurrencyScale / 2 || (rest == -kCurrencyScale / 2 && odd)) {
        --whole;
    }
    return CheckedInt32(whole, value);
}

// A decimal number with an optional sign and fraction, blanks around it; the fraction rounds
// half to even. Thousands separators, currency signs and exponents are not accepted: what
// VariantChangeType makes of them depends on the Windows locale.
int32_t IntegerFromText(const CFieldValue& value) {
    const std::string_view text = TrimBlanks(CutAtZero(value.GetText()));
    size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    bool anyDigit = false;
    bool tooLarge = false;
    int64_t magnitude = 0;
    for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
        anyDigit = true;
        magnitude = magnitude * 10 + (text[pos] - '0');
        if (magnitude > kInt32Max + 1) {
            tooLarge = true;
            magnitude = kInt32Max + 1;
        }
    }
    int firstFractionDigit = 0;
    bool restNonZero = false;
    if (pos < text.size() && text[pos] == '.') {
        for (size_t first = ++pos; pos < text.size() && IsDigit(text[pos]); ++pos) {
            anyDigit = true;
            if (pos == first) {
                firstFractionDigit = text[pos] - '0';
            } else if (text[pos] != '0') {
                restNonZero = true;
            }
        }
    }
    if (!anyDigit || pos != text.size()) {
        ThrowTypeMismatch(value,
                          TrNoop("The %1 cannot be converted to an integer (type mismatch)"));
    }
    if (firstFractionDigit > 5 ||
        (firstFractionDigit == 5 && (restNonZero || magnitude % 2 != 0))) {
        ++magnitude;
    }
    if (tooLarge) {
        ThrowOverflow(value);
    }
    return CheckedInt32(negative ? -magnitude : magnitude, value);
}

// The exact 4-decimal value without trailing zeros: 2.5, -0.0001, 12.
std::string CurrencyText(int64_t units) {
    const bool negative = units < 0;
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(units) : units;
    std::string text = negative ? "-" : "";
    char buffer[24];
    const auto whole = std::to_chars(buffer, buffer + sizeof buffer, magnitude / kCurrencyScale);
    text.append(buffer, whole.ptr);
    int fraction = static_cast<int>(magnitude % kCurrencyScale);
    if (fraction != 0) {
        char digits[5] = {'.', '0', '0', '0', '0'};
        for (int i = 4; i >= 1; --i, fraction /= 10) {
            digits[i] = static_cast<char>('0' + fraction % 10);
        }
        size_t length = 5;
        while (digits[length - 1] == '0') {
            --length;
        }
        text.append(digits, length);
    }
    return text;
}

// The fewest significant digits, from minDigits up, that read back as the same number;
// minDigits is what VariantChangeType writes (7 for Single, 15 for Double), so everyday
// values look as they do there ("0.1", "1E+20") and the rest stay exact.
template <typename Real>
std::string RealText(Real real, int minDigits) {
    char buffer[64];
    char* end = buffer;
    for (int digits = minDigits; digits <= std::numeric_limits<Real>::max_digits10; ++digits) {
        end =
            std::to_chars(buffer, buffer + sizeof buffer, real, std::chars_format::general, digits)
                .ptr;
        Real readBack{};
        std::from_chars(buffer, end, readBack);
        if (readBack == real || !std::isfinite(real)) {
            break;
        }
    }
    for (char* c = buffer; c != end; ++c) {
        if (*c == 'e') {
            *c = 'E';
        }
    }
    return std::string(buffer, end);
}

int ReadNumber(std::string_view text, size_t& pos, size_t minDigits, size_t maxDigits) {
    int number = 0;
    size_t digits = 0;
    for (; pos < text.size() && IsDigit(text[pos]) && digits < maxDigits; ++pos, ++digits) {
        number = number * 10 + (text[pos] - '0');
    }
    return digits >= minDigits ? number : -1;
}

bool Expect(std::string_view text, size_t& pos, char c) {
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

// "yyyy/mm/dd" or "yyyy-mm-dd", then optionally blanks and "hh:mm" or "hh:mm:ss".
bool ParseDateTimeText(std::string_view text, CDateTimeFields& fields) {
    text = TrimBlanks(text);
    size_t pos = 0;
    fields.nYear = ReadNumber(text, pos, 1, 4);
    const char separator = pos < text.size() ? text[pos] : '\0';
    if (separator != '/' && separator != '-') {
        return false;
    }
    ++pos;
    fields.nMonth = ReadNumber(text, pos, 1, 2);
    if (!Expect(text, pos, separator)) {
        return false;
    }
    fields.nDay = ReadNumber(text, pos, 1, 2);
    fields.nHour = fields.nMinute = fields.nSecond = 0;
    if (pos < text.size()) {
        if (!IsBlank(text[pos])) {
            return false;
        }
        while (pos < text.size() && IsBlank(text[pos])) {
            ++pos;
        }
        fields.nHour = ReadNumber(text, pos, 1, 2);
        if (!Expect(text, pos, ':')) {
            return false;
        }
        fields.nMinute = ReadNumber(text, pos, 2, 2);
        if (Expect(text, pos, ':')) {
            fields.nSecond = ReadNumber(text, pos, 2, 2);
        }
    }
    return pos == text.size() && fields.nYear >= 100 && fields.nYear <= 9999 &&
           fields.nMonth >= 1 && fields.nDay >= 1 &&
           fields.nDay <= DaysInMonth(fields.nYear, fields.nMonth) && fields.nHour >= 0 &&
           fields.nHour < 24 && fields.nMinute >= 0 && fields.nMinute < 60 && fields.nSecond >= 0 &&
           fields.nSecond < 60;
}

}  // namespace

int32_t ConvertToInteger(const CFieldValue& value) {
    switch (value.GetType()) {
        case FieldType::Long:
        case FieldType::Integer:
        case FieldType::Byte:
            return CheckedInt32(value.GetInteger(), value);
        case FieldType::Boolean:
            return value.GetBoolean() ? -1 : 0;
        case FieldType::Currency:
            return RoundCurrencyToInt32(value.GetInteger(), value);
        case FieldType::LargeNumber:
            return CheckedInt32(value.GetInteger(), value);
        case FieldType::Single:
        case FieldType::Double:
        case FieldType::Date:
            return RoundRealToInt32(value.GetReal(), value);
        case FieldType::ExtendedDate:
            return RoundRealToInt32(ExtendedDateToOleDate(value.GetInteger()), value);
        case FieldType::Text:
        case FieldType::Decimal:
            return IntegerFromText(value);
        case FieldType::Empty:
        case FieldType::Null:
            break;
    }
    return 0;
}

std::string ConvertToText(const CFieldValue& value) {
    switch (value.GetType()) {
        case FieldType::Text:
            return std::string(CutAtZero(value.GetText()));
        case FieldType::Decimal:
            return value.GetText();
        case FieldType::Long:
        case FieldType::Integer:
        case FieldType::Byte:
        case FieldType::LargeNumber:
            return DecimalText(value.GetInteger());
        case FieldType::Boolean:
            return value.GetBoolean() ? "-1" : "0";
        case FieldType::Currency:
            return CurrencyText(value.GetInteger());
        case FieldType::Single:
            return RealText(static_cast<float>(value.GetReal()), 7);
        case FieldType::Double:
            return RealText(value.GetReal(), 15);
        case FieldType::Date:
            return FormatDateTime(OleDateToFields(value.GetReal()));
        case FieldType::ExtendedDate:
            return FormatDateTime(ExtendedDateToFields(value.GetInteger()));
        case FieldType::Empty:
        case FieldType::Null:
            break;
    }
    return {};
}

CDateTimeFields ConvertToDateTime(const CFieldValue& value) {
    switch (value.GetType()) {
        case FieldType::Date:
        case FieldType::Double:
        case FieldType::Single:
            return OleDateToFields(value.GetReal());
        case FieldType::ExtendedDate:
            return ExtendedDateToFields(value.GetInteger());
        case FieldType::Long:
        case FieldType::Integer:
        case FieldType::Byte:
        case FieldType::LargeNumber:
            return OleDateToFields(static_cast<double>(value.GetInteger()));
        case FieldType::Boolean:
            return OleDateToFields(value.GetBoolean() ? -1.0 : 0.0);
        case FieldType::Currency:
            return OleDateToFields(static_cast<double>(value.GetInteger()) / kCurrencyScale);
        case FieldType::Decimal: {
            // Not strtod: its decimal point follows the locale.
            double days = 0.0;
            const std::string& text = value.GetText();
            std::from_chars(text.data(), text.data() + text.size(), days);
            return OleDateToFields(days);
        }
        case FieldType::Text: {
            CDateTimeFields fields;
            if (!ParseDateTimeText(CutAtZero(value.GetText()), fields)) {
                ThrowTypeMismatch(
                    value, TrNoop("The %1 cannot be converted to a date-time (type mismatch)"));
            }
            return fields;
        }
        case FieldType::Empty:
        case FieldType::Null:
            break;
    }
    return OleDateToFields(0.0);
}
