#include "mpeg/video/picture.h"

#include "mpeg/video/headers.h"
#include "mpeg/video/reconstruct.h"
#include "mpeg/video/residual.h"
#include "mpeg/video/skip.h"
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
    const int row = k / mbw, col = k % mbw;
    const int x = 16 * col, y = 16 * row;
    const bool firstInSlice = col == 0 && RowStartsSlice(row);
    const bool lastInSlice = k == mbCount - 1 || (col == mbw - 1 && RowStartsSlice(row + 1));
    if (firstInSlice) {
      WriteSliceHeader(out_, row, mquant);
      syntax_.StartSlice(col, mquant);
    }
    MacroblockInfo& mb = job.mbs[k];
    PredictMacroblock(mb, job.forwardRef, job.backwardRef, x, y, pred);
    TransformMacroblock(dsp_, src, x, y, pred, coef);

    mquant = rc_.MacroblockQuant(k, out_.BitCount());
    mb.mquant = mquant;
    int flags = mb.flags;
    const bool intra = flags & kMbIntra;
    const int cbp = QuantiseMacroblock(intra, coef, levels, p_, mquant);
    if (!intra && cbp) flags |= kMbPattern;
    if (cbp && mquant != syntax_.transmittedQuant()) flags |= kMbQuant;

    SkipContext context;
    context.pictureType = job.type;
    context.firstInSlice = firstInSlice;
    context.lastInSlice = lastInSlice;
    context.previousFlags = prevFlags;
    context.predictors = syntax_.predictors().mv;
    mb.cbp = cbp;
    mb.skipped = DecideSkip(context, flags, cbp, mb);
    if (mb.skipped) {
      syntax_.Skip(job.type);
    } else {
      // A P macroblock without coefficients or motion still needs a type: forward, (0, 0).
      if (job.type == kPictureP && cbp == 0 && !(flags & kMbForward)) flags |= kMbForward;
      syntax_.Write(job.type, flags, mquant, mb, cbp, levels, header.forwardFcode,
                    header.backwardFcode);
    }
    prevFlags = flags;
    mb.flags = flags;

    if (job.recon)
      ReconstructMacroblock(dsp_, p_, intra, cbp, levels, mquant, pred, x, y, *job.recon);
  }

  rc_.UpdatePicture(out_.BitCount());
  rc_.VbvEndOfPicture(out_.BitCount());
}

}  // namespace zr::mpeg
