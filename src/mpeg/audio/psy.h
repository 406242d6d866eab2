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
};

// Critical-band value of a frequency, piecewise linear between the band edges.
double CriticalBandRate(const std::vector<double>& edges, double hz);
// Threshold in quiet in dB for a frequency in kHz.
double ThresholdInQuietDb(double khz);

class PsyModel {
 public:
  explicit PsyModel(const PsyTables& tables);
  // Forget the saved spectra and the analysis buffer.
  void Reset();
  // block: the frame's 1152 samples of this channel; the transform covers the 480
  // samples before it and its first 544. smr: 32 ratios in dB, always finite.
  void Analyse(const int16_t* block, double* smr);

 private:
  const PsyTables& t_;
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
