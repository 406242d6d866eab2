#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "image/bmp.h"
#include "image/cbmp.h"
#include "image/dib_convert.h"
#include "image/bmp_builder.h"
#include "platform/dib.h"
#include "support/temp_dir.h"

namespace zr {
namespace {

using test::BmpSpec;
using test::BuildBmp;

std::optional<PackedDib> Read(const std::vector<uint8_t>& bytes, BmpError* e = nullptr) {
  return DibReadMemory({bytes.data(), bytes.size()}, e);
}

Bitmap Pixels(const std::vector<uint8_t>& bytes) {
  auto dib = Read(bytes);
  EXPECT_TRUE(dib);
  if (!dib) return {};
  auto bmp = DibCreateBitmap(*dib);
  EXPECT_TRUE(bmp);
  return bmp ? *bmp : Bitmap();
}

Palette RandomTable(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Palette p(n);
  for (auto& q : p) q = RgbQuad{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0};
  return p;
}

// Indices top-down, random with runs so that RLE has something to do.
std::vector<std::vector<uint8_t>> RandomIndices(int w, int h, int colors, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(h),
                                         std::vector<uint8_t>(static_cast<size_t>(w)));
  for (auto& row : rows)
    for (size_t x = 0; x < row.size(); ++x)
      row[x] = (x > 0 && rng() % 3 == 0) ? row[x - 1] : uint8_t(rng() % uint32_t(colors));
  return rows;
}

// Packs top-down indices into bottom-up rows of the given depth.
std::vector<uint8_t> PackRows(const std::vector<std::vector<uint8_t>>& rows, int bits) {
  int w = int(rows[0].size()), h = int(rows.size());
  uint32_t stride = DibStride(w, bits);
  std::vector<uint8_t> out(size_t(stride) * size_t(h), 0);
  for (int y = 0; y < h; ++y) {
    uint8_t* dst = out.data() + size_t(h - 1 - y) * stride;
    for (int x = 0; x < w; ++x) {
      uint8_t v = rows[size_t(y)][size_t(x)];
      if (bits == 8) dst[x] = v;
      if (bits == 4) dst[x / 2] |= uint8_t(v << ((x & 1) ? 0 : 4));
      if (bits == 1) dst[x / 8] |= uint8_t(v << (7 - (x & 7)));
    }
  }
  return out;
}

Bitmap Expected(const std::vector<std::vector<uint8_t>>& rows, const Palette& table) {
  Bitmap b(int(rows[0].size()), int(rows.size()));
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x) {
      const RgbQuad& q = table[rows[size_t(y)][size_t(x)]];
      SetPixel(b, x, y, Rgb(q.red, q.green, q.blue));
    }
  return b;
}

// A 24-bit picture with its bottom-up rows.
struct TrueColor {
  Bitmap picture;
  std::vector<uint8_t> rows24;
};
TrueColor RandomTrueColor(int w, int h, uint32_t seed) {
  std::mt19937 rng(seed);
  TrueColor t{Bitmap(w, h), {}};
  for (Pixel& p : t.picture.pixels) p = rng() & 0xFFFFFF;
  t.rows24 = ReadBitmapRows24(t.picture);
  return t;
}

TEST(BmpRoundTrip, EveryDepthLoadsItsColoursAndSavesAs24BitWithPaddedRows) {
  test::TempDir dir;
  for (int bits : {1, 4, 8, 16, 24, 32}) {
    for (int w : {1, 5, 17}) {
      const int h = 4;
      BmpSpec s;
      s.width = w;
      s.height = h;
      s.bitCount = bits;
      Bitmap expect;
      if (bits <= 8) {
        Palette table = RandomTable(size_t(1) << bits, uint32_t(bits * 100 + w));
        auto idx = RandomIndices(w, h, 1 << bits, uint32_t(w));
        s.table = table;
        s.pixels = PackRows(idx, bits);
        expect = Expected(idx, table);
      } else {
        TrueColor t = RandomTrueColor(w, h, uint32_t(bits + w));
        if (bits == 16) {
          // Pixels 5-5-5 can hold exactly.
          for (Pixel& p : t.picture.pixels) p &= 0xF8F8F8;
          for (Pixel& p : t.picture.pixels) p |= (p >> 5) & 0x070707;
        }
        expect = t.picture;
        std::vector<uint8_t> rows(DibStride(w, bits) * h);
        ASSERT_TRUE(EncodeDibRows(expect, bits, {}, rows));
        s.pixels = rows;
      }
      std::string in = dir.file("in" + std::to_string(bits) + "_" + std::to_string(w) + ".bmp");
      ASSERT_TRUE(test::WriteBytes(in, test::AsString(BuildBmp(s))));

      CBmp img;
      ASSERT_TRUE(img.Load(in)) << bits << " bits, width " << w;
      EXPECT_EQ(img.bitmap().pixels, expect.pixels) << bits << " bits, width " << w;
      EXPECT_EQ(img.palette().size(), bits <= 8 ? size_t(1) << bits : 0u);

      std::string out = dir.file("out.bmp");
      ASSERT_TRUE(img.Save(out));
      std::string bytes = test::ReadBytes(out);
      uint32_t stride = ((uint32_t(w) * 24 + 31) / 32) * 4;
      ASSERT_EQ(bytes.size(), 54 + size_t(stride) * h) << bits << " " << w;
      EXPECT_EQ(uint8_t(bytes[28]), 24);  // bit count
      EXPECT_EQ(uint8_t(bytes[10]), 54);  // pixels right after the header, no table
      if (w == 1) {
        EXPECT_EQ(stride, 4u);
      }
      CBmp again;
      ASSERT_TRUE(again.Load(out));
      EXPECT_EQ(again.bitmap().pixels, expect.pixels) << bits << " bits, width " << w;
    }
  }
}

TEST(BmpRoundTrip, DibNumColorsAndHeaderRounding) {
  BitmapInfoHeader h;
  h.biBitCount = 8;
  EXPECT_EQ(DibNumColors(h), 256u);
  h.biClrUsed = 20;
  EXPECT_EQ(DibNumColors(h), 20u);
  h = {};
  h.biBitCount = 24;
  EXPECT_EQ(DibNumColors(h), 0u);
  h.biBitCount = 1;
  EXPECT_EQ(DibNumColors(h), 2u);
  h.biBitCount = 4;
  EXPECT_EQ(DibNumColors(h), 16u);
  // A 32-bit screen bitmap reads back as 24 bits, 1-pixel rows padded to 4 bytes.
  auto dib = DibFromBitmap(Bitmap(1, 3, 0x123456));
  ASSERT_TRUE(dib);
  EXPECT_EQ(dib->bitCount(), 24);
  EXPECT_EQ(dib->stride(), 4u);
  EXPECT_EQ(dib->header().biSizeImage, 12u);
  EXPECT_EQ(dib->bits()[0], 0x56);
  EXPECT_EQ(dib->bits()[3], 0);
}

TEST(BmpLayouts, CoreBitFieldGappedTopDownAndLongHeadersMatchTheirPlainTwins) {
  const int w = 7, h = 5;
  auto idx = RandomIndices(w, h, 256, 3);
  Palette table = RandomTable(256, 4);
  BmpSpec plain8;
  plain8.width = w, plain8.height = h, plain8.bitCount = 8;
  plain8.table = table;
  plain8.pixels = PackRows(idx, 8);
  const Bitmap expect8 = Expected(idx, table);
  EXPECT_EQ(Pixels(BuildBmp(plain8)).pixels, expect8.pixels);

  BmpSpec core = plain8;
  core.core = true;
  EXPECT_EQ(Pixels(BuildBmp(core)).pixels, expect8.pixels) << "core header";

  BmpSpec gapped = plain8;
  gapped.gap = 37;
  EXPECT_EQ(Pixels(BuildBmp(gapped)).pixels, expect8.pixels) << "gap before pixels";

  for (uint32_t size : {52u, 56u, 108u, 124u}) {
    BmpSpec longer = plain8;
    longer.headerSize = size;
    EXPECT_EQ(Pixels(BuildBmp(longer)).pixels, expect8.pixels) << size << "-byte header";
  }

  // A short table stated by the colours-used count; indices stay within it.
  auto small = RandomIndices(w, h, 20, 5);
  BmpSpec few = plain8;
  few.clrUsed = 20;
  few.table.resize(20);
  few.pixels = PackRows(small, 8);
  auto fewDib = Read(BuildBmp(few));
  ASSERT_TRUE(fewDib);
  EXPECT_EQ(fewDib->numColors(), 20u);
  EXPECT_EQ(DibCreatePalette(*fewDib).size(), 20u);
  EXPECT_EQ(DibCreateBitmap(*fewDib)->pixels, Expected(small, table).pixels);

  TrueColor t = RandomTrueColor(w, h, 6);
  BmpSpec plain24;
  plain24.width = w, plain24.height = h, plain24.bitCount = 24;
  plain24.pixels = t.rows24;
  EXPECT_EQ(Pixels(BuildBmp(plain24)).pixels, t.picture.pixels);

  // Top-down rows: the same picture stored first row first.
  BmpSpec topDown = plain24;
  topDown.topDown = true;
  uint32_t stride = DibStride(w, 24);
  topDown.pixels.clear();
  for (int y = h - 1; y >= 0; --y)
    topDown.pixels.insert(topDown.pixels.end(), t.rows24.begin() + long(y * stride),
                          t.rows24.begin() + long((y + 1) * stride));
  auto td = Read(BuildBmp(topDown));
  ASSERT_TRUE(td);
  EXPECT_GT(td->height(), 0);  // rebuilt bottom-up
  EXPECT_EQ(DibCreateBitmap(*td)->pixels, t.picture.pixels) << "top-down";

  // 24 bits with a colours-used table: the table is skipped.
  BmpSpec hinted = plain24;
  hinted.clrUsed = 3;
  hinted.table = RandomTable(3, 9);
  EXPECT_EQ(Pixels(BuildBmp(hinted)).pixels, t.picture.pixels) << "24-bit with table";

  // 32-bit bit fields in another channel order.
  BmpSpec fields32 = plain24;
  fields32.bitCount = 32;
  fields32.compression = 3;
  fields32.masks[0] = 0x0000FF00, fields32.masks[1] = 0x00FF0000, fields32.masks[2] = 0xFF000000;
  fields32.pixels.clear();
  for (int y = h - 1; y >= 0; --y)
    for (int x = 0; x < w; ++x) {
      ColorRef c = GetPixel(t.picture, x, y);
      uint8_t px[4] = {0x77, GetR(c), GetG(c), GetB(c)};
      fields32.pixels.insert(fields32.pixels.end(), px, px + 4);
    }
  auto f32 = Read(BuildBmp(fields32));
  ASSERT_TRUE(f32);
  EXPECT_EQ(f32->header().biCompression, BI_RGB);
  EXPECT_EQ(f32->header().biSize, 40u);
  EXPECT_EQ(DibCreateBitmap(*f32)->pixels, t.picture.pixels) << "32-bit bit fields";
  BmpSpec fields32v4 = fields32;
  fields32v4.headerSize = 108;
  EXPECT_EQ(Pixels(BuildBmp(fields32v4)).pixels, t.picture.pixels) << "masks in a v4 header";

  // 16-bit 5-6-5 against the 24-bit picture those values scale to.
  BmpSpec fields16;
  fields16.width = w, fields16.height = h, fields16.bitCount = 16, fields16.compression = 3;
  fields16.masks[0] = 0xF800, fields16.masks[1] = 0x07E0, fields16.masks[2] = 0x001F;
  Bitmap expect565(w, h);
  std::mt19937 rng(11);
  uint32_t stride16 = DibStride(w, 16);
  fields16.pixels.assign(stride16 * h, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint32_t r = rng() % 32, g = rng() % 64, b = rng() % 32;
      uint16_t v = uint16_t(r << 11 | g << 5 | b);
      uint8_t* p = fields16.pixels.data() + (h - 1 - y) * stride16 + 2 * x;
      p[0] = uint8_t(v), p[1] = uint8_t(v >> 8);
      SetPixel(expect565, x, y,
               Rgb(uint8_t(r << 3 | r >> 2), uint8_t(g << 2 | g >> 4), uint8_t(b << 3 | b >> 2)));
    }
  EXPECT_EQ(Pixels(BuildBmp(fields16)).pixels, expect565.pixels) << "16-bit bit fields";
}

TEST(BmpRle, RunLengthFilesMatchTheirUncompressedTwins) {
  for (int w : {1, 6, 13, 300}) {
    const int h = 9;
    for (int bits : {8, 4}) {
      auto idx = RandomIndices(w, h, 1 << bits, uint32_t(w * bits));
      Palette table = RandomTable(size_t(1) << bits, uint32_t(w));
      BmpSpec plain;
      plain.width = w, plain.height = h, plain.bitCount = bits, plain.table = table;
      plain.pixels = PackRows(idx, bits);
      BmpSpec rle = plain;
      rle.compression = bits == 8 ? 1 : 2;
      rle.pixels = bits == 8 ? test::EncodeRle8(idx) : test::EncodeRle4(idx);
      auto dib = Read(BuildBmp(rle));
      ASSERT_TRUE(dib) << bits << " " << w;
      EXPECT_EQ(dib->header().biCompression, rle.compression);
      EXPECT_EQ(DibCreateBitmap(*dib)->pixels, Pixels(BuildBmp(plain)).pixels)
          << "RLE" << bits << " width " << w;
    }
  }
}

TEST(BmpRle, ImageMagickRle8FileMatchesItsUncompressedTwin) {
  test::TempDir dir;
  std::string plain = dir.file("plain.bmp"), rle = dir.file("rle.bmp");
  std::string cmd = "convert -size 37x11 gradient:red-blue -fill yellow -draw 'rectangle 3,2 20,6' "
                    "-type Palette -colors 60 ";
  ASSERT_EQ(test::RunCommand(cmd + "-compress None BMP3:" + plain), 0);
  ASSERT_EQ(test::RunCommand(cmd + "-compress RLE BMP3:" + rle), 0);
  BmpError e;
  auto r = DibReadFile(rle, &e);
  ASSERT_TRUE(r) << BmpErrorText(e);
  ASSERT_EQ(r->header().biCompression, BI_RLE8) << "ImageMagick did not compress";
  auto p = DibReadFile(plain);
  ASSERT_TRUE(p);
  EXPECT_EQ(DibCreateBitmap(*r)->pixels, DibCreateBitmap(*p)->pixels);
  CBmp a, b;
  ASSERT_TRUE(a.Load(rle));
  ASSERT_TRUE(b.Load(plain));
  EXPECT_EQ(a.bitmap().pixels, b.bitmap().pixels);
}

TEST(BmpHostile, MalformedFilesFailCleanly) {
  BmpSpec good;
  good.width = 3, good.height = 2, good.bitCount = 8;
  good.table = RandomTable(256, 1);
  good.pixels.assign(8, 1);
  const std::vector<uint8_t> base = BuildBmp(good);
  ASSERT_TRUE(Read(base));

  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> edit;
    BmpError expect;
  };
  const std::vector<Case> cases = {
      {"empty", [](auto& v) { v.clear(); }, BmpError::TooShort},
      {"13 bytes", [](auto& v) { v.resize(13); }, BmpError::TooShort},
      {"14 bytes", [](auto& v) { v.resize(14); }, BmpError::TooShort},
      {"not BM", [](auto& v) { v[1] = 'A'; }, BmpError::NotBmp},
      {"header size 0", [](auto& v) { test::Set32(v, 14, 0); }, BmpError::BadHeaderSize},
      {"header size huge", [](auto& v) { test::Set32(v, 14, 0xFFFFFFF0u); }, BmpError::BadHeaderSize},
      {"header past end", [](auto& v) { v.resize(40); }, BmpError::TooShort},
      {"width 0", [](auto& v) { test::Set32(v, 18, 0); }, BmpError::BadSize},
      {"width negative", [](auto& v) { test::Set32(v, 18, uint32_t(-3)); }, BmpError::BadSize},
      {"width huge", [](auto& v) { test::Set32(v, 18, 0x7FFFFFFF); }, BmpError::BadSize},
      {"height INT_MIN", [](auto& v) { test::Set32(v, 22, 0x80000000u); }, BmpError::BadSize},
      {"too many pixels", [](auto& v) { test::Set32(v, 18, 32768); test::Set32(v, 22, 32768); }, BmpError::BadSize},
      {"planes 2", [](auto& v) { v[26] = 2; }, BmpError::BadPlanes},
      {"bit count 7", [](auto& v) { v[28] = 7; }, BmpError::BadBitCount},
      {"bit count 0", [](auto& v) { v[28] = 0; }, BmpError::BadBitCount},
      {"compression 9", [](auto& v) { test::Set32(v, 30, 9); }, BmpError::BadCompression},
      {"RLE4 on 8 bits", [](auto& v) { test::Set32(v, 30, 2); }, BmpError::BadCompression},
      {"bit fields on 8 bits", [](auto& v) { test::Set32(v, 30, 3); }, BmpError::BadCompression},
      {"257 colours", [](auto& v) { test::Set32(v, 46, 257); }, BmpError::BadColors},
      {"table past end", [](auto& v) { test::Set32(v, 10, 0); v.resize(200); }, BmpError::BadColors},
      {"offset past end", [](auto& v) { test::Set32(v, 10, 0x7FFFFFF0); }, BmpError::BadOffset},
      {"offset inside header", [](auto& v) { test::Set32(v, 10, 20); }, BmpError::BadOffset},
      {"pixels cut short", [](auto& v) { v.resize(v.size() - 1); }, BmpError::ShortPixels},
      {"height beyond data", [](auto& v) { test::Set32(v, 22, 3000); }, BmpError::ShortPixels},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> v = base;
    c.edit(v);
    BmpError e = BmpError::None;
    EXPECT_FALSE(Read(v, &e)) << c.what;
    EXPECT_EQ(e, c.expect) << c.what << ": " << BmpErrorText(e);
  }

  // RLE streams that leave the image or their data.
  BmpSpec rle = good;
  rle.compression = 1;
  const std::vector<std::vector<uint8_t>> streams = {
      {},                        // nothing at all
      {3, 1},                    // truncated: rows missing
      {0, 200, 1, 2, 3},         // literal longer than the data
      {0, 2, 250, 0, 0, 1},      // delta past the right edge
      {0, 2, 0, 250, 0, 1},      // delta past the top
      {0, 0, 0, 0, 0, 0, 5, 1},  // pixels after the last row
  };
  for (size_t i = 0; i < streams.size(); ++i) {
    rle.pixels = streams[i];
    BmpError e = BmpError::None;
    EXPECT_FALSE(Read(BuildBmp(rle), &e)) << "stream " << i;
    EXPECT_EQ(e, BmpError::BadRle) << "stream " << i;
  }
  // The image size field cannot stretch the stream past the file.
  rle.pixels = {3, 1, 0, 0, 3, 1, 0, 1};
  std::vector<uint8_t> v = BuildBmp(rle);
  test::Set32(v, 34, 0x7FFFFFFF);
  EXPECT_TRUE(Read(v));

  // Files that fail load as no image and leave the CBmp empty.
  test::TempDir dir;
  std::string path = dir.file("bad.bmp");
  ASSERT_TRUE(test::WriteBytes(path, "BM"));
  CBmp img;
  img.SetBitmap(Bitmap(2, 2));
  EXPECT_FALSE(img.Load(path));
  EXPECT_TRUE(img.empty());
  EXPECT_FALSE(img.Load(dir.file("missing.bmp")));
}

TEST(BmpWrite, WritesAtomicallyAndFailsWithoutLeavingAFile) {
  test::TempDir dir;
  auto dib = DibFromBitmap(Bitmap(3, 3, 0x00FF00));
  ASSERT_TRUE(dib);
  std::string path = dir.file("a.bmp");
  ASSERT_TRUE(test::WriteBytes(path, "old contents"));
  ASSERT_TRUE(DibWriteFile(path, *dib));
  std::string bytes = test::ReadBytes(path);
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  EXPECT_EQ(bytes.size(), 14 + dib->size());
  // Nothing but the file itself is left in the folder.
  std::string listing;
  test::RunCommand("ls -A " + dir.path(), &listing);
  EXPECT_EQ(listing, "a.bmp\n");

  EXPECT_FALSE(DibWriteFile(dir.file("no/such/folder/b.bmp"), *dib));
  EXPECT_FALSE(DibWriteFile(dir.file("c.bmp"), PackedDib()));
  EXPECT_FALSE(test::RunCommand("test -e " + dir.file("c.bmp")) == 0);
}

}  // namespace
}  // namespace zr
