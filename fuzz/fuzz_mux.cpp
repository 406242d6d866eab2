// Multiplexer over arbitrary elementary streams. Input: a 2-byte big-endian video length,
// the video stream, then the audio stream.
#include <cstdint>
#include <cstdio>

#include "mpeg/convert_log.h"
#include "mpeg/mux.h"

namespace {
struct NullLog : zr::mpeg::ConvertLog {
  void Line(const std::string&) override {}
};

std::FILE* MemoryFile(const uint8_t* data, size_t size) {
  std::FILE* f = std::tmpfile();
  if (f && size) std::fwrite(data, 1, size, f);
  if (f) std::rewind(f);
  return f;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  size_t videoSize = (size_t(data[0]) << 8) | data[1];
  data += 2, size -= 2;
  if (videoSize > size) videoSize = size;
  std::FILE* video = MemoryFile(data, videoSize);
  std::FILE* audio = MemoryFile(data + videoSize, size - videoSize);
  std::FILE* out = std::fopen("/dev/null", "wb");
  if (video && audio && out) {
    NullLog log;
    zr::mpeg::MuxReport report;
    zr::mpeg::MuxLimits limits;
    limits.maxOutputBytes = 4 << 20;  // keep padding-only runs short
    zr::mpeg::MultiplexStreams(video, audio, out, log, report, limits);
  }
  if (video) std::fclose(video);
  if (audio) std::fclose(audio);
  if (out) std::fclose(out);
  return 0;
}
