// Helpers of the AVI output tests: image files of our own, a host that answers the size
// question, and reading frames back through the AVI layer.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "image/cbmp.h"
#include "platform/avifile/avifile.h"
#include "support/fake_host.h"

namespace zr::test {

class SizeHost : public FakeHost {
 public:
  std::optional<ImageSizeAnswer> AskImageSize(const ImageSizeQuestion& question) override {
    asked.push_back(question.imagePath);
    if (sizeAnswers.empty()) return std::nullopt;
    auto a = sizeAnswers.front();
    sizeAnswers.pop_front();
    return a;
  }
  std::deque<std::optional<ImageSizeAnswer>> sizeAnswers;
  std::vector<std::string> asked;
};

inline ImageSizeAnswer Answer(int choice, bool keep = false, int x = 0, int y = 0,
                              ColorRef background = 0xFFFFFF) {
  ImageSizeAnswer a;
  a.choice = choice;
  a.keep = keep;
  a.x = x;
  a.y = y;
  a.background = background;
  return a;
}

// A w x h BMP of one colour with a marker pixel at (0, 0), saved at `path`.
inline std::string SaveImage(const std::string& path, int w, int h, ColorRef color,
                             ColorRef marker = 0x000000) {
  CBmp b;
  Bitmap bmp(w, h, PixelFromColorRef(color));
  bmp.at(0, 0) = PixelFromColorRef(marker);
  b.SetBitmap(std::move(bmp));
  b.Save(path);
  return path;
}

struct Decoded {
  int width = 0, height = 0, frames = 0, rate = 0;
  std::vector<Bitmap> pictures;  // top-down, screen format
};

// All frames of the first video stream, through the AVI layer.
inline Decoded ReadAvi(const std::string& path) {
  Decoded d;
  PAVIFILE file = nullptr;
  if (AVIFileOpen(&file, path, OF_READ) != AVIERR_OK) return d;
  AVIFILEINFO fi;
  AVIFileInfo(file, &fi, sizeof fi);
  d.width = int(fi.dwWidth);
  d.height = int(fi.dwHeight);
  d.frames = int(fi.dwLength);
  d.rate = fi.dwScale ? int(fi.dwRate / fi.dwScale) : 0;
  PAVISTREAM s = nullptr;
  if (AVIFileGetStream(file, &s, streamtypeVIDEO, 0) == AVIERR_OK) {
    BitmapInfoHeader want;
    want.biBitCount = 24;
    PGETFRAME g = AVIStreamGetFrameOpen(s, &want);
    for (int i = 0; g && i < d.frames; ++i) {
      const BitmapInfoHeader* h = AVIStreamGetFrame(g, i);
      if (!h) break;
      Bitmap b(h->biWidth, h->biHeight);
      const uint8_t* bits = reinterpret_cast<const uint8_t*>(h) + 40;
      uint32_t stride = DibStride(h->biWidth, 24);
      for (int y = 0; y < h->biHeight; ++y) {
        const uint8_t* row = bits + size_t(h->biHeight - 1 - y) * stride;
        for (int x = 0; x < h->biWidth; ++x) {
          b.at(x, y) = Pixel(row[3 * x]) | (Pixel(row[3 * x + 1]) << 8) | (Pixel(row[3 * x + 2]) << 16);
        }
      }
      d.pictures.push_back(std::move(b));
    }
    AVIStreamGetFrameClose(g);
    AVIStreamRelease(s);
  }
  AVIFileRelease(file);
  return d;
}

inline ColorRef At(const Bitmap& b, int x, int y) { return ColorRefFromPixel(b.at(x, y) & 0xFFFFFF); }

}  // namespace zr::test
