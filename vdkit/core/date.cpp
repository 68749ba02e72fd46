#include "vdkit/core/date.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Month lengths for validation only: February takes 29 days in any year.
constexpr int kMonthDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

constexpr int kFirstYear = 1800;
constexpr int kLastYear = 2200;

// The parsers look at no more than this many characters of their text.
constexpr size_t kParseChars = 19;

bool IsValidParts(long long day, long long month, long long year) {
  return day >= 1 && month >= 1 && month <= 12 && year >= kFirstYear && year <= kLastYear &&
         day <= kMonthDays[month - 1];
}

// Fliegel and Van Flandern's Julian day formula, shifted so that 1 January
// 1900 is day 0. C++ division truncates toward zero, as the formula wants.
// 64-bit so that no input can overflow.
long long DayNumber(long long day, long long month, long long year) {
  const long long a = (month - 14) / 12;
  return day - 2447096 + 1461 * (year + 4800 + a) / 4 + 367 * (month - 2 - a * 12) / 12 -
         3 * ((year + 4900 + a) / 100) / 4;
}

// The inverse procedure, started from L = n + 2483590 (Julian day + 68569).
void DayParts(long long n, long long& day, long long& month, long long& year) {
  long long l = n + 2483590;
  const long long c = 4 * l / 146097;
  l -= (146097 * c + 3) / 4;
  long long y = 4000 * (l + 1) / 1461001;
  l = l - 1461 * y / 4 + 31;
  long long m = 80 * l / 2447;
  day = l - 2447 * m / 80;
  l = m / 11;
  month = m + 2 - 12 * l;
  year = 100 * (c - 49) + y + l;
}

SDate Pack(long long day, long long month, long long year) {
  SDate d;
  d.day = static_cast<BYTE>(day);
  d.month = static_cast<BYTE>(month);
  d.year = static_cast<WORD>(year);
  return d;
}

// Copies the first kParseChars characters of `text` and blanks every
// non-digit, so that what remains is digit runs separated by blanks.
void DigitsOnly(const char* text, char (&work)[kParseChars + 1]) {
  size_t n = 0;
  if (text) {
    while (n < kParseChars && text[n]) {
      work[n] = (text[n] >= '0' && text[n] <= '9') ? text[n] : ' ';
      ++n;
    }
  }
  work[n] = '\0';
}

// Reads the next digit run at or after *pos. The value saturates instead of
// overflowing (19 digits exceed 64 bits); callers only need "large".
bool NextNumber(char*& pos, char*& start, long long& value) {
  while (*pos == ' ') ++pos;
  if (*pos == '\0') return false;
  start = pos;
  value = 0;
  for (; *pos >= '0' && *pos <= '9'; ++pos) {
    if (value < 100000000000LL) value = value * 10 + (*pos - '0');
  }
  return true;
}

// Writes `text` (of length len) into out[0..outSize), cut if need be and
// always terminated. True when nothing was cut.
bool CopyBounded(const char* text, int len, char* out, size_t outSize) {
  if (outSize == 0) return false;
  size_t n = len > 0 ? static_cast<size_t>(len) : 0;
  const bool fits = n < outSize;
  if (!fits) n = outSize - 1;
  std::memcpy(out, text, n);
  out[n] = '\0';
  return fits;
}

// snprintf gives the length it wanted; the buffer holds at most size - 1.
int Written(int len) {
  return len < 0 ? 0 : (len < int{kDateTextSize} ? len : int{kDateTextSize} - 1);
}

int FormatDate(const SDate& d, char (&buf)[kDateTextSize]) {
  return Written(std::snprintf(buf, sizeof buf, "%d-%d-%d", d.year, d.month, d.day));
}

// Whether `text` reads back to exactly the date and fraction of t.
bool ReadsBack(const char* text, const SDateTime& t) {
  SDateTime back;
  return StringToDate(text, &back) && back.date.year == t.date.year && back.date.month == t.date.month &&
         back.date.day == t.date.day && std::memcmp(&back.fraction, &t.fraction, sizeof t.fraction) == 0;
}

int FormatDateTime(const SDateTime& t, char (&buf)[kDateTextSize]) {
  const SDate& d = t.date;
  if (t.fraction == 0) return Written(std::snprintf(buf, sizeof buf, "%d-%02d-%02d", d.year, d.month, d.day));
  const double value = d.day + static_cast<double>(t.fraction);
  const auto write = [&](int digits) {
    return Written(std::snprintf(buf, sizeof buf, "%d-%d-%.*g", d.year, d.month, digits, value));
  };
  // Six significant digits ("%g") where they read back to the same fraction;
  // otherwise the fewest more that do, within the characters the reader
  // takes; failing that, as many as fit there.
  int fitting = 6;
  if (write(6) <= static_cast<int>(kParseChars) && !ReadsBack(buf, t)) {
    for (int digits = 7; digits <= 17 && write(digits) <= static_cast<int>(kParseChars); ++digits) {
      fitting = digits;
      if (ReadsBack(buf, t)) return write(digits);
    }
  }
  const int length = write(fitting);
  // Too small for those characters: the date alone, as it reads back.
  SDateTime back;
  if (StringToDate(buf, &back) && back.fraction == 0 && back.date.day == d.day)
    return Written(std::snprintf(buf, sizeof buf, "%d-%02d-%02d", d.year, d.month, d.day));
  // Rounding can carry a time just before midnight into the next day
  // (5.9999999 as "6"). Then the fraction's digits are cut instead of
  // rounded, so that the text keeps its day.
  if (t.fraction > 0 && t.fraction < 1 && std::strtod(std::strrchr(buf, '-') + 1, nullptr) >= d.day + 1) {
    const int fractionDigits = d.day >= 10 ? 4 : 5;  // six significant digits in all
    const double scale = fractionDigits == 4 ? 1e4 : 1e5;
    const long digits = static_cast<long>(std::floor(t.fraction * scale));
    return Written(std::snprintf(buf, sizeof buf, "%d-%d-%d.%0*ld", d.year, d.month, d.day, fractionDigits, digits));
  }
  return length;
}

}  // namespace

bool IsValiDate(SDate d) {
  return IsValidParts(d.day, d.month, d.year);
}

LONG DateToDay(int day, int month, int year) {
  return static_cast<LONG>(DayNumber(day, month, year));
}

LONG DateToDay(SDate d) {
  return static_cast<LONG>(DayNumber(d.day, d.month, d.year));
}

void DayToDate(LONG n, int& day, int& month, int& year) {
  long long dd, mm, yy;
  DayParts(n, dd, mm, yy);
  day = static_cast<int>(dd);
  month = static_cast<int>(mm);
  year = static_cast<int>(yy);
}

SDate DayToDate(LONG n) {
  long long dd, mm, yy;
  DayParts(n, dd, mm, yy);
  return Pack(dd, mm, yy);
}

SDate DateAddDay(SDate d, LONG n) {
  long long dd, mm, yy;
  DayParts(DayNumber(d.day, d.month, d.year) + n, dd, mm, yy);
  return Pack(dd, mm, yy);
}

LONG Get2DateDay(SDate a, SDate b) {
  return static_cast<LONG>(DayNumber(a.day, a.month, a.year) - DayNumber(b.day, b.month, b.year));
}

bool StringToDate(const char* text, SDate* out) {
  char work[kParseChars + 1];
  DigitsOnly(text, work);
  *out = SDate{0, 0, 0};
  long long number[3] = {0, 0, 0};
  int count = 0;
  char* pos = work;
  char* start = nullptr;
  while (count < 3 && NextNumber(pos, start, number[count])) ++count;
  if (count < 2) return false;
  long long year = number[0];
  if (year < 40) year += 100;
  // Only years before the first accepted one are taken as counted from
  // 1900, so that 1800..1899 read as themselves.
  if (year < kFirstYear) year += 1900;
  const long long day = count == 3 ? number[2] : 1;
  *out = Pack(day, number[1], year);
  // Judged on the numbers read, not on the fields they were cut to, so that
  // "2004-257-1" is not taken for 2004-1-1.
  return IsValidParts(day, number[1], year);
}

bool StringToDate(const char* text, SDateTime* out) {
  char work[kParseChars + 1];
  DigitsOnly(text, work);
  out->fraction = 0;
  out->date = SDate{0, 0, 0};
  char* pos = work;
  char* start = nullptr;
  long long year, month, day, ignored;
  if (!NextNumber(pos, start, year) || !NextNumber(pos, start, month)) return false;
  out->date.year = static_cast<WORD>(year);
  out->date.month = static_cast<BYTE>(month);
  if (!NextNumber(pos, start, day)) return true;
  out->date.day = static_cast<BYTE>(day);
  if (NextNumber(pos, start, ignored)) {
    // The fourth run's digits follow a decimal point: "15.25" -> 0.25. The
    // run was preceded by a separator, so there is room for the point.
    *pos = '\0';
    start[-1] = '.';
    out->fraction = static_cast<float>(std::strtod(start - 1, nullptr));
    // Eight nines or more round to 1 as a float, which is no time of day and
    // would be written as the next day: keep the moment before midnight.
    if (out->fraction >= 1.0f) out->fraction = std::nextafter(1.0f, 0.0f);
  }
  return true;
}

bool DateToString(const SDate& d, char* out) {
  return DateToString(d, out, kDateTextSize);
}

bool DateToString(const SDate& d, char* out, size_t outSize) {
  if (outSize > 0) out[0] = '\0';
  if (!IsValiDate(d)) return false;
  char buf[kDateTextSize];
  return CopyBounded(buf, FormatDate(d, buf), out, outSize);
}

bool DateToString(const SDate& d, CString& out) {
  out.Empty();
  if (!IsValiDate(d)) return false;
  char buf[kDateTextSize];
  out = CString(buf, FormatDate(d, buf));
  return true;
}

bool DateToString(const SDateTime& t, char* out) {
  return DateToString(t, out, kDateTextSize);
}

bool DateToString(const SDateTime& t, char* out, size_t outSize) {
  if (outSize > 0) out[0] = '\0';
  if (!IsValiDate(t.date)) return false;
  char buf[kDateTextSize];
  return CopyBounded(buf, FormatDateTime(t, buf), out, outSize);
}

bool DateToString(const SDateTime& t, CString& out) {
  out.Empty();
  if (!IsValiDate(t.date)) return false;
  char buf[kDateTextSize];
  out = CString(buf, FormatDateTime(t, buf));
  return true;
}
