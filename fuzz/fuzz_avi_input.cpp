// Decompressed frames as the converter's picture reader takes them: a packed DIB of any
// claimed size, depth and table, placed into a small picture.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "mpeg/avi_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 + sizeof(zr::BitmapInfoHeader)) return 0;
  // The first two bytes choose the picture size (whole macroblocks, at most 64 x 64).
  const int width = 16 * (1 + data[0] % 4), height = 16 * (1 + data[1] % 4);
  std::vector<uint8_t> dib(data + 2, data + size);  // aligned copy
  zr::mpeg::Frame picture;
  picture.Allocate(width, height);
  zr::mpeg::RecordingLog log;
  zr::mpeg::AviInput::ConvertDib(reinterpret_cast<const zr::BitmapInfoHeader*>(dib.data()),
                                 dib.size(), picture, log);
  return 0;
}
