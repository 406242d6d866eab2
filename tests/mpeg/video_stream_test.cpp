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
                                           StreamCase{10, 10, 3, 30}, StreamCase{96, 32, 17, 15}));

}  // namespace
}  // namespace zr::mpeg
