#include "mpeg/video/skip.h"

#include "mpeg/video/vlc.h"

namespace zr::mpeg {

bool DecideSkip(const SkipContext& c, int flags, int cbp, const MacroblockInfo& mb) {
  // A slice's ends always carry an address, so they are never skipped.
  if (c.firstInSlice || c.lastInSlice || cbp != 0) return false;
  if (c.pictureType == kPictureP) return !(flags & kMbForward);
  if (c.pictureType != kPictureB) return false;
  const int dirs = kMbForward | kMbBackward;
  if ((flags & dirs) != (c.previousFlags & dirs)) return false;
  const int(*pmv)[2] = c.predictors;
  if ((flags & kMbForward) && (mb.mvForward[0] != pmv[0][0] || mb.mvForward[1] != pmv[0][1]))
    return false;
  if ((flags & kMbBackward) && (mb.mvBackward[0] != pmv[1][0] || mb.mvBackward[1] != pmv[1][1]))
    return false;
  return true;
}

}  // namespace zr::mpeg
