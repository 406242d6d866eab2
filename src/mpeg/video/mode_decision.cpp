#include "mpeg/video/mode_decision.h"

#include <cstdlib>

#include "mpeg/video/hq_mode.h"
#include "mpeg/video/vlc.h"

namespace zr::mpeg {

namespace {

constexpr int kIntraFloor = 9 * 256;  // a prediction this good is never replaced by intra
// Squared-error margins worth about the bits of a vector pair / of one vector.
constexpr int kInterpolatedPenalty = 96;
constexpr int kMotionPenalty = 128;

}  // namespace

void ChooseMode(int type, const ModeCosts& c, MacroblockInfo& mb) {
  if (type == kPictureP) {
    if (c.forward > c.intraVariance && c.forward >= kIntraFloor) {
      mb.flags = kMbIntra;
      mb.decision = c.intraVariance;
      return;
    }
    // The zero vector can be skipped or coded without vector bits.
    if (c.zero > c.forward + kMotionPenalty) {
      mb.flags = kMbForward;
      mb.decision = c.forward;
    } else {
      mb.flags = 0;
      mb.decision = c.zero;
    }
    return;
  }
  int best = c.forward, flags = kMbForward;
  if (c.backward < best) {
    best = c.backward;
    flags = kMbBackward;
  }
  if (c.interpolated + kInterpolatedPenalty < best) {
    best = c.interpolated;
    flags = kMbForward | kMbBackward;
  }
  if (best > c.intraVariance && best >= kIntraFloor) {
    mb.flags = kMbIntra;
    mb.decision = c.intraVariance;
    return;
  }
  mb.flags = flags;
  mb.decision = best;
}

bool TrimTrailingOnes(bool intra, const int16_t* coef, int16_t* levels, const uint8_t* matrix,
                      int mquant) {
  const int first = intra ? 1 : 0;
  int last = -1;
  for (int i = 63; i >= first; --i)
    if (levels[kZigZag[i]] != 0) {
      last = i;
      break;
    }
  while (last >= first) {
    const int pos = kZigZag[last];
    if (std::abs(levels[pos]) != 1) break;
    int prev = last - 1;
    while (prev >= first && levels[kZigZag[prev]] == 0) --prev;
    const int run = last - prev - 1;
    // Bits saved: the pair (or its 20-bit escape) and its sign; an emptied non-intra block
    // also saves its end of block.
    const Vlc code = CoefficientCode(run, 1);
    int bits = code.len ? code.len + 1 : 20;
    if (!intra && prev < first) bits += 2;
    // Reconstruction of a +-1 level and the step it sits on.
    const double step = matrix[pos] * mquant / 16.0;
    const double rec = intra ? step : 1.5 * step;
    const double x = std::abs(coef[pos]);
    const double gain = x * x - (x - rec) * (x - rec);  // what keeping the level buys
    if (gain >= RdLambda(mquant) * bits) break;
    levels[pos] = 0;
    last = prev;
  }
  return last >= first;
}

}  // namespace zr::mpeg
