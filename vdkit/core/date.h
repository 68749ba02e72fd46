/// @file
/// Calendar dates: SDate (day, month, year packed in four bytes), SDateTime (a
/// date with the time of day as a fraction), day numbers, and the text forms
/// "year-month-day" with an optional fraction of a day.
///
/// A day number is a signed 32-bit count of days since 1 January 1900 (day 0;
/// earlier dates are negative) in the proleptic Gregorian calendar. Validation
/// is looser than the calendar: years 1800 to 2200, and February accepts 29
/// days in every year, while the day count knows the real leap years (so
/// 1900-2-29 is a "valid" date that counts as 1 March).
///
/// ```
/// SDate d;
/// if (StringToDate("2004-2-28", &d)) {
///   SDate next = DateAddDay(d, 2);            // 2004-3-1
///   char text[32];
///   DateToString(next, text, sizeof text);    // "2004-3-1"
/// }
/// ```
///
/// Nothing here allocates or throws. Parsers and formatters report failure as
/// false; what they leave in their output is stated with each.
#pragma once

#include <cstddef>

#include "vdkit/platform/cstring.h"
#include "vdkit/platform/types.h"

/// A calendar date. Plain bytes: records and files hold it as it stands, so
/// the layout (day, month, 16-bit year, little-endian) must not change.
struct SDate {
  BYTE day;    ///< day of the month, 1..31; 0 means "no date"
  BYTE month;  ///< 1..12
  WORD year;   ///< full year, e.g. 2004
};
static_assert(sizeof(SDate) == 4, "SDate is stored as four bytes");

/// A date with a time of day. Stored as eight bytes: the float, then the date.
struct SDateTime {
  float fraction;  ///< time of day as a fraction of a day, 0 <= fraction < 1; 0 means "date only"
  SDate date;      ///< the date
};
static_assert(sizeof(SDateTime) == 8, "SDateTime is stored as eight bytes");

/// Room enough for every text the unbounded DateToString forms write.
constexpr size_t kDateTextSize = 32;

// ---- Validation and day numbers ----------------------------------------------

/// True when day != 0, 1 <= month <= 12, 1800 <= year <= 2200 and the day does
/// not exceed the month's length (February: 29 in every year).
VDKIT_API bool IsValiDate(SDate d);

/// Day number of a date. No validation: any day, month and year are counted
/// through (day 0 is the day before the 1st, month 13 is next January).
///@{
VDKIT_API LONG DateToDay(int day, int month, int year);
VDKIT_API LONG DateToDay(SDate d);
///@}

/// The date of a day number: the exact inverse of DateToDay for every date
/// from 1 January of the year 1 onward.
VDKIT_API void DayToDate(LONG n, int& day, int& month, int& year);
/// The same, packed; fields are cut to their widths (years stay in 16 bits
/// for day numbers up to about 23 million).
VDKIT_API SDate DayToDate(LONG n);

/// The date n days after d (before it when n is negative). d need not be valid.
VDKIT_API SDate DateAddDay(SDate d, LONG n);

/// DateToDay(a) - DateToDay(b): days from b to a.
VDKIT_API LONG Get2DateDay(SDate a, SDate b);

// ---- Text forms -----------------------------------------------------------------

/// Parses "year month [day]" from the first 19 characters of `text`; any
/// non-digit separates numbers ("2004-3-5", "2004/03/05", "04.3.5").
/// Two-digit years below 40 are 20xx, other years below 1800 get 1900 added
/// ("85" is 1985, "104" is 2004); a missing day is 1. Returns IsValiDate of the
/// result. *out is cleared first, then holds what was read even when the
/// result is false; with fewer than two numbers it stays cleared. Null text
/// reads as empty.
VDKIT_API bool StringToDate(const char* text, SDate* out);

/// Parses "year month [day [fraction]]" from the first 19 characters, without
/// year correction or validation: the fourth number's digits are the fraction
/// of the day ("2004-3-15.25" gives fraction 0.25). False only when year or
/// month is missing; a missing day gives day 0 and true. *out is cleared
/// first and holds what was read.
VDKIT_API bool StringToDate(const char* text, SDateTime* out);

/// "year-month-day" without leading zeros ("2004-3-5"). False, and an empty
/// text, when the date is not valid.
///
/// The unbounded form needs kDateTextSize characters at `out`. The bounded
/// form writes at most outSize characters including the terminator (nothing
/// when outSize is 0) and returns false also when it had to cut the text.
///@{
VDKIT_API bool DateToString(const SDate& d, char* out);
VDKIT_API bool DateToString(const SDate& d, char* out, size_t outSize);
VDKIT_API bool DateToString(const SDate& d, CString& out);
///@}

/// Date only (fraction 0): "2004-03-05", with two-digit month and day.
/// Otherwise "2004-3-5.25": year, month, then day + fraction printed with six
/// significant digits, or with the fewest more that StringToDate(text,
/// SDateTime*) reads back to the same fraction within the 19 characters it
/// reads ("2004-3-9.0000004"); a fraction that needs still more is printed as
/// closely as those characters allow (never rounded into the next day; the
/// date alone when they leave no digit of it). False,
/// and an empty text, when the date part is not valid. Buffers as for the
/// SDate forms.
///@{
VDKIT_API bool DateToString(const SDateTime& t, char* out);
VDKIT_API bool DateToString(const SDateTime& t, char* out, size_t outSize);
VDKIT_API bool DateToString(const SDateTime& t, CString& out);
///@}
