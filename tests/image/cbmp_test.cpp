#include <gtest/gtest.h>

#include "image/bmp.h"
#include "image/cbmp.h"
#include "image/dib_convert.h"
#include "support/fake_host.h"
#include "support/temp_dir.h"

namespace zr {
namespace {

constexpr ColorRef kKey = Rgb(255, 0, 255);
constexpr ColorRef kTarget = Rgb(10, 20, 30);

// 3 x 2: the key colour at (1, 0) and (0, 1), others distinct.
CBmp Sample() {
  Bitmap b(3, 2);
  SetPixel(b, 0, 0, Rgb(1, 2, 3));
  SetPixel(b, 1, 0, kKey);
  SetPixel(b, 2, 0, Rgb(200, 100, 50));
  SetPixel(b, 0, 1, kKey);
  SetPixel(b, 1, 1, Rgb(255, 255, 255));
  SetPixel(b, 2, 1, Rgb(0, 0, 0));
  CBmp img;
  img.SetBitmap(b);
  return img;
}

TEST(CBmpDraw, OpaqueFullSizeRectangleAndStretch) {
  CBmp img = Sample();
  Bitmap target(5, 4, PixelFromColorRef(kTarget));
  ASSERT_TRUE(img.Draw(target, 0, 0, -1, -1, 1, 1));
  EXPECT_EQ(GetPixel(target, 2, 1), kKey);  // not transparent: the key colour is drawn
  EXPECT_EQ(GetPixel(target, 3, 2), Rgb(0, 0, 0));
  EXPECT_EQ(GetPixel(target, 4, 1), kTarget);
  EXPECT_EQ(GetPixel(target, 0, 0), kTarget);

  Bitmap part(2, 2, PixelFromColorRef(kTarget));
  ASSERT_TRUE(img.Draw(part, 2, 0, 1, 2, 0, 0));
  EXPECT_EQ(GetPixel(part, 0, 0), Rgb(200, 100, 50));
  EXPECT_EQ(GetPixel(part, 0, 1), Rgb(0, 0, 0));
  EXPECT_EQ(GetPixel(part, 1, 0), kTarget);

  Bitmap big(6, 4);
  ASSERT_TRUE(img.Draw(big, 0, 0, 6, 4, 0, 0, true));
  EXPECT_EQ(GetPixel(big, 5, 3), Rgb(0, 0, 0));
  EXPECT_EQ(GetPixel(big, 0, 0), Rgb(1, 2, 3));

  CBmp empty;
  Bitmap untouched(2, 2, 7);
  EXPECT_FALSE(empty.Draw(untouched));
  EXPECT_EQ(untouched.pixels, Bitmap(2, 2, 7).pixels);
  int w = 0, h = 0;
  EXPECT_FALSE(empty.GetSize(w, h));
  ASSERT_TRUE(img.GetSize(w, h));
  EXPECT_EQ(w, 3);
  EXPECT_EQ(h, 2);
}

TEST(CBmpDraw, TransparentLeavesExactlyTheKeyPixelsOfTheTarget) {
  for (bool stretch : {false, true}) {
    CBmp img = Sample();
    img.SetTransparent(true);
    img.SetTransparentColor(kKey);
    Bitmap target(3, 2);
    for (size_t i = 0; i < target.pixels.size(); ++i) target.pixels[i] = Pixel(0x111111 * (i + 1));
    const Bitmap before = target;
    ASSERT_TRUE(img.Draw(target, 0, 0, -1, -1, 0, 0, stretch));
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) {
        ColorRef src = GetPixel(img.bitmap(), x, y);
        EXPECT_EQ(GetPixel(target, x, y), src == kKey ? GetPixel(before, x, y) : src)
            << x << "," << y << (stretch ? " stretched" : "");
      }
    EXPECT_TRUE(img.hasMask());
  }
}

TEST(CBmpDraw, MaskIsKeptUntilClearOrCopyRectEvenWhenTheColourChanges) {
  CBmp img = Sample();
  img.SetTransparent(true);
  img.SetTransparentColor(kKey);
  Bitmap target(3, 2, PixelFromColorRef(kTarget));
  ASSERT_TRUE(img.Draw(target));
  // White is now the transparent colour, but the mask made for magenta stands.
  img.SetTransparentColor(Rgb(255, 255, 255));
  target = Bitmap(3, 2, PixelFromColorRef(kTarget));
  ASSERT_TRUE(img.Draw(target));
  EXPECT_EQ(GetPixel(target, 1, 0), kTarget);
  EXPECT_EQ(GetPixel(target, 1, 1), Rgb(255, 255, 255));

  // CopyRect into the image discards the mask and takes the source's flag.
  CBmp src = Sample();
  src.SetTransparent(false);
  ASSERT_TRUE(CBmp::CopyRect(src, img, 0, 0));
  EXPECT_FALSE(img.hasMask());
  EXPECT_FALSE(img.IsTransparent());
  img.SetTransparent(true);
  target = Bitmap(3, 2, PixelFromColorRef(kTarget));
  ASSERT_TRUE(img.Draw(target));
  EXPECT_EQ(GetPixel(target, 1, 1), kTarget);  // new mask: white now transparent
  EXPECT_EQ(GetPixel(target, 1, 0), kKey);

  img.Clear();
  EXPECT_TRUE(img.empty());
  EXPECT_FALSE(img.hasMask());
  EXPECT_TRUE(img.IsTransparent());  // Clear keeps flag and colour
  EXPECT_EQ(img.GetTransparentColor(), Rgb(255, 255, 255));

  // CopyRect needs both bitmaps.
  CBmp none;
  EXPECT_FALSE(CBmp::CopyRect(src, none, 0, 0));
  EXPECT_FALSE(CBmp::CopyRect(none, src, 0, 0));
}

TEST(CBmpLoad, TransparentFlagAndColourSurviveLoad) {
  test::TempDir dir;
  std::string path = dir.file("a.bmp");
  ASSERT_TRUE(SaveBmpFile(path, Bitmap(2, 2, 0x00FF00), {}));
  CBmp img;
  img.SetTransparent(true);
  img.SetTransparentColor(kKey);
  ASSERT_TRUE(img.Load(path));
  EXPECT_TRUE(img.IsTransparent());
  EXPECT_EQ(img.GetTransparentColor(), kKey);
  EXPECT_EQ(GetPixel(img.bitmap(), 1, 1), Rgb(0, 255, 0));
  // A failed load empties the image but keeps them too.
  EXPECT_FALSE(img.Load(dir.file("missing.bmp")));
  EXPECT_TRUE(img.empty());
  EXPECT_TRUE(img.IsTransparent());
}

TEST(CBmpClipboard, CopyOffersPaletteOnlyWhenThereIsOneAndPasteReplacesTheBitmap) {
  test::FakeHost host;
  CBmp img = Sample();
  ASSERT_TRUE(img.CopyToClipboard(host));
  ASSERT_TRUE(host.clipboard);
  EXPECT_TRUE(host.clipboard->palette.empty());
  EXPECT_EQ(host.clipboard->bitmap.pixels, img.bitmap().pixels);

  img.SetPalette({{1, 2, 3, 0}, {4, 5, 6, 0}});
  ASSERT_TRUE(img.CopyToClipboard(host));
  EXPECT_EQ(host.clipboard->palette.size(), 2u);

  CBmp empty;
  EXPECT_FALSE(empty.CopyToClipboard(host));

  CBmp target;
  target.SetTransparent(true);
  target.SetTransparentColor(kKey);
  ASSERT_TRUE(target.PasteFromClipboard(host));
  EXPECT_EQ(target.bitmap().pixels, img.bitmap().pixels);
  EXPECT_EQ(target.palette().size(), 2u);
  EXPECT_TRUE(target.IsTransparent());
  EXPECT_EQ(target.GetTransparentColor(), kKey);

  host.clipboard.reset();
  EXPECT_FALSE(target.PasteFromClipboard(host));
  EXPECT_FALSE(target.empty());  // a failed paste leaves the image alone
}

TEST(CBmpClipboard, PasteOfAnotherPictureDropsTheOldMask) {
  test::FakeHost host;
  CBmp img = Sample();
  img.SetTransparent(true);
  img.SetTransparentColor(kKey);
  Bitmap target(3, 2);
  ASSERT_TRUE(img.Draw(target));
  ASSERT_TRUE(img.hasMask());
  Bitmap other(4, 4, PixelFromColorRef(kKey));
  SetPixel(other, 3, 3, Rgb(1, 1, 1));
  host.clipboard = ClipboardImage{other, {}};
  ASSERT_TRUE(img.PasteFromClipboard(host));
  Bitmap t2(4, 4, PixelFromColorRef(kTarget));
  ASSERT_TRUE(img.Draw(t2));
  EXPECT_EQ(GetPixel(t2, 0, 0), kTarget);
  EXPECT_EQ(GetPixel(t2, 3, 3), Rgb(1, 1, 1));
}

}  // namespace
}  // namespace zr
