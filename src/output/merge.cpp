#include "output/merge.h"

#include <cstring>

#include "output/avi_messages.h"
#include "platform/atomic_file.h"
#include "platform/host.h"
#include "platform/paths.h"

namespace zr {

void MergeState::Release() {
  AVISaveOptionsFree(aviStreamCount, aviStreamOptionRefs);
  for (int i = 0; i < aviStreamCount; ++i) {
    owners[i].reset();
    aviStreams[i] = nullptr;
    aviStreamOptionRefs[i] = nullptr;
  }
  aviStreamCount = 0;
}

void CollectStreams(MergeState& state, PAVIFILE file) {
  for (int32_t j = 0;; ++j) {
    AviStreamPtr stream;
    if (AVIFileGetStream(file, AviOut(stream), 0, j) != AVIERR_OK) break;
    if (state.aviStreamCount >= kMaxMergeStreams) break;
    state.aviStreams[state.aviStreamCount] = stream.get();
    state.owners[state.aviStreamCount++] = std::move(stream);
  }
}

bool OpenAndCollect(MergeState& state, const std::string& path) {
  AviFilePtr file;
  if (AVIFileOpen(AviOut(file), path, OF_READ) != AVIERR_OK) return false;
  CollectStreams(state, file.get());  // the collected streams keep the file open
  return true;
}

void BuildStreamOptions(MergeState& state) {
  for (int i = 0; i < state.aviStreamCount; ++i) {
    AVISTREAMINFO info;
    AVIStreamInfo(state.aviStreams[i], &info, sizeof info);
    AVICOMPRESSOPTIONS& o = state.aviStreamOptions[i];
    o = AVICOMPRESSOPTIONS{};
    state.aviStreamOptionRefs[i] = &o;
    o.fccType = info.fccType;
    if (info.fccType == streamtypeVIDEO) {
      o.fccHandler = 0;
      o.dwKeyFrameEvery = 0xFFFFFFFF;
      o.dwQuality = 0xFFFFFFFF;
      o.dwFlags = AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_DATARATE | AVICOMPRESSF_VALID;
      o.dwInterleaveEvery = 1;
    } else if (info.fccType == streamtypeAUDIO) {
      o.dwFlags = AVICOMPRESSF_VALID;
      o.dwInterleaveEvery = 1;
      int32_t size = 0;
      int32_t start = AVIStreamStart(state.aviStreams[i]);
      AVIStreamReadFormat(state.aviStreams[i], start, nullptr, &size);
      if (size > 0) {
        o.lpFormat = AviAlloc(size_t(size));
        o.cbFormat = uint32_t(size);
        AVIStreamReadFormat(state.aviStreams[i], start, o.lpFormat, &size);
      }
    }
  }
}

bool MergeStreams(Host& host, const std::string& video, const std::string& sound, const std::string& output,
                  MergeFailure* failure, std::string* unopened) {
  auto fail = [&](MergeFailure why, const std::string& path) {
    if (failure) *failure = why;
    if (unopened) *unopened = path;
    return false;
  };
  if (failure) *failure = MergeFailure::None;
  MergeState state;
  if (!OpenAndCollect(state, video)) return fail(MergeFailure::CannotOpen, video);
  if (!OpenAndCollect(state, sound)) return fail(MergeFailure::CannotOpen, sound);
  BuildStreamOptions(state);
  HRESULT hr;
  int systemError = 0;
  {
    WaitCursor wait(host);
    host.BeginProgress(kStatusMerging, 100);
    hr = AVISaveV(output, nullptr, SaveProgressOf(host), state.aviStreamCount, state.aviStreams,
                  state.aviStreamOptionRefs, &systemError);
    host.EndProgress();
  }
  if (hr == AVIERR_USERABORT) {
    host.SetStatusText(kStatusCancelled);
    return fail(MergeFailure::Cancelled, {});
  }
  if (hr != AVIERR_OK) {
    // A failed save is a failure: the output was not made.
    std::string text = kMergeFailed;
    if (hr == AVIERR_FILEWRITE || hr == AVIERR_FILEOPEN)
      text += "\n" + WriteFailureDetail(output, systemError);
    host.Message(text);
    return fail(MergeFailure::SaveFailed, {});
  }
  return true;
}

bool ReportSaveProgress(Host& host, int percent) {
  host.UpdateProgress(percent);
  return host.CancelRequested();
}

AVISAVECALLBACK SaveProgressOf(Host& host) {
  return [&host](int percent) { return ReportSaveProgress(host, percent); };
}

std::string WriteFailureDetail(const std::string& path, int error) {
  return path + ": " + WriteFailureReason(path, error);
}

bool MergeCommand(Host& host, const std::string& video, const std::string& sound,
                  const std::string& output) {
  WaitCursor wait(host);
  MergeFailure failure;
  if (MergeStreams(host, video, sound, output, &failure)) return true;
  // A failed save has said all there is to say.
  if (failure == MergeFailure::CannotOpen) host.Message(kRestartProgram);
  return false;
}

std::string CannotOpenMessage(const std::string& path) {
  std::string text = "Could not open the sound file " + path;
  std::string key = ExtensionKey(path);
  if ((key == "MID" || key == "MIDI" || key == "RMI") && FileExists(path) &&
      !FileExists(MidiSoundFont())) {
    text += " (the General MIDI sound font " + MidiSoundFont() + " is missing)";
  }
  return text;
}

}  // namespace zr
