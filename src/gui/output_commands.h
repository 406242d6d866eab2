// The GUI's entry points into the AVI output core: each is the same call the command
// line makes, plus what only a window needs.
#pragma once

#include <string>

namespace zr {

class CMainFrame;
class CTorvexerDoc;

// The AVI file chooser: the Host's dialog starting in doc.sSavePath; OK makes the chosen
// folder the new "SavePath".
std::string ChooseAviFile(CTorvexerDoc& doc, bool save, bool wave);
// Makes the AVI from the project into `path` (status texts in the main window).
bool CreateAvi(CMainFrame& frame, const std::string& path);
// Merges the streams of two files into `output`; false when an input cannot be opened.
bool MergeFiles(const std::string& video, const std::string& sound, const std::string& output);
// "AVI Settings": the compression-options dialog over the run's compression options,
// through a scratch "HLTemp.AVI" in the program folder as the AVI layer wants a stream.
void EditAviSettings();

}  // namespace zr
