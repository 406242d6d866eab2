// Macroblock layer syntax: address increments, types, quantiser, motion vectors, coded
// block pattern and the blocks' variable-length codes, with the slice's predictors.
#pragma once

#include <cstdint>

#include "mpeg/convert_log.h"
#include "mpeg/dsp/bitwriter.h"
#include "mpeg/video/frame.h"

namespace zr::mpeg {

// Predictors that live for one slice.
struct SlicePredictors {
  int dc[3]{};     // per colour component; 0 is the reset value of a centred DC
  int mv[2][2]{};  // forward, backward; horizontal, vertical (half pixels)
  void ResetDc() { dc[0] = dc[1] = dc[2] = 0; }
  void ResetMotion() { mv[0][0] = mv[0][1] = mv[1][0] = mv[1][1] = 0; }
};

class MacroblockWriter {
 public:
  MacroblockWriter(BitWriter& out, ConvertLog& log) : out_(out), log_(log) {}

  // At a slice's first macroblock, in column `col`.
  void StartSlice(int col, int mquant);
  // A skipped macroblock of a P or B picture.
  void Skip(int pictureType);
  // A coded macroblock: `flags` final (pattern, quant, forward for a P picture's zero
  // vector), `levels` in natural order.
  void Write(int pictureType, int flags, int mquant, const MacroblockInfo& mb, int cbp,
             const int16_t levels[6][64], int forwardFcode, int backwardFcode);

  SlicePredictors& predictors() { return pred_; }
  // The quantiser the decoder has last been told.
  int transmittedQuant() const { return transmitted_; }

  void PutMotionComponent(int value, int& predictor, int fcode);
  void PutIntraBlock(const int16_t* levels, int component);
  void PutNonIntraBlock(const int16_t* levels);
  void PutRunLevel(int run, int level);

 private:
  BitWriter& out_;
  ConvertLog& log_;
  SlicePredictors pred_;
  int increment_ = 1;
  int transmitted_ = 0;
};

}  // namespace zr::mpeg
