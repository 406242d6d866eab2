#include <gtest/gtest.h>

#include <array>

#include "format_test_util.h"
#include "image/formats.h"

namespace zr::test {
namespace {

// Codes are written the way our decoder reads them: least significant bit first, the code
// size growing when the decoder's next slot reaches a power of two.
class CodeWriter {
 public:
  explicit CodeWriter(int minimum) : minimum_(minimum) { Reset(); }
  void Reset() {
    size_ = minimum_ + 1;
    next_ = (1 << minimum_) + 2;
    first_ = true;
  }
  // `addsEntry`: false for the first code after a clear, which the decoder does not store.
  void Put(int code, bool addsEntry = true) {
    acc_ |= uint32_t(code) << bits_;
    bits_ += size_;
    while (bits_ >= 8) {
      bytes.push_back(uint8_t(acc_));
      acc_ >>= 8;
      bits_ -= 8;
    }
    if (addsEntry && !first_ && next_ < 4096) {
      ++next_;
      if ((next_ & ((1 << size_) - 1)) == 0 && next_ < 4096) ++size_;
    }
    first_ = false;
  }
  void Clear() {
    Put(1 << minimum_, false);
    Reset();
  }
  void Finish() {
    Put((1 << minimum_) + 1, false);
    if (bits_ > 0) bytes.push_back(uint8_t(acc_));
    bits_ = 0;
  }
  int next() const { return next_; }
  std::vector<uint8_t> bytes;

 private:
  int minimum_, size_ = 0, next_ = 0;
  bool first_ = true;
  uint32_t acc_ = 0;
  int bits_ = 0;
};

// Plain LZW over `pixels`. With resetWhenFull off, a full table keeps being used with
// 12-bit codes and no clear code follows.
std::vector<uint8_t> Lzw(const std::vector<uint8_t>& pixels, int minimum, bool resetWhenFull) {
  CodeWriter w(minimum);
  const int clear = 1 << minimum;
  std::vector<std::array<int, 256>> dict;
  auto resetDict = [&] {
    dict.assign(4096, {});
    for (auto& d : dict) d.fill(-1);
  };
  resetDict();
  int next = clear + 2;
  w.Clear();
  int current = -1;
  for (uint8_t p : pixels) {
    if (current < 0) {
      current = p;
      continue;
    }
    if (dict[size_t(current)][p] >= 0) {
      current = dict[size_t(current)][p];
      continue;
    }
    w.Put(current);
    if (next < 4096) {
      dict[size_t(current)][p] = next++;
    } else if (resetWhenFull) {
      w.Clear();
      resetDict();
      next = clear + 2;
    }
    current = p;
  }
  if (current >= 0) w.Put(current);
  w.Finish();
  return w.bytes;
}

std::vector<uint8_t> SubBlocks(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < data.size(); i += 255) {
    size_t n = std::min<size_t>(255, data.size() - i);
    out.push_back(uint8_t(n));
    out.insert(out.end(), data.begin() + long(i), data.begin() + long(i + n));
  }
  out.push_back(0);
  return out;
}

struct GifSpec {
  const char* version = "GIF89a";
  int width = 4, height = 4;
  int globalSize = 1;  // size field s: 2^(s+1) entries; -1 for no global table
  int localSize = -1;
  bool interlaced = false;
  int transparentIndex = -1;
  int minimum = 2;
  std::vector<uint8_t> codeBytes;   // LZW data without sub-block framing
  std::vector<uint8_t> extraImage;  // a further image descriptor + data, for animations
};

void PutWord(std::vector<uint8_t>& v, int w) {
  v.push_back(uint8_t(w));
  v.push_back(uint8_t(w >> 8));
}

std::vector<uint8_t> Table(int size) {
  std::vector<uint8_t> t;
  for (int i = 0; i < (2 << size); ++i)
    t.insert(t.end(), {uint8_t(i * 40), uint8_t(255 - i), uint8_t(i * 3)});
  return t;
}

std::string BuildGif(const GifSpec& s) {
  std::vector<uint8_t> g(s.version, s.version + 6);
  PutWord(g, s.width);
  PutWord(g, s.height);
  g.push_back(uint8_t(s.globalSize >= 0 ? 0x80 | s.globalSize : 0));
  g.push_back(0);
  g.push_back(0);
  if (s.globalSize >= 0) {
    auto t = Table(s.globalSize);
    g.insert(g.end(), t.begin(), t.end());
  }
  if (s.transparentIndex >= 0)
    g.insert(g.end(), {0x21, 0xF9, 4, 1, 0, 0, uint8_t(s.transparentIndex), 0});
  g.insert(g.end(), {0x21, 0xFE, 3, 'h', 'i', '!', 0});  // a comment to skip
  g.push_back(0x2C);
  PutWord(g, 0);
  PutWord(g, 0);
  PutWord(g, s.width);
  PutWord(g, s.height);
  g.push_back(uint8_t((s.localSize >= 0 ? 0x80 | s.localSize : 0) | (s.interlaced ? 0x40 : 0)));
  if (s.localSize >= 0) {
    auto t = Table(s.localSize);
    for (auto& b : t) b = uint8_t(255 - b);
    g.insert(g.end(), t.begin(), t.end());
  }
  g.push_back(uint8_t(s.minimum));
  auto blocks = SubBlocks(s.codeBytes);
  g.insert(g.end(), blocks.begin(), blocks.end());
  g.insert(g.end(), s.extraImage.begin(), s.extraImage.end());
  g.push_back(0x3B);
  return std::string(g.begin(), g.end());
}

std::vector<uint8_t> Indices(const PackedDib& dib) {
  std::vector<uint8_t> out;
  for (int y = 0; y < dib.height(); ++y) {
    const uint8_t* row = dib.rowFromTop(y);
    for (int x = 0; x < dib.width(); ++x) {
      switch (dib.bitCount()) {
        case 1:
          out.push_back((row[x / 8] >> (7 - x % 8)) & 1);
          break;
        case 4:
          out.push_back(x % 2 ? row[x / 2] & 15 : row[x / 2] >> 4);
          break;
        default:
          out.push_back(row[x]);
      }
    }
  }
  return out;
}

std::vector<uint8_t> Pattern(int count, int levels, uint32_t seed = 7) {
  std::vector<uint8_t> v(static_cast<size_t>(count));
  for (auto& p : v) {
    seed = seed * 1103515245 + 12345;
    p = uint8_t((seed >> 16) % uint32_t(levels));
  }
  return v;
}

std::optional<PackedDib> Decode(const std::string& gif, int* transparent = nullptr) {
  int t = -2;
  auto dib = ReadGif(AsSpan(gif), &t);
  if (transparent) *transparent = t;
  return dib;
}

TEST(Gif, MatchesReferenceDecodeOfPaletteFiles) {
  TempDir dir;
  RgbImage picture = TestPicture(37, 23);
  struct Case {
    const char* options;
    int bitCount;
  } cases[] = {{"-colors 2", 1},
               {"-colors 8", 4},
               {"-colors 16", 4},
               {"-colors 200", 8},
               {"-colors 256 -interlace GIF", 8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    std::string file = dir.file("p.gif");
    ASSERT_TRUE(MagickEncode(picture, c.options, file));
    auto dib = ReadGif(AsSpan(ReadBytes(file)), nullptr);
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib->bitCount(), c.bitCount);
    EXPECT_EQ(dib->numColors(), 1u << c.bitCount);
    auto ref = MagickDecode(file, dir.file("ref.ppm"));
    ASSERT_TRUE(ref);
    EXPECT_SAME_PICTURE(DibToRgb(*dib), *ref);
  }
}

TEST(Gif, LzwEdgeCasesDecodeToTheInput) {
  // "aaaa…" makes the encoder use the code it is about to define (code equal to next).
  std::vector<uint8_t> repeats(300, 3);
  // Many distinct strings fill the table; without a clear the decoder stays at 12 bits.
  std::vector<uint8_t> noisy = Pattern(120 * 120, 4);
  struct Case {
    const char* name;
    std::vector<uint8_t> pixels;
    int width;
    bool reset;
  } cases[] = {{"code equal to next", repeats, 20, true},
               {"full table without clear", noisy, 120, false},
               {"full table with clear", noisy, 120, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    GifSpec s;
    s.width = c.width;
    s.height = int(c.pixels.size()) / c.width;
    s.globalSize = 1;
    s.codeBytes = Lzw(c.pixels, 2, c.reset);
    auto dib = Decode(BuildGif(s));
    ASSERT_TRUE(dib);
    EXPECT_EQ(Indices(*dib), c.pixels);
  }
}

TEST(Gif, DepthAndTableRules) {
  struct Case {
    int globalSize, localSize, bitCount;
  } cases[] = {{0, -1, 1}, {1, -1, 4},  {2, -1, 4}, {3, -1, 4}, {4, -1, 8},
               {7, -1, 8}, {-1, -1, 1}, {0, 2, 4},  {0, 4, 8},  {7, 0, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.globalSize << "/" << c.localSize);
    GifSpec s;
    s.globalSize = c.globalSize;
    s.localSize = c.localSize;
    s.codeBytes = Lzw(std::vector<uint8_t>(16, 1), 2, true);
    auto dib = Decode(BuildGif(s));
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib->bitCount(), c.bitCount);
    ASSERT_EQ(dib->numColors(), 1u << c.bitCount);
    int stored = c.localSize >= 0 ? 2 << c.localSize : c.globalSize >= 0 ? 2 << c.globalSize : 0;
    auto table = Table(c.localSize >= 0 ? c.localSize : std::max(0, c.globalSize));
    for (uint32_t i = 0; i < dib->numColors(); ++i) {
      RgbQuad q = dib->colors()[i];
      if (int(i) < stored) {
        uint8_t r = table[3 * i], b = table[3 * i + 2];
        if (c.localSize >= 0) r = uint8_t(255 - r), b = uint8_t(255 - b);
        EXPECT_EQ(q.red, r) << i;
        EXPECT_EQ(q.blue, b) << i;
      } else if (c.globalSize >= 0 || c.localSize >= 0) {
        EXPECT_EQ(q, RgbQuad{}) << "entries past the file's table are black: " << i;
      }
    }
    if (c.globalSize < 0 && c.localSize < 0) {
      EXPECT_EQ(dib->colors()[1], (RgbQuad{255, 255, 255, 0})) << "generated ramp";
    }
  }
}

TEST(Gif, InterlacedAndVersionTwinsDecodeAlike) {
  std::vector<uint8_t> pixels = Pattern(9 * 19, 4, 3);
  GifSpec plain;
  plain.width = 9;
  plain.height = 19;
  plain.codeBytes = Lzw(pixels, 2, true);
  auto base = Decode(BuildGif(plain));
  ASSERT_TRUE(base);
  EXPECT_EQ(Indices(*base), pixels);

  GifSpec old = plain;
  old.version = "GIF87a";
  auto older = Decode(BuildGif(old));
  ASSERT_TRUE(older);
  EXPECT_EQ(older->block(), base->block());

  // The interlaced twin stores rows 0, 8, 16, then 4, 12, then 2, 6, 10, 14, 18, then odd.
  std::vector<uint8_t> interlacedOrder;
  for (int pass = 0; pass < 4; ++pass) {
    static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int y = start[pass]; y < 19; y += step[pass])
      interlacedOrder.insert(interlacedOrder.end(), pixels.begin() + y * 9,
                             pixels.begin() + y * 9 + 9);
  }
  GifSpec laced = plain;
  laced.interlaced = true;
  laced.codeBytes = Lzw(interlacedOrder, 2, true);
  auto twin = Decode(BuildGif(laced));
  ASSERT_TRUE(twin);
  EXPECT_EQ(twin->block(), base->block());
}

TEST(Gif, TransparencyAndFirstFrame) {
  GifSpec s;
  s.globalSize = 2;  // 8 colours, a 4-bit image
  s.transparentIndex = 5;
  s.codeBytes = Lzw(std::vector<uint8_t>(16, 2), 2, true);
  // A second frame with its own control extension must change nothing.
  std::vector<uint8_t> second = {0x21, 0xF9, 4, 1, 0, 0, 7, 0, 0x2C, 0, 0, 0, 0, 4, 0, 4, 0, 0, 2};
  auto frame2 = SubBlocks(Lzw(std::vector<uint8_t>(16, 1), 2, true));
  second.insert(second.end(), frame2.begin(), frame2.end());
  s.extraImage = second;
  int transparent = -2;
  auto dib = Decode(BuildGif(s), &transparent);
  ASSERT_TRUE(dib);
  EXPECT_EQ(transparent, 5);
  EXPECT_EQ(Indices(*dib), std::vector<uint8_t>(16, 2));

  GifSpec none = s;
  none.transparentIndex = -1;
  none.extraImage.clear();
  Decode(BuildGif(none), &transparent);
  EXPECT_EQ(transparent, -1);

  // An index beyond a 2-entry table names no colour of the image.
  GifSpec small = none;
  small.globalSize = 0;
  small.transparentIndex = 200;
  ASSERT_TRUE(Decode(BuildGif(small), &transparent));
  EXPECT_EQ(transparent, -1);
}

TEST(Gif, DamagedFilesGiveWhatWasDecoded) {
  EXPECT_FALSE(Decode("GIF89a"));
  EXPECT_FALSE(Decode("GIF"));
  EXPECT_FALSE(Decode("PNG89a-and-more-bytes-here"));
  GifSpec noImage;
  std::string headerOnly = BuildGif(noImage).substr(0, 13 + 12);
  EXPECT_FALSE(Decode(headerOnly + ";"));

  std::vector<uint8_t> pixels = Pattern(16 * 16, 4, 11);
  GifSpec s;
  s.width = s.height = 16;
  s.codeBytes = Lzw(pixels, 2, true);

  // A code above next stops decoding; the pixels after it stay index 0.
  GifSpec bad = s;
  bad.codeBytes.assign(s.codeBytes.begin(), s.codeBytes.begin() + 20);
  bad.codeBytes.insert(bad.codeBytes.end(), {0xFF, 0xFF, 0xFF, 0xFF});
  auto cut = Decode(BuildGif(bad));
  ASSERT_TRUE(cut);
  auto got = Indices(*cut);
  size_t agree = 0;
  while (agree < got.size() && got[agree] == pixels[agree]) ++agree;
  EXPECT_GT(agree, 10u);
  EXPECT_LT(agree, pixels.size());
  for (size_t i = agree + 16; i < got.size(); ++i) ASSERT_EQ(got[i], 0) << i;

  // Minimum code sizes the 4096-entry tables cannot hold give an image of index 0.
  for (int minimum : {12, 200}) {
    GifSpec big = s;
    big.minimum = minimum;
    auto dib = Decode(BuildGif(big));
    ASSERT_TRUE(dib);
    EXPECT_EQ(Indices(*dib), std::vector<uint8_t>(256, 0));
  }

  // A first code equal to next, before any clear, and codes that chain through entries
  // never stored: bounded, no hang.
  GifSpec odd = s;
  odd.codeBytes = {0x06, 0x36, 0xDB, 0x6D, 0xB6, 0xDB};
  ASSERT_TRUE(Decode(BuildGif(odd)));

  // Every truncation of a valid file decodes or fails cleanly.
  std::string whole = BuildGif(s);
  for (size_t n = 0; n < whole.size(); ++n) {
    auto dib = Decode(whole.substr(0, n));
    if (dib) {
      EXPECT_EQ(dib->width(), 16);
    }
  }
  // Sizes beyond the caps are refused before allocating.
  GifSpec huge = s;
  huge.width = huge.height = 65535;
  EXPECT_FALSE(Decode(BuildGif(huge)));
}

TEST(Gif, RefusalsNameTheFaultAndWhereItIs) {
  GifSpec s;
  s.width = s.height = 16;
  s.codeBytes = Lzw(Pattern(16 * 16, 4, 11), 2, true);
  GifSpec huge = s;
  huge.width = huge.height = 65535;
  // Header, 4-entry table and a comment put the image's size at byte 37.
  const std::string screen = BuildGif(s).substr(0, 13 + 12);
  struct Case {
    const char* name;
    std::string file;
    int64_t maxPixels;
    GifError error;
    int64_t at;
  } cases[] = {
      {"signature", "PNG89a-and-more-bytes-here", kMaxImagePixels, GifError::NotGif, 0},
      {"short", "GIF", kMaxImagePixels, GifError::NotGif, 0},
      {"trailer first", screen + ";", kMaxImagePixels, GifError::NoImage, 25},
      {"ends first", screen, kMaxImagePixels, GifError::NoImage, 25},
      {"caps", BuildGif(huge), kMaxImagePixels, GifError::BadSize, 37},
      {"caller's limit", BuildGif(s), 255, GifError::TooLarge, 37},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    GifFault fault;
    EXPECT_FALSE(ReadGif(AsSpan(c.file), nullptr, c.maxPixels, &fault));
    EXPECT_EQ(fault.error, c.error);
    EXPECT_EQ(fault.at, c.at);
  }
  GifFault fault;
  ReadGif(AsSpan(BuildGif(huge)), nullptr, kMaxImagePixels, &fault);
  EXPECT_EQ(FaultDetail("GIF", fault, GifErrorText),
            "GIF: image size out of range (65535 x 65535) at byte 37");
  ASSERT_TRUE(ReadGif(AsSpan(BuildGif(s)), nullptr, kMaxImagePixels, &fault));
  EXPECT_EQ(fault.error, GifError::None);
}

}  // namespace
}  // namespace zr::test
