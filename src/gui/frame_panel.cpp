#include "gui/frame_panel.h"

#include <algorithm>

#include <QSpinBox>

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "gui/frame_list_model.h"
#include "gui/qt_host.h"
#include "image/builtin_bitmaps.h"
#include "image/cbmp.h"
#include "platform/paths.h"
#include "ui/bitmap_button.h"
#include "app/settings_file.h"
#include "ui/grid_ctrl.h"
#include "ui/updown_edit.h"

namespace zr {

FrameCountDelegate::FrameCountDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

QWidget* FrameCountDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                          const QModelIndex&) const {
  auto* spin = new QSpinBox(parent);
  spin->setObjectName(QStringLiteral("frameCountEditor"));
  spin->setRange(kMinFrameCount, kMaxFrameCount);
  spin->setFrame(false);
  return spin;
}

void FrameCountDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
  auto* spin = static_cast<QSpinBox*>(editor);
  const int shown = std::clamp<int>(AtoiText(index.data(Qt::EditRole).toString().toStdString()),
                                    kMinFrameCount, kMaxFrameCount);
  spin->setValue(shown);
  spin->setProperty("startValue", shown);
}

void FrameCountDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                      const QModelIndex& index) const {
  auto* spin = static_cast<QSpinBox*>(editor);
  spin->interpretText();
  // Opening the editor is not an edit: a count read from a file ("0", "12x") stays as
  // it was until the user changes the number.
  if (spin->value() == spin->property("startValue").toInt()) return;
  model->setData(index, QString::number(spin->value()), Qt::EditRole);
}


QImage LoadButtonImage(const QString& name) {
  std::string key = name.toStdString();
  if (IsBuiltinBitmapName(key)) {
    auto bitmap = LoadBuiltinBitmap(key);
    if (!bitmap) return {};
    QImage image = ImageFromBitmap(*bitmap).convertToFormat(QImage::Format_ARGB32);
    const QRgb background = qRgb(GetR(kBuiltinBackground), GetG(kBuiltinBackground),
                                 GetB(kBuiltinBackground));
    for (int y = 0; y < image.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < image.width(); ++x)
        if (line[x] == background) line[x] = 0;
    }
    return image;
  }
  CBmp bmp;
  if (!bmp.Load(key)) return {};
  return ImageFromBitmap(bmp.bitmap());
}

CFramePanel::CFramePanel(FrameListModel& model, QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);

  grid_ = new CGridCtrl(this);
  grid_->setObjectName(QStringLiteral("frameGrid"));
  grid_->setModel(&model);
  grid_->setItemDelegateForColumn(FrameList::kFramesColumn, new FrameCountDelegate(grid_));
  layout->addWidget(grid_, 1);

  auto* buttons = new QHBoxLayout;
  auto makeButton = [&](const char* caption, const char* tip, void (CFramePanel::*signal)()) {
    auto* b = new CBmpBtn(QString::fromLatin1(caption), this, LoadButtonImage);
    b->setToolTip(tr(tip));
    b->setFocusPolicy(Qt::NoFocus);
    connect(b, &QPushButton::clicked, this, signal);
    buttons->addWidget(b);
    return b;
  };
  first_ = makeButton("U:<FIRST~", "Move the frame to the top", &CFramePanel::moveFirst);
  up_ = makeButton("U:<UP~", "Move the frame up", &CFramePanel::moveUp);
  down_ = makeButton("U:<DN~", "Move the frame down", &CFramePanel::moveDown);
  last_ = makeButton("U:<LAST~", "Move the frame to the bottom", &CFramePanel::moveLast);
  delete_ = makeButton("U:<DEL~", "Remove the frame from the list", &CFramePanel::deleteFrame);
  layout->addLayout(buttons);

  auto* options = new QGroupBox(tr("AVI options"), this);
  auto* optionsLayout = new QVBoxLayout(options);
  auto* fpsRow = new QHBoxLayout;
  fps_ = new CUpDownEdit(options);
  fps_->setRange(1, 500);
  fps_->edit()->setMaximumWidth(60);
  fps_->setObjectName(QStringLiteral("fpsEdit"));
  fpsRow->addWidget(fps_);
  fpsRow->addWidget(new QLabel(tr("frames per sec"), options));
  fpsRow->addStretch(1);
  optionsLayout->addLayout(fpsRow);

  bits8_ = new QRadioButton(tr("256 colours (8-bit)"), options);
  bits16_ = new QRadioButton(tr("Plenty of colours (16-bit)"), options);
  bits24_ = new QRadioButton(tr("Millions of colours (24-bit)"), options);
  bits24_->setChecked(true);
  auto* depths = new QButtonGroup(this);
  depths->addButton(bits8_, 8);
  depths->addButton(bits16_, 16);
  depths->addButton(bits24_, 24);
  connect(depths, &QButtonGroup::idClicked, this, &CFramePanel::depthChosen);
  optionsLayout->addWidget(bits8_);
  optionsLayout->addWidget(bits16_);
  optionsLayout->addWidget(bits24_);

  sound_ = new QCheckBox(tr("Attach sound file"), options);
  sound_->setObjectName(QStringLiteral("soundBox"));
  sound_->setToolTip(tr("Click to detach the sound file"));
  sound_->hide();
  connect(sound_, &QCheckBox::clicked, this, [this] { emit detachSound(); });
  optionsLayout->addWidget(sound_);
  layout->addWidget(options);
}

QRadioButton* CFramePanel::depthButton(int bits) const {
  return bits == 8 ? bits8_ : bits == 16 ? bits16_ : bits24_;
}

CBmpBtn* CFramePanel::button(int id) const {
  switch (id) {
    case IDC_MOVE_FIRST: return first_;
    case IDC_MOVE_UP: return up_;
    case IDC_MOVE_DOWN: return down_;
    case IDC_MOVE_LAST: return last_;
    case IDC_DELETE: return delete_;
    default: return nullptr;
  }
}

QString CFramePanel::fpsText() const { return fps_->text(); }
void CFramePanel::setFpsText(const QString& text) { fps_->setText(text); }

void CFramePanel::setDepth(int bits) { depthButton(bits)->setChecked(true); }

void CFramePanel::setSound(const QString& soundFile) {
  if (soundFile.isEmpty()) {
    sound_->hide();
    return;
  }
  sound_->setText(QString::fromStdString(PathFileName(soundFile.toStdString())));
  sound_->setToolTip(soundFile);
  sound_->setChecked(true);
  sound_->show();
}

}  // namespace zr
