#include <gtest/gtest.h>

#include <random>

#include "platform/dib.h"

namespace zr {
namespace {

const RgbQuad kTable[4] = {{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}};

DibPixels View(int w, int h, int bits, std::span<const uint8_t> data,
               std::span<const RgbQuad> colors = {}, uint32_t compression = BI_RGB) {
  DibPixels p;
  p.width = w;
  p.height = h;
  p.bitCount = bits;
  p.compression = compression;
  p.colors = colors;
  p.bits = data;
  return p;
}

TEST(DibDecode, PackedDepthsReadBottomUpWithPadding) {
  // 3 x 2 at 4 bits: stored bottom row first, each row padded to 4 bytes.
  const uint8_t four[] = {0x12, 0x30, 0, 0,  // bottom row: 1 2 3
                          0x33, 0x10, 0, 0};  // top row: 3 3 1
  auto b = DecodeDib(View(3, 2, 4, four, kTable));
  ASSERT_TRUE(b);
  EXPECT_EQ(GetPixel(*b, 0, 0), Rgb(255, 0, 0));  // top row: 3 3 1
  EXPECT_EQ(GetPixel(*b, 1, 0), Rgb(255, 0, 0));
  EXPECT_EQ(GetPixel(*b, 2, 0), Rgb(0, 0, 255));
  EXPECT_EQ(GetPixel(*b, 0, 1), Rgb(0, 0, 255));  // bottom row: 1 2 3
  EXPECT_EQ(GetPixel(*b, 1, 1), Rgb(0, 255, 0));
  EXPECT_EQ(GetPixel(*b, 2, 1), Rgb(255, 0, 0));

  // 1 bit, 9 pixels wide: the ninth pixel is the top bit of the second byte.
  const uint8_t one[] = {0x80, 0x80, 0, 0};
  b = DecodeDib(View(9, 1, 1, one, kTable));
  ASSERT_TRUE(b);
  EXPECT_EQ(GetPixel(*b, 0, 0), Rgb(0, 0, 255));
  EXPECT_EQ(GetPixel(*b, 1, 0), Rgb(0, 0, 0));
  EXPECT_EQ(GetPixel(*b, 8, 0), Rgb(0, 0, 255));

  // Top-down rows (negative height).
  const uint8_t eight[] = {3, 0, 0, 0, 2, 0, 0, 0};
  b = DecodeDib(View(1, -2, 8, eight, kTable));
  ASSERT_TRUE(b);
  EXPECT_EQ(GetPixel(*b, 0, 0), Rgb(255, 0, 0));
  EXPECT_EQ(GetPixel(*b, 0, 1), Rgb(0, 255, 0));

  // An index past the colour table reads as black instead of past the table.
  const uint8_t beyond[] = {200, 0, 0, 0};
  b = DecodeDib(View(1, 1, 8, beyond, kTable));
  ASSERT_TRUE(b);
  EXPECT_EQ(GetPixel(*b, 0, 0), Rgb(0, 0, 0));
}

// Rows sized exactly, so the sanitizer sees any read past a row's last pixel.
TEST(DibDecode, WidenedRowsOfTheFastFormEqualThePlainOnes) {
  if (!CpuHasSsse3()) {
    GTEST_SKIP() << "no SSSE3";
  }
  std::mt19937 rng(7);
  for (int w = 0; w <= 70; ++w) {
    std::vector<uint8_t> row(size_t(w) * 3);
    for (auto& b : row) b = uint8_t(rng());
    std::vector<Pixel> plain(size_t(w) + 1, 0xDEADBEEF), fast(size_t(w) + 1, 0xDEADBEEF);
    ExpandBgrRowRef(row.data(), plain.data(), w);
    ExpandBgrRowSsse3(row.data(), fast.data(), w);
    EXPECT_EQ(plain, fast) << "width " << w;
    if (w > 0) {
      EXPECT_EQ(plain[0], Pixel(row[2]) << 16 | Pixel(row[1]) << 8 | row[0]);
    }
    EXPECT_EQ(fast[size_t(w)], 0xDEADBEEFu) << "wrote past width " << w;
  }
}

TEST(DibDecode, HighColourDepthsAndBitFields) {
  // 16-bit 5-5-5: 0x7C00 red, 0x03E0 green, 0x001F blue; five bits scale to 0..255.
  const uint8_t sixteen[] = {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0x10, 0x42};
  auto b = DecodeDib(View(4, 1, 16, sixteen));
  ASSERT_TRUE(b);
  EXPECT_EQ(GetPixel(*b, 0, 0), Rgb(255, 0, 0));
  EXPECT_EQ(GetPixel(*b, 1, 0), Rgb(0, 255, 0));
  EXPECT_EQ(GetPixel(*b, 2, 0), Rgb(0, 0, 255));
  EXPECT_EQ(GetPixel(*b, 3, 0), Rgb(132, 132, 132));  // 16 of 31 in every channel

  // 5-6-5 bit fields: green has six bits.
  DibPixels p = View(2, 1, 16, {}, {}, BI_BITFIELDS);
  const uint8_t rgb565[] = {0xE0, 0x07, 0x00, 0xF8, 0, 0, 0, 0};
  p.bits = rgb565;
  p.redMask = 0xF800, p.greenMask = 0x07E0, p.blueMask = 0x001F;
  b = DecodeDib(p);
  ASSERT_TRUE(b);
  EXPECT_EQ(GetPixel(*b, 0, 0), Rgb(0, 255, 0));
  EXPECT_EQ(GetPixel(*b, 1, 0), Rgb(255, 0, 0));

  // Broken masks are refused: overlapping, empty, split runs, beyond 16 bits.
  for (auto masks : {std::array<uint32_t, 3>{0xF800, 0x0FE0, 0x001F},
                     std::array<uint32_t, 3>{0, 0x07E0, 0x001F},
                     std::array<uint32_t, 3>{0xA800, 0x07E0, 0x001F},
                     std::array<uint32_t, 3>{0xF0000, 0x07E0, 0x001F}}) {
    p.redMask = masks[0], p.greenMask = masks[1], p.blueMask = masks[2];
    DibError e;
    EXPECT_FALSE(DecodeDib(p, &e));
    EXPECT_EQ(e, DibError::BadMasks);
  }

  const uint8_t thirtyTwo[] = {1, 2, 3, 99};  // the fourth byte is ignored
  b = DecodeDib(View(1, 1, 32, thirtyTwo));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->at(0, 0), 0x030201u);
}

TEST(DibDecode, RefusesSizesAndDataThatDoNotFit) {
  const uint8_t px[8] = {};
  struct Case { DibPixels p; DibError e; };
  std::vector<Case> cases = {
      {View(0, 1, 8, px), DibError::BadSize},
      {View(-1, 1, 8, px), DibError::BadSize},
      {View(1, 0, 8, px), DibError::BadSize},
      {View(40000, 1, 8, px), DibError::BadSize},
      {View(30000, 30000, 8, px), DibError::BadSize},
      {View(1, 1, 7, px), DibError::BadBitCount},
      {View(1, 1, 8, px, {}, 9), DibError::BadCompression},
      {View(1, 1, 24, px, {}, BI_RLE8), DibError::BadBitCount},
      {View(3, 1, 24, std::span(px, 3)), DibError::ShortPixels},  // row needs 12 bytes
      {View(2, 3, 8, px), DibError::ShortPixels},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    DibError e = DibError::None;
    EXPECT_FALSE(DecodeDib(cases[i].p, &e)) << i;
    EXPECT_EQ(e, cases[i].e) << i;
  }
}

TEST(DibRle, EightAndFourBitStreamsDecodeAndBadStreamsFail) {
  // RLE8, 4 x 2: bottom row "run of 3 x idx1, one idx2", end of line; top row absolute
  // run of 3 (padded), delta skips nothing, end of bitmap.
  const uint8_t rle8[] = {3, 1, 1, 2, 0, 0, 0, 3, 3, 2, 1, 0, 0, 1};
  auto b = DecodeDib(View(4, 2, 8, rle8, kTable, BI_RLE8));
  ASSERT_TRUE(b);
  EXPECT_EQ(GetPixel(*b, 0, 1), Rgb(0, 0, 255));
  EXPECT_EQ(GetPixel(*b, 3, 1), Rgb(0, 255, 0));
  EXPECT_EQ(GetPixel(*b, 0, 0), Rgb(255, 0, 0));
  EXPECT_EQ(GetPixel(*b, 1, 0), Rgb(0, 255, 0));
  EXPECT_EQ(GetPixel(*b, 2, 0), Rgb(0, 0, 255));
  EXPECT_EQ(GetPixel(*b, 3, 0), Rgb(0, 0, 0));  // never written: index 0

  // RLE4: a run alternates the two nibbles; an absolute run packs two per byte.
  const uint8_t rle4[] = {5, 0x12, 0, 0, 0, 3, 0x31, 0x20, 0, 1};
  b = DecodeDib(View(5, 2, 4, rle4, kTable, BI_RLE4));
  ASSERT_TRUE(b);
  const ColorRef c1 = Rgb(0, 0, 255), c2 = Rgb(0, 255, 0), c3 = Rgb(255, 0, 0);
  EXPECT_EQ(GetPixel(*b, 0, 1), c1);
  EXPECT_EQ(GetPixel(*b, 1, 1), c2);
  EXPECT_EQ(GetPixel(*b, 4, 1), c1);
  EXPECT_EQ(GetPixel(*b, 0, 0), c3);
  EXPECT_EQ(GetPixel(*b, 1, 0), c1);
  EXPECT_EQ(GetPixel(*b, 2, 0), c2);

  // A delta moves right and up; the skipped pixels stay index 0.
  const uint8_t delta[] = {0, 2, 2, 1, 1, 3, 0, 1};
  b = DecodeDib(View(4, 2, 8, delta, kTable, BI_RLE8));
  ASSERT_TRUE(b);
  EXPECT_EQ(GetPixel(*b, 2, 0), c3);
  EXPECT_EQ(GetPixel(*b, 0, 1), Rgb(0, 0, 0));

  // Runs longer than the row are cut, not written into the next row or past the end.
  const uint8_t longRun[] = {255, 3, 0, 0, 1, 1, 0, 1};
  b = DecodeDib(View(2, 2, 8, longRun, kTable, BI_RLE8));
  ASSERT_TRUE(b);
  EXPECT_EQ(GetPixel(*b, 1, 1), c3);
  EXPECT_EQ(GetPixel(*b, 0, 0), c1);
  EXPECT_EQ(GetPixel(*b, 1, 0), Rgb(0, 0, 0));

  const std::vector<std::vector<uint8_t>> bad = {
      {3, 1},                      // ends before the image is complete
      {0, 5, 1, 2},                // absolute run with fewer bytes than it claims
      {0, 2, 1},                   // delta cut short
      {0, 2, 9, 0, 0, 1},          // delta past the right edge
      {0, 2, 0, 9, 0, 1},          // delta past the top
      {0, 0, 0, 0, 4, 1, 0, 1},    // run after the last row
  };
  for (size_t i = 0; i < bad.size(); ++i) {
    DibError e = DibError::None;
    EXPECT_FALSE(DecodeDib(View(4, 2, 8, bad[i], kTable, BI_RLE8), &e)) << i;
    EXPECT_EQ(e, DibError::BadRle) << i;
  }
  // Top-down RLE does not exist.
  EXPECT_FALSE(DecodeDib(View(4, -2, 8, rle8, kTable, BI_RLE8)));
}

TEST(DibEncode, EveryDepthRoundTripsItsOwnColours) {
  std::mt19937 rng(7);
  Palette pal;
  for (int i = 0; i < 256; ++i)
    pal.push_back(RgbQuad{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0});
  for (int bits : {1, 4, 8, 16, 24, 32}) {
    for (int w : {1, 2, 3, 7, 33}) {
      const int h = 3;
      Bitmap src(w, h);
      size_t entries = bits <= 8 ? (size_t(1) << bits) : 0;
      for (Pixel& p : src.pixels) {
        if (bits <= 8) {
          const RgbQuad& q = pal[rng() % entries];
          p = PixelFromColorRef(Rgb(q.red, q.green, q.blue));
        } else if (bits == 16) {
          // Colours that 5-5-5 holds exactly: 5-bit values scaled up.
          auto s = [&] { uint32_t v = rng() % 32; return uint8_t(v << 3 | v >> 2); };
          p = PixelFromColorRef(Rgb(s(), s(), s()));
        } else {
          p = rng() & 0xFFFFFF;
        }
      }
      std::vector<uint8_t> rows(DibStride(w, bits) * h, 0xEE);
      ASSERT_TRUE(EncodeDibRows(src, bits, pal, rows));
      // Padding bytes are zero.
      size_t used = (size_t(w) * bits + 7) / 8;
      for (int y = 0; y < h; ++y)
        for (size_t i = used; i < DibStride(w, bits); ++i)
          EXPECT_EQ(rows[y * DibStride(w, bits) + i], 0) << bits << " " << w;
      std::span<const RgbQuad> table(pal.data(), entries);
      auto back = DecodeDib(View(w, h, bits, rows, table));
      ASSERT_TRUE(back);
      EXPECT_EQ(back->pixels, src.pixels) << bits << " bits, width " << w;
    }
  }
  Bitmap b(2, 2);
  std::vector<uint8_t> small(3);
  EXPECT_FALSE(EncodeDibRows(b, 24, {}, small));
  std::vector<uint8_t> enough(64);
  EXPECT_FALSE(EncodeDibRows(b, 8, {}, enough));  // indexed without a palette
}

}  // namespace
}  // namespace zr
