#include "image/packed_dib.h"

namespace zr {

void DibInitHeader(BitmapInfoHeader& h, int32_t width, int32_t height, int bitCount) {
  int bits = bitCount <= 1 ? 1 : bitCount <= 4 ? 4 : bitCount <= 8 ? 8 : bitCount <= 16 ? 16 : 24;
  h = BitmapInfoHeader{};
  h.biWidth = width;
  h.biHeight = height;
  h.biBitCount = uint16_t(bits);
  h.biSizeImage = uint32_t(height) * DibStride(width, bits);
}

std::optional<PackedDib> PackedDib::Create(const BitmapInfoHeader& header) {
  if (!DibSizeAllowed(header.biWidth, header.biHeight)) return std::nullopt;
  if (header.biSize != 40) return std::nullopt;
  uint32_t colors = DibNumColors(header);
  if (colors > 256) return std::nullopt;
  size_t pixels = size_t(header.biHeight) * DibStride(header.biWidth, header.biBitCount);
  if (header.biCompression == BI_RLE8 || header.biCompression == BI_RLE4)
    pixels = header.biSizeImage;
  PackedDib dib;
  dib.block_.assign(40 + 4 * size_t(colors) + pixels, 0);
  std::memcpy(dib.block_.data(), &header, sizeof header);
  return dib;
}

std::optional<PackedDib> PackedDib::Create(int32_t width, int32_t height, int bitCount,
                                           uint32_t colorsUsed) {
  BitmapInfoHeader h;
  h.biWidth = width;
  h.biHeight = height;
  h.biBitCount = uint16_t(bitCount);
  h.biClrUsed = colorsUsed;
  h.biSizeImage = uint32_t(int64_t(height) * DibStride(width, bitCount));
  return Create(h);
}

std::optional<PackedDib> PackedDib::FromBlock(std::vector<uint8_t> block) {
  if (block.size() < sizeof(BitmapInfoHeader)) return std::nullopt;
  BitmapInfoHeader h;
  std::memcpy(&h, block.data(), sizeof h);
  if (h.biSize != 40 || !DibSizeAllowed(h.biWidth, h.biHeight)) return std::nullopt;
  uint32_t colors = DibNumColors(h);
  if (colors > 256) return std::nullopt;
  size_t need = 40 + 4 * size_t(colors);
  if (h.biCompression == BI_RGB)
    need += size_t(h.biHeight) * DibStride(h.biWidth, h.biBitCount);
  if (block.size() < need) return std::nullopt;
  PackedDib dib;
  dib.block_ = std::move(block);
  return dib;
}

}  // namespace zr
