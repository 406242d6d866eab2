// "Invalid image size": asked while an AVI is written, for an image whose size differs
// from the first image's. Starts from its own defaults every time it is shown.
#pragma once

#include <QDialog>

#include "platform/host.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace zr {

class CColorBtn;

class CImageSizeDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CImageSizeDlg(const ImageSizeQuestion& question, QWidget* parent = nullptr);

  // What OK answers: the chosen radio (Skip 0, Resize 1, Center 2, Place 3), the check
  // box, the leading numbers of the x and y texts and the colour.
  ImageSizeAnswer answer() const;

  QRadioButton* choiceButton(int choice) const { return choices_[choice]; }
  QLineEdit* xEdit() const { return x_; }
  QLineEdit* yEdit() const { return y_; }
  CColorBtn* colourButton() const { return colour_; }
  QCheckBox* keepBox() const { return keep_; }
  QLabel* picture() const { return picture_; }
  // "FILE: image W×H, frame W×H"
  QLabel* sizes() const { return sizes_; }

 private:
  QRadioButton* choices_[4];
  QLineEdit* x_;
  QLineEdit* y_;
  CColorBtn* colour_;
  QLabel* picture_;
  QLabel* sizes_;
  QCheckBox* keep_;
};

}  // namespace zr
