#include "mpeg/video/picture.h"

#include "mpeg/video/headers.h"
#include "mpeg/video/hq_picture.h"
#include "mpeg/video/residual.h"
#include "mpeg/video/vlc.h"

namespace zr::mpeg {

void PictureCoder::CodePicture(const PictureJob& job) {
  const int mbw = p_.mbWidth, mbh = p_.mbHeight, mbCount = mbw * mbh;
  const Frame& src = *job.source;

  activity_.resize(size_t(mbCount));
  for (int k = 0; k < mbCount; ++k)
    activity_[size_t(k)] =
        MacroblockActivity(src.y.data() + 16 * (k / mbw) * src.width + 16 * (k % mbw), src.width);
  rc_.InitPicture(job.type, activity_, out_.BitCount());

  PictureHeader header;
  header.type = job.type;
  header.temporalReference = job.temporalReference;
  header.forwardFcode = job.record ? job.record->forwardFcodeH : 1;
  header.backwardFcode = job.record ? job.record->backwardFcodeH : 1;
  WritePictureHeader(out_, header, rc_);

  int mquant = rc_.StartMacroblocks();
  int prevFlags = 0;
  MacroblockPrediction pred;
  alignas(16) int16_t coef[6][64];
  alignas(16) int16_t levels[6][64];

  for (int k = 0; k < mbCount; ++k) {
    const MacroblockPlace at = PlaceOf(job, k, mbw, mbCount);
    if (at.firstInSlice) {
      WriteSliceHeader(out_, at.row, mquant);
      syntax_.StartSlice(at.col, mquant);
    }
    MacroblockInfo& mb = job.mbs[k];
    PredictMacroblock(mb, job.forwardRef, job.backwardRef, at.x, at.y, pred);
    TransformMacroblock(dsp_, src, at.x, at.y, pred, coef);

    mquant = rc_.MacroblockQuant(k, out_.BitCount());
    mb.mquant = mquant;
    const bool intra = mb.flags & kMbIntra;
    const FastQuantiser* fast = &dsp_ == &dsp::Reference() ? nullptr : &quantiser_;
    const int cbp = QuantiseMacroblock(intra, coef, levels, p_, fast, mquant);
    EmitMacroblock(dsp_, p_, syntax_, at, mquant, cbp, levels, pred, job.recon, prevFlags, mb);
  }

  rc_.UpdatePicture(out_.BitCount());
  rc_.VbvEndOfPicture(out_.BitCount());
}

}  // namespace zr::mpeg
