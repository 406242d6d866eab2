// The converter: MpgEngine turns one AVI into an MPEG-1 system stream (video encoder,
// audio encoder, multiplexer), and the batch runs it over a list of inputs. All state of
// a conversion lives in its engine, so engines on several threads never interfere and a
// file converts to the same bytes alone or in a batch.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "mpeg/convert_log.h"
#include "mpeg/mux.h"
#include "mpeg/video/video_settings.h"

namespace zr::mpeg {

// Where the batch reports: the log lines, frame number and percentage of ConvertLog, plus
// the progress window's batch operations.
class ConvertProgress : public ConvertLog {
 public:
  // clear = start of a batch; false at its end.
  virtual void Begin(bool clear) { (void)clear; }
  // The output file that the batch starts on.
  virtual void SetOutput(const std::string& path) { (void)path; }
  // An input abandoned for a reason the engine knows precisely (MpgEngine::failureDetail),
  // beside the line the log was given.
  virtual void FailureDetail(const std::string& input, const std::string& detail) {
    (void)input;
    (void)detail;
  }
};

// Rough share of one file's work done, for overall progress bars.
enum class ConvertStage { Opening, Video, Audio, Multiplex, Done };

class MpgEngine {
 public:
  // threads: motion search threads of the video encoder (the bytes are the same for any).
  // highQuality: the slower video mode; like the threads, it outlives the per-file reset.
  explicit MpgEngine(ConvertLog& log, int threads = 2, bool highQuality = false);

  // Converts input (".avi" appended when it has no extension) to output. False when the
  // file was abandoned; then nothing is left under the output's name.
  bool Convert(const std::string& input, const std::string& output);

  // Called with the stage and its percentage; also see ConvertLog::Percent.
  void SetStageHook(std::function<void(ConvertStage, int percent)> hook) {
    stageHook_ = std::move(hook);
  }

  // Of the last Convert.
  const VideoSettings& settings() const { return settings_; }
  const MuxReport& muxReport() const { return mux_; }
  bool videoOnly() const { return videoOnly_; }
  // The last Convert was stopped by ConvertLog::CancelRequested.
  bool cancelled() const { return cancelled_; }
  // Why the last Convert abandoned its file, precisely, when a reader knows ("AVI input:
  // ..."); the log holds the line the user is shown.
  const std::string& failureDetail() const { return failure_; }

 private:
  class StageLog;
  bool ConvertFile(const std::string& input, const std::string& output, ConvertLog& log);

  ConvertLog& log_;
  int threads_;
  bool highQuality_;
  VideoSettings settings_;
  MuxReport mux_;
  bool videoOnly_ = false;
  bool cancelled_ = false;
  std::string failure_;
  std::function<void(ConvertStage, int)> stageHook_;
};

// The batch's naming: the output folder (or the input's own folder when empty), the
// input's title and ext (".mpg" or ".mpeg").
std::string BatchOutputPath(const std::string& input, const std::string& outputFolder,
                            const std::string& ext);

// Converts every input in order, with the batch's opening and closing lines. Returns the
// number of files converted.
int ConvertBatch(const std::vector<std::string>& inputs, const std::string& outputFolder,
                 const std::string& ext, ConvertProgress& progress, int threads = 2,
                 bool highQuality = false);

// The file dialog's list rule: append the chosen paths in order, then exchange the first
// and last entries when the list holds more than one.
void AddChosenFiles(std::vector<std::string>& list, const std::vector<std::string>& chosen);

}  // namespace zr::mpeg
