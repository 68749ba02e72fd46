// Section files ("SECF") as the program shows and rewrites them: the header,
// the directory of tables and each table's bytes.
//
// The directory keeps no sizes: a table's bytes run from its offset to the
// next table's or directory block's, or to the end of the file. Of tables
// that share an offset (one added right after another, with nothing written
// between), the last in directory order holds the bytes and the others are
// empty, which is how a writer made them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vdkit/secfile/sec_file.h"

namespace vdtool {

struct SectionTable {
  std::string name;  // without the blanks that pad it
  SsecTableInfo info{};
  uint64_t size = 0;
  bool pastEnd = false;  // the offset lies past the end of the file
};

struct Sections {
  SsecFileHead head{};
  uint64_t length = 0;
  int blocks = 0;   // directory blocks present
  int missing = 0;  // entries the header counts whose directory block is missing
  std::vector<SectionTable> tables;
};

// Opens `path` with the library and reads its header and directory.
// Failure (status 1) when it is not a section file or cannot be read.
Sections ReadSections(const std::string& path, CSecFile& file);
// A table's bytes (empty for one past the end).
std::vector<BYTE> SectionBytes(const std::string& path, CSecFile& file, const SectionTable& table);

void InfoSections(const std::string& path);
void DumpSections(const std::string& path);
// Writes the tables of `in` in order into a new section file `out`, which
// takes its place only when it is whole; the header's version goes along.
// Tables without a directory block or with their offset past the end are
// left out only when `lossy` (with a note); Failure otherwise.
void RewriteSections(const std::string& in, const std::string& out, bool lossy);

}  // namespace vdtool
