#include "gui/size_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/settings_file.h"
#include "gui/qt_host.h"
#include "image/cbmp.h"
#include "ui/color_button.h"
#include "ui/dialog_flags.h"

namespace zr {

CImageSizeDlg::CImageSizeDlg(const ImageSizeQuestion& question, QWidget* parent)
    : QDialog(parent) {
  SetDialogFlags(this);
  const QString imagePath = QString::fromStdString(question.imagePath);
  setWindowTitle(tr("Invalid image size"));
  setObjectName(QStringLiteral("imageSizeDialog"));
  auto* layout = new QHBoxLayout(this);
  auto* left = new QVBoxLayout;
  left->addWidget(new QLabel(
      tr("The size of the image below does not match the size of the animation frame.\n"
         "What would you like to do:"),
      this));
  sizes_ = new QLabel(QStringLiteral("%1: image %2\u00d7%3, frame %4\u00d7%5")
                          .arg(QFileInfo(imagePath).fileName())
                          .arg(question.imageWidth)
                          .arg(question.imageHeight)
                          .arg(question.frameWidth)
                          .arg(question.frameHeight),
                      this);
  sizes_->setObjectName(QStringLiteral("imageSizes"));
  sizes_->setToolTip(imagePath);
  sizes_->setWordWrap(true);
  left->addWidget(sizes_);

  auto* group = new QButtonGroup(this);
  const char* texts[4] = {"Skip this image", "Resize the image to fit the frame",
                          "Center the image", "Place the image at x, y:"};
  for (int i = 0; i < 4; ++i) {
    choices_[i] = new QRadioButton(tr(texts[i]), this);
    group->addButton(choices_[i], i);
  }
  choices_[0]->setChecked(true);
  left->addWidget(choices_[0]);
  left->addWidget(choices_[1]);
  auto* line = new QFrame(this);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  left->addWidget(line);
  left->addWidget(choices_[2]);
  auto* place = new QHBoxLayout;
  place->addWidget(choices_[3]);
  x_ = new QLineEdit(QStringLiteral("0"), this);
  y_ = new QLineEdit(QStringLiteral("0"), this);
  x_->setMaximumWidth(50);
  y_->setMaximumWidth(50);
  place->addWidget(x_);
  place->addWidget(y_);
  place->addStretch(1);
  left->addLayout(place);
  auto* colourRow = new QHBoxLayout;
  colourRow->addWidget(new QLabel(tr("Background color for the frame"), this));
  colour_ = new CColorBtn(Qt::white, this, CColorBtn::Picker::FullChooser);
  colourRow->addWidget(colour_);
  colourRow->addStretch(1);
  left->addLayout(colourRow);
  keep_ = new QCheckBox(tr("Do the same for all the images that follow"), this);
  left->addWidget(keep_);
  left->addStretch(1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  left->addWidget(buttons);
  layout->addLayout(left);

  picture_ = new QLabel(this);
  picture_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  picture_->setAlignment(Qt::AlignCenter);
  picture_->setMinimumSize(160, 120);
  picture_->setMaximumSize(320, 240);
  CBmp image;
  if (image.Load(imagePath.toStdString())) {
    QImage shown = ImageFromBitmap(image.bitmap());
    int w = shown.width(), h = shown.height();
    if (w > 320 || h > 240) shown = shown.scaled(320, 240, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    picture_->setPixmap(QPixmap::fromImage(shown));
    picture_->setToolTip(QStringLiteral("%1 (%2 x %3)").arg(imagePath).arg(w).arg(h));
  } else {
    picture_->setText(imagePath);
  }
  layout->addWidget(picture_);
}

ImageSizeAnswer CImageSizeDlg::answer() const {
  ImageSizeAnswer a;
  for (int i = 0; i < 4; ++i)
    if (choices_[i]->isChecked()) a.choice = i;
  a.keep = keep_->isChecked();
  a.x = AtoiText(x_->text().toStdString());
  a.y = AtoiText(y_->text().toStdString());
  const QColor c = colour_->colour();
  a.background = Rgb(uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue()));
  return a;
}

}  // namespace zr
