#include "mpeg/video/ratectl.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "mpeg/video/vlc.h"

namespace zr::mpeg {

namespace {

int64_t Round(double v) { return int64_t(std::floor(v + 0.5)); }

int ClampQuant(int64_t q) { return int(std::clamp<int64_t>(q, 2, 62)); }

double BlockVariance(const uint8_t* p, int stride) {
  int s1 = 0, s2 = 0;
  for (int j = 0; j < 8; ++j, p += stride)
    for (int i = 0; i < 8; ++i) {
      s1 += p[i];
      s2 += p[i] * p[i];
    }
  return s2 / 64.0 - (s1 / 64.0) * (s1 / 64.0);
}

}  // namespace

double MacroblockActivity(const uint8_t* y, int stride) {
  double v = std::min({BlockVariance(y, stride), BlockVariance(y + 8, stride),
                       BlockVariance(y + 8 * stride, stride),
                       BlockVariance(y + 8 * stride + 8, stride)});
  return 1.0 + v;
}

void RateControl::InitSequence(double bitRate, double pictureRate, int mbCount,
                               int vbvBufferSize) {
  *this = RateControl{};
  bitRate_ = bitRate;
  pictureRate_ = pictureRate;
  mbCount_ = std::max(1, mbCount);
  vbvBufferSize_ = vbvBufferSize;
  r_ = Round(2.0 * bitRate / pictureRate);
  avgAct_ = 400.0;
  R_ = 0;
  Xi_ = Round(bitRate * 160.0 / 115.0);
  Xp_ = Round(bitRate * 60.0 / 115.0);
  Xb_ = Round(bitRate * 42.0 / 115.0);
  d0i_ = Round(10.0 * r_ / 31.0);
  d0p_ = d0i_;
  d0b_ = Round(14.0 * r_ / 31.0);
}

void RateControl::InitGop(int np, int nb) {
  R_ += Round((1 + np + nb) * bitRate_ / pictureRate_);
  Np_ = np;
  Nb_ = nb;
}

void RateControl::InitPicture(int pictureType, const std::vector<double>& activity,
                              int64_t bitCount) {
  pictureType_ = pictureType;
  double R = double(R_), Xi = double(Xi_), Xp = double(Xp_), Xb = double(Xb_);
  double denominator;
  switch (pictureType) {
    case kPictureI:
      denominator = 1.0 + Np_ * Xp / (Xi * 1.0) + Nb_ * Xb / (Xi * 1.4);
      d_ = d0i_;
      break;
    case kPictureP:
      denominator = Np_ + Nb_ * 1.0 * Xb / (1.4 * Xp);
      d_ = d0p_;
      break;
    default:
      denominator = Nb_ + Np_ * 1.4 * Xp / (1.0 * Xb);
      d_ = d0b_;
      break;
  }
  // Complexities of 0 or a GOP whose counts ran out would divide by zero; the minimum
  // target below then takes over.
  T_ = std::isfinite(denominator) && denominator > 0 ? Round(R / denominator) : 0;
  T_ = std::max(T_, Round(bitRate_ / (8.0 * pictureRate_)));
  S_ = bitCount;
  Q_ = 0;
  activity_ = &activity;
  actsum_ = 0;
}

int RateControl::StartMacroblocks() {
  int mquant = ClampQuant(2 * Round(double(d_) * 31.0 / double(r_)));
  prevMquant_ = mquant;
  return mquant;
}

int RateControl::MacroblockQuant(int j, int64_t bitCount) {
  int64_t dj = d_ + (bitCount - S_) - int64_t(j) * (T_ / mbCount_);
  double Qj = double(dj) * 31.0 / double(r_);
  double act = (*activity_)[size_t(j)];
  actsum_ += act;
  double nAct = (2.0 * act + avgAct_) / (act + 2.0 * avgAct_);
  int mquant = ClampQuant(2 * Round(Qj * nAct));
  // Small changes at coarse quantisers are not worth the quantiser_scale bits.
  if (mquant >= 8 && std::abs(mquant - prevMquant_) <= 4) mquant = prevMquant_;
  prevMquant_ = mquant;
  Q_ += mquant;
  return mquant;
}

void RateControl::UpdatePicture(int64_t bitCount) {
  S_ = bitCount - S_;
  R_ -= S_;
  int64_t X = Round(double(S_) * (0.5 * double(Q_)) / mbCount_);
  d_ += S_ - T_;
  avgAct_ = actsum_ / mbCount_;
  switch (pictureType_) {
    case kPictureI:
      Xi_ = X;
      d0i_ = d_;
      break;
    case kPictureP:
      Xp_ = X;
      d0p_ = d_;
      --Np_;
      break;
    default:
      Xb_ = X;
      d0b_ = d_;
      --Nb_;
      break;
  }
}

void RateControl::VbvEndOfPicture(int64_t bitCount) { bitcntEop_ = (bitCount + 7) & ~int64_t(7); }

int RateControl::CalcVbvDelay(int pictureType, int64_t bitCount) {
  double pictureDelay;
  if (pictureType == kPictureB) {
    pictureDelay = 90000.0 / pictureRate_;
  } else {
    pictureDelay = nextAnchorDelay_;
    nextAnchorDelay_ = 90000.0 / pictureRate_;
  }
  if (decodingTime_ == 0.0)
    pictureDelay = double((int64_t(vbvBufferSize_) * 16384 * 7) / 8) * 90000.0 / bitRate_;
  const int underflowBefore = underflow_;
  if (double(bitcntEop_) * 90000.0 / bitRate_ > decodingTime_) ++underflow_;
  decodingTime_ += pictureDelay;
  double delay = decodingTime_ - double(bitCount) * 90000.0 / bitRate_;
  if (decodingTime_ - double(bitcntEop_) * 90000.0 / bitRate_ >
      double(vbvBufferSize_) * 16384.0 * 90000.0 / bitRate_)
    ++overflow_;
  int64_t vbvDelay = int64_t(delay);
  if (vbvDelay < 0) ++underflow_;
  if (underflow_ != underflowBefore) ++underflowPictures_;
  if (vbvDelay < 0) return 0;
  if (vbvDelay > 65535) {
    ++overflow_;
    return 65535;
  }
  return int(vbvDelay);
}

}  // namespace zr::mpeg
