// Feeds arbitrary text to both date parsers. A date that parses as valid
// must format and parse back to itself, and its day number must lead back to
// it; every formatter must stay inside the buffer it is given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "vdkit/core/date.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  SDate d;
  if (StringToDate(text.c_str(), &d)) {
    char out[kDateTextSize];
    SDate back;
    if (!DateToString(d, out) || !StringToDate(out, &back) || std::memcmp(&back, &d, sizeof d) != 0)
      std::abort();
    const SDate fromDay = DayToDate(DateToDay(d));
    if (IsValiDate(fromDay) && std::memcmp(&fromDay, &d, sizeof d) != 0 && !(d.month == 2 && d.day == 29))
      std::abort();
  }
  SDateTime t;
  StringToDate(text.c_str(), &t);
  for (size_t room = 0; room <= kDateTextSize; room += 3) {
    char out[kDateTextSize + 1];
    std::memset(out, 'x', sizeof out);
    DateToString(t, out, room);
    DateToString(d, out, room);
    if (out[room] != 'x') std::abort();
  }
  CString s;
  DateToString(t, s);
  SDateTime back;
  if (!s.IsEmpty() && (!StringToDate(s, &back) || std::memcmp(&back.date, &t.date, sizeof t.date) != 0))
    std::abort();
  return 0;
}
