// Real-input FFT for the psychoacoustic model: an N-point real transform done as an
// N/2-point complex radix-2 transform on packed even/odd samples, with every twiddle and
// the bit-reversal order computed once at construction. No allocation per call.
#pragma once

#include <vector>

namespace zr::mpeg::audio {

class RealFft {
 public:
  // n: a power of two, at least 8. fast: the wide passes in AVX2 where the processor has
  // it (the same operations in the same order, so the same bits), else all plain.
  explicit RealFft(int n, bool fast = true);
  int size() const { return n_; }
  // in: n samples. re/im: n/2 + 1 lines each (no normalisation: X[k] = sum x[t] e^-2piikt/n).
  void Forward(const double* in, double* re, double* im);

 private:
  int n_, half_;
  std::vector<int> bitrev_;
  std::vector<double> twRe_, twIm_;      // e^-2pi i k / half, k < half/2
  std::vector<double> postRe_, postIm_;  // e^-2pi i k / n, k <= half/2
  std::vector<double> workRe_, workIm_;
  bool avx2_ = false;
  // The twiddles of each pass from four butterflies up, side by side: pass `len` uses
  // m = len / 2 of them from offset m - 4.
  std::vector<double> passRe_, passIm_;
};

// One radix-2 pass of `len` (at least 8) over `half` points, four butterflies at a time.
void FftPassAvx2(double* zr, double* zi, const double* wr, const double* wi, int half, int len);

// Plain O(n^2) transform with the same contract: the slow twin the tests compare against.
void ReferenceDft(int n, const double* in, double* re, double* im);

}  // namespace zr::mpeg::audio
