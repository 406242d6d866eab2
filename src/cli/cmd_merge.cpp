// `zerarive-cli merge`: an AVI with the sound of a WAV, MIDI or AVI file.
#include "cli/avi_cli.h"
#include "cli/command.h"
#include "output/merge.h"

namespace zr::cli {

namespace {

const char* kUsage =
    "Usage: zerarive-cli merge VIDEO.avi SOUND OUT.avi\n"
    "Writes every stream of VIDEO.avi followed by every stream of SOUND (a WAV, MIDI or\n"
    "AVI file; at most 20 streams in all) into OUT.avi, unconverted. MIDI is rendered with\n"
    "the General MIDI sound font. OUT.wav writes the first sound alone as a wave file.\n"
    "OUT appears only when it is complete; exit code 0 when it was made.\n";

int RunMerge(const std::vector<std::string>& args) {
  Options opts(args, {});
  if (!opts.ok()) return Fail(opts.error());
  if (opts.positional().size() != 3) return Fail("merge needs VIDEO SOUND OUT (see --help)");
  AviCliHost host;
  MergeFailure failure;
  std::string unopened;
  const auto& p = opts.positional();
  if (MergeStreams(host, p[0], p[1], p[2], &failure, &unopened)) return 0;
  if (failure == MergeFailure::CannotOpen) {
    return Fail(unopened == p[1] ? CannotOpenMessage(unopened) : "Could not open " + unopened);
  }
  return 1;
}

CliRegistrar registrar({"merge", "merge an AVI with the sound of a WAV, MIDI or AVI file", kUsage,
                        RunMerge});

}  // namespace

}  // namespace zr::cli
