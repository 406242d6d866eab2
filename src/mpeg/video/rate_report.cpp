#include "mpeg/video/rate_report.h"

#include <cmath>

#include "mpeg/video/format.h"

namespace zr::mpeg {

double AchievedBitRate(const VideoResult& r) {
  return r.seconds > 0 ? double(r.bytes) * 8.0 / r.seconds : 0.0;
}

std::vector<std::string> RateWarnings(const VideoResult& r) {
  std::vector<std::string> lines;
  if (r.underflowPictures > 0)
    lines.push_back(Format("Warning: buffer underflow in %d pictures", r.underflowPictures));
  const double achieved = AchievedBitRate(r);
  if (r.bitRate > 0 && achieved > 1.05 * r.bitRate)
    lines.push_back(Format("Warning: the video is %d %% above its declared bit rate",
                           int(std::lround((achieved / r.bitRate - 1.0) * 100.0))));
  return lines;
}

}  // namespace zr::mpeg
