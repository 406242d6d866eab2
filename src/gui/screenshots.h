// The screenshot run behind scripts/screenshot.sh: opens the main window and each of the
// program's dialogs in turn, saves a PNG of each into a folder and ends the program.
#pragma once

#include <QString>

namespace zr {

class CMainFrame;

// `sampleImage`: an image for the size dialog; `sampleAvi`: a file for the preview.
// Returns the number of pictures that could not be saved.
int RunScreenshots(CMainFrame& frame, const QString& folder, const QString& sampleImage,
                   const QString& sampleAvi);

}  // namespace zr
