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

class AnalysisFilterBank {
 public:
  explicit AnalysisFilterBank(const Layer2Tables& tables);
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
  std::array<std::array<double, kSubbands>, kSubbands> matrix_{};
  std::array<double, kHistory + kFrameSamples> buffer_{};
};

}  // namespace zr::mpeg::audio
