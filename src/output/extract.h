// Taking an AVI apart: every frame of every video stream as "%02d_%05d.bmp", and the
// first audio stream as a file whose type follows its extension.
#pragma once

#include <string>
#include <vector>

#include "image/packed_dib.h"

namespace zr {

class Host;

// The extraction progress window ("Reading:" frame number, "Writing:" file name).
class ExtractProgress {
 public:
  virtual ~ExtractProgress() = default;
  virtual void Open(int streamNumber, int frameCount) = 0;
  virtual void Update(int frameNumber, const std::string& fileName) = 0;
  virtual void Close() = 0;
};

// Reports through the Host's progress (the command-line tool's bar).
class HostExtractProgress : public ExtractProgress {
 public:
  explicit HostExtractProgress(Host& host) : host_(host) {}
  void Open(int streamNumber, int frameCount) override;
  void Update(int frameNumber, const std::string& fileName) override;
  void Close() override;

 private:
  Host& host_;
};

// `programFolder`'s "Samples" folder, with trailing '/'.
std::string SamplesFolder(const std::string& programFolder);
// "%02d_%05d.bmp"
std::string SampleFileName(int streamNumber, int frameNumber);
// True for names extraction writes: two or more digits, "_", five or more digits, ".bmp".
bool IsSampleFileName(const std::string& name);
// Full paths of the sample files in `folder` that an extraction into it would replace
// (every sample-named file there), sorted.
std::vector<std::string> SampleFilesToReplace(const std::string& folder);
// The question asked before replacing them (defined with the morph's).
std::string ReplaceQuestion(size_t count, const std::string& folder, bool samples);

// Deletes the sample files in `folder` (nothing else: other files and subfolders stay).
// Returns the number of files deleted.
int ClearSampleFiles(const std::string& folder);

// A decompressed frame as a BMP file: the header with biSizeImage set to the pixel bytes,
// its colour table and its rows. False (and no file) when the frame is unusable or the
// file cannot be written (then *error, when given, holds the system's error number).
bool WriteDibFile(const BitmapInfoHeader* frame, const std::string& path, int* error = nullptr);

struct ExtractImagesResult {
  bool opened = false;  // the AVI could be opened
  bool ok = false;      // the new images are in place
  bool cancelled = false;
  int videoStreams = 0;
  int written = 0;                        // BMP files written
  std::vector<std::string> failedFrames;  // "stream:frame" of frames with no file
  // The status line's outcome: "22 images written to FOLDER", "Cancelled", or "".
  std::string summary;
};

// Opens `aviPath`, makes `folder` (with its parents) and writes every frame under a
// temporary name; only when all are written are they renamed and the folder's other old
// sample files removed, so a failure, a Cancel or a signal leaves the folder as it was.
// Tells the user about failures and the result through the Host, and warns that a later
// extraction overwrites them when `folder` is `samplesFolder` (the program's).
ExtractImagesResult ExtractImages(Host& host, const std::string& aviPath, const std::string& folder,
                                  ExtractProgress& progress, const std::string& samplesFolder);

// Saves the first audio stream of `aviPath` as `soundPath`. False, with the reason told
// through the Host, when the AVI can't be opened, has no sound or the save fails.
bool ExtractSound(Host& host, const std::string& aviPath, const std::string& soundPath);

}  // namespace zr
