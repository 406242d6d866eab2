// `zerarive-cli job FILE.ini`: the unattended job, executed as the desktop program does
// when started with the job file, without a window and without the preview.
#include "app/document.h"
#include "app/settings_file.h"
#include "app/startup.h"
#include "cli/avi_cli.h"
#include "cli/command.h"
#include "output/avi_writer.h"
#include "output/create_avi.h"
#include "output/job.h"
#include "platform/paths.h"

namespace zr::cli {

namespace {

const std::string kUsage = std::string(
    "Usage: zerarive-cli job FILE.ini [--compressor FOURCC] [--quality N] [--keyframe N]\n"
    "         [--fit ask|skip|stretch|centre|place:X,Y] [--background R,G,B]\n"
    "Runs the job the settings file describes: section General gives Output (the AVI),\n"
    "FPS, BPP and Sound, section Images the image paths under 0, 1, 2 ..., section Logo\n"
    "the logo. The job runs whether or not Auto is set. The file is the settings file of\n"
    "the run and is written back only when the run changed a setting.\n") + kCompressorHelp +
    "Exit code 0 when the AVI was made, 1 otherwise.\n";

int RunJob(const std::vector<std::string>& args) {
  Options opts(args, {"compressor", "quality", "keyframe", "fit", "background"});
  if (!opts.ok()) return Fail(opts.error());
  if (opts.positional().size() != 1) return Fail("job needs one FILE.ini (see --help)");
  const std::string& ini = opts.positional()[0];
  if (!FileExists(ini)) return Fail("no job file " + ini);

  AviCliHost host;
  AVICOMPRESSOPTIONS options = DefaultCompressOptions();
  std::string error;
  if (!ApplyAviOutputOptions(opts, host, options, error)) return Fail(error);

  switch (RunUnattendedJob(host, ini, options)) {
    case JobResult::Made: return 0;
    case JobResult::CannotRead: return Fail("cannot read the job file " + ini);
    case JobResult::NoOutput: return Fail(ini + " names no Output in section General");
    default: return 1;
  }
}

CliRegistrar registrar({"job", "run an unattended job file (.ini) into its AVI", kUsage, RunJob});

}  // namespace

}  // namespace zr::cli
