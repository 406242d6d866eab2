// The MIDI reader on arbitrary bytes: a standard or RIFF-wrapped MIDI file rendered with
// the sound font, then its samples read back the way the merge and the converter do.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/avifile/avifile.h"
#include "platform/avifile/avifile_internal.h"

namespace {
// Well below the layer's limit: a song's render time follows its length, and the fuzzer
// should spend its time on the parsing.
constexpr int64_t kMaxSeconds = 4;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zr;
  if (size > (1u << 16)) return 0;
  const std::string in = "/tmp/fuzz_midi_" + std::to_string(getpid()) + ".mid";
  FILE* f = std::fopen(in.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  PAVIFILE file = nullptr;
  if (OpenMidiFile(in, MidiSoundFont(), &file, kMaxSeconds) != AVIERR_OK) {
    std::remove(in.c_str());
    if (file) std::abort();
    return 0;
  }
  PAVISTREAM s = nullptr;
  if (AVIFileGetStream(file, &s, streamtypeAUDIO, 0) != AVIERR_OK) std::abort();
  AVIFileRelease(file);
  AVISTREAMINFO si;
  if (AVIStreamInfo(s, &si, sizeof si) != AVIERR_OK) std::abort();
  if (int64_t(si.dwLength) > (kMaxSeconds + 2) * 44100) std::abort();
  std::vector<uint8_t> buf(4608);
  const int32_t length = AVIStreamLength(s);
  for (int32_t start : {0, length / 2, length - 1, length}) {
    int32_t bytes = 0, samples = 0;
    AVIStreamRead(s, start, 1152, buf.data(), int32_t(buf.size()), &bytes, &samples);
    if (bytes < 0 || bytes > int32_t(buf.size()) || samples > 1152) std::abort();
  }
  AVIStreamRelease(s);
  std::remove(in.c_str());
  return 0;
}
