// The high-quality mode's rate-distortion choices: its bit counts against what the
// macroblock writer really emits, and the modes it picks where the answer is plain.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "mpeg/dsp/bitwriter.h"
#include "mpeg/video/hq_mode.h"
#include "mpeg/video/hq_picture.h"
#include "mpeg/video/hq_quant.h"
#include "mpeg/video/hq_ratectl.h"
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

// Macroblocks of row 1 in order, each with the vector its search found.
TEST_F(HqModePair, TheLeftNeighboursVectorIsACandidate) {
  HqModeChooser chooser(p, dsp::Best(), quantiser);
  chooser.StartPicture(kPictureP, 2, 2, &older, nullptr, 8);
  chooser.StartSlice();
  MacroblockPrediction pred;
  alignas(16) int16_t coef[6][64];
  MacroblockInfo left;
  left.flags = kMbForward;
  left.mvForward[0] = 8;
  chooser.Choose(current, 0, 16, true, false, left, pred, coef);
  ASSERT_EQ(left.mvForward[0], 8);
  // A search that strayed a pixel off: the predictor's exact match wins.
  MacroblockInfo mb;
  mb.flags = kMbForward;
  mb.mvForward[0] = 10;
  chooser.Choose(current, 16, 16, false, false, mb, pred, coef);
  EXPECT_EQ(mb.flags, kMbForward);
  EXPECT_EQ(mb.mvForward[0], 8);
  // At the right edge the same vector would read past the reference picture.
  mb = MacroblockInfo{};
  chooser.Choose(current, 32, 16, false, false, mb, pred, coef);
  ASSERT_EQ(mb.mvForward[0], 8);
  mb = MacroblockInfo{};
  chooser.Choose(current, 48, 16, false, true, mb, pred, coef);
  EXPECT_LE(2 * 48 + mb.mvForward[0], 2 * (64 - 16));
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

TEST(HqLevels, ScanMaskMatchesTheScan) {
  uint32_t seed = 5;
  for (int trial = 0; trial < 500; ++trial) {
    alignas(16) int16_t levels[64] = {};
    const int count = int(Next(seed) % 12);
    for (int n = 0; n < count; ++n)
      levels[Next(seed) % 64] = int16_t(int(Next(seed) % 601) - 300);
    levels[Next(seed) % 64] = int16_t(trial % 2 ? 255 : -256);  // saturating still non-zero
    uint64_t expected = 0;
    for (int i = 0; i < 64; ++i)
      if (levels[kZigZag[i]]) expected |= uint64_t(1) << i;
    ASSERT_EQ(ScanMask(levels), expected) << "trial " << trial;
  }
}

// The counts rate control plans with, against the quantiser's own levels at every step.
TEST(HqLevels, CurveCountsTheQuantisersLevels) {
  const VideoParams p = test::ParamsFor(64, 64, 10);
  const LevelCounter counter(p.intraMatrix, p.nonIntraMatrix);
  uint32_t seed = 11;
  for (int trial = 0; trial < 40; ++trial) {
    const bool intra = trial % 2;
    alignas(16) int16_t coef[6][64];
    for (auto& block : coef)
      for (auto& c : block) {
        const int range = Next(seed) % 10 == 0 ? 65535 : (Next(seed) % 3 ? 41 : 801);
        c = int16_t(int(Next(seed) % uint32_t(range)) - range / 2);
      }
    uint16_t curve[HqRateControl::kQuants];
    counter.Curve(intra, coef, curve);
    for (int k = 0; k < HqRateControl::kQuants; ++k) {
      int expected = 0;
      for (auto& block : coef) {
        alignas(16) int16_t levels[64];
        const int mquant = HqRateControl::Mquant(k);
        if (intra) QuantIntra(block, levels, p.intraMatrix, mquant);
        else QuantNonIntra(block, levels, p.nonIntraMatrix, mquant);
        for (int i = intra ? 1 : 0; i < 64; ++i) expected += levels[i] != 0;
      }
      ASSERT_EQ(curve[k], expected) << "trial " << trial << " index " << k;
    }
  }
}

// The estimate at the quantiser a picture was coded with gives back that picture's bits,
// however many of its counted levels the trims removed.
TEST(HqRateModel, EstimateReproducesTheLastPicture) {
  HqRateControl rc;
  const int mbs = 300;
  rc.InitSequence(1228800, 25, mbs, 20, 100);
  rc.InitGop(3, 8);
  int64_t counts[HqRateControl::kQuants];
  for (int k = 0; k < HqRateControl::kQuants; ++k) counts[k] = 40000 / (k + 1);
  int64_t nz[HqRateControl::kQuants] = {}, bits[HqRateControl::kQuants] = {};
  const int64_t start = 400000;
  for (int picture = 0; picture < 3; ++picture) {
    rc.PlanPicture(kPictureP, counts, start);
    // Index 3 only: a fifth of its counted levels survived, at 6 bits each.
    nz[3] = counts[3];
    bits[3] = counts[3] / 5 * 6;
    const int64_t coded = bits[3] + 12 * mbs;
    rc.EndPicture(start + coded, start + coded, nz, bits, 3.0);
    rc.PlanPicture(kPictureP, counts, start);
    EXPECT_NEAR(rc.Estimate(3, double(counts[3]), mbs), double(coded), 0.01 * coded);
  }
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
