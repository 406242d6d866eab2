// The AVI layer's read side on arbitrary bytes: open as AVI or WAV, describe every stream,
// read formats, sound samples and decoded frames, and copy the streams to a new file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/avifile/avifile.h"

namespace {

std::string Scratch(const char* ext) {
  return "/tmp/fuzz_avi_" + std::to_string(getpid()) + ext;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zr;
  if (size > (1u << 20)) return 0;
  // MIDI goes to the synthesiser, whose render time follows the song; fuzz the
  // containers we parse.
  if (size >= 4 && std::memcmp(data, "MThd", 4) == 0) return 0;
  if (size >= 12 && std::memcmp(data + 8, "RMID", 4) == 0) return 0;
  const std::string in = Scratch(".avi");
  FILE* f = std::fopen(in.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  PAVIFILE file = nullptr;
  if (AVIFileOpen(&file, in, OF_READ) != AVIERR_OK) {
    if (file) abort();
    return 0;
  }
  AVIFILEINFO fi;
  if (AVIFileInfo(file, &fi, sizeof fi) != AVIERR_OK) abort();
  std::vector<PAVISTREAM> streams;
  for (int32_t i = 0; i < 8; ++i) {
    PAVISTREAM s = nullptr;
    if (AVIFileGetStream(file, &s, 0, i) != AVIERR_OK) break;
    streams.push_back(s);
    AVISTREAMINFO si;
    AVIStreamInfo(s, &si, sizeof si);
    int32_t fsize = 0;
    if (AVIStreamReadFormat(s, 0, nullptr, &fsize) != AVIERR_OK || fsize < 0) abort();
    std::vector<uint8_t> format(size_t(fsize) + 1);
    int32_t got = fsize;
    AVIStreamReadFormat(s, 0, format.data(), &got);
    if (got != fsize) abort();
    if (si.fccType == streamtypeAUDIO) {
      std::vector<uint8_t> buf(4608);
      int32_t bytes = 0, samples = 0;
      int32_t length = AVIStreamLength(s);
      for (int32_t start : {0, 7, length / 2, 0}) {
        AVIStreamRead(s, start, 1152, buf.data(), int32_t(buf.size()), &bytes, &samples);
        if (bytes < 0 || bytes > int32_t(buf.size())) abort();
      }
    } else if (si.fccType == streamtypeVIDEO) {
      PGETFRAME g = AVIStreamGetFrameOpen(s);
      if (g) {
        int32_t length = AVIStreamLength(s);
        for (int32_t pos : {0, 1, length - 1, 0}) {
          const BitmapInfoHeader* h = AVIStreamGetFrame(g, pos);
          if (h && (h->biWidth <= 0 || h->biHeight <= 0)) abort();
        }
        AVIStreamGetFrameClose(g);
      }
    }
  }
  AVIFileRelease(file);
  if (!streams.empty()) {
    const std::string out = Scratch(".out.avi");
    AVISaveV(out, nullptr, nullptr, int(streams.size()), streams.data(), nullptr);
    std::remove(out.c_str());
  }
  for (PAVISTREAM s : streams) AVIStreamRelease(s);
  std::remove(in.c_str());
  return 0;
}
