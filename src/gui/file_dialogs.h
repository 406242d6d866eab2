// File dialogs shared by the commands and the AVI tools' dialogs.
#pragma once

#include <string>

#include <QString>

class QWidget;

namespace zr {

// "Image Files|*.bmp; *.dib||" (the program's filter notation) -> Qt's name filters
// "Image Files (*.bmp *.dib)"; several pairs are joined with ";;".
QString QtFilter(const std::string& filter);

// The file dialog that remembers its folder ("DirLog" of section "Morph"): open or save
// form with `defaultExtension`; the chosen full path, or "" on Cancel. OK stores the
// dialog's folder and saves the settings file.
std::string BrowseForFile(QWidget* parent, const std::string& filter,
                          const std::string& defaultExtension, bool open);

// The AVI file chooser's dialog (save or open form, AVI or WAV filter, default extension
// "avi"), starting in `startFolder` when it is set. The full path or "".
std::string RunAviFileDialog(QWidget* parent, bool save, bool wave, const std::string& startFolder);

}  // namespace zr
