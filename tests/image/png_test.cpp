#include <gtest/gtest.h>
#include <zlib.h>

#include "format_test_util.h"
#include "image/formats.h"

namespace zr::test {
namespace {

// Dropping alpha must match ImageMagick's colours without it.
const char* const kNoAlpha = "-alpha off";

TEST(Png, MatchesReferenceDecode) {
  TempDir dir;
  RgbImage picture = TestPicture(29, 21);
  struct Case {
    const char* options;
    int bitCount;
  } cases[] = {
      {"PNG24:", 24},
      {"-depth 16 PNG48:", 24},
      {"-interlace PNG PNG24:", 24},
      {"-alpha set -channel A -evaluate set 50% +channel PNG32:", 32},
      {"-colorspace Gray -depth 8 PNG8:", 8},
      {"-colorspace Gray -depth 16", 8},
      {"-colorspace Gray -alpha set -channel A -evaluate set 40% +channel", 8},
      {"-colors 200 PNG8:", 8},
      {"-colors 12 -define png:bit-depth=4 -define png:color-type=3", 4},
      {"-colors 4 -define png:bit-depth=2 -define png:color-type=3", 4},
      {"-colors 2 -define png:bit-depth=1 -define png:color-type=3", 0},
      {"-monochrome -define png:bit-depth=1 -define png:color-type=0", 1},
      {"-colors 200 -interlace PNG PNG8:", 8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    std::string options = c.options;
    std::string prefix;
    if (options.back() == ':') {
      size_t space = options.rfind(' ');
      prefix = space == std::string::npos ? options : options.substr(space + 1);
      options = space == std::string::npos ? "" : options.substr(0, space);
    }
    std::string file = dir.file("m.png");
    ASSERT_TRUE(MagickEncode(picture, options, prefix + file));
    std::string error;
    auto dib = ReadPng(AsSpan(ReadBytes(file)), &error);
    ASSERT_TRUE(dib) << error;
    if (c.bitCount) {
      EXPECT_EQ(dib->bitCount(), c.bitCount);
    }
    std::string plain = dir.file("plain.png");
    ASSERT_EQ(RunCommand("convert " + Quote(file) + " " + kNoAlpha + " " + Quote(plain)), 0);
    auto ref = MagickDecode(plain, dir.file("ref.ppm"));
    ASSERT_TRUE(ref);
    // 16-bit samples keep their high byte; the reference rounds.
    if (std::string(c.options).find("16") != std::string::npos)
      EXPECT_LE(MaxDifference(DibToRgb(*dib), *ref), 1);
    else
      EXPECT_SAME_PICTURE(DibToRgb(*dib), *ref);
  }
}

TEST(Png, GreyRampsOfSmallDepths) {
  TempDir dir;
  // A 16-level grey ramp stored as 4-bit and 2-bit grey: 4-bit value 15 shows 240, 2-bit
  // value 3 shows 192.
  RgbImage ramp{16, 1, {}};
  for (int i = 0; i < 16; ++i)
    ramp.rgb.insert(ramp.rgb.end(), {uint8_t(i * 17), uint8_t(i * 17), uint8_t(i * 17)});
  for (int depth : {4, 2}) {
    SCOPED_TRACE(depth);
    std::string file = dir.file("g.png");
    ASSERT_TRUE(MagickEncode(
        ramp,
        "-colorspace Gray -define png:color-type=0 -define png:bit-depth=" + std::to_string(depth),
        file));
    auto dib = ReadPngFile(file);
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib->bitCount(), 4);
    RgbImage got = DibToRgb(*dib);
    EXPECT_EQ(got.rgb[0], 0);
    EXPECT_EQ(got.rgb[15 * 3], depth == 4 ? 240 : 192);
  }
}

TEST(Png, InterlacedRowLimit) {
  TempDir dir;
  for (int rows : {10000, 10001}) {
    std::string file = dir.file("tall.png");
    ASSERT_EQ(RunCommand("convert -size 1x" + std::to_string(rows) +
                         " xc:red -interlace PNG PNG24:" + Quote(file)),
              0);
    std::string error;
    PngFault fault;
    auto dib = ReadPng(AsSpan(ReadBytes(file)), &error, kMaxImagePixels, &fault);
    EXPECT_EQ(dib.has_value(), rows == 10000);
    if (rows > 10000) {
      EXPECT_EQ(error, "Sorry!\nThis File is toooo big for me.");
      EXPECT_EQ(FaultDetail("PNG", fault, PngErrorText),
                "PNG: interlaced image of more than 10000 rows (10001 rows) at byte 20");
    }
  }
}

TEST(Png, WriterRoundTripsThroughReference) {
  TempDir dir;
  RgbImage picture = TestPicture(23, 14);
  std::string file = dir.file("w.png");
  // 24-bit from the save path: RGB without a palette chunk.
  auto rgb = PackedDib::Create(picture.width, picture.height, 24);
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x) {
      const uint8_t* p = picture.rgb.data() + (size_t(y) * 23 + size_t(x)) * 3;
      uint8_t* d = rgb->rowFromTop(y) + 3 * x;
      d[0] = p[2], d[1] = p[1], d[2] = p[0];
    }
  rgb->header().biXPelsPerMeter = rgb->header().biYPelsPerMeter = 2835;
  ASSERT_TRUE(WritePngFile(file, *rgb));
  std::string bytes = ReadBytes(file);
  EXPECT_EQ(bytes.find("PLTE"), std::string::npos);
  auto ref = MagickDecode(file, dir.file("ref.ppm"));
  ASSERT_TRUE(ref);
  EXPECT_SAME_PICTURE(*ref, picture);
  auto back = ReadPngFile(file);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->block(), rgb->block());

  for (int bits : {1, 4, 8, 16}) {
    SCOPED_TRACE(bits);
    auto dib = PackedDib::Create(19, 6, bits);
    for (uint32_t i = 0; i < dib->numColors(); ++i)
      dib->colors()[i] = RgbQuad{uint8_t(i * 9), uint8_t(200 - i / 2), uint8_t(i * 30), 0};
    for (size_t i = 0; i < dib->bitsSize(); ++i) dib->bits()[i] = uint8_t(i * 37 + 5);
    if (bits == 16)
      for (size_t i = 1; i < dib->bitsSize(); i += 2) dib->bits()[i] &= 0x7F;
    for (int y = 0; y < 6; ++y) {  // clear row padding the reference would not keep
      uint8_t* row = dib->rowFromTop(y);
      size_t used = (size_t(19) * bits + 7) / 8;
      for (size_t i = used; i < dib->stride(); ++i) row[i] = 0;
      if (bits == 1) row[used - 1] &= 0xE0;
      if (bits == 4) row[used - 1] &= 0xF0;
    }
    ASSERT_TRUE(WritePngFile(file, *dib));
    auto seen = MagickDecode(file, dir.file("ref.ppm"));
    ASSERT_TRUE(seen);
    RgbImage expected = DibToRgb(*dib);
    if (bits == 16) {  // 5-5-5 widened by shifting
      for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 19; ++x) {
          const uint8_t* p = dib->rowFromTop(y) + 2 * x;
          uint16_t v = uint16_t(p[0] | (p[1] << 8));
          uint8_t* e = expected.rgb.data() + (size_t(y) * 19 + size_t(x)) * 3;
          e[0] = uint8_t(((v >> 10) & 31) << 3), e[1] = uint8_t(((v >> 5) & 31) << 3),
          e[2] = uint8_t((v & 31) << 3);
        }
    }
    EXPECT_SAME_PICTURE(*seen, expected);
  }
}

TEST(Png, DamagedFilesKeepWhatWasRead) {
  TempDir dir;
  std::string error;
  PngFault fault;
  EXPECT_FALSE(ReadPng(AsSpan(std::string("not a png")), &error, kMaxImagePixels, &fault));
  EXPECT_EQ(error, "This is not a valid PNG File!");
  EXPECT_EQ(fault.error, PngError::NotPng);
  EXPECT_FALSE(ReadPngFile(dir.file("missing.png"), &error, &fault));
  EXPECT_EQ(error, "Can't open file: " + dir.file("missing.png"));
  EXPECT_EQ(fault.error, PngError::CannotOpen);

  std::string file = dir.file("t.png");
  RgbImage picture = TestPicture(40, 40);
  ASSERT_TRUE(MagickEncode(picture, "-define png:compression-level=0", "PNG24:" + file));
  std::string bytes = ReadBytes(file);
  // Cut inside the image data: the top rows are there, the bottom ones zero.
  auto half = ReadPng(AsSpan(bytes.substr(0, bytes.size() * 6 / 10)));
  ASSERT_TRUE(half);
  RgbImage got = DibToRgb(*half);
  EXPECT_TRUE(std::equal(got.rgb.begin(), got.rgb.begin() + 40 * 3 * 10, picture.rgb.begin()));
  EXPECT_EQ(got.rgb.back(), 0);
  // Cut before the image starts, and a damaged header: no image, and the reason.
  EXPECT_FALSE(ReadPng(AsSpan(bytes.substr(0, 20)), &error, kMaxImagePixels, &fault));
  EXPECT_EQ(fault.error, PngError::Library);
  EXPECT_EQ(fault.at, 20);
  std::string badCrc = bytes;
  badCrc[29] = char(~badCrc[29]);
  EXPECT_FALSE(ReadPng(AsSpan(badCrc), &error, kMaxImagePixels, &fault));
  EXPECT_EQ(fault.error, PngError::Library);
  EXPECT_NE(fault.note.find("CRC"), std::string::npos) << fault.note;
  EXPECT_EQ(error, "This is not a valid PNG File!");
  for (size_t n = 0; n < bytes.size(); n += 97) ReadPng(AsSpan(bytes.substr(0, n)));

  // Interlaced and cut: no reads outside the row buffers.
  ASSERT_TRUE(MagickEncode(picture, "-interlace PNG", "PNG24:" + file));
  bytes = ReadBytes(file);
  for (size_t n = 0; n < bytes.size(); n += 101) ReadPng(AsSpan(bytes.substr(0, n)));

  // Sizes beyond the caps are refused before allocating: 40000 x 40000 in a valid header.
  std::string big = bytes;
  ASSERT_EQ(big.substr(12, 4), "IHDR");
  for (int at : {16, 20}) big.replace(size_t(at), 4, std::string("\0\0\x9C\x40", 4));
  uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(big.data() + 12), 17));
  for (int i = 0; i < 4; ++i) big[29 + size_t(i)] = char(crc >> (24 - 8 * i));
  EXPECT_FALSE(ReadPng(AsSpan(big), &error, kMaxImagePixels, &fault));
  EXPECT_EQ(error, "Can't allocate memory");
  EXPECT_EQ(FaultDetail("PNG", fault, PngErrorText),
            "PNG: image size out of range (40000 x 40000) at byte 16");
}

}  // namespace
}  // namespace zr::test
