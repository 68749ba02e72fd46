/// @file
/// File path names: split, join, resolve and relativise 8-bit path strings in
/// which both '\' and '/' are separators. Joins add '\'.
///
/// Only MakeDir and GetModulePathOf touch the file system; the rest is string
/// work. GetFileTitle gives the file name by the separator rules below (this
/// platform has no display-title service).
///
/// ```
/// CString dir, full, rel;
/// GetPath("C:\\data\\wells.tv", dir);                 // "C:\\data\\"
/// MakePathName(dir, "logs\\a.txt", full);             // "C:\\data\\logs\\a.txt"
/// GetRelPathName("C:\\data", full, rel);              // "logs\\a.txt"
/// GetAbsPathName("C:\\data\\", "..\\x.tv", full);     // "C:\\x.tv"
/// ```
///
/// Nothing here throws. Results that can fail are booleans, and each function
/// says what its output holds then. Functions writing to a caller's buffer come
/// with a bounded form that takes the buffer's size.
#pragma once

#include <cstddef>

#include "vdkit/platform/cstring.h"
#include "vdkit/platform/types.h"

/// The buffer size that the unbounded buffer forms assume (the host's longest path).
constexpr size_t kMaxPathBuffer = 260;

/// True for '\' and '/'.
inline bool IsPathSeparator(char c) {
  return c == '\\' || c == '/';
}

// ---- Splitting -----------------------------------------------------------------

/// Removes the extension in place: ends the string at the last '.' of the file
/// name (the part after the last separator). A name whose only dots lead it
/// has no extension: "dir\.profile", ".profile" and ".." stay as they are.
/// "C:\dir.x\name.tar.gz" becomes "C:\dir.x\name.tar".
///@{
VDKIT_API void CutFileEx(char* path);
VDKIT_API void CutFileEx(CString& path);
///@}

/// The directory part including its last separator: "C:\a\b.txt" gives
/// "C:\a\". A path without a separator has none: the result is empty.
/// The unbounded form assumes kMaxPathBuffer characters at `out`; the bounded
/// form writes at most outSize characters including the terminator and
/// returns false when it had to cut. The CString form leaves `out` unchanged
/// when `path` is null or empty.
///@{
VDKIT_API void GetPath(const char* path, char* out);
VDKIT_API bool GetPath(const char* path, char* out, size_t outSize);
VDKIT_API void GetPath(const char* path, CString& out);
///@}

/// The file name without directory (nor a drive "X:") and without extension,
/// by the CutFileEx rule: "C:\a\b.tar.gz" gives "b.tar".
VDKIT_API void GetFileName(const char* path, CString& out);

/// The file name with its extension: "C:\a\b.txt" gives "b.txt"; empty for a
/// path ending in a separator. Always true.
VDKIT_API bool GetFileTitle(const char* path, CString& out);

/// The drive or server root, from the first 260 characters of `path`:
/// "\\srv\share\x" gives "\\srv\", "C:\a\b" gives "C:\", "\a" gives "\",
/// "a\b" gives "a\"; the whole (cut) path when there is no such separator.
/// Double-byte characters of the host's code page (GBK) are stepped over as
/// units, so a trail byte 0x5C is not taken for '\'.
VDKIT_API void GetPathRoot(const char* path, CString& out);

// ---- Joining and resolving -------------------------------------------------------

/// `dir`, a '\' unless it already ends in a separator, then `name` without
/// one leading separator. An empty dir gives "\" and the name.
VDKIT_API void MakePathName(const char* dir, const char* name, CString& out);

/// Resolves `rel` against the directory `base`.
/// True: `out` is the resolved path; `rel` itself when it is absolute (starts
/// with two separators, with '/', or a drive "X:" and a separator; one
/// leading '\' does not make it absolute). Leading ".." components each take
/// one component off the base, then one "./" is dropped:
/// "C:\a\b\" and "..\c\d.txt" give "C:\a\c\d.txt". Separators doubled at the
/// end of the base count as one ("C:\a\\" and "..\x" give "C:\x").
/// False: `rel` empty (`out` emptied); `base` empty (`out` = rel); more ".."
/// than the base has components (`out` unchanged).
VDKIT_API bool GetAbsPathName(const char* base, const char* rel, CString& out);

/// Expresses `path` relative to the directory `base` (with or without a
/// trailing separator), comparing whole components without regard to ASCII
/// case: base "C:\a\b", path "C:\a\c\f.txt" give "..\c\f.txt"; base "C:\a",
/// path "C:\ab\x" give "..\ab\x"; equal paths give "".
/// True: `out` holds the relative path, or the whole `path` when the two
/// share no leading directory (other drives). False: `path` empty (`out`
/// emptied); `base` empty (`out` = path).
VDKIT_API bool GetRelPathName(const char* base, const char* path, CString& out);

/// Resolves `rel` as GetAbsPathName does against the directory of the running
/// executable (not of this library); `out` = rel when that fails. Always true.
VDKIT_API bool GetModulePathOf(const char* rel, CString& out);

// ---- File system -------------------------------------------------------------------

/// Creates the directory and any missing parents ('\' is taken as '/').
/// True when `path` is a directory afterwards (made now or before); false
/// otherwise, with the parents made so far left in place.
VDKIT_API bool MakeDir(const char* path);
