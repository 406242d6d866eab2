// `zerarive-cli info` for AVI, WAV and MIDI files: streams, codec, size, rate, length.
#include <cstdio>
#include <vector>
#include <algorithm>
#include <cstring>

#include "cli/info.h"
#include "output/avi_messages.h"
#include "platform/avifile/avifile.h"

namespace zr::cli {

namespace {

int DescribeAvi(const std::string& path) {
  AviFilePtr file;
  HRESULT hr = AVIFileOpen(AviOut(file), path, OF_READ);
  if (hr != AVIERR_OK) {
    std::fprintf(stderr, "zerarive-cli: %s: %s\n", path.c_str(),
                 AviMessageText(ErrorMessageId(hr)));
    return 1;
  }
  AVIFILEINFO fi;
  AVIFileInfo(file.get(), &fi, sizeof fi);
  std::printf("%s: %s, %u stream%s\n", path.c_str(), fi.szFileType, fi.dwStreams,
              fi.dwStreams == 1 ? "" : "s");
  for (int32_t i = 0;; ++i) {
    AviStreamPtr stream;
    if (AVIFileGetStream(file.get(), AviOut(stream), 0, i) != AVIERR_OK) break;
    PAVISTREAM s = stream.get();
    AVISTREAMINFO si;
    AVIStreamInfo(s, &si, sizeof si);
    int32_t size = 0;
    AVIStreamReadFormat(s, 0, nullptr, &size);
    std::vector<uint8_t> format(size_t(std::max(size, 0)) + 40, 0);
    AVIStreamReadFormat(s, 0, format.data(), &size);
    double rate = si.dwScale ? double(si.dwRate) / si.dwScale : 0;
    if (si.fccType == streamtypeVIDEO) {
      BitmapInfoHeader h;
      std::memcpy(&h, format.data(), sizeof h);
      std::printf("  stream %d: video '%s', %dx%d, %d bits, %.3f frames/s, %u frames (%.2f s)\n",
                  i, FourCCToString(si.fccHandler).c_str(), h.biWidth, h.biHeight, h.biBitCount,
                  rate, si.dwLength, rate > 0 ? si.dwLength / rate : 0.0);
    } else if (si.fccType == streamtypeAUDIO) {
      WAVEFORMATEX w;
      std::memcpy(static_cast<void*>(&w), format.data(), sizeof w);
      double seconds = w.nAvgBytesPerSec
                           ? double(si.dwLength) * si.dwSampleSize / w.nAvgBytesPerSec
                           : 0.0;
      std::printf("  stream %d: audio format 0x%04X, %u Hz, %u channel%s, %u bits, %u blocks "
                  "(%.2f s)\n",
                  i, w.wFormatTag, w.nSamplesPerSec, w.nChannels, w.nChannels == 1 ? "" : "s",
                  w.wBitsPerSample, si.dwLength, seconds);
    } else {
      std::printf("  stream %d: '%s'\n", i, FourCCToString(si.fccType).c_str());
    }
  }
  return 0;
}

InfoRegistrar registrar({{"AVI", "WAV", "MID", "MIDI", "RMI"}, DescribeAvi});

}  // namespace

}  // namespace zr::cli
