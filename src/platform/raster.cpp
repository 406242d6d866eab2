#include "platform/raster.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace zr {

namespace {

constexpr Pixel kRgbMask = 0x00FFFFFF;

inline Pixel Combine(uint32_t rop, Pixel s, Pixel d) {
  switch (rop) {
    case SRCCOPY:
      return s;
    case SRCPAINT:
      return s | d;
    case SRCAND:
      return s & d;
    case SRCINVERT:
      return s ^ d;
    case SRCERASE:
      return s & ~d;
    case NOTSRCCOPY:
      return ~s;
    case NOTSRCERASE:
      return ~(s | d);
    case MERGEPAINT:
      return ~s | d;
    case DSTINVERT:
      return ~d;
    case BLACKNESS:
      return 0;
    case WHITENESS:
      return kRgbMask;
    default:
      return d;
  }
}

// Applies rop over one row; the switch sits outside the loop so each case vectorises.
template <class Op>
inline void RowOp(Pixel* d, const Pixel* s, int n, Op op) {
  for (int i = 0; i < n; ++i) d[i] = op(s[i], d[i]) & kRgbMask;
}

void CombineRow(uint32_t rop, Pixel* d, const Pixel* s, int n) {
  switch (rop) {
    case SRCCOPY:
      RowOp(d, s, n, [](Pixel a, Pixel) { return a; });
      break;
    case SRCPAINT:
      RowOp(d, s, n, [](Pixel a, Pixel b) { return a | b; });
      break;
    case SRCAND:
      RowOp(d, s, n, [](Pixel a, Pixel b) { return a & b; });
      break;
    case SRCINVERT:
      RowOp(d, s, n, [](Pixel a, Pixel b) { return a ^ b; });
      break;
    default:
      for (int i = 0; i < n; ++i) d[i] = Combine(rop, s[i], d[i]) & kRgbMask;
  }
}

// Clips a w x h transfer from (sx, sy) in a source of srcW x srcH to (dx, dy) in a
// target of dstW x dstH. False when nothing is left. Worked in 64 bits: positions come
// from users and may be anything.
bool ClipTransfer(int& dx, int& dy, int& w, int& h, int& sx, int& sy, int srcW, int srcH, int dstW,
                  int dstH) {
  if (w <= 0 || h <= 0) return false;
  int64_t x = dx, y = dy, ww = w, hh = h, u = sx, v = sy;
  if (u < 0) {
    x -= u;
    ww += u;
    u = 0;
  }
  if (v < 0) {
    y -= v;
    hh += v;
    v = 0;
  }
  if (x < 0) {
    u -= x;
    ww += x;
    x = 0;
  }
  if (y < 0) {
    v -= y;
    hh += y;
    y = 0;
  }
  ww = std::min({ww, int64_t(srcW) - u, int64_t(dstW) - x});
  hh = std::min({hh, int64_t(srcH) - v, int64_t(dstH) - y});
  if (ww <= 0 || hh <= 0) return false;
  dx = int(x), dy = int(y), w = int(ww), h = int(hh), sx = int(u), sy = int(v);
  return true;
}

}  // namespace

bool IsSupportedRop(uint32_t rop) {
  switch (rop) {
    case SRCCOPY:
    case SRCPAINT:
    case SRCAND:
    case SRCINVERT:
    case SRCERASE:
    case NOTSRCCOPY:
    case NOTSRCERASE:
    case MERGEPAINT:
    case DSTINVERT:
    case BLACKNESS:
    case WHITENESS:
      return true;
    default:
      return false;
  }
}

MonoBitmap MonoFromBitmap(const Bitmap& src, ColorRef background) {
  MonoBitmap mono(src.width, src.height);
  Pixel key = PixelFromColorRef(background);
  for (size_t i = 0; i < src.pixels.size(); ++i)
    mono.bits[i] = (src.pixels[i] & kRgbMask) == key ? 1 : 0;
  return mono;
}

Bitmap BitmapFromMono(const MonoBitmap& mono, ColorRef textColor, ColorRef backgroundColor) {
  Bitmap out(mono.width, mono.height);
  Pixel one = PixelFromColorRef(backgroundColor), zero = PixelFromColorRef(textColor);
  for (size_t i = 0; i < mono.bits.size(); ++i) out.pixels[i] = mono.bits[i] ? one : zero;
  return out;
}

bool BitBlt(Bitmap& dst, int dx, int dy, int w, int h, const Bitmap& src, int sx, int sy,
            uint32_t rop) {
  if (dst.empty() || src.empty() || !IsSupportedRop(rop)) return false;
  if (!ClipTransfer(dx, dy, w, h, sx, sy, src.width, src.height, dst.width, dst.height))
    return true;
  // Source and target may be the same bitmap: copy the source rows first then.
  if (&dst == &src) {
    Bitmap copy = src;
    return BitBlt(dst, dx, dy, w, h, copy, sx, sy, rop);
  }
  for (int y = 0; y < h; ++y) CombineRow(rop, dst.row(dy + y) + dx, src.row(sy + y) + sx, w);
  return true;
}

bool BitBlt(Bitmap& dst, int dx, int dy, int w, int h, const MonoBitmap& src, int sx, int sy,
            uint32_t rop, ColorRef textColor, ColorRef backgroundColor) {
  if (dst.empty() || src.empty() || !IsSupportedRop(rop)) return false;
  if (!ClipTransfer(dx, dy, w, h, sx, sy, src.width, src.height, dst.width, dst.height))
    return true;
  Pixel one = PixelFromColorRef(backgroundColor), zero = PixelFromColorRef(textColor);
  std::vector<Pixel> row(static_cast<size_t>(w));
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = src.bits.data() + size_t(sy + y) * size_t(src.width) + size_t(sx);
    for (int x = 0; x < w; ++x) row[size_t(x)] = s[x] ? one : zero;
    CombineRow(rop, dst.row(dy + y) + dx, row.data(), w);
  }
  return true;
}

bool BitBlt(MonoBitmap& dst, int dx, int dy, int w, int h, const Bitmap& src, int sx, int sy,
            ColorRef srcBackground) {
  if (dst.empty() || src.empty()) return false;
  if (!ClipTransfer(dx, dy, w, h, sx, sy, src.width, src.height, dst.width, dst.height))
    return true;
  Pixel key = PixelFromColorRef(srcBackground);
  for (int y = 0; y < h; ++y) {
    const Pixel* s = src.row(sy + y) + sx;
    uint8_t* d = &dst.at(dx, dy + y);
    for (int x = 0; x < w; ++x) d[x] = (s[x] & kRgbMask) == key ? 1 : 0;
  }
  return true;
}

namespace {

// Maps target coordinates back to source coordinates for a stretch: for target offset
// t in [0, |dn|), the source index (nearest, centre sampling) in [s0, s0 + sn).
struct Axis {
  int d0, dn, s0, sn;
  bool mirror;
  int SourceAt(int t) const {  // t counted from the rectangle's first target pixel
    int64_t i = ((2 * int64_t(t) + 1) * sn) / (2 * int64_t(dn));
    if (mirror) i = sn - 1 - i;
    return s0 + int(i);
  }
  // The source span [first, last) covered by target pixel t.
  void Span(int t, int& first, int& last) const {
    int64_t a = int64_t(t) * sn / dn, b = (int64_t(t) + 1) * sn / dn;
    if (b <= a) b = a + 1;
    if (mirror) {
      int64_t na = sn - b, nb = sn - a;
      a = na;
      b = nb;
    }
    first = s0 + int(a);
    last = s0 + int(b);
  }
};

Axis MakeAxis(int d, int dn, int s, int sn) {
  Axis a{d, dn, s, sn, false};
  auto flip = [](int start, int n, int& outStart, int& outN) {
    int64_t first = int64_t(start) + n + 1;
    if (n == std::numeric_limits<int>::min() || first < std::numeric_limits<int>::min()) {
      outN = 0;  // an extent that cannot be represented draws nothing
      return;
    }
    outStart = int(first);
    outN = -n;
  };
  if (a.dn < 0) {
    flip(d, dn, a.d0, a.dn);
    a.mirror = true;
  }
  if (a.sn < 0) {
    flip(s, sn, a.s0, a.sn);
    a.mirror = !a.mirror;
  }
  return a;
}

template <class SourceRow>
bool StretchCore(Bitmap& dst, Axis ax, Axis ay, uint32_t rop, int srcW, int srcH,
                 SourceRow sourcePixel) {
  if (ax.dn == 0 || ay.dn == 0 || ax.sn == 0 || ay.sn == 0) return true;
  int x0 = std::max(ax.d0, 0), x1 = int(std::min(int64_t(ax.d0) + ax.dn, int64_t(dst.width)));
  int y0 = std::max(ay.d0, 0), y1 = int(std::min(int64_t(ay.d0) + ay.dn, int64_t(dst.height)));
  if (x0 >= x1 || y0 >= y1) return true;
  std::vector<int> srcX(size_t(x1 - x0));
  for (int x = x0; x < x1; ++x) srcX[size_t(x - x0)] = ax.SourceAt(x - ax.d0);
  std::vector<Pixel> row(size_t(x1 - x0));
  for (int y = y0; y < y1; ++y) {
    int sy = ay.SourceAt(y - ay.d0);
    for (int x = x0; x < x1; ++x) {
      int sx = srcX[size_t(x - x0)];
      // Source pixels outside the source bitmap leave the target alone.
      row[size_t(x - x0)] = (sx < 0 || sy < 0 || sx >= srcW || sy >= srcH)
                                ? dst.at(x, y)
                                : Combine(rop, sourcePixel(sx, sy), dst.at(x, y)) & kRgbMask;
    }
    std::copy(row.begin(), row.end(), dst.row(y) + x0);
  }
  return true;
}

}  // namespace

bool StretchBlt(Bitmap& dst, int dx, int dy, int dw, int dh, const Bitmap& src, int sx, int sy,
                int sw, int sh, uint32_t rop, StretchMode mode) {
  if (dst.empty() || src.empty() || !IsSupportedRop(rop)) return false;
  if (&dst == &src) {
    Bitmap copy = src;
    return StretchBlt(dst, dx, dy, dw, dh, copy, sx, sy, sw, sh, rop, mode);
  }
  Axis ax = MakeAxis(dx, dw, sx, sw), ay = MakeAxis(dy, dh, sy, sh);
  if (mode == StretchMode::Halftone && (ax.sn > ax.dn || ay.sn > ay.dn)) {
    // Shrinking: each target pixel takes the average of the source pixels it covers.
    int x0 = std::max(ax.d0, 0), x1 = int(std::min(int64_t(ax.d0) + ax.dn, int64_t(dst.width)));
    int y0 = std::max(ay.d0, 0), y1 = int(std::min(int64_t(ay.d0) + ay.dn, int64_t(dst.height)));
    for (int y = y0; y < y1; ++y) {
      int fy, ly;
      ay.Span(y - ay.d0, fy, ly);
      fy = std::max(fy, 0);
      ly = std::min(ly, src.height);
      for (int x = x0; x < x1; ++x) {
        int fx, lx;
        ax.Span(x - ax.d0, fx, lx);
        fx = std::max(fx, 0);
        lx = std::min(lx, src.width);
        if (fx >= lx || fy >= ly) continue;
        uint64_t sr = 0, sg = 0, sb = 0, n = uint64_t(lx - fx) * uint64_t(ly - fy);
        for (int yy = fy; yy < ly; ++yy)
          for (int xx = fx; xx < lx; ++xx) {
            Pixel p = src.at(xx, yy);
            sr += (p >> 16) & 0xFF;
            sg += (p >> 8) & 0xFF;
            sb += p & 0xFF;
          }
        Pixel avg = Pixel(((sr + n / 2) / n) << 16 | ((sg + n / 2) / n) << 8 | ((sb + n / 2) / n));
        dst.at(x, y) = Combine(rop, avg, dst.at(x, y)) & kRgbMask;
      }
    }
    return true;
  }
  return StretchCore(dst, ax, ay, rop, src.width, src.height,
                     [&](int x, int y) { return src.at(x, y); });
}

bool StretchBlt(Bitmap& dst, int dx, int dy, int dw, int dh, const MonoBitmap& src, int sx, int sy,
                int sw, int sh, uint32_t rop, ColorRef textColor, ColorRef backgroundColor) {
  if (dst.empty() || src.empty() || !IsSupportedRop(rop)) return false;
  Pixel one = PixelFromColorRef(backgroundColor), zero = PixelFromColorRef(textColor);
  return StretchCore(dst, MakeAxis(dx, dw, sx, sw), MakeAxis(dy, dh, sy, sh), rop, src.width,
                     src.height, [&](int x, int y) { return src.at(x, y) ? one : zero; });
}

ColorRef GetPixel(const Bitmap& bmp, int x, int y) {
  if (x < 0 || y < 0 || x >= bmp.width || y >= bmp.height) return kInvalidColor;
  return ColorRefFromPixel(bmp.at(x, y));
}

void SetPixel(Bitmap& bmp, int x, int y, ColorRef color) {
  if (x < 0 || y < 0 || x >= bmp.width || y >= bmp.height) return;
  bmp.at(x, y) = PixelFromColorRef(color);
}

void FillRect(Bitmap& bmp, const Rect& rect, ColorRef color) {
  int x0 = std::max(rect.left, 0), x1 = std::min(rect.right, bmp.width);
  int y0 = std::max(rect.top, 0), y1 = std::min(rect.bottom, bmp.height);
  if (x0 >= x1 || y0 >= y1) return;
  Pixel p = PixelFromColorRef(color);
  for (int y = y0; y < y1; ++y) std::fill(bmp.row(y) + x0, bmp.row(y) + x1, p);
}

void FrameRect(Bitmap& bmp, const Rect& r, ColorRef color) {
  if (r.empty()) return;
  FillRect(bmp, {r.left, r.top, r.right, r.top + 1}, color);
  FillRect(bmp, {r.left, r.bottom - 1, r.right, r.bottom}, color);
  FillRect(bmp, {r.left, r.top, r.left + 1, r.bottom}, color);
  FillRect(bmp, {r.right - 1, r.top, r.right, r.bottom}, color);
}

namespace {

void Stamp(Bitmap& bmp, int x, int y, const Pen& pen) {
  int w = std::max(pen.width, 1);
  int x0 = x - (w - 1) / 2, y0 = y - (w - 1) / 2;
  FillRect(bmp, {x0, y0, x0 + w, y0 + w}, pen.color);
}

}  // namespace

void DrawLine(Bitmap& bmp, int x0, int y0, int x1, int y1, const Pen& pen) {
  // A line wholly beside the bitmap draws nothing; skip its steps.
  const int64_t margin = std::max(pen.width, 1);
  if ((int64_t(std::max(x0, x1)) + margin < 0) ||
      (int64_t(std::min(x0, x1)) - margin >= bmp.width) ||
      (int64_t(std::max(y0, y1)) + margin < 0) ||
      (int64_t(std::min(y0, y1)) - margin >= bmp.height))
    return;
  int64_t dx = std::llabs(int64_t(x1) - x0), dy = -std::llabs(int64_t(y1) - y0);
  int stepX = x0 < x1 ? 1 : -1, stepY = y0 < y1 ? 1 : -1;
  int64_t err = dx + dy;
  int x = x0, y = y0;
  while (x != x1 || y != y1) {
    Stamp(bmp, x, y, pen);
    int64_t e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += stepX;
    }
    if (e2 <= dx) {
      err += dx;
      y += stepY;
    }
  }
}

void DrawRectangle(Bitmap& bmp, const Rect& r, const Pen& pen, std::optional<ColorRef> brush) {
  if (r.empty()) return;
  if (brush) FillRect(bmp, r, *brush);
  int w = std::max(pen.width, 1);
  if (w == 1) {
    FrameRect(bmp, r, pen.color);
    return;
  }
  // A wide pen is centred on the outline through the outermost pixels.
  int lo = (w - 1) / 2;
  int l = r.left - lo, t = r.top - lo, rr = r.right - 1 - lo, b = r.bottom - 1 - lo;
  FillRect(bmp, {l, t, rr + w, t + w}, pen.color);
  FillRect(bmp, {l, b, rr + w, b + w}, pen.color);
  FillRect(bmp, {l, t, l + w, b + w}, pen.color);
  FillRect(bmp, {rr, t, rr + w, b + w}, pen.color);
}

const Palette& DefaultPalette256() {
  static const Palette palette = [] {
    Palette p;
    p.reserve(256);
    static const uint8_t basic[16][3] = {
        {0, 0, 0},     {128, 0, 0},     {0, 128, 0},     {128, 128, 0},  {0, 0, 128}, {128, 0, 128},
        {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0},    {0, 255, 0}, {255, 255, 0},
        {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
    for (auto& c : basic) p.push_back(RgbQuad{c[2], c[1], c[0], 0});
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 6; ++g)
        for (int b = 0; b < 6; ++b)
          p.push_back(RgbQuad{uint8_t(b * 51), uint8_t(g * 51), uint8_t(r * 51), 0});
    // 24 greys between the cube's steps.
    for (int i = 1; p.size() < 256; ++i) {
      uint8_t v = uint8_t(i * 255 / 25);
      p.push_back(RgbQuad{v, v, v, 0});
    }
    return p;
  }();
  return palette;
}

int NearestPaletteIndex(const Palette& palette, ColorRef color) {
  int best = 0;
  int bestDist = 1 << 30;
  int r = GetR(color), g = GetG(color), b = GetB(color);
  for (size_t i = 0; i < palette.size(); ++i) {
    int dr = palette[i].red - r, dg = palette[i].green - g, db = palette[i].blue - b;
    int d = dr * dr + dg * dg + db * db;
    if (d < bestDist) {
      bestDist = d;
      best = int(i);
      if (d == 0) break;
    }
  }
  return best;
}

}  // namespace zr
