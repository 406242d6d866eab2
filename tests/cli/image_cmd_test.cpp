// `zerarive-cli image` and `info` on image files, with ImageMagick as the independent
// judge of colours.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "image/bmp_builder.h"

#include "support/temp_dir.h"

namespace zr {
namespace {

const std::string kCli = std::string(ZR_BIN_DIR) + "/zerarive-cli";

// Pixels as ImageMagick decodes them, 8 bits per channel.
std::string Rgb8(const std::string& path) {
  std::string out;
  EXPECT_EQ(test::RunCommand("convert '" + path + "' -depth 8 rgb:- | od -An -tx1 -v", &out), 0)
      << path;
  return out;
}

TEST(ImageCommand, ConvertsEveryBmpDepthWithExactColours) {
  test::TempDir dir;
  const std::string scene = "-size 23x9 gradient:'#ff2000'-'#0030ff' -fill '#10c040' -draw 'rectangle 4,2 11,6'";
  const std::vector<std::pair<std::string, std::string>> inputs = {
      {"mono1", "-monochrome BMP3:"},
      {"pal4", "-colors 16 -type Palette BMP3:"},
      {"pal8", "-colors 200 -type Palette BMP3:"},
      {"rle8", "-colors 200 -type Palette -compress RLE BMP3:"},
      {"rgb24", "-type TrueColor BMP3:"},
      {"core", "-colors 16 -type Palette BMP2:"},
  };
  for (const auto& [name, how] : inputs) {
    std::string in = dir.file(name + ".bmp"), out = dir.file(name + "-out.bmp");
    ASSERT_EQ(test::RunCommand("convert " + scene + " " + how + in), 0) << name;
    std::string err;
    ASSERT_EQ(test::RunCommand(kCli + " image " + in + " " + out + " 2>&1", &err), 0)
        << name << ": " << err;
    EXPECT_EQ(Rgb8(out), Rgb8(in)) << name;
  }
  // 16-bit 5-5-5 and 5-6-5 bit fields, made here since ImageMagick writes neither plainly.
  for (bool fields : {false, true}) {
    test::BmpSpec s;
    s.width = 13, s.height = 6, s.bitCount = 16;
    if (fields) {
      s.compression = 3;
      s.masks[0] = 0xF800, s.masks[1] = 0x07E0, s.masks[2] = 0x001F;
    }
    std::mt19937 rng(5);
    s.pixels.resize(28 * 6);
    for (auto& b : s.pixels) b = uint8_t(rng());
    std::string in = dir.file("rgb16.bmp"), out = dir.file("rgb16-out.bmp");
    ASSERT_TRUE(test::WriteBytes(in, test::AsString(test::BuildBmp(s))));
    ASSERT_EQ(test::RunCommand(kCli + " image " + in + " " + out), 0);
    EXPECT_EQ(Rgb8(out), Rgb8(in)) << (fields ? "5-6-5" : "5-5-5");
  }
}

TEST(ImageCommand, InfoReportsTheFilesOwnDepthAndPalette) {
  test::TempDir dir;
  // A 4-bit file even though it uses two colours: info tells what the file stores.
  test::BmpSpec s;
  s.width = 5, s.height = 3, s.bitCount = 4;
  s.table.resize(16);
  s.pixels.assign(12, 0x10);
  std::string in = dir.file("p.bmp");
  ASSERT_TRUE(test::WriteBytes(in, test::AsString(test::BuildBmp(s))));
  std::string out;
  ASSERT_EQ(test::RunCommand(kCli + " info " + in, &out), 0);
  EXPECT_NE(out.find("width: 5"), std::string::npos) << out;
  EXPECT_NE(out.find("height: 3"), std::string::npos) << out;
  EXPECT_NE(out.find("depth: 4 bits"), std::string::npos) << out;
  EXPECT_NE(out.find("palette: 16 colours"), std::string::npos) << out;
}

TEST(ImageCommand, FailuresExitOneWithOneLineAndWriteNothing) {
  test::TempDir dir;
  std::string good = dir.file("g.bmp");
  ASSERT_EQ(test::RunCommand("convert -size 2x2 xc:red BMP3:" + good), 0);
  ASSERT_TRUE(test::WriteBytes(dir.file("bad.bmp"), "BM not really"));
  const std::vector<std::string> calls = {
      "image " + dir.file("missing.bmp") + " " + dir.file("o1.bmp"),
      "image " + dir.file("bad.bmp") + " " + dir.file("o2.bmp"),
      "image " + good + " " + dir.file("o3.gif"),
      "image " + good,
      "info " + dir.file("bad.bmp"),
  };
  for (const std::string& c : calls) {
    std::string out;
    EXPECT_EQ(test::RunCommand(kCli + " " + c + " 2>&1", &out), 1) << c;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << c << ": " << out;
  }
  for (const char* f : {"o1.bmp", "o2.bmp", "o3.gif"})
    EXPECT_NE(test::RunCommand(std::string("test -e ") + dir.file(f)), 0) << f;
  std::string help;
  EXPECT_EQ(test::RunCommand(kCli + " image --help", &help), 0);
  EXPECT_NE(help.find("Usage: zerarive-cli image IN OUT"), std::string::npos);
  // Built-in bitmaps convert by name.
  EXPECT_EQ(test::RunCommand(kCli + " image '<UP' " + dir.file("up.bmp")), 0);
}

}  // namespace
}  // namespace zr
