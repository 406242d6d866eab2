// Levels by rate-distortion cost in the high-quality mode: each non-zero level, from the
// highest frequency down, may step one toward zero when the bits it saves are worth more
// than the error it adds (J = D + lambda * R). This widens the dead zone where the codes
// are dear and subsumes trimming trailing +-1 levels.
#pragma once

#include <cstdint>
#include <cstdlib>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace zr::mpeg {

// Bit i set when the i-th coefficient in scan order is non-zero. Most predicted blocks
// hold a handful of levels: walking the set bits beats walking the scan.
struct ScanPositions {
  uint8_t ofNatural[64];
  ScanPositions();
};
const ScanPositions& ScanPositionsOf();
inline uint64_t NaturalMask(const int16_t* levels) {
#ifdef __SSE2__
  uint64_t mask = 0;
  const __m128i zero = _mm_setzero_si128();
  for (int i = 0; i < 64; i += 16) {
    // Saturating to bytes keeps non-zero values non-zero.
    const __m128i bytes =
        _mm_packs_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(levels + i)),
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(levels + i + 8)));
    const uint32_t zeros = uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, zero)));
    mask |= uint64_t(~zeros & 0xffffu) << i;
  }
  return mask;
#else
  uint64_t mask = 0;
  for (int i = 0; i < 64; ++i) mask |= uint64_t(levels[i] != 0) << i;
  return mask;
#endif
}
// Bit i set when |values[i]| >= smallest[i] (values above -32768).
inline uint64_t AtLeastMask(const int16_t* values, const int16_t* smallest) {
#ifdef __SSE2__
  uint64_t mask = 0;
  const __m128i zero = _mm_setzero_si128();
  for (int i = 0; i < 64; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(values + i));
    const __m128i a = _mm_max_epi16(v, _mm_sub_epi16(zero, v));
    const __m128i below =
        _mm_cmpgt_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(smallest + i)), a);
    const uint32_t bytes = uint32_t(_mm_movemask_epi8(_mm_packs_epi16(below, zero))) & 0xffu;
    mask |= uint64_t(~bytes & 0xffu) << i;
  }
  return mask;
#else
  uint64_t mask = 0;
  for (int i = 0; i < 64; ++i)
    mask |= uint64_t(std::abs(int(values[i])) >= smallest[i]) << i;
  return mask;
#endif
}

inline uint64_t ScanMask(const int16_t* levels) {
  const ScanPositions& s = ScanPositionsOf();
  uint64_t mask = 0;
  for (uint64_t natural = NaturalMask(levels); natural; natural &= natural - 1)
    mask |= uint64_t(1) << s.ofNatural[__builtin_ctzll(natural)];
  return mask;
}

// The decoder's value of an AC or non-intra level, as the reconstruction computes it.
inline int LevelValue(bool intra, int level, int w, int mquant) {
  if (level == 0) return 0;
  const int sign = level > 0 ? 1 : -1;
  int v = intra ? level * w * mquant / 16 : (2 * level + sign) * w * mquant / 32;
  if (v != 0 && (v & 1) == 0) v -= sign;
  return v < -2048 ? -2048 : (v > 2047 ? 2047 : v);
}

// `coef` the transformed block, `levels` its levels at `mquant` (natural order), changed in
// place; the intra DC is left alone. Returns true when a coded coefficient remains (AC for
// intra).
bool RdQuantiseBlock(bool intra, const int16_t* coef, int16_t* levels, const uint8_t* matrix,
                     int mquant, double lambda);

// Bits of each run/level pair with a code of its own, sign included; 0 where it escapes.
struct PairBitsTable {
  uint8_t bits[32][41];
  PairBitsTable();
};
const PairBitsTable& PairBitsOf();

// Bits of one run/level pair with its sign (escapes included); `first` for the first
// pair of a non-intra block, whose run 0, level 1 has a short code.
inline int PairBits(const PairBitsTable& t, int run, int absLevel, bool first) {
  if (first && run == 0 && absLevel == 1) return 2;
  if (run <= 31 && absLevel <= 40 && t.bits[run][absLevel]) return t.bits[run][absLevel];
  return absLevel > 127 ? 28 : 20;
}
inline int PairBits(int run, int absLevel, bool first) {
  return PairBits(PairBitsOf(), run, absLevel, first);
}

}  // namespace zr::mpeg
