#include "image/dib_convert.h"

#include <algorithm>

#include "platform/dib.h"

namespace zr {

Palette DibCreatePalette(const PackedDib& dib) {
  if (dib.empty() || dib.header().biBitCount > 8) return {};
  // A table that runs past the block (a malformed DIB) gives no palette.
  size_t n = dib.numColors();
  if (dib.header().biSize + 4 * n > dib.size()) return {};
  auto table = dib.colorTable();
  return Palette(table.begin(), table.end());
}

namespace {

DibPixels Describe(const PackedDib& dib) {
  const BitmapInfoHeader& h = dib.header();
  DibPixels p;
  p.width = h.biWidth;
  p.height = h.biHeight;
  p.bitCount = h.biBitCount;
  p.compression = h.biCompression;
  size_t tableEnd = h.biSize + 4 * size_t(dib.numColors());
  if (tableEnd > dib.size()) tableEnd = dib.size();
  size_t colors = (tableEnd - std::min<size_t>(h.biSize, tableEnd)) / 4;
  p.colors = {dib.colors(), h.biBitCount <= 8 ? colors : 0};
  p.bits = {dib.block().data() + tableEnd, dib.size() - tableEnd};
  return p;
}

}  // namespace

std::optional<Bitmap> DibCreateBitmap(const PackedDib& dib, const Palette*) {
  if (dib.empty() || dib.header().biSize < sizeof(BitmapInfoHeader) ||
      dib.header().biSize > dib.size())
    return std::nullopt;
  return DecodeDib(Describe(dib));
}

std::optional<PackedDib> DibFromBitmap(const Bitmap& bitmap, const Palette* palette) {
  // The screen is 32 bits deep; its bitmaps read back as 24-bit DIBs.
  return DibFromBitmapAtDepth(bitmap, 24, palette);
}

std::optional<PackedDib> DibFromBitmapAtDepth(const Bitmap& bitmap, int bitCount,
                                              const Palette* palette) {
  if (bitmap.empty()) return std::nullopt;
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
      bitCount != 32)
    return std::nullopt;
  const Palette& chosen = palette && !palette->empty() ? *palette : DefaultPalette256();
  uint32_t colors = 0;
  if (bitCount <= 8) colors = uint32_t(std::min(chosen.size(), size_t(1) << bitCount));
  BitmapInfoHeader h;
  h.biWidth = bitmap.width;
  h.biHeight = bitmap.height;
  h.biBitCount = uint16_t(bitCount);
  h.biSizeImage = uint32_t(int64_t(bitmap.height) * DibStride(bitmap.width, bitCount));
  // A full table is implied by a zero count; a shorter one must be stated.
  h.biClrUsed = (bitCount <= 8 && colors != (1u << bitCount)) ? colors : 0;
  auto dib = PackedDib::Create(h);
  if (!dib) return std::nullopt;
  if (colors) {
    auto table = dib->colorTable();
    for (size_t i = 0; i < table.size(); ++i) table[i] = RgbQuad{chosen[i].blue, chosen[i].green, chosen[i].red, 0};
  }
  Palette used(dib->colorTable().begin(), dib->colorTable().end());
  if (!EncodeDibRows(bitmap, bitCount, used, {dib->bits(), dib->bitsSize()})) return std::nullopt;
  return dib;
}

std::vector<uint8_t> ReadBitmapRows24(const Bitmap& bitmap) {
  if (bitmap.empty()) return {};
  std::vector<uint8_t> rows(size_t(DibStride(bitmap.width, 24)) * size_t(bitmap.height));
  EncodeDibRows(bitmap, 24, {}, rows);
  return rows;
}

bool WriteBitmapRows24(Bitmap& bitmap, std::span<const uint8_t> rows) {
  if (bitmap.empty()) return false;
  DibPixels p;
  p.width = bitmap.width;
  p.height = bitmap.height;
  p.bitCount = 24;
  p.bits = rows;
  auto decoded = DecodeDib(p);
  if (!decoded) return false;
  bitmap = std::move(*decoded);
  return true;
}

}  // namespace zr
