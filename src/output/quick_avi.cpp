#include "output/quick_avi.h"

#include <strings.h>

#include <cstdio>
#include <filesystem>

#include "output/avi_writer.h"
#include "output/create_avi.h"
#include "platform/host.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

namespace zr {

namespace {
constexpr const char* kExtensions[] = {".bmp", ".dib", ".gif", ".jpg", ".jpeg", ".pcx",
                                       ".png", ".rle", ".tga", ".tif", ".tiff"};
}

std::string QuickAviPattern::Name(int number) const {
  char digits[24];
  std::snprintf(digits, sizeof digits, "%04d", number);
  return folder + prefix + digits + extension;
}

bool FindQuickAviImages(const std::string& folderIn, QuickAviPattern& pattern) {
  std::string folder = folderIn;
  if (!folder.empty() && folder.back() != '/') folder += '/';
  // Exact spelling first: one query per extension, as on a case-blind file system.
  for (const char* ext : kExtensions) {
    if (FileExists(folder + "Img0001" + ext)) {
      pattern = {folder, "Img", ext};
      return true;
    }
  }
  // Then any letter case, still in the extension order.
  std::error_code ec;
  std::vector<std::string> names;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.size() > 7 && strncasecmp(name.c_str(), "img0001", 7) == 0 && it->is_regular_file(ec))
      names.push_back(name);
  }
  for (const char* ext : kExtensions) {
    for (const auto& name : names) {
      if (strcasecmp(name.c_str() + 7, ext) == 0) {
        pattern = {folder, name.substr(0, 3), name.substr(7)};
        return true;
      }
    }
  }
  return false;
}

int CountQuickAviImages(const QuickAviPattern& pattern) {
  int count = 0;
  while (FileExists(pattern.Name(count + 1))) ++count;
  return count;
}

bool QuickAviCreate(Host& host, const QuickAviRequest& request) {
  QuickAviPattern pattern;
  if (!FindQuickAviImages(request.folder, pattern)) {
    host.Message("No images found");
    return false;
  }
  CAviWriter writer;
  writer.options = request.options;
  writer.SetRate(request.fps);
  writer.SetBits(unsigned(request.bpp < 0 ? 0 : request.bpp));
  writer.applyLogo = request.applyLogo;
  for (int u = 1;; ++u) {
    std::string name = pattern.Name(u);
    if (!FileExists(name)) break;
    writer.AddFrame(name, 1);
  }
  host.SetStatusText("Creating AVI " + request.output + "...");

  return WriteAviWithSound(host, writer, request.sound, request.output, request.programFolder);
}

}  // namespace zr
