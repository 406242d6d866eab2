#include <gtest/gtest.h>

#include <limits>

#include "platform/raster.h"

namespace zr {
namespace {

Bitmap Filled(int w, int h, ColorRef c) { return Bitmap(w, h, PixelFromColorRef(c)); }

TEST(RasterRop, EachOperationCombinesSourceAndTargetAndKeepsXByteZero) {
  const ColorRef s = Rgb(0xF0, 0x3C, 0x55), d = Rgb(0x0F, 0xFC, 0xAA);
  struct Case { uint32_t rop; ColorRef expect; };
  const Case cases[] = {
      {SRCCOPY, s},
      {SRCAND, s & d},
      {SRCPAINT, s | d},
      {SRCINVERT, s ^ d},
      {SRCERASE, s & ~d & 0xFFFFFF},
      {NOTSRCCOPY, ~s & 0xFFFFFF},
      {NOTSRCERASE, ~(s | d) & 0xFFFFFF},
      {MERGEPAINT, (~s | d) & 0xFFFFFF},
      {DSTINVERT, ~d & 0xFFFFFF},
      {BLACKNESS, 0},
      {WHITENESS, 0xFFFFFF},
  };
  for (const Case& c : cases) {
    Bitmap src = Filled(3, 2, s), dst = Filled(3, 2, d);
    ASSERT_TRUE(BitBlt(dst, 0, 0, 3, 2, src, 0, 0, c.rop)) << std::hex << c.rop;
    for (Pixel p : dst.pixels) {
      EXPECT_EQ(ColorRefFromPixel(p), c.expect) << std::hex << c.rop;
      EXPECT_EQ(p >> 24, 0u) << std::hex << c.rop;
    }
  }
  Bitmap src = Filled(1, 1, s), dst = Filled(1, 1, d);
  EXPECT_FALSE(BitBlt(dst, 0, 0, 1, 1, src, 0, 0, 0x12345678));
  EXPECT_EQ(GetPixel(dst, 0, 0), d);
}

TEST(RasterBlit, ClipsToBothBitmapsAndTouchesNothingElse) {
  Bitmap src(4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) SetPixel(src, x, y, Rgb(uint8_t(x), uint8_t(y), 1));
  const ColorRef bg = Rgb(9, 9, 9);

  // Target position left of and above the target: the visible part lands at (0,0).
  Bitmap dst = Filled(3, 3, bg);
  ASSERT_TRUE(BitBlt(dst, -2, -1, 4, 4, src, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(dst, 0, 0), Rgb(2, 1, 1));
  EXPECT_EQ(GetPixel(dst, 1, 2), Rgb(3, 3, 1));
  EXPECT_EQ(GetPixel(dst, 2, 0), bg);  // source ran out at column 3
  EXPECT_EQ(GetPixel(dst, 0, 2), Rgb(2, 3, 1));

  // Source rectangle partly outside the source: only existing pixels are copied.
  dst = Filled(3, 3, bg);
  ASSERT_TRUE(BitBlt(dst, 0, 0, 3, 3, src, 2, -1, SRCCOPY));
  EXPECT_EQ(GetPixel(dst, 0, 0), bg);
  EXPECT_EQ(GetPixel(dst, 0, 1), Rgb(2, 0, 1));
  EXPECT_EQ(GetPixel(dst, 1, 2), Rgb(3, 1, 1));
  EXPECT_EQ(GetPixel(dst, 2, 1), bg);

  // Wholly outside, huge or negative sizes: nothing happens, nothing is read wrongly.
  dst = Filled(3, 3, bg);
  EXPECT_TRUE(BitBlt(dst, 100, 100, 4, 4, src, 0, 0, SRCCOPY));
  EXPECT_TRUE(BitBlt(dst, 0, 0, 1 << 30, 1 << 30, src, 0, 0, SRCCOPY));
  EXPECT_TRUE(BitBlt(dst, 0, 0, -5, 3, src, 0, 0, SRCCOPY));
  EXPECT_TRUE(BitBlt(dst, -(1 << 30), 0, 4, 4, src, 0, 0, SRCCOPY));
  // Positions typed by users may be anything; the clipping must not overflow.
  constexpr int kMin = std::numeric_limits<int>::min(), kMax = std::numeric_limits<int>::max();
  EXPECT_TRUE(BitBlt(dst, kMin, kMin, kMax, kMax, src, 0, 0, SRCCOPY));
  EXPECT_TRUE(BitBlt(dst, kMax, 0, kMax, 4, src, kMin, 0, SRCCOPY));
  EXPECT_TRUE(BitBlt(dst, 0, 0, kMax, kMax, src, kMax, kMax, SRCCOPY));
  EXPECT_TRUE(StretchBlt(dst, kMin / 2, 0, kMax / 2, 3, src, 0, 0, 4, 4, SRCCOPY));
  EXPECT_TRUE(StretchBlt(dst, kMax, kMax, kMax, kMax, src, 0, 0, 4, 4, SRCCOPY));
  EXPECT_TRUE(StretchBlt(dst, 0, 0, kMin, 3, src, 0, 0, kMin, 4, SRCCOPY, StretchMode::Halftone));
  EXPECT_TRUE(StretchBlt(dst, 0, 0, 2, 2, src, 0, 0, kMax, kMax, SRCCOPY, StretchMode::Halftone));
  DrawLine(dst, kMin, kMin, kMin + 5, kMax, Pen{0, 3});
  EXPECT_EQ(GetPixel(dst, 2, 2), Rgb(2, 2, 1));

  Bitmap empty;
  EXPECT_FALSE(BitBlt(dst, 0, 0, 1, 1, empty, 0, 0, SRCCOPY));
  EXPECT_FALSE(BitBlt(empty, 0, 0, 1, 1, src, 0, 0, SRCCOPY));
}

TEST(RasterBlit, OverlappingCopyWithinOneBitmapUsesTheOriginalPixels) {
  Bitmap b(5, 1);
  for (int x = 0; x < 5; ++x) SetPixel(b, x, 0, Rgb(uint8_t(x), 0, 0));
  ASSERT_TRUE(BitBlt(b, 1, 0, 4, 1, b, 0, 0, SRCCOPY));
  for (int x = 1; x < 5; ++x) EXPECT_EQ(GetR(GetPixel(b, x, 0)), x - 1);
}

TEST(RasterMono, ConversionsFollowBackgroundAndTextColours) {
  Bitmap b(3, 1);
  SetPixel(b, 0, 0, Rgb(1, 2, 3));
  SetPixel(b, 1, 0, Rgb(7, 7, 7));
  SetPixel(b, 2, 0, Rgb(1, 2, 3));
  b.at(2, 0) |= 0xAB000000;  // the unused byte never counts in a comparison
  MonoBitmap m = MonoFromBitmap(b, Rgb(1, 2, 3));
  EXPECT_EQ(m.bits, (std::vector<uint8_t>{1, 0, 1}));

  Bitmap c = BitmapFromMono(m, Rgb(0, 0, 0), Rgb(255, 255, 255));
  EXPECT_EQ(GetPixel(c, 0, 0), Rgb(255, 255, 255));
  EXPECT_EQ(GetPixel(c, 1, 0), Rgb(0, 0, 0));

  // Mono source blit: 1 bits take the background colour, 0 bits the text colour.
  Bitmap dst = Filled(3, 1, Rgb(50, 50, 50));
  ASSERT_TRUE(BitBlt(dst, 0, 0, 3, 1, m, 0, 0, SRCCOPY, Rgb(10, 0, 0), Rgb(0, 20, 0)));
  EXPECT_EQ(GetPixel(dst, 0, 0), Rgb(0, 20, 0));
  EXPECT_EQ(GetPixel(dst, 1, 0), Rgb(10, 0, 0));

  // Colour onto a monochrome target.
  MonoBitmap target(3, 1);
  ASSERT_TRUE(BitBlt(target, 0, 0, 3, 1, b, 0, 0, Rgb(7, 7, 7)));
  EXPECT_EQ(target.bits, (std::vector<uint8_t>{0, 1, 0}));
}

TEST(RasterStretch, NearestDoublingMirroringAndHalftoneAveraging) {
  Bitmap src(2, 2);
  SetPixel(src, 0, 0, Rgb(10, 0, 0));
  SetPixel(src, 1, 0, Rgb(20, 0, 0));
  SetPixel(src, 0, 1, Rgb(30, 0, 0));
  SetPixel(src, 1, 1, Rgb(40, 0, 0));

  Bitmap big(4, 4);
  ASSERT_TRUE(StretchBlt(big, 0, 0, 4, 4, src, 0, 0, 2, 2, SRCCOPY));
  const int expect[4][4] = {{10, 10, 20, 20}, {10, 10, 20, 20}, {30, 30, 40, 40}, {30, 30, 40, 40}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(GetR(GetPixel(big, x, y)), expect[y][x]) << x << "," << y;

  // A negative target width mirrors; the rectangle still covers x = 0..1.
  Bitmap mirrored(2, 2);
  ASSERT_TRUE(StretchBlt(mirrored, 1, 0, -2, 2, src, 0, 0, 2, 2, SRCCOPY));
  EXPECT_EQ(GetR(GetPixel(mirrored, 0, 0)), 20);
  EXPECT_EQ(GetR(GetPixel(mirrored, 1, 0)), 10);

  Bitmap one(1, 1);
  ASSERT_TRUE(StretchBlt(one, 0, 0, 1, 1, src, 0, 0, 2, 2, SRCCOPY, StretchMode::Halftone));
  EXPECT_EQ(GetR(GetPixel(one, 0, 0)), 25);

  // Clipped: a stretch far bigger than the target writes only the target.
  Bitmap small(3, 3, 0);
  ASSERT_TRUE(StretchBlt(small, -100, -100, 1000, 1000, src, 0, 0, 2, 2, SRCCOPY));
  EXPECT_EQ(GetR(GetPixel(small, 0, 0)), 10);
  ASSERT_TRUE(StretchBlt(small, 0, 0, 3, 3, src, 0, 0, 2, 2, SRCCOPY, StretchMode::Halftone));
}

TEST(RasterShapes, FillsFramesPensAndLines) {
  const ColorRef bg = Rgb(1, 1, 1), c = Rgb(200, 0, 0);
  Bitmap b = Filled(6, 5, bg);
  FillRect(b, {-3, 3, 2, 99}, c);  // clipped
  EXPECT_EQ(GetPixel(b, 0, 3), c);
  EXPECT_EQ(GetPixel(b, 1, 4), c);
  EXPECT_EQ(GetPixel(b, 2, 4), bg);  // right edge exclusive
  EXPECT_EQ(GetPixel(b, 0, 2), bg);

  b = Filled(6, 5, bg);
  FrameRect(b, {1, 1, 5, 4}, c);
  for (int x = 1; x < 5; ++x) {
    EXPECT_EQ(GetPixel(b, x, 1), c);
    EXPECT_EQ(GetPixel(b, x, 3), c);
  }
  EXPECT_EQ(GetPixel(b, 2, 2), bg);
  EXPECT_EQ(GetPixel(b, 5, 1), bg);
  EXPECT_EQ(GetPixel(b, 1, 4), bg);

  // A 3-pixel pen centred on the outermost pixels, brush inside.
  b = Filled(12, 12, bg);
  DrawRectangle(b, {3, 3, 9, 9}, Pen{c, 3}, Rgb(0, 0, 9));
  EXPECT_EQ(GetPixel(b, 2, 5), c);
  EXPECT_EQ(GetPixel(b, 4, 5), c);
  EXPECT_EQ(GetPixel(b, 5, 5), Rgb(0, 0, 9));
  EXPECT_EQ(GetPixel(b, 9, 5), c);
  EXPECT_EQ(GetPixel(b, 1, 5), bg);
  EXPECT_EQ(GetPixel(b, 10, 5), bg);

  // Lines leave out their last point.
  b = Filled(6, 5, bg);
  DrawLine(b, 0, 2, 4, 2, Pen{c, 1});
  EXPECT_EQ(GetPixel(b, 0, 2), c);
  EXPECT_EQ(GetPixel(b, 3, 2), c);
  EXPECT_EQ(GetPixel(b, 4, 2), bg);
  DrawLine(b, -50, -50, 50, 50, Pen{c, 5});  // far outside: clipped, no fault
  EXPECT_EQ(GetPixel(b, 0, 0), c);
}

TEST(RasterPalette, DefaultPaletteAndNearestColour) {
  const Palette& p = DefaultPalette256();
  ASSERT_EQ(p.size(), 256u);
  EXPECT_EQ(p[NearestPaletteIndex(p, Rgb(0, 0, 0))], (RgbQuad{0, 0, 0, 0}));
  EXPECT_EQ(p[NearestPaletteIndex(p, Rgb(255, 255, 255))], (RgbQuad{255, 255, 255, 0}));
  EXPECT_EQ(p[NearestPaletteIndex(p, Rgb(250, 2, 3))], (RgbQuad{0, 0, 255, 0}));
  Palette two{{0, 0, 0, 0}, {255, 255, 255, 0}};
  EXPECT_EQ(NearestPaletteIndex(two, Rgb(100, 100, 100)), 0);
  EXPECT_EQ(NearestPaletteIndex(two, Rgb(160, 160, 160)), 1);
}

}  // namespace
}  // namespace zr
