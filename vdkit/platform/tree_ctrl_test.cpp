#include "vdkit/platform/tree_ctrl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Children(const CTreeCtrl& t, HTREEITEM parent) {
  std::string out;
  for (HTREEITEM h = t.GetChildItem(parent); h; h = t.GetNextSiblingItem(h)) {
    if (!out.empty()) out += ",";
    out += t.GetItemText(h).GetString();
  }
  return out;
}

TEST(TreeCtrlTest, InsertsInEveryPosition) {
  CTreeCtrl t;
  HTREEITEM b = t.InsertItem("b");
  HTREEITEM d = t.InsertItem("d", TVI_ROOT, TVI_LAST);
  t.InsertItem("a", TVI_ROOT, TVI_FIRST);
  t.InsertItem("c", nullptr, b);
  t.InsertItem("C2", TVI_ROOT, TVI_SORT);  // after "c": texts compare ignoring case
  EXPECT_EQ(Children(t, TVI_ROOT), "a,b,c,C2,d");
  EXPECT_EQ(t.GetRootItem(), t.GetChildItem(nullptr));
  EXPECT_EQ(t.GetPrevSiblingItem(d), t.GetNextSiblingItem(t.GetNextSiblingItem(b)));
  EXPECT_EQ(t.GetPrevSiblingItem(t.GetRootItem()), nullptr);
  EXPECT_EQ(t.GetNextSiblingItem(d), nullptr);

  HTREEITEM b1 = t.InsertItem("b1", b);
  EXPECT_EQ(t.GetParentItem(b1), b);
  EXPECT_EQ(t.GetParentItem(b), nullptr);
  EXPECT_TRUE(t.ItemHasChildren(b));
  EXPECT_FALSE(t.ItemHasChildren(b1));
  EXPECT_EQ(t.InsertItem("x", b, d), nullptr);  // d is not a child of b
  EXPECT_EQ(t.GetCount(), 6u);
}

TEST(TreeCtrlTest, DeletionTakesTheSubtreeAndStaleHandlesAreRefused) {
  CTreeCtrl t;
  HTREEITEM a = t.InsertItem("a");
  HTREEITEM a1 = t.InsertItem("a1", a);
  HTREEITEM a11 = t.InsertItem("a11", a1);
  HTREEITEM b = t.InsertItem("b");
  EXPECT_TRUE(t.DeleteItem(a1));
  EXPECT_FALSE(t.IsItem(a1));
  EXPECT_FALSE(t.IsItem(a11));
  EXPECT_EQ(t.GetCount(), 2u);
  // Stale handles answer without touching anything.
  EXPECT_FALSE(t.DeleteItem(a11));
  EXPECT_FALSE(t.SetItemText(a1, "x"));
  EXPECT_FALSE(t.SetItemData(a1, 1));
  EXPECT_FALSE(t.SetCheck(a1));
  EXPECT_EQ(t.GetItemText(a1), "");
  EXPECT_EQ(t.GetItemData(a1), 0u);
  EXPECT_EQ(t.InsertItem("orphan", a1), nullptr);
  EXPECT_EQ(t.GetParentItem(a1), nullptr);
  // A new item never reuses an old handle.
  HTREEITEM c = t.InsertItem("c", a);
  EXPECT_NE(c, a1);
  EXPECT_NE(c, a11);
  EXPECT_TRUE(t.DeleteItem(TVI_ROOT));
  EXPECT_EQ(t.GetCount(), 0u);
  EXPECT_FALSE(t.IsItem(b));
  EXPECT_EQ(t.GetRootItem(), nullptr);
}

TEST(TreeCtrlTest, HandlersSeeNotificationsAndChanges) {
  CTreeCtrl t;
  t.SetDlgCtrlID(7);
  EXPECT_EQ(t.GetDlgCtrlID(), 7);
  NMHDR hdr{&t, 7, VDN_ADDFILE};
  EXPECT_EQ(t.SendNotify(&hdr), 0);  // no handler yet
  int calls = 0;
  t.SetNotifyHandler([&](CTreeCtrl& tree, NMHDR* h) -> LRESULT {
    ++calls;
    EXPECT_EQ(&tree, &t);
    EXPECT_EQ(h->code, VDN_ADDFILE);
    return 5;
  });
  EXPECT_EQ(t.SendNotify(&hdr), 5);
  EXPECT_EQ(t.SendNotify(nullptr), 0);
  EXPECT_EQ(calls, 1);

  std::vector<std::string> log;
  t.SetChangeHandler([&](CTreeCtrl& tree, CTreeCtrl::Change c, HTREEITEM h) {
    const char* kinds[] = {"insert", "text", "data", "check", "remove"};
    log.push_back(std::string(kinds[static_cast<int>(c)]) + ":" +
                  (h == TVI_ROOT ? std::string("*") : tree.GetItemText(h).GetString()));
  });
  HTREEITEM h = t.InsertItem("x");
  t.SetItemText(h, "y");
  t.SetItemData(h, 1);
  t.SetCheck(h);
  t.DeleteItem(h);
  t.DeleteAllItems();
  const std::vector<std::string> expected = {"insert:x", "text:y",  "data:y",
                                             "check:y",  "remove:", "remove:*"};
  EXPECT_EQ(log, expected);
}

}  // namespace
