#pragma once

#include <cstdint>
#include <string>

// The six calendar fields of a date-time value. A field of -1 means the value could not be
// converted; the conversions below set all six or none.
struct CDateTimeFields {
    int nYear = -1;
    int nMonth = -1;
    int nDay = -1;
    int nHour = -1;
    int nMinute = -1;
    int nSecond = -1;

    bool IsValid() const noexcept { return nYear != -1; }
    friend bool operator==(const CDateTimeFields&, const CDateTimeFields&) = default;
};

// Converts an OLE Automation date to calendar fields in the proleptic Gregorian calendar.
// The whole part counts days from 1899-12-30 (negative before it); the fractional part, taken
// as an absolute value, is the time of day, so -1.25 is 1899-12-29 06:00:00. The time is
// rounded to the nearest second on the exact double (an exact half second, which only a
// multiple of 1/256 day can hold, goes up), carrying into the next day.
// Days from 100-01-01 to 9999-12-31 convert; any other day, NaN and infinity give all -1.
// A time on 9999-12-31 that would round into the year 10000 stays at 23:59:59: the value is a
// valid date of its day, and less than a second is lost either way.
CDateTimeFields OleDateToFields(double date) noexcept;

// Converts a Date/Time Extended value, in 100-nanosecond units since 0001-01-01 00:00:00, to
// calendar fields by the rule of OleDateToFields: the time is rounded to the nearest second (a
// half second goes up), carrying into the next day, and a time on 9999-12-31 that would round
// into the year 10000 stays at 23:59:59. Days from 0001-01-01 to 9999-12-31 convert; any
// other value gives all -1.
CDateTimeFields ExtendedDateToFields(int64_t ticks) noexcept;

// The OLE date of a Date/Time Extended value (see above), to the precision of a double.
double ExtendedDateToOleDate(int64_t ticks) noexcept;

// The number of days of a month (1 to 12) of the proleptic Gregorian calendar.
int DaysInMonth(int year, int month) noexcept;

// Formats the fields as "%d/%02d/%02d %02d:%02d:%02d" (year, month, day, hour, minute,
// second); invalid fields give "-1/-1/-1 -1:-1:-1".
std::string FormatDateTime(const CDateTimeFields& fields);
