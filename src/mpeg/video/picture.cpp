#include "mpeg/video/picture.h"

#include <cstdlib>
#include <cstring>

#include "mpeg/video/format.h"
#include "mpeg/video/quant.h"
#include "mpeg/video/vlc.h"

namespace zr::mpeg {

namespace {

// A w x h block of the reference at half-pixel position (px2, py2), rounded averages.
void FormPrediction(const uint8_t* plane, int stride, int px2, int py2, int w, int h,
                    uint8_t* dst) {
  const uint8_t* s = plane + (py2 >> 1) * stride + (px2 >> 1);
  const int hx = px2 & 1, hy = py2 & 1;
  for (int j = 0; j < h; ++j, s += stride, dst += w)
    for (int i = 0; i < w; ++i) {
      if (hx && hy) dst[i] = uint8_t((s[i] + s[i + 1] + s[i + stride] + s[i + stride + 1] + 2) >> 2);
      else if (hx) dst[i] = uint8_t((s[i] + s[i + 1] + 1) >> 1);
      else if (hy) dst[i] = uint8_t((s[i] + s[i + stride] + 1) >> 1);
      else dst[i] = s[i];
    }
}

// Prediction of one macroblock from one reference: luminance 16x16 then Cb, Cr 8x8.
void PredictFrom(const Frame& ref, const int mv[2], int x, int y, uint8_t* out) {
  FormPrediction(ref.y.data(), ref.width, 2 * x + mv[0], 2 * y + mv[1], 16, 16, out);
  // Chroma vectors are the luminance ones halved toward zero, in chroma half pixels.
  const int cx2 = x + mv[0] / 2, cy2 = y + mv[1] / 2;
  FormPrediction(ref.cb.data(), ref.width / 2, cx2, cy2, 8, 8, out + 256);
  FormPrediction(ref.cr.data(), ref.width / 2, cx2, cy2, 8, 8, out + 320);
}

inline uint8_t Clip255(int v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Block b of a macroblock (Y0..Y3, Cb, Cr): its origin in the prediction layout above and
// in the picture plane.
struct BlockPlace {
  int component;
  int predOffset, predStride;
  int planeX, planeY;  // relative to the macroblock's origin in that plane
};
constexpr BlockPlace kBlocks[6] = {{0, 0, 16, 0, 0},   {0, 8, 16, 8, 0},  {0, 128, 16, 0, 8},
                                   {0, 136, 16, 8, 8}, {1, 256, 8, 0, 0}, {2, 320, 8, 0, 0}};

}  // namespace

void PictureCoder::Predict(const PictureJob& job, const MacroblockInfo& mb, int x, int y,
                           uint8_t pred[6][64]) {
  uint8_t* out = &pred[0][0];
  if (mb.flags & kMbIntra) {
    std::memset(out, 128, 384);
    return;
  }
  const bool fwd = (mb.flags & kMbForward) || !(mb.flags & kMbBackward);
  const bool bwd = mb.flags & kMbBackward;
  if (fwd && bwd) {
    uint8_t other[384];
    PredictFrom(*job.forwardRef, mb.mvForward, x, y, out);
    PredictFrom(*job.backwardRef, mb.mvBackward, x, y, other);
    for (int i = 0; i < 384; ++i) out[i] = uint8_t((out[i] + other[i] + 1) >> 1);
  } else if (fwd) {
    // Also the P macroblock without motion compensation: its vector is (0, 0).
    PredictFrom(*job.forwardRef, mb.mvForward, x, y, out);
  } else {
    PredictFrom(*job.backwardRef, mb.mvBackward, x, y, out);
  }
}

void PictureCoder::PutMotionComponent(int value, int& predictor, int fcode) {
  const int rSize = fcode - 1, f = 1 << rSize;
  int delta = value - predictor;
  if (delta > 16 * f - 1) delta -= 32 * f;
  if (delta < -16 * f) delta += 32 * f;
  if (delta < -16 * f || delta > 16 * f - 1) log_.Line("Motion vector out of range");
  const int t = std::abs(delta) + f - 1;
  const int code = t >> rSize;
  out_.Put(MotionCode(code));
  if (code != 0) out_.PutBits(delta < 0 ? 1 : 0, 1);
  if (fcode != 1 && code != 0) out_.PutBits(uint32_t(t & (f - 1)), rSize);
  predictor = value;
}

void PictureCoder::PutRunLevel(int run, int level) {
  const int absLevel = std::abs(level);
  if ((run <= 1 && absLevel <= 40) || (run <= 31 && absLevel <= 5)) {
    Vlc code = CoefficientCode(run, absLevel);
    if (code.len) {
      out_.Put(code);
      out_.PutBits(level < 0 ? 1 : 0, 1);
      return;
    }
  }
  if (run < 0 || run > 63 || level == 0 || absLevel > 255)
    ShowRecoveryFailure(Format("AC value out of range (run=%d, signed_level=%d)\n", run, level));
  out_.Put(kCoefficientEscape);
  out_.PutBits(uint32_t(run), 6);
  if (level > 127) out_.PutBits(0, 8);
  if (level < -127) out_.PutBits(128, 8);
  out_.PutBits(uint32_t(level) & 255, 8);
}

void PictureCoder::PutIntraBlock(const int16_t* levels, int component) {
  const int dc = levels[0];
  const int diff = dc - dcPred_[component];
  dcPred_[component] = dc;
  const int absDiff = std::abs(diff);
  if (absDiff >= 256) ShowRecoveryFailure(Format("DC value out of range (%d)\n", diff));
  int size = 0;
  while (size < 31 && (absDiff >> size)) ++size;
  out_.Put(DcSizeCode(component == 0, size));
  if (size > 0) out_.PutBits(uint32_t(diff > 0 ? diff : diff + (1 << size) - 1), size);
  int run = 0;
  for (int i = 1; i < 64; ++i) {
    const int v = levels[kZigZag[i]];
    if (v == 0) {
      ++run;
      continue;
    }
    PutRunLevel(run, v);
    run = 0;
  }
  out_.Put(kEndOfBlock);
}

void PictureCoder::PutNonIntraBlock(const int16_t* levels) {
  int run = 0;
  bool first = true;
  for (int i = 0; i < 64; ++i) {
    const int v = levels[kZigZag[i]];
    if (v == 0) {
      ++run;
      continue;
    }
    if (first && run == 0 && (v == 1 || v == -1)) out_.PutBits(v < 0 ? 3 : 2, 2);
    else PutRunLevel(run, v);
    first = false;
    run = 0;
  }
  out_.Put(kEndOfBlock);
}

void PictureCoder::CodePicture(const PictureJob& job) {
  const int mbw = p_.mbWidth, mbh = p_.mbHeight, mbCount = mbw * mbh;
  const Frame& src = *job.source;
  const int W = src.width, CW = W / 2;

  activity_.resize(size_t(mbCount));
  for (int k = 0; k < mbCount; ++k)
    activity_[size_t(k)] = MacroblockActivity(src.y.data() + 16 * (k / mbw) * W + 16 * (k % mbw), W);
  rc_.InitPicture(job.type, activity_, out_.BitCount());

  out_.AlignBits();
  out_.PutBits(0x100, 32);
  const int vbvDelay = rc_.CalcVbvDelay(job.type, out_.BitCount());
  out_.PutBits(uint32_t(job.temporalReference) & 1023, 10);
  out_.PutBits(uint32_t(job.type), 3);
  out_.PutBits(uint32_t(vbvDelay), 16);
  const int fcodeF = job.record ? job.record->forwardFcodeH : 1;
  const int fcodeB = job.record ? job.record->backwardFcodeH : 1;
  if (job.type != kPictureI) {
    out_.PutBits(0, 1);
    out_.PutBits(uint32_t(fcodeF), 3);
  }
  if (job.type == kPictureB) {
    out_.PutBits(0, 1);
    out_.PutBits(uint32_t(fcodeB), 3);
  }
  out_.PutBits(0, 1);

  int mquant = rc_.StartMacroblocks();
  int transmitted = mquant;
  int pmv[2][2] = {};
  int prevFlags = 0;
  int increment = 1;
  alignas(16) uint8_t pred[6][64];
  alignas(16) int16_t coef[6][64];
  alignas(16) int16_t levels[6][64];

  for (int k = 0; k < mbCount; ++k) {
    const int row = k / mbw, col = k % mbw;
    const int x = 16 * col, y = 16 * row;
    const bool firstInSlice = col == 0 && RowStartsSlice(row);
    const bool lastInSlice = k == mbCount - 1 || (col == mbw - 1 && RowStartsSlice(row + 1));
    if (firstInSlice) {
      out_.AlignBits();
      out_.PutBits(uint32_t(0x101 + row), 32);
      out_.PutBits(uint32_t(mquant >> 1), 5);
      out_.PutBits(0, 1);
      transmitted = mquant;
      dcPred_[0] = dcPred_[1] = dcPred_[2] = 0;  // 1024 for an uncentred DC
      std::memset(pmv, 0, sizeof pmv);
      increment = col + 1;
    }
    MacroblockInfo& mb = job.mbs[k];
    Predict(job, mb, x, y, pred);

    // Difference blocks in the prediction's layout, then transformed.
    for (int b = 0; b < 6; ++b) {
      const BlockPlace& place = kBlocks[b];
      const uint8_t* plane = src.plane(place.component);
      const int stride = place.component == 0 ? W : CW;
      const int ox = (place.component == 0 ? x : x / 2) + place.planeX;
      const int oy = (place.component == 0 ? y : y / 2) + place.planeY;
      const uint8_t* s = plane + oy * stride + ox;
      const uint8_t* pr = &pred[0][0] + place.predOffset;
      for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 8; ++i)
          coef[b][8 * j + i] = int16_t(s[j * stride + i] - pr[j * place.predStride + i]);
      dsp_.fdct(coef[b]);
    }

    mquant = rc_.MacroblockQuant(k, out_.BitCount());
    mb.mquant = mquant;
    int flags = mb.flags;
    int cbp = 0;
    const bool intra = flags & kMbIntra;
    if (intra) {
      for (int b = 0; b < 6; ++b) QuantIntra(coef[b], levels[b], p_.intraMatrix, mquant);
      cbp = 63;
    } else {
      for (int b = 0; b < 6; ++b)
        if (QuantNonIntra(coef[b], levels[b], p_.nonIntraMatrix, mquant)) cbp |= 32 >> b;
      if (cbp) flags |= kMbPattern;
    }
    if (cbp && mquant != transmitted) flags |= kMbQuant;

    bool skip = false;
    if (!firstInSlice && !lastInSlice && cbp == 0) {
      if (job.type == kPictureP) {
        skip = !(flags & kMbForward);
      } else if (job.type == kPictureB) {
        const int dirs = kMbForward | kMbBackward;
        skip = (flags & dirs) == (prevFlags & dirs) &&
               (!(flags & kMbForward) ||
                (mb.mvForward[0] == pmv[0][0] && mb.mvForward[1] == pmv[0][1])) &&
               (!(flags & kMbBackward) ||
                (mb.mvBackward[0] == pmv[1][0] && mb.mvBackward[1] == pmv[1][1]));
      }
    }
    mb.cbp = cbp;
    mb.skipped = skip;

    if (skip) {
      ++increment;
      dcPred_[0] = dcPred_[1] = dcPred_[2] = 0;
      if (job.type == kPictureP) std::memset(pmv, 0, sizeof pmv);
      prevFlags = flags;
    } else {
      if (job.type == kPictureP && cbp == 0 && !(flags & kMbForward)) flags |= kMbForward;
      while (increment > 33) {
        out_.Put(kMacroblockEscape);
        increment -= 33;
      }
      out_.Put(AddressIncrementCode(increment));
      increment = 1;
      out_.Put(MacroblockTypeCode(job.type, flags));
      if (flags & kMbQuant) {
        out_.PutBits(uint32_t(mquant >> 1), 5);
        transmitted = mquant;
      }
      if (flags & kMbForward) {
        PutMotionComponent(mb.mvForward[0], pmv[0][0], fcodeF);
        PutMotionComponent(mb.mvForward[1], pmv[0][1], fcodeF);
      }
      if (flags & kMbBackward) {
        PutMotionComponent(mb.mvBackward[0], pmv[1][0], fcodeB);
        PutMotionComponent(mb.mvBackward[1], pmv[1][1], fcodeB);
      }
      if (flags & kMbPattern) out_.Put(CodedBlockPatternCode(cbp));
      for (int b = 0; b < 6; ++b) {
        if (intra) PutIntraBlock(levels[b], kBlocks[b].component);
        else if (cbp & (32 >> b)) PutNonIntraBlock(levels[b]);
      }
      if (!intra) dcPred_[0] = dcPred_[1] = dcPred_[2] = 0;
      if (intra || (job.type == kPictureP && !(flags & kMbForward)))
        std::memset(pmv, 0, sizeof pmv);
      prevFlags = flags;
    }
    mb.flags = flags;

    if (!job.recon) continue;
    Frame& rec = *job.recon;
    for (int b = 0; b < 6; ++b) {
      const BlockPlace& place = kBlocks[b];
      uint8_t* plane = rec.plane(place.component);
      const int stride = place.component == 0 ? W : CW;
      const int ox = (place.component == 0 ? x : x / 2) + place.planeX;
      const int oy = (place.component == 0 ? y : y / 2) + place.planeY;
      uint8_t* d = plane + oy * stride + ox;
      const uint8_t* pr = &pred[0][0] + place.predOffset;
      const bool coded = intra || (cbp & (32 >> b));
      if (!coded) {
        for (int j = 0; j < 8; ++j) std::memcpy(d + j * stride, pr + j * place.predStride, 8);
        continue;
      }
      alignas(16) int16_t block[64];
      if (intra) IquantIntra(levels[b], block, p_.intraMatrix, mquant);
      else IquantNonIntra(levels[b], block, p_.nonIntraMatrix, mquant);
      dsp_.idct(block);
      for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 8; ++i)
          d[j * stride + i] = Clip255(pr[j * place.predStride + i] + block[8 * j + i]);
    }
  }

  rc_.UpdatePicture(out_.BitCount());
  rc_.VbvEndOfPicture(out_.BitCount());
}

}  // namespace zr::mpeg
