#include <algorithm>
#include <cctype>
#include <cmath>

#include "platform/export/export_encoder.h"
#include "platform/paths.h"

namespace zr {

std::optional<ExportFormat> ExportFormatFromPath(const std::string& path) {
  std::string ext = PathExtension(path);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  if (ext == "mp4") return ExportFormat::Mp4;
  if (ext == "webm") return ExportFormat::WebM;
  if (ext == "gif") return ExportFormat::Gif;
  if (ext == "webp") return ExportFormat::WebP;
  if (ext == "apng") return ExportFormat::Apng;
  return std::nullopt;
}

const char* ExportFormatList() { return ".mp4, .webm, .gif, .webp, .apng"; }

const char* ExportFormatName(ExportFormat format) {
  switch (format) {
    case ExportFormat::Mp4: return "MP4";
    case ExportFormat::WebM: return "WebM";
    case ExportFormat::Gif: return "GIF";
    case ExportFormat::WebP: return "WebP";
    case ExportFormat::Apng: return "APNG";
  }
  return "";
}

bool ExportCarriesSound(ExportFormat f) { return f == ExportFormat::Mp4 || f == ExportFormat::WebM; }
bool ExportUsesQuality(ExportFormat f) { return f != ExportFormat::Gif && f != ExportFormat::Apng; }
bool ExportLoops(ExportFormat f) { return !ExportCarriesSound(f); }

ExportTiming TimingOf(ExportFormat format, int fps) {
  ExportTiming t;
  switch (format) {
    case ExportFormat::Mp4:
    case ExportFormat::WebM:
      t.unitsPerSecond = fps;
      break;
    case ExportFormat::Gif:
      t = {false, 100, 65535, 2};
      break;
    case ExportFormat::WebP:
      t = {false, 1000, 0xFFFFFF, 20};  // the frame duration field has 24 bits
      break;
    case ExportFormat::Apng:
      // Delays as frames / fps keep the project's timing exact; 16-bit numerator.
      t = {false, fps, 65535, std::max<int64_t>(1, (int64_t(fps) + 49) / 50)};
      break;
  }
  return t;
}

namespace {
int Scaled(std::optional<int> quality, int top, int fallback) {
  if (!quality) return fallback;
  int q = std::clamp(*quality, 0, 100);
  return int(std::lround(double(top) * (100 - q) / 100.0));
}
}  // namespace

int Mp4Crf(std::optional<int> quality) { return Scaled(quality, 51, 18); }
int WebmCrf(std::optional<int> quality) { return Scaled(quality, 63, 31); }
int WebpQuality(std::optional<int> quality) {
  return quality ? std::clamp(*quality, 0, 100) : 90;
}

}  // namespace zr
