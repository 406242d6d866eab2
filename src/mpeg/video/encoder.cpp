#include "mpeg/video/encoder.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include "mpeg/dsp/bitwriter.h"
#include "mpeg/video/format.h"
#include "mpeg/video/headers.h"
#include "mpeg/video/hq_motion.h"
#include "mpeg/video/hq_picture.h"
#include "mpeg/video/hq_ratectl.h"
#include "mpeg/video/motion.h"
#include "mpeg/video/picture.h"
#include "mpeg/video/ratectl.h"

namespace zr::mpeg {

CodingStep PlanPicture(int i, int nframes, int N, int M) {
  CodingStep s{};
  s.gopStart = std::max(0, N * ((i + M - 1) / N) - (M - 1));
  if (i == 0 || (i - 1) % M == 0) {
    s.displayIndex = i == 0 ? 0 : std::min(i + M - 1, nframes - 1);
    s.startsGop = i == s.gopStart;
    s.type = s.startsGop ? kPictureI : kPictureP;
    s.motionRecord = 0;
  } else {
    s.type = kPictureB;
    s.displayIndex = i - 1;
    s.startsGop = false;
    s.motionRecord = (i - 2) % M + 1;
  }
  return s;
}

void GopCounts(int f0, int nframes, int N, int M, int& n, int& np, int& nb) {
  const bool first = f0 == 0;
  n = std::min(first ? N - (M - 1) : N, nframes - f0);
  np = first ? (n + 2 * (M - 1)) / M - 1 : (n + M - 1) / M - 1;
  nb = n - np - 1;
}

uint32_t TimeCode(int f, double pictureRate) {
  const int fps = int(std::lround(pictureRate));
  const int pictures = f % fps;
  int seconds = f / fps;
  const int minutes = (seconds / 60) % 60;
  const int hours = (seconds / 3600) % 24;
  seconds %= 60;
  return uint32_t(hours) << 19 | uint32_t(minutes) << 13 | 1u << 12 | uint32_t(seconds) << 6 |
         uint32_t(pictures);
}

bool VideoEncoder::EncodeStream(PictureSource& source, const VideoParams& p, std::FILE* file,
                                ConvertLog& log, int threads) {
  params_ = p;
  result_ = VideoResult{};
  result_.bitRate = p.bit_rate;
  const dsp::Functions& dsp = dsp_ ? *dsp_ : dsp::Best();
  const int mbCount = p.mbWidth * p.mbHeight;

  // The stores: older/newer anchor (source and reconstruction), B picture source and
  // reconstruction. Reference-counted by nothing: they live for this call.
  Frame stores[6];
  std::vector<MacroblockInfo> mbs;
  // The search bounds of each anchor's source, kept beside it.
  BlockSums sumStores[2];
  try {
    for (Frame& f : stores) f.Allocate(p.width, p.height);
    mbs.resize(size_t(mbCount));
    for (BlockSums& sums : sumStores) sums.Reserve(p.width, p.height);
  } catch (const std::bad_alloc&) {
    ShowRecoveryFailure(log, "malloc failed\n");
    return false;
  }
  Frame *oldSrc = &stores[0], *newSrc = &stores[1], *oldRec = &stores[2], *newRec = &stores[3];
  Frame *auxSrc = &stores[4], *auxRec = &stores[5];
  BlockSums *oldSums = &sumStores[0], *newSums = &sumStores[1];

  BitWriter out(file);
  RateControl rc;
  rc.InitSequence(p.bit_rate, p.pictureRate, mbCount, p.vbv_buffer_size);
  PictureCoder coder(p, dsp, out, rc, log);
  // The slower mode's own stages; the default ones above stay untouched.
  HqRateControl hqRc;
  HqMotion hqMotion;
  HqPictureCoder hqCoder(p, dsp, out, hqRc, log);
  if (p.highQuality) {
    hqRc.InitSequence(p.bit_rate, p.pictureRate, mbCount, p.vbv_buffer_size, p.codedFrames);
    hqMotion.Reset(p.mbWidth, p.mbHeight);
  }

  WriteSequenceHeader(out, p);

  const int nframes = p.codedFrames;
  // Rows of one picture keep two cores busy; more threads would only wait.
  const int workers = std::clamp(threads, 1, 2);
  if (threads > workers)
    log.Line(Format("Using %d motion-search threads (%d asked for)", workers, threads));
  for (int i = 0; i < nframes; ++i) {
    log.Frame(i);
    log.Percent(int(int64_t(i) * 100 / nframes));
    const CodingStep step = PlanPicture(i, nframes, p.N, p.M);
    Frame *src, *rec;
    if (step.type != kPictureB) {
      std::swap(oldSrc, newSrc);
      std::swap(oldRec, newRec);
      std::swap(oldSums, newSums);
      src = newSrc;
      rec = newRec;
    } else {
      src = auxSrc;
      rec = auxRec;
    }
    if (step.startsGop) {
      int n, np, nb;
      GopCounts(step.gopStart, nframes, p.N, p.M, n, np, nb);
      rc.InitGop(np, nb);
      hqRc.InitGop(np, nb);
      WriteGopHeader(out, TimeCode(step.gopStart, p.pictureRate), step.gopStart == 0);
    }
    source.ReadPicture(step.displayIndex, p.repeat, *src, log);
    if (sourceHook_) sourceHook_(step.displayIndex, *src);
    if (step.type != kPictureB) newSums->Compute(src->y.data(), src->width, src->height);

    MotionInput in;
    in.pictureType = step.type;
    in.current = src;
    in.olderSource = oldSrc;
    in.olderRecon = oldRec;
    in.newerSource = newSrc;
    in.newerRecon = newRec;
    in.olderSums = oldSums;
    in.newerSums = newSums;
    in.record = p.motion[step.motionRecord];
    if (p.highQuality) hqMotion.Prepare(in, step.displayIndex);
    auto estimate = [&](int rowBegin, int rowEnd) {
      if (p.highQuality) hqMotion.EstimateRows(dsp, in, rowBegin, rowEnd, mbs.data());
      else EstimateMotionRows(dsp, in, rowBegin, rowEnd, mbs.data());
    };
    if (workers == 1 || p.mbHeight < 2 || step.type == kPictureI) {
      estimate(0, p.mbHeight);
    } else {
      // Rows handed out one at a time; each writes only its own records.
      std::atomic<int> nextRow{0};
      auto work = [&] {
        for (int row; (row = nextRow.fetch_add(1)) < p.mbHeight;)
          estimate(row, row + 1);
      };
      std::thread helper;
      try {
        helper = std::thread(work);
      } catch (const std::exception&) {
        // No second thread to be had: this one does every row.
      }
      work();
      if (helper.joinable()) helper.join();
    }

    PictureJob job;
    job.type = step.type;
    job.temporalReference = step.displayIndex - step.gopStart;
    const MotionRecord pictureRecord =
        p.highQuality ? hqMotion.Finish(in, mbs.data()) : p.motion[step.motionRecord];
    job.record = &pictureRecord;
    job.source = src;
    job.forwardRef = oldRec;
    job.backwardRef = newRec;
    // B pictures are never referenced; reconstruct them only for whoever watches.
    job.recon = (step.type != kPictureB || reconHook_) ? rec : nullptr;
    job.mbs = mbs.data();
    if (p.highQuality) hqCoder.CodePicture(job);
    else coder.CodePicture(job);
    if (reconHook_) reconHook_(step.displayIndex, *rec);
  }
  if (p.highQuality) hqCoder.FinishSequence();
  WriteSequenceEnd(out);
  bool ok = out.Flush();
  result_.codedFrames = nframes;
  result_.overflowCount = p.highQuality ? hqRc.overflowCount() : rc.overflowCount();
  result_.underflowCount = p.highQuality ? hqRc.underflowCount() : rc.underflowCount();
  result_.underflowPictures = p.highQuality ? hqRc.underflowCount() : rc.underflowPictures();
  result_.seconds = p.pictureRate > 0 ? nframes / p.pictureRate : 0.0;
  result_.bytes = out.BitCount() / 8;
  return ok;
}

}  // namespace zr::mpeg
