// The frame list: the project's ordered frames and their counts. Row 0 is the header
// ("Image", "Frames"); rows 1..n hold the frame name and the count as the user typed it.
// This is the only record of order and counts; the GUI's grid shows this model and the
// document and the AVI writer read it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zr {

// Told about every change, in the order a Qt item model needs: "About" calls come before
// the rows change, the others after.
class FrameListObserver {
 public:
  virtual ~FrameListObserver() = default;
  virtual void RowsAboutToBeInserted(int /*first*/, int /*last*/) {}
  virtual void RowsInserted() {}
  virtual void RowsAboutToBeRemoved(int /*first*/, int /*last*/) {}
  virtual void RowsRemoved() {}
  virtual void CellsChanged(int /*firstRow*/, int /*lastRow*/) {}
  virtual void CurrentChanged(int /*row*/, int /*column*/) {}
  // A move to first or last scrolls the grid to its top or bottom.
  virtual void ScrollToTop() {}
  virtual void ScrollToBottom() {}
};

class FrameList {
 public:
  static constexpr int kColumns = 2;
  static constexpr int kNameColumn = 0;
  static constexpr int kFramesColumn = 1;

  FrameList();

  // Rows including the header.
  int RowCount() const { return int(rows_.size()); }
  // Frames = rows 1..n.
  int FrameCount() const { return RowCount() - 1; }
  // Empty text outside the grid.
  const std::string& Text(int row, int column) const;
  // Edits a frame row's cell (the grid edits the "Frames" cells in place). Header and
  // out-of-range cells are ignored.
  void SetText(int row, int column, const std::string& text);
  const std::string& Name(int row) const { return Text(row, kNameColumn); }
  // The count an AVI gets for this row (FramesFromText of column 1).
  int Frames(int row) const;

  // Back to the header row only; no current row.
  void Reset();
  // after < 0 appends; otherwise inserts at after + 1 (clamped to the end). Column 1 gets
  // "%d" of frames. Returns the new row's index.
  int AddFrameRow(const std::string& name, int after, int frames);

  // The grid's focus cell. A row of 0 or less means there is no current row.
  int CurrentRow() const { return currentRow_; }
  int CurrentColumn() const { return currentColumn_; }
  bool HasCurrentRow() const { return currentRow_ >= 1 && currentRow_ <= FrameCount(); }
  void SetCurrentCell(int row, int column);
  void ClearCurrent() { SetCurrentCell(-1, -1); }

  // The panel buttons. Each returns true when the list changed; afterwards the moved frame
  // is the current row, and after Delete there is none.
  bool DeleteCurrent();
  bool MoveUp();       // needs row >= 2
  bool MoveDown();     // nothing on the last row
  bool MoveToFirst();  // needs row >= 2
  bool MoveToLast();

  // Bumped by every change of rows or texts (not of the current cell); the document
  // compares it to tell whether the project changed since it was saved.
  uint64_t revision() const { return revision_; }

  void SetObserver(FrameListObserver* observer) { observer_ = observer; }

 private:
  using Row = std::array<std::string, kColumns>;
  void Touch() { ++revision_; }
  void NotifyCells(int first, int last);
  void MoveRow(int from, int to);

  std::vector<Row> rows_;
  int currentRow_ = -1;
  int currentColumn_ = -1;
  uint64_t revision_ = 0;
  FrameListObserver* observer_ = nullptr;
};

// The frame count an AVI writes for a "Frames" cell: its leading decimal number, and 1
// when that is 0, negative or absent (a negative count would otherwise become a huge
// unsigned one).
int FramesFromText(const std::string& text);

}  // namespace zr
