#include "platform/dib.h"

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <unordered_map>

namespace zr {

const char* DibErrorText(DibError error) {
  switch (error) {
    case DibError::None:
      return "no error";
    case DibError::BadSize:
      return "image size out of range";
    case DibError::BadBitCount:
      return "unsupported bit count";
    case DibError::BadCompression:
      return "unsupported compression";
    case DibError::BadMasks:
      return "invalid bit-field masks";
    case DibError::ShortPixels:
      return "pixel data too short";
    case DibError::BadRle:
      return "corrupt run-length data";
  }
  return "unknown error";
}

std::optional<BitFieldChannel> ParseBitField(uint32_t mask) {
  if (mask == 0) return std::nullopt;
  BitFieldChannel c;
  c.mask = mask;
  c.shift = std::countr_zero(mask);
  uint32_t bits = mask >> c.shift;
  if ((bits & (bits + 1)) != 0) return std::nullopt;  // not one contiguous run
  c.bits = std::popcount(bits);
  return c;
}

namespace {

// Narrow channels widen by repeating their bits (5 bits abcde -> abcdeabc), the usual
// convention, so that 0 and the maximum map to 0 and 255 and narrowing back is exact.
inline uint8_t ScaleChannel(uint32_t value, int bits) {
  if (bits >= 8) return uint8_t(value >> (bits - 8));
  uint32_t out = 0;
  for (int pos = 8 - bits;; pos -= bits) {
    out |= pos >= 0 ? value << pos : value >> -pos;
    if (pos <= 0) break;
  }
  return uint8_t(out);
}

inline Pixel MakePixel(uint8_t r, uint8_t g, uint8_t b) {
  return (Pixel(r) << 16) | (Pixel(g) << 8) | b;
}

DibError Fail(DibError e, DibError* out) {
  if (out) *out = e;
  return e;
}

// Decodes an RLE stream into one colour index per pixel, rows top-down. Reads never
// pass the stream's end; writes outside the image are dropped.
bool DecodeRle(std::span<const uint8_t> s, int width, int height, bool four,
               std::vector<uint8_t>& index) {
  index.assign(size_t(width) * size_t(height), 0);
  size_t p = 0;
  int64_t x = 0, y = 0;  // y counted from the bottom row, as stored
  auto put = [&](uint8_t v) {
    if (x < width && y < height) index[size_t(height - 1 - y) * size_t(width) + size_t(x)] = v;
    ++x;
  };
  while (true) {
    if (p + 2 > s.size()) return y >= height;  // a stream may end once every row is done
    uint8_t count = s[p], value = s[p + 1];
    p += 2;
    if (count > 0) {
      if (y >= height) return false;
      for (int i = 0; i < count; ++i) put(four ? ((i & 1) ? value & 0x0F : value >> 4) : value);
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        ++y;
        break;
      case 1:  // end of bitmap
        return true;
      case 2: {  // delta
        if (p + 2 > s.size()) return false;
        x += s[p];
        y += s[p + 1];
        p += 2;
        if (x > width || y > height) return false;
        break;
      }
      default: {  // absolute run of `value` pixels, padded to a 16-bit boundary
        size_t bytes = four ? (size_t(value) + 1) / 2 : value;
        size_t padded = (bytes + 1) & ~size_t(1);
        if (p + bytes > s.size() || y >= height) return false;
        for (int i = 0; i < value; ++i) {
          uint8_t b = s[p + (four ? size_t(i / 2) : size_t(i))];
          put(four ? ((i & 1) ? b & 0x0F : b >> 4) : b);
        }
        p += std::min(padded, s.size() - p);
        break;
      }
    }
  }
}

}  // namespace

uint32_t DibNumColors(const BitmapInfoHeader& h) {
  if (h.biClrUsed != 0) return h.biClrUsed;
  switch (h.biBitCount) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
  }
}

void ExpandBgrRowRef(const uint8_t* src, Pixel* dst, int width) {
  for (int x = 0; x < width; ++x) dst[x] = MakePixel(src[3 * x + 2], src[3 * x + 1], src[3 * x]);
}

__attribute__((target("ssse3"))) void ExpandBgrRowSsse3(const uint8_t* src, Pixel* dst,
                                                        int width) {
  const __m128i widen = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  int x = 0;
  // Each load reads 16 bytes for the 12 it uses, so it stops before the row's last bytes.
  for (; x + 6 <= width; x += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), _mm_shuffle_epi8(v, widen));
  }
  ExpandBgrRowRef(src + 3 * x, dst + x, width - x);
}

bool CpuHasSsse3() { return __builtin_cpu_supports("ssse3"); }

std::optional<Bitmap> DecodeDib(const DibPixels& d, DibError* error) {
  if (error) *error = DibError::None;
  int64_t rows = d.height < 0 ? -int64_t(d.height) : d.height;
  if (!DibSizeAllowed(d.width, rows)) {
    Fail(DibError::BadSize, error);
    return std::nullopt;
  }
  int bc = d.bitCount;
  if (bc != 1 && bc != 4 && bc != 8 && bc != 16 && bc != 24 && bc != 32) {
    Fail(DibError::BadBitCount, error);
    return std::nullopt;
  }
  bool topDown = d.height < 0;
  int w = d.width, h = int(rows);
  switch (d.compression) {
    case BI_RGB:
      break;
    case BI_RLE8:
    case BI_RLE4:
      if (bc != (d.compression == BI_RLE8 ? 8 : 4) || topDown) {
        Fail(DibError::BadBitCount, error);
        return std::nullopt;
      }
      break;
    case BI_BITFIELDS:
      if (bc != 16 && bc != 32) {
        Fail(DibError::BadBitCount, error);
        return std::nullopt;
      }
      break;
    default:
      Fail(DibError::BadCompression, error);
      return std::nullopt;
  }

  auto colorOf = [&](uint32_t i) -> Pixel {
    if (i >= d.colors.size()) return 0;
    const RgbQuad& q = d.colors[i];
    return MakePixel(q.red, q.green, q.blue);
  };

  if (d.compression == BI_RLE8 || d.compression == BI_RLE4) {
    std::vector<uint8_t> index;
    if (!DecodeRle(d.bits, w, h, d.compression == BI_RLE4, index)) {
      Fail(DibError::BadRle, error);
      return std::nullopt;
    }
    Bitmap out(w, h);
    Pixel lut[256];
    for (int i = 0; i < 256; ++i) lut[i] = colorOf(uint32_t(i));
    for (size_t i = 0; i < index.size(); ++i) out.pixels[i] = lut[index[i]];
    return out;
  }

  const size_t stride = DibStride(w, bc);
  if (uint64_t(stride) * uint64_t(h) > d.bits.size()) {
    Fail(DibError::ShortPixels, error);
    return std::nullopt;
  }

  BitFieldChannel cr{}, cg{}, cb{};
  if (d.compression == BI_BITFIELDS) {
    auto r = ParseBitField(d.redMask), g = ParseBitField(d.greenMask),
         b = ParseBitField(d.blueMask);
    uint32_t limit = bc == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    if (!r || !g || !b || (d.redMask & d.greenMask) || (d.redMask & d.blueMask) ||
        (d.greenMask & d.blueMask) || (d.redMask | d.greenMask | d.blueMask) > limit) {
      Fail(DibError::BadMasks, error);
      return std::nullopt;
    }
    cr = *r, cg = *g, cb = *b;
  } else if (bc == 16) {
    cr = {0x7C00, 10, 5}, cg = {0x03E0, 5, 5}, cb = {0x001F, 0, 5};
  }

  Bitmap out(w, h);
  const auto expand24 = CpuHasSsse3() ? ExpandBgrRowSsse3 : ExpandBgrRowRef;
  Pixel lut[256];
  if (bc <= 8)
    for (int i = 0; i < 256; ++i) lut[i] = colorOf(uint32_t(i));
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = d.bits.data() + size_t(topDown ? y : h - 1 - y) * stride;
    Pixel* dst = out.row(y);
    switch (bc) {
      case 1:
        for (int x = 0; x < w; ++x) dst[x] = lut[(src[x >> 3] >> (7 - (x & 7))) & 1];
        break;
      case 4:
        for (int x = 0; x < w; ++x) dst[x] = lut[(x & 1) ? src[x >> 1] & 0x0F : src[x >> 1] >> 4];
        break;
      case 8:
        for (int x = 0; x < w; ++x) dst[x] = lut[src[x]];
        break;
      case 16:
        for (int x = 0; x < w; ++x) {
          uint32_t v = uint32_t(src[2 * x]) | (uint32_t(src[2 * x + 1]) << 8);
          dst[x] = MakePixel(ScaleChannel((v & cr.mask) >> cr.shift, cr.bits),
                             ScaleChannel((v & cg.mask) >> cg.shift, cg.bits),
                             ScaleChannel((v & cb.mask) >> cb.shift, cb.bits));
        }
        break;
      case 24:
        expand24(src, dst, w);
        break;
      case 32:
        if (d.compression == BI_BITFIELDS) {
          for (int x = 0; x < w; ++x) {
            uint32_t v = uint32_t(src[4 * x]) | (uint32_t(src[4 * x + 1]) << 8) |
                         (uint32_t(src[4 * x + 2]) << 16) | (uint32_t(src[4 * x + 3]) << 24);
            dst[x] = MakePixel(ScaleChannel((v & cr.mask) >> cr.shift, cr.bits),
                               ScaleChannel((v & cg.mask) >> cg.shift, cg.bits),
                               ScaleChannel((v & cb.mask) >> cb.shift, cb.bits));
          }
        } else {
          for (int x = 0; x < w; ++x)
            dst[x] = MakePixel(src[4 * x + 2], src[4 * x + 1], src[4 * x]);
        }
        break;
    }
  }
  return out;
}

namespace {

// Nearest-colour lookups repeat for the same colours over and over; remember them.
class PaletteMapper {
 public:
  explicit PaletteMapper(const Palette& p) : palette_(p) {}
  uint8_t operator()(Pixel px) {
    px &= 0x00FFFFFF;
    auto it = cache_.find(px);
    if (it != cache_.end()) return it->second;
    uint8_t i = uint8_t(NearestPaletteIndex(palette_, ColorRefFromPixel(px)));
    if (cache_.size() < (1u << 16)) cache_.emplace(px, i);
    return i;
  }

 private:
  const Palette& palette_;
  std::unordered_map<Pixel, uint8_t> cache_;
};

}  // namespace

bool EncodeDibRows(const Bitmap& bmp, int bitCount, const Palette& palette,
                   std::span<uint8_t> out) {
  if (bmp.empty()) return false;
  int bc = bitCount;
  if (bc != 1 && bc != 4 && bc != 8 && bc != 16 && bc != 24 && bc != 32) return false;
  if (bc <= 8 && palette.empty()) return false;
  const size_t stride = DibStride(bmp.width, bc);
  if (uint64_t(stride) * uint64_t(bmp.height) > out.size()) return false;
  Palette limited;
  const Palette* pal = &palette;
  if (bc <= 8 && palette.size() > (size_t(1) << bc)) {
    limited.assign(palette.begin(), palette.begin() + (ptrdiff_t(1) << bc));
    pal = &limited;
  }
  PaletteMapper map(*pal);
  int w = bmp.width;
  for (int y = 0; y < bmp.height; ++y) {
    uint8_t* dst = out.data() + size_t(bmp.height - 1 - y) * stride;
    std::fill(dst, dst + stride, uint8_t(0));
    const Pixel* src = bmp.row(y);
    switch (bc) {
      case 1:
        for (int x = 0; x < w; ++x)
          if (map(src[x]) & 1) dst[x >> 3] |= uint8_t(0x80 >> (x & 7));
        break;
      case 4:
        for (int x = 0; x < w; ++x)
          dst[x >> 1] |= uint8_t((map(src[x]) & 0x0F) << ((x & 1) ? 0 : 4));
        break;
      case 8:
        for (int x = 0; x < w; ++x) dst[x] = map(src[x]);
        break;
      case 16:
        for (int x = 0; x < w; ++x) {
          Pixel p = src[x];
          uint16_t v =
              uint16_t((((p >> 19) & 0x1F) << 10) | (((p >> 11) & 0x1F) << 5) | ((p >> 3) & 0x1F));
          dst[2 * x] = uint8_t(v);
          dst[2 * x + 1] = uint8_t(v >> 8);
        }
        break;
      case 24:
        for (int x = 0; x < w; ++x) {
          dst[3 * x] = uint8_t(src[x]);
          dst[3 * x + 1] = uint8_t(src[x] >> 8);
          dst[3 * x + 2] = uint8_t(src[x] >> 16);
        }
        break;
      case 32:
        for (int x = 0; x < w; ++x) {
          dst[4 * x] = uint8_t(src[x]);
          dst[4 * x + 1] = uint8_t(src[x] >> 8);
          dst[4 * x + 2] = uint8_t(src[x] >> 16);
          dst[4 * x + 3] = 0;
        }
        break;
    }
  }
  return true;
}

}  // namespace zr
