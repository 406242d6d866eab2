// A sound file read for an export: WAV in any codec FFmpeg reads, the first sound stream
// of an AVI, or MIDI rendered as the AVI layer renders it. Streamed, never held whole
// (MIDI excepted: the AVI layer renders a song once, at open).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct AVFrame;

namespace zr {

class ExportSound {
 public:
  virtual ~ExportSound() = default;
  // nullptr with `error` set when the file has no sound that can be decoded.
  static std::unique_ptr<ExportSound> Open(const std::string& path, std::string& error);

  virtual int sourceRate() const = 0;
  virtual int sourceChannels() const = 0;
  // Sets the output form (an AVSampleFormat, a rate, 1 or 2 channels) before any Read.
  virtual bool Configure(int sampleFormat, int rate, int channels) = 0;
  // Fills frame->nb_samples samples of `frame` (allocated in the output form); past the
  // file's end with silence. False on a decoding failure.
  virtual bool Read(AVFrame* frame) = 0;
};

}  // namespace zr
