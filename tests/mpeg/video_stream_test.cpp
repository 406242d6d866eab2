// Whole streams checked with an independent decoder: clean decoding, the header's size,
// rate and picture count, and our reconstruction against the decoder's pictures.
#include <gtest/gtest.h>

#include "mpeg/video/vlc.h"
#include "support/fake_host.h"
#include "video_support.h"

namespace zr::mpeg {
namespace {

using test::Collected;
using test::DecodeWithFfmpeg;
using test::EncodeToFile;
using test::MovingPattern;
using test::ParamsFor;

struct StreamCase {
  int width, height, frames, rate;
};

class StreamTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(StreamTest, DecodesCleanlyAndMatchesOurReconstruction) {
  const StreamCase c = GetParam();
  zr::test::FakeHost host;
  zr::test::TempDir dir;
  VideoParams p = ParamsFor(c.width, c.height, c.frames, c.rate);
  MovingPattern source(c.width, c.height);
  VideoEncoder encoder;
  Collected recon;
  encoder.SetReconstructionHook(recon.hook());
  RecordingLog log;
  std::string path = dir.file("out.m1v");
  ASSERT_TRUE(EncodeToFile(encoder, source, p, path, log));
  EXPECT_TRUE(host.messages.empty()) << host.messages[0];

  std::string probe;
  zr::test::RunCommand("ffprobe -v error -select_streams v:0 -show_entries "
                       "stream=width,height,r_frame_rate -of csv=p=0 '" + path + "'",
                       &probe);
  const std::string rates[] = {"", "24000/1001", "24/1", "25/1", "30000/1001", "30/1"};
  EXPECT_EQ(probe, std::to_string(p.horizontal_size) + "," + std::to_string(p.vertical_size) +
                       "," + rates[p.frame_rate_code] + "\n");

  auto decoded = DecodeWithFfmpeg(path, p.horizontal_size, p.vertical_size, dir);
  ASSERT_TRUE(decoded.ok) << decoded.errors;
  EXPECT_EQ(decoded.errors, "");
  ASSERT_EQ(int(decoded.frames.size()), p.codedFrames);
  ASSERT_EQ(int(recon.pictures.size()), p.codedFrames);
  for (int f = 0; f < p.codedFrames; ++f) {
    double psnr = test::Psnr(recon.pictures[f], decoded.frames[size_t(f)], p.horizontal_size,
                             p.vertical_size);
    EXPECT_GE(psnr, 45.0) << "display picture " << f;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, StreamTest,
                         ::testing::Values(StreamCase{64, 48, 14, 25}, StreamCase{321, 239, 5, 25},
                                           StreamCase{10, 10, 3, 30}, StreamCase{96, 32, 17, 15},
                                           // 176 macroblock rows: slice start codes stop at
                                           // row 175, the last rows continue that slice.
                                           StreamCase{16, 2816, 4, 25}));

}  // namespace
}  // namespace zr::mpeg

namespace zr::mpeg {
namespace {

TEST(StreamLayout, OnePictureFileHasEveryLayerOnce) {
  zr::test::FakeHost host;
  zr::test::TempDir dir;
  VideoParams p = test::ParamsFor(32, 32, 1, 25);
  test::MovingPattern source(32, 32);
  VideoEncoder encoder;
  RecordingLog log;
  ASSERT_TRUE(test::EncodeToFile(encoder, source, p, dir.file("one.m1v"), log));
  std::string s = zr::test::ReadBytes(dir.file("one.m1v"));
  std::vector<int> codes;
  std::vector<size_t> at;
  for (size_t i = 0; i + 3 < s.size(); ++i)
    if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) {
      codes.push_back(uint8_t(s[i + 3]));
      at.push_back(i);
    }
  EXPECT_EQ(codes, (std::vector<int>{0xB3, 0xB2, 0xB8, 0x00, 0x01, 0x02, 0xB7}));
  ASSERT_GE(s.size(), 12u);
  auto u = [&](size_t i) { return uint32_t(uint8_t(s[i])); };
  // 32 x 32, aspect 1, rate code 3, bit_rate 3072 (1228800 / 400), marker, buffer 512,
  // constrained_parameters_flag 0 since the buffer is over the constrained limit.
  EXPECT_EQ((u(4) << 16) | (u(5) << 8) | u(6), (32u << 12) | 32u);
  EXPECT_EQ(u(7), 0x13u);
  uint32_t tail = (u(8) << 24) | (u(9) << 16) | (u(10) << 8) | u(11);
  EXPECT_EQ(tail >> 14, 3072u);
  EXPECT_EQ((tail >> 13) & 1, 1u);
  EXPECT_EQ((tail >> 3) & 1023, 512u);
  EXPECT_EQ((tail >> 2) & 1, 0u);
  EXPECT_EQ(s.substr(at[1] + 4, at[2] - at[1] - 4), "encoded by Vantrel v2.1 ");
  // GOP: time code 0:0:0:0 with its marker, closed_gop 1.
  uint32_t gop = (u(at[2] + 4) << 24) | (u(at[2] + 5) << 16) | (u(at[2] + 6) << 8) | u(at[2] + 7);
  EXPECT_EQ(gop >> 7, 1u << 12);
  EXPECT_EQ((gop >> 6) & 1, 1u);
  EXPECT_EQ(log.frames, std::vector<int>{0});
  EXPECT_EQ(log.percents, std::vector<int>{0});
}

}  // namespace
}  // namespace zr::mpeg
