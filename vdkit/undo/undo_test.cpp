#include "vdkit/undo/undo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

// What the test records did: which live records are applied, every replay in
// order, how many records live, and whether any replay broke the protocol.
struct Journal {
  std::map<int, bool> applied;
  std::vector<std::pair<int, bool>> replays;
  int live = 0;
  int protocolErrors = 0;
  int replaysWhileEnabled = 0;
};

class TestRecord : public CUndoData {
 public:
  TestRecord(Journal* journal, int id) : m_journal(journal), m_id(id) {
    ++m_journal->live;
    m_journal->applied[id] = true;
  }
  ~TestRecord() override {
    --m_journal->live;
    m_journal->applied.erase(m_id);
  }
  void Replay(bool bUndo) override {
    bool& applied = m_journal->applied[m_id];
    if (applied != bUndo) ++m_journal->protocolErrors;
    applied = !bUndo;
    m_journal->replays.emplace_back(m_id, bUndo);
    if (GetMgr() && GetMgr()->IsEnable()) ++m_journal->replaysWhileEnabled;
  }
  void GetSummary(CString& text) override { text.Format("record %d", m_id); }
  int id() const { return m_id; }

 private:
  Journal* m_journal;
  int m_id;
};

// "3" for record 3, "(3 4)" for a group of records 3 and 4, "-" for null.
std::string Describe(const CUndoData* record) {
  if (!record) return "-";
  if (auto* test = dynamic_cast<const TestRecord*>(record)) return std::to_string(test->id());
  auto* group = dynamic_cast<const CUndoGroup*>(record);
  if (!group) return "?";
  std::string text = "(";
  for (int i = 0; i < group->GetCount(); ++i) text += (i ? " " : "") + Describe(group->GetAt(i));
  return text + ")";
}

// The history as text, with a bar after the record at the position.
std::string History(const CUndoMgr& mgr) {
  std::string text = mgr.GetPosition() < 0 ? "|" : "";
  for (int i = 0; i < mgr.GetRecordCount(); ++i) {
    if (!text.empty()) text += " ";
    text += Describe(mgr.GetRecord(i));
    if (i == mgr.GetPosition()) text += "|";
  }
  return text;
}

class UndoMgrTest : public ::testing::Test {
 protected:
  TestRecord* Add(int id) {
    auto* record = new TestRecord(&journal, id);
    mgr.AddUndoRecorde(record);
    EXPECT_TRUE(mgr.CheckInvariants());
    return record;
  }
  Journal journal;
  CUndoMgr mgr;
};

TEST_F(UndoMgrTest, BoundedHistoryDropsOldestAndRedoRecords) {
  mgr.SetMaxStep(3);
  for (int id = 1; id <= 5; ++id) Add(id);
  EXPECT_EQ(History(mgr), "3 4 5|");
  EXPECT_EQ(journal.live, 3);
  EXPECT_TRUE(mgr.CanUndo());
  EXPECT_FALSE(mgr.CanRedo());

  EXPECT_EQ(Describe(mgr.Undo(1)), "5");
  EXPECT_TRUE(mgr.CanRedo());
  EXPECT_EQ(journal.applied[5], false);
  Add(6);  // the taken-back 5 is destroyed, then the history is full again
  EXPECT_EQ(History(mgr), "3 4 6|");
  EXPECT_EQ(journal.applied.count(5), 0u);
  EXPECT_FALSE(mgr.CanRedo());

  // Running out: both records replayed, then null.
  mgr.SetMaxStep(50);
  mgr.Empty();
  Add(7);
  Add(8);
  EXPECT_EQ(mgr.Undo(5), nullptr);
  EXPECT_FALSE(mgr.CanUndo());
  EXPECT_EQ(journal.replays, (std::vector<std::pair<int, bool>>{{5, true}, {8, true}, {7, true}}));
  EXPECT_EQ(Describe(mgr.Redo(2)), "8");
  EXPECT_EQ(mgr.Redo(1), nullptr);
  EXPECT_EQ(journal.protocolErrors, 0);
  EXPECT_EQ(journal.replaysWhileEnabled, 0);
  EXPECT_TRUE(mgr.IsEnable());  // restored after each replay
  EXPECT_TRUE(mgr.CheckInvariants());
}

TEST_F(UndoMgrTest, GroupsBundleAndReportTheirEndChildren) {
  Add(1);
  mgr.BeginGroup();
  Add(2);
  Add(3);
  Add(4);
  CUndoData* group = mgr.EndGroup();
  EXPECT_EQ(Describe(group), "(2 3 4)");
  EXPECT_EQ(group->GetMgr(), &mgr);
  EXPECT_EQ(History(mgr), "1 (2 3 4)|");

  EXPECT_EQ(Describe(mgr.Undo(1)), "2");  // the group answers its first child
  EXPECT_EQ(journal.replays, (std::vector<std::pair<int, bool>>{{4, true}, {3, true}, {2, true}}));
  EXPECT_EQ(Describe(mgr.Undo(0)), "2");  // n <= 0: the last answer again
  EXPECT_EQ(Describe(mgr.Redo(1)), "4");  // and its last child going forward
  EXPECT_TRUE(mgr.CheckInvariants());

  // One record: no group, the record itself. Nothing: null.
  mgr.BeginGroup();
  CUndoData* single = Add(5);
  EXPECT_EQ(mgr.EndGroup(), single);
  mgr.BeginGroup();
  EXPECT_EQ(mgr.EndGroup(), nullptr);
  EXPECT_EQ(History(mgr), "1 (2 3 4) 5|");

  // A second BeginGroup restarts the group where the history stands.
  mgr.BeginGroup();
  Add(6);
  mgr.BeginGroup();
  Add(7);
  Add(8);
  EXPECT_EQ(Describe(mgr.EndGroup()), "(7 8)");
  EXPECT_EQ(History(mgr), "1 (2 3 4) 5 6 (7 8)|");
  EXPECT_EQ(journal.protocolErrors, 0);
}

TEST_F(UndoMgrTest, RecordsInAnOpenGroupAreNotTrimmedUntilItEnds) {
  mgr.SetMaxStep(2);
  Add(1);
  Add(2);
  mgr.BeginGroup();
  for (int id = 3; id <= 6; ++id) Add(id);
  EXPECT_EQ(mgr.GetRecordCount(), 6);
  EXPECT_EQ(Describe(mgr.EndGroup()), "(3 4 5 6)");
  EXPECT_EQ(History(mgr), "2 (3 4 5 6)|");  // one oldest record goes, as for any add
  EXPECT_EQ(journal.live, 5);
}

TEST_F(UndoMgrTest, DisabledManagerTakesNothingAndSettingsKeepTheirWidth) {
  EXPECT_TRUE(mgr.EnableUndo(false));  // previous value of a new manager
  EXPECT_FALSE(mgr.IsEnable());
  auto* refused = new TestRecord(&journal, 1);
  mgr.AddUndoRecorde(refused);
  EXPECT_EQ(mgr.GetRecordCount(), 0);
  EXPECT_EQ(refused->GetMgr(), nullptr);
  delete refused;  // still the caller's
  mgr.AddUndoRecorde(nullptr);
  EXPECT_FALSE(mgr.EnableUndo(true));
  mgr.AddUndoRecorde(nullptr);
  EXPECT_EQ(mgr.GetRecordCount(), 0);

  mgr.SetMaxStep(70000);
  EXPECT_EQ(mgr.GetMaxStep(), 4464);  // 70000 - 65536
  mgr.SetMaxStep(40000);
  EXPECT_EQ(mgr.GetMaxStep(), -25536);
  mgr.SetMaxStep(-1);
  EXPECT_EQ(mgr.GetMaxStep(), -1);
  // No history is kept at all now: the record dies at once.
  Add(2);
  EXPECT_EQ(mgr.GetRecordCount(), 0);
  EXPECT_EQ(journal.live, 0);
  // A group ending over a maximum of 0 or less is trimmed away too: null, not a dangling group.
  mgr.BeginGroup();
  Add(3);
  Add(4);
  EXPECT_EQ(mgr.EndGroup(), nullptr);
  EXPECT_EQ(journal.live, 0);
  EXPECT_TRUE(mgr.CheckInvariants());
}

TEST_F(UndoMgrTest, RecordBaseCarriesManagerAndTime) {
  const LONG before = static_cast<LONG>(time(nullptr));
  TestRecord* record = Add(1);
  EXPECT_GE(record->GetTime(), before);
  EXPECT_LE(record->GetTime(), before + 5);
  CString text = "kept";
  record->CUndoData::GetSummary(text);
  EXPECT_STREQ(text, "kept");
  record->GetSummary(text);
  EXPECT_STREQ(text, "record 1");

  Journal other;
  TestRecord copy(&other, 2);
  EXPECT_EQ(copy.GetMgr(), nullptr);
  static_cast<CUndoData&>(copy) = *record;  // manager and time copied, nothing more
  EXPECT_EQ(copy.GetMgr(), &mgr);
  EXPECT_EQ(copy.GetTime(), record->GetTime());
  EXPECT_EQ(mgr.GetRecordCount(), 1);
  EXPECT_EQ(mgr.GetRecord(1), nullptr);
  EXPECT_EQ(mgr.GetRecord(-1), nullptr);
}

// Cases where the manager keeps its history sound instead of moving the
// position over taken-back records (docs/compatibility.md, Undo manager).
TEST_F(UndoMgrTest, EndingASmallGroupNeverSkipsRedoRecords) {
  Add(1);
  Add(2);
  mgr.Undo(1);
  mgr.BeginGroup();
  EXPECT_EQ(mgr.EndGroup(), nullptr);
  EXPECT_EQ(History(mgr), "1| 2");  // 2 is still taken back and redoable
  EXPECT_EQ(Describe(mgr.Redo(1)), "2");

  // One record made, then taken back inside the group: nothing is bundled.
  mgr.BeginGroup();
  Add(3);
  mgr.Undo(1);
  EXPECT_EQ(mgr.EndGroup(), nullptr);
  EXPECT_EQ(History(mgr), "1 2| 3");
  EXPECT_EQ(mgr.Undo(2), mgr.GetRecord(0));
  EXPECT_EQ(journal.protocolErrors, 0);
  EXPECT_TRUE(mgr.CheckInvariants());
}

TEST_F(UndoMgrTest, EndingAGroupKeepsItsTakenBackRecordsAsRedo) {
  mgr.BeginGroup();
  Add(1);
  Add(2);
  Add(3);
  mgr.Undo(1);
  EXPECT_EQ(Describe(mgr.EndGroup()), "(1 2)");
  EXPECT_EQ(History(mgr), "(1 2)| 3");
  EXPECT_EQ(Describe(mgr.Redo(1)), "3");
  EXPECT_EQ(Describe(mgr.Undo(2)), "1");
  EXPECT_EQ(journal.protocolErrors, 0);

  // Undone below the group's start, then a new record: the group continues from there.
  mgr.Redo(2);
  mgr.BeginGroup();
  mgr.Undo(2);
  Add(4);
  Add(5);
  EXPECT_EQ(Describe(mgr.EndGroup()), "(4 5)");
  EXPECT_EQ(History(mgr), "(4 5)|");
  EXPECT_EQ(journal.live, 2);
  EXPECT_EQ(journal.protocolErrors, 0);
}

TEST_F(UndoMgrTest, TrimmedSingleRecordGroupStillAnswersItsRecord) {
  mgr.SetMaxStep(3);
  Add(1);
  Add(2);
  Add(3);
  mgr.BeginGroup();
  CUndoData* fourth = Add(4);
  EXPECT_EQ(mgr.EndGroup(), fourth);  // at index 2 after the trim, not at the old start 3
  EXPECT_EQ(History(mgr), "2 3 4|");
}

TEST_F(UndoMgrTest, StrayOrDisabledEndGroupLosesNothing) {
  Add(1);
  Add(2);
  Add(3);
  EXPECT_EQ(mgr.EndGroup(), nullptr);  // no open group: nothing is bundled
  EXPECT_EQ(History(mgr), "1 2 3|");

  mgr.BeginGroup();
  Add(4);
  Add(5);
  mgr.EnableUndo(false);
  EXPECT_EQ(Describe(mgr.EndGroup()), "(4 5)");  // grouped although disabled
  EXPECT_EQ(History(mgr), "1 2 3 (4 5)|");
  EXPECT_EQ(journal.live, 5);
}

TEST_F(UndoMgrTest, LastAnswerIsForgottenWithItsRecord) {
  Add(1);
  mgr.BeginGroup();
  Add(2);
  Add(3);
  mgr.EndGroup();
  EXPECT_EQ(Describe(mgr.Undo(1)), "2");
  Add(4);  // destroys the group that held the answer
  EXPECT_EQ(mgr.Undo(0), nullptr);
  EXPECT_EQ(Describe(mgr.Undo(1)), "4");
  mgr.Empty();
  EXPECT_EQ(mgr.Redo(0), nullptr);
  EXPECT_EQ(journal.live, 0);
  EXPECT_TRUE(mgr.CheckInvariants());
}

// ---- random sequences against a model -----------------------------------------

// The manager's rules on plain values: a node is a record id (> 0) or a group
// (negative id) of nodes.
struct Node {
  int id;
  std::vector<Node> children;
};

std::string Describe(const Node* node) {
  if (!node) return "-";
  if (node->id > 0) return std::to_string(node->id);
  std::string text = "(";
  for (size_t i = 0; i < node->children.size(); ++i) text += (i ? " " : "") + Describe(&node->children[i]);
  return text + ")";
}

void Leaves(const Node& node, std::vector<int>* out) {
  if (node.id > 0) out->push_back(node.id);
  for (const Node& child : node.children) Leaves(child, out);
}

const Node* Find(const Node& node, int id) {
  if (node.id == id) return &node;
  for (const Node& child : node.children) {
    if (const Node* found = Find(child, id)) return found;
  }
  return nullptr;
}

struct Model {
  std::vector<Node> entries;
  int pos = -1, start = 0, max = 50, current = 0, nextGroup = -1;
  bool inGroup = false, enabled = true;
  std::map<int, bool> applied;
  std::vector<std::pair<int, bool>> replays;

  void Drop(size_t i) {
    std::vector<int> ids;
    Leaves(entries[i], &ids);
    for (int id : ids) applied.erase(id);
    if (current && Find(entries[i], current)) current = 0;
    entries.erase(entries.begin() + static_cast<long>(i));
  }
  int Count() const { return static_cast<int>(entries.size()); }

  bool Add(int id) {
    if (!enabled) return false;
    while (Count() > pos + 1) Drop(entries.size() - 1);
    if (inGroup && start > pos + 1) start = pos + 1;
    entries.push_back({id, {}});
    applied[id] = true;
    pos = Count() - 1;
    if (!inGroup && Count() > max) Drop(0), --pos;
    return true;
  }
  std::string EndGroup() {
    if (!inGroup) return "-";
    inGroup = false;
    const int k = pos - start + 1;
    int result = 0;
    if (k >= 2) {
      Node group{nextGroup--, {}};
      group.children.assign(entries.begin() + start, entries.begin() + pos + 1);
      entries.erase(entries.begin() + start + 1, entries.begin() + pos + 1);
      entries[static_cast<size_t>(start)] = group;
      result = group.id;
      pos = start;
      if (Count() > max) Drop(0), --pos;
    } else {
      if (k == 1) result = entries[static_cast<size_t>(start)].id;
      while (Count() > max && pos >= 0) Drop(0), --pos;
    }
    return Describe(FindAny(result));
  }
  const Node* FindAny(int id) const {
    if (!id) return nullptr;
    for (const Node& e : entries) {
      if (const Node* found = Find(e, id)) return found;
    }
    return nullptr;
  }
  void Replay(const Node& node, bool undo) {
    if (node.id > 0) {
      applied[node.id] = !undo;
      replays.emplace_back(node.id, undo);
      return;
    }
    if (undo) {
      for (size_t i = node.children.size(); i-- > 0;) Replay(node.children[i], true);
    } else {
      for (const Node& child : node.children) Replay(child, false);
    }
    current = undo ? node.children.front().id : node.children.back().id;
  }
  std::string Step(int n, bool undo) {
    for (int i = 0; i < n; ++i) {
      const int at = undo ? pos : pos + 1;
      if (at < 0 || at >= Count()) {
        current = 0;
        return "-";
      }
      pos += undo ? -1 : 1;
      current = entries[static_cast<size_t>(at)].id;
      Replay(entries[static_cast<size_t>(at)], undo);
    }
    return Describe(FindAny(current));
  }
  std::string History() const {
    std::string text = pos < 0 ? "|" : "";
    for (int i = 0; i < Count(); ++i) {
      if (!text.empty()) text += " ";
      text += Describe(&entries[static_cast<size_t>(i)]);
      if (i == pos) text += "|";
    }
    return text;
  }
};

TEST(UndoMgrRandomTest, RandomSequencesMatchTheModelAndOwnEveryRecordOnce) {
  std::mt19937 rng(20240611);
  for (int run = 0; run < 300; ++run) {
    Journal journal;
    Model model;
    {
      CUndoMgr mgr;
      int nextId = 1;
      for (int step = 0; step < 120; ++step) {
        const int op = static_cast<int>(rng() % 100);
        std::string trace;
        if (op < 40) {
          auto* record = new TestRecord(&journal, nextId);
          const bool taken = model.Add(nextId++);
          mgr.AddUndoRecorde(record);
          if (!taken) delete record;
          trace = "add";
        } else if (op < 55) {
          const int n = static_cast<int>(rng() % 4);
          EXPECT_EQ(Describe(mgr.Undo(n)), model.Step(n, true));
          trace = "undo " + std::to_string(n);
        } else if (op < 68) {
          const int n = static_cast<int>(rng() % 4);
          EXPECT_EQ(Describe(mgr.Redo(n)), model.Step(n, false));
          trace = "redo " + std::to_string(n);
        } else if (op < 78) {
          mgr.BeginGroup();
          model.inGroup = true;
          model.start = model.pos + 1;
          trace = "begin";
        } else if (op < 90) {
          EXPECT_EQ(Describe(mgr.EndGroup()), model.EndGroup());
          trace = "end";
        } else if (op < 94) {
          const bool on = rng() % 4 != 0;
          EXPECT_EQ(mgr.EnableUndo(on), model.enabled);
          model.enabled = on;
          trace = "enable";
        } else if (op < 99) {
          const int max = static_cast<int>(rng() % 8) - 1;
          mgr.SetMaxStep(max);
          model.max = max;
          trace = "max " + std::to_string(max);
        } else {
          mgr.Empty();
          while (model.Count()) model.Drop(0);
          model.pos = -1;
          model.start = 0;
          model.current = 0;
          trace = "empty";
        }
        SCOPED_TRACE("run " + std::to_string(run) + " step " + std::to_string(step) + " " + trace);
        ASSERT_TRUE(mgr.CheckInvariants());
        ASSERT_EQ(History(mgr), model.History());
        ASSERT_EQ(Describe(mgr.Undo(0)), model.Step(0, true));
        ASSERT_EQ(mgr.CanUndo(), model.pos >= 0);
        ASSERT_EQ(mgr.CanRedo(), model.pos + 1 < model.Count());
        ASSERT_EQ(journal.applied, model.applied);
        ASSERT_EQ(journal.replays, model.replays);
        ASSERT_EQ(journal.protocolErrors, 0);
        ASSERT_EQ(journal.replaysWhileEnabled, 0);
        ASSERT_EQ(journal.live, static_cast<int>(model.applied.size()));
      }
    }
    EXPECT_EQ(journal.live, 0);  // the manager destroyed every record it held
  }
}

}  // namespace
