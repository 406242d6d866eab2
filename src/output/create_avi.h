// The "Step 3: Create &AVI File..." sequence without windows: frame list to AVI, with the
// attached sound merged in. The GUI calls it after its file chooser and shows the result;
// the unattended job and `zerarive-cli create` call it as they are.
#pragma once

#include <string>

#include "platform/avifile/avifile.h"

namespace zr {

class Host;

class CAviWriter;
class CTorvexerDoc;

// Fills a writer from doc.frames (status "Adding %s..." per row), the panel's fps text and
// doc.nBpp, writes `path` (through the program folder's "hltemp.avi" when a sound is
// attached, merged afterwards). Messages and status texts go to the Host. True when the
// AVI was made.
bool CreateAvi(Host& host, CTorvexerDoc& doc, const std::string& path, const AVICOMPRESSOPTIONS& options);

// The common end of every AVI command: writes `writer` into `path`, or through
// `programFolder`'s "hltemp.avi" merged with `sound` when there is one (checked before
// the long write). Messages and status texts go to the Host. True when `path` was made.
bool WriteAviWithSound(Host& host, CAviWriter& writer, const std::string& sound, const std::string& path,
                       const std::string& programFolder);

// The AVI file chooser: Host::ChooseAviPath starting in doc.sSavePath; on OK the chosen
// folder becomes doc.sSavePath and the "SavePath" setting. "" on Cancel.
std::string ChooseAviFile(Host& host, CTorvexerDoc& doc, bool save, bool wave);

// The intermediate file of a Create AVI with sound.
std::string IntermediateAviPath(const std::string& programFolder);

}  // namespace zr
