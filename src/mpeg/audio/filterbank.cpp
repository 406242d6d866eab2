#include "mpeg/audio/filterbank.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "mpeg/dsp/dsp.h"

namespace zr::mpeg::audio {

namespace {

// cos((2k+1)(i-16)pi/64) is even about i = 16 and odd about i = 48, so the 64 folded
// values pair up into 32 and the matrix is 32 x 32: [j][k] = cos((2k+1) j pi / 64).
void Matrix(std::array<std::array<double, kSubbands>, kSubbands>& m) {
  for (int j = 0; j < kSubbands; ++j)
    for (int k = 0; k < kSubbands; ++k)
      m[j][k] = std::cos((2 * k + 1) * j * std::numbers::pi / 64.0);
}

}  // namespace

AnalysisFilterBank::AnalysisFilterBank(const Layer2Tables& tables, bool fast)
    : blocks_(fast && dsp::CpuHasAvx2() ? FilterBlocksAvx2 : FilterBlocksRef) {
  // The newest sample meets C[0]: in time order the window runs backwards.
  for (int j = 0; j < 512; ++j) reversedWindow_[j] = tables.window[511 - j];
  Matrix(matrix_);
}

void AnalysisFilterBank::Reset() { buffer_.fill(0.0); }

void FilterBlocksRef(const double* buf, const double* w, const FilterMatrix& m, SubbandFrame& out) {
  for (int t = 0; t < 36; ++t) {
    // Block t ends with sample 32t + 31; its 512-sample span starts 480 samples earlier.
    // In time order Y[i] = yr[63 - i], with yr the sum of the eight windowed 64-runs.
    const double* x = buf + 32 * t;
    alignas(16) double yr[64];
    for (int r = 0; r < 64; ++r) yr[r] = x[r] * w[r];
    for (int k = 1; k < 8; ++k)
      for (int r = 0; r < 64; ++r) yr[r] += x[64 * k + r] * w[64 * k + r];
    alignas(16) double a[kSubbands];
    FoldWindowed(yr, a);
    alignas(16) double acc[kSubbands] = {};
    for (int j = 0; j < kSubbands; ++j) {
      const double aj = a[j];
      const double* row = m[j].data();
      for (int k = 0; k < kSubbands; ++k) acc[k] += row[k] * aj;
    }
    std::copy(acc, acc + kSubbands, out[t].begin());
  }
}

void AnalysisFilterBank::Frame(const int16_t* samples, SubbandFrame& out) {
  double* buf = buffer_.data();
  for (int n = 0; n < kFrameSamples; ++n) buf[kHistory + n] = samples[n] * (1.0 / 32768.0);
  blocks_(buf, reversedWindow_.data(), matrix_, out);
  std::copy(buf + kFrameSamples, buf + kFrameSamples + kHistory, buf);
}

void AnalysisFilterBank::ReferenceBlock(const Layer2Tables& tables, std::array<double, 512>& x,
                                        const double* newest32, double* out32) {
  for (int i = 511; i >= 32; --i) x[i] = x[i - 32];
  for (int i = 31; i >= 0; --i) x[i] = newest32[31 - i];  // the last of the 32 is the newest
  double z[512], y[64];
  for (int i = 0; i < 512; ++i) z[i] = tables.window[i] * x[i];
  for (int i = 0; i < 64; ++i) {
    y[i] = 0;
    for (int j = 0; j < 8; ++j) y[i] += z[i + 64 * j];
  }
  for (int k = 0; k < kSubbands; ++k) {
    out32[k] = 0;
    for (int i = 0; i < 64; ++i)
      out32[k] += std::cos((2 * k + 1) * (i - 16) * std::numbers::pi / 64.0) * y[i];
  }
}

}  // namespace zr::mpeg::audio
