// Whatever makes the encoder faster must leave every byte of the stream as it was: the
// reference primitives against the fastest ones, and any thread count.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "mpeg/dsp/dsp.h"
#include "mpeg/video/encoder.h"
#include "support/fake_host.h"
#include "support/temp_dir.h"
#include "video_support.h"

namespace zr::mpeg {
namespace {

std::vector<char> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Encoded {
  std::vector<char> bytes;
  RecordingLog log;
};

Encoded Encode(const VideoParams& p, const dsp::Functions& functions, int threads,
               const std::string& path) {
  Encoded e;
  test::MovingPattern source(p.horizontal_size, p.vertical_size, 1.7);
  VideoEncoder encoder;
  encoder.SetDsp(functions);
  EXPECT_TRUE(test::EncodeToFile(encoder, source, p, path, e.log, threads));
  e.bytes = ReadAll(path);
  return e;
}

// Sizes with partial macroblocks, a single row and column, and enough pictures for
// every picture type and a second GOP.
TEST(SameBytes, ReferenceAndFastestPrimitivesWriteTheSameStream) {
  zr::test::TempDir dir;
  struct Case { int w, h, frames; };
  for (Case c : {Case{176, 144, 16}, Case{330, 241, 6}, Case{16, 16, 14}, Case{48, 112, 8}}) {
    VideoParams p = test::ParamsFor(c.w, c.h, c.frames);
    Encoded ref = Encode(p, dsp::Reference(), 1, dir.file("ref.m1v"));
    Encoded fast = Encode(p, dsp::Best(), 1, dir.file("fast.m1v"));
    ASSERT_GT(ref.bytes.size(), 100u);
    EXPECT_TRUE(ref.bytes == fast.bytes) << c.w << "x" << c.h << " with " << dsp::Best().name;
  }
}

TEST(SameBytes, AnyThreadCountWritesTheSameStreamAndSaysWhatItUses) {
  zr::test::TempDir dir;
  VideoParams p = test::ParamsFor(208, 160, 15);
  Encoded one = Encode(p, dsp::Best(), 1, dir.file("1.m1v"));
  for (int threads : {2, 4}) {
    Encoded more = Encode(p, dsp::Best(), threads, dir.file("n.m1v"));
    EXPECT_TRUE(one.bytes == more.bytes) << threads;
    bool said = false;
    for (const std::string& line : more.log.lines)
      said |= line == "Using 2 motion-search threads (4 asked for)";
    EXPECT_EQ(said, threads == 4);
  }
}

}  // namespace
}  // namespace zr::mpeg
