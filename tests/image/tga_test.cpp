#include <gtest/gtest.h>

#include "format_test_util.h"
#include "image/formats.h"

namespace zr::test {
namespace {

struct TgaSpec {
  int type = 2, depth = 24, width = 2, height = 2;
  int mapType = 0, mapFirst = 0, mapLength = 0, mapEntryBits = 0;
  bool topFirst = false;
  std::string id;
};

std::string Header(const TgaSpec& s) {
  std::string h(18, '\0');
  h[0] = char(s.id.size());
  h[1] = char(s.mapType);
  h[2] = char(s.type);
  h[3] = char(s.mapFirst & 0xFF);
  h[4] = char(s.mapFirst >> 8);
  h[5] = char(s.mapLength & 0xFF);
  h[6] = char(s.mapLength >> 8);
  h[7] = char(s.mapEntryBits);
  h[12] = char(s.width & 0xFF);
  h[13] = char(s.width >> 8);
  h[14] = char(s.height & 0xFF);
  h[15] = char(s.height >> 8);
  h[16] = char(s.depth);
  h[17] = char(s.topFirst ? 0x20 : 0x08);  // alpha bits are ignored
  return h + s.id;
}

std::optional<PackedDib> Read(const std::string& bytes) { return ReadTga(AsSpan(bytes)); }

std::string Bgr(const RgbImage& img, int y, int x) {
  const uint8_t* p = img.rgb.data() + (size_t(y) * size_t(img.width) + size_t(x)) * 3;
  return {char(p[2]), char(p[1]), char(p[0])};
}

TEST(Tga, MatchesReferenceDecode) {
  TempDir dir;
  RgbImage picture = TestPicture(31, 9);
  for (const char* options :
       {"", "-compress RLE", "-alpha set -channel A -fx 0.5", "-colorspace Gray",
        "-colorspace Gray -compress RLE", "-colors 30 -type Palette",
        "-colors 30 -type Palette -compress RLE", "-flip"}) {
    SCOPED_TRACE(options);
    std::string file = dir.file("m.tga");
    ASSERT_TRUE(MagickEncode(picture, options, file));
    auto dib = Read(ReadBytes(file));
    ASSERT_TRUE(dib);
    // ImageMagick reads its own files' rows in the wrong order; ffmpeg honours the origin.
    auto ref = FfmpegDecode(file, picture.width, picture.height, dir.file("ref.rgb"));
    ASSERT_TRUE(ref);
    EXPECT_SAME_PICTURE(DibToRgb(*dib), *ref);
  }
}

TEST(Tga, OriginsRunsAndDepths) {
  RgbImage picture = TestPicture(5, 4);
  TgaSpec s;
  s.width = 5;
  s.height = 4;
  s.id = "name";
  std::string bottomUp = Header(s), topDown;
  for (int y = 3; y >= 0; --y)
    for (int x = 0; x < 5; ++x) bottomUp += Bgr(picture, y, x);
  s.topFirst = true;
  topDown = Header(s);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) topDown += Bgr(picture, y, x) + "\x80";  // 32 bits
  topDown[16] = 32;
  auto a = Read(bottomUp), b = Read(topDown);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->bitCount(), 24);
  EXPECT_EQ(b->bitCount(), 24);
  EXPECT_SAME_PICTURE(DibToRgb(*a), picture);
  EXPECT_EQ(a->block(), b->block());

  // One run of 7 crosses from the first row of 5 into the second; values past the last
  // row are dropped.
  TgaSpec r;
  r.type = 10;
  r.width = 5;
  r.height = 2;
  r.topFirst = true;
  std::string rle = Header(r) + "\x86" + "abc" + "\x03" + "123456789XYZ" + "\x85" + "zzz";
  auto runs = Read(rle);
  ASSERT_TRUE(runs);
  const uint8_t* row1 = runs->rowFromTop(1);
  EXPECT_EQ(std::string(row1, row1 + 15), "abcabc123456789");

  // 5-5-5 words widen by shifting; bit 15 is ignored.
  TgaSpec w;
  w.depth = 16;
  w.width = 3;
  w.height = 1;
  auto wide = Read(Header(w) + std::string("\xFF\x7F\x00\x80\x1F\x00", 6));
  ASSERT_TRUE(wide);
  const uint8_t* px = wide->rowFromTop(0);
  EXPECT_EQ(std::vector<uint8_t>(px, px + 9),
            (std::vector<uint8_t>{248, 248, 248, 0, 0, 0, 248, 0, 0}));
}

TEST(Tga, ColourMapsAndGrey) {
  // A map starting at index 16 with 16 entries of 24 bits fills entries 16 to 31.
  TgaSpec m;
  m.type = 1;
  m.depth = 8;
  m.mapType = 1;
  m.mapFirst = 16;
  m.mapLength = 16;
  m.mapEntryBits = 24;
  std::string map;
  for (int i = 0; i < 16; ++i) map += {char(i), char(100 + i), char(200 + i)};
  auto mapped = Read(Header(m) + map + std::string("\x10\x11\x1F\x00", 4));
  ASSERT_TRUE(mapped);
  EXPECT_EQ(mapped->bitCount(), 8);
  EXPECT_EQ(mapped->numColors(), 256u);
  EXPECT_EQ(mapped->colors()[17], (RgbQuad{1, 101, 201, 0}));
  EXPECT_EQ(mapped->colors()[15], RgbQuad{});
  EXPECT_EQ(mapped->colors()[32], RgbQuad{});
  EXPECT_EQ(mapped->rowFromTop(1)[0], 0x10) << "bottom-up by default";

  // 16-bit map entries, with a second type (RLE) reading the same map.
  m.mapEntryBits = 16;
  m.mapLength = 2;
  m.type = 9;
  auto rleMapped = Read(Header(m) + std::string("\xFF\x7F\x1F\x00", 4) + "\x83\x11");
  ASSERT_TRUE(rleMapped);
  EXPECT_EQ(rleMapped->colors()[17], (RgbQuad{248, 0, 0, 0}));
  EXPECT_EQ(rleMapped->rowFromTop(0)[1], 0x11);

  TgaSpec g;
  g.type = 3;
  g.depth = 8;
  auto grey = Read(Header(g) + std::string("\x00\x40\x80\xFF", 4));
  ASSERT_TRUE(grey);
  EXPECT_EQ(grey->colors()[0x40], (RgbQuad{0x40, 0x40, 0x40, 0}));
  EXPECT_EQ(grey->rowFromTop(0)[1], 0xFF);
  EXPECT_EQ(grey->rowFromTop(1)[0], 0x00);
}

TEST(Tga, RefusalsAndTruncation) {
  auto refused = [](TgaSpec s, std::string data = std::string(64, '\0')) {
    return !Read(Header(s) + data);
  };
  TgaSpec s;
  s.depth = 8;
  EXPECT_TRUE(refused(s)) << "true colour of 8 bits";
  s.type = 1;
  s.depth = 24;
  EXPECT_TRUE(refused(s)) << "colour-mapped of 24 bits";
  s.depth = 8;
  s.mapType = 1;
  s.mapLength = 4;
  s.mapEntryBits = 8;
  EXPECT_TRUE(refused(s)) << "map entries of 8 bits";
  for (int type : {0, 4, 5, 12, 33}) {
    TgaSpec t;
    t.type = type;
    EXPECT_TRUE(refused(t)) << type;
  }
  TgaSpec empty;
  empty.width = 0;
  EXPECT_TRUE(refused(empty));
  TgaSpec huge;
  huge.width = huge.height = 65535;
  EXPECT_TRUE(refused(huge));
  EXPECT_FALSE(Read("short"));

  // Uncompressed: a short row fails. Run-length: a missing packet header and a packet cut
  // short both fail.
  TgaSpec raw;
  EXPECT_FALSE(Read(Header(raw) + std::string(11, 'x')));
  EXPECT_TRUE(Read(Header(raw) + std::string(12, 'x')));
  TgaSpec rle;
  rle.type = 10;
  EXPECT_FALSE(Read(Header(rle) + "\x82" + "abc"));
  EXPECT_FALSE(Read(Header(rle) + "\x83" + "ab"));
  EXPECT_FALSE(Read(Header(rle) + "\x03" + "abcabcabcab"));
  EXPECT_TRUE(Read(Header(rle) + "\x03" + "abcabcabcabc"));
  // A colour map that lies about its size leaves the pixels past the end: refused.
  TgaSpec lying;
  lying.mapType = 1;
  lying.mapLength = 60000;
  lying.mapEntryBits = 32;
  EXPECT_FALSE(Read(Header(lying) + std::string(12, 'x')));
}

TEST(Tga, RefusalsNameTheFaultAndWhereItIs) {
  TgaSpec grey8;
  grey8.depth = 8;
  TgaSpec empty;
  empty.width = 0;
  TgaSpec huge;
  huge.width = huge.height = 65535;
  TgaSpec mapped;
  mapped.type = 1;
  mapped.depth = 8;
  mapped.mapType = 1;
  mapped.mapLength = 4;
  mapped.mapEntryBits = 8;
  TgaSpec raw, rle;
  rle.type = 10;
  const std::string pad(64, '\0');
  struct Case {
    const char* name;
    std::string file;
    int64_t maxPixels;
    TgaError error;
    int64_t at;
  } cases[] = {
      {"short", "short", kMaxImagePixels, TgaError::TooShort, -1},
      {"depth", Header(grey8) + pad, kMaxImagePixels, TgaError::Unsupported, 2},
      {"empty", Header(empty) + pad, kMaxImagePixels, TgaError::BadSize, 12},
      {"caps", Header(huge) + pad, kMaxImagePixels, TgaError::BadSize, 12},
      {"map entries", Header(mapped) + pad, kMaxImagePixels, TgaError::BadColorMap, 7},
      {"caller's limit", Header(raw) + pad, 3, TgaError::TooLarge, 12},
      // Rows of 6 bytes from byte 18: the second one is cut.
      {"short row", Header(raw) + std::string(11, 'x'), kMaxImagePixels, TgaError::ShortPixels, 24},
      {"no packet", Header(rle) + "\x82" + "abc", kMaxImagePixels, TgaError::ShortRle, 22},
      {"cut packet", Header(rle) + "\x83" + "ab", kMaxImagePixels, TgaError::ShortRle, 18},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TgaFault fault;
    EXPECT_FALSE(ReadTga(AsSpan(c.file), c.maxPixels, &fault));
    EXPECT_EQ(fault.error, c.error);
    EXPECT_EQ(fault.at, c.at);
  }
  TgaFault fault;
  ReadTga(AsSpan(Header(mapped) + pad), kMaxImagePixels, &fault);
  EXPECT_EQ(FaultDetail("TGA", fault, TgaErrorText), "TGA: unknown colour-map entry bits 8 at byte 7");
}

}  // namespace
}  // namespace zr::test
