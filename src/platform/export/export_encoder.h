// The export platform layer: composed pictures in, an MP4, WebM, GIF, WebP or APNG file
// out, over FFmpeg's libraries and libwebp's animation encoder. It knows nothing of
// projects; the caller decides what each picture stands for and how long it shows.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/raster.h"

namespace zr {

enum class ExportFormat { Mp4, WebM, Gif, WebP, Apng };

// By the path's extension, case-insensitive; nullopt for any other.
std::optional<ExportFormat> ExportFormatFromPath(const std::string& path);
// ".mp4, .webm, .gif, .webp, .apng"
const char* ExportFormatList();
const char* ExportFormatName(ExportFormat format);  // "MP4", "WebM", ...
bool ExportCarriesSound(ExportFormat format);
bool ExportUsesQuality(ExportFormat format);
bool ExportLoops(ExportFormat format);

// How a picture's duration is counted. Video formats show pictures at a constant rate
// (duration = a repeat count); the animated image formats give each picture a delay.
struct ExportTiming {
  bool constantRate = true;
  int64_t unitsPerSecond = 1;
  int64_t maxDelay = 0;  // longest delay of one picture, in units
  int64_t minDelay = 1;  // shorter ones are shown as 1/10 s by viewers
};
ExportTiming TimingOf(ExportFormat format, int fps);

// The encoder settings a `--quality` of 0..100 gives; nullopt means the defaults.
int Mp4Crf(std::optional<int> quality);   // default 18
int WebmCrf(std::optional<int> quality);  // default 31
int WebpQuality(std::optional<int> quality);  // default 90

class ExportSound;

struct ExportSettings {
  ExportFormat format = ExportFormat::Mp4;
  int width = 0, height = 0;  // the composed pictures' size
  int fps = 10;
  std::optional<int> quality;  // 0..100
  int plays = 0;               // total plays of an animated image; 0 forever
  std::shared_ptr<ExportSound> sound;  // MP4 and WebM only; may be null
};

class ExportEncoder {
 public:
  virtual ~ExportEncoder() = default;
  // Writes `path` (the caller's temporary name; nothing is renamed here). nullptr with
  // `error` set (one line) when the encoder, the muxer or the file cannot be had.
  static std::unique_ptr<ExportEncoder> Open(const ExportSettings& settings,
                                             const std::string& path, std::string& error);

  // GIF builds one palette from every picture before any is written: the caller feeds
  // all pictures once through AddPaletteSample, then EndPalettePass, then AddPicture.
  virtual bool NeedsPalettePass() const { return false; }
  virtual bool AddPaletteSample(const Bitmap& /*picture*/) { return true; }
  virtual bool EndPalettePass() { return true; }

  // One picture of the settings' size shown for `duration` units of TimingOf().
  virtual bool AddPicture(const Bitmap& picture, int64_t duration) = 0;
  // Flushes everything and closes the file; the sound is cut or padded to the video.
  virtual bool Finish() = 0;

  const std::string& error() const { return error_; }

 protected:
  bool Fail(std::string text) {
    if (error_.empty()) error_ = std::move(text);
    return false;
  }
  std::string error_;
};

}  // namespace zr
