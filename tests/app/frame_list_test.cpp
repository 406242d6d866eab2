#include "app/frame_list.h"

#include <gtest/gtest.h>

namespace zr {
namespace {

FrameList ListOf(std::initializer_list<const char*> names) {
  FrameList list;
  int n = 1;
  for (const char* name : names) list.AddFrameRow(name, -1, n++);
  return list;
}

std::string Order(const FrameList& list) {
  std::string s;
  for (int r = 1; r <= list.FrameCount(); ++r) s += list.Name(r) + list.Text(r, 1) + " ";
  return s;
}

TEST(FrameList, HeaderAndRows) {
  FrameList list;
  EXPECT_EQ(list.RowCount(), 1);
  EXPECT_EQ(list.Text(0, 0), "Image");
  EXPECT_EQ(list.Text(0, 1), "Frames");
  EXPECT_EQ(list.AddFrameRow("a.bmp", -1, 3), 1);
  EXPECT_EQ(list.AddFrameRow("b.bmp", -1, -2), 2);
  EXPECT_EQ(list.AddFrameRow("c.bmp", 0, 1), 1);  // after the header = first
  EXPECT_EQ(list.AddFrameRow("d.bmp", 1, 1), 2);
  EXPECT_EQ(Order(list), "c.bmp1 d.bmp1 a.bmp3 b.bmp-2 ");
  EXPECT_EQ(list.AddFrameRow("e.bmp", 99, 1), 5);  // past the end appends
  list.SetText(0, 0, "x");                         // the header is fixed
  EXPECT_EQ(list.Text(0, 0), "Image");
  EXPECT_EQ(list.Text(9, 0), "");
  list.Reset();
  EXPECT_EQ(list.RowCount(), 1);
  EXPECT_FALSE(list.HasCurrentRow());
}

TEST(FrameList, CountRuleForTheAvi) {
  struct Case {
    const char* text;
    int want;
  } cases[] = {{"5", 5}, {"0", 1}, {"abc", 1}, {"", 1}, {"-3", 1}, {" 7x", 7}, {"-2147483648", 1}};
  for (auto [text, want] : cases) EXPECT_EQ(FramesFromText(text), want) << text;
  FrameList list = ListOf({"a"});
  list.SetText(1, 1, "zero");
  EXPECT_EQ(list.Frames(1), 1);
}

struct MoveCase {
  const char* op;
  int current;
  const char* order;
  int currentAfter;
  bool changed;
};

class FrameListMoves : public ::testing::TestWithParam<MoveCase> {};

TEST_P(FrameListMoves, MovedFrameBecomesCurrent) {
  const MoveCase& c = GetParam();
  FrameList list = ListOf({"a", "b", "c", "d"});
  list.SetCurrentCell(c.current, 0);
  std::string op = c.op;
  bool changed = op == "up"      ? list.MoveUp()
                 : op == "down"  ? list.MoveDown()
                 : op == "first" ? list.MoveToFirst()
                 : op == "last"  ? list.MoveToLast()
                                 : list.DeleteCurrent();
  EXPECT_EQ(changed, c.changed);
  EXPECT_EQ(Order(list), c.order);
  EXPECT_EQ(list.CurrentRow(), c.currentAfter);
}

INSTANTIATE_TEST_SUITE_P(All, FrameListMoves,
                         ::testing::Values(MoveCase{"up", 3, "a1 c3 b2 d4 ", 2, true},
                                           MoveCase{"up", 1, "a1 b2 c3 d4 ", 1, false},
                                           MoveCase{"down", 2, "a1 c3 b2 d4 ", 3, true},
                                           MoveCase{"down", 4, "a1 b2 c3 d4 ", 4, false},
                                           MoveCase{"first", 3, "c3 a1 b2 d4 ", 1, true},
                                           MoveCase{"first", 1, "a1 b2 c3 d4 ", 1, false},
                                           MoveCase{"last", 2, "a1 c3 d4 b2 ", 4, true},
                                           MoveCase{"last", 4, "a1 b2 c3 d4 ", 4, true},
                                           MoveCase{"delete", 2, "a1 c3 d4 ", -1, true},
                                           MoveCase{"up", -1, "a1 b2 c3 d4 ", -1, false},
                                           MoveCase{"last", 0, "a1 b2 c3 d4 ", -1, false}));

TEST(FrameList, NothingMovesWithoutFrames) {
  FrameList list;
  list.SetCurrentCell(1, 0);
  EXPECT_FALSE(list.HasCurrentRow());
  EXPECT_FALSE(list.MoveDown());
  EXPECT_FALSE(list.MoveToLast());
  EXPECT_FALSE(list.DeleteCurrent());
}

TEST(FrameList, InsertAboveKeepsTheCurrentFrame) {
  FrameList list = ListOf({"a", "b"});
  list.SetCurrentCell(2, 1);
  list.AddFrameRow("x", 0, 1);
  EXPECT_EQ(list.Name(list.CurrentRow()), "b");
}

// The Qt model relies on begin/end pairs bracketing each row change.
struct Recorder : FrameListObserver {
  std::string log;
  void RowsAboutToBeInserted(int f, int l) override {
    log += "I" + std::to_string(f) + std::to_string(l);
  }
  void RowsInserted() override { log += "i "; }
  void RowsAboutToBeRemoved(int f, int l) override {
    log += "R" + std::to_string(f) + std::to_string(l);
  }
  void RowsRemoved() override { log += "r "; }
  void CellsChanged(int f, int l) override {
    log += "C" + std::to_string(f) + std::to_string(l) + " ";
  }
  void CurrentChanged(int row, int) override { log += "@" + std::to_string(row) + " "; }
  void ScrollToTop() override { log += "top "; }
  void ScrollToBottom() override { log += "bottom "; }
};

TEST(FrameList, ObserverSeesEveryChangeAndRevisionCounts) {
  FrameList list;
  Recorder rec;
  list.SetObserver(&rec);
  uint64_t rev = list.revision();
  list.AddFrameRow("a", -1, 1);
  list.AddFrameRow("b", -1, 1);
  list.AddFrameRow("c", -1, 1);
  list.SetCurrentCell(3, 0);
  EXPECT_EQ(list.revision(), rev + 3);
  list.MoveToFirst();
  list.SetText(2, 1, "9");
  list.SetText(2, 1, "9");  // same text: no change
  list.DeleteCurrent();
  list.Reset();
  EXPECT_EQ(rec.log, "I11i I22i I33i @3 C13 @1 top C22 R11r @-1 R12r ");
  EXPECT_EQ(list.revision(), rev + 7);
}

}  // namespace
}  // namespace zr
