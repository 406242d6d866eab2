#include "mpeg/audio/fft.h"

#include <cmath>
#include <numbers>

#include "mpeg/dsp/dsp.h"

namespace zr::mpeg::audio {

RealFft::RealFft(int n, bool fast) : n_(n), half_(n / 2), avx2_(fast && dsp::CpuHasAvx2()) {
  int bits = 0;
  while ((1 << bits) < half_) ++bits;
  bitrev_.resize(half_);
  for (int i = 0; i < half_; ++i) {
    int r = 0;
    for (int b = 0; b < bits; ++b)
      if (i & (1 << b)) r |= 1 << (bits - 1 - b);
    bitrev_[i] = r;
  }
  const double pi = std::numbers::pi;
  twRe_.resize(half_ / 2);
  twIm_.resize(half_ / 2);
  for (int k = 0; k < half_ / 2; ++k) {
    twRe_[k] = std::cos(2 * pi * k / half_);
    twIm_[k] = -std::sin(2 * pi * k / half_);
  }
  postRe_.resize(half_ / 2 + 1);
  postIm_.resize(half_ / 2 + 1);
  for (int k = 0; k <= half_ / 2; ++k) {
    postRe_[k] = std::cos(2 * pi * k / n_);
    postIm_[k] = -std::sin(2 * pi * k / n_);
  }
  workRe_.resize(half_);
  workIm_.resize(half_);
  for (int len = 8; len <= half_; len <<= 1) {
    const int step = half_ / len;
    for (int j = 0; j < len / 2; ++j) {
      passRe_.push_back(twRe_[j * step]);
      passIm_.push_back(twIm_[j * step]);
    }
  }
}

void RealFft::Forward(const double* in, double* re, double* im) {
  double* zr = workRe_.data();
  double* zi = workIm_.data();
  // Pack z[t] = x[2t] + i x[2t+1], in bit-reversed order for the in-place passes.
  for (int t = 0; t < half_; ++t) {
    int r = bitrev_[t];
    zr[r] = in[2 * t];
    zi[r] = in[2 * t + 1];
  }
  // First pass: butterflies with twiddle 1.
  for (int i = 0; i < half_; i += 2) {
    double ar = zr[i], ai = zi[i], br = zr[i + 1], bi = zi[i + 1];
    zr[i] = ar + br;
    zi[i] = ai + bi;
    zr[i + 1] = ar - br;
    zi[i + 1] = ai - bi;
  }
  for (int len = 4; len <= half_; len <<= 1) {
    int step = half_ / len;
    int m = len / 2;
    if (avx2_ && len >= 8) {
      FftPassAvx2(zr, zi, passRe_.data() + (m - 4), passIm_.data() + (m - 4), half_, len);
      continue;
    }
    for (int base = 0; base < half_; base += len) {
      double* ar = zr + base;
      double* ai = zi + base;
      double* br = zr + base + m;
      double* bi = zi + base + m;
      for (int j = 0; j < m; ++j) {
        double wr = twRe_[j * step], wi = twIm_[j * step];
        double tr = br[j] * wr - bi[j] * wi;
        double ti = br[j] * wi + bi[j] * wr;
        br[j] = ar[j] - tr;
        bi[j] = ai[j] - ti;
        ar[j] += tr;
        ai[j] += ti;
      }
    }
  }
  // Unpack: X[k] = E[k] + w^k O[k], with E, O the transforms of the even and odd samples,
  // E[k] = (Z[k] + conj Z[h-k]) / 2, O[k] = (Z[k] - conj Z[h-k]) / 2i.
  re[0] = zr[0] + zi[0];
  im[0] = 0;
  re[half_] = zr[0] - zi[0];
  im[half_] = 0;
  for (int k = 1; k <= half_ / 2; ++k) {
    int j = half_ - k;
    double er = 0.5 * (zr[k] + zr[j]), ei = 0.5 * (zi[k] - zi[j]);
    double orr = 0.5 * (zi[k] + zi[j]), oi = -0.5 * (zr[k] - zr[j]);
    double wr = postRe_[k], wi = postIm_[k];
    double tr = orr * wr - oi * wi, ti = orr * wi + oi * wr;
    re[k] = er + tr;
    im[k] = ei + ti;
    // Line h-k: E and O there are the conjugates of those at k; w^(h-k) = -conj(w^k).
    re[j] = er - tr;
    im[j] = -ei + ti;
  }
}

void ReferenceDft(int n, const double* in, double* re, double* im) {
  const double pi = std::numbers::pi;
  for (int k = 0; k <= n / 2; ++k) {
    double sr = 0, si = 0;
    for (int t = 0; t < n; ++t) {
      double a = 2 * pi * double((long long)k * t % n) / n;
      sr += in[t] * std::cos(a);
      si -= in[t] * std::sin(a);
    }
    re[k] = sr;
    im[k] = si;
  }
}

}  // namespace zr::mpeg::audio
