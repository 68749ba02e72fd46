/// @file
/// CJobArgs: the named arguments a job hands to its operators, an ordered
/// list of entries (name, unit, value) found by name without regard to ASCII
/// case, read back as text or parsed as numbers.
///
/// ```
/// CJobArgs args;
/// args.AddArg("Input", "", "wells.tv10");
/// args.AddArgFmt("Radius", "m", "%g", 250.0);    // value "250", unit "m"
/// float r = args["radius"];                      // 250
/// const char* unit = args.GetUnit("RADIUS");     // "m"
/// float q = args.GetArgf("Missing");             // the null marker 9.999e-30
/// ```
///
/// Ownership: the list owns its entries; copies are deep. Pointers from
/// GetArg and the text getters stay valid until that entry is replaced or
/// the list is destroyed or assigned to; adding other entries moves nothing.
#pragma once

#include <deque>

#include "vdkit/platform/cstring.h"
#include "vdkit/platform/types.h"
#include "vdkit/vdb/field_value.h"

/// A job's arguments: named entries with a unit and a value text, in order of
/// first addition.
class VDKIT_API CJobArgs {
 public:
  /// One argument: the name it is found by, its unit (may be empty) and its
  /// value as text.
  struct SJobArg {
    CString strName;   ///< the name it is found by (ASCII case ignored)
    CString strUnit;   ///< the unit; may be empty
    CString strValue;  ///< the value as text
  };

  /// What GetArgf answers for a missing or unreadable value: the table
  /// database's null marker.
  static constexpr float kNullValue = VDB_NULL_FLOAT;
  /// AddArgFmt keeps at most this many characters of the formatted value.
  static constexpr int kMaxFormatted = 128;

  CJobArgs() = default;
  ~CJobArgs() = default;

  /// Replaces name, unit and value of the entry of that name (the entry takes
  /// the name as given here), or appends a new entry. Null texts count as
  /// empty.
  void AddArg(const char* name, const char* unit, const char* value);
  /// AddArg with the value formatted printf-style from `format` and the
  /// arguments that follow, cut to kMaxFormatted characters. A null format
  /// gives the empty value.
  void AddArgFmt(const char* name, const char* unit, const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 4, 5)))
#endif
      ;

  /// The number of entries.
  int GetCount() const {
    return static_cast<int>(m_args.size());
  }
  /// For an index from 0 to GetCount() - 1: the entry's name, unit and value
  /// through the non-null pointers, and true; false for any other index.
  bool GetArg(int index, const char** name, const char** unit, const char** value) const;
  /// The entry of that name, or null.
  ///@{
  SJobArg* GetArg(const char* name);
  const SJobArg* GetArg(const char* name) const;
  ///@}
  /// The entry's value text; null when there is no such entry.
  const char* GetArgsz(const char* name) const;
  /// The entry's unit; null when there is no such entry.
  const char* GetUnit(const char* name) const;
  /// The value read as a decimal integer (as "%d" scans it, saturating at the
  /// 32-bit bounds); 0 when the entry is missing or its text is no number.
  int GetArgi(const char* name) const;
  /// The value read as a float (as "%g" scans it); kNullValue when the entry
  /// is missing or its text is no number.
  float GetArgf(const char* name) const;
  /// GetArgf(name).
  float operator[](const char* name) const {
    return GetArgf(name);
  }

  /// Removes every entry.
  void RemoveAll() {
    m_args.clear();
  }

 private:
  std::deque<SJobArg> m_args;  ///< in order of first addition
};
