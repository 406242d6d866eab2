// BMP files. The reader validates every field against the file's length and rebuilds
// whatever layout it meets (core headers, bit-field masks, a gap before the pixels,
// top-down rows) into the one PackedDib layout: 40-byte header, colour table, pixels.
#pragma once

#include <optional>
#include <string>

#include "image/formats.h"
#include "image/packed_dib.h"
#include "platform/raster.h"

namespace zr {

enum class BmpError {
  None,
  CannotOpen,
  TooShort,        // fewer than 14 + 12 bytes
  NotBmp,          // first two bytes are not "BM"
  BadHeaderSize,   // info header size not 12, 40, 52, 56, 64, 108 or 124
  BadSize,         // width/height zero, out of caps
  BadPlanes,
  BadBitCount,
  BadCompression,  // unknown, or not fitting the bit count
  BadColors,       // colours used beyond what the bit count can index, or the table past the end
  BadOffset,       // the pixel offset points inside the headers or past the end
  ShortPixels,     // the pixel rows run past the end of the file
  BadMasks,
  BadRle,          // the RLE stream leaves the image or the data
};
const char* BmpErrorText(BmpError error);

// What the file says about itself, before any rebuilding (for `info`).
struct BmpFileInfo {
  int32_t width = 0;
  int32_t height = 0;  // always positive
  bool topDown = false;
  int bitCount = 0;
  uint32_t compression = 0;
  uint32_t paletteSize = 0;  // colour-table entries stored in the file
  uint32_t headerSize = 0;
};

// Reads a BMP held in memory. On success the PackedDib is in the one layout (see above);
// RLE pixel data is kept compressed only after its stream has been checked to stay
// inside the image. 16/32-bit bit-field pixels are converted to 24-bit rows; top-down
// rows are turned bottom-up. nullopt on any fault (error says which).
std::optional<PackedDib> DibReadMemory(ByteSpan data, BmpError* error = nullptr,
                                       BmpFileInfo* info = nullptr);
// The same from a file.
std::optional<PackedDib> DibReadFile(const std::string& path, BmpError* error = nullptr,
                                     BmpFileInfo* info = nullptr);
// Writes "BM" header + the whole block to a temporary name beside path and renames it
// over path on success; a failed write leaves no file under path and *error (when given)
// holds the system's error number (0 when the failure was not the system's).
bool DibWriteFile(const std::string& path, const PackedDib& dib, int* error = nullptr);
// The file's bytes as DibWriteFile would write them.
std::vector<uint8_t> DibFileBytes(const PackedDib& dib);

// DibReadFile + DibCreatePalette + DibCreateBitmap.
bool LoadBmpFile(const std::string& path, Bitmap& bitmap, Palette& palette);
// DibFromBitmap + DibWriteFile.
bool SaveBmpFile(const std::string& path, const Bitmap& bitmap, const Palette& palette,
                 int* error = nullptr);

}  // namespace zr
