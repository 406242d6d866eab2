#include <gtest/gtest.h>
#include <tiffio.h>

#include <functional>

#include "format_test_util.h"
#include "image/formats.h"

namespace zr::test {
namespace {

// A small TIFF written with libtiff itself, for layouts ImageMagick cannot be asked for.
struct TiffSpec {
  uint32_t width = 4, height = 2;
  uint16_t bits = 8, samples = 1, photometric = PHOTOMETRIC_MINISBLACK;
  uint16_t compression = COMPRESSION_NONE, orientation = ORIENTATION_TOPLEFT;
  std::vector<uint16_t> map[3];
  std::vector<std::string> rows;  // one scanline each
};

bool WriteTiff(const std::string& path, const TiffSpec& s, int pages = 1) {
  TIFF* t = TIFFOpen(path.c_str(), "w");
  if (!t) return false;
  for (int page = 0; page < pages; ++page) {
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, s.width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, s.height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, s.bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, s.samples);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, s.photometric);
    TIFFSetField(t, TIFFTAG_COMPRESSION, s.compression);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, s.height);
    TIFFSetField(t, TIFFTAG_ORIENTATION, s.orientation);
    if (!s.map[0].empty())
      TIFFSetField(t, TIFFTAG_COLORMAP, s.map[0].data(), s.map[1].data(), s.map[2].data());
    for (uint32_t y = 0; y < s.height; ++y) {
      std::string row = s.rows[y];
      if (page > 0)
        for (auto& c : row) c = char(~c);
      TIFFWriteScanline(t, row.data(), y, 0);
    }
    TIFFWriteDirectory(t);
  }
  TIFFClose(t);
  return true;
}

// Replaces the value of the compression entry of the first directory (little-endian).
void PatchCompression(std::string& bytes, uint16_t value) {
  uint32_t ifd = uint8_t(bytes[4]) | uint8_t(bytes[5]) << 8 | uint8_t(bytes[6]) << 16 |
                 uint32_t(uint8_t(bytes[7])) << 24;
  int count = uint8_t(bytes[ifd]) | uint8_t(bytes[ifd + 1]) << 8;
  for (int i = 0; i < count; ++i) {
    size_t e = ifd + 2 + size_t(i) * 12;
    if ((uint8_t(bytes[e]) | uint8_t(bytes[e + 1]) << 8) == TIFFTAG_COMPRESSION) {
      bytes[e + 8] = char(value & 0xFF);
      bytes[e + 9] = char(value >> 8);
    }
  }
}

TEST(Tiff, MatchesReferenceDecode) {
  TempDir dir;
  RgbImage picture = TestPicture(35, 19);
  struct Case {
    const char* options;
    int bitCount;
  } cases[] = {
      {"-compress LZW", 24},
      {"-compress None -depth 16", 24},
      {"-compress Zip", 24},  // Adobe Deflate loads
      {"-compress JPEG -quality 100", 24},
      {"-interlace Plane -compress LZW", 24},
      {"-alpha set -channel A -evaluate set 50% +channel -alpha off -compress LZW", 24},
      {"-colorspace Gray -compress LZW", 8},
      {"-colorspace Gray -depth 16", 8},
      {"-colorspace Gray -alpha set -channel A -evaluate set 40% +channel", 8},
      {"-colors 200 -type Palette -compress LZW", 8},
      {"-colors 10 -type Palette -depth 4", 4},
      {"-colorspace Gray -depth 2", 4},
      {"-monochrome -depth 1 -define quantum:polarity=min-is-white", 1},
      {"-monochrome -depth 1", 1},
      {"-define tiff:tile-geometry=16x16 -compress LZW", 24},
      {"-colors 10 -type Palette -depth 4 -define tiff:tile-geometry=16x16", 4},
      {"-monochrome -depth 1 -define tiff:tile-geometry=16x16", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    std::string file = dir.file("m.tif");
    ASSERT_TRUE(MagickEncode(picture, c.options, file));
    auto dib = ReadTiffFile(file);
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib->bitCount(), c.bitCount);
    auto ref = MagickDecode(file, dir.file("ref.ppm"));
    ASSERT_TRUE(ref);
    // 16-bit samples are rounded to 8 bits; the reference truncates.
    if (std::string(c.options).find("16") != std::string::npos)
      EXPECT_LE(MaxDifference(DibToRgb(*dib), *ref), 1);
    else
      EXPECT_SAME_PICTURE(DibToRgb(*dib), *ref);
  }
}

TEST(Tiff, SecondPageOfMultiPageFiles) {
  TempDir dir;
  std::string one = dir.file("one.tif"), two = dir.file("two.tif"), three = dir.file("three.tif");
  RgbImage a = TestPicture(12, 8), b = TestPicture(20, 5);
  ASSERT_TRUE(MagickEncode(a, "", one));
  std::string bFile = dir.file("b.tif"), cFile = dir.file("c.tif");
  ASSERT_TRUE(MagickEncode(b, "-colorspace Gray", bFile));
  ASSERT_EQ(RunCommand("convert " + Quote(one) + " " + Quote(bFile) + " " + Quote(two)), 0);
  ASSERT_EQ(RunCommand("convert " + Quote(two) + " " + Quote(one) + " " + Quote(three)), 0);
  auto single = ReadTiffFile(one);
  ASSERT_TRUE(single);
  EXPECT_SAME_PICTURE(DibToRgb(*single), a);
  for (const std::string& file : {two, three}) {
    auto dib = ReadTiffFile(file);
    ASSERT_TRUE(dib);
    auto ref = MagickDecode(file + "[1]", dir.file("ref.ppm"));
    ASSERT_TRUE(ref);
    EXPECT_SAME_PICTURE(DibToRgb(*dib), *ref);
  }
}

TEST(Tiff, TablesOfGreyAndPaletteFiles) {
  TempDir dir;
  std::string file = dir.file("t.tif");

  // 1-bit min-is-white: entry 0 black, entry 1 white, the bytes inverted.
  TiffSpec mono;
  mono.bits = 1;
  mono.width = 8;
  mono.photometric = PHOTOMETRIC_MINISWHITE;
  mono.rows = {"\xF0", "\x0F"};
  ASSERT_TRUE(WriteTiff(file, mono));
  auto m = ReadTiffFile(file);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->colors()[0], (RgbQuad{0, 0, 0, 0}));
  EXPECT_EQ(m->colors()[1], (RgbQuad{255, 255, 255, 0}));
  EXPECT_EQ(m->rowFromTop(0)[0], 0x0F);
  EXPECT_EQ(m->rowFromTop(1)[0], 0xF0);

  // 4-bit min-is-white: entry j = 17 * (15 - j).
  TiffSpec grey4;
  grey4.bits = 4;
  grey4.photometric = PHOTOMETRIC_MINISWHITE;
  grey4.rows = {"\x01\x23", "\x45\x67"};
  ASSERT_TRUE(WriteTiff(file, grey4));
  auto g = ReadTiffFile(file);
  ASSERT_TRUE(g);
  EXPECT_EQ(g->colors()[0].red, 255);
  EXPECT_EQ(g->colors()[14].red, 17);
  EXPECT_EQ(g->rowFromTop(1)[0], 0x45);

  // Palette maps: 16-bit values are scaled by 255 / 65535, 8-bit ones kept.
  TiffSpec pal;
  pal.bits = 8;
  pal.photometric = PHOTOMETRIC_PALETTE;
  for (auto& c : pal.map) c.assign(256, 0);
  pal.map[0][1] = 65535, pal.map[1][1] = 32768, pal.map[2][1] = 257;
  pal.rows = {std::string("\x01\x00\x01\x00", 4), std::string(4, '\x01')};
  ASSERT_TRUE(WriteTiff(file, pal));
  auto wide = ReadTiffFile(file);
  ASSERT_TRUE(wide);
  EXPECT_EQ(wide->colors()[1], (RgbQuad{1, 127, 255, 0}));
  pal.map[0][1] = 200, pal.map[1][1] = 100, pal.map[2][1] = 50;
  ASSERT_TRUE(WriteTiff(file, pal));
  auto narrow = ReadTiffFile(file);
  ASSERT_TRUE(narrow);
  EXPECT_EQ(narrow->colors()[1], (RgbQuad{50, 100, 200, 0}));
}

TEST(Tiff, OrientationAndInks) {
  TempDir dir;
  std::string file = dir.file("o.tif");
  TiffSpec top;
  top.samples = 3;
  top.photometric = PHOTOMETRIC_RGB;
  top.width = 2;
  top.rows = {"abcdef", "ghijkl"};
  ASSERT_TRUE(WriteTiff(file, top));
  auto a = ReadTiffFile(file);
  TiffSpec bottom = top;
  bottom.orientation = ORIENTATION_BOTLEFT;
  bottom.rows = {"ghijkl", "abcdef"};
  ASSERT_TRUE(WriteTiff(file, bottom));
  auto b = ReadTiffFile(file);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->block(), b->block());
  EXPECT_EQ(std::string(a->rowFromTop(0), a->rowFromTop(0) + 6), "cbafed");

  // Inks subtract from white, black ink from every channel.
  TiffSpec cmyk;
  cmyk.samples = 4;
  cmyk.width = 2;
  cmyk.height = 1;
  cmyk.photometric = PHOTOMETRIC_SEPARATED;
  cmyk.rows = {std::string("\x10\x20\x30\x40\xFF\x00\x00\x00", 8)};
  ASSERT_TRUE(WriteTiff(file, cmyk));
  auto inks = ReadTiffFile(file);
  ASSERT_TRUE(inks);
  EXPECT_EQ(inks->bitCount(), 32);
  const uint8_t* p = inks->rowFromTop(0);
  EXPECT_EQ(std::vector<uint8_t>(p, p + 8),
            (std::vector<uint8_t>{255 - 0x70, 255 - 0x60, 255 - 0x50, 0, 255, 255, 0, 0}));
}

TEST(Tiff, RefusedCompressions) {
  TempDir dir;
  std::string file = dir.file("c.tif");
  TiffSpec s;
  s.rows = {"abcd", "efgh"};
  ASSERT_TRUE(WriteTiff(file, s));
  std::string bytes = ReadBytes(file);
  ASSERT_TRUE(ReadTiff(AsSpan(bytes)));
  TiffFault fault;
  for (uint16_t refused : {uint16_t(32946), uint16_t(6)}) {
    std::string patched = bytes;
    PatchCompression(patched, refused);
    EXPECT_FALSE(ReadTiff(AsSpan(patched), kMaxImagePixels, &fault)) << refused;
    EXPECT_EQ(fault.error, TiffError::BadCompression);
    EXPECT_EQ(fault.value, refused);
  }
  s.bits = 0;
  ASSERT_TRUE(WriteTiff(file, s));
  EXPECT_FALSE(ReadTiffFile(file, &fault));
  // The library itself refuses a directory with 0 bits per sample.
  EXPECT_EQ(fault.error, TiffError::NotTiff);
}

TEST(Tiff, WriterTagsAndColours) {
  TempDir dir;
  RgbImage picture = TestPicture(27, 13);
  auto dib = PackedDib::Create(27, 13, 24);
  for (int y = 0; y < 13; ++y)
    for (int x = 0; x < 27; ++x) {
      const uint8_t* p = picture.rgb.data() + (size_t(y) * 27 + size_t(x)) * 3;
      uint8_t* d = dib->rowFromTop(y) + 3 * x;
      d[0] = p[2], d[1] = p[1], d[2] = p[0];
    }
  std::string file = dir.file("w.tif");
  ASSERT_TRUE(WriteTiffFile(file, *dib));
  TIFF* t = TIFFOpen(file.c_str(), "r");
  ASSERT_TRUE(t);
  uint16_t samples = 0, bits = 0, photometric = 0, compression = 0, orientation = 0;
  char* software = nullptr;
  TIFFGetField(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetField(t, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFGetField(t, TIFFTAG_COMPRESSION, &compression);
  TIFFGetField(t, TIFFTAG_ORIENTATION, &orientation);
  TIFFGetField(t, TIFFTAG_SOFTWARE, &software);
  EXPECT_EQ(samples, 3);
  EXPECT_EQ(bits, 8);
  EXPECT_EQ(photometric, PHOTOMETRIC_RGB);
  EXPECT_EQ(compression, COMPRESSION_LZW);
  EXPECT_EQ(orientation, ORIENTATION_TOPLEFT);
  EXPECT_STREQ(software, "Wombrel Zerarive");
  TIFFClose(t);
  auto ref = MagickDecode(file, dir.file("ref.ppm"));
  ASSERT_TRUE(ref);
  EXPECT_SAME_PICTURE(*ref, picture);

  for (int bitCount : {1, 4, 8}) {
    SCOPED_TRACE(bitCount);
    auto pal = PackedDib::Create(21, 5, bitCount);
    for (uint32_t i = 0; i < pal->numColors(); ++i)
      pal->colors()[i] = RgbQuad{uint8_t(i * 3), uint8_t(i * 11), uint8_t(250 - i), 0};
    for (size_t i = 0; i < pal->bitsSize(); ++i) pal->bits()[i] = uint8_t(i * 29 + 3);
    ASSERT_TRUE(WriteTiffFile(file, *pal));
    auto seen = MagickDecode(file, dir.file("ref.ppm"));
    ASSERT_TRUE(seen);
    EXPECT_SAME_PICTURE(*seen, DibToRgb(*pal));
    auto back = ReadTiffFile(file);
    ASSERT_TRUE(back);
    EXPECT_SAME_PICTURE(DibToRgb(*back), DibToRgb(*pal));
  }
  EXPECT_FALSE(WriteTiffFile(dir.file("no/such/dir.tif"), *dib));
}

TEST(Tiff, DamagedFilesAreBounded) {
  TempDir dir;
  std::string file = dir.file("d.tif");
  for (const char* options :
       {"-compress LZW", "-compress None", "-define tiff:tile-geometry=16x16"}) {
    ASSERT_TRUE(MagickEncode(TestPicture(40, 30), options, file));
    std::string bytes = ReadBytes(file);
    for (size_t n = 0; n < bytes.size(); n += 53) ReadTiff(AsSpan(bytes.substr(0, n)));
    // Flipped bytes all through the file.
    for (size_t i = 8; i < bytes.size(); i += 37) {
      std::string damaged = bytes;
      damaged[i] = char(~damaged[i]);
      ReadTiff(AsSpan(damaged));
    }
  }
  TiffFault fault;
  EXPECT_FALSE(ReadTiff(AsSpan(std::string("II*\0garbage", 11)), kMaxImagePixels, &fault));
  EXPECT_EQ(fault.error, TiffError::NotTiff);
  EXPECT_FALSE(ReadTiffFile(dir.file("missing.tif"), &fault));
  EXPECT_EQ(fault.error, TiffError::CannotOpen);
  // A cap on pixels refuses before decoding.
  ASSERT_TRUE(MagickEncode(TestPicture(40, 30), "", file));
  EXPECT_FALSE(ReadTiff(AsSpan(ReadBytes(file)), 1000, &fault));
  EXPECT_EQ(FaultDetail("TIFF", fault, TiffErrorText), "TIFF: image too large (40 x 30)");
}

}  // namespace
}  // namespace zr::test
