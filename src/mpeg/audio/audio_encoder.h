// The layer II encoder of one conversion: 44.1 kHz sound from a SoundSource into an .mp2
// stream at a constant bit rate. All state lives in the object and is cleared at the
// start of every Encode, so a file encodes the same whichever files came before it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "mpeg/convert_log.h"
#include "mpeg/sound_input.h"

namespace zr::mpeg::audio {

struct AllocTable;
struct Layer2Tables;

class AudioEncoder {
 public:
  AudioEncoder();
  ~AudioEncoder();
  AudioEncoder(const AudioEncoder&) = delete;
  AudioEncoder& operator=(const AudioEncoder&) = delete;

  // Reads blocks until the source is exhausted and writes mp2Path (through a temporary
  // name: nothing appears under it on failure). Sends the source's percentage after every
  // frame. False after an "Error: " line (or "Could not create", "Unable to allocate"):
  // the caller abandons the sound. bitrateKbps: a layer II rate; 128 for the converter.
  bool Encode(SoundSource& source, const std::string& mp2Path, ConvertLog& log,
              int bitrateKbps = 128);

  // Of the last Encode. frames() == 0 means the source had no samples at all.
  int64_t frames() const { return frames_; }
  int64_t paddedFrames() const { return padded_; }
  // "Not scaled properly" reports (never expected; a count for tests).
  int64_t scaleOverflows() const { return overflows_; }

 private:
  struct State;
  bool ResetState(const Layer2Tables& tables, ConvertLog& log);
  void AnalyseFrame(const AllocTable& table, int channels);
  void QuantiseFrame(const AllocTable& table, int channels, ConvertLog& log);

  std::unique_ptr<State> state_;
  int64_t frames_ = 0, padded_ = 0, overflows_ = 0;
};

// Frame padding of a constant-rate 44.1 kHz stream: the exact slot lag in units of 1/441
// byte, so long files never drift.
class PaddingClock {
 public:
  explicit PaddingClock(int bitrateKbps);
  int wholeBytes() const { return whole_; }
  // Whether the next frame carries the extra byte.
  bool Next();

 private:
  int whole_, frac_;  // bytes per frame = whole_ + frac_ / 441
  int lag_;
};

}  // namespace zr::mpeg::audio
