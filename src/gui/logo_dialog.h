// "Company Logo": whether and where the logo is stamped, its file and its transparency.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace zr {

class CBmpBtn;
class CPathField;
class CColorBtn;
class CTorvexerDoc;

class CLogoDlg : public QDialog {
  Q_OBJECT

 public:
  CLogoDlg(CTorvexerDoc& doc, QWidget* parent = nullptr);

  // The logo file chooser; replaceable so the dialog can be driven without one.
  void setFileChooser(std::function<std::string()> chooser) { chooseFile_ = std::move(chooser); }

  QCheckBox* useLogoBox() const { return useLogo_; }
  QCheckBox* transparentBox() const { return transparent_; }
  QCheckBox* fromLogoBox() const { return fromLogo_; }
  QLineEdit* xEdit() const { return x_; }
  QLineEdit* yEdit() const { return y_; }
  CBmpBtn* logoButton() const { return logo_; }
  CPathField* logoField() const { return logoField_; }
  CColorBtn* colourButton() const { return colour_; }

  void accept() override;

 private:
  void OnUseLogoClicked();
  void OnTransparentClicked();
  void OnLogoClicked();
  void ShowLogo(const QString& name);

  CTorvexerDoc& doc_;
  QCheckBox* useLogo_;
  CBmpBtn* logo_;
  CPathField* logoField_;
  QPushButton* ok_;
  QLineEdit* x_;
  QLineEdit* y_;
  QCheckBox* transparent_;
  CColorBtn* colour_;
  QCheckBox* fromLogo_;
  std::function<std::string()> chooseFile_;
};

// Reads an integer the way the dialog's fields demand: optional sign and digits only,
// surrounding blanks allowed. Nothing for any other text.
std::optional<int> ParseDialogInteger(const QString& text);

}  // namespace zr
