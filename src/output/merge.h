// Merging the streams of two files (a video AVI and a sound file: WAV, MIDI or AVI) into
// a new file through the AVI save operation, the sound written unconverted.
#pragma once

#include <string>

#include "platform/avifile/avifile.h"

namespace zr {

class Host;

constexpr int kMaxMergeStreams = 20;

// The streams of one merge, first file's first; `owners` holds them, `aviStreams` is the
// array form the save takes. Release() lets go of them all.
struct MergeState {
  AviStreamPtr owners[kMaxMergeStreams];
  PAVISTREAM aviStreams[kMaxMergeStreams] = {};
  int aviStreamCount = 0;
  AVICOMPRESSOPTIONS aviStreamOptions[kMaxMergeStreams];
  AVICOMPRESSOPTIONS* aviStreamOptionRefs[kMaxMergeStreams] = {};

  MergeState() = default;
  MergeState(const MergeState&) = delete;
  MergeState& operator=(const MergeState&) = delete;
  ~MergeState() { Release(); }
  void Release();
};

// Opens `path` for reading and collects its streams; false (nothing collected) when it
// cannot be opened.
bool OpenAndCollect(MergeState& state, const std::string& path);
// Adds the file's streams of every type in order, up to the limit; the surplus is left out.
void CollectStreams(MergeState& state, PAVIFILE file);
// One save-options record per collected stream: video as stored, audio in its own format.
void BuildStreamOptions(MergeState& state);

enum class MergeFailure { None, CannotOpen, SaveFailed, Cancelled };

// The AVI save's progress callback for long copies: the Host's progress (0..100) and its
// Cancel, polled at every report.
bool ReportSaveProgress(Host& host, int percent);
// ReportSaveProgress on `host`, in the form the AVI save takes.
AVISAVECALLBACK SaveProgressOf(Host& host);

// "PATH: REASON" after a failed write into `path`: the text of the system's error number
// `error`, or (0) what the file system tells.
std::string WriteFailureDetail(const std::string& path, int error);

// Writes video's and sound's streams into `output` (type by extension). False when an
// input cannot be opened (no message; `failure`/`unopened` say which) or when the save
// fails (after "File open error: merging streams failed" and "PATH: REASON"), or is
// cancelled (status "Cancelled"); an existing `output` then stays as it was.
bool MergeStreams(Host& host, const std::string& video, const std::string& sound, const std::string& output,
                  MergeFailure* failure = nullptr, std::string* unopened = nullptr);

// The Merge dialog's "&Do it!": the merge, and "Codec error: please restart the program"
// when an input could not be opened. True when `output` was made (then show it).
bool MergeCommand(Host& host, const std::string& video, const std::string& sound, const std::string& output);

// "Could not open the sound file %s" with the reason when there is a clear one (a MIDI
// file without its sound font).
std::string CannotOpenMessage(const std::string& path);

}  // namespace zr
