// Polyphase analysis filter bank: 32 new samples in, 32 subband samples out, 36 times a
// frame. The history is kept in time order so the windowing is one contiguous product and
// the matrixing a 32 x 32 multiply-accumulate over fixed sizes, both vectorisable.
#pragma once

#include <array>
#include <cstdint>

#include "mpeg/audio/tables.h"

namespace zr::mpeg::audio {

// Subband samples of one frame for one channel: [block 0..35][subband 0..31].
using SubbandFrame = std::array<std::array<double, kSubbands>, 36>;

using FilterMatrix = std::array<std::array<double, kSubbands>, kSubbands>;

// The 36 blocks of one frame from the time-ordered history `buf` (480 + 1152 samples):
// window w (time order), fold, matrix m. Every form computes each sum in the same order,
// so all give the same bits.
// The 64 windowed sums (yr[63 - i] = Y[i]) folded into the matrix's 32 inputs.
inline void FoldWindowed(const double* yr, double* a) {
  a[0] = yr[47];                                                 // Y[16]
  for (int j = 1; j <= 16; ++j) a[j] = yr[47 - j] + yr[47 + j];  // Y[16+j] + Y[16-j]
  for (int j = 17; j < 32; ++j) a[j] = yr[47 - j] - yr[j - 17];  // Y[16+j] - Y[80-j]
}

using FilterBlocksFn = void (*)(const double* buf, const double* w, const FilterMatrix& m,
                                SubbandFrame& out);
void FilterBlocksRef(const double* buf, const double* w, const FilterMatrix& m, SubbandFrame& out);
void FilterBlocksAvx2(const double* buf, const double* w, const FilterMatrix& m,
                      SubbandFrame& out);

class AnalysisFilterBank {
 public:
  // fast: the AVX2 blocks where the processor has them, else the reference form.
  explicit AnalysisFilterBank(const Layer2Tables& tables, bool fast = true);
  // Forget the history: the next frame starts from silence.
  void Reset();
  // One frame: 1152 samples (16-bit units) in, 36 x 32 subband samples out.
  void Frame(const int16_t* samples, SubbandFrame& out);
  // The same analysis done the textbook way, for tests: shift X, window, fold, matrix.
  static void ReferenceBlock(const Layer2Tables& tables, std::array<double, 512>& x,
                             const double* newest32, double* out32);

 private:
  static constexpr int kHistory = 480;  // samples a block needs from before its 32 new ones
  std::array<double, 512> reversedWindow_{};
  FilterMatrix matrix_{};
  std::array<double, kHistory + kFrameSamples> buffer_{};
  FilterBlocksFn blocks_;
};

}  // namespace zr::mpeg::audio
