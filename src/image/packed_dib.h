// PackedDib: a device-independent bitmap in one contiguous block: 40-byte
// BITMAPINFOHEADER, colour table, bottom-up rows padded to 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "platform/dib.h"
#include "platform/raster.h"

namespace zr {

// A 40-byte header with the bit count rounded up to 1, 4, 8, 16 or 24.
void DibInitHeader(BitmapInfoHeader& h, int32_t width, int32_t height, int bitCount);

class PackedDib {
 public:
  PackedDib() = default;
  // Zero-initialised block for the header (copied in), its colour table and its pixels.
  // Fails (returns nullopt) when the size is outside the caps.
  static std::optional<PackedDib> Create(const BitmapInfoHeader& header);
  // Convenience: an uncompressed DIB of the given size and depth (1,4,8,16,24,32).
  static std::optional<PackedDib> Create(int32_t width, int32_t height, int bitCount,
                                         uint32_t colorsUsed = 0);
  // Adopts a block that already holds header, table and pixels (sizes are checked).
  static std::optional<PackedDib> FromBlock(std::vector<uint8_t> block);

  bool empty() const { return block_.size() < sizeof(BitmapInfoHeader); }
  BitmapInfoHeader& header() { return *reinterpret_cast<BitmapInfoHeader*>(block_.data()); }
  const BitmapInfoHeader& header() const {
    return *reinterpret_cast<const BitmapInfoHeader*>(block_.data());
  }
  int32_t width() const { return header().biWidth; }
  // Rows, always positive (bottom-up storage).
  int32_t height() const { return header().biHeight; }
  int bitCount() const { return header().biBitCount; }
  size_t stride() const { return DibStride(width(), bitCount()); }
  uint32_t numColors() const { return DibNumColors(header()); }

  RgbQuad* colors() { return reinterpret_cast<RgbQuad*>(block_.data() + header().biSize); }
  const RgbQuad* colors() const {
    return reinterpret_cast<const RgbQuad*>(block_.data() + header().biSize);
  }
  std::span<RgbQuad> colorTable() { return {colors(), numColors()}; }
  std::span<const RgbQuad> colorTable() const { return {colors(), numColors()}; }

  // Start of the pixel data (DibBits): header size + colour-table bytes.
  size_t bitsOffset() const { return header().biSize + 4 * size_t(numColors()); }
  uint8_t* bits() { return block_.data() + bitsOffset(); }
  const uint8_t* bits() const { return block_.data() + bitsOffset(); }
  size_t bitsSize() const { return block_.size() - bitsOffset(); }
  // Row y counted from the top of the picture (uncompressed DIBs only).
  uint8_t* rowFromTop(int y) { return bits() + size_t(height() - 1 - y) * stride(); }
  const uint8_t* rowFromTop(int y) const {
    return bits() + size_t(height() - 1 - y) * stride();
  }

  const std::vector<uint8_t>& block() const { return block_; }
  std::vector<uint8_t>& block() { return block_; }
  size_t size() const { return block_.size(); }

 private:
  std::vector<uint8_t> block_;
};

}  // namespace zr
