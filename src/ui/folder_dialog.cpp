#include "ui/folder_dialog.h"

#include <QDir>
#include <QFileDialog>

namespace zr {

QString CFolderDialog::GetFolder(QWidget* parent, const QString& title,
                                 const QString& startFolder) {
  QString start = startFolder;
  if (start.isEmpty() || !QDir(start).exists()) start = QDir::currentPath();
  QString folder = QFileDialog::getExistingDirectory(
      parent, title, start, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
  if (folder.isEmpty()) return {};
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  return folder;
}

}  // namespace zr
