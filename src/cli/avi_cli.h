// What the AVI commands share: the terminal's answer to the size dialog (--fit) and the
// compression options given on the command line.
#pragma once

#include <optional>
#include <string>

#include "cli/command.h"
#include "platform/avifile/avifile.h"
#include "platform/host.h"

namespace zr {
class CTorvexerDoc;
}

namespace zr::cli {

// A TerminalHost that answers the size dialog from --fit. "ask" prompts on a terminal
// (starting from the dialog's defaults each time, Cancel included) and otherwise skips
// the image with a warning.
class AviCliHost : public TerminalHost {
 public:
  AviCliHost() : TerminalHost(true) {}
  std::optional<ImageSizeAnswer> AskImageSize(const ImageSizeQuestion& question) override;
  // "ask", "skip", "stretch", "centre" (or "center"), "place:X,Y". False on junk.
  bool SetFit(const std::string& text);
  void SetBackground(ColorRef color) { background_ = color; }

 private:
  std::optional<ImageSizeAnswer> fixed_;
  ColorRef background_ = 0xFFFFFF;
};

// "R,G,B" with each 0..255.
bool ParseColor(const std::string& text, ColorRef& out);
// --compressor FOURCC, --quality 0..10000, --keyframe N applied to `options`; false with
// `error` set on a bad value or a compressor this machine cannot encode.
bool ApplyCompressorOptions(const Options& opts, AVICOMPRESSOPTIONS& options, std::string& error);

// --fit and --background into `host`, the compressor options into `options`; false with
// `error` set on a bad value.
bool ApplyAviOutputOptions(const Options& opts, AviCliHost& host, AVICOMPRESSOPTIONS& options,
                           std::string& error);

// --fit and --background into `host`; false with `error` set on a bad value.
bool ApplyFitOptions(const Options& opts, AviCliHost& host, std::string& error);

// Opens `project` for an output command and applies --settings (the logo), --fps and
// --sound to it; false with `error` set.
bool OpenProjectForOutput(const Options& opts, const std::string& project, CTorvexerDoc& doc,
                          std::string& error);

// The options text shared by the help of create and job.
extern const char* const kCompressorHelp;

}  // namespace zr::cli
