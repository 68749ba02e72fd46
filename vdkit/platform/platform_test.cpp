#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <list>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "vdkit/platform/archive.h"
#include "vdkit/platform/collections.h"
#include "vdkit/platform/cstring.h"
#include "vdkit/platform/file.h"
#include "vdkit/platform/resources.h"

namespace {

std::vector<BYTE> Bytes(const CMemFile& f) {
  return std::vector<BYTE>(f.GetData(), f.GetData() + f.GetLength());
}

// Writes `s` through an archive with a small buffer and returns the bytes.
std::vector<BYTE> StoreString(const CString& s) {
  CMemFile mem;
  CArchive ar(&mem, CArchive::store, 128);
  ar << s;
  ar.Close();
  return Bytes(mem);
}

std::string TempPath(const char* name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/vdkit_" + std::to_string(::getpid()) + "_" + name;
}

TEST(CStringTest, FormatIsNeverCut) {
  CString s;
  const std::string longText(5000, 'x');
  s.Format("[%s]", longText.c_str());
  EXPECT_EQ(s.GetLength(), 5002);
  s.AppendFormat("%d", 42);
  EXPECT_EQ(s.Right(3), "]42");
}

TEST(CStringTest, ExtractionClampsLikeTheFramework) {
  const CString s("Depth:DOUBLE");
  EXPECT_EQ(s.Left(5), "Depth");
  EXPECT_EQ(s.Left(100), s);
  EXPECT_EQ(s.Left(-1), "");
  EXPECT_EQ(s.Mid(6), "DOUBLE");
  EXPECT_EQ(s.Mid(-3, 2), "De");
  EXPECT_EQ(s.Mid(20), "");
  EXPECT_EQ(s.Right(3), "BLE");
  EXPECT_EQ(s.Find(':'), 5);
  EXPECT_EQ(s.Find("DOU", 6), 6);
  EXPECT_EQ(s.Find("DOU", 7), -1);
  EXPECT_EQ(s.Find('x', 100), -1);
  EXPECT_EQ(s.ReverseFind('E'), 11);
}

TEST(CStringTest, EditingMembers) {
  CString s("  a,b,,c \t");
  s.TrimLeft().TrimRight();
  EXPECT_EQ(s, "a,b,,c");
  EXPECT_EQ(s.Replace(",", ";;"), 3);
  EXPECT_EQ(s, "a;;b;;;;c");
  EXPECT_EQ(s.Replace("", "x"), 0);
  EXPECT_EQ(s.Remove(';'), 6);
  EXPECT_EQ(s, "abc");
  s.Insert(1, "XY");
  s.Delete(0);
  EXPECT_EQ(s, "XYbc");
  EXPECT_EQ(CString("ABC").CompareNoCase("abc"), 0);
  EXPECT_LT(CString("abc").CompareNoCase("ABD"), 0);
  EXPECT_EQ(CString("xxhixx").TrimLeft('x').TrimRight("x"), "hi");
}

TEST(CStringTest, GetBufferThenReleaseMeasuresToFirstNul) {
  CString s("abc");
  char* p = s.GetBuffer(10);
  EXPECT_EQ(p[0], 'a');
  std::snprintf(p, 11, "%s", "hello");
  s.ReleaseBuffer();
  EXPECT_EQ(s, "hello");
  EXPECT_EQ(s.GetLength(), 5);
  s.GetBuffer(2);
  s.ReleaseBuffer(2);
  EXPECT_EQ(s, "he");
}

TEST(CStringTest, LoadStringReadsTheResourceTable) {
  CString s;
  ASSERT_TRUE(s.LoadString(IDS_VDB_NO_TABLE_DEFINITION));
  EXPECT_EQ(s, "\xC3\xBB\xD3\xD0\xD5\xD2\xB5\xBD\xB1\xED\xB5\xC4\xB6\xA8\xD2\xE5");
  EXPECT_FALSE(s.LoadString(54321));
  SetStringResource(54321, "host text");
  EXPECT_TRUE(s.LoadString(54321));
  EXPECT_EQ(s, "host text");
  SetStringResource(54321, nullptr);
  EXPECT_EQ(FindStringResource(54321), nullptr);
}

TEST(MessageBoxTest, HandlerReceivesTextAndCanBeRestored) {
  std::string seen;
  auto previous = SetMessageBoxHandler([&](const char* text, UINT type) {
    seen = std::string(text) + "/" + std::to_string(type);
    return IDYES;
  });
  EXPECT_EQ(AfxMessageBox("hello", MB_YESNO), IDYES);
  EXPECT_EQ(seen, "hello/4");
  SetMessageBoxHandler(previous);
}

TEST(MulDivTest, RoundsHalvesAwayFromZeroAtSixtyFourBits) {
  EXPECT_EQ(MulDiv(3, 5, 2), 8);     // 7.5
  EXPECT_EQ(MulDiv(-3, 5, 2), -8);   // -7.5
  EXPECT_EQ(MulDiv(3, -5, -2), 8);
  EXPECT_EQ(MulDiv(7, 1, 3), 2);     // 2.33
  EXPECT_EQ(MulDiv(2000000000, 3, 4), 1500000000);  // product beyond 32 bits
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
  EXPECT_EQ(MulDiv(2000000000, 2, 1), -1);          // result beyond 32 bits
}

TEST(CollectionsTest, StringArrayGrowInsertRemove) {
  CStringArray a;
  a.SetAtGrow(2, "c");
  ASSERT_EQ(a.GetSize(), 3);
  EXPECT_TRUE(a[0].IsEmpty());
  a.InsertAt(0, "a", 2);
  EXPECT_EQ(a.GetSize(), 5);
  a.RemoveAt(1, 3);
  ASSERT_EQ(a.GetSize(), 2);
  EXPECT_EQ(a[0], "a");
  EXPECT_EQ(a[1], "c");
  CStringArray b;
  b.Copy(a);
  b[0] = "z";
  EXPECT_EQ(a[0], "a");
  a.InsertAt(1, &b);
  EXPECT_EQ(a.GetSize(), 4);
  EXPECT_EQ(a[1], "z");
  a.SetSize(1);
  EXPECT_EQ(a.GetSize(), 1);
}

TEST(CollectionsTest, PtrArrayNewElementsAreNull) {
  CPtrArray a;
  int x = 0;
  a.SetSize(3, 16);
  EXPECT_EQ(a[2], nullptr);
  a.SetAtGrow(5, &x);
  EXPECT_EQ(a.GetSize(), 6);
  EXPECT_EQ(a[4], nullptr);
  EXPECT_EQ(a[5], &x);
}

TEST(CollectionsTest, MapPtrToWordLookupRemoveIterate) {
  CMapPtrToWord m;
  int a, b, c;
  m[&a] = 1;
  m[&b] = 2;
  m.SetAt(&c, 3);
  m[&a] = 4;
  WORD v = 0;
  EXPECT_TRUE(m.Lookup(&a, v));
  EXPECT_EQ(v, 4);
  EXPECT_TRUE(m.RemoveKey(&b));
  EXPECT_FALSE(m.RemoveKey(&b));
  EXPECT_FALSE(m.Lookup(&b, v));
  std::vector<void*> keys;
  for (POSITION pos = m.GetStartPosition(); pos;) {
    void* k;
    m.GetNextAssoc(pos, k, v);
    keys.push_back(k);
  }
  EXPECT_EQ(keys, (std::vector<void*>{&a, &c}));
}

// Random operations against a model: a std::map for the values and a list
// for the insertion order. Keys come from a pool small enough that entries
// are removed and added again, and include null and far-apart addresses;
// iteration removes and adds entries as it goes.
TEST(CollectionsTest, MapPtrToWordMatchesModel) {
  std::vector<char> block(3000);
  std::vector<void*> pool;
  for (char& c : block) pool.push_back(&c);
  pool.push_back(nullptr);
  for (uintptr_t high = 1; high < 16; ++high) pool.push_back(reinterpret_cast<void*>(high << 40 | 0x10));
  std::map<void*, WORD> values;
  std::list<void*> order;
  CMapPtrToWord m;
  auto check = [&] {
    ASSERT_EQ(m.GetCount(), static_cast<INT_PTR>(values.size()));
    std::vector<std::pair<void*, WORD>> seen, want;
    for (POSITION pos = m.GetStartPosition(); pos;) {
      void* k;
      WORD v;
      m.GetNextAssoc(pos, k, v);
      seen.emplace_back(k, v);
    }
    for (void* k : order) want.emplace_back(k, values[k]);
    ASSERT_EQ(seen, want);
  };
  std::mt19937 rng(19);
  for (int step = 0; step < 60000; ++step) {
    void* key = pool[rng() % pool.size()];
    const WORD value = static_cast<WORD>(rng());
    const unsigned op = rng() % 100;
    WORD got = 0;
    if (op < 50) {
      if (!values.count(key)) order.push_back(key);
      values[key] = value;
      if (op < 25)
        m[key] = value;
      else
        m.SetAt(key, value);
    } else if (op < 90) {
      const bool had = values.erase(key) != 0;
      if (had) order.remove(key);
      ASSERT_EQ(m.RemoveKey(key), had ? TRUE : FALSE);
    } else if (op < 99) {
      const auto it = values.find(key);
      ASSERT_EQ(m.Lookup(key, got), it != values.end() ? TRUE : FALSE);
      if (it != values.end()) {
        ASSERT_EQ(got, it->second);
      }
    } else if (step % 7 < 2) {
      // Emptied at once or key by key; either way it starts afresh.
      if (step % 7 == 0) {
        m.RemoveAll();
      } else {
        for (const auto& entry : values) ASSERT_TRUE(m.RemoveKey(entry.first));
      }
      values.clear();
      order.clear();
    } else {
      // Walk once, removing every third entry just visited and adding a
      // key new to the map, which the walk must reach too.
      int n = 0;
      for (POSITION pos = m.GetStartPosition(); pos; ++n) {
        void* k;
        m.GetNextAssoc(pos, k, got);
        if (n % 3 == 0) {
          m.RemoveKey(k);
          values.erase(k);
          order.remove(k);
        }
        if (n == 1 && !values.count(key)) {
          m[key] = value;
          values[key] = value;
          order.push_back(key);
        }
      }
    }
    if (step % 500 == 0) check();
  }
  check();
}

TEST(CMemFileTest, GrowsAndSeeksPastEnd) {
  CMemFile f(16);
  std::string data(100, 'q');
  f.Write(data.data(), 100);
  EXPECT_EQ(f.GetLength(), 100u);
  EXPECT_GE(f.GetBufferSize(), 100u);
  f.Seek(10, CFile::end);
  f.Write("z", 1);
  EXPECT_EQ(f.GetLength(), 111u);
  EXPECT_EQ(f.GetData()[105], 0);  // the gap reads as zeros
  f.SeekToBegin();
  char buf[200];
  EXPECT_EQ(f.Read(buf, 200), 111u);
  EXPECT_EQ(f.Read(buf, 1), 0u);
  try {
    f.Seek(-1, CFile::begin);
    ADD_FAILURE() << "a seek before the start must throw";
  } catch (CFileException* e) {
    EXPECT_EQ(e->m_cause, CFileException::badSeek);
    e->Delete();
  }
  BYTE* block = f.Detach();
  EXPECT_EQ(f.GetLength(), 0u);
  std::free(block);
}

TEST(CMemFileTest, AttachedBufferReadsInPlaceAndCannotGrow) {
  BYTE buf[4] = {1, 2, 3, 4};
  CMemFile f(buf, 4);
  EXPECT_EQ(f.GetLength(), 4u);
  f.Seek(1, CFile::begin);
  f.Write("\x09", 1);
  EXPECT_EQ(buf[1], 9);
  f.Seek(0, CFile::end);
  try {
    f.Write("x", 1);
    ADD_FAILURE() << "writing past a fixed buffer must throw";
  } catch (CFileException* e) {
    EXPECT_EQ(e->m_cause, CFileException::diskFull);
    e->Delete();
  }
  // A growable attached buffer moves to a block of the file's own.
  BYTE scratch[2] = {0, 0};
  CMemFile g(scratch, 2, 8);
  EXPECT_EQ(g.GetLength(), 0u);
  g.Write("abcdef", 6);
  EXPECT_EQ(g.GetLength(), 6u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(g.GetData()), 6), "abcdef");
}

TEST(CFileTest, ErrorsRaiseFileExceptions) {
  CFile f;
  CFileException err;
  EXPECT_FALSE(f.Open("/nonexistent-dir/x", CFile::modeRead, &err));
  EXPECT_EQ(err.m_cause, CFileException::fileNotFound);
  char msg[16];
  EXPECT_TRUE(err.GetErrorMessage(msg, sizeof msg));
  EXPECT_LT(std::strlen(msg), sizeof msg);  // cut, never overrun
  try {
    CFile g("/nonexistent-dir/x", CFile::modeRead);
    ADD_FAILURE() << "the opening constructor must throw";
  } catch (CFileException* e) {
    EXPECT_EQ(e->m_cause, CFileException::fileNotFound);
    e->Delete();
  }
}

TEST(CFileTest, ReadWriteSeekAndInjectedFaults) {
  const std::string path = TempPath("file.bin");
  {
    CFile f(path.c_str(), CFile::modeCreate | CFile::modeReadWrite);
    f.Write("hello world", 11);
    EXPECT_EQ(f.GetLength(), 11u);
    EXPECT_EQ(f.Seek(6, CFile::begin), 6u);
    char buf[8] = {};
    EXPECT_EQ(f.Read(buf, 8), 5u);
    EXPECT_STREQ(buf, "world");
    EXPECT_EQ(f.GetFileName(), CString(path.substr(path.rfind('/') + 1).c_str()));
    CFile::SetFaultHook([](CFile::Op op) { return op == CFile::Op::Write; });
    try {
      f.Write("x", 1);
      ADD_FAILURE() << "an injected fault must throw";
    } catch (CFileException* e) {
      EXPECT_EQ(e->m_cause, CFileException::hardIO);
      e->Delete();
    }
    CFile::SetFaultHook(nullptr);
  }
  CFile::Remove(path.c_str());
}

TEST(CArchiveTest, StringLengthPrefixesAtEveryThreshold) {
  struct Row {
    int len;
    std::vector<BYTE> prefix;
  };
  const Row rows[] = {
      {0, {0x00}},
      {254, {0xFE}},                                  // last one-byte length
      {255, {0xFF, 0xFF, 0x00}},                      // FF, then 255 as WORD
      {65533, {0xFF, 0xFD, 0xFF}},                    // last WORD length
      {65534, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0, 0}},  // FF FF FF, then DWORD
      {65535, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}},
      {70000, {0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.len);
    const CString s(std::string(static_cast<size_t>(row.len), 'a').c_str());
    const std::vector<BYTE> bytes = StoreString(s);
    ASSERT_EQ(bytes.size(), row.prefix.size() + static_cast<size_t>(row.len));
    EXPECT_TRUE(std::equal(row.prefix.begin(), row.prefix.end(), bytes.begin()));
    CMemFile mem(const_cast<BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
    CArchive ar(&mem, CArchive::load, 128);
    CString back;
    ar >> back;
    EXPECT_EQ(back, s);
  }
}

TEST(CArchiveTest, NumbersAndCountsAreLittleEndian) {
  CMemFile mem;
  {
    CArchive ar(&mem, CArchive::store);
    ar << static_cast<BYTE>(1) << static_cast<WORD>(0x0203) << static_cast<LONG>(-2) << 1.0f;
    ar.WriteCount(0xFFFE);
    ar.WriteCount(0xFFFF);
    ar.Close();
  }
  const std::vector<BYTE> expect = {
      0x01,                    // BYTE 1
      0x03, 0x02,              // WORD 0x0203
      0xFE, 0xFF, 0xFF, 0xFF,  // LONG -2
      0x00, 0x00, 0x80, 0x3F,  // float 1.0
      0xFE, 0xFF,              // count 0xFFFE: a WORD
      0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00,  // count 0xFFFF: FF FF, then DWORD
  };
  EXPECT_EQ(Bytes(mem), expect);
  mem.SeekToBegin();
  CArchive ar(&mem, CArchive::load);
  BYTE b;
  WORD w;
  LONG l;
  float f;
  ar >> b >> w >> l >> f;
  EXPECT_EQ(l, -2);
  EXPECT_EQ(ar.ReadCount(), 0xFFFEu);
  EXPECT_EQ(ar.ReadCount(), 0xFFFFu);
  try {
    ar >> b;
    ADD_FAILURE() << "reading past the end must throw";
  } catch (CArchiveException* e) {
    EXPECT_EQ(e->m_cause, CArchiveException::endOfFile);
    e->Delete();
  }
}

TEST(CArchiveTest, BufferingAcrossTheBufferBoundary) {
  // Writes of every size around the 128-byte buffer, then reads them back in
  // other sizes: the bytes must come out in order whatever the split.
  CMemFile mem;
  std::string expect;
  {
    CArchive ar(&mem, CArchive::store, 128);
    for (int n : {1, 127, 128, 129, 3, 300, 0, 128, 5}) {
      const std::string piece(static_cast<size_t>(n), static_cast<char>('a' + n % 26));
      ar.Write(piece.data(), static_cast<UINT>(n));
      expect += piece;
    }
    ar.Close();
  }
  ASSERT_EQ(mem.GetLength(), expect.size());
  mem.SeekToBegin();
  CArchive ar(&mem, CArchive::load, 128);
  std::string got;
  for (int n : {5, 128, 200, 1, 127, 1000}) {
    std::string piece(static_cast<size_t>(n), '\0');
    piece.resize(ar.Read(&piece[0], static_cast<UINT>(n)));
    got += piece;
  }
  EXPECT_EQ(got, expect);
}

TEST(CArchiveTest, FlushOnLoadGivesBackReadAhead) {
  CMemFile mem;
  mem.Write("abcdefgh", 8);
  mem.SeekToBegin();
  CArchive ar(&mem, CArchive::load);
  char c;
  ar >> c;
  ar.Flush();
  EXPECT_EQ(mem.GetPosition(), 1u);
}

TEST(CArchiveTest, HostileStringLengthAllocatesOnlyWhatArrives) {
  // FF FF FF then a 4 GiB - 1 length, but only three characters follow.
  const BYTE bytes[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b', 'c'};
  CMemFile mem(const_cast<BYTE*>(bytes), sizeof bytes);
  CArchive ar(&mem, CArchive::load);
  CString s;
  try {
    ar >> s;
    ADD_FAILURE() << "a truncated string must throw";
  } catch (CArchiveException* e) {
    EXPECT_EQ(e->m_cause, CArchiveException::endOfFile);
    e->Delete();
  }
  EXPECT_EQ(s, "abc");
}

TEST(CArchiveTest, ReadStringSplitsLines) {
  CMemFile mem;
  mem.Write("one\r\ntwo\nlast", 13);
  mem.SeekToBegin();
  CArchive ar(&mem, CArchive::load);
  CString line;
  std::vector<std::string> lines;
  while (ar.ReadString(line)) lines.push_back(line.GetString());
  EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "last"}));
}

}  // namespace
