// The formats through CBmp::Load and CBmp::Save.
#include <gtest/gtest.h>

#include <filesystem>

#include "format_test_util.h"
#include "image/cbmp.h"
#include "support/fake_host.h"

namespace zr::test {
namespace {

Bitmap BitmapOf(const RgbImage& img) {
  Bitmap b(img.width, img.height);
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const uint8_t* p = img.rgb.data() + (size_t(y) * size_t(img.width) + size_t(x)) * 3;
      b.at(x, y) = PixelFromColorRef(Rgb(p[0], p[1], p[2]));
    }
  return b;
}

RgbImage RgbOf(const Bitmap& b) {
  RgbImage img{b.width, b.height, {}};
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x) {
      ColorRef c = ColorRefFromPixel(b.at(x, y));
      img.rgb.insert(img.rgb.end(), {GetR(c), GetG(c), GetB(c)});
    }
  return img;
}

TEST(FormatDispatch, SavedFilesLoadBackWithTheirColours) {
  FakeHost host;
  TempDir dir;
  RgbImage picture = SmoothPicture(30, 17);
  CBmp image;
  image.SetBitmap(BitmapOf(picture));
  for (const char* name : {"a.pcx", "a.png", "a.tif", "a.TIFF", "a.jpg"}) {
    SCOPED_TRACE(name);
    std::string file = dir.file(name);
    ASSERT_TRUE(image.Save(file));
    CBmp back;
    ASSERT_TRUE(back.Load(file));
    auto magick = MagickDecode(file, dir.file("ref.ppm"));
    ASSERT_TRUE(magick);
    if (std::string(name).ends_with(".jpg")) {
      EXPECT_GT(Psnr(RgbOf(back.bitmap()), picture), 38.0);
      EXPECT_GT(Psnr(*magick, picture), 38.0);
    } else {
      EXPECT_SAME_PICTURE(RgbOf(back.bitmap()), picture);
      EXPECT_SAME_PICTURE(*magick, picture);
    }
  }
  for (const char* name : {"a.gif", "a.tga"}) {
    EXPECT_FALSE(image.Save(dir.file(name)));
    EXPECT_FALSE(std::filesystem::exists(dir.file(name)));
  }
  EXPECT_TRUE(host.messages.empty());
}

TEST(FormatDispatch, GifTransparencyAndBuiltInPcx) {
  TempDir dir;
  // 2 x 1, colours (10, 20, 30) and (200, 100, 50), index 1 transparent; pixels 0, 1.
  const uint8_t gif[] = {'G', 'I', 'F', '8', '9',  'a',  2, 0, 1, 0,    0x80, 0, 0,    10, 20,
                         30,  200, 100, 50,  0x21, 0xF9, 4, 1, 0, 0,    1,    0, 0x2C, 0,  0,
                         0,   0,   2,   0,   1,    0,    0, 2, 2, 0x44, 0x0A, 0, 0x3B};
  std::string file = dir.file("t.gif");
  ASSERT_TRUE(WriteBytes(file, std::string(reinterpret_cast<const char*>(gif), sizeof gif)));
  CBmp image;
  ASSERT_TRUE(image.Load(file));
  EXPECT_TRUE(image.IsTransparent());
  EXPECT_EQ(image.GetTransparentColor(), Rgb(200, 100, 50));
  EXPECT_EQ(ColorRefFromPixel(image.bitmap().at(0, 0)), Rgb(10, 20, 30));
  EXPECT_EQ(ColorRefFromPixel(image.bitmap().at(1, 0)), Rgb(200, 100, 50));

  CBmp card;
  ASSERT_TRUE(card.Load("TESTCARD.P"));
  EXPECT_EQ(card.bitmap().width, 32);
  EXPECT_EQ(ColorRefFromPixel(card.bitmap().at(31, 31)), Rgb(255, 255, 255));
}

}  // namespace
}  // namespace zr::test
