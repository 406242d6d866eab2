// Levels by rate-distortion cost in the high-quality mode: each non-zero level, from the
// highest frequency down, may step one toward zero when the bits it saves are worth more
// than the error it adds (J = D + lambda * R). This widens the dead zone where the codes
// are dear and subsumes trimming trailing +-1 levels.
#pragma once

#include <cstdint>

namespace zr::mpeg {

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
