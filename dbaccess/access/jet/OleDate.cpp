#include "dbaccess/access/jet/OleDate.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace {

// OLE day numbers of the first and the last day that convert: 100-01-01 and 9999-12-31.
constexpr int64_t kFirstDay = -657434;
constexpr int64_t kLastDay = 2958465;
// OLE day 0, 1899-12-30, counted from 1970-01-01.
constexpr int64_t kOleEpochFrom1970 = -25569;
constexpr int kSecondsPerDay = 86400;
// Date/Time Extended counts 100-nanosecond units from 0001-01-01, which is day -719162 from
// 1970-01-01 and day -693593 from OLE day 0.
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kTicksPerDay = kTicksPerSecond * kSecondsPerDay;
constexpr int64_t kLastExtendedDay = 3652058;  // 9999-12-31
constexpr int64_t kExtendedEpochFrom1970 = -719162;
constexpr int64_t kExtendedEpochFromOle = -693593;

// Rounds fraction × 86400 (fraction in [0, 1)) to the nearest whole second, exactly.
// A double product would round first and could move a value that lies a hair below a half
// second onto it. 86400 = 128 × 675: scaling by 128 is exact, and the 53-bit significand
// times 675 fits in 64 bits, so the product is held exactly as an integer times 2^exponent.
int RoundSecondsOfDay(double fraction) noexcept {
    if (fraction == 0.0) {
        return 0;
    }
    int exponent = 0;
    const double significand = std::frexp(fraction * 128.0, &exponent);
    const uint64_t mantissa = static_cast<uint64_t>(std::ldexp(significand, 53));
    const uint64_t product = mantissa * 675;  // seconds = product × 2^(exponent - 53)
    // fraction × 128 < 2^7 and mantissa >= 2^52, so the shift is at least 46.
    const int shift = 53 - exponent;
    if (shift >= 64) {
        return 0;  // product < 2^63: less than half a second
    }
    const uint64_t whole = product >> shift;
    const uint64_t rest = product & ((uint64_t{1} << shift) - 1);
    const uint64_t half = uint64_t{1} << (shift - 1);
    return static_cast<int>(whole + (rest >= half ? 1 : 0));
}

// Calendar date of a day counted from 1970-01-01 (H. Hinnant's civil_from_days).
void SetCivilDate(int64_t days, CDateTimeFields& fields) noexcept {
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;  // March = 0
    const int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    fields.nYear = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    fields.nMonth = static_cast<int>(month);
    fields.nDay = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
}

// "%d" of any int.
void AppendDecimal(std::string& out, int n) {
    char buffer[12];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, n);
    out.append(buffer, result.ptr);
}

// "%02d" of any int: a leading zero for 0 to 9 only.
void AppendTwoDigits(std::string& out, int n) {
    if (n >= 0 && n < 10) {
        out += '0';
        out += static_cast<char>('0' + n);
    } else {
        AppendDecimal(out, n);
    }
}

// The fields of a day (counted from 1970-01-01) and the seconds into it, rounded: a time
// rounded up to midnight carries into the next day, except on the last day there is, where it
// stays at 23:59:59.
CDateTimeFields DayAndSecondsToFields(int64_t day, int seconds, int64_t lastDay) noexcept {
    if (seconds == kSecondsPerDay) {
        if (day == lastDay) {
            seconds = kSecondsPerDay - 1;
        } else {
            ++day;
            seconds = 0;
        }
    }
    CDateTimeFields fields;
    SetCivilDate(day, fields);
    fields.nHour = seconds / 3600;
    fields.nMinute = seconds / 60 % 60;
    fields.nSecond = seconds % 60;
    return fields;
}

}  // namespace

CDateTimeFields OleDateToFields(double date) noexcept {
    // Written so that NaN fails too.
    if (!(date > static_cast<double>(kFirstDay - 1) && date < static_cast<double>(kLastDay + 1))) {
        return {};
    }
    double wholeDays = 0.0;
    const double fraction = std::fabs(std::modf(date, &wholeDays));
    return DayAndSecondsToFields(static_cast<int64_t>(wholeDays) + kOleEpochFrom1970,
                                 RoundSecondsOfDay(fraction), kLastDay + kOleEpochFrom1970);
}

CDateTimeFields ExtendedDateToFields(int64_t ticks) noexcept {
    if (ticks < 0 || ticks >= (kLastExtendedDay + 1) * kTicksPerDay) {
        return {};
    }
    const int64_t time = ticks % kTicksPerDay;
    const int64_t seconds =
        time / kTicksPerSecond + (time % kTicksPerSecond >= kTicksPerSecond / 2);
    return DayAndSecondsToFields(ticks / kTicksPerDay + kExtendedEpochFrom1970,
                                 static_cast<int>(seconds),
                                 kLastExtendedDay + kExtendedEpochFrom1970);
}

double ExtendedDateToOleDate(int64_t ticks) noexcept {
    const int64_t day = ticks / kTicksPerDay + kExtendedEpochFromOle;
    const double fraction =
        static_cast<double>(ticks % kTicksPerDay) / static_cast<double>(kTicksPerDay);
    // Before OLE day 0 the fraction still counts forward from midnight: -1.25 is 06:00.
    return day < 0 ? static_cast<double>(day) - fraction : static_cast<double>(day) + fraction;
}

int DaysInMonth(int year, int month) noexcept {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) {
        return 0;
    }
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

std::string FormatDateTime(const CDateTimeFields& fields) {
    std::string text;
    text.reserve(19);
    AppendDecimal(text, fields.nYear);
    text += '/';
    AppendTwoDigits(text, fields.nMonth);
    text += '/';
    AppendTwoDigits(text, fields.nDay);
    text += ' ';
    AppendTwoDigits(text, fields.nHour);
    text += ':';
    AppendTwoDigits(text, fields.nMinute);
    text += ':';
    AppendTwoDigits(text, fields.nSecond);
    return text;
}
