// The About box: the program's name, version and web site.
#pragma once

#include <QDialog>

namespace zr {

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace zr
