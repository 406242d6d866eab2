// File dialogs shared by the commands and the AVI tools' dialogs.
#pragma once

#include <string>

#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

namespace zr {

class Host;
class SettingsFile;

// "Image Files|*.bmp; *.dib||" (the program's filter notation) -> Qt's name filters
// "Image Files (*.bmp *.dib)"; several pairs are joined with ";;".
QString QtFilter(const std::string& filter);

// The extensions a Qt name filter lists, lower case without the dot:
// "Wave Files (*.wav)" -> {"wav"}; "*" and other patterns are left out.
QStringList FilterExtensions(const QString& nameFilters);

// The name a save dialog writes: `typed` when it already ends in one of `writable` (any
// letter case), else `typed` + "." + `extension`.
QString WithExtension(const QString& typed, const QStringList& writable, const QString& extension);

// Runs `dialog` in its save form: the typed name gets the chosen filter's extension
// unless it already has one the dialog's filters list, and replacing an existing file of
// that final name is asked through `host` (No returns to the dialog). The final path, or
// "" on Cancel.
QString ExecSaveDialog(QFileDialog& dialog, Host& host);

// The file dialog that remembers its folder ("DirLog" of section "Morph"): open or save
// form with `defaultExtension`; the chosen full path, or "" on Cancel. OK stores the
// dialog's folder and saves the settings file; replacing is asked through its host.
std::string BrowseForFile(QWidget* parent, SettingsFile& settings, const std::string& filter,
                          const std::string& defaultExtension, bool open,
                          const QString& title = {});

// The AVI file chooser's dialog (save or open form, AVI or WAV filter), starting in
// `startFolder` when it is set; replacing is asked through `host`. The full path or "".
std::string RunAviFileDialog(Host& host, QWidget* parent, bool save, bool wave,
                             const std::string& startFolder);

}  // namespace zr
