/// @file
/// The padded string: how binary table files, table-set streams, data-set files
/// and key-string files store a text. A reader and a writer over CFile.
///
/// ```
/// OFFSET  SIZE  DESCRIPTION
/// 0       4     P, signed 32-bit little-endian: the number of bytes after it
/// 4       P     the text, a zero byte, then zero bytes up to P
/// ```
///
/// P is 0 for the empty text (no bytes follow); otherwise the text length plus
/// one, rounded up to a multiple of 4. Examples:
///
/// ```
/// ""       00 00 00 00
/// "abc"    04 00 00 00  61 62 63 00
/// "abcd"   08 00 00 00  61 62 63 64 00 00 00 00
/// ```
///
/// A reader takes any P below 1 as the empty text and keeps the bytes up to the
/// first zero (all P of them when there is none), so files from writers that
/// padded differently still read.
///
/// ```
/// CMemFile f;
/// WritePaddedString(f, "Depth");       // 08 00 00 00 'D' 'e' 'p' 't' 'h' 00 00 00
/// f.SeekToBegin();
/// CString name;
/// if (!ReadPaddedString(f, name)) ...  // truncated or unreadable
/// ```
///
/// Failure: the functions return false as stated below; an operating-system
/// failure of the file throws CFileException* as CFile does.
#pragma once

#include <cstddef>

#include "vdkit/platform/cstring.h"
#include "vdkit/platform/file.h"
#include "vdkit/platform/types.h"

/// P for a text of textLength characters, or -1 when it would not fit in the
/// signed 32-bit length.
VDKIT_API LONG PaddedLength(size_t textLength);

/// Writes `text` (null writes the empty text) as one padded string at the
/// file's position. False, with nothing written, when the text is too long
/// for the 32-bit length.
VDKIT_API bool WritePaddedString(CFile& file, const char* text);

/// Reads one padded string at the file's position into `text`.
/// True: the whole string was read and `text` holds it.
/// False: the file ended inside the length or inside the P bytes; `text` is
/// empty and the file stands at its end. A length running past the end of the
/// file is never allocated: memory grows only with the bytes actually read.
VDKIT_API bool ReadPaddedString(CFile& file, CString& text);
