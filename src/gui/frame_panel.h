// The frame-list panel docked on the left: the grid, the move/delete buttons and the AVI
// options (frames per second, colour depth, attached sound).
#pragma once

#include <QStyledItemDelegate>
#include <QWidget>

class QCheckBox;
class QRadioButton;

namespace zr {

class CBmpBtn;
class CGridCtrl;
class CUpDownEdit;
class FrameListModel;

// The frame-count cell's editor: a spin box of 1 to 9999.
class FrameCountDelegate : public QStyledItemDelegate {
 public:
  static constexpr int kMinFrameCount = 1;
  static constexpr int kMaxFrameCount = 9999;
  explicit FrameCountDelegate(QObject* parent = nullptr);
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override;
  void setEditorData(QWidget* editor, const QModelIndex& index) const override;
  void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
};

class CFramePanel : public QWidget {
  Q_OBJECT

 public:
  CFramePanel(FrameListModel& model, QWidget* parent = nullptr);

  CGridCtrl* grid() const { return grid_; }
  CUpDownEdit* fpsEdit() const { return fps_; }
  QCheckBox* soundBox() const { return sound_; }
  QRadioButton* depthButton(int bits) const;
  CBmpBtn* button(int id) const;

  QString fpsText() const;
  void setFpsText(const QString& text);
  // Checks 8 or 16, and 24 for anything else.
  void setDepth(int bits);
  // Hidden when empty; otherwise the file's name, ticked.
  void setSound(const QString& soundFile);

 signals:
  void moveFirst();
  void moveUp();
  void moveDown();
  void moveLast();
  void deleteFrame();
  void depthChosen(int bits);
  void detachSound();

 private:
  CGridCtrl* grid_;
  CBmpBtn* first_;
  CBmpBtn* up_;
  CBmpBtn* down_;
  CBmpBtn* last_;
  CBmpBtn* delete_;
  CUpDownEdit* fps_;
  QRadioButton* bits8_;
  QRadioButton* bits16_;
  QRadioButton* bits24_;
  QCheckBox* sound_;
};

// Panel control ids, as the commands they send.
enum PanelId : int {
  IDC_MOVE_UP = 1001,
  IDC_MOVE_DOWN = 1002,
  IDC_MOVE_FIRST = 1003,
  IDC_MOVE_LAST = 1004,
  IDC_DELETE = 1011,
};

// Loads "<NAME" from the built-in bitmaps (their grey background made transparent) and
// anything else as an image file, for the picture buttons.
QImage LoadButtonImage(const QString& name);

}  // namespace zr
