// Section files over files whose operations fail one at a time: creating
// keeps the old file whatever the caller does after a failure, adding in
// place keeps every table there was and a header that mirrors the file, and
// reading never hands out wrong bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "vdkit/platform/fault_test_util.h"
#include "vdkit/secfile/sec_file.h"

namespace {

struct Table {
  std::string name;
  LONG type;
  std::string data;
};

// Names of every length up to 16, three types, data of varied sizes.
std::vector<Table> Tables(int count) {
  std::vector<Table> tables;
  for (int i = 0; i < count; ++i) {
    std::string name = "T" + std::to_string(i) + std::string(static_cast<size_t>(i % 14), 'x');
    std::string data(static_cast<size_t>(1 + i * 7 % 40), static_cast<char>('a' + i % 26));
    data[0] = static_cast<char>(i);
    tables.push_back({name, 1 + i % 3, data});
  }
  return tables;
}

// Runs the steps of a caller; a careless one catches a failure and goes on.
class Caller {
 public:
  explicit Caller(bool careless) : m_careless(careless) {}
  // Whether the step threw.
  bool Step(const std::function<bool()>& op) {
    try {
      if (!op()) m_ok = false;
      return false;
    } catch (CFileException* e) {
      if (!m_careless) throw;
      e->Delete();
      m_ok = false;
      return true;
    }
  }
  bool Ok() const { return m_ok; }

 private:
  bool m_careless;
  bool m_ok = true;
};

// Adds the table with its data size in dwInfo3.
bool Add(CSecFile& f, const Table& t) {
  SsecTableInfo info{};
  info.nType = t.type;
  info.dwInfo3 = static_cast<DWORD>(t.data.size());
  if (!f.AddTableInfo(t.name.c_str(), info)) return false;
  f.Write(t.data.data(), static_cast<UINT>(t.data.size()));
  return true;
}

bool Create(const std::string& path, const std::vector<Table>& tables, bool careless) {
  CSecFile f;
  Caller caller(careless);
  caller.Step([&] { return f.Open(path.c_str(), secOpenCreate); });
  for (const Table& t : tables) caller.Step([&] { return Add(f, t); });
  caller.Step([&] {
    f.Close();
    return true;
  });
  return caller.Ok();
}

// A name as the directory holds it: eight blanks after it, cut to 16 bytes.
std::string Stored(const std::string& name) {
  std::string s = (name + "        ").substr(0, 16);
  return s + std::string(16 - s.size(), '\0');
}

// The data of the entry, as far as the file holds it.
std::string DataOf(CSecFile& f, const SsecTableInfo& info) {
  std::string data(info.dwInfo3, '\0');
  f.Seek(info.dwDataPos, CFile::begin);
  data.resize(f.Read(&data[0], info.dwInfo3));
  return data;
}

// Reads every table by name, then by the walk of each type. Counts in
// `wrong` the reads that came back without an exception but with other
// bytes than were written, and an Open that threw but left the file open.
bool ReadBack(const std::string& path, const std::vector<Table>& tables, bool careless, int& wrong) {
  CSecFile f;
  Caller caller(careless);
  if (caller.Step([&] { return f.Open(path.c_str(), secOpenRead); })) wrong += f.IsOpened();
  for (const Table& t : tables) {
    caller.Step([&] {
      SsecTableInfo info;
      if (!f.SeekToTableData(t.name.c_str(), &info)) return false;
      std::string data(t.data.size(), '\0');
      data.resize(f.Read(&data[0], static_cast<UINT>(data.size())));
      wrong += data != t.data;
      return true;
    });
  }
  // The walk of a type meets that type's tables in the order they were added.
  for (LONG type = 1; type <= 3; ++type) {
    std::vector<const Table*> ofType;
    for (const Table& t : tables)
      if (t.type == type) ofType.push_back(&t);
    caller.Step([&] {
      size_t seen = 0;
      SsecTableInfo info;
      for (POSITION pos = f.GetFirstTableInfoPos(type); pos && seen < ofType.size();) {
        if (!f.GetNextTableInfo(pos, info, type)) break;
        const Table& t = *ofType[seen++];
        wrong += std::memcmp(info.szName, Stored(t.name).data(), 16) != 0 || DataOf(f, info) != t.data;
      }
      return seen == ofType.size();
    });
  }
  caller.Step([&] {
    f.Close();
    return true;
  });
  return caller.Ok();
}

TEST(SecFileFaultsTest, CreatingFailedAnywhereKeepsTheOldFile) {
  const std::vector<Table> tables = Tables(5);
  vdtest::ScratchDir dir;
  const std::string path = dir.Path("survey.sec");
  ASSERT_TRUE(Create(path, tables, false));
  const std::string expected = vdtest::ReadAll(path);
  for (bool careless : {false, true}) {
    SCOPED_TRACE(careless ? "careless" : "plain");
    vdtest::ExpectSavesByNameKeepTheOldFile(dir, "survey.sec", "SECF old", expected,
                                            [&](const char* p) { return Create(p, tables, careless); });
  }
}

TEST(SecFileFaultsTest, AddingInPlaceFailedAnywhereKeepsEveryTable) {
  // 64 tables fill the first directory block: the added one opens the second.
  const std::vector<Table> tables = Tables(64);
  const Table added{"Added", 2, std::string(300, 'z')};
  vdtest::ScratchDir dir;
  const std::string path = dir.Path("survey.sec");
  ASSERT_TRUE(Create(path, tables, false));
  const std::string base = vdtest::ReadAll(path);
  bool mirrors = true;
  const int ops = vdtest::ForEachFaultOfEveryKind(
      [&] {
        vdtest::WriteAll(path, base);
        CSecFile f;
        try {
          if (!f.Open(path.c_str(), secOpenReadWrite) || !Add(f, added)) return false;
          SsecTableInfo info;
          if (!f.GetTableInfo(added.name.c_str(), info)) return false;
          info.wInfo1 = 7;
          if (!f.SetTableInfo(nullptr, info)) return false;
          f.Close();
          return true;
        } catch (CFileException*) {
          // What the object says of the header is what the file holds.
          SsecFileHead head;
          mirrors = !f.IsOpened() || (f.GetFileHead(&head) &&
                                      std::memcmp(&head, vdtest::ReadAll(path).data(), sizeof head) == 0);
          throw;
        }
      },
      [&](const vdtest::FaultRun& run) {
        SCOPED_TRACE(std::string(vdtest::FaultOpName(run.op)) + " " + std::to_string(run.n));
        EXPECT_TRUE(run.Reported());
        EXPECT_TRUE(mirrors);
        mirrors = true;
        int wrong = 0;
        EXPECT_TRUE(ReadBack(path, tables, false, wrong));
        EXPECT_EQ(wrong, 0);
        // The added table is there whole, or cut short, or not at all.
        CSecFile f;
        ASSERT_TRUE(f.Open(path.c_str(), secOpenRead));
        SsecTableInfo info;
        if (f.GetTableInfo(added.name.c_str(), info)) {
          const std::string data = DataOf(f, info);
          EXPECT_EQ(data, added.data.substr(0, data.size()));
          EXPECT_TRUE(run.fired || (data == added.data && info.wInfo1 == 7));
        } else {
          EXPECT_TRUE(run.fired);
        }
      });
  EXPECT_GT(ops, 0);
}

TEST(SecFileFaultsTest, ReadingFailedAnywhereNeverGivesWrongBytes) {
  const std::vector<Table> tables = Tables(70);  // two directory blocks
  vdtest::ScratchDir dir;
  const std::string path = dir.Path("survey.sec");
  ASSERT_TRUE(Create(path, tables, false));
  for (bool careless : {false, true}) {
    SCOPED_TRACE(careless ? "careless" : "plain");
    int wrong = 0;
    const int ops = vdtest::ForEachFaultOfEveryKind([&] { return ReadBack(path, tables, careless, wrong); },
                                                    [&](const vdtest::FaultRun& run) {
                                                      EXPECT_TRUE(run.Reported())
                                                          << vdtest::FaultOpName(run.op) << " " << run.n;
                                                      EXPECT_EQ(wrong, 0);
                                                      wrong = 0;
                                                    });
    EXPECT_GT(ops, 0);
  }
}

}  // namespace
