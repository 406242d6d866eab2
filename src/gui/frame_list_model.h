// The Qt item model the frame-list grid shows: frame rows 1..n of the core's FrameList as
// item rows 0..n-1, row 0 of the list as the header. Only the "Frames" cells are editable.
#pragma once

#include <functional>
#include <string>

#include <QAbstractTableModel>

#include "app/frame_list.h"

namespace zr {

class ThumbnailCache;

class FrameListModel : public QAbstractTableModel, private FrameListObserver {
  Q_OBJECT

 public:
  explicit FrameListModel(FrameList& list, QObject* parent = nullptr);
  ~FrameListModel() override;

  FrameList& list() { return list_; }

  // Shows a thumbnail beside each name, found through `pathOf` (frame name to image
  // path); null `cache` shows the plain list.
  void SetThumbnails(ThumbnailCache* cache, std::function<std::string(const std::string&)> pathOf);
  bool showsThumbnails() const { return thumbnails_ != nullptr; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Item row <-> frame-list row.
  static int ListRow(int itemRow) { return itemRow < 0 ? -1 : itemRow + 1; }
  static int ItemRow(int listRow) { return listRow <= 0 ? -1 : listRow - 1; }

 signals:
  // The list's current cell changed (by a move, a paste, a reset); item row -1: none.
  void currentMoved(int itemRow, int column);
  void scrollToTopRequested();
  void scrollToBottomRequested();
  // The user typed a different frame count into a cell.
  void countEdited();

 private:
  void RowsAboutToBeInserted(int first, int last) override;
  void RowsInserted() override;
  void RowsAboutToBeRemoved(int first, int last) override;
  void RowsRemoved() override;
  void CellsChanged(int firstRow, int lastRow) override;
  void CurrentChanged(int row, int column) override;
  void ScrollToTop() override { emit scrollToTopRequested(); }
  void ScrollToBottom() override { emit scrollToBottomRequested(); }

  void ThumbnailArrived();

  FrameList& list_;
  bool resetting_ = false;
  ThumbnailCache* thumbnails_ = nullptr;
  std::function<std::string(const std::string&)> pathOf_;
  bool thumbnailRefreshQueued_ = false;
};

}  // namespace zr
