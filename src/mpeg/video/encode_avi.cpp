#include <cstdio>

#include "mpeg/avi_input.h"
#include "mpeg/video/encoder.h"
#include "mpeg/video/format.h"
#include "platform/atomic_file.h"

namespace zr::mpeg {

bool VideoEncoder::Encode(AviInput& input, const std::string& m1vPath, ConvertLog& log,
                          VideoSettings& settings) {
  VideoParams params;
  if (!SetVideoParameters(input.info(), settings, log, params)) return false;
  input.SetSubstituteMissingFrames(settings.substituteMissingFrames);

  // Written under a temporary name: an abandoned stream never sits under the real one.
  AtomicFile target(m1vPath);
  std::FILE* file = std::fopen(target.tempPath().c_str(), "wb");
  if (!file) {
    log.Line(Format("Error: couldn't open output file: %s", m1vPath.c_str()));
    return false;
  }
  bool ok = EncodeStream(input, params, file, log, settings.threads);
  bool written = std::fclose(file) == 0;
  if (ok && !(written && target.Commit())) {
    log.Line(Format("Error: couldn't write output file: %s", m1vPath.c_str()));
    return false;
  }
  return ok;
}

}  // namespace zr::mpeg
