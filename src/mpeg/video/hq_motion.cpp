#include "mpeg/video/hq_motion.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "mpeg/video/mode_decision.h"
#include "mpeg/video/vlc.h"

namespace zr::mpeg {

namespace {

LumaPlane Decimate(const Frame& f, int factor) {
  LumaPlane d;
  d.w = f.width / factor;
  d.h = f.height / factor;
  d.px.resize(size_t(d.w) * d.h);
  const int area = factor * factor;
  for (int y = 0; y < d.h; ++y)
    for (int x = 0; x < d.w; ++x) {
      int s = 0;
      const uint8_t* p = f.y.data() + size_t(y * factor) * f.width + x * factor;
      for (int j = 0; j < factor; ++j, p += f.width)
        for (int i = 0; i < factor; ++i) s += p[i];
      d.px[size_t(y) * d.w + x] = uint8_t((s + area / 2) / area);
    }
  return d;
}

// Mean absolute difference over the overlap, scaled by 256; huge when the overlap is too
// small to say anything.
int64_t MeanDifference(const LumaPlane& cur, const LumaPlane& ref, int gx, int gy) {
  const int x0 = std::max(0, -gx), x1 = std::min(cur.w, ref.w - gx);
  const int y0 = std::max(0, -gy), y1 = std::min(cur.h, ref.h - gy);
  const int64_t count = int64_t(std::max(0, x1 - x0)) * std::max(0, y1 - y0);
  if (count * 4 < int64_t(cur.w) * cur.h || count == 0) return INT64_MAX;
  const int n = x1 - x0;
  int64_t sum = 0;
  for (int y = y0; y < y1; ++y) {
    const uint8_t* a = cur.px.data() + size_t(y) * cur.w + x0;
    const uint8_t* b = ref.px.data() + size_t(y + gy) * ref.w + x0 + gx;
    // Fixed-length runs, so the compiler turns them into vector code.
    int i = 0;
    for (; i + 16 <= n; i += 16) {
      int run = 0;
      for (int t = 0; t < 16; ++t) run += std::abs(a[i + t] - b[i + t]);
      sum += run;
    }
    for (; i < n; ++i) sum += std::abs(a[i] - b[i]);
  }
  return sum * 256 / count;
}

// Best displacement within +-reach of (cx, cy) on one decimation level; ties keep the one
// nearest the centre, found first.
void BestShift(const LumaPlane& cur, const LumaPlane& ref, int cx, int cy, int reach, int& bx, int& by) {
  int64_t best = MeanDifference(cur, ref, cx, cy);
  bx = cx;
  by = cy;
  for (int r = 1; r <= reach; ++r)
    for (int gy = cy - r; gy <= cy + r; ++gy)
      for (int gx = cx - r; gx <= cx + r; ++gx) {
        if (std::max(std::abs(gx - cx), std::abs(gy - cy)) != r) continue;
        int64_t d = MeanDifference(cur, ref, gx, gy);
        if (d < best) {
          best = d;
          bx = gx;
          by = gy;
        }
      }
}

int FcodeForRange(int pixels) {
  int fc = 2;
  while (fc < 4 && 4 * (1 << fc) - 1 < pixels) ++fc;
  return fc;
}

// Smallest f_code whose range holds the half-pixel component v.
int FcodeFor(int v) {
  int fc = 1;
  while (fc < 7 && (v < -16 * (1 << (fc - 1)) || v > 16 * (1 << (fc - 1)) - 1)) ++fc;
  return fc;
}

// Approximate bits of one vector component's difference (half pixels) from its predictor.
int VectorBits(int delta, int fcode) {
  if (delta == 0) return 1;
  int a = (std::abs(delta) + (1 << (fcode - 1)) - 1) >> (fcode - 1), bits = 3;
  while (a > 1) {
    a >>= 1;
    bits += 2;
  }
  return bits + fcode - 1;
}

// VectorBits for every delta a search can meet (whole windows of +-63 pixels around
// predictors as far out), per f_code.
struct VectorBitsTable {
  static constexpr int kReach = 512;
  uint8_t bits[8][2 * kReach + 1];
  VectorBitsTable() {
    for (int fcode = 1; fcode < 8; ++fcode)
      for (int d = -kReach; d <= kReach; ++d) bits[fcode][d + kReach] = uint8_t(VectorBits(d, fcode));
  }
  int operator()(int delta, int fcode) const {
    return delta >= -kReach && delta <= kReach ? bits[fcode][delta + kReach]
                                               : VectorBits(delta, fcode);
  }
};

const VectorBitsTable& VectorBitsOf() {
  static const VectorBitsTable table;
  return table;
}

// SAD worth of one vector bit: vectors that agree with their neighbours cost almost
// nothing to code, so a slightly better match elsewhere rarely pays.
constexpr int kLambda = 4;

struct Window {
  int xmin, xmax, ymin, ymax;
  bool inside(int i, int j) const { return i >= xmin && i <= xmax && j >= ymin && j <= ymax; }
};

class BlockSearch {
 public:
  // (px, py): the predictor as a whole-pixel position, in half pixels.
  BlockSearch(const dsp::Functions& dsp, const uint8_t* src, const uint8_t* cur, int stride,
              const Window& w, int px, int py, int fcode)
      : dsp_(dsp), src_(src), cur_(cur), stride_(stride), w_(w), px_(px), py_(py), fcode_(fcode) {}
  int Penalty(int i, int j) const {
    return kLambda * (bits_(2 * i - px_, fcode_) + bits_(2 * j - py_, fcode_));
  }
  void Try(int i, int j) {
    i = std::clamp(i, w_.xmin, w_.xmax);
    j = std::clamp(j, w_.ymin, w_.ymax);
    if (i == bx_ && j == by_ && started_) return;
    const int pen = Penalty(i, j);
    if (started_ && pen >= best_) return;
    int d = dsp_.sad(src_ + j * stride_ + i, cur_, stride_, 16, started_ ? best_ - pen : 65536) + pen;
    if (!started_ || d < best_) {
      best_ = d;
      bx_ = i;
      by_ = j;
      started_ = true;
    }
  }
  // Steps to the best of the eight neighbours until none is better.
  void Descend() {
    for (int n = 0; n < 64; ++n) {
      const int cx = bx_, cy = by_;
      for (int j = cy - 1; j <= cy + 1; ++j)
        for (int i = cx - 1; i <= cx + 1; ++i)
          if ((i != cx || j != cy) && w_.inside(i, j)) Try(i, j);
      if (bx_ == cx && by_ == cy) return;
    }
  }
  int bx_ = 0, by_ = 0;

 private:
  const dsp::Functions& dsp_;
  const uint8_t* src_;
  const uint8_t* cur_;
  int stride_;
  Window w_;
  int px_, py_, fcode_;
  const VectorBitsTable& bits_ = VectorBitsOf();
  int best_ = 0;
  bool started_ = false;
};

// Half-pixel refinement on the reconstruction around a whole-pixel position.
void RefineHalf(const dsp::Functions& dsp, const uint8_t* rec, const uint8_t* cur, int stride,
                int bx, int by, int width, int height, int px, int py, int fcode, int& x2,
                int& y2) {
  const int cx = 2 * bx, cy = 2 * by;
  const int y0 = cy > 0 ? cy - 1 : cy, y1 = cy < 2 * (height - 16) ? cy + 1 : cy;
  const int x0 = cx > 0 ? cx - 1 : cx, x1 = cx < 2 * (width - 16) ? cx + 1 : cx;
  int best = INT32_MAX;
  for (int j = y0; j <= y1; ++j)
    for (int i = x0; i <= x1; ++i) {
      int d = dsp.sadHalf(rec + (j >> 1) * stride + (i >> 1), cur, stride, i & 1, j & 1, 16) +
              kLambda * (VectorBits(i - px, fcode) + VectorBits(j - py, fcode));
      if (d < best) {
        best = d;
        x2 = i;
        y2 = j;
      }
    }
}

}  // namespace

Pyramid::Pyramid(const Frame& f) : by8(Decimate(f, 8)), by4(Decimate(f, 4)) {}

void GlobalMotion(const Pyramid& cur, const Pyramid& ref, int limit, int& gx, int& gy) {
  int x8, y8;
  BestShift(cur.by8, ref.by8, 0, 0, (limit + 7) / 8, x8, y8);
  int x4, y4;
  BestShift(cur.by4, ref.by4, 2 * x8, 2 * y8, 2, x4, y4);
  gx = std::clamp(4 * x4, -limit, limit);
  gy = std::clamp(4 * y4, -limit, limit);
}

void GlobalMotion(const Frame& cur, const Frame& ref, int limit, int& gx, int& gy) {
  GlobalMotion(Pyramid(cur), Pyramid(ref), limit, gx, gy);
}

void HqMotion::Reset(int mbWidth, int mbHeight) {
  *this = HqMotion{};
  mbWidth_ = mbWidth;
  mbHeight_ = mbHeight;
  for (auto& v : velocity_) v.assign(size_t(mbWidth) * mbHeight, 0);
}

void HqMotion::Prepare(const MotionInput& in, int displayIndex) {
  Pyramid current(*in.current);
  if (in.pictureType != kPictureB) {
    olderAnchor_ = newerAnchor_;
    newerAnchor_ = displayIndex;
    anchors_[0] = std::move(anchors_[1]);
    anchors_[1] = std::make_unique<Pyramid>(current);
    anchorFrames_[0] = anchorFrames_[1];
    anchorFrames_[1] = in.current;
  }
  range_[0] = range_[1] = 0;
  if (in.pictureType == kPictureI) return;
  const int dirs = in.pictureType == kPictureB ? 2 : 1;
  distance_[0] = (in.pictureType == kPictureB ? displayIndex : newerAnchor_) - olderAnchor_;
  distance_[1] = newerAnchor_ - displayIndex;
  for (int d = 0; d < dirs; ++d) {
    // The anchors' pyramids were made when they were coded (from the same store, which
    // holds them unchanged); a P picture's reference is the older one, as it is the newer.
    const Frame& refFrame = d == 0 ? *in.olderSource : *in.newerSource;
    const Pyramid* ref = anchorFrames_[d] == &refFrame ? anchors_[d].get() : nullptr;
    std::unique_ptr<Pyramid> made;
    if (!ref) ref = (made = std::make_unique<Pyramid>(refFrame)).get();
    GlobalMotion(current, *ref, 63, global_[d].gx, global_[d].gy);
    // Room for local motion around the global one.
    const int need = std::max(std::abs(global_[d].gx), std::abs(global_[d].gy)) + 8;
    fcode_[d] = FcodeForRange(need);
    range_[d] = 4 * (1 << fcode_[d]) - 1;
  }
}

void HqMotion::EstimateRows(const dsp::Functions& dsp, const MotionInput& in, int rowBegin,
                            int rowEnd, MacroblockInfo* mbs) const {
  const int width = in.current->width, height = in.current->height, stride = width;
  const int dirs = in.pictureType == kPictureB ? 2 : 1;
  for (int row = rowBegin; row < rowEnd; ++row) {
    int left[2][2] = {{0, 0}, {0, 0}};  // whole-pixel offsets found for the left neighbour
    int pred[2][2] = {{0, 0}, {0, 0}};  // half-pixel vectors of the left neighbour
    for (int col = 0; col < mbWidth_; ++col) {
      const int k = row * mbWidth_ + col;
      MacroblockInfo& mb = mbs[k];
      mb = MacroblockInfo{};
      if (in.pictureType == kPictureI) {
        mb.flags = kMbIntra;
        continue;
      }
      const int x = 16 * col, y = 16 * row;
      const uint8_t* cur = in.current->y.data() + y * stride + x;
      ModeCosts costs;
      costs.intraVariance = IntraVariance(cur, stride);
      int x2[2]{}, y2[2]{};
      for (int d = 0; d < dirs; ++d) {
        const Frame& src = d == 0 ? *in.olderSource : *in.newerSource;
        const Frame& rec = d == 0 ? *in.olderRecon : *in.newerRecon;
        const int r = range_[d];
        const Window w{std::max(0, x - r), std::min(x + r, width - 16), std::max(0, y - r),
                       std::min(y + r, height - 16)};
        BlockSearch s(dsp, src.y.data(), cur, stride, w, 2 * x + pred[d][0], 2 * y + pred[d][1],
                      fcode_[d]);
        s.Try(x, y);
        for (int j = -4; j <= 4; ++j)
          for (int i = -4; i <= 4; ++i)
            if (w.inside(x + i, y + j)) s.Try(x + i, y + j);
        s.Try(x + global_[d].gx, y + global_[d].gy);
        s.Try(x + left[d][0], y + left[d][1]);
        if (haveVelocity_) {
          // The last P picture's vectors, scaled to this distance (backward ones mirrored).
          const int sign = d == 0 ? 1 : -1, dist = distance_[d];
          for (int n : {k, std::min(k + mbWidth_, mbWidth_ * mbHeight_ - 1)}) {
            const int vx = velocity_[0][size_t(n)], vy = velocity_[1][size_t(n)];
            s.Try(x + int(std::lround(sign * vx * dist / 32.0)),
                  y + int(std::lround(sign * vy * dist / 32.0)));
          }
        }
        s.Descend();
        left[d][0] = s.bx_ - x;
        left[d][1] = s.by_ - y;
        RefineHalf(dsp, rec.y.data(), cur, stride, s.bx_, s.by_, width, height,
                   2 * x + pred[d][0], 2 * y + pred[d][1], fcode_[d], x2[d], y2[d]);
        pred[d][0] = x2[d] - 2 * x;
        pred[d][1] = y2[d] - 2 * y;
      }
      const uint8_t* oldRec = in.olderRecon->y.data();
      auto at = [&](const uint8_t* p, int i2, int j2) { return p + (j2 >> 1) * stride + (i2 >> 1); };
      costs.forward = dsp.sseHalf(at(oldRec, x2[0], y2[0]), cur, stride, x2[0] & 1, y2[0] & 1, 16);
      mb.mvForward[0] = x2[0] - 2 * x;
      mb.mvForward[1] = y2[0] - 2 * y;
      if (dirs == 1) {
        costs.zero = dsp.sseHalf(at(oldRec, 2 * x, 2 * y), cur, stride, 0, 0, 16);
      } else {
        const uint8_t* newRec = in.newerRecon->y.data();
        costs.backward =
            dsp.sseHalf(at(newRec, x2[1], y2[1]), cur, stride, x2[1] & 1, y2[1] & 1, 16);
        costs.interpolated = dsp.sseBi(at(oldRec, x2[0], y2[0]), x2[0] & 1, y2[0] & 1,
                                       at(newRec, x2[1], y2[1]), x2[1] & 1, y2[1] & 1, cur,
                                       stride, 16);
        mb.mvBackward[0] = x2[1] - 2 * x;
        mb.mvBackward[1] = y2[1] - 2 * y;
      }
      ChooseMode(in.pictureType, costs, mb);
    }
  }
}

MotionRecord HqMotion::Finish(const MotionInput& in, const MacroblockInfo* mbs) {
  MotionRecord m{1, 1, range_[0], range_[0], 1, 1, range_[1], range_[1]};
  if (in.pictureType == kPictureI) return m;
  int fc[2] = {1, 1};
  const int count = mbWidth_ * mbHeight_;
  for (int k = 0; k < count; ++k) {
    // Every candidate the coding stage may pick must fit, not just the preselected mode.
    const MacroblockInfo& mb = mbs[k];
    if (mb.flags & kMbIntra) continue;
    fc[0] = std::max({fc[0], FcodeFor(mb.mvForward[0]), FcodeFor(mb.mvForward[1])});
    if (in.pictureType == kPictureB)
      fc[1] = std::max({fc[1], FcodeFor(mb.mvBackward[0]), FcodeFor(mb.mvBackward[1])});
  }
  m.forwardFcodeH = m.forwardFcodeV = fc[0];
  m.backwardFcodeH = m.backwardFcodeV = fc[1];
  if (in.pictureType == kPictureP && distance_[0] > 0) {
    // Per picture of distance, in sixteenths of a half pixel.
    for (int k = 0; k < count; ++k) {
      const MacroblockInfo& mb = mbs[k];
      int vx = 16 * global_[0].gx * 2, vy = 16 * global_[0].gy * 2;
      if (mb.flags & kMbForward) {
        vx = 16 * mb.mvForward[0];
        vy = 16 * mb.mvForward[1];
      } else if (!(mb.flags & kMbIntra)) {
        vx = vy = 0;
      }
      velocity_[0][size_t(k)] = vx / distance_[0];
      velocity_[1][size_t(k)] = vy / distance_[0];
    }
    haveVelocity_ = true;
  }
  return m;
}

}  // namespace zr::mpeg
