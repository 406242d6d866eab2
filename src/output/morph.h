// Morphing: a run of BMP images fading one picture into another of the same size by a
// progressive per-byte blend of their 24-bit rows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zr {

class Host;

class CTorvexerDoc;
struct Bitmap;

// "%s/Img%04d.bmp"
std::string MorphImagePath(const std::string& folder, int number);

// Full paths of the ImgNNNN.bmp files a morph of `steps` in-betweens from number `start`
// would replace in `folder`, in number order.
std::vector<std::string> MorphFilesToReplace(const std::string& folder, int steps, int start);

// "N files in FOLDER will be replaced. Replace them?" ("1 file ... Replace it?"); with
// `samples`, "N sample files ...".
std::string ReplaceQuestion(size_t count, const std::string& folder, bool samples);

// The dialog's validation of the steps and start texts: leading decimal number; steps
// clamped to 1..254, start raised to 0 when negative.
int MorphStepsFromText(const std::string& text);
int MorphStartFromText(const std::string& text);

// One blend step over 24-bit rows: every byte moves by floor(distance / remaining).
void BlendStep(std::vector<uint8_t>& current, const std::vector<uint8_t>& target, int remaining);

// The checks made at "&Morph": "" when the paths are fine, else the message to show.
std::string CheckMorphPaths(const std::string& from, const std::string& to);

struct MorphResult {
  bool ok = false;
  bool cancelled = false;
  // Paths of the images written, start image first, end image last.
  std::vector<std::string> names;
  // The outcome the status line shows: "22 images written to FOLDER", "Cancelled", or ""
  // after a failure that was told.
  std::string summary;
};

// Loads both pictures, stamps the logo of `doc` (may be null) onto each, and writes the
// start image as `start`, the end image as start + steps + 1 and the blends in between
// into `folder` (made with its parents when missing). Every image is written under a
// temporary name and all are renamed once all are written, so a failure or a Cancel
// leaves the folder as it was. Messages, progress and the outcome go to the Host.
MorphResult MakeMorphImages(Host& host, const CTorvexerDoc* doc, const std::string& from,
                            const std::string& to, const std::string& folder, int steps,
                            int start);

// The outcome after a successful morph: 0 starts a new animation, 1 appends, 2 nothing.
void AddMorphImagesToProject(CTorvexerDoc& doc, const std::vector<std::string>& names, int outcome);

}  // namespace zr
