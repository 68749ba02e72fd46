/// @file
/// Message boxes and string resources: the two services of the application
/// framework that the library reaches for texts shown to a user.
///
/// Message boxes go to a handler that the host replaces; the default writes the
/// text to standard error and answers IDOK. String resources come from one
/// process-wide table that the library fills with its own entries and the host
/// may extend or override. Texts that were written in the GBK code page stay
/// GBK bytes.
///
/// ```
/// SetMessageBoxHandler([](const char* text, UINT) { log(text); return IDOK; });
/// SetStringResource(20001, "Depth out of range");
/// CString s; s.LoadString(20001);
/// ```
///
/// Neither is locked: call them from the thread that uses the library.
#pragma once

#include <functional>

#include "vdkit/platform/types.h"

/// Message box styles and answers, with the framework's values.
enum : UINT {
  MB_OK = 0x0,
  MB_OKCANCEL = 0x1,
  MB_YESNOCANCEL = 0x3,
  MB_YESNO = 0x4,
  MB_ICONERROR = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONWARNING = 0x30,
  MB_ICONINFORMATION = 0x40,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

/// The library's own string resources.
enum : UINT {
  /// "No definition of the table was found" (GBK bytes), Followed by a name.
  IDS_VDB_NO_TABLE_DEFINITION = 10000,
};

/// Shows text with an MB_ style; answers an ID.
using MessageBoxHandler = std::function<int(const char* text, UINT type)>;

/// Installs the handler for every message box and returns the previous one.
/// An empty handler restores the default (standard error, answer IDOK).
VDKIT_API MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

/// Shows `text` through the handler and returns its answer.
VDKIT_API int AfxMessageBox(const char* text, UINT type = MB_OK, UINT helpId = 0);
/// Shows string resource `id` (the empty text if there is none).
VDKIT_API int AfxMessageBox(UINT id, UINT type = MB_OK, UINT helpId = (UINT)-1);

/// The string resource `id`, or null. The pointer stays valid until the entry
/// is replaced or removed.
VDKIT_API const char* FindStringResource(UINT id);
/// Adds or replaces entry `id`; a null text removes it.
VDKIT_API void SetStringResource(UINT id, const char* text);
