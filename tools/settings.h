// Settings documents as the program shows them: key profiles (an XML
// document of one <DataSet>, sections of typed entries) and operator
// parameter files ("JobParameters.xml": one element per operator, holding
// what the operator's class writes).
//
// Both are read with the library. The operators' classes belong to the
// programs that wrote the file, so a parameter file is listed from its
// elements, never loaded into operators.
#pragma once

#include <functional>
#include <string>

#include "tool.h"
#include "vdkit/platform/cstring.h"

class CKeyProfile;

namespace vdtool {

// Every entry of the profile in its own order: section, key, type, size and
// value bytes.
void Walk(const CKeyProfile& profile,
          const std::function<void(const CString&, const CString&, int, int, void*)>& visit);

void InfoKeyProfile(const std::string& path, ByteSpan bytes);
void DumpKeyProfile(const std::string& path, ByteSpan bytes);
// Loads the profile and stores it to `out` (which takes the old file's
// place only when whole). Failure, unless `lossy`, when entries of the
// document did not load (an unknown type, a value that does not read, or a
// repeated key); with `lossy` a note says how many.
void RewriteKeyProfile(const std::string& in, ByteSpan bytes, const std::string& out, bool lossy);

void InfoJobParameters(const std::string& path, ByteSpan bytes);
void DumpJobParameters(const std::string& path, ByteSpan bytes);

}  // namespace vdtool
