// The converter's sound side: the format checks, and ReadSoundBlock, which turns 8- or
// 16-bit PCM at 11025, 22050 or 44100 Hz into blocks of 1152 16-bit sample frames at
// 44100 Hz (repeating samples and smoothing the steps), silent where the stream falls
// short of its declared length.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mpeg/convert_log.h"

namespace zr {
struct AviStreamObject;
}

namespace zr::mpeg {

struct SoundFormat {
  int formatTag = 0;  // 1 = PCM
  int channels = 0;
  int samplesPerSec = 0;
  int bitsPerSample = 0;
  int64_t length = 0;  // declared length in sample frames
};

// Where the raw sound comes from (an AVI or WAV sound stream, or memory in tests).
class PcmStream {
 public:
  virtual ~PcmStream() = default;
  // Up to `frames` sample frames from sample frame `start` into buffer (capacity bytes).
  // Returns the sample frames read: fewer at the end, 0 past it or on a read error.
  virtual int Read(int64_t start, int frames, uint8_t* buffer, size_t capacity) = 0;
};

// Interleaved PCM bytes held in memory.
class MemoryPcmStream : public PcmStream {
 public:
  MemoryPcmStream(std::vector<uint8_t> bytes, int bytesPerFrame)
      : bytes_(std::move(bytes)), frameBytes_(bytesPerFrame) {}
  int Read(int64_t start, int frames, uint8_t* buffer, size_t capacity) override;

 private:
  std::vector<uint8_t> bytes_;
  int frameBytes_;
};

// Reads an AVI/WAV sound stream of the platform's AVI library (the stream must outlive it).
class AviPcmStream : public PcmStream {
 public:
  AviPcmStream(AviStreamObject* stream, int bytesPerFrame)
      : stream_(stream), frameBytes_(bytesPerFrame) {}
  int Read(int64_t start, int frames, uint8_t* buffer, size_t capacity) override;

 private:
  AviStreamObject* stream_;
  int frameBytes_;
};

// Writes "Audio sampling rate: ..." and, for a format the encoder cannot take, the
// matching "Error: " line. False means: set the no-audio flag (the output is video only).
bool CheckSoundFormat(const SoundFormat& format, ConvertLog& log);

// The sound reader of one conversion.
class SoundSource {
 public:
  static constexpr int kBlockFrames = 1152;
  static constexpr int kBufferBytes = 4608;  // one stereo block of 16-bit samples

  // Starts a file: position 0, filter history zero, missing count 0. The format must have
  // passed CheckSoundFormat; the stream must outlive the reading.
  void Open(PcmStream& stream, const SoundFormat& format);
  int channels() const { return format_.channels; }
  // Fills `buffer` with `wanted` interleaved samples (2304 stereo, 1152 mono) at 44100 Hz.
  // Returns the samples delivered: `wanted` (a last short block is completed with zeros),
  // or 0 when nothing is left.
  int ReadSoundBlock(int16_t* buffer, int wanted);
  // (total - still to deliver) * 100 / total.
  int Percent() const;
  // Sample frames the stream did not deliver and that were set to silence.
  int64_t missingSamples() const { return missing_; }

 private:
  void Smooth(int16_t* samples, int frames);

  PcmStream* stream_ = nullptr;
  SoundFormat format_;
  int factor_ = 1;  // 44100 / rate
  int64_t total_ = 0, remaining_ = 0, position_ = 0, missing_ = 0;
  // Four FIR stages; each keeps the last three input sample frames per channel.
  std::array<std::array<std::array<int16_t, 3>, 2>, 4> history_{};
  std::array<uint8_t, kBufferBytes> raw_{};
};

enum class WavError {
  None,
  CannotOpen,     // the library cannot open the file
  NoSound,        // no sound stream in it
  BadFormat,      // the stream's format block is missing, short or oversized
  BadBlockAlign,  // PCM block alignment not the frame size the samples need
};
const char* WavErrorText(WavError error);

// Why a sound file was refused: the error, the format field at fault with its value (and
// the value it should have had), or the library's result (field empty).
struct WavFault {
  WavError error = WavError::None;
  std::string field;
  int64_t value = 0;
  int64_t expected = 0;
};
// "sound: PCM block size does not match the samples (nBlockAlign 3, 4 expected)".
std::string WavFaultDetail(const WavFault& fault);

// The sound of an AVI or WAV file through the platform's AVI library, for the
// encode-audio command. A stream on success; otherwise the named fault ("no sound" is a
// fault too), which the command puts in its own words.
struct OpenedSound {
  SoundFormat format;
  std::unique_ptr<PcmStream> stream;
  std::shared_ptr<void> keepAlive;  // releases the library handles
  WavFault fault;
};
OpenedSound OpenSoundFile(const std::string& path);

}  // namespace zr::mpeg
