#include "vdkit/undo/undo.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

// A history entry on plain values: a record (id > 0) or a group of entries.
struct Node {
  int id;
  std::vector<Node> kids;
};

// "3" for record 3, "(3 4)" for a group of 3 and 4, "-" for null (no record, no children).
std::string Describe(const Node& n) {
  if (n.id > 0 || n.kids.empty()) return n.id > 0 ? std::to_string(n.id) : "-";
  std::string text = "(";
  for (size_t i = 0; i < n.kids.size(); ++i) text += (i ? " " : "") + Describe(n.kids[i]);
  return text + ")";
}

// The history as text, a bar after the entry at the position.
std::string History(const std::vector<Node>& e, int pos) {
  std::string text = pos < 0 ? "|" : "";
  for (int i = 0; i < static_cast<int>(e.size()); ++i)
    text += (text.empty() ? "" : " ") + Describe(e[i]) + (i == pos ? "|" : "");
  return text;
}

// Applied state of each live record, replays in order, live count, replays in the wrong way or when.
struct Journal {
  std::map<int, bool> applied;
  std::vector<std::pair<int, bool>> replays;
  int live = 0, protocolErrors = 0;
};

struct TestRecord : CUndoData {
  TestRecord(Journal* j, int i) : journal(j), id(i) { ++j->live, j->applied[id] = true; }
  ~TestRecord() override { --journal->live, journal->applied.erase(id); }
  void Replay(bool bUndo) override {
    bool& applied = journal->applied[id];
    if (applied != bUndo || (GetMgr() && GetMgr()->IsEnable())) ++journal->protocolErrors;
    applied = !bUndo;
    journal->replays.emplace_back(id, bUndo);
  }
  Journal* journal;
  int id;
};

Node ToNode(const CUndoData* r) {
  if (auto* t = dynamic_cast<const TestRecord*>(r)) return {t->id, {}};
  Node n{0, {}};
  auto* g = dynamic_cast<const CUndoGroup*>(r);
  for (int i = 0; g && i < g->GetCount(); ++i) n.kids.push_back(ToNode(g->GetAt(i)));
  return n;
}

std::string History(const CUndoMgr& mgr) {
  std::vector<Node> e;
  for (int i = 0; i < mgr.GetRecordCount(); ++i) e.push_back(ToNode(mgr.GetRecord(i)));
  return History(e, mgr.GetPosition());
}

class UndoMgrTest : public ::testing::Test {
 protected:
  void Add(std::initializer_list<int> ids) {
    for (int id : ids) mgr.AddUndoRecorde(new TestRecord(&journal, id));
    EXPECT_TRUE(mgr.CheckInvariants());
  }
  void TearDown() override { EXPECT_EQ(journal.protocolErrors, 0); }
  Journal journal;
  CUndoMgr mgr;
};

TEST_F(UndoMgrTest, DisabledManagerTakesNothingAndSettingsKeepTheirWidth) {
  mgr.SetMaxStep(70000);
  EXPECT_EQ(mgr.GetMaxStep(), 4464);  // a 16-bit setting: 70000 - 65536
  mgr.SetMaxStep(-1);
  mgr.BeginGroup();
  Add({3, 4});
  EXPECT_EQ(mgr.EndGroup(), nullptr);  // trimmed away: null, not a dangling group
  EXPECT_EQ(journal.live, 0);
}

TEST_F(UndoMgrTest, EndingASmallGroupNeverSkipsRedoRecords) {
  Add({1, 2});
  mgr.Undo(1);
  mgr.BeginGroup();
  EXPECT_EQ(mgr.EndGroup(), nullptr);
  EXPECT_EQ(History(mgr), "1| 2");
  mgr.Redo(1);
  mgr.BeginGroup();
  Add({3});
  mgr.Undo(1);
  EXPECT_EQ(mgr.EndGroup(), nullptr);
  EXPECT_EQ(History(mgr), "1 2| 3");
}

TEST_F(UndoMgrTest, EndingAGroupKeepsItsTakenBackRecordsAsRedo) {
  mgr.BeginGroup();
  Add({1, 2, 3});
  mgr.Undo(1);
  EXPECT_EQ(Describe(ToNode(mgr.EndGroup())), "(1 2)");
  EXPECT_EQ(History(mgr), "(1 2)| 3");
  // Undone below the group's start, then a new record: the group restarts there.
  mgr.BeginGroup();
  mgr.Undo(2);
  Add({4, 5});
  EXPECT_EQ(Describe(ToNode(mgr.EndGroup())), "(4 5)");
  EXPECT_EQ(History(mgr), "(4 5)|");
}

TEST_F(UndoMgrTest, TrimmedSingleRecordGroupStillAnswersItsRecord) {
  mgr.SetMaxStep(3);
  Add({1, 2, 3});
  mgr.BeginGroup();
  Add({4});
  EXPECT_EQ(Describe(ToNode(mgr.EndGroup())), "4");
  EXPECT_EQ(History(mgr), "2 3 4|");
}

TEST_F(UndoMgrTest, StrayOrDisabledEndGroupLosesNothing) {
  Add({1, 2});
  EXPECT_EQ(mgr.EndGroup(), nullptr);  // no open group
  EXPECT_EQ(History(mgr), "1 2|");
  mgr.BeginGroup();
  Add({4, 5});
  mgr.EnableUndo(false);
  EXPECT_EQ(Describe(ToNode(mgr.EndGroup())), "(4 5)");
  EXPECT_EQ(History(mgr), "1 2 (4 5)|");
}

TEST_F(UndoMgrTest, LastAnswerIsForgottenWithItsRecord) {
  mgr.BeginGroup();
  Add({2, 3});
  mgr.EndGroup();
  EXPECT_EQ(Describe(ToNode(mgr.Undo(1))), "2");  // a group answers its first child going back
  EXPECT_EQ(journal.replays, (std::vector<std::pair<int, bool>>{{3, true}, {2, true}}));
  EXPECT_EQ(Describe(ToNode(mgr.Undo(0))), "2");  // the last answer again
  Add({4});                                       // destroys the group that held it
  EXPECT_EQ(mgr.Undo(0), nullptr);
  mgr.Undo(1);
  mgr.Empty();  // destroys it too
  EXPECT_EQ(mgr.Redo(0), nullptr);
}

template <class F>
void Walk(const Node& n, F f) {
  f(n);
  for (const Node& k : n.kids) Walk(k, f);
}

// The manager's rules on plain values; entries at or before pos are applied.
struct Model {
  std::vector<Node> e;
  int pos = -1, start = 0, max = 50, current = 0, nextGroup = -1;
  bool inGroup = false, enabled = true;

  int Count() const { return static_cast<int>(e.size()); }
  void DropOldest() { e.erase(e.begin()), --pos; }
  // A destroyed answer is never found again, so it reads null.
  std::string Answer(int id) const {
    std::string found = "-";
    for (const Node& n : e) Walk(n, [&](const Node& x) { found = id && x.id == id ? Describe(x) : found; });
    return found;
  }
  bool Add(int id) {
    if (!enabled) return false;
    e.resize(pos + 1);
    if (inGroup && start > pos + 1) start = pos + 1;
    e.push_back({id, {}});
    pos = Count() - 1;
    if (!inGroup && Count() > max) DropOldest();
    return true;
  }
  std::string EndGroup() {
    if (!inGroup) return "-";
    inGroup = false;
    const int k = pos - start + 1;
    int result = k == 1 ? e[start].id : 0;
    if (k >= 2) {
      e[start] = {result = nextGroup--, std::vector<Node>(e.begin() + start, e.begin() + pos + 1)};
      e.erase(e.begin() + start + 1, e.begin() + pos + 1);
      pos = start;
      if (Count() > max) DropOldest();
    }
    while (k < 2 && Count() > max && pos >= 0) DropOldest();
    return Answer(result);
  }
  // A group answers its first child going back, its last going forward.
  std::string Step(int n, bool undo) {
    for (int i = 0; i < n; ++i) {
      const int at = undo ? pos : pos + 1;
      if (at < 0 || at >= Count()) return Answer(current = 0);
      pos += undo ? -1 : 1;
      const Node& x = e[at];
      current = x.id > 0 ? x.id : undo ? x.kids.front().id : x.kids.back().id;
    }
    return Answer(current);
  }
  std::map<int, bool> Applied() const {
    std::map<int, bool> out;
    for (int i = 0; i < Count(); ++i) Walk(e[i], [&](const Node& x) { out[x.id] = i <= pos; });
    out.erase(out.begin(), out.upper_bound(0));  // groups and nulls
    return out;
  }
};

TEST(UndoMgrRandomTest, RandomSequencesMatchTheModelAndOwnEveryRecordOnce) {
  std::mt19937 rng(20240611);
  for (int run = 0; run < 200; ++run) {
    Journal journal;
    Model model;
    {
      CUndoMgr mgr;
      for (int step = 0, nextId = 1; step < 120; ++step) {
        const int op = static_cast<int>(rng() % 100), n = static_cast<int>(rng() % 4);
        SCOPED_TRACE("run " + std::to_string(run) + " step " + std::to_string(step));
        if (op < 40) {
          auto* record = new TestRecord(&journal, nextId);
          const bool taken = model.Add(nextId++);
          mgr.AddUndoRecorde(record);
          if (!taken) delete record;
        } else if (op < 55) {
          EXPECT_EQ(Describe(ToNode(mgr.Undo(n))), model.Step(n, true));
        } else if (op < 68) {
          EXPECT_EQ(Describe(ToNode(mgr.Redo(n))), model.Step(n, false));
        } else if (op < 78) {
          mgr.BeginGroup();
          model.inGroup = true;
          model.start = model.pos + 1;
        } else if (op < 90) {
          EXPECT_EQ(Describe(ToNode(mgr.EndGroup())), model.EndGroup());
        } else if (op < 94) {
          EXPECT_EQ(mgr.EnableUndo(n != 0), model.enabled);
          model.enabled = n != 0;
        } else if (op < 99) {
          mgr.SetMaxStep(model.max = static_cast<int>(rng() % 8) - 1);
        } else {
          mgr.Empty();
          model.e.clear();
          model.pos = -1, model.start = 0, model.current = 0;
        }
        ASSERT_TRUE(mgr.CheckInvariants());
        ASSERT_EQ(History(mgr), History(model.e, model.pos));
        ASSERT_EQ(Describe(ToNode(mgr.Undo(0))), model.Step(0, true));
        ASSERT_EQ(journal.applied, model.Applied());
        ASSERT_EQ(journal.protocolErrors, 0);
        ASSERT_EQ(journal.live, static_cast<int>(journal.applied.size()));
      }
    }
    EXPECT_EQ(journal.live, 0);  // the manager destroyed every record it held
  }
}

}  // namespace
