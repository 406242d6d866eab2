#include "mpeg/video/hq_ratectl.h"

#include <algorithm>
#include <cmath>

#include "mpeg/video/vlc.h"

namespace zr::mpeg {

namespace {

// Quantiser of each picture type (1 I, 2 P, 3 B) against the GOP's base: anchors are
// predicted from, B pictures by none, so their bits buy the least.
constexpr double kRatio[4] = {1.0, 0.8, 1.0, 1.4};
// Bits the VBV keeps in hand below a picture's deadline, for rounding and start codes.
constexpr int64_t kSafetyBits = 2048;
constexpr double kFill = 0.8;

// Weight of the newest picture in each per-quantiser bits-per-level figure.
constexpr double kNewest = 0.5;
// Fewer levels than this at a quantiser say too little about its bits per level.
constexpr int64_t kFewestLevels = 64;

}  // namespace

void HqRateControl::InitSequence(double bitRate, double pictureRate, int mbCount,
                                 int vbvBufferSize, int pictures) {
  *this = HqRateControl{};
  bitRate_ = bitRate;
  pictureRate_ = pictureRate;
  mbCount_ = std::max(1, mbCount);
  bufferBits_ = double(vbvBufferSize) * 16384.0;
  // Room for a large first I picture, and for pictures under their budget without an
  // overflow.
  initialFill_ = kFill * bufferBits_;
  pictures_ = pictures;
  // Complexities before any picture of a type is coded: the classic I share, but our P and
  // B pictures cost far less than the classic priors say (B several times less), and an
  // overestimate here starves the first I picture.
  const double start[4] = {0, 160, 40, 10};
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

double HqRateControl::BitsPerLevel(const TypeModel& m, int k) {
  // Unmeasured quantisers borrow from the nearest measured one, finer first.
  for (int d = 0; d < kQuants; ++d) {
    if (k - d >= 0 && m.measured[k - d]) return m.bitsPerLevel[k - d];
    if (k + d < kQuants && m.measured[k + d]) return m.bitsPerLevel[k + d];
  }
  return 6.0;
}

double HqRateControl::LevelBits(const TypeModel& m, const int64_t* counts, double k) {
  // The rows are shared out between the two neighbours of a fractional index.
  const int below = std::min(int(k), kQuants - 2);
  const double f = k - below;
  return (1 - f) * BitsPerLevel(m, below) * double(counts[below]) +
         f * BitsPerLevel(m, below + 1) * double(counts[below + 1]);
}

double HqRateControl::TypeBits(int type, double k) const {
  const TypeModel& m = model_[type];
  if (!m.haveLevels) return m.complexity / Mquant(k);
  return LevelBits(m, m.levels, k) + m.headerPerMb * mbCount_;
}

double HqRateControl::Estimate(int k, double nz, int mbs) const {
  const TypeModel& m = model_[type_];
  return BitsPerLevel(m, k) * nz + m.headerPerMb * mbs;
}

double HqRateControl::PlanPicture(int type, const int64_t* nzByQuant, int64_t bitCount) {
  type_ = type;
  start_ = bitCount;
  // One base quantiser for the rest of the GOP, each type at its fixed ratio to it: this
  // picture's bits from its own level counts, the others' from the counts of the last
  // picture of their type. The smallest base whose total fits the GOP budget wins.
  const int np = Np_ - (type == kPictureP), nb = Nb_ - (type == kPictureB);
  auto indexOf = [](double mquant) { return std::clamp(mquant / 2.0 - 1.0, 0.0, kQuants - 1.0); };
  auto others = [&](double base) {
    return np * TypeBits(kPictureP, indexOf(base * kRatio[kPictureP])) +
           nb * TypeBits(kPictureB, indexOf(base * kRatio[kPictureB]));
  };
  const double room = double(EndLimit() - bitCount - kSafetyBits);
  auto bits = [&](double i) {
    return LevelBits(model_[type], nzByQuant, i) + model_[type].headerPerMb * mbCount_;
  };
  double k = kQuants - 1;
  for (double base = 2.0; base <= 62.0 * 1.5; base *= 1.02) {
    const double i = indexOf(base * kRatio[type]);
    const double budget = R_ - others(base);
    if (bits(i) <= budget) {
      k = i;
      break;
    }
  }
  // A surplus late in the GOP buys little in B pictures, which nothing is predicted from:
  // they stay at their ratio to the last anchor and the surplus goes on to the next GOP.
  if (type == kPictureB && model_[kPictureP].lastQuant >= 0)
    k = std::max(k, indexOf(Mquant(model_[kPictureP].lastQuant) * kRatio[kPictureB] /
                            kRatio[kPictureP]));
  model_[type].haveLevels = true;
  std::copy(nzByQuant, nzByQuant + kQuants, model_[type].levels);
  // The VBV deadline comes first; the rows' own check keeps it should the estimate be low.
  while (k < kQuants - 1 && bits(k) > room) k = std::min(k + 0.25, kQuants - 1.0);
  T_ = int64_t(std::min(bits(k), std::max(0.0, room)));
  return k;
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

void HqRateControl::EndPicture(int64_t codedEnd, int64_t stuffedEnd, const int64_t* nz,
                               const int64_t* coefBits, double quantIndex) {
  const double S = double(codedEnd - start_);
  R_ -= double(stuffedEnd - start_);
  TypeModel& m = model_[type_];
  m.lastQuant = quantIndex;
  m.complexity = std::max(1.0, S * Mquant(quantIndex));
  double levelBits = 0;
  for (int k = 0; k < kQuants; ++k) {
    levelBits += double(coefBits[k]);
    if (nz[k] < kFewestLevels) continue;
    const double bpl = std::clamp(double(coefBits[k]) / double(nz[k]), 0.25, 40.0);
    m.bitsPerLevel[k] = m.measured[k] ? (1 - kNewest) * m.bitsPerLevel[k] + kNewest * bpl : bpl;
    m.measured[k] = true;
  }
  m.headerPerMb = std::max(0.0, (S - levelBits) / mbCount_);
  if (double(codedEnd) > ArrivalAtDecode(coded_)) ++underflow_;
  if (coded_ + 1 < pictures_ && ArrivalAtDecode(coded_ + 1) - double(stuffedEnd) > bufferBits_)
    ++overflow_;
  if (type_ == kPictureP) --Np_;
  if (type_ == kPictureB) --Nb_;
  ++coded_;
}

int HqRateControl::ExpectedQuant(int type) const {
  for (int from : {type, int(kPictureP), int(kPictureI)}) {
    const double k = model_[from].lastQuant;
    if (k >= 0)
      return std::clamp(int(std::lround(Mquant(k) * kRatio[type] / kRatio[from] / 2.0)) - 1, 0,
                        kQuants - 1);
  }
  return 3;
}

int64_t HqRateControl::FinalStuffingBytes(int64_t alignedEnd) const {
  // The sequence end code follows.
  const double target = bitRate_ * pictures_ / pictureRate_ - 32.0;
  const double missing = std::min(target - double(alignedEnd), 0.9 * bufferBits_);
  return missing > 0 ? int64_t(missing / 8.0) : 0;
}

}  // namespace zr::mpeg
