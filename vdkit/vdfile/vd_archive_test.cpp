#include "vdkit/vdfile/vd_archive.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "vdkit/platform/resources.h"
#include "vdkit/vdfile/file64.h"

namespace {

using Bytes = std::vector<BYTE>;

// A client class with one LONG of class data, misbehaving on demand.
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
    } else if (g_noteMode == NoteMode::exact) {
      ar >> m_value;
    } else if (g_noteMode == NoteMode::readTooLittle) {
      SHORT half;
      ar >> half;
    } else if (g_noteMode == NoteMode::readTooMuch) {
      LONGLONG wide;
      ar >> wide;  // past the end of the class data: throws
    }
    return ar.IsStoring() || g_noteMode != NoteMode::refuse;
  }
  LONG m_value = 0;
};
IMPLEMENT_VDFILE(CNote, CVDFile)

Bytes Store(CVDFile& f) {
  CMemFile mem;
  CArchive ar(&mem, CArchive::store);
  EXPECT_TRUE(ar << f);
  ar.Close();
  return Bytes(mem.GetData(), mem.GetData() + mem.GetLength());
}

std::string Names(const CVDFile& f) {
  std::string out;
  for (int i = 0; i < f.GetFileCount(); ++i) out += (i ? "," : "") + std::string(f.GetFileAt(i)->GetName());
  return out;
}

bool Load(const Bytes& bytes, CVDFile& into, size_t length = SIZE_MAX) {
  length = std::min(length, bytes.size());
  CMemFile mem(length ? const_cast<BYTE*>(bytes.data()) : nullptr, static_cast<UINT>(length));
  CArchive ar(&mem, CArchive::load);
  return ar >> into;
}

// Collects message boxes instead of printing them.
struct MessageCapture {
  MessageCapture() {
    previous = SetMessageBoxHandler([this](const char* text, UINT type) {
      texts.push_back(std::to_string(type) + ":" + text);
      return IDOK;
    });
  }
  ~MessageCapture() { SetMessageBoxHandler(previous); }
  std::vector<std::string> texts;  // "type:text"
  MessageBoxHandler previous;
};

// Disk { well (type W, blob "AB") { x }, an unnamed child, m (CNote, type N, value 7) }
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
    0x00, 0x01, 0x01, 0x00,                                        // version 0x0100, flags: named
    0x06, 0x00, 'D', 'i', 's', 'k', 0x00, 0x00,                    // name: 4 letters, n = 6
    0x06, 0x00, 'D', 'i', 's', 'k', 0x00, 0x00,                    // type: 4 letters, n = 6
    0, 0, 0, 0, 0, 0, 0, 0, 0x03, 0x00, 0x00, 0x00,                // blob 0, class data 0, 3 children
    // ---- child 1: "well"
    0x0A, 0x00, 'C', 'l', 'a', 's', 's', 'N', 'a', 'm', 'e', '=',     // key
    0x0A, 0x00, 'C', 'V', 'D', 'F', 'i', 'l', 'e', 0x00, 0x00, 0x00,  // class: 7 letters, n = 10
    0x00, 0x01, 0x01, 0x00,                                           // version, named
    0x06, 0x00, 'w', 'e', 'l', 'l', 0x00, 0x00,                       // name: 4 letters, n = 6
    0x02, 0x00, 'W', 0x00,                                            // type: 1 letter, n = 2
    0x02, 0x00, 0x00, 0x00, 'A', 'B',                                 // blob: 2 bytes
    0, 0, 0, 0, 0x01, 0x00, 0x00, 0x00,                               // class data 0, 1 child
    // ---- grandchild "x"
    0x0A, 0x00, 'C', 'l', 'a', 's', 's', 'N', 'a', 'm', 'e', '=',     // key
    0x0A, 0x00, 'C', 'V', 'D', 'F', 'i', 'l', 'e', 0x00, 0x00, 0x00,  // class
    0x00, 0x01, 0x01, 0x00,                                           // version, named
    0x02, 0x00, 'x', 0x00,                                            // name: 1 letter, n = 2
    0x02, 0x00, 0x00, 0x00,                                           // type: empty, n = 2
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                               // blob 0, class data 0, no children
    // ---- child 2: unnamed, so no name and no type
    0x0A, 0x00, 'C', 'l', 'a', 's', 's', 'N', 'a', 'm', 'e', '=',     // key
    0x0A, 0x00, 'C', 'V', 'D', 'F', 'i', 'l', 'e', 0x00, 0x00, 0x00,  // class
    0x00, 0x01, 0x00, 0x00,                                           // version, flags: unnamed
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                               // blob 0, class data 0, no children
    // ---- child 3: "m", a CNote
    0x0A, 0x00, 'C', 'l', 'a', 's', 's', 'N', 'a', 'm', 'e', '=',  // key
    0x06, 0x00, 'C', 'N', 'o', 't', 'e', 0x00,                     // class: 5 letters, n = 6
    0x03, 0x02, 0x01, 0x00,                                        // version 0x0203, named
    0x02, 0x00, 'm', 0x00, 0x02, 0x00, 'N', 0x00,                  // name, type
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

TEST(RecordStringTest, OverlongTextsAreCutToFitTheLengthField) {
  // n must fit a signed 16-bit field: a longer text is cut to n = 32766 = 4 * 8191 + 2.
  const std::string huge(70000, 'q');
  Bytes bytes = WriteStrings({huge.c_str(), "tail"});
  EXPECT_EQ(bytes[0] | (bytes[1] << 8), 32766);
  CMemFile mem(bytes.data(), static_cast<UINT>(bytes.size()));
  CArchive in(&mem, CArchive::load);
  std::vector<char> big(40000);
  EXPECT_TRUE(CVDFile::Read(in, big.data(), static_cast<int>(big.size())));
  EXPECT_EQ(std::string(big.data()), huge.substr(0, 32766));
  EXPECT_TRUE(CVDFile::Read(in, big.data(), static_cast<int>(big.size())));
  EXPECT_STREQ(big.data(), "tail");
}

TEST(RecordStringTest, ReadCutsToTheBufferAndRefusesBadLengths) {
  EXPECT_EQ(WriteStrings({"ab"}), (Bytes{0x02, 0x00, 'a', 'b'}));  // n == length: no terminator
  Bytes bytes = WriteStrings({"abcdefg", "abcdef", "next"});
  bytes.insert(bytes.end(), {0xFE, 0xFF, 'a', 'b'});  // negative length
  CMemFile mem(bytes.data(), static_cast<UINT>(bytes.size()));
  CArchive in(&mem, CArchive::load);
  char buf[6];
  EXPECT_TRUE(CVDFile::Read(in, buf, sizeof buf));  // n 10 > 6: cut to 5, the rest skipped
  EXPECT_STREQ(buf, "abcde");
  EXPECT_TRUE(CVDFile::Read(in, buf, sizeof buf));  // n equals the size: the last byte gives way
  EXPECT_STREQ(buf, "abcde");
  EXPECT_TRUE(CVDFile::Read(in, buf, sizeof buf) && std::string(buf) == "next");
  EXPECT_FALSE(CVDFile::Read(in, buf, sizeof buf));
  EXPECT_STREQ(buf, "");
  const Bytes cut = {0x0A, 0x00, 'a', 'b', 'c'};  // a length beyond the data fails, keeps what fitted
  CMemFile mem2(const_cast<BYTE*>(cut.data()), static_cast<UINT>(cut.size()));
  CArchive in2(&mem2, CArchive::load);
  EXPECT_FALSE(CVDFile::Read(in2, buf, sizeof buf));
  EXPECT_STREQ(buf, "abc");
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
  // Class data are read through an archive carrying the outer one's document and file name.
  EXPECT_EQ(g_seenDocument, doc);
  EXPECT_EQ(g_seenFileName, "golden.vdf");
  EXPECT_EQ(Store(disk), kGolden);
  EXPECT_EQ(disk.FindFile("M")->GetLoadedVersion(), 0x0203);
}

TEST(BinaryArchiveTest, RootRecordGoesIntoTheGivenObject) {
  MessageCapture boxes;  // a reused CNote finds no class data of its own
  g_noteMode = NoteMode::exact;
  CVDisk disk;
  BuildSmallTree(disk);
  CVDFile* anon = disk.GetFileAt(1);
  anon->CreateFileA("inside", nullptr, nullptr);
  // An unnamed root: the given object keeps its name, becomes unnamed, stays in its own tree.
  CVDisk other;
  CVDFile* into = other.CreateFileA("holder", "H", nullptr);
  ASSERT_TRUE(Load(Store(*anon), *into));
  EXPECT_FALSE(into->IsNamed());
  EXPECT_STREQ(into->GetName(), "holder");
  EXPECT_EQ(other.GetFileAt(0), into);
  EXPECT_EQ(into->GetParent(), &other);
  EXPECT_NE(into->FindFile("inside"), nullptr);

  // Children are reused by name, whatever their class; unnamed ones are always new.
  CVDFile* well = other.CreateFileA("WELL", "old", nullptr);
  CVDFile* x = well->CreateFileA("x", nullptr, "CNote");
  const Bytes bytes = Store(disk);
  ASSERT_TRUE(Load(bytes, other) && Load(bytes, other));
  EXPECT_EQ(other.FindFile("well"), well);
  EXPECT_STREQ(well->GetFileType(), "W");
  EXPECT_EQ(well->FindFile("x"), x);
  EXPECT_EQ(well->GetFileCount(), 1);
  EXPECT_EQ(Names(other), "holder,well,,m,");
}

TEST(BinaryArchiveTest, RefusedClassDataPassOverTheRecordsChildren) {
  // Class data of the wrong length warn and are passed over; a refusal drops the children.
  MessageCapture boxes;
  CVDisk disk;
  CVDFile* note = disk.CreateFileA("note", nullptr, "CNote");
  note->CreateFileA("under", nullptr, nullptr);
  disk.CreateFileA("after", "A", nullptr);
  Bytes bytes = Store(disk);
  const std::string warning = std::to_string(MB_ICONWARNING | MB_OK) + ": 'CNote'" +
                              "\xC0\xE0\xB5\xC4\xCA\xFD\xBE\xDD\xB2\xBB\xC6\xA5\xC5\xE4";
  for (NoteMode mode : {NoteMode::readTooLittle, NoteMode::readTooMuch, NoteMode::refuse}) {
    g_noteMode = mode;
    boxes.texts.clear();
    CVDisk copy;
    EXPECT_TRUE(Load(bytes, copy));
    EXPECT_EQ(boxes.texts, std::vector<std::string>(mode == NoteMode::refuse ? 0 : 1, warning));
    ASSERT_EQ(copy.GetFileCount(), 2);
    EXPECT_STREQ(copy.GetFileAt(1)->GetFileType(), "A");
    // A refusing object stays, its children passed over.
    EXPECT_EQ(copy.GetFileAt(0)->GetFileCount(), mode == NoteMode::refuse ? 0 : 1);
  }
  CNote root;  // at the root a refusal fails the read
  EXPECT_FALSE(Load(Store(*note), root));
  g_noteMode = NoteMode::exact;
}

TEST(BinaryArchiveTest, UnknownClassesArePassedOverWhole) {
  CVDisk disk;
  disk.CreateFileA("odd", nullptr, "CNote")->CreateFileA("child", nullptr, nullptr);
  disk.CreateFileA("after", nullptr, nullptr);
  Bytes bytes = Store(disk);
  // Renamed in the stream (same length) to a class nobody registered.
  const std::string cls = "CNote";
  std::copy_n("CXxxx", 5, std::search(bytes.begin(), bytes.end(), cls.begin(), cls.end()));
  CVDisk copy;
  EXPECT_TRUE(Load(bytes, copy));
  ASSERT_EQ(copy.GetFileCount(), 1);
  EXPECT_STREQ(copy.GetFileAt(0)->GetName(), "after");
}

// Builds raw records by hand for hostile input.
struct RecordBuilder {
  Bytes out = {'V', 'D', 'F', 'c'};
  void Str(const std::string& s) {
    size_t n = s.size();
    while (n % 4 != 2) ++n;
    U16(static_cast<uint16_t>(n));
    out.insert(out.end(), s.begin(), s.end());
    out.insert(out.end(), n - s.size(), 0);
  }
  void U16(uint16_t v) { out.insert(out.end(), {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8)}); }
  void U32(uint32_t v) { U16(static_cast<uint16_t>(v)), U16(static_cast<uint16_t>(v >> 16)); }
  // A record up to its child count.
  void Head(const std::string& name, uint32_t blob, uint32_t classData, uint32_t children) {
    Str("ClassName="), Str("CVDFile"), U16(0x0100), U16(1), Str(name), Str("T"), U32(blob);
    out.insert(out.end(), std::min<uint32_t>(blob, 8), 'b');
    U32(classData), U32(children);
  }
};

TEST(BinaryArchiveTest, HostileCountsAndSizesFailWithoutAllocatingThem) {
  const std::function<void(RecordBuilder&)> cases[] = {
      [](RecordBuilder& r) { r.Head("a", 0xFFFFFFFFu, 0, 0); },                        // huge blob
      [](RecordBuilder& r) { r.Head("a", 0, 0, 1), r.Head("b", 0, 0xFFFFFFF0u, 0); },  // huge class data
      [](RecordBuilder& r) { r.Head("a", 0, 0, 0x7FFFFFFFu); },                        // huge child count
      [](RecordBuilder& r) { r.Head("a", 0, 0, 0xFFFFFFFFu); },                        // negative child count
      [](RecordBuilder& r) { r.Head("a", 0, 0, 1), r.U16(0x8000); },  // negative string length
      [](RecordBuilder& r) { r.Head("a", 0, 0, 2), r.Head("b", 0, 0, 0), r.Str("ClassNom="); },  // wrong key
  };
  for (int i = 0; i < 6; ++i) {
    RecordBuilder r;
    cases[i](r);
    CVDisk disk;
    EXPECT_FALSE(Load(r.out, disk)) << i;
    EXPECT_EQ(disk.GetFileCount(), i == 1 || i == 5) << i;  // what was read before the damage stays
  }
}

TEST(BinaryArchiveTest, NestingBeyondTheLimitIsRefused) {
  for (int depth : {kVDFileMaxDepth, kVDFileMaxDepth + 1, 100000}) {
    SCOPED_TRACE(depth);
    RecordBuilder r;
    for (int i = 0; i < depth; ++i) r.Head("d", 0, 0, i + 1 < depth ? 1 : 0);
    CVDisk disk;
    EXPECT_EQ(Load(r.out, disk), depth <= kVDFileMaxDepth);
    int levels = 1;
    for (CVDFile* f = &disk; f->GetFileCount(); f = f->GetFileAt(0)) ++levels;
    EXPECT_EQ(levels, std::min(depth, kVDFileMaxDepth));
  }
}

TEST(BinaryArchiveTest, EveryTruncationFailsCleanly) {
  g_noteMode = NoteMode::exact;
  for (size_t length = 0; length < kGolden.size(); ++length) {
    CVDisk disk;
    EXPECT_FALSE(Load(kGolden, disk, length)) << length;
  }
  CVDisk disk;
  disk.CreateFileA("kept", nullptr, nullptr);
  Bytes bytes = kGolden;
  bytes[3] = 'C';  // a bad magic is refused before anything changes
  EXPECT_FALSE(Load(bytes, disk));
  EXPECT_EQ(Names(disk), "kept");
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

TEST(VDArchiveTest, StoresIntoAndLoadsFromTheBlob) {
  CVDFile owner;
  {
    CVDArchive out(&owner, CArchive::store);
    out << static_cast<LONG>(42) << CString("abc");
  }  // closed by the destructor: the blob is replaced
  const Bytes expected = {0x2A, 0x00, 0x00, 0x00, 0x03, 'a', 'b', 'c'};
  EXPECT_EQ(Bytes(owner.GetDataBytes(), owner.GetDataBytes() + owner.GetDataSize()), expected);
  LONG n = 0;
  CString text;
  CVDArchive(&owner, CArchive::load) >> n >> text;  // leaves the blob as it was
  EXPECT_TRUE(n == 42 && text == "abc");
  EXPECT_EQ(owner.GetDataSize(), expected.size());
}

// The only test of the 64-bit positions: past 4 GB, from the end, and before
// the start refused.
TEST(File64Test, PositionsPastFourGigabytes) {
  char path[] = "/tmp/vdkit_file64_XXXXXX";
  ::close(mkstemp(path));
  {
    CFile64 f(path, CFile::modeReadWrite);
    f.Write("0123456789", 10);
    EXPECT_EQ(f.Seek(5ull << 30, CFile::begin), 5ull << 30);
    EXPECT_EQ(f.GetPositionHuge(), 5ull << 30);
    EXPECT_EQ(f.Seek(static_cast<ULONGLONG>(-4), CFile::end), 6u);  // backwards in two's complement
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
