#include "mpeg/video/encoder.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <new>
#include <string>
#include <system_error>
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

namespace {

// Lines logged by work done ahead on the helper thread, replayed by the coding thread
// at the point where the sequential loop would have logged them.
class DeferredLog : public ConvertLog {
 public:
  void Line(const std::string& text) override { entries_.push_back({false, text}); }
  void Alert(const std::string& text) override { entries_.push_back({true, text}); }
  void ReplayInto(ConvertLog& log) {
    for (const Entry& e : entries_) e.alert ? log.Alert(e.text) : log.Line(e.text);
    entries_.clear();
  }

 private:
  struct Entry {
    bool alert;
    std::string text;
  };
  std::vector<Entry> entries_;
};

// The stores one coded picture reads and writes, fixed when its turn in coding order
// is planned, so that the next picture can be prepared while this one is coded.
struct StepStores {
  CodingStep step{};
  Frame *src = nullptr, *rec = nullptr;
  Frame *oldSrc = nullptr, *newSrc = nullptr, *oldRec = nullptr, *newRec = nullptr;
  BlockSums *oldSums = nullptr, *newSums = nullptr;
  // The store of the B picture before this one: a frame that cannot be read leaves the
  // previous B picture in place, as a single B store did.
  const Frame* previousB = nullptr;
  MacroblockInfo* mbs = nullptr;
};

class StoreRing {
 public:
  // May throw std::bad_alloc.
  void Allocate(int width, int height, int mbCount) {
    for (Frame& f : frames_) f.Allocate(width, height);
    for (BlockSums& sums : sums_) sums.Reserve(width, height);
    for (auto& m : mbs_) m.resize(size_t(mbCount));
  }
  // With aheadRecords, the records alternate between two sets so that the next picture's
  // search can fill one while this picture is coded from the other.
  StepStores Next(const CodingStep& step, bool aheadRecords) {
    StepStores s;
    s.step = step;
    if (step.type != kPictureB) {
      std::swap(oldSrc_, newSrc_);
      std::swap(oldRec_, newRec_);
      std::swap(oldSums_, newSums_);
      s.src = newSrc_;
      s.rec = newRec_;
    } else {
      s.previousB = &frames_[4 + lastB_];
      lastB_ ^= 1;
      s.src = &frames_[4 + lastB_];
      s.rec = &frames_[6];
    }
    s.oldSrc = oldSrc_;
    s.newSrc = newSrc_;
    s.oldRec = oldRec_;
    s.newRec = newRec_;
    s.oldSums = oldSums_;
    s.newSums = newSums_;
    if (aheadRecords) lastMbs_ ^= 1;
    s.mbs = mbs_[lastMbs_].data();
    return s;
  }

 private:
  // Older/newer anchor source and reconstruction, two B sources, the B reconstruction.
  Frame frames_[7];
  BlockSums sums_[2];
  std::vector<MacroblockInfo> mbs_[2];
  Frame *oldSrc_ = &frames_[0], *newSrc_ = &frames_[1];
  Frame *oldRec_ = &frames_[2], *newRec_ = &frames_[3];
  BlockSums *oldSums_ = &sums_[0], *newSums_ = &sums_[1];
  int lastB_ = 0, lastMbs_ = 0;
};

MotionInput MotionInputOf(const StepStores& s, const MotionRecord& record) {
  MotionInput in;
  in.pictureType = s.step.type;
  in.current = s.src;
  in.olderSource = s.oldSrc;
  in.olderRecon = s.oldRec;
  in.newerSource = s.newSrc;
  in.newerRecon = s.newRec;
  in.olderSums = s.oldSums;
  in.newerSums = s.newSums;
  in.record = record;
  return in;
}

// Runs one task beside the coding thread; joined before anything it touches is reused.
class AheadTask {
 public:
  ~AheadTask() { Wait(); }
  template <class F>
  void Start(F task) {
    error_ = nullptr;
    auto guarded = [this, task] {
      try {
        task();
      } catch (...) {
        error_ = std::current_exception();
      }
    };
    try {
      thread_ = std::thread(guarded);
    } catch (const std::system_error&) {
      guarded();  // no second thread to be had: done here, before the coding
    }
  }
  void Wait() {
    if (thread_.joinable()) thread_.join();
  }
  void Rethrow() {
    if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
  }

 private:
  std::thread thread_;
  std::exception_ptr error_;
};

}  // namespace

bool VideoEncoder::EncodeStream(PictureSource& source, const VideoParams& p, std::FILE* file,
                                ConvertLog& log, int threads) {
  params_ = p;
  result_ = VideoResult{};
  result_.bitRate = p.bit_rate;
  const dsp::Functions& dsp = dsp_ ? *dsp_ : dsp::Best();
  const int mbCount = p.mbWidth * p.mbHeight;

  StoreRing stores;
  try {
    stores.Allocate(p.width, p.height, mbCount);
  } catch (const std::bad_alloc&) {
    ShowRecoveryFailure(log, "malloc failed\n");
    return false;
  }

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
  // One picture prepared ahead and the rows of one picture keep two cores busy; more
  // threads would only wait.
  const int workers = std::clamp(threads, 1, 2);
  if (threads > workers)
    log.Line(Format("Using %d motion-search threads (%d asked for)", workers, threads));

  auto read = [&](const StepStores& s, ConvertLog& readLog) {
    if (!source.ReadPicture(s.step.displayIndex, p.repeat, *s.src, readLog) && s.previousB)
      *s.src = *s.previousB;
    if (s.step.type != kPictureB) s.newSums->Compute(s.src->y.data(), s.src->width, s.src->height);
  };
  auto searchRows = [&](const StepStores& s, int rowBegin, int rowEnd) {
    EstimateMotionRows(dsp, MotionInputOf(s, p.motion[s.step.motionRecord]), rowBegin, rowEnd,
                       s.mbs);
  };
  // Rows on both threads, handed out one at a time; each writes only its own records.
  auto shareRows = [&](const auto& rows) {
    std::atomic<int> nextRow{0};
    auto work = [&] {
      for (int row; (row = nextRow.fetch_add(1)) < p.mbHeight;) rows(row, row + 1);
    };
    std::thread helper;
    try {
      helper = std::thread(work);
    } catch (const std::exception&) {
      // No second thread to be had: this one does every row.
    }
    work();
    if (helper.joinable()) helper.join();
  };

  DeferredLog aheadLog;  // outlives the task that writes it
  AheadTask ahead;
  StepStores cur;
  bool curRead = false, curSearched = false;
  if (nframes > 0) cur = stores.Next(PlanPicture(0, nframes, p.N, p.M), !p.highQuality);
  for (int i = 0; i < nframes; ++i) {
    log.Frame(i);
    log.Percent(int(int64_t(i) * 100 / nframes));
    const CodingStep step = cur.step;
    if (step.startsGop) {
      int n, np, nb;
      GopCounts(step.gopStart, nframes, p.N, p.M, n, np, nb);
      rc.InitGop(np, nb);
      hqRc.InitGop(np, nb);
      WriteGopHeader(out, TimeCode(step.gopStart, p.pictureRate), step.gopStart == 0);
    }
    ahead.Wait();
    aheadLog.ReplayInto(log);
    ahead.Rethrow();
    if (!curRead) read(cur, log);
    if (sourceHook_) sourceHook_(step.displayIndex, *cur.src);

    MotionRecord pictureRecord = p.motion[step.motionRecord];
    if (p.highQuality) {
      MotionInput in = MotionInputOf(cur, pictureRecord);
      hqMotion.Prepare(in, step.displayIndex);
      auto rows = [&](int rowBegin, int rowEnd) {
        hqMotion.EstimateRows(dsp, in, rowBegin, rowEnd, cur.mbs);
      };
      if (workers == 1 || p.mbHeight < 2 || step.type == kPictureI) rows(0, p.mbHeight);
      else shareRows(rows);
      pictureRecord = hqMotion.Finish(in, cur.mbs);
    } else if (!curSearched) {
      if (workers == 1 || p.mbHeight < 2 || step.type == kPictureI) searchRows(cur, 0, p.mbHeight);
      else shareRows([&](int rowBegin, int rowEnd) { searchRows(cur, rowBegin, rowEnd); });
    }

    // The next picture is read, and searched where its anchors are already coded (this
    // one is a B picture, never referenced, or the next needs no search), while this one
    // is coded.
    const StepStores coded = cur;
    curRead = curSearched = false;
    if (i + 1 < nframes) {
      cur = stores.Next(PlanPicture(i + 1, nframes, p.N, p.M), !p.highQuality);
      if (workers > 1) {
        const bool searchAhead =
            !p.highQuality && (step.type == kPictureB || cur.step.type == kPictureI);
        const StepStores next = cur;
        ahead.Start([&, next, searchAhead] {
          read(next, aheadLog);
          if (searchAhead) searchRows(next, 0, p.mbHeight);
        });
        curRead = true;
        curSearched = searchAhead;
      }
    }

    PictureJob job;
    job.type = step.type;
    job.temporalReference = step.displayIndex - step.gopStart;
    job.record = &pictureRecord;
    job.source = coded.src;
    job.forwardRef = coded.oldRec;
    job.backwardRef = coded.newRec;
    // B pictures are never referenced; reconstruct them only for whoever watches.
    job.recon = (step.type != kPictureB || reconHook_) ? coded.rec : nullptr;
    job.mbs = coded.mbs;
    if (p.highQuality) hqCoder.CodePicture(job);
    else coder.CodePicture(job);
    if (reconHook_) reconHook_(step.displayIndex, *coded.rec);
  }
  ahead.Wait();
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
