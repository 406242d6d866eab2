#include <gtest/gtest.h>

#include <cstring>

#include "format_test_util.h"
#include "image/formats.h"

namespace zr::test {
namespace {

std::string Header(int bits, int planes, int width, int height, int bytesPerLine, int version = 5) {
  std::string h(128, '\0');
  h[0] = 10;
  h[1] = char(version);
  h[2] = 1;
  h[3] = char(bits);
  h[8] = char((width - 1) & 0xFF);
  h[9] = char((width - 1) >> 8);
  h[10] = char((height - 1) & 0xFF);
  h[11] = char((height - 1) >> 8);
  h[65] = char(planes);
  h[66] = char(bytesPerLine & 0xFF);
  h[67] = char(bytesPerLine >> 8);
  return h;
}

std::string Palette256(uint8_t seed) {
  std::string p(1, '\x0C');
  for (int i = 0; i < 256; ++i) p += {char(i), char(seed), char(255 - i)};
  return p;
}

std::optional<PackedDib> Read(const std::string& bytes) { return ReadPcx(AsSpan(bytes)); }

// A PackedDib of the given depth filled with a recognisable pattern and table.
PackedDib MakeDib(int width, int height, int bitCount) {
  auto dib = PackedDib::Create(width, height, bitCount);
  for (uint32_t i = 0; i < dib->numColors(); ++i)
    dib->colors()[i] = RgbQuad{uint8_t(i * 7), uint8_t(255 - i), uint8_t(i * 31), 0};
  if (bitCount == 1) dib->colors()[0] = RgbQuad{}, dib->colors()[1] = RgbQuad{255, 255, 255, 0};
  for (int y = 0; y < height; ++y) {
    uint8_t* row = dib->rowFromTop(y);
    for (int x = 0; x < width; ++x) {
      uint32_t v = uint32_t(x * 5 + y * 3 + (x * y) % 7);
      switch (bitCount) {
        case 1:
          row[x / 8] |= uint8_t((v & 1) << (7 - x % 8));
          break;
        case 4:
          row[x / 2] |= uint8_t((v & 15) << (x % 2 ? 0 : 4));
          break;
        case 8:
          row[x] = uint8_t(v);
          break;
        default:
          row[3 * x] = uint8_t(v * 3);
          row[3 * x + 1] = uint8_t(x * 255 / width);
          row[3 * x + 2] = uint8_t(y * 9);
      }
    }
  }
  return std::move(*dib);
}

TEST(Pcx, OwnFilesRoundTripAndMatchReferenceDecode) {
  TempDir dir;
  for (int bits : {1, 4, 8, 24}) {
    for (int width : {1, 13, 64}) {
      SCOPED_TRACE(testing::Message() << bits << " bits, width " << width);
      PackedDib dib = MakeDib(width, 11, bits);
      std::string file = dir.file("w.pcx");
      ASSERT_TRUE(WritePcxFile(file, dib));
      std::string bytes = ReadBytes(file);
      EXPECT_EQ(bytes.substr(118, 10), "PCXW 2.01 ");
      auto back = Read(bytes);
      ASSERT_TRUE(back);
      EXPECT_EQ(back->bitCount(), bits);
      EXPECT_SAME_PICTURE(DibToRgb(*back), DibToRgb(dib));
      // ImageMagick shows two-colour files inverted; ffmpeg agrees with the header.
      auto ref = FfmpegDecode(file, width, 11, dir.file("ref.rgb"));
      ASSERT_TRUE(ref);
      EXPECT_SAME_PICTURE(*ref, DibToRgb(dib));
      if (bits > 1) {
        auto magick = MagickDecode(file, dir.file("ref.ppm"));
        ASSERT_TRUE(magick);
        EXPECT_SAME_PICTURE(*magick, DibToRgb(dib));
      }
    }
  }
}

TEST(Pcx, ReadsReferenceEncodedFiles) {
  TempDir dir;
  RgbImage picture = TestPicture(45, 17);
  for (const char* options : {"", "-colors 200 -type Palette", "-colors 2 -type Bilevel"}) {
    SCOPED_TRACE(options);
    std::string file = dir.file("m.pcx");
    ASSERT_TRUE(MagickEncode(picture, options, file));
    auto dib = Read(ReadBytes(file));
    ASSERT_TRUE(dib);
    auto ref = MagickDecode(file, dir.file("ref.ppm"));
    ASSERT_TRUE(ref);
    EXPECT_SAME_PICTURE(DibToRgb(*dib), *ref);
  }
}

TEST(Pcx, WriterLayoutAndRuns) {
  // A single byte of 192 or more needs a count; 100 equal bytes are split at 63.
  PackedDib dib = MakeDib(100, 2, 8);
  std::memset(dib.rowFromTop(0), 0xC5, 100);
  std::memset(dib.rowFromTop(1), 0x11, 100);
  dib.rowFromTop(0)[1] = 0;
  auto bytes = EncodePcx(dib);
  ASSERT_GT(bytes.size(), 128u + 769u);
  std::vector<uint8_t> line0(bytes.begin() + 128, bytes.begin() + 128 + 7);
  EXPECT_EQ(line0, (std::vector<uint8_t>{0xC1, 0xC5, 0x00, 0xFF, 0xC5, 0xE3, 0xC5}));
  std::vector<uint8_t> line1(bytes.begin() + 128 + 7, bytes.begin() + 128 + 11);
  EXPECT_EQ(line1, (std::vector<uint8_t>{0xFF, 0x11, 0xE5, 0x11}));
  EXPECT_EQ(bytes[bytes.size() - 769], 12) << "256-colour palette follows the image";

  PackedDib rgb = MakeDib(7, 3, 24);
  bytes = EncodePcx(rgb);
  EXPECT_EQ(bytes[3], 8);
  EXPECT_EQ(bytes[65], 3);
  EXPECT_EQ(bytes[66] | (bytes[67] << 8), 8) << "bytes per line: width rounded up to even";
  auto back = ReadPcx(ByteSpan(bytes));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->block(), rgb.block()) << "no trailing palette, same pixels";

  PackedDib sixteen = MakeDib(9, 2, 4);
  bytes = EncodePcx(sixteen);
  EXPECT_EQ(bytes[3], 1);
  EXPECT_EQ(bytes[65], 4);
  EXPECT_EQ(bytes[16 + 3 * 2 + 1], sixteen.colors()[2].green) << "16 colours in the header";
}

TEST(Pcx, RunsCarryAcrossLines) {
  // Width 4, 8 bits: one run of 6 fills line 0 and the first 2 bytes of line 1.
  std::string file = Header(8, 1, 4, 2, 4) + "\xC6\x07" + "\x01\x02" + Palette256(9);
  auto dib = Read(file);
  ASSERT_TRUE(dib);
  const uint8_t* top = dib->rowFromTop(0);
  const uint8_t* second = dib->rowFromTop(1);
  EXPECT_EQ(std::vector<uint8_t>(top, top + 4), (std::vector<uint8_t>{7, 7, 7, 7}));
  EXPECT_EQ(std::vector<uint8_t>(second, second + 4), (std::vector<uint8_t>{7, 7, 1, 2}));
  EXPECT_EQ(dib->colors()[3], (RgbQuad{252, 9, 3, 0}));
}

TEST(Pcx, PaletteSources) {
  const std::string pixels8 = "\xC4\x01";
  // Padding, then 12 and the palette: the palette after the first 12.
  auto padded = Read(Header(8, 1, 4, 1, 4) + pixels8 + std::string(5, '\0') + Palette256(50));
  ASSERT_TRUE(padded);
  EXPECT_EQ(padded->colors()[1], (RgbQuad{254, 50, 1, 0}));
  // No 12 after the data: the table stays black; nothing after the data: a grey ramp.
  auto noMarker = Read(Header(8, 1, 4, 1, 4) + pixels8 + std::string(800, '\x01'));
  ASSERT_TRUE(noMarker);
  EXPECT_EQ(noMarker->colors()[200], RgbQuad{});
  auto nothing = Read(Header(8, 1, 4, 1, 4) + pixels8);
  ASSERT_TRUE(nothing);
  EXPECT_EQ(nothing->colors()[200], (RgbQuad{200, 200, 200, 0}));

  // Two colours: distinct header triples are used, equal ones read as black and white.
  std::string mono = Header(1, 1, 8, 1, 2);
  mono[16] = 10, mono[17] = 20, mono[18] = 30, mono[19] = 40, mono[20] = 50, mono[21] = 60;
  auto two = Read(mono + std::string("\x0F\x00", 2));
  ASSERT_TRUE(two);
  EXPECT_EQ(two->colors()[0], (RgbQuad{30, 20, 10, 0}));
  EXPECT_EQ(two->colors()[1], (RgbQuad{60, 50, 40, 0}));
  std::memcpy(&mono[19], &mono[16], 3);
  auto same = Read(mono + std::string("\x0F\x00", 2));
  ASSERT_TRUE(same);
  EXPECT_EQ(same->colors()[0], (RgbQuad{0, 0, 0, 0}));
  EXPECT_EQ(same->colors()[1], (RgbQuad{255, 255, 255, 0}));

  // Version 3 carries no palette: the default tables.
  std::string v3 = Header(4, 1, 2, 1, 2, 3);
  v3[16 + 9 * 3] = 1;
  auto sixteen = Read(v3 + std::string("\x12\x00", 2));
  ASSERT_TRUE(sixteen);
  EXPECT_EQ(sixteen->colors()[9], (RgbQuad{255, 0, 0, 0}));
  EXPECT_EQ(sixteen->colors()[7], (RgbQuad{128, 128, 128, 0}));
  auto v3mono =
      Read(Header(1, 1, 8, 1, 2, 3).replace(16, 6, "abcdef") + std::string("\x0F\x00", 2));
  ASSERT_TRUE(v3mono);
  EXPECT_EQ(v3mono->colors()[1], (RgbQuad{255, 255, 255, 0}));
}

TEST(Pcx, RefusesBadHeadersAndBoundsShortLines) {
  EXPECT_FALSE(Read(Header(2, 2, 4, 4, 2) + std::string(64, '\0')));
  EXPECT_FALSE(Read(Header(1, 8, 4, 4, 2) + std::string(64, '\0')));
  EXPECT_FALSE(Read(Header(8, 1, 4, 4, 4).substr(0, 127)));
  std::string wrongMaker = Header(8, 1, 4, 4, 4);
  wrongMaker[0] = 11;
  EXPECT_FALSE(Read(wrongMaker));
  std::string inverted = Header(8, 1, 4, 4, 4);
  inverted[4] = 10;  // x min 10 > x max 3
  EXPECT_FALSE(Read(inverted + std::string(64, '\0')));
  EXPECT_FALSE(Read(Header(8, 1, 40000, 2, 40000)));

  // Bytes per line far below what the width needs: the missing bytes read as 0.
  for (auto [bits, planes] : {std::pair{8, 3}, {1, 4}, {8, 1}, {1, 1}}) {
    auto dib = Read(Header(bits, planes, 300, 3, 1) + std::string(40, '\x05'));
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib->width(), 300);
  }

  // Bytes per line of 0: nothing to decode, every row zero.
  auto noLine = Read(Header(8, 1, 4, 2, 0) + Palette256(1));
  ASSERT_TRUE(noLine);
  EXPECT_EQ(noLine->rowFromTop(1)[3], 0);

  // Truncated data: the rows decoded so far, the rest zero.
  PackedDib full = MakeDib(20, 10, 24);
  auto bytes = EncodePcx(full);
  for (size_t n = 128; n < bytes.size(); n += 7) {
    auto dib = ReadPcx(ByteSpan(bytes.data(), n));
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib->rowFromTop(9)[0], 0);
  }
}

TEST(Pcx, BuiltInResource) {
  auto card = ReadPcxResource("testcard.p");
  ASSERT_TRUE(card);
  EXPECT_EQ(card->width(), 32);
  EXPECT_EQ(card->bitCount(), 4);
  RgbImage rgb = DibToRgb(*card);
  // Square (row 2, column 1) shows colour 9, bright blue.
  size_t at = (size_t(20) * 32 + 12) * 3;
  EXPECT_EQ(std::vector<uint8_t>(rgb.rgb.begin() + long(at), rgb.rgb.begin() + long(at) + 3),
            (std::vector<uint8_t>{0, 0, 255}));
  EXPECT_FALSE(ReadPcxResource("nothing.p"));
}

TEST(Pcx, RefusalsNameTheFaultAndWhereItIs) {
  std::string wrongMaker = Header(8, 1, 4, 4, 4);
  wrongMaker[0] = 11;
  std::string packed = Header(8, 1, 4, 4, 4);
  packed[2] = 0;
  std::string inverted = Header(8, 1, 4, 4, 4);
  inverted[4] = 10;
  struct Case {
    const char* name;
    std::string file;
    int64_t maxPixels;
    PcxError error;
    int64_t at;
  } cases[] = {
      {"short", Header(8, 1, 4, 4, 4).substr(0, 127), kMaxImagePixels, PcxError::TooShort, -1},
      {"maker", wrongMaker, kMaxImagePixels, PcxError::NotPcx, 0},
      {"encoding", packed, kMaxImagePixels, PcxError::NotPcx, 2},
      {"layout", Header(2, 2, 4, 4, 2), kMaxImagePixels, PcxError::BadLayout, 3},
      {"inverted", inverted, kMaxImagePixels, PcxError::BadSize, 4},
      {"caps", Header(8, 1, 40000, 2, 40000), kMaxImagePixels, PcxError::BadSize, 4},
      {"caller's limit", Header(8, 1, 4, 4, 4), 15, PcxError::TooLarge, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PcxFault fault;
    EXPECT_FALSE(ReadPcx(AsSpan(c.file + std::string(64, '\0')).first(c.file.size()),
                         c.maxPixels, &fault));
    EXPECT_EQ(fault.error, c.error);
    EXPECT_EQ(fault.at, c.at);
  }
  PcxFault fault;
  ReadPcx(AsSpan(wrongMaker), kMaxImagePixels, &fault);
  EXPECT_EQ(FaultDetail("PCX", fault, PcxErrorText),
            "PCX: not a run-length PCX file (manufacturer 11) at byte 0");
  EXPECT_FALSE(ReadPcxResource("nothing.p", &fault));
  EXPECT_EQ(fault.error, PcxError::NoResource);
}

}  // namespace
}  // namespace zr::test
