// The shortcuts of the motion search and the quantiser against their plain forms: the
// same vector and SAD for every macroblock, the same level for every input.
#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <set>
#include <vector>

#include "mpeg/dsp/dsp.h"
#include "mpeg/video/motion.h"
#include "mpeg/video/quant.h"
#include "mpeg/video/vlc.h"

namespace zr::mpeg {
namespace {

struct Picture {
  int width, height;
  std::vector<uint8_t> pixels;
};

enum class Content { Random, Flat, Periodic, Shifted };

Picture Make(Content c, int width, int height, std::mt19937& rng, const Picture* base = nullptr) {
  Picture p{width, height, std::vector<uint8_t>(size_t(width) * height)};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t v = 0;
      switch (c) {
        case Content::Random: v = uint8_t(rng()); break;
        case Content::Flat: v = 77; break;
        // Period 4 both ways: many positions share the smallest SAD.
        case Content::Periodic: v = uint8_t(((x % 4) * 40 + (y % 4) * 17) ^ (rng() % 3)); break;
        case Content::Shifted: v = base->pixels[size_t((y + 3) % height) * width + (x + 5) % width]; break;
      }
      p.pixels[size_t(y) * width + x] = v;
    }
  return p;
}

TEST(PrunedSearch, SameVectorAndSadAsThePlainSpiralEverywhere) {
  std::mt19937 rng(11);
  // Every macroblock meets an edge or a corner of the window; the narrow pictures take
  // the groups that start early or do not fit, the wide window the unpruned path.
  struct Size { int w, h; std::vector<int> ranges; };
  for (const Size& size : {Size{96, 64, {3, 7, 11}}, Size{32, 48, {5, 15}}, Size{16, 32, {4}},
                           Size{176, 80, {40}}}) {
    const int w = size.w, h = size.h;
    struct Pair { Content ref, cur; };
    for (Pair pair : {Pair{Content::Random, Content::Random}, Pair{Content::Flat, Content::Flat},
                      Pair{Content::Periodic, Content::Periodic},
                      Pair{Content::Random, Content::Shifted}, Pair{Content::Flat, Content::Random}}) {
      Picture ref = Make(pair.ref, w, h, rng);
      Picture cur = Make(pair.cur, w, h, rng, &ref);
      BlockSums sums;
      sums.Reserve(w, h);
      sums.Compute(ref.pixels.data(), w, h);
      for (const dsp::Functions* f : {&dsp::Reference(), &dsp::Best()})
        for (int sx : size.ranges)
          for (int y = 0; y + 16 <= h; y += 16)
            for (int x = 0; x + 16 <= w; x += 16) {
              const uint8_t* c = cur.pixels.data() + y * w + x;
              const int sy = sx / 2 + 1;
              SearchResult plain = FullSearchSpiral(dsp::Reference(), ref.pixels.data(),
                                                    ref.pixels.data(), c, x, y, sx, sy, w, h);
              for (const BlockSums* s : std::initializer_list<const BlockSums*>{nullptr, &sums}) {
                SearchResult fast = FullSearch(*f, ref.pixels.data(), ref.pixels.data(), c, x, y,
                                               sx, sy, w, h, s);
                const auto where = ::testing::Message() << w << "x" << h << " content "
                                                        << int(pair.ref) << " at " << x << ","
                                                        << y << " range " << sx << " " << f->name;
                ASSERT_EQ(fast.x2, plain.x2) << where;
                ASSERT_EQ(fast.y2, plain.y2) << where;
                ASSERT_EQ(fast.sad, plain.sad) << where;
              }
            }
    }
  }
}

TEST(PrunedSearch, BlockSumsAndBoundsTwins) {
  std::mt19937 rng(4);
  const int w = 48, h = 40;
  Picture p = Make(Content::Random, w, h, rng);
  BlockSums sums;
  sums.Compute(p.pixels.data(), w, h);
  for (int y = 0; y + 8 <= h; y += 3)
    for (int x = 0; x + 8 <= w; x += 5) {
      int s = 0;
      for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 8; ++i) s += p.pixels[size_t(y + j) * w + x + i];
      ASSERT_EQ(*sums.at(x, y), s) << x << "," << y;
    }
  for (int trial = 0; trial < 200; ++trial) {
    const int quarter[4] = {int(rng() % 16321), int(rng() % 16321), int(rng() % 16321),
                            int(rng() % 16321)};
    const int y = int(rng() % (h - 15)), count = 1 + int(rng() % (w - 15));
    // The SIMD forms may write up to 15 entries past the count.
    std::vector<uint16_t> a(static_cast<size_t>(count)), b(static_cast<size_t>(count) + 15);
    auto firstCount = [&] { return std::vector<uint16_t>(b.begin(), b.begin() + count); };
    dsp::SadBoundsRef(sums.at(0, y), w, quarter, count, a.data());
    dsp::SadBoundsSse2(sums.at(0, y), w, quarter, count, b.data());
    ASSERT_EQ(a, firstCount()) << trial;
    if (dsp::CpuHasAvx2()) {
      std::fill(b.begin(), b.end(), uint16_t(0));
      dsp::SadBoundsAvx2(sums.at(0, y), w, quarter, count, b.data());
      ASSERT_EQ(a, firstCount()) << trial;
    }
  }
}

TEST(PrunedSearch, SadsOfNeighbouringPositionsTwins) {
  if (!dsp::CpuHasAvx2()) GTEST_SKIP() << "CPU without AVX2";
  std::mt19937 rng(8);
  const int w = 64, h = 32;
  // Extremes too: 0 against 255 everywhere gives the largest total, 65280.
  for (Content c : {Content::Random, Content::Periodic, Content::Flat}) {
    Picture ref = Make(c, w, h, rng), cur = Make(Content::Random, w, h, rng);
    if (c == Content::Flat) {
      std::fill(cur.pixels.begin(), cur.pixels.end(), uint8_t(255));
      std::fill(ref.pixels.begin(), ref.pixels.end(), uint8_t(0));
    }
    for (int x = 0; x + 32 <= w; x += 3)
      for (int y = 0; y + 16 <= h; y += 5) {
        uint16_t a[16], b[16];
        dsp::SadRowRef(ref.pixels.data() + y * w + x, cur.pixels.data() + 7, w, a);
        dsp::SadRowAvx2(ref.pixels.data() + y * w + x, cur.pixels.data() + 7, w, b);
        for (int p = 0; p < 16; ++p) ASSERT_EQ(a[p], b[p]) << x << "," << y << " +" << p;
      }
    if (dsp::CpuHasSse41())
      for (int count = 1; count <= 16; ++count) {
        uint16_t values[16];
        for (uint16_t& v : values) v = uint16_t(rng() % 4 ? 65000 + rng() % 536 : rng());
        ASSERT_EQ(dsp::Min16Ref(values, count), dsp::Min16Sse41(values, count)) << count;
      }
    // The nine half-pixel positions need a pixel of margin all round.
    for (int x = 1; x + 17 <= w; x += 3)
      for (int y = 1; y + 17 <= h; y += 5) {
        int a[9], b[9];
        dsp::SadHalfNineRef(ref.pixels.data() + y * w + x, cur.pixels.data() + 3, w, a);
        dsp::SadHalfNineAvx2(ref.pixels.data() + y * w + x, cur.pixels.data() + 3, w, b);
        for (int k = 0; k < 9; ++k) ASSERT_EQ(a[k], b[k]) << x << "," << y << " #" << k;
      }
  }
}

// Every 16-bit input, every mquant, every entry of both matrices: distinct entries
// stand for the positions that share them.
TEST(FastQuantiser, EqualsTheDefinitionForEveryInput) {
  uint8_t flat[64];
  for (uint8_t& w : flat) w = 16;
  FastQuantiser fast(kDefaultIntraMatrix, flat);
  std::set<int> entries(kDefaultIntraMatrix + 1, kDefaultIntraMatrix + 64);
  entries.insert(16);
  for (int mquant = 2; mquant <= 62; mquant += 2) {
    int16_t in[64], out[64], want[64];
    for (int x = -32768; x <= 32767; ++x) {
      for (int16_t& v : in) v = int16_t(x);
      fast.Intra(in, out, mquant);
      QuantIntra(in, want, kDefaultIntraMatrix, mquant);
      for (int i = 0; i < 64; ++i) {
        if (out[i] != want[i]) FAIL() << "intra x=" << x << " q=" << mquant << " i=" << i;
      }
      const bool any = fast.NonIntra(in, out, mquant);
      const bool wantAny = QuantNonIntra(in, want, flat, mquant);
      if (any != wantAny || out[0] != want[0]) FAIL() << "non-intra x=" << x << " q=" << mquant;
    }
  }
  // The non-intra path for every intra entry too, so that any matrix a caller loads holds.
  FastQuantiser other(flat, kDefaultIntraMatrix);
  for (int mquant = 2; mquant <= 62; mquant += 2)
    for (int x = -32768; x <= 32767; x += 1) {
      int16_t in[64], out[64], want[64];
      for (int16_t& v : in) v = int16_t(x);
      other.NonIntra(in, out, mquant);
      QuantNonIntra(in, want, kDefaultIntraMatrix, mquant);
      for (int i = 0; i < 64; ++i) {
        if (out[i] != want[i]) FAIL() << "x=" << x << " q=" << mquant << " i=" << i;
      }
    }
}

}  // namespace
}  // namespace zr::mpeg
