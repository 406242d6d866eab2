#include "gui/frame_list_model.h"

#include <QTimer>

#include "gui/thumbnails.h"


namespace zr {

FrameListModel::FrameListModel(FrameList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list) {
  list_.SetObserver(this);
}

FrameListModel::~FrameListModel() { list_.SetObserver(nullptr); }

int FrameListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : list_.FrameCount();
}

int FrameListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : FrameList::kColumns;
}

QVariant FrameListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::DisplayRole || role == Qt::EditRole)
    return QString::fromStdString(list_.Text(ListRow(index.row()), index.column()));
  if (thumbnails_ && index.column() == FrameList::kNameColumn &&
      (role == Qt::DecorationRole || role == Qt::ToolTipRole)) {
    const std::string path = pathOf_(list_.Text(ListRow(index.row()), FrameList::kNameColumn));
    const ThumbnailCache::Lookup found = thumbnails_->Find(QString::fromStdString(path));
    if (role == Qt::DecorationRole) return found.icon.isNull() ? QVariant() : QVariant(found.icon);
    return found.toolTip.isEmpty() ? QVariant() : QVariant(found.toolTip);
  }
  return {};
}

void FrameListModel::SetThumbnails(ThumbnailCache* cache,
                                   std::function<std::string(const std::string&)> pathOf) {
  if (thumbnails_) disconnect(thumbnails_, nullptr, this, nullptr);
  thumbnails_ = cache;
  pathOf_ = std::move(pathOf);
  if (thumbnails_) connect(thumbnails_, &ThumbnailCache::thumbnailReady, this, &FrameListModel::ThumbnailArrived);
  if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, 0));
}

void FrameListModel::ThumbnailArrived() {
  // Pictures arrive in bursts: one repaint of the column for each burst.
  if (thumbnailRefreshQueued_) return;
  thumbnailRefreshQueued_ = true;
  QTimer::singleShot(0, this, [this] {
    thumbnailRefreshQueued_ = false;
    if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::DecorationRole, Qt::ToolTipRole});
  });
}

bool FrameListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole || index.column() != FrameList::kFramesColumn)
    return false;
  const int row = ListRow(index.row());
  const std::string text = value.toString().toStdString();
  if (text == list_.Text(row, index.column())) return true;
  list_.SetText(row, index.column(), text);
  emit countEdited();
  return true;
}

QVariant FrameListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal) return QString::fromStdString(list_.Text(0, section));
  return section + 1;
}

Qt::ItemFlags FrameListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::ItemIsDropEnabled;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled |
                    Qt::ItemIsDropEnabled;
  if (index.column() == FrameList::kFramesColumn) f |= Qt::ItemIsEditable;
  return f;
}

void FrameListModel::RowsAboutToBeInserted(int first, int last) {
  beginInsertRows({}, ItemRow(first), ItemRow(last));
}
void FrameListModel::RowsInserted() { endInsertRows(); }

void FrameListModel::RowsAboutToBeRemoved(int first, int last) {
  beginRemoveRows({}, ItemRow(first), ItemRow(last));
}
void FrameListModel::RowsRemoved() { endRemoveRows(); }

void FrameListModel::CellsChanged(int firstRow, int lastRow) {
  int first = std::max(0, ItemRow(firstRow));
  int last = ItemRow(lastRow);
  if (last < first) return;
  emit dataChanged(index(first, 0), index(last, FrameList::kColumns - 1));
}

void FrameListModel::CurrentChanged(int row, int column) { emit currentMoved(ItemRow(row), column); }

}  // namespace zr
