#include "mpeg/video/macroblock.h"

#include <cstdlib>

#include "mpeg/video/format.h"
#include "mpeg/video/params.h"
#include "mpeg/video/vlc.h"

namespace zr::mpeg {

namespace {
constexpr int kBlockComponent[6] = {0, 0, 0, 0, 1, 2};
}  // namespace

void MacroblockWriter::StartSlice(int col, int mquant) {
  transmitted_ = mquant;
  pred_.ResetDc();  // 1024 for an uncentred DC
  pred_.ResetMotion();
  increment_ = col + 1;
}

void MacroblockWriter::Skip(int pictureType) {
  ++increment_;
  pred_.ResetDc();
  if (pictureType == kPictureP) pred_.ResetMotion();
}

void MacroblockWriter::Write(int type, int flags, int mquant, const MacroblockInfo& mb, int cbp,
                             const int16_t levels[6][64], int fcodeF, int fcodeB) {
  while (increment_ > 33) {
    out_.Put(kMacroblockEscape);
    increment_ -= 33;
  }
  out_.Put(AddressIncrementCode(increment_));
  increment_ = 1;
  out_.Put(MacroblockTypeCode(type, flags));
  if (flags & kMbQuant) {
    out_.PutBits(uint32_t(mquant >> 1), 5);
    transmitted_ = mquant;
  }
  if (flags & kMbForward) {
    PutMotionComponent(mb.mvForward[0], pred_.mv[0][0], fcodeF);
    PutMotionComponent(mb.mvForward[1], pred_.mv[0][1], fcodeF);
  }
  if (flags & kMbBackward) {
    PutMotionComponent(mb.mvBackward[0], pred_.mv[1][0], fcodeB);
    PutMotionComponent(mb.mvBackward[1], pred_.mv[1][1], fcodeB);
  }
  if (flags & kMbPattern) out_.Put(CodedBlockPatternCode(cbp));
  const bool intra = flags & kMbIntra;
  for (int b = 0; b < 6; ++b) {
    if (intra) PutIntraBlock(levels[b], kBlockComponent[b]);
    else if (cbp & (32 >> b)) PutNonIntraBlock(levels[b]);
  }
  if (!intra) pred_.ResetDc();
  if (intra || (type == kPictureP && !(flags & kMbForward))) pred_.ResetMotion();
}

void MacroblockWriter::PutMotionComponent(int value, int& predictor, int fcode) {
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

void MacroblockWriter::PutRunLevel(int run, int level) {
  const int absLevel = std::abs(level);
  if ((run <= 1 && absLevel <= 40) || (run <= 31 && absLevel <= 5)) {
    Vlc code = CoefficientCode(run, absLevel);
    if (code.len) {
      // Code and sign bit in one write.
      out_.PutBits(code.bits << 1 | (level < 0 ? 1u : 0u), code.len + 1);
      return;
    }
  }
  if (run < 0 || run > 63 || level == 0 || absLevel > 255)
    ShowRecoveryFailure(log_, Format("AC value out of range (run=%d, signed_level=%d)\n", run, level));
  out_.Put(kCoefficientEscape);
  out_.PutBits(uint32_t(run), 6);
  if (level > 127) out_.PutBits(0, 8);
  if (level < -127) out_.PutBits(128, 8);
  out_.PutBits(uint32_t(level) & 255, 8);
}

void MacroblockWriter::PutIntraBlock(const int16_t* levels, int component) {
  const int dc = levels[0];
  const int diff = dc - pred_.dc[component];
  pred_.dc[component] = dc;
  const int absDiff = std::abs(diff);
  if (absDiff >= 256) ShowRecoveryFailure(log_, Format("DC value out of range (%d)\n", diff));
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

void MacroblockWriter::PutNonIntraBlock(const int16_t* levels) {
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

}  // namespace zr::mpeg
