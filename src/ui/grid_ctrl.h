// A general-purpose grid over any table model: a fixed header row drawn by the horizontal
// header, whole-row selection ("list mode"), in-place editing of what the model allows,
// dragging a row onto another and dropping files from outside.
#pragma once

#include <QStringList>
#include <QTableView>

namespace zr {

class CGridCtrl : public QTableView {
  Q_OBJECT

 public:
  explicit CGridCtrl(QWidget* parent = nullptr);

  // Row of the focus cell in model rows (0-based), or -1 when there is none.
  int currentRow() const;
  void setCurrentRow(int row);
  void scrollToTopRow();
  void scrollToBottomRow();

  // Background of the normal (non-header) cells; the palette's Base unless set.
  void setCellBackground(const QColor& colour);

 signals:
  // The focus cell changed, or a mouse click ended (the grid's change notification).
  void currentCellNotify();
  // A row was dragged within the grid and dropped on row `to` (-1: below the last row).
  void rowDragged(int from, int to);
  // Local files were dropped from outside; `row` is the row they landed on, -1 below.
  void filesDropped(const QStringList& paths, int row);

 protected:
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void startDrag(Qt::DropActions supportedActions) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  bool acceptsDrag(const QMimeData* mime) const;
};

// The mime type of a row dragged inside a grid.
inline constexpr const char* kGridRowMime = "application/x-zerarive-grid-row";

}  // namespace zr
