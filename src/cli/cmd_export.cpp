// `zerarive-cli export`: a project's frames as MP4, WebM, GIF, WebP or APNG.
#include "app/document.h"
#include "cli/avi_cli.h"
#include "cli/command.h"
#include "output/export.h"

namespace zr::cli {

namespace {

const std::string kUsage =
    "Usage: zerarive-cli export PROJECT.tvf OUT [--settings FILE.ini] [--fps N] [--sound FILE]\n"
    "         [--fit ask|skip|stretch|centre|place:X,Y] [--background R,G,B]\n"
    "         [--quality Q] [--loop N] [--no-sound]\n"
    "Writes the project's frames into OUT, in the format its extension names:\n"
    "  .mp4   H.264 video, AAC sound        .webm  VP9 video, Opus sound\n"
    "  .gif   animated GIF, one palette     .webp  animated WebP\n"
    "  .apng  animated PNG, lossless\n"
    "Pictures are composed as for an AVI (fit, logo) in 24-bit colour.\n"
    "  --settings FILE.ini  settings file giving the logo\n"
    "  --fps N              frames per second (1..32767)\n"
    "  --sound FILE         sound for MP4 and WebM (WAV, MIDI or AVI)\n"
    "  --fit POLICY         images of another size than the first: ask (default; on a\n"
    "                       terminal, else skip with a warning), skip, stretch, centre,\n"
    "                       place:X,Y\n"
    "  --background R,G,B   frame colour around centred or placed images (default white)\n"
    "  --quality Q          0..100 (MP4, WebM, WebP; default: CRF 18, CRF 31, quality 90)\n"
    "  --loop N             GIF, WebP, APNG: total plays, 0 = forever (default 0)\n"
    "  --no-sound           leave the project's sound out\n"
    "OUT appears only when it is complete; exit code 0 when it was made.\n";

int RunExport(const std::vector<std::string>& args) {
  Options opts(args,
               {"settings", "fps", "sound", "fit", "background", "quality", "loop", "compressor",
                "keyframe"},
               {"no-sound"});
  if (!opts.ok()) return Fail(opts.error());
  if (opts.has("compressor") || opts.has("keyframe")) {
    return Fail("export takes no --compressor or --keyframe: the format comes from OUT's extension");
  }
  if (opts.positional().size() != 2) return Fail("export needs PROJECT.tvf and OUT (see --help)");
  const std::string& project = opts.positional()[0];
  const std::string& output = opts.positional()[1];
  const auto format = ExportFormatFromPath(output);
  if (!format) {
    return Fail("cannot export to " + output + ": the formats are " + ExportFormatList());
  }

  ExportOptions options;
  long long v;
  if (opts.has("quality")) {
    if (!ParseInt(opts.value("quality"), v) || v < 0 || v > 100) return Fail("--quality takes 0..100");
    options.quality = int(v);
  }
  if (opts.has("loop")) {
    if (!ParseInt(opts.value("loop"), v) || v < 0 || v > 65535) return Fail("--loop takes 0..65535");
    options.plays = int(v);
  }
  options.sound = !opts.has("no-sound");

  AviCliHost host;
  std::string error;
  if (!ApplyFitOptions(opts, host, error)) return Fail(error);
  if (options.quality && !ExportUsesQuality(*format)) {
    host.Message(std::string("Note: ") + ExportFormatName(*format) + " ignores --quality",
                 {}, MessageKind::Information);
  }
  CTorvexerDoc doc;
  doc.AttachHost(host);
  if (!OpenProjectForOutput(opts, project, doc, error)) return Fail(error);
  return ExportProject(host, doc, output, options) ? 0 : 1;
}

CliRegistrar registrar({"export", "write a project as MP4, WebM, GIF, WebP or APNG", kUsage,
                        RunExport});

}  // namespace

}  // namespace zr::cli
