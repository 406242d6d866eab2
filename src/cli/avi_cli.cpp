#include "cli/avi_cli.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <strings.h>

#include "app/document.h"
#include "app/settings_file.h"
#include "app/startup.h"
#include "output/compose.h"
#include "platform/paths.h"

namespace zr::cli {

const char* const kCompressorHelp =
    "  --compressor FOURCC  video compressor (default msvc; see 'zerarive-cli compressors')\n"
    "  --quality N          compressor quality 0..10000 (default 10000)\n"
    "  --keyframe N         a key frame every N frames (default 20)\n"
    "  --fit POLICY         images of another size than the first: ask (default; on a\n"
    "                       terminal, else skip with a warning), skip, stretch, centre,\n"
    "                       place:X,Y (X and Y may be negative); applies to every image\n"
    "  --background R,G,B   frame colour around centred or placed images (default white)\n";

bool ParseColor(const std::string& text, ColorRef& out) {
  int rgb[3];
  size_t start = 0;
  for (int i = 0; i < 3; ++i) {
    size_t end = text.find(',', start);
    if ((i < 2) != (end != std::string::npos)) return false;
    long long v;
    if (!ParseInt(text.substr(start, end == std::string::npos ? std::string::npos : end - start),
                  v) ||
        v < 0 || v > 255) {
      return false;
    }
    rgb[i] = int(v);
    start = end + 1;
  }
  out = Rgb(uint8_t(rgb[0]), uint8_t(rgb[1]), uint8_t(rgb[2]));
  return true;
}

bool AviCliHost::SetFit(const std::string& text) {
  if (text == "ask") {
    fixed_.reset();
    return true;
  }
  ImageSizeAnswer a;
  a.keep = true;
  if (text == "skip") {
    a.choice = 0;
  } else if (text == "stretch" || text == "resize") {
    a.choice = 1;
  } else if (text == "centre" || text == "center") {
    a.choice = 2;
  } else if (text.rfind("place:", 0) == 0) {
    std::string xy = text.substr(6);
    size_t comma = xy.find(',');
    long long x, y;
    if (comma == std::string::npos || !ParseInt(xy.substr(0, comma), x) ||
        !ParseInt(xy.substr(comma + 1), y) || x < INT32_MIN || x > INT32_MAX || y < INT32_MIN ||
        y > INT32_MAX) {
      return false;
    }
    a.choice = 3;
    a.x = int(x);
    a.y = int(y);
  } else {
    return false;
  }
  fixed_ = a;
  return true;
}

std::optional<ImageSizeAnswer> AviCliHost::AskImageSize(const ImageSizeQuestion& question) {
  const std::string& path = question.imagePath;
  if (fixed_) {
    ImageSizeAnswer a = *fixed_;
    a.background = background_;
    return a;
  }
  // Both sizes, as the desktop program's question shows them.
  const std::string sizes = " (image " + std::to_string(question.imageWidth) + "x" +
                            std::to_string(question.imageHeight) + ", frame " +
                            std::to_string(question.frameWidth) + "x" +
                            std::to_string(question.frameHeight) + ")";
  if (!interactive()) {
    Message("Warning: skipped " + path + ": its size differs from the first image's" + sizes, {},
            MessageKind::Warning);
    return ImageSizeAnswer{};
  }
  Message("The size of the image " + path + sizes +
              " does not match the size of the animation frame.",
          {}, MessageKind::Warning);
  for (;;) {
    std::fprintf(stderr,
                 "[s]kip, [r]esize to fit, [c]entre, [p]lace at x,y, or [q] to cancel; add '!' "
                 "to do the same for all the images that follow (e.g. c!): ");
    std::string line;
    if (!std::getline(std::cin, line)) return std::nullopt;
    ImageSizeAnswer a;
    a.background = background_;
    if (!line.empty() && line.back() == '!') {
      a.keep = true;
      line.pop_back();
    }
    if (line == "q") return std::nullopt;
    if (line == "s" || line.empty()) return a;
    if (line == "r") a.choice = 1;
    else if (line == "c") a.choice = 2;
    else if (line == "p") {
      std::fprintf(stderr, "x,y: ");
      std::string xy;
      if (!std::getline(std::cin, xy)) return std::nullopt;
      size_t comma = xy.find(',');
      a.choice = 3;
      a.x = LeadingNumber(xy.substr(0, comma));
      a.y = comma == std::string::npos ? 0 : LeadingNumber(xy.substr(comma + 1));
    } else {
      continue;
    }
    return a;
  }
}

bool ApplyCompressorOptions(const Options& opts, AVICOMPRESSOPTIONS& options, std::string& error) {
  if (opts.has("compressor")) {
    std::string text = opts.value("compressor");
    if (text.empty() || text.size() > 4) {
      error = "--compressor takes a FOURCC such as msvc, DIB, MJPG";
      return false;
    }
    uint32_t fourcc = FourCCFromString(text);
    const AviCompressor* found = nullptr;
    for (auto& c : AviCompressors()) {
      if (FourCCToString(c.fourcc) == FourCCToString(fourcc) ||
          (text.size() == 4 && strcasecmp(FourCCToString(c.fourcc).c_str(), text.c_str()) == 0)) {
        found = &c;
      }
    }
    if (!found || !found->available) {
      error = "compressor '" + text + "' is not available here (see 'zerarive-cli compressors')";
      return false;
    }
    options.fccHandler = found->fourcc;
  }
  long long v;
  if (opts.has("quality")) {
    if (!ParseInt(opts.value("quality"), v) || v < 0 || v > 10000) {
      error = "--quality takes 0..10000";
      return false;
    }
    options.dwQuality = uint32_t(v);
  }
  if (opts.has("keyframe")) {
    if (!ParseInt(opts.value("keyframe"), v) || v < 0 || v > 100000) {
      error = "--keyframe takes 0..100000";
      return false;
    }
    options.dwKeyFrameEvery = uint32_t(v);
    if (v > 0) options.dwFlags |= AVICOMPRESSF_KEYFRAMES;
  }
  return true;
}

bool ApplyFitOptions(const Options& opts, AviCliHost& host, std::string& error) {
  if (opts.has("fit") && !host.SetFit(opts.value("fit"))) {
    error = "bad --fit value (see --help)";
    return false;
  }
  if (opts.has("background")) {
    ColorRef c;
    if (!ParseColor(opts.value("background"), c)) {
      error = "--background takes R,G,B";
      return false;
    }
    host.SetBackground(c);
  }
  return true;
}

bool ApplyAviOutputOptions(const Options& opts, AviCliHost& host, AVICOMPRESSOPTIONS& options,
                           std::string& error) {
  return ApplyFitOptions(opts, host, error) && ApplyCompressorOptions(opts, options, error);
}

bool OpenProjectForOutput(const Options& opts, const std::string& project, CTorvexerDoc& doc,
                          std::string& error) {
  doc.SetUnattended(true);
  if (!doc.OnOpenDocument(project) || doc.LastReadResult() != ProjectRead::Ok) {
    error = project + " is not a readable project";
    return false;
  }
  std::string ini = opts.value("settings", doc.programFolder() + "Zerarive.ini");
  SettingsError why = SettingsError::None;
  std::error_code gone;
  // A folder of that name is there but unreadable, not missing.
  if (opts.has("settings") && !std::filesystem::exists(ini, gone)) {
    error = "no settings file " + ini;
    return false;
  }
  // Only an absent default file means "no settings"; one that is there must be read.
  if (!doc.settings().Load(ini, true, &why) && std::filesystem::exists(ini, gone)) {
    error = ini + ": " + SettingsErrorText(why);
    return false;
  }
  ApplyLogoSettings(ReadJob(doc.settings()), doc);
  doc.PrepareLogo();
  doc.UpdatePanel();
  long long v;
  if (opts.has("fps")) {
    if (!ParseInt(opts.value("fps"), v) || v < 1 || v > 32767) {
      error = "--fps takes 1..32767";
      return false;
    }
    doc.windows().SetFpsText(opts.value("fps"));
  }
  if (opts.has("sound")) doc.sSoundFile = opts.value("sound");
  return true;
}

}  // namespace zr::cli
