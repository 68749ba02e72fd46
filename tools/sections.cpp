#include "sections.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "formats.h"
#include "listing.h"
#include "tool.h"
#include "vdkit/vdb/table.h"

namespace vdtool {

namespace {

std::string EntryName(const SsecTableInfo& info) {
  std::string name(info.szName, strnlen(info.szName, sizeof info.szName));
  for (int i = 0; i < 8 && !name.empty() && name.back() == ' '; ++i) name.pop_back();
  return name;
}

// The library's file errors, as the file's message.
template <typename Work>
auto Guarded(const std::string& path, Work work) -> decltype(work()) {
  try {
    return work();
  } catch (CException* e) {
    const std::string text = ExceptionText(e);
    e->Delete();
    FailFile(path, "cannot read: " + text);
  }
}

void PrintDirectory(const Sections& s) {
  Out().Line(Format("  version %u, header %u bytes, ", s.head.dwVersion, s.head.wHeadSize) +
             Grouped(s.head.wTableCount) + (s.head.wTableCount == 1 ? " table" : " tables") + " in " +
             Grouped(static_cast<unsigned>(s.blocks)) +
             (s.blocks == 1 ? " directory block" : " directory blocks"));
  if (s.tables.empty()) return;
  Grid grid({"TABLE", "TYPE", "INFO1", "INFO2", "INFO3", "OFFSET", "BYTES"},
            {false, true, true, true, true, true, true});
  for (const SectionTable& t : s.tables)
    grid.Row({Quoted(t.name), std::to_string(t.info.nType), std::to_string(t.info.wInfo1),
              std::to_string(t.info.wInfo2), std::to_string(t.info.dwInfo3), Grouped(t.info.dwDataPos),
              t.pastEnd ? "past the end" : Grouped(t.size)});
  grid.Print("  ");
}

void MissingNote(const Sections& s) {
  if (s.missing > 0)
    Out().Line(
        Format("  note: %d of the %u tables the header counts have no directory block in the file; the "
               "library passes over them",
               s.missing, s.head.wTableCount));
}

}  // namespace

Sections ReadSections(const std::string& path, CSecFile& file) {
  CFileException error;
  if (!file.Open(path.c_str(), CFile::modeRead, &error)) {
    if (error.m_cause == CFileException::invalidFile)
      FailFile(
          path,
          "not a section file: shorter than its header, without \"SECF\", or counting more than 832 tables");
    FailFile(path, "cannot open: " + ExceptionText(&error));
  }
  Sections s;
  Guarded(path, [&] {
    file.GetFileHead(&s.head);
    s.length = file.GetLength();
    std::vector<uint64_t> starts;
    for (const DWORD block : s.head.dwDirBlock)
      if (block) starts.push_back(block), ++s.blocks;
    SsecTableInfo info;
    for (POSITION pos = file.GetFirstTableInfoPos(0); pos;) {
      if (!file.GetNextTableInfo(pos, info, 0)) break;
      SectionTable t;
      t.name = EntryName(info);
      t.info = info;
      s.tables.push_back(t);
      starts.push_back(info.dwDataPos);
    }
    s.missing = s.head.wTableCount - static_cast<int>(s.tables.size());
    starts.push_back(s.length);
    std::sort(starts.begin(), starts.end());
    for (size_t i = 0; i < s.tables.size(); ++i) {
      SectionTable& t = s.tables[i];
      const uint64_t at = t.info.dwDataPos;
      t.pastEnd = at > s.length;
      const bool shared = std::any_of(s.tables.begin() + static_cast<long>(i) + 1, s.tables.end(),
                                      [&](const SectionTable& later) { return later.info.dwDataPos == at; });
      if (!t.pastEnd && !shared) t.size = *std::upper_bound(starts.begin(), starts.end(), at) - at;
    }
    return 0;
  });
  return s;
}

std::vector<BYTE> SectionBytes(const std::string& path, CSecFile& file, const SectionTable& table) {
  std::vector<BYTE> bytes(static_cast<size_t>(table.size));
  if (bytes.empty()) return bytes;
  Guarded(path, [&] {
    file.Seek(static_cast<LONGLONG>(table.info.dwDataPos), CFile::begin);
    if (file.Read(bytes.data(), static_cast<UINT>(bytes.size())) != bytes.size())
      FailFile(path, "the bytes of table " + Quoted(table.name) + " end early");
    return 0;
  });
  return bytes;
}

void InfoSections(const std::string& path) {
  CSecFile file;
  const Sections s = ReadSections(path, file);
  PrintDirectory(s);
  MissingNote(s);
}

void DumpSections(const std::string& path) {
  CSecFile file;
  const Sections s = ReadSections(path, file);
  Out().Line(path);
  PrintDirectory(s);
  for (const SectionTable& t : s.tables) {
    const std::vector<BYTE> bytes = SectionBytes(path, file, t);
    Out().Line("");
    Out().Line("table " + Quoted(t.name) + ", " + Grouped(bytes.size()) +
               (bytes.size() == 1 ? " byte" : " bytes") +
               (t.pastEnd ? " (its offset lies past the end of the file)" : ""));
    // A table file among the tables is shown as its records.
    if (bytes.size() >= 4 && std::memcmp(bytes.data(), "TV10", 4) == 0) {
      try {
        Out().Hold();
        std::unique_ptr<CVdbTable> table = LoadTable(path + ":" + t.name, ByteSpan(bytes));
        Out().Line("  a table file: " + TableSummary(*table));
        PrintRecords(*table, "  ", false);
        Out().Release();
        continue;
      } catch (const Failure&) {
        Out().Discard();  // not whole after all: the bytes then
      }
    }
    PrintHex(bytes.data(), bytes.size(), "  ");
  }
  MissingNote(s);
}

void RewriteSections(const std::string& in, const std::string& out, bool lossy) {
  CSecFile from;
  const Sections s = ReadSections(in, from);
  size_t pastEnd = 0;
  for (const SectionTable& t : s.tables) pastEnd += t.pastEnd;
  if (s.missing > 0 || pastEnd > 0) {
    const std::string what =
        s.missing > 0 ? Format("%d of the tables the header counts have no directory block", s.missing)
                      : Format("%zu table%s begin%s past the end of the file", pastEnd,
                               pastEnd == 1 ? "" : "s", pastEnd == 1 ? "s" : "");
    if (!lossy)
      FailFile(in, what + ": the output would leave them out; nothing written (--lossy writes it anyway)");
    Note(in, what + ": left out (--lossy)");
  }
  CSecFile to;
  try {
    if (!to.Open(out.c_str(), secOpenCreate)) FailFile(out, "cannot create");
    SsecFileHead head = s.head;
    to.SetFileHead(&head);
    for (const SectionTable& t : s.tables) {
      if (t.pastEnd) continue;
      const std::vector<BYTE> bytes = SectionBytes(in, from, t);
      SsecTableInfo info = t.info;
      if (!to.AddTableInfo(nullptr, info)) FailFile(out, "cannot add the table " + Quoted(t.name));
      if (!bytes.empty()) to.Write(bytes.data(), static_cast<UINT>(bytes.size()));
    }
    // The input is closed before the output takes its name, so that a
    // failure there still leaves the old output.
    Guarded(in, [&] {
      from.Close();
      return 0;
    });
    to.Close();
  } catch (CException* e) {
    const std::string text = ExceptionText(e);
    e->Delete();
    to.Abort();
    FailFile(out, "cannot write: " + text);
  }
}

}  // namespace vdtool
