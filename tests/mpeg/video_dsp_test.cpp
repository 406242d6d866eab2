// The SIMD twins against their references, and the transforms against their definitions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <random>
#include <vector>

#include "mpeg/audio/bitstream.h"
#include "mpeg/dsp/bitwriter.h"
#include "mpeg/dsp/dsp.h"

namespace zr::mpeg::dsp {
namespace {

struct Planes {
  static constexpr int kStride = 48;
  std::vector<uint8_t> ref, cur, other;
  explicit Planes(std::mt19937& rng, int spread) : ref(kStride * 40), cur(kStride * 40), other(kStride * 40) {
    std::uniform_int_distribution<int> base(0, 255), noise(-spread, spread);
    for (size_t i = 0; i < ref.size(); ++i) {
      int v = base(rng);
      ref[i] = uint8_t(v);
      cur[i] = uint8_t(std::clamp(v + noise(rng), 0, 255));
      other[i] = uint8_t(std::clamp(v + noise(rng), 0, 255));
    }
  }
};

TEST(DspTwins, DistortionMeasuresAgreeOnRandomBlocks) {
  const bool avx2 = CpuHasAvx2();
  std::mt19937 rng(7);
  for (int trial = 0; trial < 300; ++trial) {
    Planes p(rng, trial % 2 ? 255 : 12);
    const int s = Planes::kStride;
    const uint8_t* r = p.ref.data() + (trial % 5) * s + trial % 7;
    const uint8_t* c = p.cur.data() + 2 * s + 3;
    const uint8_t* o = p.other.data() + (trial % 3) * s + 1;
    int rows = trial % 4 == 0 ? 8 : 16;
    for (int hx = 0; hx < 2; ++hx)
      for (int hy = 0; hy < 2; ++hy) {
        EXPECT_EQ(SadHalfSse2(r, c, s, hx, hy, rows), SadHalfRef(r, c, s, hx, hy, rows));
        if (avx2) {
          EXPECT_EQ(SadHalfAvx2(r, c, s, hx, hy, rows), SadHalfRef(r, c, s, hx, hy, rows));
          EXPECT_EQ(SadHalfAvx2(r, c, s, hx, hy, 7), SadHalfRef(r, c, s, hx, hy, 7));
        }
        EXPECT_EQ(SseHalfSse2(r, c, s, hx, hy, rows), SseHalfRef(r, c, s, hx, hy, rows));
        EXPECT_EQ(SseBiSse2(r, hx, hy, o, hy, hx, c, s, rows),
                  SseBiRef(r, hx, hy, o, hy, hx, c, s, rows));
      }
    const int full = SadRef(r, c, s, rows, 1 << 20);
    EXPECT_EQ(SadSse2(r, c, s, rows, 1 << 20), full);
    if (avx2) {
      EXPECT_EQ(SadAvx2(r, c, s, rows, 1 << 20), full);
      EXPECT_EQ(SadAvx2(r, c, s, 7, 1 << 20), SadRef(r, c, s, 7, 1 << 20));
    }
    EXPECT_EQ(full, SadHalfRef(r, c, s, 0, 0, rows));
    // With a limit both stop early; the search only relies on "reached the limit or not".
    for (int limit : {1, full / 3, full, full + 1}) {
      const int a = SadRef(r, c, s, rows, limit);
      for (int b : {SadSse2(r, c, s, rows, limit), avx2 ? SadAvx2(r, c, s, rows, limit) : a}) {
        EXPECT_EQ(a >= limit, b >= limit) << limit;
        if (a < limit) {
          EXPECT_EQ(a, b);
        }
      }
    }
  }
}

TEST(DspTwins, FourSampleAverageIsExact) {
  // Samples 0,0 over 0,1: (0 + 0 + 0 + 1 + 2) >> 2 = 0, where averaging rounded pair
  // averages (as a byte-average shortcut would) gives 1.
  alignas(16) uint8_t ref[2 * 48] = {};
  alignas(16) uint8_t cur[2 * 48] = {};
  for (int i = 0; i < 17; ++i) ref[48 + i] = uint8_t(i % 2);
  EXPECT_EQ(SadHalfRef(ref, cur, 48, 1, 1, 1), 0);
  EXPECT_EQ(SadHalfSse2(ref, cur, 48, 1, 1, 1), 0);
  EXPECT_EQ(SadHalfSse2(ref, cur, 48, 0, 1, 1), 8);  // (0 + 1 + 1) >> 1 in every other column
}

TEST(DspTwins, FastTransformsAreBitIdentical) {
  if (!CpuHasAvx2() || !CpuHasSse41()) GTEST_SKIP() << "CPU without the SIMD forms";
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> pixel(-255, 255), coef(-300, 300), dc(-2048, 2047),
      sparse(0, 9);
  for (int trial = 0; trial < 3000; ++trial) {
    int16_t a[64], b[64];
    for (int i = 0; i < 64; ++i) a[i] = int16_t(pixel(rng));
    std::copy(a, a + 64, b);
    FdctRef(a);
    FdctAvx2(b);
    ASSERT_EQ(std::vector<int16_t>(a, a + 64), std::vector<int16_t>(b, b + 64)) << trial;
    // Coefficient blocks as inverse quantisation leaves them: mostly zero, some rows and
    // columns DC only, so the shortcuts are taken too.
    for (int i = 0; i < 64; ++i) a[i] = int16_t(sparse(rng) < 2 ? coef(rng) : 0);
    if (trial % 3 == 0) std::fill(a + 1, a + 64, int16_t(0));
    a[0] = int16_t(dc(rng));
    std::copy(a, a + 64, b);
    IdctRef(a);
    IdctSse41(b);
    ASSERT_EQ(std::vector<int16_t>(a, a + 64), std::vector<int16_t>(b, b + 64)) << trial;
  }
}

TEST(Transforms, ForwardDctFollowsItsDefinition) {
  // A constant block has only a DC of 8 x value; a cosine of one frequency only that term.
  int16_t block[64];
  std::fill(block, block + 64, int16_t(100));
  FdctRef(block);
  EXPECT_EQ(block[0], 800);
  for (int i = 1; i < 64; ++i) EXPECT_EQ(block[i], 0) << i;
  for (int x = 0; x < 8; ++x)
    for (int y = 0; y < 8; ++y) block[8 * y + x] = int16_t(std::lround(100 * std::cos(M_PI / 8 * 3 * (x + 0.5))));
  FdctRef(block);
  EXPECT_NEAR(block[3], 566, 2);  // 0.5 * 100 * 4 per row, sqrt(1/8) * 8 rows
  for (int i = 0; i < 64; ++i) {
    if (i != 3) {
      EXPECT_LE(std::abs(block[i]), 2) << i;  // from rounding the input
    }
  }
}

TEST(Transforms, InverseDctIsAccurateAndClips) {
  // Against a double-precision inverse: the integer form stays within one step nearly
  // everywhere, as decoders' transforms are required to.
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> coef(-256, 255);
  int worst = 0;
  long errors = 0;
  for (int trial = 0; trial < 2000; ++trial) {
    int16_t c[64];
    for (int i = 0; i < 64; ++i) c[i] = int16_t(i < 10 ? coef(rng) : 0);
    double exact[64];
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        double s = 0;
        for (int v = 0; v < 8; ++v)
          for (int u = 0; u < 8; ++u) {
            double cu = u ? 0.5 : std::sqrt(0.125), cv = v ? 0.5 : std::sqrt(0.125);
            s += cu * cv * c[8 * v + u] * std::cos(M_PI / 8 * u * (x + 0.5)) *
                 std::cos(M_PI / 8 * v * (y + 0.5));
          }
        exact[8 * y + x] = std::clamp(std::floor(s + 0.5), -256.0, 255.0);
      }
    IdctRef(c);
    for (int i = 0; i < 64; ++i) {
      int e = std::abs(c[i] - int(exact[i]));
      worst = std::max(worst, e);
      errors += e != 0;
    }
  }
  EXPECT_LE(worst, 1);
  EXPECT_LT(errors, 2000 * 64 / 20);
  int16_t big[64] = {};
  big[0] = 2047;
  IdctRef(big);
  EXPECT_EQ(big[0], 255);  // (2047 * 8 + 32) >> 6 = 256, clipped
}

TEST(ColourConversion, IntegerFormEqualsTheFloatingDefinition) {
  std::vector<uint8_t> r, g, b;
  for (int R = 0; R < 256; R += 3)
    for (int G = 0; G < 256; G += 5)
      for (int B = 0; B < 256; B += 2) {
        r.push_back(uint8_t(R));
        g.push_back(uint8_t(G));
        b.push_back(uint8_t(B));
      }
  for (uint8_t v : {uint8_t(255), uint8_t(254), uint8_t(1)}) {  // the extremes
    r.push_back(v); g.push_back(0); b.push_back(0);
    r.push_back(0); g.push_back(v); b.push_back(0);
    r.push_back(0); g.push_back(0); b.push_back(v);
  }
  int n = int(r.size());
  const size_t count = r.size();
  std::vector<uint8_t> y1(count), u1(count), v1(count), y2(count), u2(count), v2(count);
  ColourRowRef(r.data(), g.data(), b.data(), n, y1.data(), u1.data(), v1.data());
  ColourRowInt(r.data(), g.data(), b.data(), n, y2.data(), u2.data(), v2.data());
  EXPECT_EQ(y1, y2);
  EXPECT_EQ(u1, u2);
  EXPECT_EQ(v1, v2);
  // The SIMD twin at every offset, so both its body and its tail meet every colour.
  for (int offset = 0; offset < 8; ++offset) {
    const int m = n - offset;
    std::vector<uint8_t> y3(count), u3(count), v3(count);
    ColourRowSse2(r.data() + offset, g.data() + offset, b.data() + offset, m, y3.data(), u3.data(),
                  v3.data());
    for (int i = 0; i < m; ++i) {
      ASSERT_EQ(y3[size_t(i)], y1[size_t(i + offset)]) << i;
      ASSERT_EQ(u3[size_t(i)], u1[size_t(i + offset)]) << i;
      ASSERT_EQ(v3[size_t(i)], v1[size_t(i + offset)]) << i;
    }
  }
}

TEST(ColourConversion, PixelUnpackTwinsAgreeAtEveryLengthAndDepth) {
  if (!CpuHasSse41()) GTEST_SKIP() << "CPU without SSE4.1";
  std::mt19937 rng(5);
  std::vector<uint8_t> row(4 * 70);
  for (uint8_t& v : row) v = uint8_t(rng());
  for (int bytes : {3, 4})
    for (int count = 0; count <= 70; ++count) {
      // One sample past the count shows that nothing beyond it is written.
      std::vector<uint8_t> a(size_t(3) * (count + 1), 0xee), b(a);
      UnpackBgrRef(row.data(), bytes, count, &a[0], &a[size_t(count) + 1], &a[2 * (size_t(count) + 1)]);
      UnpackBgrSse41(row.data(), bytes, count, &b[0], &b[size_t(count) + 1], &b[2 * (size_t(count) + 1)]);
      ASSERT_EQ(a, b) << bytes << " bytes, " << count << " pixels";
    }
}

TEST(ColourConversion, KnownColours) {
  uint8_t y, cb, cr;
  ColourPixel(0, 0, 255, y, cb, cr);  // pure blue
  EXPECT_EQ(int(y), 28);
  EXPECT_EQ(int(cb), 255);
  EXPECT_EQ(int(cr), 107);
  ColourPixel(255, 255, 255, y, cb, cr);
  EXPECT_EQ(int(y), 255);
  EXPECT_EQ(int(cb), 128);
  EXPECT_EQ(int(cr), 128);
  ColourPixel(0, 255, 0, y, cb, cr);  // green drives both chroma sums negative
  EXPECT_EQ(int(y), 149);
  EXPECT_EQ(int(cb), 41);
  EXPECT_EQ(int(cr), 18);
}

}  // namespace
}  // namespace zr::mpeg::dsp

namespace zr::mpeg {
namespace {

std::string BitString(const std::vector<uint8_t>& bytes) {
  std::string s;
  for (uint8_t byte : bytes)
    for (int b = 7; b >= 0; --b) s += (byte >> b) & 1 ? '1' : '0';
  return s;
}

// Rate control reads the count after every macroblock, so it must be exact after every
// call, whatever the widths; a small flush size makes the file see many pieces.
TEST(BitWriter, CountIsExactAfterEveryCallAndFileBytesMatchTheModel) {
  std::mt19937 rng(5);
  std::string expected;
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  {
    BitWriter w(file, 7);
    for (int i = 0; i < 20000; ++i) {
      const int n = int(rng() % 33);
      const uint32_t value = uint32_t(rng());
      w.PutBits(value, n);
      for (int b = n - 1; b >= 0; --b) expected += (value >> b) & 1 ? '1' : '0';
      ASSERT_EQ(w.BitCount(), int64_t(expected.size())) << i;
      if (i % 997 == 0) {
        w.AlignBits();
        expected.resize((expected.size() + 7) / 8 * 8, '0');
        ASSERT_EQ(w.BitCount(), int64_t(expected.size()));
        w.AlignBits();  // already aligned: nothing
        ASSERT_EQ(w.BitCount(), int64_t(expected.size()));
      }
    }
    w.AlignBits();
    expected.resize((expected.size() + 7) / 8 * 8, '0');
    EXPECT_TRUE(w.Flush());
  }
  std::vector<uint8_t> bytes(expected.size() / 8);
  std::rewind(file);
  EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), file), bytes.size());
  std::fclose(file);
  EXPECT_EQ(BitString(bytes), expected);
}

TEST(BitWriter, AudioStreamRefusesWidthsOutsideOneTo32) {
  const std::string path = (std::filesystem::temp_directory_path() / "zr_bits_test.mp2").string();
  audio::BitstreamFile f;
  ASSERT_TRUE(f.Open(path));
  EXPECT_FALSE(f.Put(1, 0));
  EXPECT_FALSE(f.Put(1, 33));
  EXPECT_EQ(f.bitsWritten(), 0);
  EXPECT_TRUE(f.Put(0xFFFFFFFFu, 32));
  EXPECT_TRUE(f.Put(1, 1));
  EXPECT_EQ(f.bitsWritten(), 33);
  EXPECT_TRUE(f.Close());
  EXPECT_EQ(std::filesystem::file_size(path), 5u);  // the last byte padded with zeros
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace zr::mpeg
