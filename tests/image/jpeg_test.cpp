#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <vector>

// After <cstdio>: the library's header uses size_t and FILE without including them.
#include <jpeglib.h>

#include "format_test_util.h"
#include "image/cbmp.h"
#include "image/formats.h"
#include "platform/atomic_file.h"
#include "image/image_dispatch.h"
#include "support/fake_host.h"

namespace zr::test {
namespace {

PackedDib DibFrom(const RgbImage& img) {
  auto dib = PackedDib::Create(img.width, img.height, 24);
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const uint8_t* p = img.rgb.data() + (size_t(y) * size_t(img.width) + size_t(x)) * 3;
      uint8_t* d = dib->rowFromTop(y) + 3 * x;
      d[0] = p[2], d[1] = p[1], d[2] = p[0];
    }
  return std::move(*dib);
}

TEST(Jpeg, MatchesReferenceDecode) {
  FakeHost host;
  TempDir dir;
  RgbImage picture = TestPicture(33, 20);
  for (const char* options : {"-quality 90", "-quality 75 -interlace JPEG", "-colorspace Gray",
                              "-colorspace CMYK", "-resize 1x20!"}) {
    SCOPED_TRACE(options);
    std::string file = dir.file("m.jpg");
    ASSERT_TRUE(MagickEncode(picture, options, file));
    auto dib = ReadJpegFile(file);
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib->bitCount(), 24);
    auto ref = MagickDecode(file, dir.file("ref.ppm"));
    ASSERT_TRUE(ref);
    RgbImage got = DibToRgb(*dib);
    ASSERT_EQ(got.width, ref->width);
    EXPECT_GT(Psnr(got, *ref), 35.0);
  }
  EXPECT_TRUE(host.messages.empty());
}

// Colour files are decoded straight into blue-green-red rows; the values must be the
// library's own red-green-blue ones, byte for byte, at every sampling and for odd sizes.
TEST(Jpeg, ColourRowsAreTheLibrarysRgbValuesSwapped) {
  TempDir dir;
  RgbImage picture = TestPicture(37, 21);
  for (const char* options : {"-sampling-factor 2x2", "-sampling-factor 2x1",
                              "-sampling-factor 1x1 -interlace JPEG", "-define jpeg:colorspace=2"}) {
    SCOPED_TRACE(options);
    std::string file = dir.file("c.jpg");
    ASSERT_TRUE(MagickEncode(picture, options, file));
    auto dib = ReadJpegFile(file);
    ASSERT_TRUE(dib);
    FILE* in = std::fopen(file.c_str(), "rb");
    ASSERT_TRUE(in);
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, in);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    std::vector<uint8_t> line(size_t(cinfo.output_width) * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = line.data();
      const int y = int(cinfo.output_scanline);
      jpeg_read_scanlines(&cinfo, &row, 1);
      const uint8_t* got = dib->rowFromTop(y);
      for (size_t x = 0; x < cinfo.output_width; ++x) {
        ASSERT_TRUE(got[3 * x] == line[3 * x + 2] && got[3 * x + 1] == line[3 * x + 1] &&
                    got[3 * x + 2] == line[3 * x])
            << "pixel " << x << ", " << y;
      }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(in);
  }
}

TEST(Jpeg, GreyFilesRepeatTheGreyValue) {
  FakeHost host;
  TempDir dir;
  std::string file = dir.file("g.jpg");
  ASSERT_TRUE(MagickEncode(TestPicture(16, 8), "-colorspace Gray", file));
  auto dib = ReadJpegFile(file);
  ASSERT_TRUE(dib);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) {
      const uint8_t* p = dib->rowFromTop(y) + 3 * x;
      ASSERT_TRUE(p[0] == p[1] && p[1] == p[2]);
    }
}

TEST(Jpeg, WriterIsFaithfulAndRepeatable) {
  FakeHost host;
  TempDir dir;
  RgbImage picture = SmoothPicture(41, 27);
  PackedDib dib = DibFrom(picture);
  std::string a = dir.file("a.jpg"), b = dir.file("b.jpg");
  ASSERT_TRUE(WriteJpegFile(a, dib, 100, true));
  ASSERT_TRUE(WriteJpegFile(b, dib, 100, true));
  EXPECT_EQ(ReadBytes(a), ReadBytes(b));
  auto ref = MagickDecode(a, dir.file("ref.ppm"));
  ASSERT_TRUE(ref);
  EXPECT_GT(Psnr(*ref, picture), 38.0);

  // Grey: one component holding the mean of red, green and blue.
  std::string g = dir.file("g.jpg");
  ASSERT_TRUE(WriteJpegFile(g, dib, 100, false));
  std::string info;
  RunCommand("identify -format '%[channels]' " + Quote(g), &info);
  EXPECT_NE(info.find("gray"), std::string::npos) << info;
  auto back = ReadJpegFile(g);
  ASSERT_TRUE(back);
  const uint8_t* p = back->rowFromTop(5) + 3 * 7;
  const uint8_t* src = picture.rgb.data() + (5 * 41 + 7) * 3;
  EXPECT_NEAR(p[0], (src[0] + src[1] + src[2]) / 3, 3);

  // Palette images are written through their colours.
  auto pal = PackedDib::Create(3, 1, 8);
  pal->colors()[4] = RgbQuad{10, 200, 30, 0};
  pal->rowFromTop(0)[0] = pal->rowFromTop(0)[1] = pal->rowFromTop(0)[2] = 4;
  ASSERT_TRUE(WriteJpegFile(dir.file("p.jpg"), *pal, 100, true));
  auto palBack = ReadJpegFile(dir.file("p.jpg"));
  ASSERT_TRUE(palBack);
  EXPECT_NEAR(palBack->rowFromTop(0)[1], 200, 4);
  EXPECT_TRUE(host.messages.empty());

  // A failed write leaves its reason for the caller, who names the file.
  JpegFault fault;
  int error = 0;
  EXPECT_FALSE(WriteJpegFile(dir.file("none/x.jpg"), dib, 100, true, &fault, &error));
  EXPECT_EQ(fault.error, JpegError::CannotOpen);
  EXPECT_EQ(error, ENOENT);
  // The save dispatch turns it into the box the user always saw.
  CBmp image;
  ASSERT_TRUE(image.Load(a));
  ImageFailure failure;
  EXPECT_FALSE(image.Save(dir.file("none/x.jpg"), &failure));
  EXPECT_EQ(failure.message, "Can't open " + dir.file("none/x.jpg") + "\n");
  EXPECT_EQ(failure.detail, "JPEG: cannot write the file");
  EXPECT_EQ(failure.error, ENOENT);
  EXPECT_TRUE(host.messages.empty());
}

TEST(Jpeg, FailuresAreNamedAndBounded) {
  FakeHost host;
  TempDir dir;
  JpegFault fault;
  EXPECT_FALSE(ReadJpegFile(dir.file("missing.jpg"), &fault));
  EXPECT_EQ(fault.error, JpegError::CannotOpen);
  CBmp image;
  ImageFailure failure;
  EXPECT_FALSE(image.Load(dir.file("missing.jpg"), &failure));
  EXPECT_EQ(failure.message, "JPEG :\nCan't open " + dir.file("missing.jpg") + "\n");
  EXPECT_EQ(failure.caption, "");
  EXPECT_EQ(failure.detail, "JPEG: cannot open the file");

  // Not a JPEG: the library's words become the fatal-error box and the detail.
  WriteBytes(dir.file("bad.jpg"), "this is not a jpeg file at all");
  EXPECT_FALSE(ReadJpegFile(dir.file("bad.jpg"), &fault));
  EXPECT_EQ(fault.error, JpegError::Library);
  EXPECT_NE(fault.note.find("JPEG"), std::string::npos) << fault.note;
  EXPECT_FALSE(image.Load(dir.file("bad.jpg"), &failure));
  EXPECT_EQ(failure.caption, "JPG Fatal Error");
  EXPECT_EQ(failure.message, fault.note);
  EXPECT_EQ(failure.detail, "JPEG: library error (" + fault.note + ")");

  // Every truncation of a real file either decodes (the rest grey) or fails cleanly.
  std::string file = dir.file("t.jpg");
  ASSERT_TRUE(MagickEncode(TestPicture(24, 24), "-quality 80", file));
  std::string bytes = ReadBytes(file);
  for (size_t n = 0; n < bytes.size(); n += 13) {
    auto dib = ReadJpeg(AsSpan(bytes.substr(0, n)));
    if (dib) {
      EXPECT_EQ(dib->width(), 24);
    }
  }
  // Header sizes beyond the caps are refused before decoding.
  std::string big = bytes;
  size_t sof = big.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  big[sof + 5] = big[sof + 7] = '\x9C';  // 40000 x 40000
  big[sof + 6] = big[sof + 8] = '\x40';
  EXPECT_FALSE(ReadJpeg(AsSpan(big), kMaxImagePixels, &fault));
  EXPECT_EQ(fault.error, JpegError::TooLarge);
  WriteBytes(dir.file("big.jpg"), big);
  EXPECT_FALSE(image.Load(dir.file("big.jpg"), &failure));
  EXPECT_EQ(failure.message, "JPG out of memory");
  // The readers show nothing themselves.
  EXPECT_TRUE(host.messages.empty());
}

}  // namespace
}  // namespace zr::test
