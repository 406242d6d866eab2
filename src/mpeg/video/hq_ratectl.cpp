#include "mpeg/video/hq_ratectl.h"

#include <algorithm>
#include <cmath>

#include "mpeg/video/vlc.h"

namespace zr::mpeg {

namespace {

// Quantiser weights per picture type (1 I, 2 P, 3 B): B pictures are referenced by none,
// so their bits buy the least.
constexpr double kWeight[4] = {1.0, 1.0, 1.0, 1.15};
// Bits the VBV keeps in hand below a picture's deadline, for rounding and start codes.
constexpr int64_t kSafetyBits = 2048;

}  // namespace

void HqRateControl::InitSequence(double bitRate, double pictureRate, int mbCount,
                                 int vbvBufferSize, int pictures) {
  *this = HqRateControl{};
  bitRate_ = bitRate;
  pictureRate_ = pictureRate;
  mbCount_ = std::max(1, mbCount);
  bufferBits_ = double(vbvBufferSize) * 16384.0;
  // Room for a first I picture as large as most of the buffer.
  initialFill_ = 0.9 * bufferBits_;
  pictures_ = pictures;
  const double start[4] = {0, 160, 60, 42};
  const double header[4] = {0, 40, 12, 8};
  for (int t = 1; t <= 3; ++t) {
    model_[t].complexity = bitRate * start[t] / 115.0;
    model_[t].headerPerMb = header[t];
  }
}

void HqRateControl::InitGop(int np, int nb) {
  R_ += (1 + np + nb) * bitRate_ / pictureRate_;
  Np_ = np;
  Nb_ = nb;
}

double HqRateControl::ArrivalAtDecode(int64_t picture) const {
  return initialFill_ + double(picture) * bitRate_ / pictureRate_;
}

double HqRateControl::Estimate(double nz, int mbs) const {
  const TypeModel& m = model_[type_];
  return m.bitsPerLevel * nz + m.headerPerMb * mbs;
}

int HqRateControl::PlanPicture(int type, const int64_t* nzByQuant, int64_t bitCount) {
  type_ = type;
  start_ = bitCount;
  const double xi = model_[1].complexity / kWeight[1], xp = model_[2].complexity / kWeight[2],
               xb = model_[3].complexity / kWeight[3];
  double denominator;
  if (type == 1) denominator = 1.0 + Np_ * xp / xi + Nb_ * xb / xi;
  else if (type == 2) denominator = Np_ + Nb_ * xb / xp;
  else denominator = Nb_ + Np_ * xp / xb;
  double T = std::isfinite(denominator) && denominator > 0 ? R_ / denominator : 0;
  T = std::max(T, bitRate_ / (8.0 * pictureRate_));
  const double room = double(EndLimit() - bitCount - kSafetyBits);
  T = std::min(T, 0.9 * room);
  T_ = int64_t(T);
  for (int k = 0; k < kQuants; ++k)
    if (Estimate(double(nzByQuant[k]), mbCount_) <= T) return k;
  return kQuants - 1;
}

int HqRateControl::VbvDelay(int64_t bitCount) const {
  const double ticks = 90000.0 * (ArrivalAtDecode(coded_) - double(bitCount)) / bitRate_;
  return int(std::clamp(std::floor(ticks), 0.0, 65535.0));
}

int64_t HqRateControl::EndLimit() const {
  return int64_t(std::floor(ArrivalAtDecode(coded_))) - 64;
}

int64_t HqRateControl::StuffingBytes(int64_t alignedEnd) const {
  if (coded_ + 1 >= pictures_) return 0;
  const double need = ArrivalAtDecode(coded_ + 1) - bufferBits_ + 1024.0 - double(alignedEnd);
  return need > 0 ? int64_t(std::ceil(need / 8.0)) : 0;
}

void HqRateControl::EndPicture(int64_t codedEnd, int64_t stuffedEnd, int64_t nz,
                               int64_t coefBits, int quantIndex) {
  const double S = double(codedEnd - start_);
  R_ -= double(stuffedEnd - start_);
  TypeModel& m = model_[type_];
  m.complexity = std::max(1.0, S * Mquant(quantIndex));
  if (nz > 0) m.bitsPerLevel = std::clamp(double(coefBits) / double(nz), 1.5, 40.0);
  m.headerPerMb = std::max(0.0, (S - double(coefBits)) / mbCount_);
  if (double(codedEnd) > ArrivalAtDecode(coded_)) ++underflow_;
  if (coded_ + 1 < pictures_ && ArrivalAtDecode(coded_ + 1) - double(stuffedEnd) > bufferBits_)
    ++overflow_;
  if (type_ == kPictureP) --Np_;
  if (type_ == kPictureB) --Nb_;
  ++coded_;
}

int64_t HqRateControl::FinalStuffingBytes(int64_t alignedEnd) const {
  // The sequence end code follows.
  const double target = bitRate_ * pictures_ / pictureRate_ - 32.0;
  const double missing = std::min(target - double(alignedEnd), 0.9 * bufferBits_);
  return missing > 0 ? int64_t(missing / 8.0) : 0;
}

}  // namespace zr::mpeg
