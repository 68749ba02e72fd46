#include "vdkit/vdfile/vdfile.h"

#include <gtest/gtest.h>
#include <strings.h>

#include <algorithm>
#include <array>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "vdkit/job/job.h"

namespace {

// Logs what the tree does to it: "who<source#code;" for a notification, code -1 for an unbinding.
std::string g_log;
int g_probesAlive = 0;

class CProbe : public CVDFile {
  DECLARE_VDFILE(CProbe)
  CProbe() { ++g_probesAlive; }
  ~CProbe() override { --g_probesAlive; }
  bool OnCreateFile() override { return m_bAcceptCreate; }
  bool OnDeleteFile() override { return m_bAcceptDelete; }
  void UnbindFile(CVDFile* pFile) override { OnBindFileNotify(pFile, -1), CVDFile::UnbindFile(pFile); }
  bool OnBindFileNotify(CVDFile* pSource, int nCode) override {
    g_log += std::string(GetName()) + "<" + (pSource ? pSource->GetName() : "") + "#" +
             std::to_string(nCode) + ";";
    return true;
  }
  void SetOwnChildren(bool b) { m_bOwnChildren = b; }
  void SetHide(bool b) { m_bHide = b; }
  bool m_bAcceptCreate = true, m_bAcceptDelete = true;
};
IMPLEMENT_VDFILE(CProbe, CVDFile)

class CStubborn : public CProbe {
  DECLARE_VDFILE(CStubborn)
  CStubborn() { m_bAcceptCreate = m_bAcceptDelete = false; }
};
IMPLEMENT_VDFILE(CStubborn, CProbe)

class CRefusesCreate : public CProbe {
  DECLARE_VDFILE(CRefusesCreate)
  CRefusesCreate() { m_bAcceptCreate = false; }
};
IMPLEMENT_VDFILE(CRefusesCreate, CProbe)

CProbe* Probe(CVDFile* parent, const char* name) {
  return static_cast<CProbe*>(parent->CreateFileA(name, "Probe", "CProbe"));
}

std::string Names(const CVDFile& f) {
  std::string out;
  for (int i = 0; i < f.GetFileCount(); ++i) out += f.GetFileAt(i)->GetName();
  return out;
}

std::string TakeLog() {
  return std::move(g_log);
}

TEST(ClassRegistryTest, RecordsLinkInOrderAndUnlinkWhenDestroyed) {
  std::unique_ptr<CVDFile> f(CreateVDFile("cvdisk"));  // by name, ignoring case
  EXPECT_STREQ(f->GetClassNameA(), "CVDisk");
  EXPECT_EQ(CreateVDFile("NoSuchClass"), nullptr);
  EXPECT_TRUE(CWorkflowSet().IsKindOf("cvdisk"));  // bases walked
  CVDClassInfo* last = CVDClassInfo::mhFirstObj;
  while (last->m_pNextClass) last = last->m_pNextClass;
  {
    CVDClassInfo temp("CTempClass", &CProbe::CreateObject, &CProbe::GetBaseClass);
    EXPECT_EQ(last->m_pNextClass, &temp);
    delete CreateVDFile("ctempclass");
  }
  EXPECT_EQ(last->m_pNextClass, nullptr);  // an unloaded module's record is no longer reachable
  EXPECT_EQ(CreateVDFile("CTempClass"), nullptr);
}

// Which of the test's records made an object: each live record has a
// creation function of its own.
int g_madeBy = -1;
template <int K>
CVDFile* MadeBy() {
  g_madeBy = K;
  return nullptr;
}
template <int... K>
constexpr std::array<CVDFile* (*)(), sizeof...(K)> MakerTable(std::integer_sequence<int, K...>) {
  return {&MadeBy<K>...};
}

// Records linked in, unlinked (a module unloaded) and renamed by assignment
// at random: CreateVDFile answers as a walk of the list does, with the first
// record of the name in list order, case ignored.
TEST(ClassRegistryTest, LookupAgreesWithTheListWalk) {
  static constexpr auto kMakers = MakerTable(std::make_integer_sequence<int, 24>());
  const char* const names[] = {"CRegA", "cregA", "CREGA", "CRegB", "cregb", "CRegC", "CRegD"};
  std::vector<std::unique_ptr<CVDClassInfo>> records(kMakers.size());
  std::mt19937 rng(7);
  auto listWalk = [](const char* name) -> CVDClassInfo* {
    for (CVDClassInfo* info = CVDClassInfo::mhFirstObj; info; info = info->m_pNextClass) {
      if (info->m_lpszClassName && strcasecmp(info->m_lpszClassName, name) == 0) return info;
    }
    return nullptr;
  };
  for (int step = 0; step < 3000; ++step) {
    auto& slot = records[rng() % records.size()];
    const char* name = names[rng() % std::size(names)];
    const unsigned op = rng() % 10;
    if (!slot) {
      const int k = static_cast<int>(&slot - records.data());
      slot = std::make_unique<CVDClassInfo>(name, kMakers[k], &CProbe::GetBaseClass);
    } else if (op < 6) {
      slot.reset();
    } else {
      CVDClassInfo renamed = *slot;
      renamed.m_lpszClassName = name;
      *slot = renamed;  // the link is its own: it stays in place
    }
    for (const char* n : names) {
      CVDClassInfo* want = listWalk(n);
      g_madeBy = -1;
      EXPECT_EQ(CreateVDFile(n), nullptr);
      const int got = g_madeBy;
      g_madeBy = -1;
      if (want) want->m_pfnCreateObject();
      ASSERT_EQ(got, g_madeBy) << "step " << step << " name " << n;
    }
  }
  // A name written into a record directly is found under its new name and
  // no longer under its old one.
  records.clear();
  CVDClassInfo lone("CRegLone", kMakers[0], &CProbe::GetBaseClass);
  CreateVDFile("CRegLone");
  EXPECT_EQ(g_madeBy, 0);
  lone.m_lpszClassName = "CRegRenamed";
  g_madeBy = -1;
  CreateVDFile("cregrenamed");
  EXPECT_EQ(g_madeBy, 0);
  g_madeBy = -1;
  CreateVDFile("CRegLone");
  EXPECT_EQ(g_madeBy, -1);
}

TEST(VDFileTest, FindAndCreateByNameAndPath) {
  CVDisk disk;
  CVDFile* alpha = disk.CreateFileA("Alpha", "T", nullptr);
  EXPECT_EQ(disk.FindFile("ALPHA"), alpha);
  EXPECT_EQ(disk.CreateFileA("alpha", "Other", "CProbe"), alpha);  // whatever class and type asked
  EXPECT_EQ(disk.CreateFileA("Beta", nullptr, "CUnknown"), nullptr);
  EXPECT_FALSE(disk.CreateFileA("", "Anon", "CProbe")->IsNamed());  // unnamed: appended, never found
  EXPECT_EQ(disk.GetFileCount(), 2);
  // Enough siblings for FindFile to index them: every change gives what a scan in child order gives.
  for (int i = 0; i < 200; ++i) disk.CreateFileA(("n" + std::to_string(i)).c_str(), nullptr, nullptr);
  CVDFile* dup = new CVDFile;
  dup->SetName("n10");
  ASSERT_TRUE(disk.AddNewFile(dup));  // a second n10, after the first
  EXPECT_EQ(disk.FindFile("n10"), disk.GetFileAt(12));
  ASSERT_TRUE(dup->MoveThisTo(0));
  EXPECT_EQ(disk.FindFile("n10"), dup);
  dup->SetName("renamed");
  EXPECT_EQ(disk.FindFile("n10"), disk.GetFileAt(13));
  EXPECT_TRUE(disk.DeleteFileA("n199"));
  EXPECT_EQ(disk.FindFile("n198"), disk.GetFileAt(disk.GetFileCount() - 1));
  CVDFile* replacement = new CVDFile;
  replacement->SetName("n5");
  delete disk.ReplaceFile(nullptr, replacement);
  EXPECT_EQ(disk.FindFile("n5"), replacement);

  CVDFile* c = disk.CreateFileEx("a\\b/c", "T", "CProbe");
  ASSERT_NE(c, nullptr);
  CVDFile* a = disk.FindFile("a");
  CVDFile* b = c->GetParent();
  EXPECT_EQ(b->GetParent(), a);
  EXPECT_STREQ(a->GetClassNameA(), "CProbe");  // intermediate objects share type and class
  EXPECT_EQ(disk.CreateFileEx("a/b/c", "T", "CProbe"), c);
  EXPECT_EQ(b->CreateFileEx("/a//b", nullptr, nullptr), b);
  CVDFile loose;
  EXPECT_EQ(loose.CreateFileEx("/abs", nullptr, nullptr), nullptr);  // no disk
  EXPECT_EQ(disk.FindFileEx("/a/../a/./b"), b);
  EXPECT_EQ(c->FindFileEx("../../b/c"), c);
  EXPECT_EQ(c->FindFileEx("\\A\\B"), b);
  EXPECT_EQ(disk.FindFileEx("/a/missing/b"), nullptr);
  disk.CreateFileA(".x", nullptr, nullptr);
  EXPECT_EQ(disk.FindFileEx("/.x"), &disk);  // skipped: the path ends at the disk
  EXPECT_NE(disk.ChangeDir(".x"), nullptr);  // ChangeDir takes it as a name
  EXPECT_EQ(c->ChangeDir("/a/b"), b);
  EXPECT_EQ(disk.ChangeDir("a/../a"), nullptr);  // ".." is just a name here
  EXPECT_EQ(b->GetVDPathName(), "/a/b");
  EXPECT_EQ(c->GetDisk(), &disk);  // a disk inside a disk is its subtree's disk
  CVDFile* inner = disk.CreateFileA("inner", nullptr, "CJobSet");
  EXPECT_EQ(inner->CreateFileA("job", nullptr, nullptr)->GetDisk(), inner);
}

TEST(VDFileTest, MovesAmongSiblings) {
  CVDisk disk;
  CVDFile* a = disk.CreateFileA("a", nullptr, nullptr);
  CVDFile* b = disk.CreateFileA("b", nullptr, nullptr);
  CVDFile* c = disk.CreateFileA("c", nullptr, nullptr);
  ASSERT_TRUE(a->MoveThisToBefore(nullptr));
  ASSERT_TRUE(c->MoveThisToBefore(b));
  CVDFile stranger;
  EXPECT_FALSE(b->MoveThisToBefore(&stranger));
  EXPECT_EQ(Names(disk), "cba");
  ASSERT_TRUE(a->MoveThisTo(-5));
  EXPECT_EQ(Names(disk), "acb");
  ASSERT_TRUE(a->MoveThisTo(99));  // past the end: to the end, no empty slot
  EXPECT_EQ(Names(disk), "cba");
}

TEST(VDFileTest, RefusedCreationDestroysTheNewObjectOnce) {
  CVDisk disk;
  const int before = g_probesAlive;
  EXPECT_EQ(disk.CreateFileA("no", nullptr, "CRefusesCreate"), nullptr);
  EXPECT_EQ(disk.CreateFileA("never", nullptr, "CStubborn"), nullptr);  // refuses its deletion as well
  EXPECT_EQ(disk.GetFileCount(), 0);
  EXPECT_EQ(g_probesAlive, before);
  CProbe* holder = Probe(&disk, "holder");
  holder->SetOwnChildren(false);
  EXPECT_EQ(holder->CreateFileA("no", nullptr, "CRefusesCreate"), nullptr);
  EXPECT_EQ(holder->GetFileCount(), 0);
  EXPECT_EQ(g_probesAlive, before + 1);
  // Deletion asks the object; a parent that does not own its children leaves them alive, detached.
  holder->m_bAcceptDelete = false;
  EXPECT_FALSE(disk.DeleteFileA("HOLDER"));
  CVDFile* book = new CVDFile;
  ASSERT_TRUE(holder->AddNewFile(book));
  holder->m_bAcceptDelete = true;
  EXPECT_TRUE(holder->DeleteFileA());
  EXPECT_EQ(book->GetParent(), nullptr);
  delete book;
  // The selection of a deleted object reads null.
  CVDFile* a = disk.CreateFileA("a", nullptr, nullptr);
  disk.OnNotifySelected(a);
  delete a;
  EXPECT_EQ(disk.GetCurSel(), nullptr);
  // A chain deeper than any stack goes without recursion.
  CVDFile* f = &disk;
  for (int i = 0; i < 200000; ++i) f = f->CreateFileA(nullptr, nullptr, nullptr);
  disk.EmptyFile();
  EXPECT_EQ(disk.GetFileCount(), 0);
}

TEST(BindingTest, DeadEntriesAreSkippedAndDropped) {
  CVDisk disk;
  CProbe* a = Probe(&disk, "a");
  CProbe* first = Probe(&disk, "first");
  CProbe* second = Probe(&disk, "second");
  second->SetFileType("Chart");
  a->BindFile(first);
  a->BindFile(second);
  delete first;  // plain destruction: a still lists it
  EXPECT_EQ(a->GetBindFile(nullptr), second);
  EXPECT_EQ(a->GetBindFile("chart"), second);
  TakeLog();
  a->SetName("a2");
  EXPECT_EQ(TakeLog(), "second<a2#2;");
  a->UnbindFile(nullptr);  // forgets the list, keeps the file
  EXPECT_EQ(a->GetBindFile(nullptr), nullptr);
  EXPECT_EQ(disk.FindFile("second"), second);
  // Deletion takes the files bound to the object and its subtree along, telling each to unbind (code
  // -1); a watcher bound to the disk hears code 1. Ignored: a second binding, binding to itself.
  CProbe* child = Probe(a, "child");
  CProbe* chart = Probe(&disk, "chart");
  a->BindFile(second);
  a->BindFile(second);
  a->BindFile(a);
  child->BindFile(chart);
  disk.BindFile(Probe(&disk, "watcher"));
  TakeLog();
  EXPECT_TRUE(a->DeleteFileA());
  EXPECT_EQ(Names(disk), "watcher");
  const std::string log = TakeLog();
  EXPECT_EQ(log.find("second<a2#-1;"), 0u) << log;
  EXPECT_NE(log.find("chart<child#-1;"), std::string::npos) << log;
  EXPECT_NE(log.find("watcher<Disk#1;"), std::string::npos) << log;
  disk.EnableNotify(false);
  EXPECT_FALSE(disk.GetFileAt(0)->NotifyBindFiles(5, nullptr));
  EXPECT_EQ(TakeLog(), "");
}

TEST(BindingTest, BoundFilesDeletedInEveryOrder) {
  // Bound across, into and out of each other's subtrees, deleted in every order: no freed object reached.
  const char* paths[] = {"/p", "/p/q", "/r", "/r/s"};
  std::vector<int> order = {0, 1, 2, 3};
  do {
    for (int style = 0; style < 2; ++style) {
      CVDisk disk;
      CProbe* p = Probe(&disk, "p");
      CProbe* q = Probe(p, "q");
      CProbe* r = Probe(&disk, "r");
      CProbe* s = Probe(r, "s");
      p->BindFile(r);
      q->BindFile(p);  // the bound file is the deleted object's ancestor
      r->BindFile(q);
      s->BindFile(p);
      s->BindFile(r);
      p->BindFile(q);  // bound into its own subtree
      disk.BindFile(s);
      for (int i : order) {
        CVDFile* f = disk.FindFileEx(paths[i]);
        if (f && style == 0) f->DeleteFileA();
        if (f && style == 1) delete f;
      }
      disk.SetName("still alive");
    }
  } while (std::next_permutation(order.begin(), order.end()));
}

TEST(ReplaceFileTest, ReplacementTakesPlaceAndItem) {
  CVDisk disk;
  CTreeCtrl tree;
  disk.AttachTreeCtrl(&tree);
  CVDFile* a = disk.CreateFileA("a", nullptr, nullptr);
  HTREEITEM item = tree.InsertItem("a");
  a->SetTreeItem(item);
  CVDFile* a2 = new CVDFile;
  a2->SetName("A");
  EXPECT_EQ(disk.ReplaceFile(nullptr, a2), a);
  EXPECT_EQ(a->GetParent(), nullptr);
  EXPECT_EQ(tree.GetItemText(a2->GetTreeItem()), "A");
  delete a;  // the caller's to dispose of; the tree is untouched
  EXPECT_TRUE(tree.IsItem(item));
  CVDFile stranger;
  EXPECT_EQ(disk.ReplaceFile(&stranger, new CVDFile), nullptr);  // not a child: added
  EXPECT_EQ(disk.GetFileCount(), 2);
  EXPECT_EQ(disk.ReplaceFile(a2, a2), nullptr);  // already in place
  EXPECT_EQ(disk.GetFileAt(0)->GetTreeItem(), item);
}

TEST(TreeMirrorTest, TreeKeptInStepWithTheFiles) {
  CVDisk disk;
  CTreeCtrl tree;
  tree.SetDlgCtrlID(1234);
  disk.AttachTreeCtrl(&tree);
  std::vector<HTREEITEM> parents;  // of each announced file
  tree.SetNotifyHandler([&](CTreeCtrl& t, NMHDR* h) -> LRESULT {
    NMVDADDFILE* add = reinterpret_cast<NMVDADDFILE*>(h);
    EXPECT_TRUE(h->code == VDN_ADDFILE && h->idFrom == 1234u);
    parents.push_back(add->hParent);
    add->pFile->SetTreeItem(t.InsertItem(add->pFile->GetName(), add->hParent ? add->hParent : TVI_ROOT));
    return 0;
  });
  CVDFile* wells = disk.CreateFileA("wells", nullptr, nullptr);
  CVDFile* w1 = wells->CreateFileA("W1", nullptr, nullptr);
  wells->CreateFileA("", nullptr, nullptr);  // unnamed: not announced
  CProbe* hidden = new CProbe;
  hidden->SetHide(true);
  wells->AddNewFile(hidden);                                                    // hidden: not announced
  EXPECT_EQ(parents, (std::vector<HTREEITEM>{nullptr, wells->GetTreeItem()}));  // the disk has no item
  MapKeywordName("@w", "Well one");
  w1->SetName("@w");
  EXPECT_EQ(tree.GetItemText(w1->GetTreeItem()), "Well one");
  EXPECT_TRUE(w1->DeleteFileA());
  EXPECT_EQ(tree.GetCount(), 1u);
  wells->CreateFileA("W2", nullptr, nullptr);
  wells->EmptyFile();  // unnamed children have no item: nothing else may go
  EXPECT_EQ(tree.GetCount(), 1u);
  delete wells;
  EXPECT_EQ(tree.GetCount(), 0u);
}

}  // namespace
