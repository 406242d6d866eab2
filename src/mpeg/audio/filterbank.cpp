#include "mpeg/audio/filterbank.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zr::mpeg::audio {

namespace {

void Matrix(std::array<std::array<double, kSubbands>, 64>& m) {
  for (int i = 0; i < 64; ++i)
    for (int k = 0; k < kSubbands; ++k)
      m[i][k] = std::cos((2 * k + 1) * (i - 16) * std::numbers::pi / 64.0);
}

}  // namespace

AnalysisFilterBank::AnalysisFilterBank(const Layer2Tables& tables) {
  // The newest sample meets C[0]: in time order the window runs backwards.
  for (int j = 0; j < 512; ++j) reversedWindow_[j] = tables.window[511 - j];
  Matrix(matrix_);
}

void AnalysisFilterBank::Reset() { buffer_.fill(0.0); }

void AnalysisFilterBank::Frame(const int16_t* samples, SubbandFrame& out) {
  double* buf = buffer_.data();
  for (int n = 0; n < kFrameSamples; ++n) buf[kHistory + n] = samples[n] * (1.0 / 32768.0);
  for (int t = 0; t < 36; ++t) {
    // Block t ends with sample 32t + 31; its 512-sample span starts 480 samples earlier.
    const double* x = buf + 32 * t;
    alignas(32) double z[512];
    for (int j = 0; j < 512; ++j) z[j] = x[j] * reversedWindow_[j];
    // X[i] = x[511 - i]: fold Y[i] = sum_j Z[i + 64 j] in reversed time order.
    alignas(32) double y[64] = {};
    for (int j = 0; j < 8; ++j) {
      const double* zj = z + 512 - 64 * (j + 1);
      for (int i = 0; i < 64; ++i) y[i] += zj[63 - i];
    }
    double* s = out[t].data();
    for (int k = 0; k < kSubbands; ++k) s[k] = 0.0;
    for (int i = 0; i < 64; ++i) {
      const double yi = y[i];
      const double* row = matrix_[i].data();
      for (int k = 0; k < kSubbands; ++k) s[k] += row[k] * yi;
    }
  }
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
