// Device-independent pixel rows <-> screen-format Bitmap, and the DIB header every layer
// shares. This layer knows pixel formats only; the one-block PackedDib that carries them
// lives in the image module.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/raster.h"

namespace zr {

// Compression codes of the info header.
constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_RLE8 = 1;
constexpr uint32_t BI_RLE4 = 2;
constexpr uint32_t BI_BITFIELDS = 3;

#pragma pack(push, 1)
struct BitmapInfoHeader {
  uint32_t biSize = 40;
  int32_t biWidth = 0;
  int32_t biHeight = 0;
  uint16_t biPlanes = 1;
  uint16_t biBitCount = 0;
  uint32_t biCompression = BI_RGB;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};
#pragma pack(pop)
static_assert(sizeof(BitmapInfoHeader) == 40);

// Colour-table entries: biClrUsed if set, else 2/16/256 for 1/4/8 bits, else 0.
uint32_t DibNumColors(const BitmapInfoHeader& h);

// A description of DIB pixels held elsewhere. Every span must cover what the header
// fields claim; DecodeDib checks that and fails instead of reading past the end.
struct DibPixels {
  int32_t width = 0;
  int32_t height = 0;  // positive: bottom-up rows; negative: top-down
  int bitCount = 0;    // 1, 4, 8, 16, 24 or 32
  uint32_t compression = BI_RGB;
  std::span<const RgbQuad> colors;  // the colour table (1/4/8 bits)
  std::span<const uint8_t> bits;    // the pixel rows or the RLE stream
  // Bit-field masks (red, green, blue) for BI_BITFIELDS at 16 or 32 bits.
  uint32_t redMask = 0, greenMask = 0, blueMask = 0;
};

enum class DibError {
  None,
  BadSize,         // width/height zero, negative width, or beyond the caps
  BadBitCount,     // not 1/4/8/16/24/32, or a compression that does not fit it
  BadCompression,  // unknown compression code
  BadMasks,        // bit-field masks empty, overlapping or not contiguous
  ShortPixels,     // fewer pixel bytes than the rows need
  BadRle,          // an RLE stream that runs past the image or its data
};
const char* DibErrorText(DibError error);

// Caps every reader checks before any allocation.
constexpr int32_t kMaxImageSide = 32768;
constexpr int64_t kMaxImagePixels = int64_t(1) << 28;

// True when width/height are within the caps and width*height fits the pixel cap.
constexpr bool DibSizeAllowed(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
         width * height <= kMaxImagePixels;
}

// Bytes per stored row, padded to 4. 64 bits: a header's width times its depth can pass
// 32 bits, and a wrapped stride would let each row read far past the block.
constexpr uint64_t DibStride(int64_t width, int bitCount) {
  return uint64_t(((width * bitCount + 31) / 32) * 4);
}

// Decodes the pixels into a screen-format Bitmap (X byte 0). Colour indices beyond the
// table give black. RLE pixels not set by the stream stay at colour index 0 (black when
// the table is empty), as the platform leaves skipped pixels.
std::optional<Bitmap> DecodeDib(const DibPixels& dib, DibError* error = nullptr);

// One row of 24-bit blue-green-red pixels widened to screen pixels (X byte 0). The
// SSSE3 form gives the same pixels; call it only where CpuHasSsse3().
void ExpandBgrRowRef(const uint8_t* src, Pixel* dst, int width);
void ExpandBgrRowSsse3(const uint8_t* src, Pixel* dst, int width);
bool CpuHasSsse3();

// Encodes a Bitmap as uncompressed bottom-up rows at bitCount 1/4/8 (nearest colour of
// palette, which must not be empty), 16 (5-5-5), 24 or 32. out must hold
// height * DibStride(width, bitCount) bytes; returns false otherwise.
bool EncodeDibRows(const Bitmap& bmp, int bitCount, const Palette& palette,
                   std::span<uint8_t> out);

// Parses 16- or 32-bit bit-field masks: shift and width of one channel.
struct BitFieldChannel {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
};
std::optional<BitFieldChannel> ParseBitField(uint32_t mask);

}  // namespace zr
