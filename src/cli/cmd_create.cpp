// `zerarive-cli create`: a project's frames into an AVI, as Create AVI does after
// File > Open, with command-line overrides.
#include <cstdio>

#include "app/document.h"
#include "app/settings_file.h"
#include "app/startup.h"
#include "cli/avi_cli.h"
#include "cli/command.h"
#include "output/avi_writer.h"
#include "output/create_avi.h"
#include "platform/paths.h"

namespace zr::cli {

namespace {

const std::string kUsage = std::string(
    "Usage: zerarive-cli create PROJECT.tvf OUT.avi [--settings FILE.ini]\n"
    "         [--compressor FOURCC] [--quality N] [--keyframe N] [--fps N] [--depth 8|16|24]\n"
    "         [--sound FILE] [--fit ask|skip|stretch|centre|place:X,Y] [--background R,G,B]\n"
    "Writes the project's frames (frame counts, rate, depth, sound as saved in it) into\n"
    "OUT.avi; the options override the project. The logo comes from the settings file\n"
    "(Zerarive.ini in the program folder unless --settings).\n"
    "  --settings FILE.ini  settings file giving the logo\n"
    "  --fps N              frames per second (1..32767)\n"
    "  --depth BITS         colour depth of the frames: 8, 16 or 24\n"
    "  --sound FILE         sound to merge in (WAV, MIDI or AVI)\n") + kCompressorHelp +
    "OUT.avi appears only when it is complete; exit code 0 when it was made.\n";

int RunCreate(const std::vector<std::string>& args) {
  Options opts(args,
               {"settings", "compressor", "quality", "keyframe", "fps", "depth", "sound", "fit",
                "background"});
  if (!opts.ok()) return Fail(opts.error());
  if (opts.positional().size() != 2) return Fail("create needs PROJECT.tvf and OUT.avi (see --help)");
  const std::string& project = opts.positional()[0];
  const std::string& output = opts.positional()[1];

  AviCliHost host;
  AVICOMPRESSOPTIONS options = DefaultCompressOptions();
  std::string error;
  if (!ApplyAviOutputOptions(opts, host, options, error)) return Fail(error);

  CTorvexerDoc doc;
  doc.AttachHost(host);
  if (!OpenProjectForOutput(opts, project, doc, error)) return Fail(error);
  long long v;
  if (opts.has("depth")) {
    if (!ParseInt(opts.value("depth"), v) || (v != 8 && v != 16 && v != 24)) {
      return Fail("--depth takes 8, 16 or 24");
    }
    doc.SetDepth(int(v));
  }
  return CreateAvi(host, doc, output, options) ? 0 : 1;
}

CliRegistrar registrar({"create", "write a project's frames into an AVI file", kUsage, RunCreate});

}  // namespace

}  // namespace zr::cli
