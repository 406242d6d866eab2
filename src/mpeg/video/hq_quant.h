// Levels by rate-distortion cost in the high-quality mode: each non-zero level, from the
// highest frequency down, may step one toward zero when the bits it saves are worth more
// than the error it adds (J = D + lambda * R). This widens the dead zone where the codes
// are dear and subsumes trimming trailing +-1 levels.
#pragma once

#include <cstdint>

namespace zr::mpeg {

// `coef` the transformed block, `levels` its levels at `mquant` (natural order), changed in
// place; the intra DC is left alone. Returns true when a coded coefficient remains (AC for
// intra).
bool RdQuantiseBlock(bool intra, const int16_t* coef, int16_t* levels, const uint8_t* matrix,
                     int mquant, double lambda);

// Bits of one run/level pair with its sign (escapes included); `first` for the first
// pair of a non-intra block, whose run 0, level 1 has a short code.
int PairBits(int run, int absLevel, bool first);

}  // namespace zr::mpeg
