// `zerarive-cli project`: creates or edits a .tvf project from a script, and the `info`
// description of a project.
#include <cstdio>
#include <filesystem>

#include "app/document.h"
#include "app/frame_list.h"
#include "cli/command.h"
#include "cli/info.h"
#include "image/image_dispatch.h"
#include "platform/paths.h"

namespace zr::cli {

namespace {

const char* kUsage =
    "Usage: zerarive-cli project PROJECT.tvf [--add IMAGE... [--frames N]] [--fps N]\n"
    "                            [--depth 8|16|24] [--sound FILE | --no-sound]\n"
    "Creates PROJECT.tvf, or edits it when it exists, and saves it.\n"
    "  --add IMAGE...  append the images (every argument up to the next option), each\n"
    "                  shown under its file name; a second image of the same file name\n"
    "                  replaces the first one's path for both rows\n"
    "  --frames N      frames each added image is shown for (default 1)\n"
    "  --fps N         frames per second of the AVI (1 to 32767)\n"
    "  --depth BITS    colour depth of the AVI: 8, 16 or 24\n"
    "  --sound FILE    attach a sound file; --no-sound detaches it\n"
    "The project file is replaced only once the new one is completely written.\n";

std::string Absolute(const std::string& path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(path, ec);
  return ec ? path : p.lexically_normal().string();
}

bool ParseRange(const std::string& text, long long low, long long high, long long& value) {
  return ParseInt(text, value) && value >= low && value <= high;
}

const char* DepthText(int16_t bpp) { return bpp == 8 ? "8-bit" : bpp == 16 ? "16-bit" : "24-bit"; }

// Opens an existing project for the CLI: anything but a clean read is an error, so a
// file that is not a project is never overwritten.
bool OpenExisting(CTorvexerDoc& doc, const std::string& path) {
  if (doc.OnOpenDocument(path) && doc.LastReadResult() == ProjectRead::Ok) return true;
  Fail(path + " is not a readable project; nothing was changed");
  return false;
}

int RunProject(const std::vector<std::string>& args) {
  std::string project;
  std::vector<std::string> images;
  std::string framesText, fpsText, depthText, sound;
  bool noSound = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    if (a == "--add") {
      size_t before = images.size();
      while (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) images.push_back(args[++i]);
      if (images.size() == before) return Fail("--add needs at least one IMAGE");
    } else if (a == "--frames" || a == "--fps" || a == "--depth" || a == "--sound") {
      std::string& out = a == "--frames"  ? framesText
                         : a == "--fps"   ? fpsText
                         : a == "--depth" ? depthText
                                          : sound;
      if (!value(out)) return Fail("option " + a + " needs a value");
    } else if (a == "--no-sound") {
      noSound = true;
    } else if (a.rfind("--", 0) == 0) {
      return Fail("unknown option " + a + " (see --help)");
    } else if (project.empty()) {
      project = a;
    } else {
      return Fail("unexpected argument " + a + " (images follow --add)");
    }
  }
  if (project.empty()) return Fail("project needs a PROJECT.tvf (see --help)");
  if (!framesText.empty() && images.empty()) return Fail("--frames applies to --add images");
  if (!sound.empty() && noSound) return Fail("--sound and --no-sound exclude each other");

  long long frames = 1, fps = 0, depth = 0;
  if (!framesText.empty() && !ParseRange(framesText, 1, INT32_MAX, frames))
    return Fail("--frames must be a whole number of at least 1");
  if (!fpsText.empty() && !ParseRange(fpsText, 1, 32767, fps))
    return Fail("--fps must be a whole number from 1 to 32767");
  if (!depthText.empty() &&
      (!ParseInt(depthText, depth) || (depth != 8 && depth != 16 && depth != 24)))
    return Fail("--depth must be 8, 16 or 24");
  for (const std::string& image : images)
    if (!FileExists(image)) return Fail("no such image: " + image);
  if (!sound.empty() && !FileExists(sound)) return Fail("no such sound file: " + sound);

  TerminalHost host(true);
  CTorvexerDoc doc;
  doc.AttachHost(host);
  if (FileExists(project) && !OpenExisting(doc, project)) return 1;

  std::vector<std::string> paths;
  for (const std::string& image : images) paths.push_back(Absolute(image));
  doc.AddImages(paths, FrameNaming::FileName, FrameOrder::AsGiven, int(frames));
  if (fps) doc.windows().SetFpsText(std::to_string(fps));
  if (depth) doc.SetDepth(int(depth));
  if (!sound.empty()) doc.AttachSound(Absolute(sound));
  if (noSound) doc.DetachSound();

  if (!doc.OnSaveDocument(project)) return 1;
  std::printf("%s: %d frame rows, %d fps, %s%s%s\n", project.c_str(), doc.frames.FrameCount(),
              int(doc.nFps), DepthText(doc.nBpp), doc.sSoundFile.empty() ? "" : ", sound ",
              doc.sSoundFile.c_str());
  return 0;
}

int DescribeProject(const std::string& path) {
  TerminalHost host(true);
  CTorvexerDoc doc;
  doc.AttachHost(host);
  if (!doc.OnOpenDocument(path) || doc.LastReadResult() != ProjectRead::Ok)
    return Fail(path + " is not a readable project");
  const FrameList& list = doc.frames;
  long long total = 0;
  for (int r = 1; r <= list.FrameCount(); ++r) total += list.Frames(r);
  std::printf("%s: project, version %d\n", path.c_str(), int(doc.FileVersion()));
  std::printf("  frames per second: %d\n", int(doc.nFps));
  std::printf("  colour depth:      %d (%s)\n", int(doc.nBpp), DepthText(doc.nBpp));
  std::printf("  sound:             %s\n",
              doc.sSoundFile.empty() ? "(none)" : doc.sSoundFile.c_str());
  std::printf("  rows:              %d (%lld video frames)\n", list.FrameCount(), total);
  for (int r = 1; r <= list.FrameCount(); ++r) {
    const std::string& name = list.Name(r);
    std::string imagePath = doc.GetImagePath(name);
    std::string size = "no path recorded";
    if (!imagePath.empty()) {
      ImageFileInfo info;
      std::string error;
      if (ReadImageFileInfo(imagePath, info, &error))
        size = std::to_string(info.width) + "x" + std::to_string(info.height) + ", " +
               std::to_string(info.bitCount) + "-bit " + info.format;
      else
        size = error.empty() ? "cannot be read" : error;
    }
    std::printf("  %4d  %-24s %6s frames  %s  [%s]\n", r, name.c_str(),
                list.Text(r, FrameList::kFramesColumn).c_str(), imagePath.c_str(), size.c_str());
  }
  return 0;
}

CliRegistrar reg({"project", "create or edit a .tvf project", kUsage, RunProject});
InfoRegistrar info({{"TVF"}, DescribeProject});

}  // namespace

}  // namespace zr::cli
