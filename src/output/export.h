// Export: the frame list as an MP4, WebM, animated GIF, WebP or APNG file, chosen by the
// output's extension. Composed as for an AVI (load, fit, logo), always in 24-bit colour.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/export/export_encoder.h"

namespace zr {

class CBmp;
class CTorvexerDoc;
class Host;

struct ExportOptions {
  std::optional<int> quality;  // 0..100; nullopt: each format's default
  int plays = 0;               // GIF, WebP, APNG: total plays, 0 forever
  bool sound = true;           // MP4, WebM: include the project's sound
};

struct ExportJob {
  std::vector<std::string> paths;
  std::vector<uint32_t> counts;  // one per path; 0 counts as 1
  int fps = 10;
  std::string sound;  // empty: none
  std::function<void(CBmp&)> applyLogo;
  ExportOptions options;
  bool pipelined = true;
};

// Is `path` one of the export formats (by extension)?
bool IsExportPath(const std::string& path);

// The delays of the pictures each entry becomes, in `timing` units: rounded with the
// error carried so every entry boundary is where the frame counts put it; a delay over
// the maximum split into several pictures; an entry shorter than the minimum merged into
// the next (the last one takes over the previous picture instead). Constant-rate formats
// get one picture per entry, its frame count.
std::vector<std::vector<int64_t>> PlanDelays(const std::vector<uint32_t>& counts, int fps,
                                             const ExportTiming& timing);

// Writes `path` through a temporary name, renamed when complete. Messages, status texts
// and progress go to `host`, which is polled for Cancel at every picture. True when the
// file was made; on false nothing new is left behind.
bool ExportAnimation(Host& host, const ExportJob& job, const std::string& path);

// The project as an export, as CreateAvi does for an AVI: the panel's fps, the frame
// list, the logo and the attached sound.
bool ExportProject(Host& host, CTorvexerDoc& doc, const std::string& path, const ExportOptions& options);

}  // namespace zr
