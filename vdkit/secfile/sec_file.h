/// @file
/// CSecFile: a binary file made of a fixed header, a directory of named
/// tables and the tables' bytes. The class keeps the header and the directory;
/// the tables' contents are the caller's own bytes, written and read through
/// the ordinary CFile operations right after adding or finding an entry.
///
/// ```
/// CSecFile f;
/// f.Open("survey.sec", secOpenCreate);
/// f.AddTableInfo("Wells", 0, 0);      // the entry points at the end of the file...
/// f.Write(wells, wellBytes);           // ...where the table's bytes go
/// f.Close();                           // the new file takes the old one's place
/// ...
/// SsecTableInfo info;
/// if (f.Open("survey.sec", secOpenRead) && f.SeekToTableData("WELLS", &info))
///   f.Read(buf, n);                    // names ignore ASCII case
/// ```
///
/// Layout (little-endian, no alignment):
///
/// ```
/// offset  size            content
/// 0       GetHeadSize()   header (SsecFileHead; 64 bytes here, more in a
///                         derived class with fields of its own after 64)
/// any     2048 each       directory blocks: 64 entries of 32 bytes, added
///                         at the end of the file with their first entry
/// any     the caller's    table data, written at the end of the file after
///                         the table's entry was added
///
/// header: 0 "SECF"  4 version (256 when created)  8 WORD header size
///         10 WORD entry count  12 DWORD[13] offsets of directory blocks
///         0 .. 12 (0 while a block does not exist)
/// entry:  0 name (16 bytes, see below)  16 WORD wInfo1  18 WORD wInfo2
///         20 DWORD dwInfo3  24 LONG nType  28 DWORD offset of the data
/// ```
///
/// Entry k lives in block k / 64 at byte 32 * (k % 64), so a file holds at
/// most 832 entries. A name is stored as the name followed by eight blanks,
/// cut to 16 bytes, the rest zero: "ABC" is "ABC" + 8 blanks + 5 zero bytes, a
/// 13-character name gets three blanks and no zero. Lookups compare that form
/// over 16 bytes ignoring ASCII case, so "AB" does not find "ABC".
///
/// Failure: operations on a closed file answer false or a null position.
/// Open refuses a file that is shorter than the header, does not begin with
/// the magic, or counts more than 832 entries. An entry whose directory block
/// offset is 0, lies inside the header or runs past the end of the file is
/// missing (lookups and walks pass it over); SeekToTableData refuses a data
/// offset past the end of the file. Header and directory writes answer false
/// on a file opened read only. Operating-system failures of reads, writes and
/// seeks throw CFileException* as CFile does. When reading or writing the
/// header throws, Open closes the file (a created one is discarded) before
/// the exception passes on; elsewhere the header GetFileHead gives changes
/// only once it is written, so an entry whose header write failed is not
/// counted.
///
/// Saving: a file opened with secOpenCreate is built beside its name (see
/// CSafeFile) and takes the place of the old file only when it is closed,
/// explicitly or by the destructor. An operation on it that failed (a read,
/// write, seek, set-length or flush that threw, even when the caller went
/// on), an Abort, or destruction while an exception passes through leaves
/// the old file as it was. Files opened with secOpenRead or secOpenReadWrite
/// are used in place.
#pragma once

#include <memory>
#include <vector>

#include "vdkit/platform/file.h"
#include "vdkit/platform/safe_file.h"
#include "vdkit/platform/types.h"

/// How Open opens a section file; other values open it read only. Plain
/// integers are refused at compile time: write (SimapOF)6 or secOpenCreate.
enum SimapOF {
  secOpenRead = 0,       ///< read only
  secOpenReadWrite = 2,  ///< read and write, in place
  secOpenCreate = 6,     ///< a new file (read and write), replacing the old one at Close
};

/// The first 64 bytes of the header, as laid out in the file.
struct SsecFileHead {
  DWORD dwFileFlag;      ///< magic: "SECF" (GetFileFlag())
  DWORD dwVersion;       ///< 256 in a new file, else what SetFileHead set
  WORD wHeadSize;        ///< GetHeadSize()
  WORD wTableCount;      ///< number of directory entries
  DWORD dwDirBlock[13];  ///< offsets of directory blocks 0 .. 12; 0 = not written
};

/// One directory entry, as laid out in the file.
struct SsecTableInfo {
  char szName[16];  ///< the padded name; no terminator for names of 8 or more characters
  WORD wInfo1;      ///< the caller's (third argument of the short AddTableInfo)
  WORD wInfo2;      ///< the caller's (second argument of the short AddTableInfo)
  DWORD dwInfo3;    ///< the caller's, not interpreted
  LONG nType;       ///< filter of the directory walk
  DWORD dwDataPos;  ///< file offset of the table's data
};

static_assert(sizeof(SsecFileHead) == 64, "SsecFileHead is the 64 bytes of the file header");
static_assert(sizeof(SsecTableInfo) == 32, "SsecTableInfo is the 32 bytes of a directory entry");

constexpr int kSecMaxTables = 832;         ///< 13 blocks of 64 entries
constexpr int kSecDirBlockEntries = 64;    ///< entries per directory block
constexpr int kSecDirBlockSize = 64 * 32;  ///< bytes per directory block

/// A file with a header and a directory of named tables (see the file's
/// description).
class VDKIT_API CSecFile : public CSafeFile {
 public:
  CSecFile();
  /// Closes the file if it is open (see Saving above); errors are swallowed.
  ~CSecFile() override;

  /// Opens and reads (or, creating, writes) the header; see Failure above.
  /// An open file is closed first.
  bool Open(const char* lpszFileName, SimapOF nMode);
  bool Open(const char* lpszFileName, int nMode) = delete;
  /// The CFile form, for callers that hold a CFile*: modeCreate creates,
  /// modeWrite or modeReadWrite opens read and write, otherwise read only.
  BOOL Open(const char* lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr) override;
  bool IsOpened() const { return IsOpen(); }  ///< whether the file is open
  /// Closes the file if it is open. A created file then takes the old
  /// file's place (a failure there throws CFileException*), unless an
  /// operation on it failed, in which case it is discarded quietly.
  void Close() override;
  /// Closes without throwing; a created file is discarded.
  void Abort() override;
  /// The CFile operations; a failure is remembered so that a created file is
  /// never put in the old one's place.
  ///@{
  UINT Read(void* lpBuf, UINT nCount) override;
  void Write(const void* lpBuf, UINT nCount) override;
  ULONGLONG Seek(LONGLONG lOff, UINT nFrom) override;
  void SetLength(ULONGLONG dwNewLen) override;
  void Flush() override;
  ///@}

  /// The magic ("SECF" read as a little-endian DWORD) and the header size; a
  /// derived class may use its own magic and a larger header (64 to 65535).
  ///@{
  virtual DWORD GetFileFlag();
  virtual int GetHeadSize();
  ///@}

  /// Takes the caller's version and, in a derived class, the header bytes
  /// from 64 on, and writes the header (the file position is kept). The
  /// entry count and the block offsets stay the file's own.
  bool SetFileHead(SsecFileHead* pHead);
  /// Copies GetHeadSize() bytes of the header to the caller.
  bool GetFileHead(SsecFileHead* pHead);
  /// The number of directory entries; 0 for a closed file.
  int GetTableCount() const;

  /// Adds an entry with wInfo2 = wInfo2, wInfo1 = wInfo1 and every other
  /// field 0.
  bool AddTableInfo(const char* lpszName, WORD wInfo2, WORD wInfo1);
  /// Adds an entry under lpszName (or, when null, the record's own name; see
  /// below); the record receives the entry as stored: the padded name and
  /// the data offset, which is the end of the file. False on a closed or
  /// read-only file, with 832 entries, when the entry's block cannot be
  /// written where the header says, or when an offset would pass 4 GB.
  bool AddTableInfo(const char* lpszName, SsecTableInfo& info);
  /// Copies the first entry of that name.
  bool GetTableInfo(const char* lpszName, SsecTableInfo& info);
  /// Overwrites the first entry of that name with the record's 32 bytes as
  /// they are; the file position is kept.
  bool SetTableInfo(const char* lpszName, SsecTableInfo& info);
  /// Seeks to the data of the first entry of that name and, when pInfo is
  /// not null, copies the entry.
  bool SeekToTableData(const char* lpszName, SsecTableInfo* pInfo);

  /// The directory walk, in entry order; nType < 1 takes every entry,
  /// otherwise only those of that type:
  ///
  /// ```
  /// for (POSITION pos = f.GetFirstTableInfoPos(0); pos;)
  ///   if (f.GetNextTableInfo(pos, info, 0)) ...
  /// ```
  ///
  /// GetFirstTableInfoPos is null when no entry qualifies. GetNextTableInfo
  /// copies the first qualifying entry from pos on and moves pos past it
  /// (null after the last entry); false, with pos null, when none is left.
  ///@{
  POSITION GetFirstTableInfoPos(int nType);
  bool GetNextTableInfo(POSITION& pos, SsecTableInfo& info, int nType);
  ///@}

  // A name given as null is taken from the record's szName (at most 16
  // bytes) with up to eight trailing blanks dropped, so a record filled by
  // GetTableInfo, a walk or AddTableInfo names its own entry again.

 protected:
  /// The header as read or last written (GetHeadSize() bytes); null before
  /// the first Open.
  BYTE* GetHeadBytes() { return m_head.empty() ? nullptr : m_head.data(); }

 private:
  struct Directory;
  /// Open in both forms; pError, when given, receives the cause of a failure
  /// (invalidFile for a file that is not a section file).
  bool OpenAs(const char* lpszFileName, SimapOF nMode, CFileException* pError);
  /// Writes `head` at offset 0, keeping the position; the object's header
  /// takes it once it is in the file.
  bool WriteHead(const std::vector<BYTE>& head);
  /// The directory with blocks 0 .. nBlock read (the file position is kept).
  const Directory& DirectoryThrough(int nBlock);
  /// The first present entry of that name, or from `from` on of that type
  /// (any below 1); -1 when there is none.
  int Find(const char* lpszName, const SsecTableInfo* pRecord);
  int NextEntry(int from, int nType);
  /// The first entry from `from` on that match(directory, k) accepts, reading
  /// blocks only as far as the scan goes; -1 when there is none.
  template <class Match>
  int Scan(int from, Match match);
  bool IsWritable() const { return IsOpen() && m_nMode != secOpenRead; }
  void ResetState();

  std::vector<BYTE> m_head;  ///< the header's bytes, mirroring the file
  SimapOF m_nMode = secOpenRead;
  bool m_bFailed = false;             ///< an operation threw since the file was opened
  int m_nUncaught = 0;                ///< exceptions in flight when the file was opened
  std::unique_ptr<Directory> m_pDir;  ///< the directory as last read; null when stale
};
