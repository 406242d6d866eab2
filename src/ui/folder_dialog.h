// Chooses a folder; returns it with a trailing '/', or an empty string on Cancel.
#pragma once

#include <QString>

class QWidget;

namespace zr {

class CFolderDialog {
 public:
  static QString GetFolder(QWidget* parent, const QString& title, const QString& startFolder);
};

}  // namespace zr
