/// @file
/// The binary archive of a file-object tree ("VDFc"), and CVDArchive, an
/// archive over one object's data blob.
///
/// ```
/// CFile f("project.vdf", CFile::modeCreate | CFile::modeWrite);
/// CArchive out(&f, CArchive::store);
/// out << disk;                        // the disk and everything below it
/// out.Close();
/// ...
/// CArchive in(&f2, CArchive::load);
/// if (!(in >> disk)) { ... }         // false: not a "VDFc" stream, or damaged
/// ```
///
/// Layout (little-endian, no gaps): the magic "VDFc", then one object record
/// for the given object, whose children follow it depth first:
///
/// ```
/// field            size       content
/// key              rstring    "ClassName="
/// class name       rstring    GetClassNameA()
/// version          2          WORD, the object's version (0x0100 by default)
/// flags            2          WORD, bit 0: named (the writer stores 0 or 1)
/// name             rstring    only when named
/// file type        rstring    only when named
/// blob size        4          DWORD N
/// blob             N          the data blob
/// class data size  4          DWORD L
/// class data       L          what the object's Serialize(CArchive&) wrote
/// child count      4          LONG, then one record per child, in order
/// ```
///
/// A record string (rstring) is a 16-bit length n, the text length rounded up
/// to 2 more than a multiple of 4 (so the field takes a multiple of 4 bytes),
/// then the text padded with zero bytes to n:
///
/// ```
/// ""    -> 02 00 00 00                 "ab"  -> 02 00 61 62
/// "abc" -> 06 00 61 62 63 00 00 00     "ClassName=" -> 0A 00 43 6C ... 3D
/// ```
///
/// Reading creates each object by class name, except that a child with the
/// name of an existing child of its parent reuses that child, and the root
/// record goes into the given object. Each object reads its class data from
/// a private archive holding exactly L bytes, so an object that reads too
/// little or too much never disturbs the records after it (it gets a warning
/// message box instead).
///
/// Failure: `>>` is false for a stream that does not begin with "VDFc" (the
/// object unchanged), and for a damaged stream: one that ends early, holds a
/// wrong key, a negative count or nesting deeper than kVDFileMaxDepth.
/// Everything read before the damage stays in the tree. A record of an
/// unknown class, or whose Serialize returns false, is passed over whole and
/// its siblings are read; it fails the read only at the root. Nothing is
/// allocated beyond the bytes actually present. Writing fails only by the
/// file's own exceptions, which pass to the caller.
#pragma once

#include "vdkit/platform/archive.h"
#include "vdkit/vdfile/vdfile.h"

/// Writes "VDFc" and the records of `file` and its subtree; true.
VDKIT_API bool operator<<(CArchive& ar, CVDFile& file);
/// Reads a tree written by `<<` into `file`; see above for false.
VDKIT_API bool operator>>(CArchive& ar, CVDFile& file);

/// An archive over an object's blob: storing into a fresh memory file whose
/// content Close makes the owner's new blob, or loading from the current blob.
/// With a null owner it works over a private memory file that is discarded.
///
/// ```
/// CVDArchive out(&obj, CArchive::store);
/// out << (LONG)42;
/// out.Close();                        // obj's blob is now 2A 00 00 00
/// ```
///
/// Not copyable (both copies would hand the same memory file back); the
/// owner must outlive the archive.
class VDKIT_API CVDArchive : public CArchive {
 public:
  /// An archive over the owner's blob: storing writes a new blob (given to the
  /// owner on Close), loading reads the current one. nBufSize and lpBuf as for
  /// CArchive.
  CVDArchive(CVDFile* pOwner, UINT nMode, int nBufSize = 4096, void* lpBuf = nullptr);
  CVDArchive(const CVDArchive&) = delete;
  CVDArchive& operator=(const CVDArchive&) = delete;
  /// Closes as Close does when still open; errors are swallowed.
  virtual ~CVDArchive();

  /// Closes the archive and hands the memory file back to the owner (for a
  /// storing archive its bytes become the blob); then forgets both.
  void Close();

 private:
  CVDFile* m_pOwner;
  CFile* m_pMemFile;
};
