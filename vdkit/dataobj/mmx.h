/// @file
/// CMMX: a register of value ranges and display settings per named quantity,
/// kept as a file object that travels in the binary archive.
///
/// ```
/// CMMX* mmx = static_cast<CMMX*>(disk.CreateFileA("ranges", "MMX", "CMMX"));
/// mmx->SetMMX("Depth", 0, 3000, 1);        // min, max, sub-key
/// float lo, hi;
/// if (mmx->GetMMX("DEPTH", lo, hi, -1)) {}  // -1 matches any sub-key
/// bool* pAuto;
/// mmx->GetProps("GR", &pAuto, nullptr, 0);  // made on first use, bAuto true
/// ```
///
/// Entries are keyed by name (ASCII case ignored) and a 16-bit sub-key; a
/// name may carry several entries. Lookups take the first match in order of
/// creation; a sub-key of -1 matches any. The accessors that create (GetItem
/// with true, the pointer form of GetMMX, SetMMX, GetProps, GetLine, SetLine)
/// start a new entry's range at 0.0, except the pointer GetMMX and SetMMX,
/// which start it at the null marker 9.999e-30. Pointers to entries and into
/// them stay valid until Reset() or loading.
///
/// Class data in the binary archive (little-endian): the entry count as a
/// DWORD, then per entry
///
/// ```
/// name     CArchive string: length below 255 as 1 byte, else FF and a
///          WORD, or FF FF FF and a DWORD (from 0xFFFE); the characters
/// fMax     float        fMin    float       nKey  SHORT
/// bAuto    BYTE 0/1     bLog10  BYTE 0/1
/// dwLine1  DWORD        wLine2  WORD        wLine3 SHORT
/// ```
///
/// Loading empties the register once the count is read and keeps every
/// entry read whole; class data that end inside an entry make Serialize
/// false (the archive reader then fails or passes over the record), never an
/// exception. Each entry needs 21 bytes at least, so a hostile count costs
/// nothing beyond the bytes present.
///
/// Read(FILE*) and Write(FILE*) are hooks for a subclass with a text form;
/// here they do nothing and answer false. A subclass that overrides them
/// brings the path forms back with `using CMMX::Read; using CMMX::Write;`.
#pragma once

#include <cstdio>
#include <memory>
#include <vector>

#include "vdkit/platform/cstring.h"
#include "vdkit/vdfile/vdfile.h"

/// A register of value ranges and display settings per named quantity, kept in
/// the binary archive (see the file's description).
class VDKIT_API CMMX : public CVDFile {
  DECLARE_VDFILE(CMMX)

  struct SItem {
    CString strName;
    float fMax = 0;
    float fMin = 0;
    SHORT nKey = 0;
    bool bAuto = true;
    bool bLog10 = false;
    DWORD dwLine1 = 0;
    WORD wLine2 = 0xFFFF;
    SHORT wLine3 = 0;
  };

  CMMX();
  ~CMMX() override;

  /// The first entry of that name and sub-key; when none and bCreate, a new
  /// one (range 0.0); else null.
  SItem* GetItem(const char* lpszName, SHORT nKey, bool bCreate);
  /// fMin and fMax of the matching entry; false, outputs untouched, when
  /// there is none; true when the two differ.
  bool GetMMX(const char* lpszName, float& fMin, float& fMax, SHORT nKey);
  /// Pointers to fMin and fMax of the matching entry, creating it (range the
  /// null marker) and answering false when there is none; otherwise true
  /// when the two differ.
  bool GetMMX(const char* lpszName, float*& pMin, float*& pMax, SHORT nKey);
  /// Finds or creates (null-marker range) the entry and sets its range; true.
  bool SetMMX(const char* lpszName, float fMin, float fMax, SHORT nKey);
  /// Finds or creates the entry; stores the addresses of bAuto and bLog10
  /// through the pointers that are not null; true.
  bool GetProps(const char* lpszName, bool** ppAuto, bool** ppLog10, SHORT nKey);
  /// The flag of the matching entry; false when there is none.
  bool IsAutoMMX(const char* lpszName, SHORT nKey);
  bool IsLog10Scale(const char* lpszName, SHORT nKey);
  /// bAuto = (nAuto != 0) on the matching entry; nothing when there is none.
  void SetAuto(const char* lpszName, int nAuto, SHORT nKey);
  /// Finds or creates the entry; the third value is wLine3 with its sign.
  void GetLine(const char* lpszName, SHORT nKey, DWORD& dwLine1, WORD& wLine2, int& nLine3);
  /// Finds or creates the entry; nLine3 is kept to 16 bits.
  void SetLine(const char* lpszName, SHORT nKey, DWORD dwLine1, WORD wLine2, int nLine3);
  /// Deletes every entry.
  void Reset();
  /// Sets the range of every entry of that name, any sub-key, to 0.0.
  void Reset(const char* lpszName);

  /// vdkit: the entries in order of creation, for listing them.
  int GetItemCount() const { return static_cast<int>(m_items.size()); }
  SItem* GetItemAt(int i) const;

  bool Serialize(CArchive& ar) override;
  using CVDFile::Read;  ///< the record-string forms stay in reach
  using CVDFile::Serialize;
  using CVDFile::Write;

  /// Text-form hooks: nothing here, false.
  virtual bool Read(FILE* fp);
  virtual bool Write(FILE* fp);
  /// Reset(), then the hook over the file opened for reading; a file that
  /// cannot be opened sets the last error "Error: Open file '<path>'" and
  /// gives false.
  bool Read(const char* lpszPath);
  /// The hook over a new file that takes the old one's place only when the
  /// hook answers true and everything reached the disk; otherwise the old
  /// file is left as it was and the answer is false (the last error names
  /// the path when the file could not be opened or replaced).
  bool Write(const char* lpszPath);

 private:
  SItem* Create(const char* lpszName, SHORT nKey, float fRange);
  SItem* FindOrCreate(const char* lpszName, SHORT nKey, float fRange);

  std::vector<std::unique_ptr<SItem>> m_items;  ///< in order of creation
};
