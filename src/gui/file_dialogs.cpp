#include "gui/file_dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QFileDialog>
#include <QStringList>

#include "app/startup.h"
#include "app/settings_file.h"
#include "app/settings_keys.h"
#include "platform/host.h"
#include "ui/dialog_flags.h"

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

QStringList FilterExtensions(const QString& nameFilters) {
  QStringList extensions;
  static const QRegularExpression glob(QStringLiteral(R"(\*\.([A-Za-z0-9]+)(?=[\s);]|$))"));
  for (auto it = glob.globalMatch(nameFilters); it.hasNext();) {
    const QString ext = it.next().captured(1).toLower();
    if (!extensions.contains(ext)) extensions << ext;
  }
  return extensions;
}

QString WithExtension(const QString& typed, const QStringList& writable, const QString& extension) {
  const QString suffix = QFileInfo(typed).suffix().toLower();
  if (extension.isEmpty() || (!suffix.isEmpty() && writable.contains(suffix))) return typed;
  return typed + QLatin1Char('.') + extension;
}

QString ExecSaveDialog(QFileDialog& dialog, Host& host) {
  // Both are ours: the extension follows the filter and the question names the final file.
  dialog.setDefaultSuffix(QString());
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  const QStringList writable = FilterExtensions(dialog.nameFilters().join(QLatin1Char(';')));
  for (;;) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    const QString path = WithExtension(dialog.selectedFiles().first(), writable,
                                       FilterExtensions(dialog.selectedNameFilter()).value(0));
    if (!QFileInfo::exists(path)) return path;
    const std::string question = QFileInfo(path).fileName().toStdString() +
                                 " already exists.\nDo you want to replace it?";
    if (host.AskYesNo(question)) return path;
    dialog.selectFile(QFileInfo(path).fileName());
  }
}

std::string BrowseForFile(QWidget* parent, SettingsFile& settings, const std::string& filter,
                          const std::string& defaultExtension, bool open, const QString& title) {
  const std::string folder = MorphFolder(settings, kKeyMorphDirLog);
  QFileDialog dialog(parent, title);
  SetDialogFlags(&dialog);
  dialog.setObjectName(QStringLiteral("browseForFile"));
  dialog.setNameFilter(QtFilter(filter));
  dialog.setDefaultSuffix(QString::fromStdString(defaultExtension));
  if (QDir(QString::fromStdString(folder)).exists())
    dialog.setDirectory(QString::fromStdString(folder));
  QString chosen;
  if (open) {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
      chosen = dialog.selectedFiles().first();
  } else {
    chosen = ExecSaveDialog(dialog, settings.host());
  }
  if (chosen.isEmpty()) return {};
  QString chosenFolder = dialog.directory().absolutePath();
  if (!chosenFolder.endsWith('/')) chosenFolder += '/';
  StoreMorphFolder(settings, kKeyMorphDirLog, chosenFolder.toStdString());
  return chosen.toStdString();
}

std::string RunAviFileDialog(Host& host, QWidget* parent, bool save, bool wave,
                             const std::string& startFolder) {
  QString title = save ? (wave ? QObject::tr("Save the sound as") : QObject::tr("Save the AVI as"))
                       : (wave ? QObject::tr("Choose a sound file") : QObject::tr("Choose an AVI file"));
  QFileDialog dialog(parent, title);
  SetDialogFlags(&dialog);
  dialog.setObjectName(QStringLiteral("aviFileDialog"));
  dialog.setNameFilter(wave ? QStringLiteral("Wave Files (*.wav)") : QStringLiteral("Avi Files (*.avi)"));
  if (!startFolder.empty() && QDir(QString::fromStdString(startFolder)).exists())
    dialog.setDirectory(QString::fromStdString(startFolder));
  if (save) return ExecSaveDialog(dialog, host).toStdString();
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first().toStdString();
}

}  // namespace zr
