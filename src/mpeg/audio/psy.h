// Psychoacoustic model 2 for layer II at 44.1 kHz: one 1024-point analysis per channel
// and frame, giving the signal-to-mask ratio of each subband.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "mpeg/audio/fft.h"
#include "mpeg/audio/tables.h"

namespace zr::mpeg::audio {

inline constexpr int kFftSize = 1024;
inline constexpr int kLines = kFftSize / 2 + 1;  // 513 spectral lines

// Everything the model derives from the tables once: window, absolute threshold,
// partitions and spreading function. Read-only after construction.
struct PsyTables {
  explicit PsyTables(const Layer2Tables& tables);
  std::array<double, kFftSize> hann{};
  std::array<double, kLines> absThreshold{};  // energy, in the units of the FFT below
  std::array<double, kLines> bark{};          // critical-band value of each line
  std::array<int16_t, kLines> partitionOf{};
  int partitions = 0;
  std::vector<int> firstLine, numLines;
  std::vector<double> cbval, rnorm, tmn, minSnr;
  std::vector<double> spread;  // [maskee * partitions + masker]
  // Per maskee, the maskers from spreadFirst to spreadEnd - 1: outside it the spreading
  // is exactly 0, and finite energies times 0 add nothing to a sum.
  std::vector<int> spreadFirst, spreadEnd;
};

// The spectrum of this frame against the prediction from the two before. `old*` hold the
// older saved spectrum on the way in and this frame's on the way out.
struct LineSpectra {
  const double *re, *im, *mag1, *cos1, *sin1;
  double *oldMag, *oldCos, *oldSin, *energy, *unpred;
};
using PredictLinesFn = void (*)(const LineSpectra& s, int lines);
void PredictLinesRef(const LineSpectra& s, int lines);
// Four lines at a time, the same operations in the same order: bit-identical.
void PredictLinesAvx2(const LineSpectra& s, int lines);

// Critical-band value of a frequency, piecewise linear between the band edges.
double CriticalBandRate(const std::vector<double>& edges, double hz);
// Threshold in quiet in dB for a frequency in kHz.
double ThresholdInQuietDb(double khz);

class PsyModel {
 public:
  // fast: AVX2 line prediction where the processor has it, and the spreading over each
  // maskee's non-zero span; else every masker and the reference form.
  explicit PsyModel(const PsyTables& tables, bool fast = true);
  // Forget the saved spectra and the analysis buffer.
  void Reset();
  // block: the frame's 1152 samples of this channel; the transform covers the 480
  // samples before it and its first 544. smr: 32 ratios in dB, always finite.
  void Analyse(const int16_t* block, double* smr);

 private:
  const PsyTables& t_;
  PredictLinesFn predict_;
  bool trimSpread_;
  RealFft fft_;
  std::array<double, 1056> buffer_{};
  std::array<double, 480> tail_{};  // the last 480 samples of the previous block
  std::array<double, kFftSize> windowed_{};
  std::array<double, kLines> re_{}, im_{}, energy_{}, unpred_{}, threshold_{};
  // The last two spectra: magnitude and unit phasor (cos, sin of the phase).
  std::array<std::array<double, kLines>, 2> mag_{}, cosPh_{}, sinPh_{};
  int newest_ = 0;  // which of the two saved spectra is the last one
  std::vector<double> eb_, cb_, ecb_, ct_, partThreshold_;
};

}  // namespace zr::mpeg::audio
