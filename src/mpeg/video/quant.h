// Quantisation of transformed blocks and its inverse for the reconstruction. Blocks are
// in natural order; `mquant` is the macroblock quantiser 2..62 (twice quantizer_scale).
#pragma once

#include <cstdint>

namespace zr::mpeg {

// The definitions: two divisions per coefficient.
void QuantIntra(const int16_t* src, int16_t* dst, const uint8_t* matrix, int mquant);
// Returns true when any level is non-zero.
bool QuantNonIntra(const int16_t* src, int16_t* dst, const uint8_t* matrix, int mquant);
void IquantIntra(const int16_t* src, int16_t* dst, const uint8_t* matrix, int mquant);
void IquantNonIntra(const int16_t* src, int16_t* dst, const uint8_t* matrix, int mquant);

// The same levels without a division. For positive integers floor(floor(a / W) / (2q)) =
// floor(a / (2qW)), and the intra rounding term folds in as floor(a / W) + c =
// floor((a + cW) / W); so each (W, mquant) pair needs one reciprocal m = ceil(2^36 / d),
// exact for every numerator below 2^21 (32 * 32768 plus the biases).
class FastQuantiser {
 public:
  FastQuantiser(const uint8_t* intraMatrix, const uint8_t* nonIntraMatrix);
  void Intra(const int16_t* src, int16_t* dst, int mquant) const;
  bool NonIntra(const int16_t* src, int16_t* dst, int mquant) const;

 private:
  struct Entry {
    uint64_t mul;
    uint32_t bias;
  };
  static constexpr int kShift = 36;
  Entry intra_[31][64];
  Entry nonIntra_[31][64];
  // One below the smallest |x| with a non-zero non-intra level: most coefficients of a
  // predicted block are under it, eight are ruled out per compare.
  alignas(16) int16_t nonIntraZero_[31][64];
};

}  // namespace zr::mpeg
