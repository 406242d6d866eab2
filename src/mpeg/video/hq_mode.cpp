#include "mpeg/video/hq_mode.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "mpeg/video/hq_picture.h"
#include "mpeg/video/hq_quant.h"
#include "mpeg/video/motion.h"
#include "mpeg/video/vlc.h"

namespace zr::mpeg {

namespace {

int64_t SumSquares(const int16_t* coef) {
  int64_t s = 0;
  for (int i = 0; i < 64; ++i) s += int(coef[i]) * coef[i];
  return s;
}

int LumaSse(const Frame& src, int x, int y, const MacroblockPrediction& pred) {
  const uint8_t* s = src.y.data() + y * src.width + x;
  int sse = 0;
  for (int j = 0; j < 16; ++j, s += src.width)
    for (int i = 0; i < 16; ++i) {
      const int d = s[i] - pred.pixels[16 * j + i];
      sse += d * d;
    }
  return sse;
}

int DcBits(bool luminance, int diff) {
  const int a = std::abs(diff);
  int size = 0;
  while (a >> size) ++size;
  return DcSizeCode(luminance, size).len + size;
}

// Candidates whose luminance error is this far above the best are not transformed.
constexpr double kPruneRatio = 1.3;
constexpr int kPruneMargin = 256;
constexpr int kMaxCandidates = 4;

}  // namespace

// Tuned on the bench clips; the usual high-rate slope of a uniform quantiser, about an
// eighth of the step squared.
double RdLambda(int mquant) { return 0.12 * mquant * mquant; }

int MotionComponentBits(int value, int predictor, int fcode) {
  const int rSize = fcode - 1, f = 1 << rSize;
  int delta = value - predictor;
  if (delta > 16 * f - 1) delta -= 32 * f;
  if (delta < -16 * f) delta += 32 * f;
  const int code = (std::abs(delta) + f - 1) >> rSize;
  return MotionCode(std::min(code, 16)).len + (code ? 1 + rSize : 0);
}

BlockRd NonIntraBlockRd(const int16_t* coef, const int16_t* levels, const uint8_t* matrix,
                        int mquant) {
  // Zero levels reconstruct to zero: only the coded ones change the error.
  BlockRd r;
  r.dropped = SumSquares(coef);
  r.coded = r.dropped;
  const PairBitsTable& t = PairBitsOf();
  int last = -1;
  for (uint64_t mask = ScanMask(levels); mask; mask &= mask - 1) {
    const int i = __builtin_ctzll(mask), pos = kZigZag[i];
    const int level = levels[pos];
    const int64_t c = coef[pos], d = c - LevelValue(false, level, matrix[pos], mquant);
    r.coded += d * d - c * c;
    r.bits += PairBits(t, i - last - 1, std::abs(level), last < 0);
    last = i;
  }
  r.bits += 2;
  return r;
}

void HqModeChooser::StartPicture(int type, int fcodeF, int fcodeB, const Frame* forwardRef,
                                 const Frame* backwardRef, int mquant) {
  type_ = type;
  fcodeF_ = fcodeF;
  fcodeB_ = fcodeB;
  forwardRef_ = forwardRef;
  backwardRef_ = backwardRef;
  mquant_ = mquant;
  lambda_ = RdLambda(mquant);
}

void HqModeChooser::StartSlice() {
  std::memset(pmv_, 0, sizeof pmv_);
  prevFlags_ = 0;
}

bool HqModeChooser::Fits(const int mv[2], int fcode) const {
  const int f = 16 << (fcode - 1);
  for (int c = 0; c < 2; ++c)
    if (mv[c] < -f || mv[c] > f - 1) return false;
  return true;
}

double HqModeChooser::InterCost(const Candidate& c, const int16_t coef[6][64],
                                bool mayskip) const {
  alignas(16) int16_t levels[64];
  double distortion = 0;
  int bits = 0, cbp = 0;
  for (int b = 0; b < 6; ++b) {
    if (!quantiser_.NonIntra(coef[b], levels, mquant_)) {
      distortion += double(SumSquares(coef[b]));
      continue;
    }
    const BlockRd r = NonIntraBlockRd(coef[b], levels, p_.nonIntraMatrix, mquant_);
    if (double(r.dropped) <= double(r.coded) + lambda_ * r.bits) {
      distortion += double(r.dropped);
    } else {
      distortion += double(r.coded);
      bits += r.bits;
      cbp |= 32 >> b;
    }
  }
  if (cbp == 0 && mayskip) return distortion;
  int flags = c.flags | (cbp ? kMbPattern : 0);
  if (type_ == kPictureP && !cbp) flags |= kMbForward;  // coded as a zero vector
  bits += MacroblockTypeCode(type_, flags).len;
  if (cbp) bits += CodedBlockPatternCode(cbp).len;
  if (flags & kMbForward)
    bits += MotionComponentBits(c.mvF[0], pmv_[0][0], fcodeF_) +
            MotionComponentBits(c.mvF[1], pmv_[0][1], fcodeF_);
  if (flags & kMbBackward)
    bits += MotionComponentBits(c.mvB[0], pmv_[1][0], fcodeB_) +
            MotionComponentBits(c.mvB[1], pmv_[1][1], fcodeB_);
  return distortion + lambda_ * bits;
}

double HqModeChooser::IntraCost(const int16_t coef[6][64]) const {
  alignas(16) int16_t levels[64], rec[64];
  double distortion = 0;
  int bits = MacroblockTypeCode(type_, kMbIntra).len;
  int dc[3] = {0, 0, 0};
  for (int b = 0; b < 6; ++b) {
    const int component = kBlocks[b].component;
    quantiser_.Intra(coef[b], levels, mquant_);
    IquantIntra(levels, rec, p_.intraMatrix, mquant_);
    for (int i = 0; i < 64; ++i) {
      const int d = coef[b][i] - rec[i];
      distortion += d * d;
    }
    bits += DcBits(component == 0, levels[0] - dc[component]) + RunLevelBits(true, levels) + 2;
    dc[component] = levels[0];
  }
  return distortion + lambda_ * bits;
}

void HqModeChooser::Choose(const Frame& src, int x, int y, bool firstInSlice, bool lastInSlice,
                           MacroblockInfo& mb, MacroblockPrediction& pred,
                           int16_t coef[6][64]) {
  Candidate cands[kMaxCandidates];
  int count = 0;
  auto add = [&](int flags, const int* f, const int* b) {
    Candidate& c = cands[count];
    c = Candidate{};
    c.flags = flags;
    if (f) std::copy(f, f + 2, c.mvF);
    if (b) std::copy(b, b + 2, c.mvB);
    // A borrowed vector may point out of the picture here even where it did not there.
    auto inside = [&](const int* mv) {
      const int hx = 2 * x + mv[0], hy = 2 * y + mv[1];
      return hx >= 0 && hy >= 0 && hx <= 2 * (src.width - 16) && hy <= 2 * (src.height - 16);
    };
    if ((f && !(Fits(c.mvF, fcodeF_) && inside(c.mvF))) ||
        (b && !(Fits(c.mvB, fcodeB_) && inside(c.mvB))))
      return;
    for (int i = 0; i < count; ++i)
      if (cands[i].flags == c.flags && std::equal(c.mvF, c.mvF + 2, cands[i].mvF) &&
          std::equal(c.mvB, c.mvB + 2, cands[i].mvB))
        return;
    ++count;
  };
  if (type_ == kPictureP) {
    add(0, nullptr, nullptr);
    if (mb.mvForward[0] || mb.mvForward[1]) add(kMbForward, mb.mvForward, nullptr);
    // The predictor's vector costs two bits: on a steady pan it often beats a closer match.
    if (pmv_[0][0] || pmv_[0][1]) add(kMbForward, pmv_[0], nullptr);
  } else {
    add(kMbForward, mb.mvForward, nullptr);
    add(kMbBackward, nullptr, mb.mvBackward);
    add(kMbForward | kMbBackward, mb.mvForward, mb.mvBackward);
    // What the previous macroblock did, with the predictors: the one that may be skipped.
    const int dirs = prevFlags_ & (kMbForward | kMbBackward);
    if (dirs && !(prevFlags_ & kMbIntra))
      add(dirs, dirs & kMbForward ? pmv_[0] : nullptr, dirs & kMbBackward ? pmv_[1] : nullptr);
  }

  MacroblockPrediction preds[kMaxCandidates];
  int sse[kMaxCandidates];
  int bestSse = INT32_MAX;
  for (int i = 0; i < count; ++i) {
    MacroblockInfo m;
    m.flags = cands[i].flags;
    std::copy(cands[i].mvF, cands[i].mvF + 2, m.mvForward);
    std::copy(cands[i].mvB, cands[i].mvB + 2, m.mvBackward);
    PredictMacroblock(m, forwardRef_, backwardRef_, x, y, preds[i]);
    sse[i] = LumaSse(src, x, y, preds[i]);
    bestSse = std::min(bestSse, sse[i]);
  }

  alignas(16) int16_t trial[6][64];
  double best = 0;
  int winner = -1;
  for (int i = 0; i < count; ++i) {
    if (sse[i] > kPruneRatio * bestSse + kPruneMargin) continue;
    const Candidate& c = cands[i];
    bool mayskip = !firstInSlice && !lastInSlice;
    if (type_ == kPictureP) {
      mayskip = mayskip && c.flags == 0;
    } else {
      const int dirs = kMbForward | kMbBackward;
      mayskip = mayskip && (c.flags & dirs) == (prevFlags_ & dirs) &&
                (!(c.flags & kMbForward) || (c.mvF[0] == pmv_[0][0] && c.mvF[1] == pmv_[0][1])) &&
                (!(c.flags & kMbBackward) || (c.mvB[0] == pmv_[1][0] && c.mvB[1] == pmv_[1][1]));
    }
    TransformMacroblock(dsp_, src, x, y, preds[i], trial);
    const double j = InterCost(c, trial, mayskip);
    if (winner < 0 || j < best) {
      best = j;
      winner = i;
      std::memcpy(coef, trial, sizeof trial);
    }
  }
  const uint8_t* cur = src.y.data() + y * src.width + x;
  bool intra = false;
  if (winner < 0 || IntraVariance(cur, src.width) < 2 * bestSse) {
    MacroblockInfo m;
    m.flags = kMbIntra;
    MacroblockPrediction flat;
    PredictMacroblock(m, nullptr, nullptr, x, y, flat);
    TransformMacroblock(dsp_, src, x, y, flat, trial);
    const double j = IntraCost(trial);
    if (winner < 0 || j < best) {
      intra = true;
      pred = flat;
      std::memcpy(coef, trial, sizeof trial);
    }
  }

  mb.mvForward[0] = mb.mvForward[1] = mb.mvBackward[0] = mb.mvBackward[1] = 0;
  if (intra) {
    mb.flags = kMbIntra;
    std::memset(pmv_, 0, sizeof pmv_);
  } else {
    const Candidate& c = cands[winner];
    pred = preds[winner];
    mb.flags = c.flags;
    if (c.flags & kMbForward) {
      std::copy(c.mvF, c.mvF + 2, mb.mvForward);
      std::copy(c.mvF, c.mvF + 2, pmv_[0]);
    } else if (type_ == kPictureP) {
      std::memset(pmv_, 0, sizeof pmv_);
    }
    if (c.flags & kMbBackward) {
      std::copy(c.mvB, c.mvB + 2, mb.mvBackward);
      std::copy(c.mvB, c.mvB + 2, pmv_[1]);
    }
  }
  prevFlags_ = mb.flags;
}

}  // namespace zr::mpeg
