// The sound reader and the layer II encoder on arbitrary PCM: the first bytes pick the
// format and a declared length that may disagree with the data; the rest is the sound.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "mpeg/audio/audio_encoder.h"
#include "mpeg/sound_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zr::mpeg;
  // Short sounds: a few dozen frames reach every path of the encoder, and long ones held
  // the fuzzer at fifty inputs a second.
  if (size < 4 || size > (1u << 14)) return 0;
  static const int kRates[] = {11025, 22050, 44100, 44100};
  SoundFormat f;
  f.formatTag = 1;
  f.channels = 1 + (data[0] & 1);
  f.bitsPerSample = data[0] & 2 ? 16 : 8;
  f.samplesPerSec = kRates[(data[0] >> 2) & 3];
  const int frameBytes = f.channels * f.bitsPerSample / 8;
  const int64_t frames = int64_t(size - 4) / frameBytes;
  // Declared length: the data's, or up to 8k frames more or fewer.
  const int shift = int16_t(data[1] | (data[2] << 8)) / 4;
  f.length = std::max<int64_t>(0, frames + shift * (data[3] & 1));
  MemoryPcmStream stream(std::vector<uint8_t>(data + 4, data + size), frameBytes);
  SoundSource source;
  source.Open(stream, f);
  RecordingLog log;
  audio::AudioEncoder encoder;
  const std::string out = "/tmp/fuzz_audio_" + std::to_string(getpid()) + ".mp2";
  if (!encoder.Encode(source, out, log)) std::abort();
  if (encoder.scaleOverflows() != 0) std::abort();  // scale factors always cover the samples
  std::remove(out.c_str());
  return 0;
}
