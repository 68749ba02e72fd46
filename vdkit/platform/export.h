/// @file
/// vdkit's one export macro. The library is built with hidden symbol
/// visibility; only declarations marked VDKIT_API are visible to programs that
/// link it, shared or static.
#pragma once

#if defined(_WIN32)
#  if defined(VDKIT_BUILDING)
#    define VDKIT_API __declspec(dllexport)
#  else
#    define VDKIT_API
#  endif
#else
/// Marks a class or function as part of the library's exported interface.
#  define VDKIT_API __attribute__((visibility("default")))
#endif
