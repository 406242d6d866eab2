#include "mpeg/video/motion.h"

#include <algorithm>
#include <cstdlib>

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

void BlockSums::Reserve(int w, int h) {
  sums.reserve(size_t(w) * h);
  across_.reserve(size_t(w) * h);
  down_.reserve(size_t(w));
}

void BlockSums::Compute(const uint8_t* plane, int w, int h) {
  width = w;
  sums.assign(size_t(w) * h, 0);
  if (w < 8 || h < 8) return;
  // Sums of 8 across, then of 8 of those down, each as a running sum.
  std::vector<uint16_t>& across = across_;
  across.resize(size_t(w) * h);
  for (int y = 0; y < h; ++y) {
    const uint8_t* p = plane + size_t(y) * w;
    uint16_t* a = across.data() + size_t(y) * w;
    int s = 0;
    for (int x = 0; x < 8; ++x) s += p[x];
    a[0] = uint16_t(s);
    for (int x = 1; x + 8 <= w; ++x) {
      s += p[x + 7] - p[x - 1];
      a[x] = uint16_t(s);
    }
  }
  const int columns = w - 7;
  std::vector<int>& down = down_;
  down.assign(size_t(columns), 0);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < columns; ++x) down[size_t(x)] += across[size_t(y) * w + x];
  for (int y = 0;; ++y) {
    uint16_t* out = sums.data() + size_t(y) * w;
    for (int x = 0; x < columns; ++x) out[x] = uint16_t(down[size_t(x)]);
    if (y + 8 >= h) break;
    const uint16_t* leaving = across.data() + size_t(y) * w;
    const uint16_t* entering = across.data() + size_t(y + 8) * w;
    for (int x = 0; x < columns; ++x) down[size_t(x)] += entering[x] - leaving[x];
  }
}

namespace {

// The half-pixel refinement around the best whole-pixel position, on the reconstruction.
SearchResult RefineHalf(const dsp::Functions& dsp, const uint8_t* recRef, const uint8_t* cur,
                        int bestX, int bestY, int width, int height) {
  const int stride = width;
  SearchResult r;
  r.sad = 65536;
  const int cx = 2 * bestX, cy = 2 * bestY;
  const int y0 = cy > 0 ? cy - 1 : cy, y1 = cy < 2 * (height - 16) ? cy + 1 : cy;
  const int x0 = cx > 0 ? cx - 1 : cx, x1 = cx < 2 * (width - 16) ? cx + 1 : cx;
  if (x0 < cx && cx < x1 && y0 < cy && cy < y1) {
    // Away from the edges all nine at once, taken in the same order as below.
    int sads[9];
    dsp.sadHalfNine(recRef + bestY * stride + bestX, cur, stride, sads);
    for (int k = 0; k < 9; ++k)
      if (sads[k] < r.sad) {
        r.sad = sads[k];
        r.x2 = cx + k % 3 - 1;
        r.y2 = cy + k / 3 - 1;
      }
    return r;
  }
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

// The place of offset (dx, dy) in the spiral of FullSearchSpiral: ring l starts after the
// (2l - 1)^2 positions of the rings inside it, then top, right, bottom, left sides.
int SpiralIndex(int dx, int dy) {
  const int l = std::max(std::abs(dx), std::abs(dy));
  if (l == 0) return 0;
  const int base = (2 * l - 1) * (2 * l - 1);
  if (dy == -l && dx < l) return base + dx + l;
  if (dx == l && dy < l) return base + 3 * l + dy;
  if (dy == l && dx > -l) return base + 5 * l - dx;
  return base + 7 * l - dy;
}

}  // namespace

SearchResult FullSearchSpiral(const dsp::Functions& dsp, const uint8_t* srcRef,
                              const uint8_t* recRef, const uint8_t* cur, int x, int y, int sx,
                              int sy, int width, int height) {
  const int stride = width;
  const int xmin = std::max(0, x - sx), xmax = std::min(x + sx, width - 16);
  const int ymin = std::max(0, y - sy), ymax = std::min(y + sy, height - 16);
  int bestX = x, bestY = y;
  int best = dsp.sad(srcRef + y * stride + x, cur, stride, 16, 65536);
  auto visit = [&](int i, int j) {
    const int d = dsp.sad(srcRef + j * stride + i, cur, stride, 16, best);
    if (d < best) {
      best = d;
      bestX = i;
      bestY = j;
    }
  };
  // Spiral ring l from (x - l, y - l): right along the top, down the right side, left
  // along the bottom, up the left side, each side clipped to the window.
  const int rings = std::max(sx, sy);
  for (int l = 1; l <= rings; ++l) {
    if (x - l < xmin && x + l > xmax && y - l < ymin && y + l > ymax) break;
    if (y - l >= ymin)
      for (int i = std::max(x - l, xmin), end = std::min(x + l - 1, xmax); i <= end; ++i)
        visit(i, y - l);
    if (x + l <= xmax)
      for (int j = std::max(y - l, ymin), end = std::min(y + l - 1, ymax); j <= end; ++j)
        visit(x + l, j);
    if (y + l <= ymax)
      for (int i = std::min(x + l, xmax), end = std::max(x - l + 1, xmin); i >= end; --i)
        visit(i, y + l);
    if (x - l >= xmin)
      for (int j = std::min(y + l, ymax), end = std::max(y - l + 1, ymin); j >= end; --j)
        visit(x - l, j);
  }
  return RefineHalf(dsp, recRef, cur, bestX, bestY, width, height);
}

SearchResult FullSearch(const dsp::Functions& dsp, const uint8_t* srcRef, const uint8_t* recRef,
                        const uint8_t* cur, int x, int y, int sx, int sy, int width, int height,
                        const BlockSums* srcSums) {
  const int stride = width;
  const int xmin = std::max(0, x - sx), xmax = std::min(x + sx, width - 16);
  const int ymin = std::max(0, y - sy), ymax = std::min(y + sy, height - 16);
  int bestX = x, bestY = y, bestIndex = 0;
  int best = dsp.sad(srcRef + y * stride + x, cur, stride, 16, 65536);

  // Lower bounds of the whole window, when it fits the table.
  constexpr int kMaxBounds = 64 * 64;
  const int boundWidth = xmax - xmin + 1, boundHeight = ymax - ymin + 1;
  const bool pruned = srcSums && boundWidth * boundHeight <= kMaxBounds;
  // Room for the 15 entries a SIMD form writes past a row; rows go top to bottom, so the
  // next row overwrites them.
  uint16_t bounds[kMaxBounds + 15];
  if (pruned) {
    int quarter[4] = {};
    for (int q = 0; q < 4; ++q) {
      const uint8_t* c = cur + (q >> 1) * 8 * stride + (q & 1) * 8;
      for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 8; ++i) quarter[q] += c[j * stride + i];
    }
    for (int j = ymin; j <= ymax; ++j)
      dsp.sadBounds(srcSums->at(xmin, j), srcSums->width, quarter, boundWidth,
                    bounds + (j - ymin) * boundWidth);
  }
  // Candidates come in groups of 16 along a row, in any order, so the winner is chosen
  // by (SAD, spiral index). A group at or above the best may still hold a tie that wins
  // on its index, unless even its innermost ring comes after the best's position.
  auto ruledOut = [&](int least, int ring) {
    return least > best || (least == best && (ring > 0 ? (2 * ring - 1) * (2 * ring - 1) : 0) > bestIndex);
  };
  auto consider = [&](int i, int j, int d) {
    if (d > best) return;
    const int index = SpiralIndex(i - x, j - y);
    if (d < best || index < bestIndex) {
      best = d;
      bestIndex = index;
      bestX = i;
      bestY = j;
    }
  };
  // Rows nearest the centre first: an early small best prunes more.
  for (int k = 0; k < 2 * (ymax - ymin) + 1; ++k) {
    const int j = y + ((k & 1) ? -(k + 1) / 2 : k / 2);
    if (j < ymin || j > ymax) continue;
    const uint8_t* row = srcRef + j * stride;
    for (int i = xmin; i <= xmax; i += 16) {
      const int last = std::min(i + 15, xmax);
      const int ring = std::max(std::abs(j - y), i > x ? i - x : (last < x ? x - last : 0));
      if (pruned) {
        const uint16_t* b = bounds + (j - ymin) * boundWidth + (i - xmin);
        if (ruledOut(dsp.min16(b, last - i + 1), ring)) continue;
      }
      // A group reads 32 bytes of each row, so one near the right edge starts earlier and
      // the last position or the whole of a narrow window is measured alone.
      const int start = std::min(i, width - 32), grouped = std::min(last, start + 15);
      if (start >= 0) {
        uint16_t sads[32];  // min16 reads 16 from the first position of the window
        dsp.sadRow(row + start, cur, stride, sads);
        if (!ruledOut(dsp.min16(sads + (i - start), grouped - i + 1), ring))
          for (int p = i; p <= grouped; ++p) consider(p, j, sads[p - start]);
      }
      for (int p = start >= 0 ? grouped + 1 : i; p <= last; ++p)
        consider(p, j, dsp.sad(row + p, cur, stride, 16, best + 1));
    }
  }
  return RefineHalf(dsp, recRef, cur, bestX, bestY, width, height);
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
                                    m.forwardSearchH, m.forwardSearchV, width, height,
                                    in.olderSums);
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
                                  m.forwardSearchH, m.forwardSearchV, width, height, in.olderSums);
      SearchResult b = FullSearch(dsp, in.newerSource->y.data(), newRec, cur, x, y,
                                  m.backwardSearchH, m.backwardSearchV, width, height,
                                  in.newerSums);
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
