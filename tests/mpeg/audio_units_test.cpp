// The encoder's building blocks against independent expectations: the reference data,
// the slow twins of the fast paths, and the decoder's view of the quantiser.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "mpeg/audio/alloc.h"
#include "mpeg/audio/audio_encoder.h"
#include "mpeg/audio/fft.h"
#include "mpeg/audio/filterbank.h"
#include "mpeg/audio/psy.h"
#include "mpeg/audio/quantise.h"
#include "mpeg/audio/tables.h"
#include "mpeg/dsp/dsp.h"
#include "platform/atomic_file.h"

namespace zr::mpeg::audio {
namespace {

const Layer2Tables& T() {
  std::string why;
  const Layer2Tables* t = BuiltInTables(&why);
  EXPECT_NE(t, nullptr) << why;
  return *t;
}

TEST(Layer2Data, WindowMatchesItsPublishedChecks) {
  const auto& w = T().window;
  EXPECT_NEAR(w[1], -0.000000477, 1e-9);
  EXPECT_NEAR(w[256], 0.035780907, 1e-9);
  double energy = 0;
  for (double c : w) energy += c * c;
  EXPECT_NEAR(energy, 0.0625, 1e-6);
  EXPECT_EQ(w[512 - 64], w[64]);  // multiples of 64 keep their sign
  EXPECT_EQ(w[512 - 65], -w[65]);
}

TEST(Layer2Data, ClassesTablesAndRatesAreComplete) {
  const Layer2Tables& t = T();
  EXPECT_EQ(t.classes[0].steps, 3);
  EXPECT_TRUE(t.classes[0].grouped);
  EXPECT_DOUBLE_EQ(t.classes[0].a, 0.75);
  EXPECT_DOUBLE_EQ(t.classes[0].b, -0.25);
  EXPECT_DOUBLE_EQ(t.classes[1].a, 0.625);
  EXPECT_DOUBLE_EQ(t.classes[2].a, 0.875);
  EXPECT_DOUBLE_EQ(t.classes[3].b, -0.4375);
  EXPECT_EQ(t.classes[16].steps, 65535);
  EXPECT_EQ(t.classes[16].bits, 16);
  EXPECT_EQ(t.classes[3].FrameBits(), 12 * 10);  // grouped: 12 codewords
  EXPECT_EQ(t.classes[2].FrameBits(), 36 * 3);   // plain: 36 codewords
  EXPECT_DOUBLE_EQ(t.snr[0], 0.0);
  EXPECT_DOUBLE_EQ(t.snr[17], 98.01);
  EXPECT_DOUBLE_EQ(t.scalefactor[0], 2.0);
  EXPECT_NEAR(t.scalefactor[3], 1.0, 1e-15);

  EXPECT_EQ(t.tableA.sblimit, 27);
  EXPECT_EQ(t.tableB.sblimit, 30);
  EXPECT_EQ(t.tableC.sblimit, 8);
  struct Row { const AllocTable* table; int sb, nbal, codes, firstSteps, lastSteps; };
  for (Row r : {Row{&t.tableA, 0, 4, 15, 3, 65535}, Row{&t.tableA, 1, 4, 15, 3, 65535},
                Row{&t.tableA, 3, 4, 15, 3, 65535}, Row{&t.tableA, 10, 4, 15, 3, 65535},
                Row{&t.tableA, 11, 3, 7, 3, 65535}, Row{&t.tableA, 22, 3, 7, 3, 65535},
                Row{&t.tableA, 26, 2, 3, 3, 65535}, Row{&t.tableB, 29, 2, 3, 3, 65535},
                Row{&t.tableB, 5, 4, 15, 3, 65535}, Row{&t.tableC, 1, 4, 15, 3, 32767},
                Row{&t.tableC, 7, 3, 7, 3, 127}}) {
    const SubbandAlloc& s = r.table->sb[r.sb];
    SCOPED_TRACE("subband " + std::to_string(r.sb));
    EXPECT_EQ(s.nbal, r.nbal);
    EXPECT_EQ(s.codes, r.codes);
    EXPECT_EQ(t.classes[s.cls[1]].steps, r.firstSteps);
    EXPECT_EQ(t.classes[s.cls[s.codes]].steps, r.lastSteps);
  }
  EXPECT_EQ(t.classes[t.tableA.sb[0].cls[2]].steps, 7);  // the low bands skip 5 steps
  EXPECT_EQ(t.classes[t.tableA.sb[3].cls[2]].steps, 5);
  EXPECT_EQ(t.tableA.sb[27].nbal, 0);
  EXPECT_EQ(t.bitrates[8], 128);
  EXPECT_EQ(t.bitrates[14], 384);
  ASSERT_EQ(t.bandEdges.size(), 27u);
  EXPECT_EQ(t.bandEdges[5], 510);
}

TEST(Layer2Data, DamagedDataIsRefusedWithAReason) {
  std::string good;
  ASSERT_TRUE(ReadWholeFile(std::string(ZR_SOURCE_DIR) + "/src/mpeg/data/layer2-tables.md", good));
  std::string win;
  ASSERT_TRUE(ReadWholeFile(std::string(ZR_SOURCE_DIR) + "/src/mpeg/data/window.txt", win));
  Layer2Tables out;
  std::string why;
  ASSERT_TRUE(ParseLayer2Tables(good, win, out, why)) << why;

  auto without = [&](const std::string& text, const std::string& cut) {
    std::string s = text;
    size_t at = s.find(cut);
    EXPECT_NE(at, std::string::npos) << cut;
    if (at != std::string::npos) s.erase(at, cut.size());
    return s;
  };
  struct Case { std::string md, win, what; };
  for (const Case& c : {
           Case{without(good, "| 7 | 127 | no | 7 |"), win, "a class row"},
           Case{without(good, "67.98,"), win, "an SNR value"},
           Case{without(good, "- subbands 11\xE2\x80\x93" "22, nbal 3: 3, 5, 7, 9, 15, 31, 65535"), win,
                "an allocation row"},
           Case{without(good, "| 3 | 111 / 2 | 111 / 2 | 111 / 2 | 333 / 2 | 113 / 1 |"), win,
                "an scfsi row"},
           Case{good, without(win, "75038"), "a window value"},
       }) {
    SCOPED_TRACE(c.what);
    why.clear();
    EXPECT_FALSE(ParseLayer2Tables(c.md, c.win, out, why));
    EXPECT_FALSE(why.empty());
  }
}

TEST(Fft, MatchesTheDirectTransform) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-30000, 30000);
  for (int n : {8, 64, 1024}) {
    std::vector<double> x(n), re(n / 2 + 1), im(n / 2 + 1), rre(n / 2 + 1), rim(n / 2 + 1);
    for (double& v : x) v = u(rng);
    RealFft fft(n);
    fft.Forward(x.data(), re.data(), im.data());
    ReferenceDft(n, x.data(), rre.data(), rim.data());
    double scale = 30000.0 * n;
    for (int k = 0; k <= n / 2; ++k) {
      ASSERT_NEAR(re[k], rre[k], 1e-11 * scale) << "n " << n << " line " << k;
      ASSERT_NEAR(im[k], rim[k], 1e-11 * scale) << "n " << n << " line " << k;
    }
  }
}

TEST(Fft, FastPassesGiveThePlainBits) {
  std::mt19937 rng(21);
  std::uniform_real_distribution<double> u(-32768, 32767);
  for (int n : {8, 16, 64, 1024}) {
    RealFft fast(n, true), plain(n, false);
    std::vector<double> x(static_cast<size_t>(n)), re[2], im[2];
    for (int w = 0; w < 2; ++w) re[w].resize(size_t(n / 2 + 1)), im[w].resize(size_t(n / 2 + 1));
    for (int trial = 0; trial < 5; ++trial) {
      for (double& v : x) v = trial == 0 ? 0.0 : u(rng);
      fast.Forward(x.data(), re[0].data(), im[0].data());
      plain.Forward(x.data(), re[1].data(), im[1].data());
      ASSERT_EQ(re[0], re[1]) << n;
      ASSERT_EQ(im[0], im[1]) << n;
    }
  }
}

TEST(FilterBank, FastPathEqualsTheTextbookAnalysisAcrossFrames) {
  const Layer2Tables& t = T();
  AnalysisFilterBank bank(t);
  std::array<double, 512> x{};
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> u(-32768, 32767);
  SubbandFrame out;
  for (int frame = 0; frame < 3; ++frame) {
    std::vector<int16_t> pcm(kFrameSamples);
    for (auto& v : pcm) v = int16_t(u(rng));
    bank.Frame(pcm.data(), out);
    for (int b = 0; b < 36; ++b) {
      double in[32], ref[32];
      for (int i = 0; i < 32; ++i) in[i] = pcm[32 * b + i] / 32768.0;
      AnalysisFilterBank::ReferenceBlock(t, x, in, ref);
      for (int k = 0; k < 32; ++k) ASSERT_NEAR(out[b][k], ref[k], 1e-12) << frame << " " << b;
    }
  }
}

TEST(FilterBank, FastBlocksGiveTheReferenceBitsAcrossFrames) {
  if (!dsp::CpuHasAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
  const Layer2Tables& t = T();
  AnalysisFilterBank fast(t, true), ref(t, false);
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> u(-32768, 32767);
  SubbandFrame a, b;
  // Random sound, then full-scale extremes (largest sums), then silence (signed zeros).
  for (int frame = 0; frame < 6; ++frame) {
    std::vector<int16_t> pcm(kFrameSamples);
    for (size_t i = 0; i < pcm.size(); ++i)
      pcm[i] = frame < 3 ? int16_t(u(rng)) : frame < 5 ? int16_t(i & 1 ? 32767 : -32768) : 0;
    fast.Frame(pcm.data(), a);
    ref.Frame(pcm.data(), b);
    for (int blk = 0; blk < 36; ++blk)
      for (int k = 0; k < kSubbands; ++k)
        ASSERT_EQ(std::memcmp(&a[blk][k], &b[blk][k], sizeof(double)), 0)
            << "frame " << frame << " block " << blk << " band " << k;
  }
}

TEST(FilterBank, BandCentreSineStaysInItsBand) {
  const Layer2Tables& t = T();
  for (int band : {0, 5, 17, 30}) {
    AnalysisFilterBank bank(t);
    const double hz = (band + 0.5) * 44100.0 / 64.0;
    std::vector<int16_t> pcm(3 * kFrameSamples);
    for (size_t n = 0; n < pcm.size(); ++n)
      pcm[n] = int16_t(std::lround(16000 * std::sin(2 * std::numbers::pi * hz * n / 44100.0)));
    SubbandFrame out;
    std::array<double, 32> energy{};
    for (int f = 0; f < 3; ++f) {
      bank.Frame(pcm.data() + f * kFrameSamples, out);
      if (f == 0) continue;  // the history is still filling
      for (auto& block : out)
        for (int k = 0; k < 32; ++k) energy[k] += block[k] * block[k];
    }
    for (int k = 0; k < 32; ++k) {
      if (k == band) continue;
      // int16 rounding of the input alone limits the separation to about 96 dB.
      EXPECT_GT(10 * std::log10(energy[band] / energy[k]), 90.0) << "band " << band << " vs " << k;
    }
  }
}

TEST(Scalefactors, SmallestFactorNotBelowThePeak) {
  const Layer2Tables& t = T();
  EXPECT_EQ(ScalefactorIndex(t, 0.0), 62);
  EXPECT_EQ(ScalefactorIndex(t, 5.0), 0);  // beyond the table: the largest
  EXPECT_EQ(ScalefactorIndex(t, 2.0), 0);
  EXPECT_EQ(ScalefactorIndex(t, 1.0), 3);  // exactly a table entry
  for (int i = 0; i < kScaleFactors; ++i) {
    double peak = t.scalefactor[i] * 0.999;
    int got = ScalefactorIndex(t, peak);
    EXPECT_GE(t.scalefactor[got], peak);
    if (got + 1 < kScaleFactors) {
      EXPECT_LT(t.scalefactor[got + 1], peak);
    }
  }
}

TEST(Scalefactors, SearchEqualsTheScanAtEveryEntryAndBetween) {
  const Layer2Tables& t = T();
  std::vector<double> peaks = {0.0, -1.0, 5.0, 2.0, std::nan(""), INFINITY, 1e-300};
  for (int i = 0; i < kScaleFactors; ++i)
    for (double f : {1.0, 0.999999, 1.000001, 0.5})
      peaks.push_back(t.scalefactor[i] * f);
  for (double peak : peaks)
    EXPECT_EQ(ScalefactorIndex(t, peak), ScalefactorIndexRef(t, peak)) << peak;
}

TEST(Scalefactors, EveryScfsiPatternSharesOnlyTheLargestFactor) {
  const Layer2Tables& t = T();
  for (int a = 0; a < kScaleFactors; ++a)
    for (int b = 0; b < kScaleFactors; ++b)
      for (int c = 0; c < kScaleFactors; ++c) {
        std::array<int, 3> idx = {a, b, c};
        ScalefactorPlan p = PlanScalefactors(t, idx);
        for (int k = 0; k < 3; ++k)
          ASSERT_LE(p.used[k], idx[k]) << a << " " << b << " " << c << " scfsi " << p.scfsi;
        switch (p.scfsi) {  // what travels must be what the parts use
          case 1: ASSERT_EQ(p.used[0], p.used[1]); break;
          case 2: ASSERT_TRUE(p.used[0] == p.used[1] && p.used[1] == p.used[2]); break;
          case 3: ASSERT_EQ(p.used[1], p.used[2]); break;
          default: break;
        }
      }
  // Examples straight from the pattern table.
  struct Ex { std::array<int, 3> idx; int scfsi; std::array<int, 3> used; };
  for (const Ex& e : {Ex{{10, 10, 10}, 2, {10, 10, 10}}, Ex{{10, 20, 30}, 0, {10, 20, 30}},
                      Ex{{10, 11, 12}, 2, {10, 10, 10}}, Ex{{12, 11, 10}, 2, {10, 10, 10}},
                      Ex{{10, 11, 9}, 2, {9, 9, 9}}, Ex{{10, 10, 20}, 2, {10, 10, 10}},
                      Ex{{10, 10, 5}, 1, {10, 10, 5}},
                      Ex{{5, 20, 21}, 3, {5, 20, 20}}, Ex{{20, 5, 6}, 3, {20, 5, 5}}}) {
    ScalefactorPlan p = PlanScalefactors(t, e.idx);
    EXPECT_EQ(p.scfsi, e.scfsi) << e.idx[0] << " " << e.idx[1] << " " << e.idx[2];
    EXPECT_EQ(p.used, e.used) << e.idx[0] << " " << e.idx[1] << " " << e.idx[2];
  }
}

TEST(Quantiser, CodesLieOnTheDecoderGridAndStayLegal) {
  const Layer2Tables& t = T();
  for (const QuantClass& cls : t.classes) {
    SCOPED_TRACE("steps " + std::to_string(cls.steps));
    const int n = cls.steps;
    int last = 0;
    for (int i = -4000; i <= 4000; ++i) {
      double x = i / 4000.0;
      int code = QuantiseSample(cls, x);
      ASSERT_GE(code, 0);
      ASSERT_LT(code, n);
      ASSERT_GE(code, last);  // monotonic
      last = code;
      // The decoder's levels are (2c - (n - 1)) / n, 2/n apart.
      double level = double(2 * code - (n - 1)) / n;
      ASSERT_LE(std::fabs(level - x), 1.0 / n + 1e-12) << x;
    }
    EXPECT_EQ(QuantiseSample(cls, 0.0), (n - 1) / 2);  // silence stays silent
    EXPECT_EQ(QuantiseSample(cls, 3.0), n - 1);         // overflow: clipped, not wrapped
    EXPECT_EQ(QuantiseSample(cls, -3.0), 0);
  }
}

TEST(Quantiser, GroupedCodewordsUnpackToTheirSamples) {
  for (int steps : {3, 5, 9}) {
    std::vector<bool> seen(size_t(steps) * steps * steps);
    for (int a = 0; a < steps; ++a)
      for (int b = 0; b < steps; ++b)
        for (int c = 0; c < steps; ++c) {
          uint32_t v = GroupCodes(steps, a, b, c);
          ASSERT_LT(v, seen.size());
          EXPECT_FALSE(seen[v]);
          seen[v] = true;
          // The decoder takes the first sample from the remainder.
          EXPECT_EQ(int(v % steps), a);
          EXPECT_EQ(int(v / steps % steps), b);
          EXPECT_EQ(int(v / steps / steps), c);
        }
  }
}

TEST(Allocation, NeverSpendsMoreThanTheFrameAndAlwaysEnds) {
  const Layer2Tables& t = T();
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-40, 60);
  for (const AllocTable* table : {&t.tableA, &t.tableB, &t.tableC}) {
    for (int channels : {1, 2}) {
      for (int frameBytes : {417, 418, 96, 1044}) {
        for (int trial = 0; trial < 20; ++trial) {
          PerBand smr;
          PerBandInt scfsi, alloc;
          for (int c = 0; c < 2; ++c)
            for (int s = 0; s < 32; ++s) {
              smr[c][s] = trial == 0 ? -160.0 : trial == 1 ? 1e6 : u(rng);  // silence, extreme
              scfsi[c][s] = int(rng() % 4);
            }
          int available = AvailableBits(*table, channels, frameBytes * 8);
          int used = AllocateBits(t, *table, channels, available, smr, scfsi, alloc);
          ASSERT_LE(used, available);
          // Recount what the stream will carry.
          int bits = 0;
          for (int s = 0; s < 32; ++s)
            for (int c = 0; c < 2; ++c) {
              int a = alloc[c][s];
              if (!a) continue;
              ASSERT_LT(s, table->sblimit);
              ASSERT_LT(c, channels);
              ASSERT_LE(a, table->sb[s].codes);
              bits += 2 + 6 * kScalefactorsSent[scfsi[c][s]] +
                      t.classes[table->sb[s].cls[a]].FrameBits();
            }
          ASSERT_EQ(bits, used);
        }
      }
    }
  }
}

// Random ratios, many ties (a few integer values), NaN and unrankable ratios: the tree
// must pick the same band as the scan at every step, so the allocations are equal.
TEST(Allocation, TreeEqualsTheScanOfEveryBand) {
  const Layer2Tables& t = T();
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(-40, 60);
  for (const AllocTable* table : {&t.tableA, &t.tableB, &t.tableC}) {
    for (int channels : {1, 2}) {
      for (int frameBytes : {96, 288, 417, 1044}) {
        for (int trial = 0; trial < 40; ++trial) {
          PerBand smr;
          PerBandInt scfsi, fast, ref;
          for (int c = 0; c < 2; ++c)
            for (int s = 0; s < 32; ++s) {
              const int kind = trial % 4;
              smr[c][s] = kind == 0 ? u(rng) : kind == 1 ? double(rng() % 3) : u(rng);
              if (kind == 2 && rng() % 8 == 0) smr[c][s] = std::nan("");
              if (kind == 3 && rng() % 8 == 0) smr[c][s] = -2e6;  // ratio beyond ranking
              scfsi[c][s] = int(rng() % 4);
            }
          const int available = AvailableBits(*table, channels, frameBytes * 8);
          const int usedFast = AllocateBits(t, *table, channels, available, smr, scfsi, fast);
          const int usedRef = AllocateBitsRef(t, *table, channels, available, smr, scfsi, ref);
          ASSERT_EQ(usedFast, usedRef);
          ASSERT_EQ(fast, ref) << "trial " << trial;
        }
      }
    }
  }
}

TEST(Allocation, PlentyOfBitsFillsEveryBandAndTiesGoToTheLowerBand) {
  const Layer2Tables& t = T();
  PerBand smr{};
  PerBandInt scfsi{}, alloc;
  AllocateBits(t, t.tableA, 2, 1 << 20, smr, scfsi, alloc);
  for (int s = 0; s < 27; ++s)
    for (int c = 0; c < 2; ++c) EXPECT_EQ(alloc[c][s], t.tableA.sb[s].codes);
  // Just enough for one step of the cheapest kind: equal ratios, so band 0 channel 0 wins.
  int oneStep = 2 + 6 * 3 + t.classes[0].FrameBits();
  AllocateBits(t, t.tableA, 2, oneStep, smr, scfsi, alloc);
  EXPECT_EQ(alloc[0][0], 1);
  int total = 0;
  for (auto& ch : alloc)
    for (int a : ch) total += a;
  EXPECT_EQ(total, 1);
}

TEST(Padding, FirstFramePaddedAndTheAverageHeld) {
  PaddingClock clock(128);
  EXPECT_EQ(clock.wholeBytes(), 417);
  int64_t bytes = 0, padded = 0;
  for (int n = 1; n <= 10000; ++n) {
    bool p = clock.Next();
    if (n == 1) {
      EXPECT_TRUE(p);
    }
    padded += p;
    bytes += 417 + p;
    // Always within a byte of the exact rate 1440 * 128 / 441 per frame.
    double exact = n * 1440.0 * 128 / 441;
    ASSERT_GT(bytes, exact - 1) << n;
    ASSERT_LT(bytes, exact + 1) << n;
  }
  EXPECT_NEAR(padded / 10000.0, 0.959, 0.001);
  PaddingClock whole(441);  // exactly 1440 bytes a frame: never padded
  for (int n = 0; n < 5; ++n) EXPECT_FALSE(whole.Next());
}

TEST(PsyModel, CriticalBandRatesFollowTheEdges) {
  const auto& e = T().bandEdges;
  EXPECT_DOUBLE_EQ(CriticalBandRate(e, 0), 0.0);
  EXPECT_DOUBLE_EQ(CriticalBandRate(e, 100), 1.0);
  EXPECT_DOUBLE_EQ(CriticalBandRate(e, 150), 1.5);
  EXPECT_DOUBLE_EQ(CriticalBandRate(e, 510), 5.0);
  EXPECT_NEAR(CriticalBandRate(e, 22050), 24 + 6550.0 / 9500, 1e-12);
}

TEST(PsyModel, AbsoluteThresholdBottomsOutAtAOneLsbSine) {
  const Layer2Tables& t = T();
  PsyTables pt(t);
  double lowest = *std::min_element(pt.absThreshold.begin(), pt.absThreshold.end());
  // A one-LSB sine centred on a line, windowed and transformed as the model does.
  int line = 77;  // ~3.3 kHz, near the bottom of the curve
  std::vector<double> x(kFftSize), re(kLines), im(kLines);
  for (int i = 0; i < kFftSize; ++i)
    x[i] = pt.hann[i] * std::sin(2 * std::numbers::pi * line * i / kFftSize);
  RealFft fft(kFftSize);
  fft.Forward(x.data(), re.data(), im.data());
  double peak = re[line] * re[line] + im[line] * im[line];
  EXPECT_NEAR(10 * std::log10(lowest / peak), 0.0, 0.05);
  // Quiet is easiest to hear at 2-5 kHz, hardest at the top.
  EXPECT_GT(pt.absThreshold[512], 1e15 * lowest);
  EXPECT_GT(pt.absThreshold[2], 100 * lowest);
  EXPECT_GT(pt.partitions, 40);
  EXPECT_LT(pt.partitions, 100);
}

TEST(PsyModel, SilenceIsFiniteAndAToneStandsOutInItsBand) {
  const Layer2Tables& t = T();
  PsyTables pt(t);
  PsyModel model(pt);
  std::vector<int16_t> silence(kFrameSamples, 0);
  double smr[32];
  model.Analyse(silence.data(), smr);
  for (double v : smr) EXPECT_TRUE(std::isfinite(v));

  PsyModel tone(pt);
  std::vector<int16_t> pcm(kFrameSamples);
  for (int f = 0; f < 4; ++f) {
    for (int n = 0; n < kFrameSamples; ++n)
      pcm[n] = int16_t(20000 * std::sin(2 * std::numbers::pi * 3000.0 * (f * kFrameSamples + n) / 44100.0));
    tone.Analyse(pcm.data(), smr);
  }
  int band = int(3000.0 / (44100.0 / 64));  // subband 4
  EXPECT_EQ(std::max_element(smr, smr + 32) - smr, band);
  EXPECT_GT(smr[band], 20.0);
  EXPECT_LT(smr[25], 0.0);
}

// Silence, full-scale noise, a steady tone and clicks, frame after frame: the fast model
// (AVX2 lines, trimmed spreading) must give the reference model's ratios bit for bit.
TEST(PsyModel, FastModelGivesTheReferenceBitsAcrossFrames) {
  PsyTables pt(T());
  PsyModel fast(pt, true), ref(pt, false);
  std::mt19937 rng(3);
  std::vector<int16_t> pcm(kFrameSamples);
  for (int f = 0; f < 24; ++f) {
    for (int n = 0; n < kFrameSamples; ++n) {
      const int kind = f / 6;
      pcm[n] = kind == 0   ? 0
               : kind == 1 ? int16_t(int(rng() % 65536) - 32768)
               : kind == 2 ? int16_t(9000 * std::sin(0.05 * (f * kFrameSamples + n)))
                           : int16_t(n % 97 == 0 ? 32767 : 0);
    }
    double a[32], b[32];
    fast.Analyse(pcm.data(), a);
    ref.Analyse(pcm.data(), b);
    ASSERT_EQ(std::memcmp(a, b, sizeof a), 0) << "frame " << f;
  }
}

TEST(PsyModel, LinePredictionTwinsAgreeOnZerosAndOddCounts) {
  if (!dsp::CpuHasAvx2()) GTEST_SKIP() << "no AVX2 here";
  std::mt19937 rng(9);
  std::uniform_real_distribution<double> u(-1e4, 1e4);
  for (int lines : {1, 3, 4, 5, 513}) {
    std::vector<double> in[5];
    for (auto& v : in) v.resize(size_t(lines));
    for (int k = 0; k < lines; ++k)
      for (auto& v : in) v[size_t(k)] = k % 5 == 0 ? 0.0 : u(rng);  // zero lines: r = 0
    std::vector<double> mag[2], cs[2], sn[2], energy[2], unpred[2];
    for (int w = 0; w < 2; ++w) {
      mag[w].assign(size_t(lines), 0.0);
      cs[w].assign(size_t(lines), 1.0);
      sn[w].assign(size_t(lines), 0.0);
      energy[w].assign(size_t(lines), 0.0);
      unpred[w].assign(size_t(lines), 0.0);
      for (int k = 1; k < lines; k += 2) mag[w][size_t(k)] = std::fabs(in[2][size_t(k)]);
      const LineSpectra sp{in[0].data(), in[1].data(), in[2].data(), in[3].data(), in[4].data(),
                           mag[w].data(), cs[w].data(), sn[w].data(), energy[w].data(),
                           unpred[w].data()};
      (w == 0 ? PredictLinesRef : PredictLinesAvx2)(sp, lines);
    }
    for (auto* v : {mag, cs, sn, energy, unpred})
      ASSERT_EQ(std::memcmp(v[0].data(), v[1].data(), sizeof(double) * size_t(lines)), 0)
          << lines << " lines";
  }
}

}  // namespace
}  // namespace zr::mpeg::audio
