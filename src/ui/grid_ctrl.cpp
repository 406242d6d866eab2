#include "ui/grid_ctrl.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QUrl>

namespace zr {

CGridCtrl::CGridCtrl(QWidget* parent) : QTableView(parent) {
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
  setSortingEnabled(false);
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setHighlightSections(false);
  setDragEnabled(true);
  setAcceptDrops(true);
  setDropIndicatorShown(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDefaultDropAction(Qt::MoveAction);
  // Cells keep the palette's Base and Text, so the list follows light and dark themes.
}

int CGridCtrl::currentRow() const {
  QModelIndex index = currentIndex();
  return index.isValid() ? index.row() : -1;
}

void CGridCtrl::setCurrentRow(int row) {
  if (!model() || row < 0 || row >= model()->rowCount()) {
    selectionModel() ? selectionModel()->clear() : void();
    setCurrentIndex(QModelIndex());
    return;
  }
  int column = currentIndex().isValid() ? currentIndex().column() : model()->columnCount() - 1;
  QModelIndex index = model()->index(row, column < 0 ? 0 : column);
  setCurrentIndex(index);
  selectRow(row);
  scrollTo(index);
}

void CGridCtrl::scrollToTopRow() { scrollToTop(); }
void CGridCtrl::scrollToBottomRow() { scrollToBottom(); }

void CGridCtrl::setCellBackground(const QColor& colour) {
  QPalette p = palette();
  p.setColor(QPalette::Base, colour);
  p.setColor(QPalette::AlternateBase, colour);
  setPalette(p);
}

void CGridCtrl::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  if (current.row() != previous.row() || current.isValid() != previous.isValid())
    emit currentCellNotify();
}

void CGridCtrl::mouseReleaseEvent(QMouseEvent* event) {
  QTableView::mouseReleaseEvent(event);
  emit currentCellNotify();
}

void CGridCtrl::startDrag(Qt::DropActions) {
  int row = currentRow();
  if (row < 0) return;
  auto* mime = new QMimeData;
  mime->setData(kGridRowMime, QByteArray::number(row));
  auto* drag = new QDrag(this);
  drag->setMimeData(mime);
  drag->exec(Qt::MoveAction);
}

bool CGridCtrl::acceptsDrag(const QMimeData* mime) const {
  return mime && (mime->hasFormat(kGridRowMime) || mime->hasUrls());
}

void CGridCtrl::dragEnterEvent(QDragEnterEvent* event) {
  if (acceptsDrag(event->mimeData()))
    event->acceptProposedAction();
  else
    event->ignore();
}

void CGridCtrl::dragMoveEvent(QDragMoveEvent* event) {
  if (acceptsDrag(event->mimeData()))
    event->acceptProposedAction();
  else
    event->ignore();
}

void CGridCtrl::dropEvent(QDropEvent* event) {
  const QMimeData* mime = event->mimeData();
  int row = indexAt(event->position().toPoint()).row();  // -1 below the last row
  if (mime->hasFormat(kGridRowMime)) {
    bool ok = false;
    int from = mime->data(kGridRowMime).toInt(&ok);
    event->setDropAction(Qt::CopyAction);  // the model moves it; the view must not remove
    event->accept();
    if (ok && event->source() == this && from != row) emit rowDragged(from, row);
    return;
  }
  if (mime->hasUrls()) {
    QStringList paths;
    for (const QUrl& url : mime->urls())
      if (url.isLocalFile()) paths << url.toLocalFile();
    event->acceptProposedAction();
    if (!paths.isEmpty()) emit filesDropped(paths, row);
    return;
  }
  event->ignore();
}

}  // namespace zr
