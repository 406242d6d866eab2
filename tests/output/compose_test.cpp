// The size policy: every choice's picture, keep, Cancel, and when the question comes.
#include <gtest/gtest.h>

#include <random>

#include "output/avi_writer.h"
#include "output/compose.h"
#include "output_support.h"
#include "support/temp_dir.h"

namespace zr {
namespace {

using test::Answer;
using test::At;

constexpr ColorRef kRed = 0x0000FF, kBlue = 0xFF0000, kGreen = 0x00FF00, kWhite = 0xFFFFFF;

CBmp Image(int w, int h, ColorRef color) {
  CBmp b;
  b.SetBitmap(Bitmap(w, h, PixelFromColorRef(color)));
  return b;
}

TEST(FitToFrame, CentreFramesASmallImageWithTheBackground) {
  test::SizeHost host;
  host.sizeAnswers.push_back(Answer(2, false, 0, 0, kBlue));
  SizePolicy policy;
  CBmp working = Image(100, 50, kRed);
  ASSERT_EQ(FitToFrame(host, working, "small.bmp", 320, 240, policy), FitResult::Done);
  const Bitmap& b = working.bitmap();
  ASSERT_EQ(b.width, 320);
  ASSERT_EQ(b.height, 240);
  EXPECT_EQ(At(b, 110, 95), kRed);
  EXPECT_EQ(At(b, 209, 144), kRed);
  EXPECT_EQ(At(b, 109, 95), kBlue);
  EXPECT_EQ(At(b, 210, 144), kBlue);
  EXPECT_EQ(At(b, 110, 94), kBlue);
  EXPECT_EQ(At(b, 110, 145), kBlue);
  EXPECT_EQ(policy.choice, -1) << "without keep the next image is asked again";
  EXPECT_EQ(host.asked, std::vector<std::string>{"small.bmp"});
}

TEST(FitToFrame, CentreCutsALargerImageOnAllSides) {
  test::SizeHost host;
  host.sizeAnswers.push_back(Answer(2));
  SizePolicy policy;
  Bitmap big(400, 300, PixelFromColorRef(kRed));
  big.at(40, 30) = PixelFromColorRef(kGreen);    // lands on (0, 0)
  big.at(359, 269) = PixelFromColorRef(kGreen);  // lands on (319, 239)
  CBmp working;
  working.SetBitmap(big);
  ASSERT_EQ(FitToFrame(host, working, "big.bmp", 320, 240, policy), FitResult::Done);
  EXPECT_EQ(At(working.bitmap(), 0, 0), kGreen);
  EXPECT_EQ(At(working.bitmap(), 319, 239), kGreen);
  EXPECT_EQ(At(working.bitmap(), 1, 1), kRed);
}

TEST(FitToFrame, PlaceAcceptsNegativeAndFarPositions) {
  test::SizeHost host;
  host.sizeAnswers.push_back(Answer(3, false, -10, 5, kBlue));
  host.sizeAnswers.push_back(Answer(3, false, 5000, 0, kBlue));
  SizePolicy policy;
  CBmp working = Image(30, 20, kRed);
  ASSERT_EQ(FitToFrame(host, working, "a.bmp", 64, 48, policy), FitResult::Done);
  EXPECT_EQ(At(working.bitmap(), 0, 5), kRed);
  EXPECT_EQ(At(working.bitmap(), 19, 24), kRed);
  EXPECT_EQ(At(working.bitmap(), 20, 5), kBlue);
  EXPECT_EQ(At(working.bitmap(), 0, 4), kBlue);
  // Wholly outside: a picture of plain background.
  working = Image(30, 20, kRed);
  ASSERT_EQ(FitToFrame(host, working, "b.bmp", 64, 48, policy), FitResult::Done);
  for (Pixel p : working.bitmap().pixels) ASSERT_EQ(ColorRefFromPixel(p & 0xFFFFFF), kBlue);
}

TEST(FitToFrame, ResizeStretchesOverTheWholeFrame) {
  test::SizeHost host;
  host.sizeAnswers.push_back(Answer(1, true));
  SizePolicy policy;
  Bitmap src(10, 10, PixelFromColorRef(kRed));
  for (int y = 0; y < 10; ++y)
    for (int x = 5; x < 10; ++x) src.at(x, y) = PixelFromColorRef(kGreen);
  CBmp working;
  working.SetBitmap(src);
  ASSERT_EQ(FitToFrame(host, working, "s.bmp", 40, 20, policy), FitResult::Done);
  EXPECT_EQ(At(working.bitmap(), 0, 0), kRed);
  EXPECT_EQ(At(working.bitmap(), 19, 19), kRed);
  EXPECT_EQ(At(working.bitmap(), 20, 0), kGreen);
  EXPECT_EQ(At(working.bitmap(), 39, 19), kGreen);
  // keep: the next image is fitted the same way without a question.
  working = Image(7, 3, kBlue);
  ASSERT_EQ(FitToFrame(host, working, "t.bmp", 40, 20, policy), FitResult::Done);
  EXPECT_EQ(At(working.bitmap(), 39, 19), kBlue);
  EXPECT_EQ(host.asked.size(), 1u);
}

TEST(FitToFrame, SkipWithKeepSkipsTheRestAndCancelStops) {
  test::SizeHost host;
  host.sizeAnswers.push_back(Answer(0, true));
  SizePolicy policy;
  CBmp working = Image(7, 3, kBlue);
  EXPECT_EQ(FitToFrame(host, working, "a", 8, 8, policy), FitResult::Skip);
  EXPECT_EQ(FitToFrame(host, working, "b", 8, 8, policy), FitResult::Skip);
  EXPECT_EQ(host.asked.size(), 1u);

  SizePolicy fresh;  // a new AVI asks again; the empty queue is Cancel
  EXPECT_EQ(FitToFrame(host, working, "c", 8, 8, fresh), FitResult::Stop);
}

TEST(FitToFrame, LeadingNumberOfTheEditFields) {
  EXPECT_EQ(LeadingNumber("-10"), -10);
  EXPECT_EQ(LeadingNumber("  42px"), 42);
  EXPECT_EQ(LeadingNumber("abc"), 0);
  EXPECT_EQ(LeadingNumber(""), 0);
  EXPECT_EQ(LeadingNumber("99999999999"), INT32_MAX);
}

TEST(FrameToDib, EveryDepthHasItsLayoutAndEightBitsOneFixedTable) {
  CAviWriter w;
  Bitmap bmp(3, 2, PixelFromColorRef(0));
  bmp.at(0, 0) = PixelFromColorRef(Rgb(255, 0, 0));
  bmp.at(2, 1) = PixelFromColorRef(Rgb(255, 255, 255));
  CBmp image;
  image.SetBitmap(bmp);

  w.SetBits(24);
  auto d24 = w.FrameToDib(image);
  ASSERT_TRUE(d24);
  EXPECT_EQ(d24->header().biSizeImage, 2u * 12);
  EXPECT_EQ(d24->header().biClrUsed, 0u);
  EXPECT_EQ(d24->rowFromTop(0)[2], 255);  // red of (0, 0)
  EXPECT_EQ(d24->rowFromTop(0)[0], 0);

  w.SetBits(15);  // anything from 9 to 23 is 16 bits
  EXPECT_EQ(w.nBits, 16);
  auto d16 = w.FrameToDib(image);
  ASSERT_TRUE(d16);
  uint16_t v;
  std::memcpy(&v, d16->rowFromTop(0), 2);
  EXPECT_EQ(v, 0x7C00);
  std::memcpy(&v, d16->rowFromTop(1) + 4, 2);
  EXPECT_EQ(v, 0x7FFF);

  w.SetBits(1);
  EXPECT_EQ(w.nBits, 8);
  auto d8 = w.FrameToDib(image);
  ASSERT_TRUE(d8);
  EXPECT_EQ(d8->header().biClrUsed, 256u);
  RgbQuad red = d8->colors()[d8->rowFromTop(0)[0]];
  EXPECT_EQ(red, (RgbQuad{0, 0, 255, 0}));
  RgbQuad white = d8->colors()[d8->rowFromTop(1)[2]];
  EXPECT_EQ(white, (RgbQuad{255, 255, 255, 0}));
  // Another picture carries the very same table.
  CBmp other;
  other.SetBitmap(Bitmap(5, 5, PixelFromColorRef(Rgb(10, 200, 30))));
  auto e8 = w.FrameToDib(other);
  ASSERT_TRUE(e8);
  EXPECT_EQ(std::memcmp(e8->colors(), d8->colors(), 1024), 0);
  // The nearest entry of a mid grey is a grey.
  RgbQuad grey = FramePalette()[FramePaletteIndex(128, 128, 128)];
  EXPECT_LE(std::abs(grey.red - 128), 8);
  EXPECT_EQ(grey.red, grey.green);

  w.SetBits(32);
  EXPECT_EQ(w.nBits, 24);
}


// A block kept from an earlier frame must come out as a fresh conversion would, at
// every width around the four-pixel groups and when the shape changes under it.
TEST(FrameToDib, AReusedBlockGivesTheBytesOfAFreshOne) {
  CAviWriter w;
  for (int bits : {8, 16, 24}) {
    w.SetBits(unsigned(bits));
    PackedDib kept;
    for (int width = 1; width <= 11; ++width) {
      for (int round = 0; round < 2; ++round) {
        Bitmap bmp(width, 3, 0);
        for (int y = 0; y < 3; ++y)
          for (int x = 0; x < width; ++x)
            bmp.at(x, y) = Pixel(0xFF000000u | uint32_t((x * 73 + y * 151 + round * 29) * 2654435761u >> 8));
        CBmp image;
        image.SetBitmap(bmp);
        auto fresh = w.FrameToDib(image);
        ASSERT_TRUE(fresh);
        ASSERT_TRUE(w.FrameToDib(image, kept, bits));
        EXPECT_EQ(kept.block(), fresh->block()) << bits << " bits, width " << width;
        // The 24-bit rows by hand: blue, green, red of each pixel.
        for (int y = 0; bits == 24 && y < 3; ++y)
          for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
              ASSERT_EQ(kept.rowFromTop(y)[3 * x + c], uint8_t(bmp.at(x, y) >> (8 * c)));
      }
    }
  }
}

TEST(FrameToDib, TheSsse3RowGivesThePlainRowAndStopsAtTheRowEnd) {
  if (!CpuHasSsse3()) GTEST_SKIP() << "no SSSE3 here";
  std::mt19937 rng(17);
  for (int width = 0; width <= 41; ++width) {
    std::vector<Pixel> src(size_t(width) + 1);
    for (Pixel& p : src) p = Pixel(rng());
    // Guard bytes after the row must survive: they are the DIB's padding.
    std::vector<uint8_t> a(3 * size_t(width) + 8, 0xA5), b = a;
    RowTo24Ref(src.data(), a.data(), width);
    RowTo24Ssse3(src.data(), b.data(), width);
    EXPECT_EQ(a, b) << "width " << width;
    for (size_t i = 3 * size_t(width); i < a.size(); ++i) ASSERT_EQ(b[i], 0xA5);
  }
}

TEST(FrameToDib, TheSse2SixteenBitRowGivesThePlainRow) {
  std::mt19937 rng(19);
  for (int width = 0; width <= 27; ++width) {
    std::vector<Pixel> src(static_cast<size_t>(width));
    for (Pixel& p : src) p = Pixel(rng());
    std::vector<uint8_t> a(2 * size_t(width) + 4, 0x5A), b = a;
    RowTo16Ref(src.data(), a.data(), width);
    RowTo16Sse2(src.data(), b.data(), width);
    EXPECT_EQ(a, b) << "width " << width;
  }
}

}  // namespace
}  // namespace zr
