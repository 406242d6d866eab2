#include <smmintrin.h>

#include "mpeg/dsp/dsp.h"

namespace zr::mpeg::dsp {

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("sse4.1"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("sse4.1")
#endif

namespace {

// Byte shuffles that gather channel `channel` of 16 pixels of `bytes` bytes each from the
// `bytes` registers holding them; lanes whose byte lies in another register stay zero.
template <int bytes>
struct Gather {
  alignas(16) uint8_t masks[3][bytes][16];
  Gather() {
    for (int channel = 0; channel < 3; ++channel)
      for (int k = 0; k < bytes; ++k)
        for (int pos = 0; pos < 16; ++pos) {
          const int at = bytes * pos + channel - 16 * k;
          masks[channel][k][pos] = at >= 0 && at < 16 ? uint8_t(at) : 0x80;
        }
  }
};

template <int bytes>
void Unpack(const uint8_t* s, int count, uint8_t* r, uint8_t* g, uint8_t* b) {
  static const Gather<bytes> gather;
  uint8_t* out[3] = {b, g, r};
  int x = 0;
  for (; x + 16 <= count; x += 16, s += 16 * bytes) {
    __m128i in[bytes];
    for (int k = 0; k < bytes; ++k)
      in[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16 * k));
    for (int channel = 0; channel < 3; ++channel) {
      __m128i v = _mm_setzero_si128();
      for (int k = 0; k < bytes; ++k)
        v = _mm_or_si128(v, _mm_shuffle_epi8(in[k], _mm_load_si128(reinterpret_cast<const __m128i*>(
                                                      gather.masks[channel][k]))));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out[channel] + x), v);
    }
  }
  for (; x < count; ++x, s += bytes) {
    b[x] = s[0];
    g[x] = s[1];
    r[x] = s[2];
  }
}

}  // namespace

void UnpackBgrSse41(const uint8_t* s, int bytesPerPixel, int count, uint8_t* r, uint8_t* g,
                    uint8_t* b) {
  if (bytesPerPixel == 3)
    Unpack<3>(s, count, r, g, b);
  else
    Unpack<4>(s, count, r, g, b);
}

int Min16Sse41(const uint16_t* values, int count) {
  // Lanes at or past the count become 65535, which never lowers the minimum.
  const __m128i n = _mm_set1_epi16(int16_t(count));
  const __m128i low = _mm_set_epi16(7, 6, 5, 4, 3, 2, 1, 0), high = _mm_set_epi16(15, 14, 13, 12, 11, 10, 9, 8);
  const __m128i a = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(values)),
                                 _mm_cmpgt_epi16(_mm_add_epi16(low, _mm_set1_epi16(1)), n));
  const __m128i b = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(values + 8)),
                                 _mm_cmpgt_epi16(_mm_add_epi16(high, _mm_set1_epi16(1)), n));
  return _mm_extract_epi16(_mm_minpos_epu16(_mm_min_epu16(a, b)), 0);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

}  // namespace zr::mpeg::dsp
