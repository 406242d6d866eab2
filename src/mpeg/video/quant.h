// Quantisation of transformed blocks and its inverse for the reconstruction. Blocks are
// in natural order; `mquant` is the macroblock quantiser 2..62 (twice quantizer_scale).
#pragma once

#include <cstdint>

namespace zr::mpeg {

void QuantIntra(const int16_t* src, int16_t* dst, const uint8_t* matrix, int mquant);
// Returns true when any level is non-zero.
bool QuantNonIntra(const int16_t* src, int16_t* dst, const uint8_t* matrix, int mquant);
void IquantIntra(const int16_t* src, int16_t* dst, const uint8_t* matrix, int mquant);
void IquantNonIntra(const int16_t* src, int16_t* dst, const uint8_t* matrix, int mquant);

}  // namespace zr::mpeg
