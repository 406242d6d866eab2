#include "app/frame_list.h"

#include <algorithm>

#include "app/settings_file.h"

namespace zr {

namespace {
const std::string kNoText;
}

int FramesFromText(const std::string& text) {
  int32_t count = AtoiText(text);
  return count < 1 ? 1 : count;
}

FrameList::FrameList() { rows_.push_back({"Image", "Frames"}); }

const std::string& FrameList::Text(int row, int column) const {
  if (row < 0 || row >= RowCount() || column < 0 || column >= kColumns) return kNoText;
  return rows_[size_t(row)][size_t(column)];
}

void FrameList::SetText(int row, int column, const std::string& text) {
  if (row < 1 || row >= RowCount() || column < 0 || column >= kColumns) return;
  std::string& cell = rows_[size_t(row)][size_t(column)];
  if (cell == text) return;
  cell = text;
  Touch();
  NotifyCells(row, row);
}

int FrameList::Frames(int row) const { return FramesFromText(Text(row, kFramesColumn)); }

void FrameList::Reset() {
  if (RowCount() > 1) {
    if (observer_) observer_->RowsAboutToBeRemoved(1, RowCount() - 1);
    rows_.resize(1);
    Touch();
    if (observer_) observer_->RowsRemoved();
  }
  ClearCurrent();
}

int FrameList::AddFrameRow(const std::string& name, int after, int frames) {
  int row = after < 0 ? RowCount() : std::min(after + 1, RowCount());
  if (row < 1) row = 1;
  if (observer_) observer_->RowsAboutToBeInserted(row, row);
  rows_.insert(rows_.begin() + row, Row{name, std::to_string(frames)});
  Touch();
  if (observer_) observer_->RowsInserted();
  // The focus cell stays on its frame when rows are inserted above it.
  if (currentRow_ >= row) SetCurrentCell(currentRow_ + 1, currentColumn_);
  return row;
}

void FrameList::SetCurrentCell(int row, int column) {
  if (row < 1 || row >= RowCount()) {
    row = -1;
    column = -1;
  }
  if (row == currentRow_ && column == currentColumn_) return;
  currentRow_ = row;
  currentColumn_ = column;
  if (observer_) observer_->CurrentChanged(row, column);
}

void FrameList::NotifyCells(int first, int last) {
  if (observer_) observer_->CellsChanged(first, last);
}

// Moves one row to another index, shifting those between; the moved frame becomes current.
void FrameList::MoveRow(int from, int to) {
  if (from < to)
    std::rotate(rows_.begin() + from, rows_.begin() + from + 1, rows_.begin() + to + 1);
  else
    std::rotate(rows_.begin() + to, rows_.begin() + from, rows_.begin() + from + 1);
  Touch();
  NotifyCells(std::min(from, to), std::max(from, to));
  SetCurrentCell(to, kFramesColumn);  // the last cell swapped
}

bool FrameList::DeleteCurrent() {
  if (!HasCurrentRow()) return false;
  int row = currentRow_;
  if (observer_) observer_->RowsAboutToBeRemoved(row, row);
  rows_.erase(rows_.begin() + row);
  Touch();
  if (observer_) observer_->RowsRemoved();
  ClearCurrent();
  return true;
}

bool FrameList::MoveUp() {
  if (!HasCurrentRow() || currentRow_ < 2) return false;
  MoveRow(currentRow_, currentRow_ - 1);
  return true;
}

bool FrameList::MoveDown() {
  if (!HasCurrentRow() || currentRow_ >= FrameCount()) return false;
  MoveRow(currentRow_, currentRow_ + 1);
  return true;
}

bool FrameList::MoveToFirst() {
  if (!HasCurrentRow() || currentRow_ < 2) return false;
  MoveRow(currentRow_, 1);
  if (observer_) observer_->ScrollToTop();
  return true;
}

bool FrameList::MoveToLast() {
  if (!HasCurrentRow()) return false;
  // The last row "moves" onto itself: the order stays, but the grid still scrolls.
  if (currentRow_ < FrameCount())
    MoveRow(currentRow_, FrameCount());
  else
    SetCurrentCell(currentRow_, kFramesColumn);
  if (observer_) observer_->ScrollToBottom();
  return true;
}

}  // namespace zr
