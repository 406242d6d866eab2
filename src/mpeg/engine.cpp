#include "mpeg/engine.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

#include "mpeg/audio/audio_encoder.h"
#include "mpeg/avi_input.h"
#include "mpeg/sound_input.h"
#include "mpeg/syntax.h"
#include "mpeg/video/encoder.h"
#include "mpeg/video/format.h"
#include "mpeg/video/params.h"
#include "mpeg/video/rate_report.h"
#include "platform/atomic_file.h"
#include "platform/paths.h"

namespace zr::mpeg {

namespace {

// Moves a finished temporary file to a name that must not exist yet: never replaces a
// file the user has there.
bool MoveToFreeName(const std::string& from, const std::string& to) {
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  ::unlink(from.c_str());
  return true;
}

}  // namespace

// Thrown from the encoders' notifications when the user cancels; caught in Convert.
struct ConversionCancelled {};

// Forwards the log and tells the stage hook how far the current stage is. Lines about
// the conversion's temporary files are held back: the engine reports those failures
// itself, naming the file the user chose and the reason.
class MpgEngine::StageLog : public ConvertLog {
 public:
  StageLog(ConvertLog& out, const std::function<void(ConvertStage, int)>& hook)
      : out_(out), hook_(hook) {}
  void Line(const std::string& text) override {
    if (!tempPrefix_.empty() && text.find(tempPrefix_) != std::string::npos) {
      writeFailed = true;
      return;
    }
    out_.Line(text);
  }
  void Alert(const std::string& text) override { out_.Alert(text); }
  void Frame(int n) override {
    out_.Frame(n);
    StopIfCancelled();
  }
  void Percent(int p) override {
    out_.Percent(p);
    if (hook_) hook_(stage_, p);
    StopIfCancelled();
  }
  bool CancelRequested() override { return out_.CancelRequested(); }
  void Enter(ConvertStage stage) {
    stage_ = stage;
    if (hook_) hook_(stage, 0);
  }
  void SetTemporaryPrefix(const std::string& prefix) { tempPrefix_ = prefix; }
  bool writeFailed = false;

 private:
  // The encoders only notify; the multiplexer polls for itself and ends cleanly.
  void StopIfCancelled() {
    if (stage_ != ConvertStage::Multiplex && stage_ != ConvertStage::Done && out_.CancelRequested())
      throw ConversionCancelled{};
  }
  ConvertLog& out_;
  const std::function<void(ConvertStage, int)>& hook_;
  ConvertStage stage_ = ConvertStage::Opening;
  std::string tempPrefix_;
};

MpgEngine::MpgEngine(ConvertLog& log, int threads, bool highQuality)
    : log_(log), threads_(std::max(1, threads)), highQuality_(highQuality) {}

bool MpgEngine::Convert(const std::string& input, const std::string& output) {
  StageLog log(log_, stageHook_);
  log.Enter(ConvertStage::Opening);
  bool ok = false;
  cancelled_ = false;
  try {
    ok = ConvertFile(input, output, log);
  } catch (const ConversionCancelled&) {
    // Every temporary went with the stack; nothing of this file is left.
    cancelled_ = true;
  }
  if (cancelled_ || mux_.cancelled) {
    cancelled_ = true;
    ok = false;
    log_.Line("Cancelled");
  }
  log.Enter(ConvertStage::Done);
  return ok;
}

bool MpgEngine::ConvertFile(const std::string& input, const std::string& output,
                            ConvertLog& baseLog) {
  auto& log = static_cast<StageLog&>(baseLog);
  log.Line(Format("Converting %s to %s...", input.c_str(), output.c_str()));
  settings_ = VideoSettings{};
  settings_.threads = threads_;
  settings_.highQuality = highQuality_;
  mux_ = MuxReport{};
  videoOnly_ = false;
  failure_.clear();
  if (Layer2BitRateIndex(settings_.audioBitRate) == 0) {
    log.Line(Format("Error: %i audio bit-rate is unsupported", settings_.audioBitRate));
    return false;
  }

  std::string inputPath = input;
  if (PathExtension(inputPath).empty()) inputPath += ".avi";
  // No output name: the input's title beside it; no extension: ".mpg".
  std::string finalOutput =
      output.empty() ? PathFolder(inputPath) + PathTitle(inputPath) + ".mpg" : output;
  if (PathExtension(finalOutput).empty()) finalOutput += ".mpg";
  const std::string folder = PathFolder(finalOutput);
  const std::string title = PathTitle(finalOutput);

  AviInput avi;
  AviInputFault fault;
  if (!avi.Open(inputPath, log, fault)) {
    log.Line(AviInputLogLine(fault, inputPath));
    failure_ = AviInputDetail(fault);
    return false;
  }
  // Unusable sound was reported by the opening; the whole rate then goes to the video.
  if (!avi.hasAudio()) settings_.noAudio = true;

  // Everything is written under temporary names beside the output, so no user file is
  // ever overwritten and same-titled conversions running at once never collide.
  AtomicFile out(finalOutput);
  const std::string keptVideo = folder + title + ".m1v";
  AtomicFile m1v(keptVideo);
  log.SetTemporaryPrefix(folder + "." + title + ".partial");
  bool noAudio = settings_.noAudio;
  const std::string& videoPath = noAudio ? out.tempPath() : m1v.tempPath();
  auto cannotWrite = [&](int error) {
    log.Line("Error: " + CannotWriteText(finalOutput, error));
    return false;
  };

  log.Line("Compressing video...");
  log.Enter(ConvertStage::Video);
  VideoEncoder video;
  VideoParams params;
  if (!SetVideoParameters(avi.info(), settings_, log, params)) return false;
  avi.SetSubstituteMissingFrames(settings_.substituteMissingFrames);
  {
    // Opened here, not by the encoder, so a Cancel thrown from its loop closes it too.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(videoPath.c_str(), "wb"),
                                                         std::fclose);
    if (!file) return cannotWrite(errno);
    bool encoded = video.EncodeStream(avi, params, file.get(), log, settings_.threads);
    int error = std::ferror(file.get()) ? errno : 0;
    if (std::fclose(file.release()) != 0 && error == 0) error = errno;
    if (encoded && (error != 0 || log.writeFailed)) return cannotWrite(error);
    // A stream that failed on a full disk says why, as a finished one does.
    if (!encoded) return log.writeFailed || error != 0 ? cannotWrite(error) : false;
  }
  log.Frame(video.result().codedFrames);
  log.Percent(100);
  if (video.result().overflowCount > 0) log.Line("Warning: buffer overflow");
  for (const std::string& line : RateWarnings(video.result())) log.Line(line);
  if (avi.substitutedFrames() > 0)
    log.Line(Format("Warning: %u frames were substituted", unsigned(avi.substitutedFrames())));
  log.Line("Video completed");

  AtomicFile mp2(folder + title + ".mp2");
  if (!noAudio) {
    log.Line(Format("Audio bit-rate: %u", unsigned(settings_.audioBitRate * 1024)));
    log.Enter(ConvertStage::Audio);
    const SoundFormat& format = avi.soundFormat();
    AviPcmStream pcm(avi.audioStream(), format.channels * (format.bitsPerSample / 8));
    SoundSource source;
    source.Open(pcm, format);
    audio::AudioEncoder encoder;
    bool audioOk = encoder.Encode(source, mp2.tempPath(), log, settings_.audioBitRate);
    // A disk that filled up fails the file: a silent video-only output would hide it.
    if (log.writeFailed) return cannotWrite(0);
    if (audioOk && encoder.frames() == 0) {
      // A stream that passed the checks but holds nothing: keep the good video alone.
      log.Line("Warning: the sound holds no samples; the output is video only");
      audioOk = false;
    } else if (!audioOk) {
      log.Line("Warning: the sound could not be encoded; the output is video only");
    }
    if (audioOk) {
      log.Line("Audio completed");
      if (source.missingSamples() > 0)
        log.Line(Format("Warning: %d audio samples set to 0 length", int(source.missingSamples())));
    }
    noAudio = !audioOk;
  }
  avi.Close();
  videoOnly_ = noAudio;

  if (noAudio) {
    // The output is the bare video stream.
    if (videoPath != out.tempPath() && std::rename(videoPath.c_str(), out.tempPath().c_str()) != 0)
      return cannotWrite(errno);
    if (!out.Commit()) return cannotWrite(out.error());
    return true;
  }

  log.Line("Multiplexing...");
  log.Enter(ConvertStage::Multiplex);
  bool muxed = Multiplex(m1v.tempPath(), mp2.tempPath(), out.tempPath(), log, mux_);
  // A short multiplex ends before its first poll; a Cancel asked meanwhile still counts.
  if (mux_.cancelled || log.CancelRequested()) {
    mux_.cancelled = true;
    return false;
  }
  if (!muxed && (mux_.writeError != 0 || log.writeFailed)) {
    cannotWrite(mux_.writeError);
  } else if (muxed && !out.Commit()) {
    cannotWrite(out.error());
    muxed = false;
  }
  if (!muxed) {
    // The video took the time: keep it where the user finds it, if that name is free.
    if (MoveToFreeName(m1v.tempPath(), keptVideo))
      log.Line("The video stream is kept in " + keptVideo);
    return false;
  }
  log.Frame(video.result().codedFrames);
  log.Percent(100);
  log.Line("MPG completed!");
  if (mux_.videoTimedOut) log.Line("Error: video timed-out");
  if (mux_.audioTimedOut) log.Line("Error: audio timed-out");
  return true;  // the elementary streams go with m1v and mp2
}

std::string BatchOutputPath(const std::string& input, const std::string& outputFolder,
                            const std::string& ext) {
  std::string folder = outputFolder;
  if (folder.empty())
    folder = PathFolder(input);
  else if (folder.back() != '/')
    folder += '/';
  return folder + PathTitle(input) + ext;
}

int ConvertBatch(const std::vector<std::string>& inputs, const std::string& outputFolder,
                 const std::string& ext, ConvertProgress& progress, int threads,
                 bool highQuality) {
  progress.Begin(true);
  progress.Line("Starting MPG engine...");
  int converted = 0;
  for (const std::string& input : inputs) {
    if (progress.CancelRequested()) break;  // a Cancel skips the files not begun
    std::string output = BatchOutputPath(input, outputFolder, ext);
    progress.SetOutput(output);
    MpgEngine engine(progress, threads, highQuality);
    if (engine.Convert(input, output))
      ++converted;
    else if (!engine.failureDetail().empty())
      progress.FailureDetail(input, engine.failureDetail());
  }
  progress.Line("MPG engine closed");
  progress.Begin(false);
  return converted;
}

void AddChosenFiles(std::vector<std::string>& list, const std::vector<std::string>& chosen) {
  if (chosen.empty()) return;
  list.insert(list.end(), chosen.begin(), chosen.end());
  if (list.size() > 1) std::swap(list.front(), list.back());
}

}  // namespace zr::mpeg
