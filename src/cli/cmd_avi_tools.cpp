// `quick`, `extract-images`, `extract-sound` and `morph`: the AVI tools of the Effects and
// File menus for scripts.
#include <cstdio>

#include "app/document.h"
#include "cli/avi_cli.h"
#include "cli/command.h"
#include "output/avi_writer.h"
#include "output/extract.h"
#include "output/morph.h"
#include "output/quick_avi.h"
#include "platform/paths.h"

namespace zr::cli {

namespace {

const std::string kQuickUsage =
    std::string(
        "Usage: zerarive-cli quick FOLDER OUT.avi [--sound FILE] [--fps N] [--depth 8|16|24]\n"
        "         [--compressor FOURCC] [--quality N] [--keyframe N]\n"
        "         [--fit ask|skip|stretch|centre|place:X,Y] [--background R,G,B]\n"
        "Makes OUT.avi from the numbered images FOLDER/Img0001.ext, Img0002.ext, ... (one\n"
        "frame each, up to the first missing number). The extension is the first of bmp, dib,\n"
        "gif, jpg, jpeg, pcx, png, rle, tga, tif, tiff for which Img0001 exists; any letter\n"
        "case is accepted. Defaults: 10 fps, 24 bits, Video 1.\n") +
    kCompressorHelp;

int RunQuick(const std::vector<std::string>& args) {
  Options opts(args,
               {"sound", "fps", "depth", "compressor", "quality", "keyframe", "fit", "background"});
  if (!opts.ok()) return Fail(opts.error());
  if (opts.positional().size() != 2) return Fail("quick needs FOLDER and OUT.avi (see --help)");
  AviCliHost host;
  QuickAviRequest request;
  request.folder = opts.positional()[0];
  request.output = opts.positional()[1];
  request.sound = opts.value("sound");
  request.programFolder = ProgramFolder();
  request.options = DefaultCompressOptions();
  std::string error;
  if (!ApplyAviOutputOptions(opts, host, request.options, error)) return Fail(error);
  long long v;
  if (opts.has("fps")) {
    if (!ParseInt(opts.value("fps"), v) || v < 1 || v > 32767) return Fail("--fps takes 1..32767");
    request.fps = int(v);
  }
  if (opts.has("depth")) {
    if (!ParseInt(opts.value("depth"), v) || (v != 8 && v != 16 && v != 24))
      return Fail("--depth takes 8, 16 or 24");
    request.bpp = int(v);
  }
  if (!FolderExists(request.folder)) return Fail("no folder " + request.folder);
  return QuickAviCreate(host, request) ? 0 : 1;
}

// One line naming the first file a run would replace, unless --overwrite allows it.
bool RefuseToReplace(const std::vector<std::string>& existing, const Options& opts) {
  if (existing.empty() || opts.has("overwrite")) return false;
  std::fprintf(stderr, "zerarive-cli: %s exists (%zu file(s) would be replaced); use --overwrite\n",
               existing.front().c_str(), existing.size());
  return true;
}

int RunExtractImages(const std::vector<std::string>& args) {
  Options opts(args, {"to"}, {"overwrite"});
  if (!opts.ok()) return Fail(opts.error());
  if (opts.positional().size() != 1) return Fail("extract-images needs IN.avi (see --help)");
  const std::string samples = SamplesFolder(ProgramFolder());
  std::string folder = opts.value("to", samples);
  if (RefuseToReplace(SampleFilesToReplace(folder), opts)) return 1;
  TerminalHost host(true);
  HostExtractProgress progress(host);
  ExtractImagesResult result = ExtractImages(host, opts.positional()[0], folder, progress, samples);
  if (!result.ok) return 1;
  std::printf("%s\n", result.summary.c_str());
  return result.failedFrames.empty() ? 0 : 1;
}

int RunExtractSound(const std::vector<std::string>& args) {
  Options opts(args, {});
  if (!opts.ok()) return Fail(opts.error());
  if (opts.positional().size() != 2) return Fail("extract-sound needs IN.avi and OUT (see --help)");
  TerminalHost host(true);
  if (!ExtractSound(host, opts.positional()[0], opts.positional()[1])) return 1;
  std::printf("Sound file extracted\n");
  return 0;
}

int RunMorph(const std::vector<std::string>& args) {
  Options opts(args, {"steps", "start", "to"}, {"overwrite"});
  if (!opts.ok()) return Fail(opts.error());
  if (opts.positional().size() != 2) return Fail("morph needs FROM and TO images (see --help)");
  if (!opts.has("to")) return Fail("morph needs --to DIR");
  const std::string& from = opts.positional()[0];
  const std::string& to = opts.positional()[1];
  std::string problem = CheckMorphPaths(from, to);
  if (!problem.empty()) return Fail(problem);
  int steps = MorphStepsFromText(opts.value("steps", "20"));
  int start = MorphStartFromText(opts.value("start", "1"));
  if (RefuseToReplace(MorphFilesToReplace(opts.value("to"), steps, start), opts)) return 1;
  TerminalHost host(true);
  MorphResult result = MakeMorphImages(host, nullptr, from, to, opts.value("to"), steps, start);
  if (!result.ok) return 1;
  std::printf("%s\n", result.summary.c_str());
  return 0;
}

CliRegistrar quick({"quick", "make an AVI from a folder of numbered images", kQuickUsage,
                    RunQuick});
CliRegistrar extractImages(
    {"extract-images", "write every frame of an AVI as a BMP file",
     "Usage: zerarive-cli extract-images IN.avi [--to DIR] [--overwrite]\n"
     "Writes every frame of every video stream as DIR/SS_FFFFF.bmp (stream and frame\n"
     "number). DIR defaults to the program folder's Samples folder and is made when\n"
     "missing. When DIR holds sample files already, nothing is done unless --overwrite\n"
     "is given; then the earlier sample files go once the new set is complete (other\n"
     "files are left alone). A failure or a signal leaves DIR as it was.\n",
     RunExtractImages});
CliRegistrar extractSound(
    {"extract-sound", "save the sound of an AVI as a WAV or AVI file",
     "Usage: zerarive-cli extract-sound IN.avi OUT\n"
     "Saves the first audio stream of IN.avi unconverted; OUT's extension chooses the file\n"
     "type (.wav or .avi).\n",
     RunExtractSound});
CliRegistrar morph(
    {"morph", "fade one image into another as numbered BMP files",
     "Usage: zerarive-cli morph FROM TO --to DIR [--steps N] [--start N] [--overwrite]\n"
     "Writes DIR/ImgSSSS.bmp (FROM), N in-between images and the TO image, numbered from\n"
     "--start (default 1). --steps is clamped to 1..254 (default 20). DIR is made when\n"
     "missing. When any of those files exists, nothing is done unless --overwrite is\n"
     "given. The images appear all at once: a failure or a signal leaves DIR as it was.\n",
     RunMorph});

}  // namespace

}  // namespace zr::cli
