// Picture, slice and macroblock layers: prediction, transform, quantisation, the
// variable-length coding and the reconstruction of each macroblock.
#pragma once

#include <vector>

#include "mpeg/convert_log.h"
#include "mpeg/dsp/dsp.h"
#include "mpeg/video/bitwriter.h"
#include "mpeg/video/frame.h"
#include "mpeg/video/params.h"
#include "mpeg/video/ratectl.h"

namespace zr::mpeg {

struct PictureJob {
  int type = kPictureI;
  int temporalReference = 0;
  const MotionRecord* record = nullptr;
  const Frame* source = nullptr;
  const Frame* forwardRef = nullptr;   // reconstructed older anchor (P, B)
  const Frame* backwardRef = nullptr;  // reconstructed newer anchor (B)
  Frame* recon = nullptr;              // may be null for B pictures nobody looks at
  MacroblockInfo* mbs = nullptr;       // from motion estimation
};

class PictureCoder {
 public:
  PictureCoder(const VideoParams& params, const dsp::Functions& dsp, BitWriter& out,
               RateControl& rc, ConvertLog& log)
      : p_(params), dsp_(dsp), out_(out), rc_(rc), log_(log) {}

  void CodePicture(const PictureJob& job);

  // Exposed for the tests of the layers' pieces.
  void PutMotionComponent(int value, int& predictor, int fcode);
  void PutIntraBlock(const int16_t* levels, int component);
  void PutNonIntraBlock(const int16_t* levels);
  void PutRunLevel(int run, int level);

 private:
  void Predict(const PictureJob& job, const MacroblockInfo& mb, int x, int y, uint8_t pred[6][64]);
  const VideoParams& p_;
  const dsp::Functions& dsp_;
  BitWriter& out_;
  RateControl& rc_;
  ConvertLog& log_;
  int dcPred_[3]{};
  std::vector<double> activity_;
};

// Whether a new slice (and so a start code) begins at the first macroblock of this row:
// slice_vertical_position stops at 175, lower rows continue the last slice.
inline bool RowStartsSlice(int row) { return row < 175; }

}  // namespace zr::mpeg
