// The high-quality mode's rate-distortion choices: its bit counts against what the
// macroblock writer really emits, and the modes it picks where the answer is plain.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "mpeg/dsp/bitwriter.h"
#include "mpeg/video/hq_mode.h"
#include "mpeg/video/hq_picture.h"
#include "mpeg/video/hq_quant.h"
#include "mpeg/video/quant.h"
#include "mpeg/video/macroblock.h"
#include "mpeg/video/vlc.h"
#include "video_support.h"

namespace zr::mpeg {
namespace {

uint32_t Next(uint32_t& seed) { return (seed = seed * 1664525u + 1013904223u) >> 8; }

TEST(HqModeRates, MotionBitsMatchTheWriter) {
  RecordingLog log;
  BitWriter out;
  MacroblockWriter writer(out, log);
  for (int fcode = 1; fcode <= 4; ++fcode) {
    const int f = 16 << (fcode - 1);
    for (int value = -f; value < f; value += 3)
      for (int predictor : {-f, -5, 0, 7, f - 1}) {
        const int64_t before = out.BitCount();
        int pred = predictor;
        writer.PutMotionComponent(value, pred, fcode);
        ASSERT_EQ(out.BitCount() - before, MotionComponentBits(value, predictor, fcode))
            << "value " << value << " predictor " << predictor << " fcode " << fcode;
      }
  }
  EXPECT_TRUE(log.lines.empty());
}

TEST(HqModeRates, BlockBitsMatchTheWriter) {
  RecordingLog log;
  BitWriter out;
  MacroblockWriter writer(out, log);
  uint32_t seed = 7;
  const VideoParams p = test::ParamsFor(64, 64, 10);
  for (int trial = 0; trial < 300; ++trial) {
    int16_t coef[64] = {}, levels[64] = {};
    const int count = 1 + int(Next(seed) % 20);
    for (int n = 0; n < count; ++n) {
      const int pos = int(Next(seed) % 64);
      // Mostly small levels, some needing an escape.
      levels[pos] = int16_t(Next(seed) % 8 == 0 ? int(Next(seed) % 400) - 200
                                                : int(Next(seed) % 7) - 3);
      coef[pos] = int16_t(levels[pos] * 24);
    }
    if (std::all_of(levels, levels + 64, [](int16_t v) { return v == 0; })) levels[0] = 1;
    const int64_t before = out.BitCount();
    writer.PutNonIntraBlock(levels);
    ASSERT_EQ(out.BitCount() - before, NonIntraBlockRd(coef, levels, p.nonIntraMatrix, 12).bits);
  }
}

TEST(HqModeRates, DroppingCostsTheWholeBlock) {
  const VideoParams p = test::ParamsFor(64, 64, 10);
  int16_t coef[64] = {}, levels[64] = {};
  coef[0] = 100;
  coef[9] = -40;
  levels[0] = 3;
  const BlockRd r = NonIntraBlockRd(coef, levels, p.nonIntraMatrix, 12);
  EXPECT_EQ(r.dropped, 100 * 100 + 40 * 40);
  EXPECT_LT(r.coded, r.dropped);
}

// A 64 x 64 picture pair: the current one is the older moved 4 pixels left, so forward
// (+8, 0) half pixels predicts its inner macroblocks exactly.
class HqModePair : public ::testing::Test {
 protected:
  void SetUp() override {
    older.Allocate(64, 64);
    current.Allocate(64, 64);
    uint32_t seed = 99;
    for (auto& v : older.y) v = uint8_t(Next(seed));
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x)
        current.y[size_t(y) * 64 + x] = older.y[size_t(y) * 64 + std::min(63, x + 4)];
  }
  MacroblockInfo Choose(int type, const MacroblockInfo& found, const Frame* backward) {
    HqModeChooser chooser(p, dsp::Best(), quantiser);
    chooser.StartPicture(type, 2, 2, &older, backward, 8);
    chooser.StartSlice();
    MacroblockInfo mb = found;
    MacroblockPrediction pred;
    alignas(16) int16_t coef[6][64];
    chooser.Choose(current, 16, 16, false, false, mb, pred, coef);
    return mb;
  }
  VideoParams p = test::ParamsFor(64, 64, 10);
  FastQuantiser quantiser{p.intraMatrix, p.nonIntraMatrix};
  Frame older, current;
};

TEST_F(HqModePair, PicksTheVectorThatPredicts) {
  MacroblockInfo found;
  found.flags = 0;  // the preselection's guess is overruled
  found.mvForward[0] = 8;
  const MacroblockInfo mb = Choose(kPictureP, found, nullptr);
  EXPECT_EQ(mb.flags, kMbForward);
  EXPECT_EQ(mb.mvForward[0], 8);
}

TEST_F(HqModePair, StillContentStaysUnmoved) {
  current = older;
  MacroblockInfo found;
  found.flags = kMbForward;
  found.mvForward[0] = 2;
  const MacroblockInfo mb = Choose(kPictureP, found, nullptr);
  EXPECT_EQ(mb.flags, 0);
  EXPECT_EQ(mb.mvForward[0], 0);
}

TEST_F(HqModePair, BPicturesKeepOnlyTheUsedDirection) {
  Frame unrelated;
  unrelated.Allocate(64, 64);
  MacroblockInfo found;
  found.flags = kMbForward | kMbBackward;
  found.mvForward[0] = 8;
  found.mvBackward[1] = 6;
  const MacroblockInfo mb = Choose(kPictureB, found, &unrelated);
  EXPECT_EQ(mb.flags, kMbForward);
  EXPECT_EQ(mb.mvBackward[1], 0);
}

TEST_F(HqModePair, VectorsBeyondTheFcodeAreNoCandidate) {
  MacroblockInfo found;
  found.flags = kMbForward;
  found.mvForward[0] = 40;  // f_code 2 reaches 31
  const MacroblockInfo mb = Choose(kPictureP, found, nullptr);
  EXPECT_FALSE(mb.flags & kMbForward);
}

}  // namespace
}  // namespace zr::mpeg

namespace zr::mpeg {
namespace {

// A lone high-frequency +-1 costs more than it buys; a large level that barely moves the
// error stays; lowering a level must keep the block decodable (the chain of runs).
TEST(HqRdQuantise, DropsWhatCostsMoreThanItBuys) {
  alignas(16) int16_t coef[64] = {}, levels[64] = {};
  uint8_t w[64];
  std::fill(w, w + 64, uint8_t(16));
  const int mquant = 8;
  coef[kZigZag[0]] = 60;   // level 7 at step 8
  coef[kZigZag[40]] = 9;   // level 1, far out in the scan
  ASSERT_TRUE(QuantNonIntra(coef, levels, w, mquant));
  ASSERT_EQ(levels[kZigZag[40]], 1);
  EXPECT_TRUE(RdQuantiseBlock(false, coef, levels, w, mquant, RdLambda(mquant)));
  EXPECT_EQ(levels[kZigZag[40]], 0);
  EXPECT_EQ(levels[kZigZag[0]], 7);
  // Nothing worth its bits: the block empties.
  std::fill(levels, levels + 64, int16_t(0));
  levels[kZigZag[40]] = 1;
  coef[kZigZag[0]] = 0;
  EXPECT_FALSE(RdQuantiseBlock(false, coef, levels, w, mquant, RdLambda(mquant)));
}

TEST(HqRdQuantise, PairBitsMatchTheBlockCount) {
  alignas(16) int16_t levels[64] = {};
  levels[kZigZag[0]] = 1;
  levels[kZigZag[3]] = -2;
  levels[kZigZag[50]] = 300;
  EXPECT_EQ(RunLevelBits(false, levels), PairBits(0, 1, true) + PairBits(2, 2, false) +
                                             PairBits(46, 300, false));
}

}  // namespace
}  // namespace zr::mpeg
