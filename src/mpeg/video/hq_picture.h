// One picture of the high-quality mode: every macroblock is predicted and transformed
// first, so rate control sees the picture's non-zero level counts at every quantiser
// before it picks the picture's one quantiser; then the macroblocks are coded at it, with
// trailing +-1 levels trimmed, a coarser quantiser or dropped coefficients only when the
// VBV deadline is at stake, and stuffing when the buffer would overflow.
#pragma once

#include <array>
#include <vector>

#include "mpeg/convert_log.h"
#include "mpeg/dsp/bitwriter.h"
#include "mpeg/dsp/dsp.h"
#include "mpeg/video/hq_mode.h"
#include "mpeg/video/hq_ratectl.h"
#include "mpeg/video/macroblock.h"
#include "mpeg/video/params.h"
#include "mpeg/video/picture.h"
#include "mpeg/video/residual.h"

namespace zr::mpeg {

// Non-zero levels of one macroblock's blocks (AC only for intra) at each quantiser index.
class LevelCounter {
 public:
  LevelCounter(const uint8_t* intraMatrix, const uint8_t* nonIntraMatrix);
  void Curve(bool intra, const int16_t coef[6][64], uint16_t curve[HqRateControl::kQuants]) const;

 private:
  struct Position {
    uint64_t mul;       // ceil(2^32 / W): (32|x| + W/2) / W without a division
    uint16_t w2;        // W / 2
    uint16_t smallest;  // the smallest |x| that is non-zero at the finest quantiser
  };
  Position intra_[64], nonIntra_[64];
  alignas(16) int16_t intraSmallest_[64], nonIntraSmallest_[64];
};
class HqPictureCoder {
 public:
  HqPictureCoder(const VideoParams& params, const dsp::Functions& dsp, BitWriter& out,
                 HqRateControl& rc, ConvertLog& log)
      : p_(params), dsp_(dsp), out_(out), rc_(rc), syntax_(out, log),
        quantiser_(params.intraMatrix, params.nonIntraMatrix), modes_(params, dsp, quantiser_),
        counter_(params.intraMatrix, params.nonIntraMatrix) {}

  void CodePicture(const PictureJob& job);
  // Before the sequence end code: stuffing up to the declared rate.
  void FinishSequence();

 private:
  using Curve = std::array<uint16_t, HqRateControl::kQuants>;
  const VideoParams& p_;
  const dsp::Functions& dsp_;
  BitWriter& out_;
  HqRateControl& rc_;
  MacroblockWriter syntax_;
  FastQuantiser quantiser_;
  HqModeChooser modes_;
  LevelCounter counter_;
  std::vector<int16_t> coef_;
  std::vector<MacroblockPrediction> pred_;
  std::vector<Curve> curves_;
};

// Bits of a block's run/level codes (intra: the AC ones), end of block excluded.
int RunLevelBits(bool intra, const int16_t* levels);
// Zero bytes of stuffing, after aligning: allowed before any start code.
void PutStuffing(BitWriter& out, int64_t bytes);

}  // namespace zr::mpeg
