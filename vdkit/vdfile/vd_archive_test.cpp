#include "vdkit/vdfile/vd_archive.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "vdkit/platform/resources.h"
#include "vdkit/vdfile/file64.h"

namespace {

using Bytes = std::vector<BYTE>;

// A client class with class data: one LONG. Its misbehaviour is switchable
// to check that one object's class data never disturb the next record.
enum class NoteMode { exact, readTooLittle, readTooMuch, refuse };
NoteMode g_noteMode = NoteMode::exact;
CQRXDoc* g_seenDocument = nullptr;
CString g_seenFileName;

class CNote : public CVDFile {
  DECLARE_VDFILE(CNote)
  CNote() { m_wVersion = 0x0203; }
  bool Serialize(CArchive& ar) override {
    g_seenDocument = ar.m_pDocument;
    g_seenFileName = ar.m_strFileName;
    if (ar.IsStoring()) {
      ar << m_value;
      return true;
    }
    switch (g_noteMode) {
      case NoteMode::exact:
        ar >> m_value;
        return true;
      case NoteMode::readTooLittle: {
        SHORT half;
        ar >> half;
        m_value = half;
        return true;
      }
      case NoteMode::readTooMuch: {
        LONGLONG wide;
        ar >> wide;  // past the end of the class data: throws
        return true;
      }
      case NoteMode::refuse:
        return false;
    }
    return true;
  }
  LONG m_value = 0;
};
IMPLEMENT_VDFILE(CNote, CVDFile)

Bytes Store(CVDFile& f, CQRXDoc* doc = nullptr) {
  CMemFile mem;
  CArchive ar(&mem, CArchive::store);
  ar.m_pDocument = doc;
  ar.m_strFileName = "tree.vdf";
  EXPECT_TRUE(ar << f);
  ar.Close();
  return Bytes(mem.GetData(), mem.GetData() + mem.GetLength());
}

bool Load(const Bytes& bytes, CVDFile& into, size_t length = SIZE_MAX) {
  length = std::min(length, bytes.size());
  CMemFile mem(length ? const_cast<BYTE*>(bytes.data()) : nullptr, static_cast<UINT>(length));
  CArchive ar(&mem, CArchive::load);
  return ar >> into;
}

// Collects message boxes instead of printing them.
class MessageCapture {
 public:
  MessageCapture() {
    m_previous = SetMessageBoxHandler([this](const char* text, UINT type) {
      texts.push_back(text);
      types.push_back(type);
      return IDOK;
    });
  }
  ~MessageCapture() { SetMessageBoxHandler(m_previous); }
  std::vector<std::string> texts;
  std::vector<UINT> types;

 private:
  MessageBoxHandler m_previous;
};

// The small tree of the golden test:
//   Disk (CVDisk)
//   +- well (CVDFile, type W, blob "AB")
//   |  +- x (CVDFile, empty type)
//   +- (unnamed CVDFile)
//   +- m (CNote, type N, version 0x0203, class data LONG 7)
void BuildSmallTree(CVDisk& disk) {
  CVDFile* well = disk.CreateFileA("well", "W", nullptr);
  CFile* blob = well->Open(CVDFile::openWrite);
  blob->Write("AB", 2);
  well->Close(blob);
  well->CreateFileA("x", "", nullptr);
  disk.CreateFileA(nullptr, "ignored", nullptr);
  static_cast<CNote*>(disk.CreateFileA("m", "N", "CNote"))->m_value = 7;
}

const Bytes kGolden = {
    'V', 'D', 'F', 'c',  // magic
    // ---- root record: the disk
    0x0A, 0x00, 'C', 'l', 'a', 's', 's', 'N', 'a', 'm', 'e', '=',  // key: 10 letters, n = 10 (10 % 4 == 2)
    0x06, 0x00, 'C', 'V', 'D', 'i', 's', 'k',                      // class: 6 letters, n = 6, no terminator
    0x00, 0x01,                                                    // version 0x0100
    0x01, 0x00,                                                    // flags: named
    0x06, 0x00, 'D', 'i', 's', 'k', 0x00, 0x00,                    // name: 4 letters, n = 6
    0x06, 0x00, 'D', 'i', 's', 'k', 0x00, 0x00,                    // type: 4 letters, n = 6
    0x00, 0x00, 0x00, 0x00,                                        // blob size 0
    0x00, 0x00, 0x00, 0x00,                                        // class data size 0
    0x03, 0x00, 0x00, 0x00,                                        // 3 children
    // ---- child 1: "well"
    0x0A, 0x00, 'C', 'l', 'a', 's', 's', 'N', 'a', 'm', 'e', '=',     // key
    0x0A, 0x00, 'C', 'V', 'D', 'F', 'i', 'l', 'e', 0x00, 0x00, 0x00,  // class: 7 letters, n = 10
    0x00, 0x01,                                                       // version 0x0100
    0x01, 0x00,                                                       // named
    0x06, 0x00, 'w', 'e', 'l', 'l', 0x00, 0x00,                       // name: 4 letters, n = 6
    0x02, 0x00, 'W', 0x00,                                            // type: 1 letter, n = 2
    0x02, 0x00, 0x00, 0x00, 'A', 'B',                                 // blob: 2 bytes
    0x00, 0x00, 0x00, 0x00,                                           // class data size 0
    0x01, 0x00, 0x00, 0x00,                                           // 1 child
    // ---- grandchild "x"
    0x0A, 0x00, 'C', 'l', 'a', 's', 's', 'N', 'a', 'm', 'e', '=',     // key
    0x0A, 0x00, 'C', 'V', 'D', 'F', 'i', 'l', 'e', 0x00, 0x00, 0x00,  // class
    0x00, 0x01, 0x01, 0x00,                                           // version, named
    0x02, 0x00, 'x', 0x00,                                            // name: 1 letter, n = 2
    0x02, 0x00, 0x00, 0x00,                                           // type: empty, n = 2
    0x00, 0x00, 0x00, 0x00,                                           // blob size 0
    0x00, 0x00, 0x00, 0x00,                                           // class data size 0
    0x00, 0x00, 0x00, 0x00,                                           // no children
    // ---- child 2: unnamed, so no name and no type
    0x0A, 0x00, 'C', 'l', 'a', 's', 's', 'N', 'a', 'm', 'e', '=',     // key
    0x0A, 0x00, 'C', 'V', 'D', 'F', 'i', 'l', 'e', 0x00, 0x00, 0x00,  // class
    0x00, 0x01,                                                       // version 0x0100
    0x00, 0x00,                                                       // flags: unnamed
    0x00, 0x00, 0x00, 0x00,                                           // blob size 0
    0x00, 0x00, 0x00, 0x00,                                           // class data size 0
    0x00, 0x00, 0x00, 0x00,                                           // no children
    // ---- child 3: "m", a CNote
    0x0A, 0x00, 'C', 'l', 'a', 's', 's', 'N', 'a', 'm', 'e', '=',  // key
    0x06, 0x00, 'C', 'N', 'o', 't', 'e', 0x00,                     // class: 5 letters, n = 6
    0x03, 0x02,                                                    // version 0x0203
    0x01, 0x00,                                                    // named
    0x02, 0x00, 'm', 0x00,                                         // name
    0x02, 0x00, 'N', 0x00,                                         // type
    0x00, 0x00, 0x00, 0x00,                                        // blob size 0
    0x04, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00,                // class data: 4 bytes, LONG 7
    0x00, 0x00, 0x00, 0x00,                                        // no children
};

Bytes WriteStrings(std::initializer_list<const char*> texts) {
  CMemFile mem;
  {
    CArchive ar(&mem, CArchive::store);
    for (const char* t : texts) CVDFile::Write(ar, t);
  }
  return Bytes(mem.GetData(), mem.GetData() + mem.GetLength());
}

TEST(RecordStringTest, ReadCutsToTheBufferAndRefusesBadLengths) {
  // n is the length rounded up to 2 more than a multiple of 4; n == length: no terminator.
  EXPECT_EQ(WriteStrings({nullptr}), (Bytes{0x02, 0x00, 0x00, 0x00}));
  EXPECT_EQ(WriteStrings({"ab"}), (Bytes{0x02, 0x00, 'a', 'b'}));
  EXPECT_EQ(WriteStrings({"abc"}), (Bytes{0x06, 0x00, 'a', 'b', 'c', 0x00, 0x00, 0x00}));
  EXPECT_EQ(WriteStrings({"abcdefg"}), (Bytes{0x0A, 0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 0, 0, 0}));
  Bytes bytes = WriteStrings({"abcdefg", "abcdef", "next"});
  bytes.insert(bytes.end(), {0xFE, 0xFF, 'a', 'b'});  // negative length
  CMemFile mem(bytes.data(), static_cast<UINT>(bytes.size()));
  CArchive in(&mem, CArchive::load);
  char buf[6];
  EXPECT_TRUE(CVDFile::Read(in, buf, sizeof buf));  // n 10 > 6: cut to 5, the rest skipped
  EXPECT_STREQ(buf, "abcde");
  EXPECT_TRUE(CVDFile::Read(in, buf, sizeof buf));  // n equals the size: the last byte gives way
  EXPECT_STREQ(buf, "abcde");
  EXPECT_TRUE(CVDFile::Read(in, buf, sizeof buf));
  EXPECT_STREQ(buf, "next");
  EXPECT_FALSE(CVDFile::Read(in, buf, sizeof buf));
  EXPECT_STREQ(buf, "");
  // A length beyond the data fails and keeps what fitted.
  const Bytes cut = {0x0A, 0x00, 'a', 'b', 'c'};
  CMemFile mem2(const_cast<BYTE*>(cut.data()), static_cast<UINT>(cut.size()));
  CArchive in2(&mem2, CArchive::load);
  EXPECT_FALSE(CVDFile::Read(in2, buf, sizeof buf));
  EXPECT_STREQ(buf, "abc");
}

TEST(RecordStringTest, OverlongTextsAreCutToFitTheLengthField) {
  // n must fit a signed 16-bit field: texts are cut to 32766 bytes
  // (n = 32766 = 4 * 8191 + 2) instead of writing a negative length.
  for (size_t length : {32765u, 32766u, 32767u, 70000u}) {
    SCOPED_TRACE(length);
    const std::string text(length, 'q');
    Bytes bytes = WriteStrings({text.c_str(), "tail"});
    EXPECT_EQ(bytes[0] | (bytes[1] << 8), 32766);
    CMemFile mem(bytes.data(), static_cast<UINT>(bytes.size()));
    CArchive in(&mem, CArchive::load);
    std::vector<char> buf(40000);
    EXPECT_TRUE(CVDFile::Read(in, buf.data(), static_cast<int>(buf.size())));
    EXPECT_EQ(std::string(buf.data()), std::string(std::min<size_t>(length, 32766), 'q'));
    EXPECT_TRUE(CVDFile::Read(in, buf.data(), static_cast<int>(buf.size())));
    EXPECT_STREQ(buf.data(), "tail");
  }
}

TEST(BinaryArchiveTest, GoldenBytesWrittenAndReadBack) {
  CVDisk tree;
  BuildSmallTree(tree);
  EXPECT_EQ(Store(tree), kGolden);

  MessageCapture boxes;
  g_noteMode = NoteMode::exact;
  CVDisk disk;
  disk.SetName("Old");
  CQRXDoc* doc = reinterpret_cast<CQRXDoc*>(&boxes);
  CMemFile mem(const_cast<BYTE*>(kGolden.data()), static_cast<UINT>(kGolden.size()));
  CArchive ar(&mem, CArchive::load);
  ar.m_pDocument = doc;
  ar.m_strFileName = "golden.vdf";
  ASSERT_TRUE(ar >> disk);
  EXPECT_TRUE(boxes.texts.empty());
  // Class data are read through an archive that carries the outer one's
  // document and file name.
  EXPECT_EQ(g_seenDocument, doc);
  EXPECT_EQ(g_seenFileName, "golden.vdf");
  EXPECT_EQ(Store(disk), kGolden);  // names, types, blobs, classes and class data all came back
  CVDFile* well = disk.FindFile("well");
  ASSERT_NE(well, nullptr);
  EXPECT_EQ(well->GetParent(), &disk);
  EXPECT_EQ(disk.FindFileEx("/well/x")->GetParent(), well);
  EXPECT_EQ(disk.FindFile("M")->GetLoadedVersion(), 0x0203);
  EXPECT_EQ(well->GetLoadedVersion(), 0x0100);
}

void BuildRandomTree(CVDFile& parent, std::mt19937& rng, int depth, int& budget) {
  const int children = depth > 6 ? 0 : static_cast<int>(rng() % 6);
  for (int i = 0; i < children && budget > 0; ++i, --budget) {
    const bool named = rng() % 5 != 0;
    // Sibling names stay unique: a reader reuses a child of the same name.
    std::string name = named ? "n" + std::to_string(i) + std::string(rng() % 140, 'z') : "";
    const char* cls = rng() % 3 == 0 ? "CNote" : "CVDFile";
    CVDFile* f = parent.CreateFileA(name.c_str(), ("t" + std::to_string(rng() % 4)).c_str(), cls);
    ASSERT_NE(f, nullptr);
    if (f->IsKindOf("CNote")) static_cast<CNote*>(f)->m_value = static_cast<LONG>(rng());
    const size_t blob = rng() % 4 == 0 ? 0 : rng() % 300;
    if (blob) {
      CFile* out = f->Open(CVDFile::openWrite);
      for (size_t k = 0; k < blob; ++k) {
        const BYTE b = static_cast<BYTE>(rng());
        out->Write(&b, 1);
      }
      f->Close(out);
    }
    BuildRandomTree(*f, rng, depth + 1, budget);
  }
}

TEST(BinaryArchiveTest, RandomTreesRoundTrip) {
  g_noteMode = NoteMode::exact;
  for (unsigned seed = 1; seed <= 20; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    CVDisk disk;
    int budget = 400;
    BuildRandomTree(disk, rng, 0, budget);
    const Bytes bytes = Store(disk);
    CVDisk copy;
    ASSERT_TRUE(Load(bytes, copy));
    // Names longer than 127 characters come back cut to 127.
    std::function<void(CVDFile&)> cut = [&](CVDFile& f) {
      if (f.IsNamed() && std::strlen(f.GetName()) > 127) f.SetName(std::string(f.GetName(), 127).c_str());
      for (int i = 0; i < f.GetFileCount(); ++i) cut(*f.GetFileAt(i));
    };
    cut(disk);
    EXPECT_EQ(Store(copy), Store(disk));
  }
}

TEST(BinaryArchiveTest, ReadingIntoAFilledDiskReusesChildrenByName) {
  MessageCapture boxes;  // the reused CNote x finds no class data of its own
  g_noteMode = NoteMode::exact;
  CVDisk disk;
  BuildSmallTree(disk);
  const Bytes bytes = Store(disk);

  CVDisk target;
  CVDFile* well = target.CreateFileA("WELL", "old", nullptr);
  CVDFile* keep = target.CreateFileA("keep", nullptr, nullptr);
  CVDFile* x = well->CreateFileA("x", nullptr, "CNote");  // a different class is reused as it is
  ASSERT_TRUE(Load(bytes, target));
  EXPECT_EQ(target.FindFile("well"), well);
  EXPECT_STREQ(well->GetName(), "well");
  EXPECT_STREQ(well->GetFileType(), "W");
  EXPECT_EQ(well->FindFile("x"), x);
  EXPECT_EQ(well->GetFileCount(), 1);
  EXPECT_EQ(target.FindFile("keep"), keep);
  // well and keep, then the unnamed child and m appended.
  ASSERT_EQ(target.GetFileCount(), 4);
  EXPECT_FALSE(target.GetFileAt(2)->IsNamed());
  EXPECT_STREQ(target.GetFileAt(3)->GetName(), "m");

  // A second read creates the unnamed child anew and nothing else.
  ASSERT_TRUE(Load(bytes, target));
  EXPECT_EQ(target.GetFileCount(), 5);
}

TEST(BinaryArchiveTest, RootRecordGoesIntoTheGivenObject) {
  g_noteMode = NoteMode::exact;
  CVDisk disk;
  BuildSmallTree(disk);
  CVDFile* anon = disk.GetFileAt(1);
  anon->CreateFileA("inside", nullptr, nullptr);
  const Bytes bytes = Store(*anon);
  // An unnamed root: the given object keeps its name and becomes unnamed.
  CVDisk other;
  CVDFile* into = other.CreateFileA("holder", "H", nullptr);
  ASSERT_TRUE(Load(bytes, *into));
  EXPECT_FALSE(into->IsNamed());
  EXPECT_STREQ(into->GetName(), "holder");
  // It stays where it was in its own tree.
  EXPECT_EQ(into->GetParent(), &other);
  EXPECT_EQ(other.GetFileAt(0), into);
  EXPECT_NE(into->FindFile("inside"), nullptr);

  // The root's class is not checked against the given object's.
  CVDFile plain;
  ASSERT_TRUE(Load(Store(disk), plain));
  EXPECT_STREQ(plain.GetName(), "Disk");
  EXPECT_EQ(plain.GetFileCount(), 3);
}

TEST(BinaryArchiveTest, ClassDataOfTheWrongLengthWarnAndTheNextRecordsRead) {
  MessageCapture boxes;
  CVDisk disk;
  BuildSmallTree(disk);
  disk.CreateFileA("after", "A", nullptr);
  const Bytes bytes = Store(disk);
  const std::string expected =
      std::string(" 'CNote'") + "\xC0\xE0\xB5\xC4\xCA\xFD\xBE\xDD\xB2\xBB\xC6\xA5\xC5\xE4";
  for (NoteMode mode : {NoteMode::readTooLittle, NoteMode::readTooMuch}) {
    g_noteMode = mode;
    boxes.texts.clear();
    boxes.types.clear();
    CVDisk copy;
    EXPECT_TRUE(Load(bytes, copy));
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], expected);
    EXPECT_EQ(boxes.types[0], static_cast<UINT>(MB_ICONWARNING | MB_OK));
    ASSERT_EQ(copy.GetFileCount(), 4);
    EXPECT_STREQ(copy.GetFileAt(3)->GetFileType(), "A");
  }
  g_noteMode = NoteMode::exact;
}

TEST(BinaryArchiveTest, RefusedClassDataPassOverTheRecordsChildren) {
  MessageCapture boxes;
  CVDisk disk;
  CVDFile* note = disk.CreateFileA("note", nullptr, "CNote");
  note->CreateFileA("under", nullptr, nullptr);
  disk.CreateFileA("after", nullptr, nullptr);
  const Bytes bytes = Store(disk);
  g_noteMode = NoteMode::refuse;
  CVDisk copy;
  EXPECT_TRUE(Load(bytes, copy));
  // The refusing object stays; its children are passed over; its sibling is read.
  ASSERT_EQ(copy.GetFileCount(), 2);
  EXPECT_EQ(copy.FindFile("note")->GetFileCount(), 0);
  EXPECT_NE(copy.FindFile("after"), nullptr);
  // At the root a refusal fails the read.
  CNote root;
  EXPECT_FALSE(Load(Store(*note), root));
  g_noteMode = NoteMode::exact;
  EXPECT_TRUE(boxes.texts.empty());
}

TEST(BinaryArchiveTest, UnknownClassesArePassedOverWhole) {
  CVDisk disk;
  CVDFile* odd = disk.CreateFileA("odd", nullptr, "CNote");
  odd->CreateFileA("child", nullptr, nullptr);
  CFile* blob = odd->Open(CVDFile::openWrite);
  blob->Write("blob", 4);
  odd->Close(blob);
  disk.CreateFileA("after", nullptr, nullptr);
  Bytes bytes = Store(disk);
  // Rename the class in the stream to one nobody registered (same length).
  const std::string from = "CNote";
  auto at = std::search(bytes.begin(), bytes.end(), from.begin(), from.end());
  ASSERT_NE(at, bytes.end());
  std::copy_n("CXxxx", 5, at);
  CVDisk copy;
  EXPECT_TRUE(Load(bytes, copy));
  ASSERT_EQ(copy.GetFileCount(), 1);
  EXPECT_STREQ(copy.GetFileAt(0)->GetName(), "after");
}

// Builds a raw record by hand for hostile-input tests.
struct RecordBuilder {
  Bytes out;
  void Str(const std::string& s) {
    size_t n = s.size();
    while (n % 4 != 2) ++n;
    U16(static_cast<uint16_t>(n));
    out.insert(out.end(), s.begin(), s.end());
    out.insert(out.end(), n - s.size(), 0);
  }
  void U16(uint16_t v) {
    out.push_back(static_cast<BYTE>(v));
    out.push_back(static_cast<BYTE>(v >> 8));
  }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<BYTE>(v >> (8 * i)));
  }
  // A record up to its child count.
  void Head(const std::string& name, uint32_t blob, uint32_t classData, uint32_t children) {
    Str("ClassName=");
    Str("CVDFile");
    U16(0x0100);
    U16(1);
    Str(name);
    Str("T");
    U32(blob);
    out.insert(out.end(), std::min<uint32_t>(blob, 8), 'b');
    U32(classData);
    U32(children);
  }
};

TEST(BinaryArchiveTest, HostileCountsAndSizesFailWithoutAllocatingThem) {
  struct Case {
    const char* what;
    std::function<void(RecordBuilder&)> build;
  };
  const Case cases[] = {
      {"huge blob size", [](RecordBuilder& r) { r.Head("a", 0xFFFFFFFFu, 0, 0); }},
      {"huge class data size",
       [](RecordBuilder& r) {
         r.Head("a", 0, 0, 1);
         r.Head("b", 0, 0xFFFFFFF0u, 0);
       }},
      {"huge child count", [](RecordBuilder& r) { r.Head("a", 0, 0, 0x7FFFFFFFu); }},
      {"negative child count", [](RecordBuilder& r) { r.Head("a", 0, 0, 0xFFFFFFFFu); }},
      {"negative string length",
       [](RecordBuilder& r) {
         r.Head("a", 0, 0, 1);
         r.U16(0x8000);
       }},
      {"wrong key",
       [](RecordBuilder& r) {
         r.Head("a", 0, 0, 2);
         r.Head("b", 0, 0, 0);
         r.Str("ClassNom=");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordBuilder r;
    r.out = {'V', 'D', 'F', 'c'};
    c.build(r);
    CVDisk disk;
    EXPECT_FALSE(Load(r.out, disk));
  }
  // What was read before the damage stays.
  RecordBuilder r;
  r.out = {'V', 'D', 'F', 'c'};
  r.Head("root", 0, 0, 3);
  r.Head("first", 0, 0, 0);
  r.Head("second", 0, 0, 0);
  r.Str("Garbage");
  CVDisk disk;
  EXPECT_FALSE(Load(r.out, disk));
  EXPECT_EQ(disk.GetFileCount(), 2);
}

TEST(BinaryArchiveTest, NestingBeyondTheLimitIsRefused) {
  for (int depth : {kVDFileMaxDepth, kVDFileMaxDepth + 1, 100000}) {
    SCOPED_TRACE(depth);
    RecordBuilder r;
    r.out = {'V', 'D', 'F', 'c'};
    for (int i = 0; i < depth; ++i) r.Head("d", 0, 0, i + 1 < depth ? 1 : 0);
    CVDisk disk;
    const bool ok = Load(r.out, disk);
    EXPECT_EQ(ok, depth <= kVDFileMaxDepth);
    int levels = 1;
    for (CVDFile* f = &disk; f->GetFileCount(); f = f->GetFileAt(0)) ++levels;
    EXPECT_EQ(levels, std::min(depth, kVDFileMaxDepth));
  }
}

TEST(BinaryArchiveTest, EveryTruncationFailsCleanly) {
  g_noteMode = NoteMode::exact;
  for (size_t length = 0; length < kGolden.size(); ++length) {
    SCOPED_TRACE(length);
    CVDisk disk;
    EXPECT_FALSE(Load(kGolden, disk, length));
  }
  // Once the first child's record is complete it stays in the tree: magic 4,
  // disk 12+8+2+2+8+8+4+4+4 = 52, well 12+12+4+8+4+4+2+4+4 = 54,
  // x 12+12+4+4+4+4+4+4 = 48.
  const size_t afterGrandchild = 4 + 52 + 54 + 48;
  CVDisk disk;
  EXPECT_FALSE(Load(kGolden, disk, afterGrandchild));
  ASSERT_NE(disk.FindFileEx("/well/x"), nullptr);
  EXPECT_EQ(disk.GetFileCount(), 1);

  // A bad magic is refused before anything changes.
  Bytes bytes = kGolden;
  bytes[3] = 'C';
  EXPECT_FALSE(Load(bytes, disk));
  EXPECT_EQ(disk.GetFileCount(), 1);
  // Flipping the class data length of "m" from 4 to 5 shifts everything after.
  bytes = kGolden;
  bytes[bytes.size() - 12] = 0x05;
  EXPECT_FALSE(Load(bytes, disk));

  MessageCapture boxes;
  for (size_t i = 0; i < kGolden.size(); ++i) {
    for (BYTE mask : {0x01, 0x80, 0xFF}) {
      bytes = kGolden;
      bytes[i] ^= mask;
      CVDisk flipped;
      Load(bytes, flipped);
    }
  }
}

// Two copies would each hand the same memory file back to the owner.
static_assert(!std::is_copy_constructible_v<CVDArchive> && !std::is_copy_assignable_v<CVDArchive>,
              "CVDArchive must not be copyable");

TEST(VDArchiveTest, StoresIntoAndLoadsFromTheBlob) {
  CVDFile owner;
  {
    CVDArchive out(&owner, CArchive::store);
    out << static_cast<LONG>(42) << CString("abc");
    out.Close();
    out.Close();  // a second close does nothing
  }
  const Bytes expected = {0x2A, 0x00, 0x00, 0x00, 0x03, 'a', 'b', 'c'};
  ASSERT_EQ(owner.GetDataSize(), expected.size());
  EXPECT_EQ(Bytes(owner.GetDataBytes(), owner.GetDataBytes() + owner.GetDataSize()), expected);
  {
    CVDArchive in(&owner, CArchive::load);
    LONG n = 0;
    CString s;
    in >> n >> s;
    EXPECT_EQ(n, 42);
    EXPECT_EQ(s, "abc");
  }  // the destructor closes, leaving the blob as it was
  EXPECT_EQ(owner.GetDataSize(), expected.size());
  {
    CVDArchive out(&owner, CArchive::store);
    out << static_cast<BYTE>(9);
  }  // closed by the destructor: the blob is replaced
  EXPECT_EQ(owner.GetDataSize(), 1u);
}

TEST(File64Test, PositionsPastFourGigabytes) {
  char path[] = "/tmp/vdkit_file64_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ::close(fd);
  {
    CFile64 f(path, CFile::modeReadWrite);
    f.Write("0123456789", 10);
    EXPECT_EQ(f.GetLengthHuge(), 10u);
    EXPECT_EQ(f.GetPositionHuge(), 10u);  // the length query comes back
    const ULONGLONG far = 5ull << 30;
    EXPECT_EQ(f.Seek(far, CFile::begin), far);
    EXPECT_EQ(f.GetPositionHuge(), far);
    EXPECT_EQ(f.Seek(static_cast<ULONGLONG>(-4), CFile::end), 6u);  // backwards in two's complement
    char tail[4];
    EXPECT_EQ(f.Read(tail, 4), 4u);
    EXPECT_EQ(std::string(tail, 4), "6789");
    try {
      f.Seek(static_cast<ULONGLONG>(-100), CFile::begin);
      ADD_FAILURE() << "a seek before the start must throw";
    } catch (CFileException* e) {
      EXPECT_EQ(e->m_lOsError, EINVAL);
      e->Delete();
    }
  }
  std::remove(path);
}

}  // namespace
