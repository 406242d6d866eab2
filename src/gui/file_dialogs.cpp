#include "gui/file_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QStringList>

#include "app/startup.h"
#include "app/settings_keys.h"

namespace zr {

QString QtFilter(const std::string& filter) {
  QStringList parts = QString::fromStdString(filter).split('|');
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString name = parts[i].trimmed();
    QString patterns = parts[i + 1];
    if (name.isEmpty()) break;
    QStringList globs;
    for (const QString& g : patterns.split(';', Qt::SkipEmptyParts))
      if (!g.trimmed().isEmpty()) globs << g.trimmed();
    // A name that already lists its patterns in brackets would show them twice.
    if (name.contains(QLatin1Char('(')) && name.endsWith(QLatin1Char(')')))
      name = name.left(name.indexOf(QLatin1Char('('))).trimmed();
    filters << QStringLiteral("%1 (%2)").arg(name, globs.join(' '));
  }
  return filters.join(QStringLiteral(";;"));
}

std::string BrowseForFile(QWidget* parent, const std::string& filter,
                          const std::string& defaultExtension, bool open) {
  const std::string folder = MorphFolder(kKeyMorphDirLog);
  QFileDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("browseForFile"));
  dialog.setNameFilter(QtFilter(filter));
  dialog.setDefaultSuffix(QString::fromStdString(defaultExtension));
  if (QDir(QString::fromStdString(folder)).exists())
    dialog.setDirectory(QString::fromStdString(folder));
  if (open) {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  QString chosenFolder = dialog.directory().absolutePath();
  if (!chosenFolder.endsWith('/')) chosenFolder += '/';
  StoreMorphFolder(kKeyMorphDirLog, chosenFolder.toStdString());
  return dialog.selectedFiles().first().toStdString();
}

std::string RunAviFileDialog(QWidget* parent, bool save, bool wave, const std::string& startFolder) {
  QFileDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("aviFileDialog"));
  dialog.setNameFilter(wave ? QStringLiteral("Wave Files (*.wav)") : QStringLiteral("Avi Files (*.avi)"));
  dialog.setDefaultSuffix(QStringLiteral("avi"));
  if (!startFolder.empty() && QDir(QString::fromStdString(startFolder)).exists())
    dialog.setDirectory(QString::fromStdString(startFolder));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first().toStdString();
}

}  // namespace zr
