#include "vdkit/vdfile/vdfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "vdkit/job/job.h"

namespace {

// A client class that records what the tree does to it.
struct Event {
  std::string who;
  std::string what;
  std::string source;
  int code;
};
std::vector<Event> g_events;
int g_probesAlive = 0;

class CProbe : public CVDFile {
  DECLARE_VDFILE(CProbe)
  CProbe() { ++g_probesAlive; }
  ~CProbe() override { --g_probesAlive; }
  bool OnCreateFile() override { return m_bAcceptCreate; }
  bool OnDeleteFile() override { return m_bAcceptDelete; }
  void UnbindFile(CVDFile* pFile) override {
    g_events.push_back({GetName(), "unbind", pFile ? pFile->GetName() : "", 0});
    CVDFile::UnbindFile(pFile);
  }
  bool OnBindFileNotify(CVDFile* pSource, int nCode) override {
    g_events.push_back({GetName(), "notify", pSource ? pSource->GetName() : "", nCode});
    return true;
  }
  void SetOwnChildren(bool b) { m_bOwnChildren = b; }
  void SetHide(bool b) { m_bHide = b; }

  bool m_bAcceptCreate = true;
  bool m_bAcceptDelete = true;
};
IMPLEMENT_VDFILE(CProbe, CVDFile)

// Refuses every addition, and its own deletion too.
class CStubborn : public CProbe {
  DECLARE_VDFILE(CStubborn)
  CStubborn() {
    m_bAcceptCreate = false;
    m_bAcceptDelete = false;
  }
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

std::vector<std::string> Names(const CVDFile& f) {
  std::vector<std::string> out;
  for (int i = 0; i < f.GetFileCount(); ++i) out.push_back(f.GetFileAt(i)->GetName());
  return out;
}

// The notifications received since the last call, as "who<source#code;" each.
std::string Notes() {
  std::string out;
  for (const Event& e : g_events)
    if (e.what == "notify") out += e.who + "<" + e.source + "#" + std::to_string(e.code) + ";";
  g_events.clear();
  return out;
}

TEST(ClassRegistryTest, CreatesByNameIgnoringCaseAndWalksBases) {
  CVDFile* f = CreateVDFile("cvdisk");
  ASSERT_NE(f, nullptr);
  EXPECT_STREQ(f->GetClassNameA(), "CVDisk");
  EXPECT_STREQ(f->GetName(), "Disk");
  delete f;
  EXPECT_EQ(CreateVDFile("NoSuchClass"), nullptr);
  EXPECT_EQ(CreateVDFile(nullptr), nullptr);

  const char* all[] = {"CVDFile", "CVDisk", "CJobSet", "CWorkflowSet", "CProbe", "CStubborn"};
  for (const char* name : all) {
    SCOPED_TRACE(name);
    CVDFile* obj = CreateVDFile(name);
    ASSERT_NE(obj, nullptr);
    EXPECT_TRUE(obj->IsKindOf("cvdfile"));
    EXPECT_TRUE(obj->IsKindOf(name));
    EXPECT_FALSE(obj->IsKindOf(nullptr));
    delete obj;
  }
  EXPECT_TRUE(CWorkflowSet().IsKindOf("CVDisk"));
  EXPECT_FALSE(CJobSet().IsKindOf("CWorkflowSet"));
  EXPECT_FALSE(CProbe().IsKindOf("CStubborn"));
}

TEST(ClassRegistryTest, RecordsLinkInOrderAndUnlinkWhenDestroyed) {
  CVDClassInfo* last = CVDClassInfo::mhFirstObj;
  ASSERT_NE(last, nullptr);
  while (last->m_pNextClass) last = last->m_pNextClass;
  {
    CVDClassInfo temp("CTempClass", &CProbe::CreateObject, &CProbe::GetBaseClass);
    EXPECT_EQ(last->m_pNextClass, &temp);
    CVDFile* f = CreateVDFile("ctempclass");
    ASSERT_NE(f, nullptr);
    delete f;
  }
  // An unloaded module's record must not stay reachable.
  EXPECT_EQ(last->m_pNextClass, nullptr);
  EXPECT_EQ(CreateVDFile("CTempClass"), nullptr);
}

TEST(VDFileTest, FindAndCreateByName) {
  CVDisk disk;
  CVDFile* alpha = disk.CreateFileA("Alpha", "T", nullptr);
  ASSERT_NE(alpha, nullptr);
  EXPECT_STREQ(alpha->GetClassNameA(), "CVDFile");
  EXPECT_EQ(disk.FindFile("ALPHA"), alpha);
  EXPECT_EQ(disk.FindFile(""), nullptr);
  EXPECT_EQ(disk.FindFile("Alph"), nullptr);
  // An existing child comes back whatever class and type were asked for.
  EXPECT_EQ(disk.CreateFileA("alpha", "Other", "CProbe"), alpha);
  EXPECT_TRUE(alpha->IsFileType("t"));
  EXPECT_EQ(disk.CreateFileA("Beta", nullptr, "CUnknown"), nullptr);
  EXPECT_EQ(disk.GetFileCount(), 1);

  // Unnamed children are appended without a name and never found.
  CVDFile* anon = disk.CreateFileA("", "Anon", "CProbe");
  ASSERT_NE(anon, nullptr);
  EXPECT_FALSE(anon->IsNamed());
  EXPECT_EQ(disk.CreateFileA(nullptr, nullptr, nullptr)->GetParent(), &disk);
  CStringArray names;
  names.Add("stale");
  disk.ListSubFiles(names);
  ASSERT_EQ(names.GetSize(), 3);
  EXPECT_STREQ(names[1], "");

  EXPECT_EQ(disk.GetWorkItem("Gamma", "G", nullptr, false), nullptr);
  CVDFile* gamma = disk.GetWorkItem("Gamma", "G", nullptr, true);
  ASSERT_NE(gamma, nullptr);
  EXPECT_EQ(disk.GetWorkItem("GAMMA", "X", "CProbe", true), gamma);
}

TEST(VDFileTest, FindFileKeepsChildOrderAmongManySiblings) {
  // Enough siblings for FindFile to index them: every change of the children
  // must still give what a scan in child order gives.
  CVDisk disk;
  for (int i = 0; i < 200; ++i) disk.CreateFileA(("n" + std::to_string(i)).c_str(), nullptr, nullptr);
  EXPECT_EQ(disk.FindFile("N150"), disk.GetFileAt(150));
  CVDFile* dup = new CVDFile;
  dup->SetName("n10");
  ASSERT_TRUE(disk.AddNewFile(dup));  // a second n10, after the first
  EXPECT_EQ(disk.FindFile("n10"), disk.GetFileAt(10));
  ASSERT_TRUE(dup->MoveThisTo(0));
  EXPECT_EQ(disk.FindFile("n10"), dup);
  dup->SetName("renamed");
  EXPECT_EQ(disk.FindFile("n10"), disk.GetFileAt(11));
  EXPECT_EQ(disk.FindFile("RENAMED"), dup);
  disk.GetFileAt(11)->SetName("N10X");
  EXPECT_EQ(disk.FindFile("n10"), nullptr);
  EXPECT_TRUE(disk.DeleteFileA("n199"));
  EXPECT_EQ(disk.FindFile("n199"), nullptr);
  EXPECT_EQ(disk.FindFile("n198"), disk.GetFileAt(disk.GetFileCount() - 1));
  CVDFile* added = disk.CreateFileA("late", nullptr, nullptr);
  EXPECT_EQ(disk.FindFile("LATE"), added);
  CVDFile* replacement = new CVDFile;
  replacement->SetName("n5");
  CVDFile* old = disk.ReplaceFile(nullptr, replacement);
  ASSERT_NE(old, nullptr);
  delete old;
  EXPECT_EQ(disk.FindFile("n5"), replacement);
}

TEST(VDFileTest, PathsResolveAndCreate) {
  CVDisk disk;
  CVDFile* c = disk.CreateFileEx("a\\b/c", "T", "CProbe");
  ASSERT_NE(c, nullptr);
  CVDFile* a = disk.FindFile("a");
  ASSERT_NE(a, nullptr);
  CVDFile* b = a->FindFile("b");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->FindFile("c"), c);
  EXPECT_STREQ(a->GetClassNameA(), "CProbe");  // intermediate objects share type and class
  EXPECT_STREQ(b->GetFileType(), "T");
  EXPECT_EQ(disk.CreateFileEx("a/b/c", "T", "CProbe"), c);
  EXPECT_EQ(disk.GetFileCount(), 1);
  EXPECT_EQ(b->CreateFileEx("/a//b", nullptr, nullptr), b);
  EXPECT_EQ(disk.CreateFileEx("/", nullptr, nullptr), nullptr);
  EXPECT_EQ(disk.CreateFileEx("", nullptr, nullptr), nullptr);
  EXPECT_EQ(disk.CreateFileEx("x/y", nullptr, "CUnknown"), nullptr);
  CVDFile loose;
  EXPECT_EQ(loose.CreateFileEx("/abs", nullptr, nullptr), nullptr);  // no disk

  EXPECT_EQ(disk.FindFileEx("/a/../a/./b"), b);
  EXPECT_EQ(c->FindFileEx("../../b/c"), c);
  EXPECT_EQ(c->FindFileEx("\\A\\B"), b);
  EXPECT_EQ(disk.FindFileEx("/"), nullptr);
  EXPECT_EQ(disk.FindFileEx(nullptr), nullptr);
  EXPECT_EQ(disk.FindFileEx(".."), nullptr);
  EXPECT_EQ(disk.FindFileEx("/a/missing/b"), nullptr);
  disk.CreateFileA(".x", nullptr, nullptr);
  EXPECT_EQ(disk.FindFileEx("/.x"), &disk);  // skipped: the path ends at the disk
  EXPECT_NE(disk.ChangeDir(".x"), nullptr);  // ChangeDir takes it as a name

  EXPECT_EQ(c->ChangeDir("/a/b"), b);
  EXPECT_EQ(disk.ChangeDir("a\\b\\c"), c);
  EXPECT_EQ(disk.ChangeDir("a/../a"), nullptr);  // ".." is just a name here
  EXPECT_EQ(b->ChangeDir(""), b);
  EXPECT_EQ(loose.ChangeDir("/a"), nullptr);

  EXPECT_EQ(disk.GetVDPathName(), "/");
  EXPECT_EQ(b->GetVDPathName(), "/a/b");
  EXPECT_EQ(b->GetVDPath(), "/a/");
  EXPECT_EQ(b->GetDir(), "/a");
  EXPECT_EQ(a->GetDir(), "/");

  // Disk and document are found from any depth; a disk inside a disk is its subtree's disk.
  EXPECT_EQ(c->GetDisk(), &disk);
  CQRXDoc* doc = reinterpret_cast<CQRXDoc*>(&disk);  // opaque: only stored and returned
  disk.AttachDoc(doc);
  EXPECT_EQ(c->GetDocument(), doc);
  EXPECT_EQ(loose.GetDisk(), nullptr);
  EXPECT_EQ(loose.GetDocument(), nullptr);
  CVDFile* inner = disk.CreateFileA("inner", nullptr, "CJobSet");
  EXPECT_EQ(inner->CreateFileA("job", nullptr, nullptr)->GetDisk(), inner);
}

TEST(VDFileTest, MovesAmongSiblings) {
  CVDisk disk;
  CVDFile* a = disk.CreateFileA("a", nullptr, nullptr);
  CVDFile* b = disk.CreateFileA("b", nullptr, nullptr);
  CVDFile* c = disk.CreateFileA("c", nullptr, nullptr);
  ASSERT_TRUE(a->MoveThisToBefore(nullptr));
  EXPECT_EQ(Names(disk), (std::vector<std::string>{"b", "a", "c"}));
  ASSERT_TRUE(c->MoveThisToBefore(b));
  EXPECT_EQ(Names(disk), (std::vector<std::string>{"c", "b", "a"}));
  CVDFile stranger;
  EXPECT_FALSE(b->MoveThisToBefore(&stranger));
  EXPECT_FALSE(b->MoveThisToBefore(b));
  EXPECT_EQ(Names(disk), (std::vector<std::string>{"c", "b", "a"}));
  ASSERT_TRUE(a->MoveThisTo(-5));
  EXPECT_EQ(Names(disk), (std::vector<std::string>{"a", "c", "b"}));
  // Past the end moves to the end and leaves no empty slot.
  ASSERT_TRUE(a->MoveThisTo(99));
  EXPECT_EQ(Names(disk), (std::vector<std::string>{"c", "b", "a"}));
  EXPECT_EQ(disk.GetFileCount(), 3);
  EXPECT_FALSE(disk.MoveThisTo(0));
  CVDisk single;
  CVDFile* only = single.CreateFileA("only", nullptr, nullptr);
  EXPECT_FALSE(only->MoveThisToBefore(nullptr));
  EXPECT_EQ(single.GetFileAt(0), only);
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

  // AddNewFile of the caller's object: refused, and deleted by DeleteFileA.
  CProbe* mine = new CRefusesCreate;
  EXPECT_FALSE(disk.AddNewFile(mine));
  EXPECT_EQ(g_probesAlive, before + 1);
  EXPECT_FALSE(disk.AddNewFile(nullptr));
}

TEST(VDFileTest, DeletionAsksTheObjectAndHonoursOwnership) {
  CVDisk disk;
  CProbe* keep = Probe(&disk, "keep");
  keep->m_bAcceptDelete = false;
  EXPECT_FALSE(keep->DeleteFileA());
  EXPECT_EQ(disk.FindFile("keep"), keep);
  EXPECT_FALSE(disk.DeleteFileA("KEEP"));
  EXPECT_TRUE(disk.DeleteFileA("missing"));
  EXPECT_TRUE(disk.DeleteFileAt(7));
  keep->m_bAcceptDelete = true;
  EXPECT_TRUE(disk.DeleteFileAt(0));
  EXPECT_EQ(disk.GetFileCount(), 0);

  // A parent that does not own its children leaves them alive, detached.
  CProbe* shelf = Probe(&disk, "shelf");
  shelf->SetOwnChildren(false);
  CVDFile* book = new CVDFile;
  book->SetName("book");
  ASSERT_TRUE(shelf->AddNewFile(book));
  EXPECT_TRUE(book->DeleteFileA());
  EXPECT_EQ(shelf->GetFileCount(), 0);
  EXPECT_EQ(book->GetParent(), nullptr);
  CVDFile* tome = new CVDFile;
  ASSERT_TRUE(shelf->AddNewFile(tome));
  shelf->DeleteFileA();  // leaves tome alive
  EXPECT_EQ(tome->GetParent(), nullptr);
  delete book;
  delete tome;

  // The selection of a deleted object reads null, whichever way it went.
  CVDFile* a = disk.CreateFileA("a", nullptr, nullptr);
  disk.OnNotifySelected(a);
  EXPECT_EQ(disk.GetCurSel(), a);
  a->DeleteFileA();
  EXPECT_EQ(disk.GetCurSel(), nullptr);
  CVDFile* b = disk.CreateFileA("b", nullptr, nullptr);
  disk.OnNotifySelected(b);
  delete b;
  EXPECT_EQ(disk.GetCurSel(), nullptr);
}

TEST(VDFileTest, PlainDestructionDetachesAndFreesTheSubtree) {
  CVDisk disk;
  const int before = g_probesAlive;
  CProbe* a = Probe(&disk, "a");
  Probe(a, "a1");
  Probe(Probe(a, "a2"), "a21");
  CProbe* b = Probe(&disk, "b");
  delete a;
  EXPECT_EQ(disk.GetFileCount(), 1);
  EXPECT_EQ(disk.GetFileAt(0), b);
  EXPECT_EQ(g_probesAlive, before + 1);

  // A chain far deeper than any stack would take frame by frame (unnamed
  // children: appending them asks nothing of the ancestors).
  CVDFile* f = &disk;
  for (int i = 0; i < 200000; ++i) f = f->CreateFileA(nullptr, nullptr, nullptr);
  disk.EmptyFile();
  EXPECT_EQ(disk.GetFileCount(), 0);
}

TEST(BindingTest, DeletionTakesBoundFilesAlong) {
  g_events.clear();
  CVDisk disk;
  CProbe* owner = Probe(&disk, "owner");
  CProbe* child = Probe(owner, "child");
  CProbe* view = Probe(&disk, "view");
  CProbe* chart = Probe(&disk, "chart");
  CProbe* watcher = Probe(&disk, "watcher");
  owner->BindFile(view);
  owner->BindFile(view);   // ignored: already there
  owner->BindFile(owner);  // ignored: itself
  child->BindFile(chart);
  disk.BindFile(watcher);
  EXPECT_TRUE(owner->IsBindFile("PROBE"));
  EXPECT_FALSE(owner->IsBindFile("Other"));

  EXPECT_TRUE(owner->DeleteFileA());
  EXPECT_EQ(disk.FindFile("owner"), nullptr);
  EXPECT_EQ(disk.FindFile("view"), nullptr);
  EXPECT_EQ(disk.FindFile("chart"), nullptr);
  EXPECT_EQ(disk.FindFile("watcher"), watcher);
  // Each bound file is first told to unbind from the deleted object.
  ASSERT_GE(g_events.size(), 3u);
  EXPECT_EQ(g_events[0].who, "view");
  EXPECT_EQ(g_events[0].what, "unbind");
  EXPECT_EQ(g_events[0].source, "owner");
  const auto chartUnbind = std::find_if(g_events.begin(), g_events.end(), [](const Event& e) {
    return e.who == "chart" && e.what == "unbind";
  });
  ASSERT_NE(chartUnbind, g_events.end());
  EXPECT_EQ(chartUnbind->source, "child");
  // The disk was told that children were deleted (code 1, the disk as source).
  EXPECT_NE(Notes().find("watcher<Disk#1;"), std::string::npos);
}

TEST(BindingTest, NotificationsClimbToTheRootAndObeyTheSwitch) {
  g_events.clear();
  CVDisk disk;
  CProbe* a = Probe(&disk, "a");
  CProbe* b = Probe(a, "b");
  CProbe* onA = Probe(&disk, "onA");
  CProbe* onDisk = Probe(&disk, "onDisk");
  a->BindFile(onA);
  disk.BindFile(onDisk);
  g_events.clear();
  b->SetName("b2");  // code 2 from the renamed object, seen by every ancestor's bound files
  EXPECT_EQ(Notes(), "onA<b2#2;onDisk<b2#2;");
  EXPECT_TRUE(a->NotifyBindFiles(77, onDisk));
  EXPECT_EQ(Notes(), "onA<onDisk#77;onDisk<onDisk#77;");
  disk.EnableNotify(false);
  EXPECT_FALSE(a->NotifyBindFiles(5, nullptr));
  a->SetName("renamed");
  EXPECT_EQ(Notes(), "");
  disk.EnableNotify(true);
  a->DeleteAllFiles();  // code 4 from the emptied object
  EXPECT_EQ(Notes(), "onA<renamed#4;onDisk<renamed#4;");
  CVDFile loose;
  EXPECT_FALSE(loose.NotifyBindFiles(1, nullptr));  // no disk
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
  g_events.clear();
  a->SetName("a2");
  EXPECT_EQ(Notes(), "second<a2#2;");
  a->UnbindFile(second);
  EXPECT_EQ(a->GetBindFile(nullptr), nullptr);
  a->BindFile(second);
  a->UnbindFile(nullptr);  // forgets the list, keeps the file
  EXPECT_EQ(a->GetBindFile(nullptr), nullptr);
  EXPECT_EQ(disk.FindFile("second"), second);
}

TEST(BindingTest, BoundFilesDeletedInEveryOrder) {
  // Files bound across, into and out of each other's subtrees, deleted in
  // every order: no deletion may reach a freed object.
  const char* names[] = {"p", "q", "r", "s"};
  std::vector<int> order = {0, 1, 2, 3};
  do {
    for (int style = 0; style < 2; ++style) {
      SCOPED_TRACE(std::to_string(order[0]) + std::to_string(order[1]) + std::to_string(order[2]) +
                   std::to_string(order[3]) + (style ? " delete" : " DeleteFileA"));
      CVDisk disk;
      CProbe* p = Probe(&disk, "p");
      CProbe* q = Probe(p, "q");
      CProbe* r = Probe(&disk, "r");
      CProbe* s = Probe(r, "s");
      p->BindFile(r);
      q->BindFile(p);  // the bound file is the deleted object's ancestor
      r->BindFile(q);
      s->BindFile(p);
      s->BindFile(s->GetParent());
      p->BindFile(q);  // bound into its own subtree
      disk.BindFile(s);
      for (int i : order) {
        CVDFile* f = disk.FindFileEx((i == 1   ? "/p/q"
                                      : i == 3 ? "/r/s"
                                               : std::string("/") + names[i])
                                         .c_str());
        if (!f) continue;
        if (style == 0)
          f->DeleteFileA();
        else
          delete f;
      }
      disk.SetName("still alive");
    }
  } while (std::next_permutation(order.begin(), order.end()));
}

TEST(LiveObjectsTest, RegistryAndKeywordMap) {
  int token = 0;
  EXPECT_FALSE(IsDataExist(nullptr));
  EXPECT_FALSE(IsDataExist(&token));
  RegisterData(&token, false);
  EXPECT_TRUE(IsDataExist(&token));
  WORD value = 0;
  RegisterData(&token, true);
  EXPECT_FALSE(IsDataExist(&token));
  {
    CVDFile f;
    EXPECT_TRUE(IsDataExist(&f));
    EXPECT_TRUE(CVDisk::mDCObjs.Lookup(&f, value));
    EXPECT_EQ(value, 1);
  }

  EXPECT_STREQ(GetMapedName("@depth"), "@depth");
  MapKeywordName("@depth", "Depth (ft)");
  EXPECT_STREQ(GetMapedName("@Depth"), "Depth (ft)");
  EXPECT_EQ(GetMapedName(nullptr), nullptr);
}

TEST(ReplaceFileTest, ReplacementTakesPlaceAndItem) {
  CVDisk disk;
  CTreeCtrl tree;
  disk.AttachTreeCtrl(&tree);
  CVDFile* a = disk.CreateFileA("a", nullptr, nullptr);
  disk.CreateFileA("b", nullptr, nullptr);
  HTREEITEM item = tree.InsertItem("a");
  a->SetTreeItem(item);

  CVDFile* a2 = new CVDFile;
  a2->SetName("A");
  EXPECT_EQ(disk.ReplaceFile(nullptr, a2), a);
  EXPECT_EQ(disk.GetFileAt(0), a2);
  EXPECT_EQ(a2->GetTreeItem(), item);
  EXPECT_EQ(a->GetTreeItem(), nullptr);
  EXPECT_EQ(a->GetParent(), nullptr);
  EXPECT_EQ(tree.GetItemData(item), reinterpret_cast<DWORD_PTR>(a2));
  EXPECT_EQ(tree.GetItemText(item), "A");
  delete a;  // the caller's to dispose of; the tree is untouched
  EXPECT_EQ(disk.GetFileCount(), 2);
  EXPECT_TRUE(tree.IsItem(item));

  CVDFile* c = new CVDFile;
  c->SetName("c");
  EXPECT_EQ(disk.ReplaceFile(nullptr, c), nullptr);  // nothing to replace: added
  EXPECT_EQ(disk.GetFileAt(2), c);
  CVDFile stranger;
  CVDFile* d = new CVDFile;
  EXPECT_EQ(disk.ReplaceFile(&stranger, d), nullptr);  // not a child: added, stranger untouched
  EXPECT_EQ(disk.GetFileCount(), 4);
  EXPECT_EQ(disk.ReplaceFile(c, c), nullptr);  // already in place
  EXPECT_EQ(disk.GetFileAt(2), c);
}

TEST(TreeMirrorTest, TreeKeptInStepWithTheFiles) {
  CVDisk disk;
  CTreeCtrl tree;
  tree.SetDlgCtrlID(1234);
  disk.AttachTreeCtrl(&tree);
  std::vector<NMVDADDFILE> adds;
  tree.SetNotifyHandler([&](CTreeCtrl& t, NMHDR* h) -> LRESULT {
    EXPECT_EQ(h->code, VDN_ADDFILE);
    EXPECT_EQ(h->hwndFrom, &t);
    EXPECT_EQ(h->idFrom, 1234u);
    NMVDADDFILE* add = reinterpret_cast<NMVDADDFILE*>(h);
    adds.push_back(*add);
    HTREEITEM it = t.InsertItem(add->pFile->GetName(), add->hParent ? add->hParent : TVI_ROOT);
    t.SetItemData(it, reinterpret_cast<DWORD_PTR>(add->pFile));
    add->pFile->SetTreeItem(it);
    return 0;
  });

  CVDFile* wells = disk.CreateFileA("wells", nullptr, nullptr);
  CVDFile* w1 = wells->CreateFileA("W1", nullptr, nullptr);
  wells->CreateFileA("", nullptr, nullptr);  // unnamed: not announced
  CProbe* hidden = new CProbe;
  hidden->SetHide(true);
  wells->AddNewFile(hidden);  // hidden: not announced
  ASSERT_EQ(adds.size(), 2u);
  EXPECT_EQ(adds[0].hParent, nullptr);  // the disk has no item of its own
  EXPECT_EQ(adds[0].pFile, wells);
  EXPECT_EQ(adds[1].hParent, wells->GetTreeItem());
  EXPECT_EQ(tree.GetCount(), 2u);

  MapKeywordName("@w", "Well one");
  w1->SetName("@w");
  EXPECT_EQ(tree.GetItemText(w1->GetTreeItem()), "Well one");
  MapKeywordName("plain", "Plain text");
  w1->SetTransName(true);
  w1->SetName("plain");
  EXPECT_EQ(tree.GetItemText(w1->GetTreeItem()), "Plain text");

  wells->SetCheck(true, true);
  EXPECT_TRUE(w1->IsCheck());
  EXPECT_TRUE(tree.GetCheck(w1->GetTreeItem()));
  wells->SetCheck(false, false);
  EXPECT_FALSE(tree.GetCheck(wells->GetTreeItem()));
  EXPECT_TRUE(tree.GetCheck(w1->GetTreeItem()));

  HTREEITEM w1Item = w1->GetTreeItem();
  EXPECT_TRUE(w1->DeleteFileA());
  EXPECT_FALSE(tree.IsItem(w1Item));
  CVDFile* w2 = wells->CreateFileA("W2", nullptr, nullptr);
  HTREEITEM w2Item = w2->GetTreeItem();
  wells->EmptyFile();
  EXPECT_FALSE(tree.IsItem(w2Item));
  EXPECT_EQ(tree.GetCount(), 1u);

  HTREEITEM wellsItem = wells->GetTreeItem();
  delete wells;
  EXPECT_EQ(tree.GetCount(), 0u);
  EXPECT_FALSE(tree.IsItem(wellsItem));
}

TEST(TreeMirrorTest, AddToTreeCopiesAndTheDiskRemovesItsItem) {
  CTreeCtrl tree;
  {
    CVDisk disk;
    CVDFile* a = disk.CreateFileA("a", nullptr, nullptr);
    a->CreateFileA("a1", nullptr, nullptr);
    a->CreateFileA("", nullptr, nullptr);
    disk.CreateFileA("b", nullptr, nullptr);
    HTREEITEM top = tree.InsertItem("top");
    disk.AddToTree(tree, top);  // the whole subtree, unnamed objects too, nothing recorded
    EXPECT_EQ(tree.GetCount(), 6u);
    HTREEITEM ia = tree.GetChildItem(tree.GetChildItem(top));
    EXPECT_EQ(tree.GetItemText(tree.GetNextSiblingItem(ia)), "b");
    EXPECT_EQ(tree.GetItemText(tree.GetChildItem(ia)), "a1");
    EXPECT_EQ(a->GetTreeItem(), nullptr);
    tree.DeleteAllItems();

    disk.AttachTreeCtrl(&tree);
    HTREEITEM item = tree.InsertItem("Disk");
    disk.SetTreeItem(item);
    a->SetTreeItem(tree.InsertItem("a", item));
  }
  EXPECT_EQ(tree.GetCount(), 0u);

  // Without a control, items are kept but nothing touches a control.
  CVDisk disk;
  CVDFile* a = disk.CreateFileA("a", nullptr, nullptr);
  a->SetTreeItem(reinterpret_cast<HTREEITEM>(0x1234));
  a->SetName("b");
  a->SetCheck(true, true);
  EXPECT_TRUE(a->DeleteFileA());
}

}  // namespace
