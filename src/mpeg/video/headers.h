// The start-code layers of the video stream: sequence (with its user data), GOP,
// picture and slice headers, and the sequence end.
#pragma once

#include <cstdint>
#include <functional>

#include "mpeg/dsp/bitwriter.h"
#include "mpeg/video/params.h"
#include "mpeg/video/ratectl.h"

namespace zr::mpeg {

void WriteSequenceHeader(BitWriter& out, const VideoParams& p);
void WriteGopHeader(BitWriter& out, uint32_t timeCode, bool closedGop);

struct PictureHeader {
  int type = 0;
  int temporalReference = 0;
  int forwardFcode = 1;   // P and B pictures
  int backwardFcode = 1;  // B pictures
};
// vbv_delay comes from rate control at the bit count just past the start code.
void WritePictureHeader(BitWriter& out, const PictureHeader& h, RateControl& rc);
// The same with vbv_delay from vbvDelay(bit count just past the start code).
void WritePictureHeader(BitWriter& out, const PictureHeader& h,
                        const std::function<int(int64_t)>& vbvDelay);
// One slice per macroblock row; quantiser_scale is mquant / 2.
void WriteSliceHeader(BitWriter& out, int row, int mquant);
void WriteSequenceEnd(BitWriter& out);

}  // namespace zr::mpeg
