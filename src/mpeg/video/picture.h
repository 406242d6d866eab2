// One coded picture: its header, then per macroblock the residual and transform, the
// quantiser from rate control, the skip decision, the macroblock syntax and the
// reconstruction, each a stage of its own file.
#pragma once

#include <vector>

#include "mpeg/convert_log.h"
#include "mpeg/dsp/bitwriter.h"
#include "mpeg/dsp/dsp.h"
#include "mpeg/video/frame.h"
#include "mpeg/video/macroblock.h"
#include "mpeg/video/params.h"
#include "mpeg/video/quant.h"
#include "mpeg/video/ratectl.h"
#include "mpeg/video/residual.h"
#include "mpeg/video/vlc.h"

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
      : p_(params), dsp_(dsp), out_(out), rc_(rc), syntax_(out, log),
        quantiser_(params.intraMatrix, params.nonIntraMatrix) {}

  void CodePicture(const PictureJob& job);

 private:
  const VideoParams& p_;
  const dsp::Functions& dsp_;
  BitWriter& out_;
  RateControl& rc_;
  MacroblockWriter syntax_;
  // The reference primitives come with the defining quantiser formulas.
  FastQuantiser quantiser_;
  std::vector<double> activity_;
};

// Whether a new slice (and so a start code) begins at the first macroblock of this row:
// slice_vertical_position stops at 175, lower rows continue the last slice.
inline bool RowStartsSlice(int row) { return row < 175; }

// The tail both picture coders share, once a macroblock's levels are final: pattern and
// quantiser flags, the skip decision, its syntax and its reconstruction (when `recon`).
struct MacroblockPlace {
  int pictureType = kPictureI;
  int row = 0, col = 0, x = 0, y = 0;
  bool firstInSlice = false, lastInSlice = false;
  int forwardFcode = 1, backwardFcode = 1;
};
MacroblockPlace PlaceOf(const PictureJob& job, int k, int mbWidth, int mbCount);
void EmitMacroblock(const dsp::Functions& dsp, const VideoParams& p, MacroblockWriter& syntax,
                    const MacroblockPlace& at, int mquant, int cbp, const int16_t levels[6][64],
                    const MacroblockPrediction& pred, Frame* recon, int& prevFlags,
                    MacroblockInfo& mb);

}  // namespace zr::mpeg
