// `zerarive-cli compressors`: the video compressors this machine can write AVIs with.
#include <cstdio>

#include "cli/command.h"
#include "platform/avifile/avifile.h"

namespace zr::cli {

namespace {

const char* kUsage =
    "Usage: zerarive-cli compressors [--all]\n"
    "Lists the video compressors (FOURCC for --compressor) that the installed libraries can\n"
    "encode into AVI files, with the options each honours. --all lists the missing too.\n";

int RunCompressors(const std::vector<std::string>& args) {
  Options opts(args, {}, {"all"});
  if (!opts.ok()) return Fail(opts.error());
  std::printf("%-6s %-36s %s\n", "FOURCC", "Name", "Honours");
  for (const AviCompressor& c : AviCompressors()) {
    if (!c.available && !opts.has("all")) continue;
    std::string knobs;
    if (c.hasQuality) knobs += "quality ";
    if (c.hasKeyFrames) knobs += "keyframe ";
    if (c.hasDataRate) knobs += "datarate ";
    if (!c.available) knobs = "(not available)";
    std::printf("%-6s %-36s %s\n", FourCCToString(c.fourcc).c_str(), c.name.c_str(),
                knobs.c_str());
  }
  return 0;
}

CliRegistrar registrar({"compressors", "list the video compressors this machine can write",
                        kUsage, RunCompressors});

}  // namespace

}  // namespace zr::cli
