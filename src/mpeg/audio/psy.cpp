#include "mpeg/audio/psy.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "mpeg/dsp/dsp.h"

namespace zr::mpeg::audio {

namespace {

constexpr double kSampleRate = 44100.0;
// Lowest SNR a partition may ask for, by its critical band (dB).
constexpr std::array<double, 27> kMinSnr = {20,  20,  20,  20,  20,  17,  15,  10,  7,
                                            4.4, 4.5, 4.5, 4.5, 4.5, 4.5, 4.5, 4.5, 4.5,
                                            4.5, 4.5, 4.5, 4.5, 4.5, 4.5, 3.5, 3.5, 3.5};
constexpr double kNoiseMaskingDb = 5.5;
// Below any audible energy (a one-LSB sine gives ~65536): keeps silence at a finite ratio.
constexpr double kEnergyFloor = 1e-6;

double Spreading(double maskee, double masker) {
  double t = (maskee - masker) * 1.05;
  double x = 0.0;
  if (t >= 0.5 && t <= 2.5) {
    double u = t - 0.5;
    x = 8.0 * (u * u - 2.0 * u);
  }
  double v = t + 0.474;
  double y = 15.811389 + 7.5 * v - 17.5 * std::sqrt(1.0 + v * v);
  return y > -100.0 ? std::pow(10.0, (x + y) / 10.0) : 0.0;
}

}  // namespace

double CriticalBandRate(const std::vector<double>& edges, double hz) {
  if (hz <= edges.front()) return 0.0;
  for (size_t j = 1; j < edges.size(); ++j)
    if (hz <= edges[j]) return double(j - 1) + (hz - edges[j - 1]) / (edges[j] - edges[j - 1]);
  return double(edges.size() - 1);
}

double ThresholdInQuietDb(double khz) {
  return 3.64 * std::pow(khz, -0.8) - 6.5 * std::exp(-0.6 * (khz - 3.3) * (khz - 3.3)) +
         0.001 * std::pow(khz, 4.0);
}

PsyTables::PsyTables(const Layer2Tables& tables) {
  const double pi = std::numbers::pi;
  double windowSum = 0.0;
  for (int i = 0; i < kFftSize; ++i) {
    hann[i] = 0.5 * (1.0 - std::cos(2.0 * pi * (i - 0.5) / kFftSize));
    windowSum += hann[i];
  }

  // Absolute threshold. The standard's table for this rate is not at hand, so it is
  // derived: the threshold in quiet, line 0 taking line 1's value, shifted so that its
  // lowest point equals the peak line energy of a sine of amplitude one LSB (our FFT takes
  // samples in 16-bit units, unnormalised): |X| = A * sum(window) / 2 at the sine's line.
  std::array<double, kLines> db{};
  for (int k = 1; k < kLines; ++k) db[k] = ThresholdInQuietDb(k * kSampleRate / kFftSize / 1000.0);
  db[0] = db[1];
  double lowest = *std::min_element(db.begin(), db.end());
  double peak = windowSum / 2.0;
  double shift = 10.0 * std::log10(peak * peak) - lowest;
  for (int k = 0; k < kLines; ++k) absThreshold[k] = std::pow(10.0, (db[k] + shift) / 10.0);

  for (int k = 0; k < kLines; ++k) bark[k] = CriticalBandRate(tables.bandEdges, k * kSampleRate / kFftSize);
  for (int k = 0; k < kLines; ++k) {
    if (k == 0 || bark[k] - bark[firstLine.back()] > 0.33) {
      firstLine.push_back(k);
      numLines.push_back(0);
    }
    partitionOf[k] = int16_t(firstLine.size() - 1);
    ++numLines.back();
  }
  partitions = int(firstLine.size());
  cbval.assign(partitions, 0.0);
  for (int k = 0; k < kLines; ++k) cbval[partitionOf[k]] += bark[k];
  for (int p = 0; p < partitions; ++p) cbval[p] /= numLines[p];

  spread.assign(size_t(partitions) * partitions, 0.0);
  rnorm.assign(partitions, 0.0);
  tmn.assign(partitions, 0.0);
  minSnr.assign(partitions, 0.0);
  for (int i = 0; i < partitions; ++i) {
    for (int j = 0; j < partitions; ++j) {
      double s = Spreading(cbval[i], cbval[j]);
      spread[size_t(i) * partitions + j] = s;
      rnorm[i] += s;
    }
    const double* row = &spread[size_t(i) * partitions];
    int first = 0, end = partitions;
    while (first < end && row[first] == 0.0) ++first;
    while (end > first && row[end - 1] == 0.0) --end;
    spreadFirst.push_back(first);
    spreadEnd.push_back(end);
    tmn[i] = std::max(15.5 + cbval[i], 24.5);
    int band = std::clamp(int(std::lround(cbval[i])), 0, int(kMinSnr.size()) - 1);
    minSnr[i] = kMinSnr[band];
  }
}

void PredictLinesRef(const LineSpectra& s, int lines) {
  for (int k = 0; k < lines; ++k) {
    double e = s.re[k] * s.re[k] + s.im[k] * s.im[k];
    double r = std::sqrt(e);
    double c1 = s.cos1[k], s1 = s.sin1[k], c2 = s.oldCos[k], s2 = s.oldSin[k];
    double sqr = c1 * c1 - s1 * s1, sqi = 2.0 * c1 * s1;
    double pc = sqr * c2 + sqi * s2, ps = sqi * c2 - sqr * s2;
    double rp = 2.0 * s.mag1[k] - s.oldMag[k];
    double dr = s.re[k] - rp * pc, di = s.im[k] - rp * ps;
    double denom = r + std::fabs(rp);
    s.unpred[k] = denom > 0.0 ? std::sqrt(dr * dr + di * di) / denom : 0.0;
    s.energy[k] = e;
    s.oldMag[k] = r;
    s.oldCos[k] = r > 0.0 ? s.re[k] / r : 1.0;
    s.oldSin[k] = r > 0.0 ? s.im[k] / r : 0.0;
  }
}

PsyModel::PsyModel(const PsyTables& tables, bool fast)
    : t_(tables),
      predict_(fast && dsp::CpuHasAvx2() ? PredictLinesAvx2 : PredictLinesRef),
      trimSpread_(fast),
      fft_(kFftSize, fast) {
  eb_.assign(t_.partitions, 0.0);
  cb_.assign(t_.partitions, 0.0);
  ecb_.assign(t_.partitions, 0.0);
  ct_.assign(t_.partitions, 0.0);
  partThreshold_.assign(t_.partitions, 0.0);
  Reset();
}

void PsyModel::Reset() {
  buffer_.fill(0.0);
  tail_.fill(0.0);
  for (int s = 0; s < 2; ++s) {
    mag_[s].fill(0.0);
    cosPh_[s].fill(1.0);
    sinPh_[s].fill(0.0);
  }
  newest_ = 0;
}

void PsyModel::Analyse(const int16_t* block, double* smr) {
  // The analysis sees contiguous sound: the 480 samples just before this block, then its
  // first 576. (Keeping the previous buffer's samples 576..1055 instead would splice two
  // frames 576 samples apart, and the splice's splatter would mask nothing yet cost bits
  // in every band.)
  std::copy(tail_.begin(), tail_.end(), buffer_.begin());
  for (int i = 0; i < 576; ++i) buffer_[480 + i] = block[i];
  for (int i = 0; i < 480; ++i) tail_[i] = block[kFrameSamples - 480 + i];
  for (int i = 0; i < kFftSize; ++i) windowed_[i] = buffer_[i] * t_.hann[i];
  fft_.Forward(windowed_.data(), re_.data(), im_.data());

  // Predict each line from the two spectra before (magnitude 2r1 - r2, phase 2p1 - p2) and
  // measure how far off the prediction is: tonal lines are predictable.
  const int p1 = newest_, p2 = 1 - newest_;
  const LineSpectra spectra{re_.data(),         im_.data(),         mag_[p1].data(),
                            cosPh_[p1].data(),  sinPh_[p1].data(),  mag_[p2].data(),
                            cosPh_[p2].data(),  sinPh_[p2].data(),  energy_.data(),
                            unpred_.data()};
  predict_(spectra, kLines);
  newest_ = p2;

  const int np = t_.partitions;
  std::fill(eb_.begin(), eb_.end(), 0.0);
  std::fill(cb_.begin(), cb_.end(), 0.0);
  for (int k = 0; k < kLines; ++k) {
    eb_[t_.partitionOf[k]] += energy_[k];
    cb_[t_.partitionOf[k]] += energy_[k] * unpred_[k];
  }
  for (int i = 0; i < np; ++i) {
    const double* row = &t_.spread[size_t(i) * np];
    double se = 0.0, sc = 0.0;
    const int first = trimSpread_ ? t_.spreadFirst[i] : 0;
    const int end = trimSpread_ ? t_.spreadEnd[i] : np;
    for (int j = first; j < end; ++j) {
      se += row[j] * eb_[j];
      sc += row[j] * cb_[j];
    }
    ecb_[i] = se;
    ct_[i] = sc;
  }
  for (int i = 0; i < np; ++i) {
    double cbn = ecb_[i] > 0.0 ? ct_[i] / ecb_[i] : 0.5;
    cbn = std::clamp(cbn, 0.05, 0.5);
    double tb = -0.301029996 - 0.434294482 * std::log(cbn);
    double snr = std::max(tb * t_.tmn[i] + (1.0 - tb) * kNoiseMaskingDb, t_.minSnr[i]);
    double norm = t_.rnorm[i] * t_.numLines[i];
    partThreshold_[i] = norm > 0.0 ? ecb_[i] * std::pow(10.0, -snr / 10.0) / norm : 0.0;
  }
  for (int k = 0; k < kLines; ++k)
    threshold_[k] = std::max(partThreshold_[t_.partitionOf[k]], t_.absThreshold[k]);

  // Each subband spans 16 lines; its window takes 17 (the next band's first line too).
  for (int sb = 0; sb < kSubbands; ++sb) {
    double esum = 0.0, tsum = 0.0, tmin = threshold_[16 * sb];
    for (int k = 16 * sb; k <= 16 * sb + 16; ++k) {
      esum += energy_[k];
      tsum += threshold_[k];
      tmin = std::min(tmin, threshold_[k]);
    }
    double noise = sb < 13 ? 17.0 * tmin : tsum;
    smr[sb] = 10.0 * std::log10(std::max(esum, kEnergyFloor) / noise);
  }
}

}  // namespace zr::mpeg::audio
