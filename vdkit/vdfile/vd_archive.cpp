#include "vdkit/vdfile/vd_archive.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "vdkit/core/text_internal.h"
#include "vdkit/platform/resources.h"

using detail::EqualNoCase;

namespace {

constexpr char kMagic[4] = {'V', 'D', 'F', 'c'};
constexpr char kClassKey[] = "ClassName=";
// The record reader's buffers: names, types and class names of up to 127
// characters come back whole, longer ones are cut.
constexpr int kNameBuffer = 128;
// The longest text a record string holds: its length, 2 more than a
// multiple of 4, must fit a signed 16-bit field.
constexpr size_t kMaxRecordText = 32766;
// Counts read from a stream size nothing in advance: blobs and class data
// grow by at most this much beyond the bytes that have actually arrived.
constexpr size_t kReadChunk = 64 * 1024;
constexpr int kInnerBufSize = 4096;

// " '%s'" and the class name, then "the class's data do not match" in GBK.
constexpr char kMismatchText[] = "\xC0\xE0\xB5\xC4\xCA\xFD\xBE\xDD\xB2\xBB\xC6\xA5\xC5\xE4";

// Reads and drops n bytes; false when the stream ends first.
bool SkipBytes(CArchive& ar, uint64_t n) {
  BYTE scratch[4096];
  while (n > 0) {
    const UINT want = static_cast<UINT>(std::min<uint64_t>(n, sizeof scratch));
    if (ar.Read(scratch, want) != want) return false;
    n -= want;
  }
  return true;
}

bool ReadWord(CArchive& ar, WORD& v) {
  BYTE b[2];
  if (ar.Read(b, 2) != 2) return false;
  v = static_cast<WORD>(b[0] | (b[1] << 8));
  return true;
}

bool ReadDword(CArchive& ar, DWORD& v) {
  BYTE b[4];
  if (ar.Read(b, 4) != 4) return false;
  v = static_cast<DWORD>(b[0]) | (static_cast<DWORD>(b[1]) << 8) | (static_cast<DWORD>(b[2]) << 16) |
      (static_cast<DWORD>(b[3]) << 24);
  return true;
}

// Reads n bytes into `out`, growing it only as the bytes arrive, so that a
// hostile size costs no more memory than the stream really holds.
bool ReadGrowing(CArchive& ar, DWORD n, std::vector<BYTE>& out) {
  out.clear();
  size_t got = 0;
  while (got < n) {
    const size_t step = std::min<size_t>(n - got, std::max(kReadChunk, got));
    out.resize(got + step);
    const UINT read = ar.Read(out.data() + got, static_cast<UINT>(step));
    got += read;
    if (read != step) {
      out.resize(got);
      return false;
    }
  }
  return true;
}

// The same for a blob, which the object keeps (malloc'd); null for size 0.
bool ReadBlob(CArchive& ar, DWORD n, BYTE*& out) {
  out = nullptr;
  // Freed on every way out but success, a file exception from Read included.
  std::unique_ptr<BYTE, decltype(&std::free)> block(nullptr, &std::free);
  size_t got = 0;
  while (got < n) {
    const size_t step = std::min<size_t>(n - got, std::max(kReadChunk, got));
    BYTE* grown = static_cast<BYTE*>(std::realloc(block.get(), got + step));
    if (!grown) break;
    (void)block.release();
    block.reset(grown);
    const UINT read = ar.Read(block.get() + got, static_cast<UINT>(step));
    got += read;
    if (read != step) break;
  }
  if (got < n) return false;
  out = block.release();
  return true;
}

void WarnClassData(const char* className) {
  CString text;
  text.Format(" '%s'", className);
  text += kMismatchText;
  AfxMessageBox(text, MB_ICONWARNING | MB_OK);
}

}  // namespace

// The archives reach the object's private state through here, so that
// reading never triggers renaming notices or tree-control updates.
struct VDFileAccess {
  // ---- Writing ------------------------------------------------------------------------
  class Writer {
   public:
    explicit Writer(CArchive& ar) : m_ar(ar), m_inner(1024), m_innerBuf(kInnerBufSize) {}

    void WriteTree(CVDFile& root) {
      m_ar.Write(kMagic, sizeof kMagic);
      WriteHead(root);
      // Depth first without recursion: each frame is an object and the next
      // child to write.
      struct Frame {
        CVDFile* file;
        INT_PTR next;
      };
      std::vector<Frame> stack{{&root, 0}};
      while (!stack.empty()) {
        Frame& top = stack.back();
        const CPtrArray& children = top.file->m_arFiles;
        while (top.next < children.GetSize() && !children[top.next]) ++top.next;
        if (top.next >= children.GetSize()) {
          stack.pop_back();
          continue;
        }
        CVDFile* child = static_cast<CVDFile*>(children[top.next++]);
        WriteHead(*child);
        stack.push_back({child, 0});
      }
    }

   private:
    // Everything of a record up to and including the child count.
    void WriteHead(CVDFile& f) {
      CVDFile::Write(m_ar, kClassKey);
      CVDFile::Write(m_ar, f.GetClassNameA());
      m_ar << f.m_wVersion << static_cast<WORD>(f.m_bNamed ? 1 : 0);
      if (f.m_bNamed) {
        CVDFile::Write(m_ar, f.m_strName);
        CVDFile::Write(m_ar, f.m_strFileType);
      }
      // Class data go to a scratch file first: the record stores their length.
      m_inner.SetLength(0);
      {
        CArchive inner(&m_inner, CArchive::store, kInnerBufSize, m_innerBuf.data());
        inner.m_pDocument = m_ar.m_pDocument;
        inner.m_strFileName = m_ar.m_strFileName;
        f.Serialize(inner);
        inner.Close();
      }
      m_ar << static_cast<DWORD>(f.m_dwDataSize);
      m_ar.Write(f.m_pData, f.m_dwDataSize);
      const DWORD classLength = static_cast<DWORD>(m_inner.GetLength());
      m_ar << classLength;
      m_ar.Write(m_inner.GetData(), classLength);
      LONG count = 0;
      for (void* p : f.m_arFiles) count += p ? 1 : 0;
      m_ar << count;
    }

    CArchive& m_ar;
    CMemFile m_inner;
    std::vector<BYTE> m_innerBuf;
  };

  // ---- Reading ------------------------------------------------------------------------
  class Reader {
   public:
    explicit Reader(CArchive& ar) : m_ar(ar), m_innerBuf(kInnerBufSize) {}

    bool ReadTree(CVDFile& root) {
      Head head;
      if (ReadRecord(nullptr, &root, false, head) != Status::ok) return false;
      // Each frame: the object whose children are being read (null while
      // passing over a record) and how many of them remain.
      struct Frame {
        CVDFile* file;
        LONG left;
      };
      std::vector<Frame> stack{{&root, head.childCount}};
      while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.left == 0) {
          stack.pop_back();
          continue;
        }
        --top.left;
        if (stack.size() >= static_cast<size_t>(kVDFileMaxDepth)) return Corrupt("nesting too deep");
        CVDFile* parent = top.file;
        const Status s = ReadRecord(parent, nullptr, parent == nullptr, head);
        if (s == Status::corrupt) return false;
        stack.push_back({s == Status::ok ? head.file : nullptr, head.childCount});
      }
      return true;
    }

   private:
    // ok: the record was read into head.file. passOver: the record was read
    // whole but its children are to be passed over (unknown class, Serialize
    // false, or already passing over). corrupt: the stream cannot be followed.
    enum class Status { ok, passOver, corrupt };
    struct Head {
      CVDFile* file = nullptr;
      LONG childCount = 0;
    };

    // Every damage check returns through here: one place to break on.
    static bool Corrupt(const char* /*reason*/) { return false; }
    Status Fail(const char* reason) {
      Corrupt(reason);
      return Status::corrupt;
    }

    // Reads one record without its children. With bPassOver nothing is made
    // or changed. Without a parent the record goes into `target`.
    Status ReadRecord(CVDFile* parent, CVDFile* target, bool bPassOver, Head& head) {
      head = Head();
      char key[kNameBuffer];
      char className[kNameBuffer];
      if (!CVDFile::Read(m_ar, key, kNameBuffer)) return Fail("record key cut short");
      if (!EqualNoCase(key, kClassKey)) return Fail("record key is not ClassName=");
      if (!CVDFile::Read(m_ar, className, kNameBuffer)) return Fail("class name cut short");
      WORD version = 0;
      WORD flags = 0;
      if (!ReadWord(m_ar, version) || !ReadWord(m_ar, flags)) return Fail("version or flags cut short");
      const bool named = (flags & 1) != 0;
      char name[kNameBuffer] = "";
      if (named && !CVDFile::Read(m_ar, name, kNameBuffer)) return Fail("name cut short");

      // Which object the record goes into; a new one is adopted by the
      // parent only once its blob has been read whole.
      CVDFile* file = nullptr;
      std::unique_ptr<CVDFile> created;
      if (!bPassOver) {
        if (!parent) {
          file = target;
        } else {
          if (named) file = parent->FindFile(name);
          if (!file) {
            created.reset(CreateVDFile(className));
            file = created.get();
          }
        }
      }
      const bool skip = file == nullptr;  // passing over, or a class nobody registered

      if (!skip) {
        file->m_wLoadedVersion = version;
        file->m_bNamed = named;
        if (named) file->SetNameQuiet(name);
      }
      if (named) {
        char type[kNameBuffer];
        if (!CVDFile::Read(m_ar, type, kNameBuffer)) return Fail("file type cut short");
        if (!skip) file->m_strFileType = type;
      }

      DWORD blobSize = 0;
      if (!ReadDword(m_ar, blobSize)) return Fail("blob size cut short");
      if (skip) {
        if (!SkipBytes(m_ar, blobSize)) return Fail("blob cut short");
      } else {
        std::free(file->m_pData);
        file->m_pData = nullptr;
        file->m_dwDataSize = 0;
        BYTE* blob = nullptr;
        if (!ReadBlob(m_ar, blobSize, blob)) return Fail("blob cut short");
        file->m_pData = blob;
        file->m_dwDataSize = blobSize;
      }

      if (!skip && parent) {
        if (created) {
          file->m_pParent = parent;
          parent->AppendChild(created.release());
        } else {
          file->m_pParent = parent;
        }
      }

      DWORD classLength = 0;
      if (!ReadDword(m_ar, classLength)) return Fail("class data size cut short");
      Status status = skip ? Status::passOver : Status::ok;
      if (skip) {
        if (!SkipBytes(m_ar, classLength)) return Fail("class data cut short");
      } else {
        if (!ReadGrowing(m_ar, classLength, m_bytes)) return Fail("class data cut short");
        if (!ReadClassData(*file, className, classLength)) status = Status::passOver;
      }

      DWORD count = 0;
      if (!ReadDword(m_ar, count)) return Fail("child count cut short");
      if (static_cast<LONG>(count) < 0) return Fail("negative child count");
      head.file = file;
      head.childCount = static_cast<LONG>(count);
      return status;
    }

    // Lets the object read its class data (in m_bytes) from an archive of
    // their own; false when its Serialize refuses them.
    bool ReadClassData(CVDFile& file, const char* className, DWORD length) {
      CMemFile mem(length ? m_bytes.data() : nullptr, length, 0);
      CArchive inner(&mem, CArchive::load, kInnerBufSize, m_innerBuf.data());
      inner.m_pDocument = m_ar.m_pDocument;
      inner.m_strFileName = m_ar.m_strFileName;
      bool ok = false;
      bool threw = false;
      try {
        ok = file.Serialize(inner);
        // Giving back the read-ahead leaves the memory file where reading stopped.
        inner.Flush();
      } catch (CException* e) {
        e->Delete();
        threw = true;
      } catch (...) {
        threw = true;
      }
      if (threw) {
        WarnClassData(className);
        return true;
      }
      if (!ok) return false;
      if (mem.GetPosition() != length) WarnClassData(className);
      return true;
    }

    CArchive& m_ar;
    std::vector<BYTE> m_bytes;  // the blob or class data being read
    std::vector<BYTE> m_innerBuf;
  };
};

// ---- Record strings ------------------------------------------------------------------------
void CVDFile::Write(CArchive& ar, const char* lpsz) {
  const size_t length = std::min(lpsz ? std::strlen(lpsz) : 0, kMaxRecordText);
  const size_t n = length + (6 - length % 4) % 4;  // up to 2 more than a multiple of 4
  ar << static_cast<SHORT>(n);
  ar.Write(lpsz, static_cast<UINT>(length));
  static const BYTE zeros[4] = {0, 0, 0, 0};
  ar.Write(zeros, static_cast<UINT>(n - length));
}

bool CVDFile::Read(CArchive& ar, char* lpBuf, int nSize) {
  const bool hasBuffer = lpBuf && nSize > 0;
  if (hasBuffer) lpBuf[0] = '\0';
  WORD raw = 0;
  if (!ReadWord(ar, raw)) return false;
  const int n = static_cast<SHORT>(raw);
  if (n < 0) return false;
  if (!hasBuffer) return SkipBytes(ar, static_cast<uint64_t>(n));
  const int take = std::min(n, nSize);
  const UINT got = ar.Read(lpBuf, static_cast<UINT>(take));
  if (got != static_cast<UINT>(take)) {
    lpBuf[std::min<int>(static_cast<int>(got), nSize - 1)] = '\0';
    return false;
  }
  lpBuf[std::min(n, nSize - 1)] = '\0';
  return n <= nSize || SkipBytes(ar, static_cast<uint64_t>(n - nSize));
}

// ---- The tree operators ------------------------------------------------------------------------
bool operator<<(CArchive& ar, CVDFile& file) {
  VDFileAccess::Writer(ar).WriteTree(file);
  return true;
}

bool operator>>(CArchive& ar, CVDFile& file) {
  char magic[sizeof kMagic];
  if (ar.Read(magic, sizeof magic) != sizeof magic || std::memcmp(magic, kMagic, sizeof magic) != 0)
    return false;
  return VDFileAccess::Reader(ar).ReadTree(file);
}

// ---- CVDArchive ------------------------------------------------------------------------
namespace {
CFile* OpenBlobFile(CVDFile* owner, UINT mode) {
  if (!owner) return new CMemFile;
  return owner->Open((mode & CArchive::load) ? CVDFile::openRead : CVDFile::openWrite);
}
}  // namespace

CVDArchive::CVDArchive(CVDFile* pOwner, UINT nMode, int nBufSize, void* lpBuf)
    : CArchive(OpenBlobFile(pOwner, nMode), nMode, nBufSize, lpBuf),
      m_pOwner(pOwner),
      m_pMemFile(GetFile()) {}

CVDArchive::~CVDArchive() {
  try {
    Close();
  } catch (CException* e) {
    e->Delete();
  }
  if (m_pMemFile) {
    // Ownerless: the private file goes with the archive, unflushed.
    Abort();
    delete m_pMemFile;
    m_pMemFile = nullptr;
  }
}

void CVDArchive::Close() {
  if (!m_pOwner) return;
  CVDFile* owner = m_pOwner;
  CFile* file = m_pMemFile;
  m_pOwner = nullptr;
  m_pMemFile = nullptr;
  try {
    CArchive::Close();
  } catch (...) {
    Abort();
    owner->Close(file);
    throw;
  }
  owner->Close(file);
}
