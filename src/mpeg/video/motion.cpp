#include "mpeg/video/motion.h"

#include <algorithm>

#include "mpeg/video/vlc.h"

namespace zr::mpeg {

namespace {

const uint8_t* At(const uint8_t* plane, int stride, int x2, int y2) {
  return plane + (y2 >> 1) * stride + (x2 >> 1);
}

int SquaredError(const dsp::Functions& dsp, const uint8_t* ref, const uint8_t* cur, int stride,
                 int x2, int y2) {
  return dsp.sseHalf(At(ref, stride, x2, y2), cur, stride, x2 & 1, y2 & 1, 16);
}

}  // namespace

int IntraVariance(const uint8_t* cur, int stride) {
  int s = 0, s2 = 0;
  for (int j = 0; j < 16; ++j, cur += stride)
    for (int i = 0; i < 16; ++i) {
      s += cur[i];
      s2 += cur[i] * cur[i];
    }
  return int(int64_t(s2) - ((int64_t(s) * s) >> 8));
}

SearchResult FullSearch(const dsp::Functions& dsp, const uint8_t* srcRef, const uint8_t* recRef,
                        const uint8_t* cur, int x, int y, int sx, int sy, int width, int height) {
  const int stride = width;
  const int xmin = std::max(0, x - sx), xmax = std::min(x + sx, width - 16);
  const int ymin = std::max(0, y - sy), ymax = std::min(y + sy, height - 16);
  int bestX = x, bestY = y;
  int best = dsp.sad(srcRef + y * stride + x, cur, stride, 16, 65536);
  const int rings = std::max(sx, sy);
  for (int l = 1; l <= rings; ++l) {
    int i = x - l, j = y - l;
    for (int k = 0; k < 8 * l; ++k) {
      if (i >= xmin && i <= xmax && j >= ymin && j <= ymax) {
        int d = dsp.sad(srcRef + j * stride + i, cur, stride, 16, best);
        if (d < best) {
          best = d;
          bestX = i;
          bestY = j;
        }
      }
      if (k < 2 * l) ++i;
      else if (k < 4 * l) ++j;
      else if (k < 6 * l) --i;
      else --j;
    }
  }

  SearchResult r;
  r.sad = 65536;
  const int cx = 2 * bestX, cy = 2 * bestY;
  const int y0 = cy > 0 ? cy - 1 : cy, y1 = cy < 2 * (height - 16) ? cy + 1 : cy;
  const int x0 = cx > 0 ? cx - 1 : cx, x1 = cx < 2 * (width - 16) ? cx + 1 : cx;
  for (int j = y0; j <= y1; ++j)
    for (int i = x0; i <= x1; ++i) {
      int d = dsp.sadHalf(At(recRef, stride, i, j), cur, stride, i & 1, j & 1, 16);
      if (d < r.sad) {
        r.sad = d;
        r.x2 = i;
        r.y2 = j;
      }
    }
  return r;
}

void EstimateMotionRows(const dsp::Functions& dsp, const MotionInput& in, int rowBegin,
                        int rowEnd, MacroblockInfo* mbs) {
  const int width = in.current->width, height = in.current->height;
  const int mbWidth = width / 16;
  const int stride = width;
  constexpr int kFloor = 9 * 256;  // below this error a macroblock is never coded intra
  for (int row = rowBegin; row < rowEnd; ++row)
    for (int col = 0; col < mbWidth; ++col) {
      MacroblockInfo& mb = mbs[row * mbWidth + col];
      mb = MacroblockInfo{};
      const int x = 16 * col, y = 16 * row;
      const uint8_t* cur = in.current->y.data() + y * stride + x;
      if (in.pictureType == kPictureI) {
        mb.flags = kMbIntra;
        continue;
      }
      const int var = IntraVariance(cur, stride);
      const MotionRecord& m = in.record;
      if (in.pictureType == kPictureP) {
        const uint8_t* oldRec = in.olderRecon->y.data();
        SearchResult f = FullSearch(dsp, in.olderSource->y.data(), oldRec, cur, x, y,
                                    m.forwardSearchH, m.forwardSearchV, width, height);
        int vmc = SquaredError(dsp, oldRec, cur, stride, f.x2, f.y2);
        if (vmc > var && vmc >= kFloor) {
          mb.flags = kMbIntra;
          mb.decision = var;
          continue;
        }
        int vzero = SquaredError(dsp, oldRec, cur, stride, 2 * x, 2 * y);
        if (4 * vzero > 5 * vmc && vzero >= kFloor) {
          mb.flags = kMbForward;
          mb.mvForward[0] = f.x2 - 2 * x;
          mb.mvForward[1] = f.y2 - 2 * y;
          mb.decision = vmc;
        } else {
          mb.flags = 0;  // no motion compensation
          mb.decision = vzero;
        }
        continue;
      }
      const uint8_t* oldRec = in.olderRecon->y.data();
      const uint8_t* newRec = in.newerRecon->y.data();
      SearchResult f = FullSearch(dsp, in.olderSource->y.data(), oldRec, cur, x, y,
                                  m.forwardSearchH, m.forwardSearchV, width, height);
      SearchResult b = FullSearch(dsp, in.newerSource->y.data(), newRec, cur, x, y,
                                  m.backwardSearchH, m.backwardSearchV, width, height);
      int F = SquaredError(dsp, oldRec, cur, stride, f.x2, f.y2);
      int B = SquaredError(dsp, newRec, cur, stride, b.x2, b.y2);
      int I = dsp.sseBi(At(oldRec, stride, f.x2, f.y2), f.x2 & 1, f.y2 & 1,
                        At(newRec, stride, b.x2, b.y2), b.x2 & 1, b.y2 & 1, cur, stride, 16);
      int vmc;
      if (F <= B && F <= I) {
        mb.flags = kMbForward;
        vmc = F;
      } else if (B <= I) {
        mb.flags = kMbBackward;
        vmc = B;
      } else {
        mb.flags = kMbForward | kMbBackward;
        vmc = I;
      }
      if (vmc > var && vmc >= kFloor) {
        mb.flags = kMbIntra;
        mb.decision = var;
        continue;
      }
      mb.decision = vmc;
      mb.mvForward[0] = f.x2 - 2 * x;
      mb.mvForward[1] = f.y2 - 2 * y;
      mb.mvBackward[0] = b.x2 - 2 * x;
      mb.mvBackward[1] = b.y2 - 2 * y;
    }
}

}  // namespace zr::mpeg
