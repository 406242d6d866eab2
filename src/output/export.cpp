#include "output/export.h"

#include <algorithm>
#include <deque>
#include <memory>

#include "app/document.h"
#include "image/cbmp.h"
#include "output/avi_messages.h"
#include "output/export_host.h"
#include "output/frame_loop.h"
#include "output/merge.h"
#include "platform/atomic_file.h"
#include "platform/export/export_sound.h"
#include "platform/host.h"

namespace zr {

bool IsExportPath(const std::string& path) { return ExportFormatFromPath(path).has_value(); }

std::vector<std::vector<int64_t>> PlanDelays(const std::vector<uint32_t>& counts, int fps,
                                             const ExportTiming& timing) {
  std::vector<std::vector<int64_t>> plan(counts.size());
  if (timing.constantRate) {
    for (size_t i = 0; i < counts.size(); ++i) plan[i] = {int64_t(std::max<uint32_t>(counts[i], 1))};
    return plan;
  }
  const int64_t units = timing.unitsPerSecond;
  int64_t frames = 0, boundary = 0;
  std::optional<size_t> lastShown;
  for (size_t i = 0; i < counts.size(); ++i) {
    frames += std::max<uint32_t>(counts[i], 1);
    const int64_t end = (2 * frames * units + fps) / (2 * int64_t(fps));
    int64_t delay = end - boundary;
    if (delay < timing.minDelay) {
      if (i + 1 < counts.size()) continue;  // shown as part of the next entry
      if (lastShown) {
        delay += plan[*lastShown].back();
        plan[*lastShown].pop_back();
      }
      // A whole animation shorter than a viewer's shortest delay still shows.
      delay = std::max(delay, timing.minDelay);
    }
    const int64_t pieces = (delay + timing.maxDelay - 1) / timing.maxDelay;
    for (int64_t k = 0; k < pieces; ++k) {
      plan[i].push_back(delay / pieces + (k < delay % pieces ? 1 : 0));
    }
    boundary = end;
    lastShown = i;
  }
  return plan;
}

namespace {

constexpr const char* kStatusNotExported = "Not exported";

// The first of two passes keeps the size answers it was given...
class RecordingHost : public ForwardingHost {
 public:
  using ForwardingHost::ForwardingHost;
  std::optional<ImageSizeAnswer> AskImageSize(const ImageSizeQuestion& question) override {
    auto answer = inner_.AskImageSize(question);
    answers.push_back(answer);
    return answer;
  }
  std::deque<std::optional<ImageSizeAnswer>> answers;
};

// ...and the second gives them again, saying nothing the first said already.
class ReplayingHost : public ForwardingHost {
 public:
  ReplayingHost(Host& inner, std::deque<std::optional<ImageSizeAnswer>> answers)
      : ForwardingHost(inner), answers_(std::move(answers)) {}
  void Message(const std::string&, const std::string&, MessageKind) override {}
  void MessageWithDetails(const std::string&, const std::string&, const std::string&,
                          MessageKind) override {}
  std::optional<ImageSizeAnswer> AskImageSize(const ImageSizeQuestion&) override {
    if (answers_.empty()) return std::nullopt;
    auto answer = answers_.front();
    answers_.pop_front();
    return answer;
  }

 private:
  std::deque<std::optional<ImageSizeAnswer>> answers_;
};

using Plan = std::vector<std::vector<int64_t>>;

class EncoderSink : public FrameSink {
 public:
  EncoderSink(Host& host, const Plan& plan, ExportSettings settings, const std::string& path)
      : host_(host), plan_(plan), settings_(std::move(settings)), path_(path) {}

  void SetPalettePass(bool on) { palettePass_ = on; }
  ExportEncoder* encoder() { return encoder_.get(); }
  bool cancelled() const { return cancelled_; }
  const std::string& error() const { return error_; }

  bool Begin(const ComposedFrame& first) override {
    if (encoder_) return true;  // the second pass of a GIF
    first.picture.GetSize(settings_.width, settings_.height);
    encoder_ = ExportEncoder::Open(settings_, path_, error_);
    return encoder_ != nullptr;
  }

  bool Put(ComposedFrame& frame) override {
    const Bitmap& picture = frame.picture.bitmap();
    const std::vector<int64_t>& delays = plan_[frame.index];
    if (palettePass_) return delays.empty() || Check(encoder_->AddPaletteSample(picture));
    const ExportTiming timing = TimingOf(settings_.format, settings_.fps);
    // A long still in a video is many encoded frames: keep Cancel answered meanwhile.
    const int64_t chunk = timing.constantRate ? std::max(1, settings_.fps) : INT64_MAX;
    for (int64_t delay : delays) {
      for (int64_t done = 0; done < delay; done += chunk) {
        if (done > 0 && host_.CancelRequested()) {
          cancelled_ = true;
          return false;
        }
        if (!Check(encoder_->AddPicture(picture, std::min(chunk, delay - done)))) return false;
      }
    }
    return true;
  }

  bool Finish() { return Check(encoder_->Finish()); }

 private:
  bool Check(bool ok) {
    if (!ok && error_.empty()) error_ = encoder_->error();
    return ok;
  }

  Host& host_;
  const Plan& plan_;
  ExportSettings settings_;
  std::string path_;
  std::unique_ptr<ExportEncoder> encoder_;
  bool palettePass_ = false;
  bool cancelled_ = false;
  std::string error_;
};

// Tells how a pass ended; true when the export goes on.
bool PassWent(Host& host, const FrameLoopResult& result, const EncoderSink& sink,
              const std::string& path) {
  switch (result.end) {
    case FrameLoopEnd::Done:
    case FrameLoopEnd::Stopped:
      return true;
    case FrameLoopEnd::Empty:
      host.Message("There are no images to export");
      break;
    case FrameLoopEnd::CouldNotLoad:
      break;  // the loop said which image
    case FrameLoopEnd::Cancelled:
      host.SetStatusText(kStatusCancelled);
      return false;
    case FrameLoopEnd::SinkFailed:
      if (sink.cancelled()) {
        host.SetStatusText(kStatusCancelled);
        return false;
      }
      host.Message("Could not export " + path + ": " + sink.error());
      break;
  }
  host.SetStatusText(kStatusNotExported);
  return false;
}

}  // namespace

bool ExportAnimation(Host& host, const ExportJob& job, const std::string& path) {
  const auto format = ExportFormatFromPath(path);
  if (!format) {
    host.Message("Cannot export to " + path + ": the formats are " + ExportFormatList());
    return false;
  }
  if (job.fps < 1) {
    host.Message("Exporting needs at least 1 frame per second");
    return false;
  }
  if (job.paths.empty()) {
    host.Message("There are no images to export");
    return false;
  }
  ExportSettings settings;
  settings.format = *format;
  settings.fps = job.fps;
  settings.quality = job.options.quality;
  settings.plays = job.options.plays;
  if (ExportCarriesSound(*format) && job.options.sound && !job.sound.empty()) {
    // Find out before the long write that the sound can't be had, and say which file.
    std::string why;
    settings.sound = ExportSound::Open(job.sound, why);
    if (!settings.sound) {
      host.Message(CannotOpenMessage(job.sound));
      host.SetStatusText(kStatusNotExported);
      return false;
    }
  }
  const Plan plan = PlanDelays(job.counts, job.fps, TimingOf(*format, job.fps));
  AtomicFile file(path);
  EncoderSink sink(host, plan, settings, file.tempPath());
  FrameLoopInput input;
  input.paths = job.paths;
  input.counts = job.counts;
  input.applyLogo = job.applyLogo;
  input.pipelined = job.pipelined;
  input.progressTitle = std::string("Exporting ") + ExportFormatName(*format);

  if (*format == ExportFormat::Gif) {
    RecordingHost recording(host);
    FrameLoopInput first = input;
    first.progressTitle += " (palette)";
    sink.SetPalettePass(true);
    if (!PassWent(host, RunFrameLoop(recording, first, sink), sink, path)) return false;
    if (!sink.encoder()->EndPalettePass()) {
      host.Message("Could not export " + path + ": " + sink.encoder()->error());
      host.SetStatusText(kStatusNotExported);
      return false;
    }
    sink.SetPalettePass(false);
    ReplayingHost replaying(host, std::move(recording.answers));
    if (!PassWent(host, RunFrameLoop(replaying, input, sink), sink, path)) return false;
  } else {
    if (!PassWent(host, RunFrameLoop(host, input, sink), sink, path)) return false;
  }
  if (!sink.Finish()) {
    host.Message("Could not export " + path + ": " + sink.error());
    host.SetStatusText(kStatusNotExported);
    return false;
  }
  if (!file.Commit()) {
    host.Message("Could not export " + path + ": the finished file could not be renamed");
    host.SetStatusText(kStatusNotExported);
    return false;
  }
  host.SetStatusText("Exported " + path);
  return true;
}

bool ExportProject(Host& host, CTorvexerDoc& doc, const std::string& path,
                   const ExportOptions& options) {
  ExportJob job;
  job.fps = doc.ReadFpsFromPanel();
  for (int r = 1; r <= doc.frames.FrameCount(); ++r) {
    const std::string& name = doc.frames.Name(r);
    job.paths.push_back(doc.GetImagePath(name));
    job.counts.push_back(uint32_t(std::max(doc.frames.Frames(r), 0)));
  }
  job.sound = doc.sSoundFile;
  job.applyLogo = [&doc](CBmp& image) { doc.ApplyLogo(image); };
  job.options = options;
  host.SetStatusText("Exporting " + path + "...");
  return ExportAnimation(host, job, path);
}

}  // namespace zr
