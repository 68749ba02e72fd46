/// @file
/// The host code page: a process-wide setting that tells the multibyte-aware
/// text routines which bytes open a double-byte character.
///
/// Under a single-byte code page (the default, 1252) every byte is one
/// character. Under a double-byte code page (932, 936, 949, 950) a lead byte
/// and the byte after it form one character, and such a pair is compared as
/// it stands: its trail byte is never case-folded, even when it happens to be
/// an ASCII letter (GBK trail bytes range over 0x40-0xFE).
///
/// ```
/// SetHostCodePage(936);                       // GBK
/// MbsICmp("\xB0\x41", "\xB0\x61");            // != 0: trail bytes differ
/// MbsICmp("Key", "KEY");                      // == 0
/// ```
///
/// Not locked: set it once at start-up, from the thread that uses the library.
#pragma once

#include "vdkit/platform/types.h"

/// Sets the host code page; 0 stands for the default single-byte page.
VDKIT_API void SetHostCodePage(UINT codePage);
/// The host code page (1252 unless set).
VDKIT_API UINT GetHostCodePage();
/// Whether `b` opens a double-byte character under the host code page; always
/// false under a single-byte page.
VDKIT_API bool IsHostLeadByte(BYTE b);

/// Compares two texts ignoring the case of ASCII letters, character by
/// character under the host code page, as the framework's _mbsicmp does: a
/// double-byte character compares by its two bytes unfolded. A lead byte
/// directly before the terminator counts as a single byte. Null sorts before
/// every text. Result: negative, 0 or positive.
VDKIT_API int MbsICmp(const char* a, const char* b);
