// BMP reader and DIB -> Bitmap conversion on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "image/bmp.h"
#include "image/dib_convert.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // RLE deltas let a few bytes claim a huge picture; keep the fuzzer on logic, not memory.
  if (size >= 26) {
    int64_t w = int32_t(data[18] | data[19] << 8 | data[20] << 16 | uint32_t(data[21]) << 24);
    int64_t h = int32_t(data[22] | data[23] << 8 | data[24] << 16 | uint32_t(data[25]) << 24);
    if (std::llabs(w) * std::llabs(h) > (int64_t(1) << 22)) return 0;
  }
  zr::BmpError error;
  zr::BmpFileInfo info;
  auto dib = zr::DibReadMemory({data, size}, &error, &info);
  if (!dib) return 0;
  // A DIB the reader accepted must convert, and convert back.
  auto bmp = zr::DibCreateBitmap(*dib);
  if (!bmp) abort();
  zr::Palette pal = zr::DibCreatePalette(*dib);
  if (bmp->width != dib->width() || bmp->height != dib->height()) abort();
  auto back = zr::DibFromBitmap(*bmp, &pal);
  if (!back) abort();
  return 0;
}
