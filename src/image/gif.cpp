// GIF reader: the first image of a GIF87a/89a file, one pass, fixed LZW tables.
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "image/formats.h"

namespace zr {
namespace {

constexpr int kTableSize = 4096;
constexpr uint16_t kNoCode = 4096;

// Bytes past the end read as 0; callers check atEnd() where the end matters.
class ByteReader {
 public:
  explicit ByteReader(ByteSpan data) : data_(data) {}
  bool atEnd() const { return pos_ >= data_.size(); }
  uint8_t byte() { return pos_ < data_.size() ? data_[pos_++] : (pos_++, 0); }
  uint16_t word() {
    uint16_t lo = byte();
    return uint16_t(lo | (byte() << 8));
  }
  // Up to n bytes from the current position; fewer at the end.
  ByteSpan take(size_t n) {
    size_t avail = pos_ < data_.size() ? data_.size() - pos_ : 0;
    if (n > avail) n = avail;
    ByteSpan s = data_.subspan(pos_ < data_.size() ? pos_ : data_.size(), n);
    pos_ += n;
    return s;
  }
  void skip(size_t n) { pos_ += n; }
  size_t pos() const { return pos_; }

 private:
  ByteSpan data_;
  size_t pos_ = 0;
};

struct LzwTables {
  std::array<uint16_t, kTableSize> prefix;
  std::array<uint8_t, kTableSize> suffix;
  // A string is at most one character per table entry plus the repeated first character.
  std::array<uint8_t, kTableSize + 1> stack;
};

// Decodes the image data that follows the image descriptor into `out` (zeroed, `count`
// indices wanted). Bad codes stop decoding; the rest of the sub-blocks are skipped.
void DecodeLzw(ByteReader& in, uint8_t* out, size_t count) {
  int minimum = in.byte();
  // The clear code must leave room in the 4096-entry tables: larger sizes are bad data.
  bool bad = minimum > 11;
  if (bad) minimum = 0;
  auto tables = std::make_unique<LzwTables>();
  LzwTables& t = *tables;
  const int clear = 1 << minimum;
  const int end = clear + 1;
  int next = clear + 2;
  int codeSize = minimum + 1;
  int mask = (1 << codeSize) - 1;
  int previous = kNoCode;
  uint8_t firstChar = 0;
  for (int i = 0; i < kTableSize; ++i) {
    t.prefix[i] = kNoCode;
    t.suffix[i] = uint8_t(i < clear ? i : 0);
  }
  size_t written = 0;
  uint32_t accumulator = 0;
  int bits = 0;

  while (!in.atEnd()) {
    int length = in.byte();
    if (length == 0) return;
    ByteSpan block = in.take(size_t(length));
    if (bad) continue;
    for (uint8_t b : block) {
      accumulator |= uint32_t(b) << bits;
      bits += 8;
      while (bits >= codeSize) {
        int code = int(accumulator & uint32_t(mask));
        accumulator >>= codeSize;
        bits -= codeSize;
        if (code == end) {
          // Complete: the rest of the sub-blocks are not read.
          return;
        }
        if (code == clear) {
          codeSize = minimum + 1;
          mask = (1 << codeSize) - 1;
          next = clear + 2;
          previous = kNoCode;
          continue;
        }
        if (code > next) {
          bad = true;
          break;
        }
        if (previous == kNoCode) {
          firstChar = t.suffix[code];
          if (written < count) out[written++] = firstChar;
          previous = code;
          continue;
        }
        size_t depth = 0;
        int current = code;
        if (code == next) {
          t.stack[depth++] = firstChar;
          current = previous;
        }
        // A first code after a clear may equal next, so chains can reach an entry never
        // stored or point an entry at itself; both are bad data.
        while (current > clear && current < kTableSize && depth < t.stack.size()) {
          t.stack[depth++] = t.suffix[current];
          current = t.prefix[current];
        }
        if (current >= kTableSize || depth >= t.stack.size()) {
          bad = true;
          break;
        }
        firstChar = t.suffix[current];
        t.stack[depth++] = firstChar;
        if (next < kTableSize) {
          t.prefix[next] = uint16_t(previous);
          t.suffix[next] = firstChar;
          ++next;
          if ((next & mask) == 0 && next < kTableSize) {
            ++codeSize;
            mask = 2 * mask + 1;
          }
        }
        previous = code;
        while (depth > 0) {
          uint8_t c = t.stack[--depth];
          if (written < count) out[written++] = c;
        }
      }
      if (bad) break;
    }
  }
}

std::optional<PackedDib> ReadImage(ByteReader& in, std::array<uint8_t, 768>& triples, int bitCount,
                                   int64_t maxPixels, GifFault* fault) {
  const int64_t sizeAt = int64_t(in.pos()) + 4;
  in.skip(4);  // left, top: one still frame, placed at the origin
  int width = in.word();
  int height = in.word();
  uint8_t flags = in.byte();
  int entries = 1 << bitCount;
  if (flags & 0x80) {
    int s = flags & 7;
    entries = 1 << (s + 1);
    ByteSpan table = in.take(size_t(entries) * 3);
    std::memcpy(triples.data(), table.data(), table.size());
    bitCount = s == 0 ? 1 : (s & 4) ? 8 : 4;
  }
  const std::string size = std::to_string(width) + " x " + std::to_string(height);
  if (!DibSizeAllowed(width, height)) return Refuse(fault, GifError::BadSize, sizeAt, {}, size);
  if (int64_t(width) * height > maxPixels)
    return Refuse(fault, GifError::TooLarge, sizeAt, {}, size);
  auto dib = PackedDib::Create(width, height, bitCount, 1u << bitCount);
  if (!dib) return Refuse(fault, GifError::OutOfMemory, sizeAt, {}, size);
  RgbQuad* colors = dib->colors();
  for (int i = 0; i < entries && i < (1 << bitCount); ++i)
    colors[i] = RgbQuad{triples[3 * i + 2], triples[3 * i + 1], triples[3 * i], 0};

  const size_t count = size_t(width) * size_t(height);
  std::vector<uint8_t> indices(count + 256, 0);
  DecodeLzw(in, indices.data(), count);

  // Interlaced images store rows 0, 8, 16.. first, then 4, 12.., then 2, 6.., then odd rows.
  std::vector<int> lineOfRow(static_cast<size_t>(height));
  if (flags & 0x40) {
    int line = 0;
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
      for (int row = kStart[pass]; row < height; row += kStep[pass])
        lineOfRow[size_t(row)] = line++;
  } else {
    for (int row = 0; row < height; ++row) lineOfRow[size_t(row)] = row;
  }

  const uint8_t indexMask = uint8_t((1 << bitCount) - 1);
  for (int row = 0; row < height; ++row) {
    const uint8_t* src = indices.data() + size_t(lineOfRow[size_t(row)]) * size_t(width);
    uint8_t* dst = dib->rowFromTop(row);
    switch (bitCount) {
      case 8:
        std::memcpy(dst, src, size_t(width));
        break;
      case 4:
        for (int x = 0; x < width; ++x)
          dst[x / 2] |= uint8_t((src[x] & indexMask) << ((x & 1) ? 0 : 4));
        break;
      default:
        for (int x = 0; x < width; ++x)
          dst[x / 8] |= uint8_t((src[x] & indexMask) << (7 - (x & 7)));
        break;
    }
  }
  return dib;
}

}  // namespace

const char* GifErrorText(GifError error) {
  switch (error) {
    case GifError::None: return "no error";
    case GifError::NotGif: return "not a GIF file";
    case GifError::NoImage: return "no image before the end";
    case GifError::BadSize: return "image size out of range";
    case GifError::TooLarge: return "image too large";
    case GifError::OutOfMemory: return "out of memory";
  }
  return "unknown error";
}

std::optional<PackedDib> ReadGif(ByteSpan data, int* transparentIndex, int64_t maxPixels,
                                 GifFault* fault) {
  if (transparentIndex) *transparentIndex = -1;
  if (fault) *fault = GifFault{};
  if (data.size() < 6 || std::memcmp(data.data(), "GIF8", 4) != 0)
    return Refuse(fault, GifError::NotGif, 0);
  ByteReader in(data);
  in.skip(6);
  in.skip(4);  // logical screen size: unused
  uint8_t flags = in.byte();
  in.skip(2);  // background index, aspect
  int s = flags & 7;
  int bitCount = s == 0 ? 1 : s < 4 ? 4 : 8;

  std::array<uint8_t, 768> triples{};
  if (flags & 0x80) {
    ByteSpan table = in.take(size_t(3) << (s + 1));
    std::memcpy(triples.data(), table.data(), table.size());
  } else {
    int entries = 1 << bitCount;
    int step = bitCount == 1 ? 255 : bitCount == 4 ? 16 : 1;
    for (int i = 0; i < entries; ++i)
      triples[3 * i] = triples[3 * i + 1] = triples[3 * i + 2] = uint8_t(i * step);
  }

  bool transparent = false;
  int index = 0;
  while (!in.atEnd()) {
    uint8_t introducer = in.byte();
    if (introducer == 0x21) {
      uint8_t label = in.byte();
      if (label == 0xF9) {
        in.skip(1);  // block size
        uint8_t packed = in.byte();
        in.skip(2);  // delay
        index = in.byte();
        transparent = packed & 1;
        // The block terminator is skipped as an unknown byte by the loop.
      } else {
        while (!in.atEnd()) {
          int length = in.byte();
          if (length == 0) break;
          in.skip(size_t(length));
        }
      }
    } else if (introducer == 0x2C) {
      auto dib = ReadImage(in, triples, bitCount, maxPixels, fault);
      // An index outside the image's table matches no pixel, so it is not reported.
      if (dib && transparent && transparentIndex && uint32_t(index) < dib->numColors())
        *transparentIndex = index;
      return dib;
    } else if (introducer == 0x3B) {
      return Refuse(fault, GifError::NoImage, int64_t(in.pos()) - 1, {}, "trailer");
    }
  }
  return Refuse(fault, GifError::NoImage, int64_t(data.size()), {}, "end of file");
}

}  // namespace zr
