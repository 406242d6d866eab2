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

MacroblockPlace PlaceOf(const PictureJob& job, int k, int mbWidth, int mbCount) {
  MacroblockPlace at;
  at.pictureType = job.type;
  at.row = k / mbWidth;
  at.col = k % mbWidth;
  at.x = 16 * at.col;
  at.y = 16 * at.row;
  at.firstInSlice = at.col == 0 && RowStartsSlice(at.row);
  at.lastInSlice = k == mbCount - 1 || (at.col == mbWidth - 1 && RowStartsSlice(at.row + 1));
  at.forwardFcode = job.record ? job.record->forwardFcodeH : 1;
  at.backwardFcode = job.record ? job.record->backwardFcodeH : 1;
  return at;
}

void EmitMacroblock(const dsp::Functions& dsp, const VideoParams& p, MacroblockWriter& syntax,
                    const MacroblockPlace& at, int mquant, int cbp, const int16_t levels[6][64],
                    const MacroblockPrediction& pred, Frame* recon, int& prevFlags,
                    MacroblockInfo& mb) {
  int flags = mb.flags;
  const bool intra = flags & kMbIntra;
  if (!intra && cbp) flags |= kMbPattern;
  if (cbp && mquant != syntax.transmittedQuant()) flags |= kMbQuant;

  SkipContext context;
  context.pictureType = at.pictureType;
  context.firstInSlice = at.firstInSlice;
  context.lastInSlice = at.lastInSlice;
  context.previousFlags = prevFlags;
  context.predictors = syntax.predictors().mv;
  mb.cbp = cbp;
  mb.skipped = DecideSkip(context, flags, cbp, mb);
  if (mb.skipped) {
    syntax.Skip(at.pictureType);
  } else {
    // A P macroblock without coefficients or motion still needs a type: forward, (0, 0).
    if (at.pictureType == kPictureP && cbp == 0 && !(flags & kMbForward)) flags |= kMbForward;
    syntax.Write(at.pictureType, flags, mquant, mb, cbp, levels, at.forwardFcode,
                 at.backwardFcode);
  }
  prevFlags = flags;
  mb.flags = flags;
  if (recon) ReconstructMacroblock(dsp, p, intra, cbp, levels, mquant, pred, at.x, at.y, *recon);
}

}  // namespace zr::mpeg
