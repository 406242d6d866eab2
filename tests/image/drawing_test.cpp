#include <gtest/gtest.h>

#include "image/bmp.h"
#include "image/drawing.h"
#include "image/transparent_image.h"
#include "support/temp_dir.h"

namespace zr {
namespace {

constexpr ColorRef kBg = Rgb(9, 8, 7);

Bitmap Logo() {
  // 3 x 2 with red at (0,0) and (2,1), the rest distinct.
  Bitmap b(3, 2);
  SetPixel(b, 0, 0, Rgb(255, 0, 0));
  SetPixel(b, 1, 0, Rgb(0, 255, 0));
  SetPixel(b, 2, 0, Rgb(0, 0, 255));
  SetPixel(b, 0, 1, Rgb(255, 255, 255));
  SetPixel(b, 1, 1, Rgb(0, 0, 0));
  SetPixel(b, 2, 1, Rgb(255, 0, 0));
  return b;
}

TEST(TransparentImage, MaskIsTheImagesFormatWhiteWhereTransparent) {
  TransparentImage ti;
  ASSERT_TRUE(ti.SetImage(Logo(), {}, Rgb(255, 0, 0)));
  EXPECT_EQ(GetPixel(ti.mask(), 0, 0), Rgb(255, 255, 255));
  EXPECT_EQ(GetPixel(ti.mask(), 1, 0), Rgb(0, 0, 0));
  EXPECT_EQ(GetPixel(ti.image(), 0, 0), Rgb(0, 0, 0));  // transparent pixels blacked
  EXPECT_EQ(GetPixel(ti.image(), 2, 0), Rgb(0, 0, 255));

  Bitmap target(4, 3, PixelFromColorRef(kBg));
  ASSERT_TRUE(ti.DrawInto(target, 1, 1));
  EXPECT_EQ(GetPixel(target, 1, 1), kBg);
  EXPECT_EQ(GetPixel(target, 2, 1), Rgb(0, 255, 0));
  EXPECT_EQ(GetPixel(target, 1, 2), Rgb(255, 255, 255));
  EXPECT_EQ(GetPixel(target, 2, 2), Rgb(0, 0, 0));  // black logo pixels stay black
  EXPECT_EQ(GetPixel(target, 3, 2), kBg);
  EXPECT_EQ(GetPixel(target, 0, 0), kBg);
}

TEST(TransparentImage, AbsentColourIsOpaqueOnlyColourLeavesTargetAndOffsetsClip) {
  TransparentImage ti;
  ASSERT_TRUE(ti.SetImage(Logo(), {}, Rgb(1, 2, 3)));
  Bitmap target(3, 2, PixelFromColorRef(kBg));
  ASSERT_TRUE(ti.DrawInto(target, 0, 0, 0, 0, -1, -1));
  EXPECT_EQ(target.pixels, Logo().pixels);

  ASSERT_TRUE(ti.SetImage(Bitmap(3, 2, PixelFromColorRef(Rgb(4, 4, 4))), {}, Rgb(4, 4, 4)));
  target = Bitmap(3, 2, PixelFromColorRef(kBg));
  ASSERT_TRUE(ti.DrawInto(target, 0, 0));
  EXPECT_EQ(target.pixels, Bitmap(3, 2, PixelFromColorRef(kBg)).pixels);

  // Partly outside: the visible part only.
  ASSERT_TRUE(ti.SetImage(Logo(), {}, Rgb(1, 2, 3)));
  target = Bitmap(2, 2, PixelFromColorRef(kBg));
  ASSERT_TRUE(ti.DrawInto(target, -1, 1));
  EXPECT_EQ(GetPixel(target, 0, 1), Rgb(0, 255, 0));
  EXPECT_EQ(GetPixel(target, 1, 1), Rgb(0, 0, 255));
  EXPECT_EQ(GetPixel(target, 0, 0), kBg);
  ASSERT_TRUE(ti.DrawInto(target, 50, 50));

  ti.Clear();
  EXPECT_FALSE(ti.DrawInto(target, 0, 0));
}

TEST(TransparentImage, PixelColourFromTheLogoCountsEverywhereAndMirrorFlips) {
  test::TempDir dir;
  std::string path = dir.file("logo.bmp");
  ASSERT_TRUE(SaveBmpFile(path, Logo(), {}));
  TransparentImage ti;
  ASSERT_TRUE(ti.LoadWithPixelColor(path, 0, 0));
  Bitmap target(3, 2, PixelFromColorRef(kBg));
  ASSERT_TRUE(ti.DrawInto(target, 0, 0));
  EXPECT_EQ(GetPixel(target, 0, 0), kBg);
  EXPECT_EQ(GetPixel(target, 2, 1), kBg);  // same red in the middle of the picture
  EXPECT_EQ(GetPixel(target, 1, 0), Rgb(0, 255, 0));

  ASSERT_TRUE(ti.LoadWithColor(path, Rgb(0, 0, 255), true));
  EXPECT_EQ(GetPixel(ti.image(), 0, 0), Rgb(0, 0, 0));  // blue, now at the left, is blacked
  EXPECT_EQ(GetPixel(ti.image(), 2, 0), Rgb(255, 0, 0));

  EXPECT_FALSE(ti.LoadWithColor(dir.file("none.bmp"), 0));
  EXPECT_TRUE(ti.empty());
  EXPECT_FALSE(ti.LoadWithPixelColor(path, 99, 99));
}

TEST(DrawingHelpers, SunkenFrameLiesInTheTwoPixelBandAroundTheImage) {
  const int u = 3, v = 2, w = 4, h = 3;
  Bitmap view(12, 10, PixelFromColorRef(kBg));
  DrawSunkenFrame(view, u - 2, v - 2, u + w + 1, v + h + 1);
  const ColorRef grey = Rgb(128, 128, 128), white = Rgb(255, 255, 255);
  EXPECT_EQ(GetPixel(view, u - 2, v - 2), grey);    // outer top-left corner
  EXPECT_EQ(GetPixel(view, u + w, v - 2), grey);    // grey top edge ends at right - 1
  EXPECT_EQ(GetPixel(view, u + w + 1, v + h + 1), white);
  EXPECT_EQ(GetPixel(view, u - 1, v + h + 1), white);  // white bottom edge
  EXPECT_EQ(GetPixel(view, u - 2, v + h + 1), kBg);
  for (int y = v; y < v + h; ++y)
    for (int x = u; x < u + w; ++x) EXPECT_EQ(GetPixel(view, x, y), kBg) << x << "," << y;
  EXPECT_EQ(GetPixel(view, u + w + 2, v), kBg);
}

TEST(DrawingHelpers, BlitStretchFillAndMirror) {
  Bitmap src = Logo();
  Bitmap dst(6, 4, PixelFromColorRef(kBg));
  ASSERT_TRUE(BlitBitmap(src, 0, 0, 6, 4, dst, 0, 0, SRCCOPY, true));
  EXPECT_EQ(GetPixel(dst, 5, 3), Rgb(255, 0, 0));
  EXPECT_EQ(GetPixel(dst, 2, 0), Rgb(0, 255, 0));
  dst = Bitmap(6, 4, PixelFromColorRef(kBg));
  ASSERT_TRUE(DrawBitmap(dst, src, 1, 0, -1, -1, 4, 2));
  EXPECT_EQ(GetPixel(dst, 4, 2), Rgb(0, 255, 0));
  EXPECT_EQ(GetPixel(dst, 5, 3), Rgb(255, 0, 0));
  EXPECT_FALSE(BlitBitmap(Bitmap(), 0, 0, -1, -1, dst, 0, 0));

  FillRectColor(dst, {0, 0, 2, 2}, Rgb(1, 1, 1));
  EXPECT_EQ(GetPixel(dst, 1, 1), Rgb(1, 1, 1));
  EXPECT_EQ(GetPixel(dst, 2, 1), kBg);

  Bitmap m = Logo();
  MirrorBitmap(m);
  EXPECT_EQ(GetPixel(m, 0, 0), Rgb(0, 0, 255));
  EXPECT_EQ(GetPixel(m, 1, 0), Rgb(0, 255, 0));
  EXPECT_EQ(GetPixel(m, 0, 1), Rgb(255, 0, 0));
}

}  // namespace
}  // namespace zr
