#include "vdkit/undo/undo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>
#include <sstream>
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

// Applied state of each live record, replays in order, replays in the wrong way or when.
struct Journal {
  std::map<int, bool> applied;
  std::vector<std::pair<int, bool>> replays;
  int protocolErrors = 0;
};

struct TestRecord : CUndoData {
  TestRecord(Journal* j, int i) : journal(j), id(i) { j->applied[id] = true; }
  ~TestRecord() override { journal->applied.erase(id); }
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

std::vector<Node> Entries(const CUndoMgr& mgr) {
  std::vector<Node> e;
  for (int i = 0; i < mgr.GetRecordCount(); ++i) e.push_back(ToNode(mgr.GetRecord(i)));
  return e;
}

template <class F>
void Walk(const Node& n, F f) {
  f(n);
  for (const Node& k : n.kids) Walk(k, f);
}

// Records of entries 0 .. pos applied, the rest taken back.
std::map<int, bool> Applied(const std::vector<Node>& e, int pos) {
  std::map<int, bool> out;
  for (int i = 0; i < static_cast<int>(e.size()); ++i)
    Walk(e[i], [&](const Node& x) { out[x.id] = i <= pos; });
  out.erase(out.begin(), out.upper_bound(0));  // groups and nulls
  return out;
}

// Scripts: a number adds that record, [ and ] begin and end a group, uN and rN
// undo and redo N steps, mN sets the maximum, d disables the manager, E empties
// it; "=X" after a step expects its answer described as X. After the script,
// the history, the records alive and their applied states.
TEST(UndoMgrTest, ScriptsEndInTheirHistories) {
  const struct {
    const char *script, *history, *replays;
  } rows[] = {
      // A group with no record or one leaves the position alone.
      {"1 2 u1 [ ]=-", "1| 2", nullptr},
      {"1 2 u1 [ ]=- r1 [ 3 u1 ]=-", "1 2| 3", nullptr},
      // Taken-back records of a group stay after it as redo; a record added
      // after an undo below the group's start restarts the group there.
      {"[ 1 2 3 u1 ]=(1 2)", "(1 2)| 3", nullptr},
      {"[ 1 2 3 u1 ]=(1 2) [ u2 4 5 ]=(4 5)", "(4 5)|", nullptr},
      // Trimming to the maximum keeps redo records and answers the group's own record.
      {"m3 1 2 3 [ 4 ]=4", "2 3 4|", nullptr},
      {"m-1 [ 3 4 ]=-", "|", nullptr},
      // A stray end bundles nothing; a disabled manager still puts its group in place.
      {"1 2 ]=- [ 4 5 d ]=(4 5)", "1 2 (4 5)|", nullptr},
      // A group answers its first child going back; an answer dies with its record.
      {"[ 2 3 ] u1=2 u0=2 4 u0=-", "4|", "3u 2u"},
      {"[ 2 3 ] u1=2 u0=2 4 u1 E r0=-", "|", nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.script);
    Journal journal;
    {
      CUndoMgr mgr;
      std::istringstream in(row.script);
      for (std::string step, more; in >> step;) {
        while (std::count(step.begin(), step.end(), '(') > std::count(step.begin(), step.end(), ')') &&
               in >> more)
          step += " " + more;  // an expected group
        const size_t eq = step.find('=');
        const int n = std::atoi(step.c_str() + (step[0] < '0' || step[0] > '9'));
        const char op = step[0];
        if (op == '[') mgr.BeginGroup();
        if (op == 'm') mgr.SetMaxStep(n);
        if (op == 'd') mgr.EnableUndo(false);
        if (op == 'E') mgr.Empty();
        if (op >= '0' && op <= '9') mgr.AddUndoRecorde(new TestRecord(&journal, n));
        CUndoData* answer = op == ']'   ? mgr.EndGroup()
                            : op == 'u' ? mgr.Undo(n)
                            : op == 'r' ? mgr.Redo(n)
                                        : nullptr;
        const std::string got = Describe(ToNode(answer));
        EXPECT_TRUE(eq == std::string::npos || got == step.substr(eq + 1)) << step << " answered " << got;
        ASSERT_TRUE(mgr.CheckInvariants()) << step;
      }
      const std::vector<Node> e = Entries(mgr);
      EXPECT_EQ(History(e, mgr.GetPosition()), row.history);
      EXPECT_EQ(journal.applied, Applied(e, mgr.GetPosition()));  // alive exactly while held
      std::string replays;
      for (const auto& r : journal.replays)
        replays += (replays.empty() ? "" : " ") + std::to_string(r.first) + (r.second ? "u" : "r");
      EXPECT_TRUE(!row.replays || replays == row.replays) << replays;
    }
    EXPECT_TRUE(journal.applied.empty() && journal.protocolErrors == 0);
  }
  CUndoMgr mgr;
  mgr.SetMaxStep(70000);
  EXPECT_EQ(mgr.GetMaxStep(), 4464);  // a 16-bit setting: 70000 - 65536
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
  std::map<int, bool> Applied() const { return ::Applied(e, pos); }
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
        ASSERT_EQ(History(Entries(mgr), mgr.GetPosition()), History(model.e, model.pos));
        ASSERT_EQ(Describe(ToNode(mgr.Undo(0))), model.Step(0, true));
        ASSERT_EQ(journal.applied, model.Applied());
        ASSERT_EQ(journal.protocolErrors, 0);
      }
    }
    EXPECT_TRUE(journal.applied.empty());  // the manager destroyed every record it held
  }
}

}  // namespace
