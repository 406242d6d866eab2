#include <gtest/gtest.h>

#include "image/bmp.h"
#include "image/bmp_builder.h"
#include "image/builtin_bitmaps.h"
#include "image/cbmp.h"
#include "image/image_dispatch.h"
#include "support/temp_dir.h"

namespace zr {
namespace {

bool Exists(const std::string& path) { return test::RunCommand("test -e '" + path + "'") == 0; }

TEST(Dispatch, ExtensionAloneChoosesTheReaderWhateverItsCase) {
  test::TempDir dir;
  Bitmap pic(3, 2, 0x336699);
  std::string bmp = dir.file("a.bmp");
  ASSERT_TRUE(SaveBmpFile(bmp, pic, {}));
  const std::string bytes = test::ReadBytes(bmp);
  for (const char* name : {"x.BMP", "x.Bmp", "x.dib", "x.DIB", "x.rle", "x.b.c.bmp"}) {
    ASSERT_TRUE(test::WriteBytes(dir.file(name), bytes));
    CBmp img;
    EXPECT_TRUE(img.Load(dir.file(name))) << name;
    EXPECT_EQ(img.bitmap().pixels, pic.pixels) << name;
  }
  // No sniffing: a BMP under another extension, or none, does not load.
  for (const char* name : {"x.png", "x.gif", "x", "x.bmp.txt", "x."}) {
    ASSERT_TRUE(test::WriteBytes(dir.file(name), bytes));
    CBmp img;
    EXPECT_FALSE(img.Load(dir.file(name))) << name;
    EXPECT_TRUE(img.empty()) << name;
  }
  // "<NAME" bitmaps are not resolved by the load entry.
  CBmp logo;
  EXPECT_FALSE(logo.Load("<LOGO"));
  Bitmap out(1, 1, 5);
  Palette pal{{1, 1, 1, 0}};
  EXPECT_FALSE(LoadImageFile(nullptr, "<UP", out, pal));
  EXPECT_EQ(out.pixels[0], 5u);  // outputs untouched on failure
  EXPECT_EQ(pal.size(), 1u);
}

TEST(Dispatch, SaveWritesOnlyKnownKeysAndNothingElse) {
  test::TempDir dir;
  CBmp img;
  img.SetBitmap(Bitmap(2, 2, 0x102030));
  for (const char* name : {"out.dib", "out.gif", "out.tga", "out", "out.rle"}) {
    EXPECT_FALSE(img.Save(dir.file(name))) << name;
    EXPECT_FALSE(Exists(dir.file(name))) << name;
  }
  ASSERT_TRUE(img.Save(dir.file("out.BMP")));
  CBmp back;
  ASSERT_TRUE(back.Load(dir.file("out.BMP")));
  EXPECT_EQ(back.bitmap().pixels, img.bitmap().pixels);
  CBmp empty;
  EXPECT_FALSE(empty.Save(dir.file("empty.bmp")));
  EXPECT_FALSE(Exists(dir.file("empty.bmp")));
}

TEST(Dispatch, BuiltInResourcesLoadByTheirKeys) {
  CBmp b8, b4;
  ASSERT_TRUE(b8.Load("zerarive.b8"));
  EXPECT_EQ(b8.palette().size(), 256u);
  ASSERT_TRUE(b4.Load("ZERARIVE.B4"));
  EXPECT_TRUE(b4.palette().empty());  // a 16-colour resource brings no palette
  CBmp missing;
  EXPECT_FALSE(missing.Load("NOSUCH.B8"));
  EXPECT_FALSE(missing.Load("NOSUCH.B4"));

  for (const std::string& name : BuiltinBitmapNames()) {
    auto bmp = LoadBuiltinBitmap(name);
    ASSERT_TRUE(bmp) << name;
    EXPECT_FALSE(bmp->empty()) << name;
    // Every icon draws something besides its background.
    bool drawn = false;
    for (Pixel p : bmp->pixels) drawn |= ColorRefFromPixel(p) != kBuiltinBackground;
    EXPECT_TRUE(drawn) << name;
  }
  for (const char* name : {"<LOGO", "<UP", "<DN", "<FIRST", "<LAST", "<DEL", "<up"})
    EXPECT_TRUE(LoadBuiltinBitmap(name)) << name;
  EXPECT_FALSE(LoadBuiltinBitmap("<NOPE"));
  EXPECT_NE(LoadBuiltinBitmap("<UP")->pixels, LoadBuiltinBitmap("<DN")->pixels);
}

TEST(Dispatch, InfoReportsTheFilesOwnDepth) {
  test::TempDir dir;
  test::BmpSpec s;
  s.width = 5, s.height = 3, s.bitCount = 4, s.clrUsed = 6;
  s.table.resize(6);
  s.pixels.assign(12, 0x11);
  std::string path = dir.file("four.bmp");
  ASSERT_TRUE(test::WriteBytes(path, test::AsString(test::BuildBmp(s))));
  ImageFileInfo info;
  ASSERT_TRUE(ReadImageFileInfo(path, info));
  EXPECT_EQ(info.width, 5);
  EXPECT_EQ(info.height, 3);
  EXPECT_EQ(info.bitCount, 4);
  EXPECT_EQ(info.paletteSize, 6);
  std::string error;
  ASSERT_TRUE(test::WriteBytes(dir.file("bad.bmp"), "BMxx"));
  EXPECT_FALSE(ReadImageFileInfo(dir.file("bad.bmp"), info, &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace zr
