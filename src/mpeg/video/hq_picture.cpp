#include "mpeg/video/hq_picture.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "mpeg/video/headers.h"
#include "mpeg/video/hq_quant.h"
#include "mpeg/video/reconstruct.h"
#include "mpeg/video/skip.h"
#include "mpeg/video/vlc.h"

namespace zr::mpeg {

namespace {

constexpr int kQuants = HqRateControl::kQuants;

// Highest quantiser index at which an intra AC value of (32|x| + W/2) / W is non-zero.
struct IntraLimits {
  static constexpr int kSize = 8448;
  int8_t k[kSize];
  IntraLimits() {
    for (int m = 0; m < kSize; ++m) {
      k[m] = -1;
      for (int i = 0; i < kQuants; ++i) {
        const int q = HqRateControl::Mquant(i);
        if ((m + (3 * q + 2) / 4) / (2 * q) >= 1) k[m] = int8_t(i);
      }
    }
  }
};

const IntraLimits& Limits() {
  static const IntraLimits limits;
  return limits;
}

}  // namespace

LevelCounter::LevelCounter(const uint8_t* intraMatrix, const uint8_t* nonIntraMatrix) {
  for (int i = 0; i < 64; ++i)
    for (bool intra : {true, false}) {
      const uint32_t w = std::max<uint32_t>(1, intra ? intraMatrix[i] : nonIntraMatrix[i]);
      Position& at = intra ? intra_[i] : nonIntra_[i];
      at.mul = ((uint64_t(1) << 32) + w - 1) / w;
      at.w2 = uint16_t(w / 2);
      // Non-zero at mquant 2 from a scaled value of 2 (intra, with its rounding) or 4.
      const uint32_t need = (intra ? 2 : 4) * w - w / 2;
      at.smallest = uint16_t((need + 31) / 32);
      (intra ? intraSmallest_ : nonIntraSmallest_)[i] =
          int16_t(std::min<uint32_t>(at.smallest, INT16_MAX));
    }
}

void LevelCounter::Curve(bool intra, const int16_t coef[6][64], uint16_t curve[kQuants]) const {
  int count[kQuants] = {};
  const IntraLimits& limits = Limits();
  const Position* at = intra ? intra_ : nonIntra_;
  const int16_t* smallest = intra ? intraSmallest_ : nonIntraSmallest_;
  for (int b = 0; b < 6; ++b)
    for (uint64_t mask = AtLeastMask(coef[b], smallest) & ~uint64_t(intra); mask;
         mask &= mask - 1) {
      const int i = __builtin_ctzll(mask);
      const uint32_t a = uint32_t(std::abs(coef[b][i]));
      // Exact: the numerator stays below 2^21 and W below 256.
      const int m = int((uint64_t(32 * a + at[i].w2) * at[i].mul) >> 32);
      const int k = intra ? limits.k[std::min(m, IntraLimits::kSize - 1)]
                          : std::min(m / 4 - 1, kQuants - 1);  // non-zero while 2 * mquant <= m
      if (k >= 0) ++count[k];
    }
  int sum = 0;
  for (int k = kQuants - 1; k >= 0; --k) {
    sum += count[k];
    curve[k] = uint16_t(sum);
  }
}

int RunLevelBits(bool intra, const int16_t* levels) {
  const PairBitsTable& t = PairBitsOf();
  const int start = intra ? 1 : 0;
  int bits = 0, last = start - 1;
  bool first = !intra;
  for (uint64_t mask = ScanMask(levels) >> start << start; mask; mask &= mask - 1) {
    const int i = __builtin_ctzll(mask);
    bits += PairBits(t, i - last - 1, std::abs(levels[kZigZag[i]]), first);
    first = false;
    last = i;
  }
  return bits;
}

void PutStuffing(BitWriter& out, int64_t bytes) {
  out.AlignBits();
  for (int64_t i = 0; i < bytes; ++i) out.PutBits(0, 8);
}

void HqPictureCoder::CodePicture(const PictureJob& job) {
  const int mbw = p_.mbWidth, mbh = p_.mbHeight, mbCount = mbw * mbh;
  const Frame& src = *job.source;
  coef_.resize(size_t(mbCount) * 384);
  pred_.resize(size_t(mbCount));
  curves_.resize(size_t(mbCount));
  auto coefOf = [&](int k) { return reinterpret_cast<int16_t(*)[64]>(&coef_[size_t(k) * 384]); };

  const MacroblockPlace first = PlaceOf(job, 0, mbw, mbCount);
  const int fcodeF = first.forwardFcode, fcodeB = first.backwardFcode;
  const bool choose = job.type != kPictureI;
  if (choose)
    modes_.StartPicture(job.type, fcodeF, fcodeB, job.forwardRef, job.backwardRef,
                        HqRateControl::Mquant(rc_.ExpectedQuant(job.type)));
  int64_t totals[kQuants] = {};
  for (int k = 0; k < mbCount; ++k) {
    const MacroblockPlace at = PlaceOf(job, k, mbw, mbCount);
    MacroblockInfo& mb = job.mbs[k];
    if (choose) {
      if (at.firstInSlice) modes_.StartSlice();
      modes_.Choose(src, at.x, at.y, at.firstInSlice, at.lastInSlice, mb, pred_[size_t(k)],
                    coefOf(k));
    } else {
      PredictMacroblock(mb, job.forwardRef, job.backwardRef, at.x, at.y, pred_[size_t(k)]);
      TransformMacroblock(dsp_, src, at.x, at.y, pred_[size_t(k)], coefOf(k));
    }
    counter_.Curve(mb.flags & kMbIntra, coefOf(k), curves_[size_t(k)].data());
    for (int q = 0; q < kQuants; ++q) totals[q] += curves_[size_t(k)][size_t(q)];
  }
  const double planned = rc_.PlanPicture(job.type, totals, out_.BitCount());

  PictureHeader header;
  header.type = job.type;
  header.temporalReference = job.temporalReference;
  header.forwardFcode = fcodeF;
  header.backwardFcode = fcodeB;
  WritePictureHeader(out_, header, [&](int64_t bits) { return rc_.VbvDelay(bits); });

  const int64_t limit = rc_.EndLimit() - 1024;
  // Rows share the fractional quantiser out between its two neighbours, evenly spread;
  // the slice headers carry the change for free.
  const int below = std::min(int(planned), kQuants - 1);
  const double finer = planned - below;
  double spread = 0.5;
  int raised = 0;  // the deadline's floor, only ever rising
  int quant = below;
  int64_t remaining[kQuants];
  std::memcpy(remaining, totals, sizeof remaining);
  // Per quantiser index: levels before the rate-distortion trims, their bits after them.
  int64_t counted[kQuants] = {}, coefBits[kQuants] = {};
  int prevFlags = 0;
  alignas(16) int16_t levels[6][64];

  for (int k = 0; k < mbCount; ++k) {
    const MacroblockPlace at = PlaceOf(job, k, mbw, mbCount);
    const int row = at.row, col = at.col;
    if (col == 0) {
      spread += finer;
      quant = std::max(raised, spread >= 1.0 ? std::min(below + 1, kQuants - 1) : below);
      if (spread >= 1.0) spread -= 1.0;
    }
    int mquant = HqRateControl::Mquant(quant);
    if (at.firstInSlice) {
      WriteSliceHeader(out_, row, mquant);
      syntax_.StartSlice(col, mquant);
    }
    // Only a deadline in danger moves the quantiser; past the coarsest, the levels go.
    auto over = [&](int q) {
      return double(out_.BitCount()) + rc_.Estimate(q, double(remaining[q]), mbCount - k) +
                 40.0 * (mbh - row) >
             double(limit);
    };
    while (quant < kQuants - 1 && over(quant)) raised = ++quant;
    const bool drop = over(quant);
    mquant = HqRateControl::Mquant(quant);
    for (int q = 0; q < kQuants; ++q) remaining[q] -= curves_[size_t(k)][size_t(q)];
    counted[quant] += curves_[size_t(k)][size_t(quant)];

    MacroblockInfo& mb = job.mbs[k];
    mb.mquant = mquant;
    const bool intra = mb.flags & kMbIntra;
    int16_t(*coef)[64] = coefOf(k);
    const FastQuantiser* fast = &dsp_ == &dsp::Reference() ? nullptr : &quantiser_;
    QuantiseMacroblock(intra, coef, levels, p_, fast, mquant);
    int cbp = intra ? 63 : 0;
    for (int b = 0; b < 6; ++b) {
      const uint8_t* matrix = intra ? p_.intraMatrix : p_.nonIntraMatrix;
      if (drop) std::memset(&levels[b][intra ? 1 : 0], 0, sizeof(int16_t) * (intra ? 63 : 64));
      // Half the mode decision's slope: tuned on the bench clips.
      if (RdQuantiseBlock(intra, coef[b], levels[b], matrix, mquant, 0.5 * RdLambda(mquant)) &&
          !intra) {
        const BlockRd r = NonIntraBlockRd(coef[b], levels[b], matrix, mquant);
        if (double(r.dropped) > double(r.coded) + RdLambda(mquant) * r.bits) cbp |= 32 >> b;
        else std::memset(levels[b], 0, sizeof levels[b]);
      }
      coefBits[quant] += RunLevelBits(intra, levels[b]);
    }
    EmitMacroblock(dsp_, p_, syntax_, at, mquant, cbp, levels, pred_[size_t(k)], job.recon,
                   prevFlags, mb);
  }

  const int64_t codedEnd = out_.BitCount();
  out_.AlignBits();
  PutStuffing(out_, rc_.StuffingBytes(out_.BitCount()));
  rc_.EndPicture(codedEnd, out_.BitCount(), counted, coefBits, planned);
}

void HqPictureCoder::FinishSequence() {
  out_.AlignBits();
  PutStuffing(out_, rc_.FinalStuffingBytes(out_.BitCount()));
}

}  // namespace zr::mpeg
