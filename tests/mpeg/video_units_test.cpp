// The pieces of the video encoder whose faults a decoder cannot point at: code tables,
// quantiser rounding, parameters, coding order, rate-control arithmetic, motion search.
#include <gtest/gtest.h>

#include <algorithm>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "mpeg/dsp/dsp.h"
#include "mpeg/dsp/bitwriter.h"
#include "mpeg/video/encoder.h"
#include "mpeg/video/motion.h"
#include "mpeg/video/params.h"
#include "mpeg/video/macroblock.h"
#include "mpeg/video/picture.h"
#include "mpeg/video/quant.h"
#include "mpeg/video/ratectl.h"
#include "mpeg/video/vlc.h"
#include "support/fake_host.h"
#include "video_support.h"

namespace zr::mpeg {
namespace {

std::string Bits(const Vlc& v) {
  std::string s;
  for (int i = v.len - 1; i >= 0; --i) s += (v.bits >> i) & 1 ? '1' : '0';
  return s;
}

// A code table as symbol -> bit string, checked for being prefix-free, for how much of the
// code space it leaves unused, and for decoding back through a plain bit-by-bit reader.
void CheckTable(const std::map<int, std::string>& table, double unused, const char* name) {
  double kraft = 0;
  for (const auto& [sym, code] : table) {
    ASSERT_FALSE(code.empty()) << name << " " << sym;
    kraft += std::ldexp(1.0, -int(code.size()));
    for (const auto& [other, code2] : table) {
      if (other != sym) {
        ASSERT_NE(code2.compare(0, code.size(), code), 0) << name << ": " << sym << " prefixes " << other;
      }
    }
  }
  EXPECT_DOUBLE_EQ(1.0 - kraft, unused) << name;

  std::mt19937 rng(3);
  std::vector<int> symbols;
  for (const auto& entry : table) symbols.push_back(entry.first);
  std::vector<int> sent;
  BitWriter w;
  for (int i = 0; i < 2000; ++i) {
    int sym = symbols[rng() % symbols.size()];
    sent.push_back(sym);
    for (char c : table.at(sym)) w.PutBits(c == '1', 1);
  }
  w.AlignBits();
  std::string stream;
  for (uint8_t byte : w.bytes())
    for (int b = 7; b >= 0; --b) stream += (byte >> b) & 1 ? '1' : '0';
  size_t pos = 0;
  for (int expected : sent) {
    int found = -1;
    for (const auto& [sym, code] : table)
      if (stream.compare(pos, code.size(), code) == 0) {
        found = sym;
        pos += code.size();
        break;
      }
    ASSERT_EQ(found, expected) << name;
  }
}

TEST(VlcTables, EveryCodeDecodesBackAndTheCodeSpaceIsAsPublished) {
  std::map<int, std::string> mba, cbp, motion, lum, chrom, coef;
  for (int i = 1; i <= 33; ++i) mba[i] = Bits(AddressIncrementCode(i));
  mba[34] = Bits(kMacroblockEscape);
  mba[35] = "00000001111";  // stuffing, part of the code space
  // Unused: 0000 0000, 0000 0010 and six of the eight 0000 0001 xxx codes.
  CheckTable(mba, 11.0 / 1024, "address increment");

  for (int i = 1; i < 64; ++i) cbp[i] = Bits(CodedBlockPatternCode(i));
  CheckTable(cbp, 1.0 / 256, "coded block pattern");  // 0000 0000 x: pattern 0 and forbidden

  motion[0] = Bits(MotionCode(0));
  for (int m = 1; m <= 16; ++m) {
    motion[m] = Bits(MotionCode(m)) + "0";
    motion[-m] = Bits(MotionCode(m)) + "1";
  }
  CheckTable(motion, 3.0 / 256, "motion code");
  EXPECT_EQ(motion[-16], "00000011001");
  EXPECT_EQ(motion[5], "00001010");

  for (int s = 0; s <= 8; ++s) {
    lum[s] = Bits(DcSizeCode(true, s));
    chrom[s] = Bits(DcSizeCode(false, s));
  }
  CheckTable(lum, 1.0 / 128, "dc size luminance");
  CheckTable(chrom, 1.0 / 256, "dc size chrominance");

  for (int run = 0; run < 32; ++run)
    for (int level = 1; level <= 40; ++level) {
      Vlc v = CoefficientCode(run, level);
      if (!v.len) continue;
      coef[run * 100 + level] = Bits(v) + "0";
      coef[-(run * 100 + level)] = Bits(v) + "1";
    }
  EXPECT_EQ(coef.size(), 2u * 111);
  coef[9999] = Bits(kEndOfBlock);
  coef[9998] = Bits(kCoefficientEscape);
  // Only codes starting with twelve zeros stay unused (they would look like start codes).
  CheckTable(coef, 1.0 / 4096, "dct coefficients");
}

TEST(VlcTables, MacroblockTypesPerPictureType) {
  EXPECT_EQ(Bits(MacroblockTypeCode(kPictureI, kMbIntra)), "1");
  EXPECT_EQ(Bits(MacroblockTypeCode(kPictureI, kMbIntra | kMbQuant)), "01");
  EXPECT_EQ(Bits(MacroblockTypeCode(kPictureP, kMbForward | kMbPattern)), "1");
  EXPECT_EQ(Bits(MacroblockTypeCode(kPictureP, kMbPattern)), "01");
  EXPECT_EQ(Bits(MacroblockTypeCode(kPictureP, kMbForward)), "001");
  EXPECT_EQ(Bits(MacroblockTypeCode(kPictureB, kMbForward | kMbBackward)), "10");
  EXPECT_EQ(Bits(MacroblockTypeCode(kPictureB, kMbBackward | kMbPattern | kMbQuant)), "000010");
  // Combinations the syntax has no code for.
  EXPECT_EQ(MacroblockTypeCode(kPictureP, kMbBackward).len, 0);
  EXPECT_EQ(MacroblockTypeCode(kPictureB, kMbQuant | kMbForward).len, 0);
  EXPECT_EQ(MacroblockTypeCode(kPictureI, kMbPattern).len, 0);
}

// Bits written by one call of the picture coder's pieces.
class LayerBits : public ::testing::Test {
 protected:
  LayerBits() : coder_(out_, log_) {}
  std::string Written() {
    std::string s;
    int64_t n = out_.BitCount();
    out_.AlignBits();
    for (uint8_t byte : out_.bytes())
      for (int b = 7; b >= 0; --b) s += (byte >> b) & 1 ? '1' : '0';
    return s.substr(0, size_t(n));
  }
  BitWriter out_;
  RecordingLog log_;
  MacroblockWriter coder_;
};

TEST_F(LayerBits, EscapedLevelsUseTheLongFormsBeyond127) {
  coder_.PutRunLevel(3, 200);
  EXPECT_EQ(Written(), "000001" "000011" "00000000" "11001000");
}

TEST_F(LayerBits, EscapedNegativeLevelBeyond127) {
  coder_.PutRunLevel(0, -200);
  EXPECT_EQ(Written(), "000001" "000000" "10000000" "00111000");
}

TEST_F(LayerBits, TableCodeWithSignAndEscapeOfAMissingPair) {
  coder_.PutRunLevel(1, -2);   // 0001 10 + sign
  coder_.PutRunLevel(1, 19);   // run 1 has no level 19: escaped
  EXPECT_EQ(Written(), "0001101" "000001" "000001" "00010011");
}

TEST_F(LayerBits, FirstNonIntraCoefficientOfOneIsShort) {
  int16_t levels[64] = {};
  levels[0] = -1;
  levels[1] = 1;  // scan position 1, run 0: the ordinary "11s"
  coder_.PutNonIntraBlock(levels);
  EXPECT_EQ(Written(), "11" "110" "10");
}

TEST_F(LayerBits, IntraDcIsCodedAgainstItsPredictor) {
  int16_t levels[64] = {};
  levels[0] = 5;  // 5 - 0: size 3, "101" then 101
  coder_.PutIntraBlock(levels, 0);
  levels[0] = 2;  // 2 - 5 = -3: size 2, "01" then -3 + 3 = 00
  coder_.PutIntraBlock(levels, 0);
  levels[0] = 0;  // chrominance predictor is its own: size 0 "00"
  coder_.PutIntraBlock(levels, 1);
  EXPECT_EQ(Written(), "101101" "10" "0100" "10" "00" "10");
}

TEST_F(LayerBits, MotionVectorsWrapAndCarryResiduals) {
  int pred = 0;
  coder_.PutMotionComponent(5, pred, 2);  // f = 2: t = 5 + 1 = 6, code 3, residual 0
  EXPECT_EQ(pred, 5);
  coder_.PutMotionComponent(-26, pred, 2);  // delta -31: t = 32, code -16, residual 0
  coder_.PutMotionComponent(31, pred, 2);   // delta 57 wraps to -7: code -4, residual 0
  coder_.PutMotionComponent(32, pred, 2);   // delta 1: t = 2, code 1, residual 0
  coder_.PutMotionComponent(34, pred, 2);   // delta 2: t = 3, code 1, residual 1
  EXPECT_EQ(Written(), "0001" "0" "0" "0000001100" "1" "0" "000011" "1" "0" "01" "0" "0" "01" "0" "1");
  EXPECT_TRUE(log_.lines.empty());
  pred = 0;
  coder_.PutMotionComponent(60, pred, 1);  // beyond the f_code 1 range even after wrapping
  ASSERT_EQ(log_.lines.size(), 1u);
  EXPECT_EQ(log_.lines[0], "Motion vector out of range");
}

TEST(Quantiser, IntraRoundingAndTheDcLeftOutOfOddification) {
  int16_t coef[64] = {}, level[64], back[64];
  const uint8_t* W = kDefaultIntraMatrix;
  coef[0] = 100;   // 12.5 rounds away from zero
  coef[1] = -100;  // W 16: (3200 + 8) / 16 = 200; (200 + (3*10+2)/4) / 20 = 10
  coef[8] = 9;     // (288 + 8) / 16 = 18; (18 + 8) / 20 = 1
  QuantIntra(coef, level, W, 10);
  EXPECT_EQ(level[0], 13);
  EXPECT_EQ(level[1], -10);
  EXPECT_EQ(level[8], 1);
  coef[0] = -100;
  QuantIntra(coef, level, W, 10);
  EXPECT_EQ(level[0], -13);
  IquantIntra(level, back, W, 10);
  EXPECT_EQ(back[0], -104);  // dc * 8 stays even, as in every decoder
  EXPECT_EQ(back[1], -99);   // -10 * 16 * 10 / 16 = -100, even: one step toward zero
  EXPECT_EQ(back[8], 9);     // 1 * 16 * 10 / 16 = 10 -> 9
}

TEST(Quantiser, NonIntraTruncatesSaturatesAndOddifies) {
  int16_t coef[64] = {}, level[64], back[64];
  uint8_t flat[64];
  std::fill(flat, flat + 64, uint8_t(16));
  coef[0] = 39;      // (1248 + 8) / 16 = 78; 78 / 40 = 1
  coef[5] = -41;     // 82 / 40 = 2
  coef[9] = 2047;    // 4094 / 4 = 1023 -> 255 at mquant 2
  EXPECT_TRUE(QuantNonIntra(coef, level, flat, 20));
  EXPECT_EQ(level[0], 1);
  EXPECT_EQ(level[5], -2);
  QuantNonIntra(coef, level, flat, 2);
  EXPECT_EQ(level[9], 255);
  int16_t small[64] = {};
  small[3] = 7;
  EXPECT_FALSE(QuantNonIntra(small, level, flat, 20));
  int16_t l[64] = {};
  l[0] = 1;
  l[1] = -2;
  l[2] = 255;
  IquantNonIntra(l, back, flat, 20);
  EXPECT_EQ(back[0], 29);    // 3 * 16 * 20 / 32 = 30 -> 29
  EXPECT_EQ(back[1], -49);   // -5 * 10 = -50 -> -49
  EXPECT_EQ(back[2], 2047);  // saturated
  EXPECT_EQ(back[3], 0);
}

TEST(Parameters, FrameRateRowsWithRepeats) {
  struct Row {
    uint32_t rate, scale;
    int code, repeat;
    bool fallback;
  } rows[] = {{10, 1, 5, 3, false},       {12, 1, 2, 2, false},     {15, 1, 5, 2, false},
              {24000, 1001, 1, 1, false}, {24, 1, 2, 1, false},     {25, 1, 3, 1, false},
              {30000, 1001, 4, 1, false}, {30, 1, 5, 1, false},     {20, 1, 1, 1, true},
              {2450, 100, 1, 1, true},    {2451, 100, 3, 1, false}, {1, 0, 1, 1, true},
              {951, 100, 5, 3, false},    {950, 100, 1, 1, true}};
  for (const Row& r : rows) {
    FrameRateChoice c = ChooseFrameRate(r.rate, r.scale);
    EXPECT_EQ(c.frameRateCode, r.code) << r.rate << "/" << r.scale;
    EXPECT_EQ(c.repeat, r.repeat) << r.rate << "/" << r.scale;
    EXPECT_EQ(c.fallback, r.fallback) << r.rate << "/" << r.scale;
  }
}

TEST(Parameters, FifteenFpsIsCodedAtThirtyWithEachFrameTwice) {
  RecordingLog log;
  VideoParams p = test::ParamsFor(320, 240, 100, 15, &log);
  EXPECT_EQ(p.frame_rate_code, 5);
  EXPECT_EQ(p.codedFrames, 200);
  EXPECT_EQ(p.N, 15);
  EXPECT_EQ(log.lines, (std::vector<std::string>{"Original frame rate: 15 FPS set to: 30 FPS",
                                                  "Total number of frames: 200", "Bit-rate: 1228800"}));
}

TEST(Parameters, FallbackRateAndOddSizes) {
  RecordingLog log;
  VideoParams p = test::ParamsFor(330, 241, 10, 20, &log);
  EXPECT_EQ(log.lines, (std::vector<std::string>{
                           "Error: frame rate must be 10, 12, 15, 23.976, 24, 25, 29.97, or 30 FPS",
                           "Using 23.976 FPS", "Frame rate: 23.976 FPS", "Output frame size: 336x242",
                           "Bit-rate: 1228800"}));
  EXPECT_EQ(p.horizontal_size, 336);
  EXPECT_EQ(p.vertical_size, 242);
  EXPECT_EQ(p.width, 336);
  EXPECT_EQ(p.height, 256);
  EXPECT_EQ(p.N, 12);
  EXPECT_EQ(p.codedFrames, 10);
}

TEST(Parameters, BitRateWithSoundAndTheLowLimit) {
  zr::test::FakeHost host;
  VideoSettings s;
  VideoSourceInfo info{320, 240, 25, 1, 10};
  RecordingLog log;
  VideoParams p;
  ASSERT_TRUE(SetVideoParameters(info, s, log, p));
  EXPECT_EQ(p.bit_rate, 1064960.0);
  EXPECT_EQ(std::ceil(p.bit_rate / 400), 2663);
  EXPECT_FALSE(p.constrained_parameters_flag);  // vbv_buffer_size 512 > 20
  EXPECT_TRUE(host.messages.empty());
  s.totalDataRate = 30;  // 245760 - 131072 - 32768 = 81920: not above the minimum
  log.lines.clear();
  EXPECT_FALSE(SetVideoParameters(info, s, log, p));
  EXPECT_EQ(log.lines.back(), "Error: bit-rate too low (minimum:  81920)");
  s = VideoSettings{};
  s.vbvBufferSize = 20;
  s.noAudio = true;
  ASSERT_TRUE(SetVideoParameters(info, s, log, p));
  EXPECT_TRUE(p.constrained_parameters_flag);  // 300 macroblocks x 25, small buffer
  s.vbvBufferSize = 1024;
  log.lines.clear();
  ASSERT_TRUE(SetVideoParameters(info, s, log, p));
  // Reported to the conversion's own sink (no host of the process), and encoding goes on.
  auto told = std::find(log.lines.begin(), log.lines.end(),
                        "vbv_buffer_size must be less than 1024 (MPEG-1)");
  ASSERT_NE(told, log.lines.end());
  ASSERT_NE(told + 1, log.lines.end());
  EXPECT_EQ(*(told + 1), "Error recovery failed: please restart the program");
  EXPECT_TRUE(host.messages.empty());
}

TEST(Parameters, SizesThatRoundBeyond4095AreRefused) {
  EXPECT_FALSE(FrameTooBig(4080, 4094));
  EXPECT_TRUE(FrameTooBig(4081, 100));  // 4096 wide once rounded to 16
  EXPECT_TRUE(FrameTooBig(100, 4095));  // 4096 high once rounded to even
  EXPECT_TRUE(FrameTooBig(4096, 16));
  RecordingLog log;
  VideoSettings s;
  VideoParams p;
  EXPECT_FALSE(SetVideoParameters({4090, 64, 25, 1, 1}, s, log, p));
  EXPECT_EQ(log.lines.back(), "Error: frame is too big (4090x64 pixels)");
}

std::string Order(int nframes, int N) {
  std::string s;
  for (int i = 0; i < nframes; ++i) {
    CodingStep c = PlanPicture(i, nframes, N, 3);
    s += std::string(1, " IPB"[c.type]) + std::to_string(c.displayIndex) + " ";
  }
  return s;
}

TEST(CodingOrder, PictureTypesAndDisplayIndexes) {
  EXPECT_EQ(Order(20, 12), "I0 P3 B1 B2 P6 B4 B5 P9 B7 B8 I12 B10 B11 P15 B13 B14 P18 B16 B17 P19 ");
  EXPECT_EQ(Order(1, 12), "I0 ");
  EXPECT_EQ(Order(2, 12), "I0 P1 ");
  EXPECT_EQ(Order(21, 15), "I0 P3 B1 B2 P6 B4 B5 P9 B7 B8 P12 B10 B11 I15 B13 B14 P18 B16 B17 P20 B19 ");
  CodingStep i12 = PlanPicture(10, 20, 12, 3);
  EXPECT_TRUE(i12.startsGop);
  EXPECT_EQ(i12.displayIndex - i12.gopStart, 2);  // temporal_reference
  EXPECT_EQ(PlanPicture(2, 20, 12, 3).motionRecord, 1);
  EXPECT_EQ(PlanPicture(3, 20, 12, 3).motionRecord, 2);
  int n, np, nb;
  GopCounts(0, 20, 12, 3, n, np, nb);
  EXPECT_EQ((std::vector<int>{n, np, nb}), (std::vector<int>{10, 3, 6}));
  GopCounts(10, 20, 12, 3, n, np, nb);
  EXPECT_EQ((std::vector<int>{n, np, nb}), (std::vector<int>{10, 3, 6}));
  GopCounts(13, 28, 15, 3, n, np, nb);
  EXPECT_EQ((std::vector<int>{n, np, nb}), (std::vector<int>{15, 4, 10}));
}

TEST(CodingOrder, TimeCodes) {
  EXPECT_EQ(TimeCode(0, 25), 1u << 12);
  // 3723 s + 5 pictures at 30000/1001 (rounded to 30 per second).
  EXPECT_EQ(TimeCode(3723 * 30 + 5, 30000.0 / 1001), (1u << 19) | (2u << 13) | (1u << 12) | (3u << 6) | 5u);
}

TEST(RateControl, BudgetArithmeticAtTheSoundRate) {
  RateControl rc;
  rc.InitSequence(1064960, 25, 300, 512);
  EXPECT_EQ(rc.r(), 85197);
  EXPECT_EQ(rc.Xi(), 1481683);
  EXPECT_EQ(rc.Xp(), 555631);
  EXPECT_EQ(rc.Xb(), 388942);
  EXPECT_EQ(rc.d0i(), 27483);
  EXPECT_EQ(rc.d0b(), 38476);
  rc.InitGop(3, 6);
  EXPECT_EQ(rc.R(), 425984);
  std::vector<double> act(300, 400.0);
  rc.InitPicture(kPictureI, act, 0);
  EXPECT_EQ(rc.T(), int64_t(std::floor(425984 / (1 + 3 * 555631.0 / 1481683 + 6 * 388942 / (1481683 * 1.4)) + 0.5)));
  EXPECT_EQ(rc.StartMacroblocks(), 20);
  // The first vbv_delay: 7/8 of the buffer takes 620307.7 ticks, clamped to 65535.
  EXPECT_EQ(rc.CalcVbvDelay(kPictureI, 32), 65535);
  EXPECT_EQ(rc.overflowCount(), 1);
  EXPECT_EQ(rc.underflowCount(), 0);
}

TEST(RateControl, MinimumTargetAndQuantiserHysteresis) {
  RateControl rc;
  rc.InitSequence(1064960, 25, 4, 512);
  rc.InitGop(0, 0);
  std::vector<double> act(4, 400.0);
  rc.InitPicture(kPictureB, act, 0);  // no B pictures left: the minimum target
  EXPECT_EQ(rc.T(), 5325);
  int first = rc.StartMacroblocks();
  EXPECT_EQ(first, 2 * int(std::floor(38476 * 31.0 / 85197 + 0.5)));  // 28
  // Spending bits pushes the buffer up; within 4 of 28 the quantiser holds.
  EXPECT_EQ(rc.MacroblockQuant(0, 2000), 28);    // 30 computed
  EXPECT_GT(rc.MacroblockQuant(1, 200000), 40);  // far above: moves
  RateControl low;
  low.InitSequence(1064960, 25, 4, 512);
  low.InitGop(0, 0);
  low.InitPicture(kPictureB, act, 0);
  low.StartMacroblocks();
  EXPECT_EQ(low.MacroblockQuant(0, 0), 28);
  // Below 8 the hysteresis stops: 8 is followed by 6.
  EXPECT_EQ(low.MacroblockQuant(1, -26427), 8);
  EXPECT_EQ(low.MacroblockQuant(2, -27294), 6);
}

TEST(RateControl, ActivityIsOnePlusTheSmallestBlockVariance) {
  std::vector<uint8_t> mb(16 * 16, 100);
  for (int y = 8; y < 16; ++y)
    for (int x = 0; x < 16; ++x) mb[size_t(y) * 16 + x] = uint8_t((x + y) % 2 ? 0 : 200);
  EXPECT_DOUBLE_EQ(MacroblockActivity(mb.data(), 16), 1.0);  // the flat top blocks
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) mb[size_t(y) * 16 + x] = uint8_t((x + y) % 2 ? 0 : 200);
  EXPECT_DOUBLE_EQ(MacroblockActivity(mb.data(), 16), 1.0 + 10000.0);
}

// A picture with one bright square, and a copy shifted by (dx, dy).
Frame Square(int w, int h, int sx, int sy) {
  Frame f;
  f.Allocate(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) f.y[size_t(y) * w + x] = uint8_t(40 + (x * 7 + y * 3) % 23);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) {
      int X = sx + x, Y = sy + y;
      if (X >= 0 && X < w && Y >= 0 && Y < h) f.y[size_t(Y) * w + X] = uint8_t(200 + x + 3 * y);
    }
  return f;
}

TEST(MotionSearch, FindsShiftsAndStaysInsideThePicture) {
  const dsp::Functions& d = dsp::Reference();
  Frame ref = Square(64, 64, 26, 22);
  Frame cur = Square(64, 64, 20, 20);  // content moved by (-6, -2): the match is at +6, +2
  SearchResult r = FullSearch(d, ref.y.data(), ref.y.data(), cur.y.data() + 16 * 64 + 16, 16, 16,
                              11, 11, 64, 64);
  EXPECT_EQ(r.x2, 2 * 22);
  EXPECT_EQ(r.y2, 2 * 18);
  // Top-left macroblock: only non-negative offsets; bottom-right: only non-positive.
  Frame far = Square(64, 64, 0, 0);
  Frame top = Square(64, 64, 5, 5);
  r = FullSearch(d, far.y.data(), far.y.data(), top.y.data(), 0, 0, 11, 11, 64, 64);
  EXPECT_GE(r.x2, 0);
  EXPECT_GE(r.y2, 0);
  Frame br = Square(64, 64, 52, 52);
  Frame brRef = Square(64, 64, 60, 60);  // would need +8, +8: outside
  r = FullSearch(d, brRef.y.data(), brRef.y.data(), br.y.data() + 48 * 64 + 48, 48, 48, 11, 11, 64, 64);
  EXPECT_LE(r.x2, 2 * 48);
  EXPECT_LE(r.y2, 2 * 48);
}

TEST(MotionSearch, SimdAndReferenceGiveTheSameDecisions) {
  test::MovingPattern pattern(96, 64);
  RecordingLog log;
  Frame a, b, c;
  a.Allocate(96, 64);
  b.Allocate(96, 64);
  c.Allocate(96, 64);
  pattern.ReadPicture(0, 1, a, log);
  pattern.ReadPicture(2, 1, b, log);
  pattern.ReadPicture(1, 1, c, log);
  for (int type : {kPictureP, kPictureB}) {
    MotionInput in;
    in.pictureType = type;
    in.current = type == kPictureP ? &b : &c;
    in.olderSource = in.olderRecon = &a;
    in.newerSource = in.newerRecon = &b;
    in.record = test::ParamsFor(96, 64, 3).motion[type == kPictureP ? 0 : 1];
    std::vector<MacroblockInfo> x(24), y(24);
    EstimateMotionRows(dsp::Reference(), in, 0, 4, x.data());
    EstimateMotionRows(dsp::Best(), in, 0, 4, y.data());
    for (int k = 0; k < 24; ++k) {
      EXPECT_EQ(x[size_t(k)].flags, y[size_t(k)].flags) << k;
      EXPECT_EQ(x[size_t(k)].mvForward[0], y[size_t(k)].mvForward[0]) << k;
      EXPECT_EQ(x[size_t(k)].mvForward[1], y[size_t(k)].mvForward[1]) << k;
      EXPECT_EQ(x[size_t(k)].mvBackward[0], y[size_t(k)].mvBackward[0]) << k;
      EXPECT_EQ(x[size_t(k)].decision, y[size_t(k)].decision) << k;
    }
  }
}

TEST(ModeDecision, FlatErrorsAreNeverIntraAndEqualBFavoursForward) {
  Frame flat;
  flat.Allocate(32, 32);
  std::fill(flat.y.begin(), flat.y.end(), uint8_t(90));
  Frame cur = flat;
  for (size_t i = 0; i < cur.y.size(); ++i) cur.y[i] = uint8_t(90 + (i % 3));  // error < 2304
  MotionInput in;
  in.pictureType = kPictureB;
  in.current = &cur;
  in.olderSource = in.olderRecon = &flat;
  in.newerSource = in.newerRecon = &flat;
  in.record = test::ParamsFor(32, 32, 3).motion[1];
  std::vector<MacroblockInfo> mbs(4);
  EstimateMotionRows(dsp::Best(), in, 0, 2, mbs.data());
  for (const MacroblockInfo& mb : mbs) EXPECT_EQ(mb.flags, kMbForward);
  in.pictureType = kPictureP;
  in.record = test::ParamsFor(32, 32, 3).motion[0];
  EstimateMotionRows(dsp::Best(), in, 0, 2, mbs.data());
  for (const MacroblockInfo& mb : mbs) EXPECT_EQ(mb.flags, 0);  // zero vector, no MC
}

}  // namespace
}  // namespace zr::mpeg
