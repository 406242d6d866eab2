#include "mpeg/video/headers.h"

#include <cmath>

#include "mpeg/syntax.h"
#include "mpeg/video/vlc.h"

namespace zr::mpeg {

void WriteSequenceHeader(BitWriter& out, const VideoParams& p) {
  out.PutBits(StartCode(kSequenceHeaderCode), 32);
  out.PutBits(uint32_t(p.horizontal_size), 12);
  out.PutBits(uint32_t(p.vertical_size), 12);
  out.PutBits(uint32_t(p.pel_aspect_ratio), 4);
  out.PutBits(uint32_t(p.frame_rate_code), 4);
  out.PutBits(uint32_t(std::ceil(p.bit_rate / 400.0)), 18);
  out.PutBits(1, 1);  // marker
  out.PutBits(uint32_t(p.vbv_buffer_size), 10);
  out.PutBits(p.constrained_parameters_flag ? 1 : 0, 1);
  out.PutBits(0, 1);  // load_intra_quantizer_matrix
  out.PutBits(0, 1);  // load_non_intra_quantizer_matrix
  if (p.userData.size() >= 2) {
    out.PutBits(StartCode(kUserDataStartCode), 32);
    for (unsigned char c : p.userData) out.PutBits(c, 8);
  }
}

void WriteGopHeader(BitWriter& out, uint32_t timeCode, bool closedGop) {
  out.AlignBits();
  out.PutBits(StartCode(kGroupStartCode), 32);
  out.PutBits(timeCode, 25);
  out.PutBits(closedGop ? 1 : 0, 1);
  out.PutBits(0, 1);  // broken_link
}

void WritePictureHeader(BitWriter& out, const PictureHeader& h, RateControl& rc) {
  WritePictureHeader(out, h, [&](int64_t bitCount) { return rc.CalcVbvDelay(h.type, bitCount); });
}

void WritePictureHeader(BitWriter& out, const PictureHeader& h,
                        const std::function<int(int64_t)>& delayOf) {
  out.AlignBits();
  out.PutBits(StartCode(kPictureStartCode), 32);
  const int vbvDelay = delayOf(out.BitCount());
  out.PutBits(uint32_t(h.temporalReference) & 1023, 10);
  out.PutBits(uint32_t(h.type), 3);
  out.PutBits(uint32_t(vbvDelay), 16);
  if (h.type != kPictureI) {
    out.PutBits(0, 1);  // full_pel_forward_vector
    out.PutBits(uint32_t(h.forwardFcode), 3);
  }
  if (h.type == kPictureB) {
    out.PutBits(0, 1);  // full_pel_backward_vector
    out.PutBits(uint32_t(h.backwardFcode), 3);
  }
  out.PutBits(0, 1);  // extra_bit_picture
}

void WriteSliceHeader(BitWriter& out, int row, int mquant) {
  out.AlignBits();
  out.PutBits(StartCode(uint8_t(kSliceStartCodeFirst + row)), 32);
  out.PutBits(uint32_t(mquant >> 1), 5);
  out.PutBits(0, 1);  // extra_bit_slice
}

void WriteSequenceEnd(BitWriter& out) {
  out.AlignBits();
  out.PutBits(StartCode(kSequenceEndCode), 32);
}

}  // namespace zr::mpeg
