// Whatever makes the encoder faster must leave every byte of the stream as it was: the
// reference primitives against the fastest ones, and any thread count.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "mpeg/dsp/dsp.h"
#include "mpeg/video/encoder.h"
#include "mpeg/video/vlc.h"
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

// Frames that cannot be read leave the store as it was, and say so in the log; the next
// picture is read while this one is coded, so neither may change with the thread count.
class GappySource : public PictureSource {
 public:
  GappySource(int w, int h) : pattern_(w, h, 1.3) {}
  bool ReadPicture(int codedFrame, int repeat, Frame& f, ConvertLog& log) override {
    if (codedFrame % 5 == 3) {
      log.Line("Warning: frame " + std::to_string(codedFrame) + " kept");
      return false;
    }
    return pattern_.ReadPicture(codedFrame, repeat, f, log);
  }

 private:
  test::MovingPattern pattern_;
};

TEST(SameBytes, UnreadFramesKeepThePreviousPictureWithAnyThreadCount) {
  zr::test::TempDir dir;
  VideoParams p = test::ParamsFor(96, 64, 26);
  std::vector<char> first;
  std::vector<std::string> firstLines;
  for (int threads : {1, 2}) {
    GappySource source(96, 64);
    VideoEncoder encoder;
    // In coding order: the B picture of an unread frame is the B picture before it.
    std::vector<std::pair<int, Frame>> seen;
    encoder.SetSourceHook([&](int display, const Frame& f) { seen.emplace_back(display, f); });
    RecordingLog log;
    ASSERT_TRUE(test::EncodeToFile(encoder, source, p, dir.file("g.m1v"), log, threads));
    const Frame* lastB = nullptr;
    int checked = 0;
    for (size_t k = 0; k < seen.size(); ++k) {
      const CodingStep step = PlanPicture(int(k), p.codedFrames, p.N, p.M);
      if (step.type != kPictureB) continue;
      if (seen[k].first % 5 == 3 && lastB) {
        EXPECT_TRUE(seen[k].second.y == lastB->y) << "display " << seen[k].first;
        ++checked;
      }
      lastB = &seen[k].second;
    }
    EXPECT_GT(checked, 1);
    std::vector<char> bytes = ReadAll(dir.file("g.m1v"));
    if (threads == 1) {
      first = bytes;
      firstLines = log.lines;
    } else {
      EXPECT_TRUE(bytes == first);
      EXPECT_EQ(log.lines, firstLines);
    }
  }
}

}  // namespace
}  // namespace zr::mpeg
