// Start-up without windows: the command-line argument, the settings that fill the
// document and the view at the first paint, the unattended job, and the moments the
// settings are written back. The GUI calls these; the CLI's job runner calls the same.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/raster.h"

namespace zr {

class CTorvexerDoc;
class SettingsFile;

// What the view keeps from the settings.
struct ViewSettings {
  ColorRef crScreen = Rgb(192, 192, 192);
  int16_t bFrameImages = 1;
  int16_t bAuto = 0;
};

struct JobFrame {
  std::string name;  // FrameNaming::TitleDotExtension of the path
  std::string path;
};

// Everything a settings file says at start-up; optionals are absent keys. A job is such
// a file with "Auto" non-zero: "Output", "FPS", "BPP", optional "Sound", the "Images"
// list and optionally a "Logo" section. There is no compressor in a job.
struct UnattendedJob {
  std::string importPath, savePath;  // defaults already applied
  std::optional<int16_t> fps, bpp;
  std::optional<ColorRef> screenColor;
  std::optional<int16_t> frameImages;
  std::string sound;
  std::optional<int16_t> autoStart;
  std::string output;
  std::optional<int16_t> useLogo, useTransparent, xPos, yPos, colorFromLogo;
  std::optional<ColorRef> transColor;
  std::string logoFile;
  // In key order; two paths with the same file name both appear here, and the document
  // then maps that name to the later path.
  std::vector<JobFrame> frames;

  bool IsAuto() const { return autoStart.value_or(0) != 0; }
};

// Reads the job from a loaded store (the "Images" list stops at the first missing index).
UnattendedJob ReadJob(const SettingsFile& settings);

// The "Logo" section into the document's logo fields, as the first paint reads them:
// absent keys keep the field, an absent "sLogoFile" empties it. The GUI's start-up and
// the CLI's project outputs both come here.
void ApplyLogoSettings(const UnattendedJob& job, CTorvexerDoc& doc);

// Fills the document and view from a job. With keepProject (a project named on the
// command line) the project's fps, depth and sound win over the settings; its frames are
// kept and the job's frames follow them.
void ApplyJob(const UnattendedJob& job, CTorvexerDoc& doc, ViewSettings& view, bool keepProject);

// The command-line argument: empty -> new project; an "ini" file -> the settings file;
// anything else is opened as a project. False when the project cannot be opened.
bool OpenCommandLineFile(CTorvexerDoc& doc, const std::string& arg);

struct StartupResult {
  UnattendedJob job;
  bool settingsLoaded = false;  // the settings file could be read
  bool startJob = false;        // "Auto" non-zero: create job.output, then close
};

// The first paint's start-up, once: settings file (doc.sIniFile, default program folder +
// "Zerarive.ini") into the document's store, the document and view filled from it, the logo
// prepared, the "Images" list appended, the panel updated. A project opened before (from
// the command line) keeps its frames, fps, depth and sound. The document counts as
// unchanged afterwards; with a job it is marked unattended.
StartupResult FirstPaintStartup(CTorvexerDoc& doc, ViewSettings& view);

// The warning shown when the display has fewer than 24 bits per pixel.
extern const char* const kDisplayDepthWarning;

// --- writing settings back (the store is written to disk only where a function says so)
void StoreScreenColor(SettingsFile& settings, ColorRef color);            // Screen Color command
void StoreFrameImages(SettingsFile& settings, bool on);                   // Frame Images command
void StoreImportPath(SettingsFile& settings, const std::string& folder);  // image import
void StoreSavePath(SettingsFile& settings, const std::string& folder);    // AVI file chooser OK
// Logo dialog OK: writes the "Logo" section from the document and saves its store.
bool StoreLogoSettings(CTorvexerDoc& doc);
// The morph folders: BrowseForFile and the morph dialog save the store on OK.
std::string MorphFolder(const SettingsFile& settings, const char* key);
bool StoreMorphFolder(SettingsFile& settings, const char* key, const std::string& folder);
// At exit (the view's destruction).
bool SaveSettingsAtExit(SettingsFile& settings);

}  // namespace zr
