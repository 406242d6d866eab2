// The high-quality mode's macroblock choices by cost J = D + lambda * R: D the squared
// error after quantisation (in the transform domain, which the DCT preserves), R the bits
// the variable-length codes would take. The mode among the motion search's candidates
// (skip, no motion, forward, backward, interpolated, intra) at the quantiser rate control
// expects, and per block whether its levels are worth their bits at the final one.
#pragma once

#include <cstdint>

#include "mpeg/dsp/dsp.h"
#include "mpeg/video/frame.h"
#include "mpeg/video/params.h"
#include "mpeg/video/quant.h"
#include "mpeg/video/residual.h"

namespace zr::mpeg {

// Squared error per bit worth trading at macroblock quantiser `mquant`.
double RdLambda(int mquant);

// Bits of a motion vector component coded against its predictor (half pixels).
int MotionComponentBits(int value, int predictor, int fcode);

// Levels of a non-intra block quantised from `coef`: its squared error as coded and as
// dropped, and its run/level bits with the end of block.
struct BlockRd {
  int64_t coded = 0, dropped = 0;
  int bits = 0;
};
BlockRd NonIntraBlockRd(const int16_t* coef, const int16_t* levels, const uint8_t* matrix,
                        int mquant);

class HqModeChooser {
 public:
  HqModeChooser(const VideoParams& params, const dsp::Functions& dsp,
                const FastQuantiser& quantiser)
      : p_(params), dsp_(dsp), quantiser_(quantiser) {}

  // Per picture: its type, f_codes and references, and the quantiser expected.
  void StartPicture(int type, int fcodeF, int fcodeB, const Frame* forwardRef,
                    const Frame* backwardRef, int mquant);
  void StartSlice();
  // Sets mb's flags and vectors (the motion search left both directions' vectors in it)
  // and returns the winner's prediction and coefficients. `lastInSlice` macroblocks are
  // never skipped.
  void Choose(const Frame& src, int x, int y, bool firstInSlice, bool lastInSlice,
              MacroblockInfo& mb, MacroblockPrediction& pred, int16_t coef[6][64]);

 private:
  struct Candidate {
    int flags = 0;
    int mvF[2]{}, mvB[2]{};
  };
  double InterCost(const Candidate& c, const int16_t coef[6][64], bool mayskip) const;
  double IntraCost(const int16_t coef[6][64]) const;
  bool Fits(const int mv[2], int fcode) const;

  const VideoParams& p_;
  const dsp::Functions& dsp_;
  const FastQuantiser& quantiser_;
  int type_ = 0, fcodeF_ = 1, fcodeB_ = 1, mquant_ = 8;
  double lambda_ = 1;
  const Frame* forwardRef_ = nullptr;
  const Frame* backwardRef_ = nullptr;
  int pmv_[2][2]{};
  int prevFlags_ = 0;
};

}  // namespace zr::mpeg
