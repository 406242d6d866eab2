// Layer II sample quantisation and the grouping of three samples into one codeword.
#pragma once

#include <cstdint>

#include "mpeg/audio/tables.h"

namespace zr::mpeg::audio {

// Code 0..steps-1 of a sample already divided by its scale factor (nominally -1..1).
int QuantiseSample(const QuantClass& cls, double x);
// One codeword for three codes of a 3-, 5- or 9-step class, the first code least significant.
inline uint32_t GroupCodes(int steps, int c0, int c1, int c2) {
  return uint32_t(c0 + steps * (c1 + steps * c2));
}

}  // namespace zr::mpeg::audio
