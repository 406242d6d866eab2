#include "image/bmp.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "image/dib_convert.h"
#include "platform/atomic_file.h"
#include "platform/dib.h"

namespace zr {

const char* BmpErrorText(BmpError error) {
  switch (error) {
    case BmpError::None: return "no error";
    case BmpError::CannotOpen: return "cannot open the file";
    case BmpError::TooShort: return "file too short for a BMP";
    case BmpError::NotBmp: return "not a BMP file";
    case BmpError::BadHeaderSize: return "unsupported BMP header";
    case BmpError::BadSize: return "image size out of range";
    case BmpError::BadPlanes: return "plane count is not 1";
    case BmpError::BadBitCount: return "unsupported bit count";
    case BmpError::BadCompression: return "unsupported compression";
    case BmpError::BadColors: return "colour table invalid or past the end of the file";
    case BmpError::BadOffset: return "pixel offset outside the file";
    case BmpError::ShortPixels: return "pixel data past the end of the file";
    case BmpError::BadMasks: return "invalid bit-field masks";
    case BmpError::BadRle: return "corrupt run-length data";
  }
  return "unknown error";
}

namespace {

constexpr size_t kFileHeader = 14;
constexpr uint32_t kAlphaBitFields = 6;

uint16_t U16(ByteSpan d, size_t at) { return uint16_t(d[at] | (d[at + 1] << 8)); }
uint32_t U32(ByteSpan d, size_t at) {
  return uint32_t(d[at]) | (uint32_t(d[at + 1]) << 8) | (uint32_t(d[at + 2]) << 16) |
         (uint32_t(d[at + 3]) << 24);
}

std::optional<PackedDib> Fail(BmpError e, BmpError* out) {
  if (out) *out = e;
  return std::nullopt;
}

}  // namespace

std::optional<PackedDib> DibReadMemory(ByteSpan data, BmpError* error, BmpFileInfo* info) {
  if (error) *error = BmpError::None;
  if (data.size() < kFileHeader) return Fail(BmpError::TooShort, error);
  if (data[0] != 'B' || data[1] != 'M') return Fail(BmpError::NotBmp, error);
  if (data.size() < kFileHeader + 12) return Fail(BmpError::TooShort, error);
  const uint32_t offBits = U32(data, 10);
  const uint32_t headerSize = U32(data, 14);
  const bool core = headerSize == 12;
  if (!(core || headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 ||
        headerSize == 124))
    return Fail(BmpError::BadHeaderSize, error);
  if (data.size() < kFileHeader + headerSize) return Fail(BmpError::TooShort, error);

  // Header fields, whichever header this is.
  int64_t width, height;
  uint16_t planes, bitCount;
  uint32_t compression = BI_RGB, clrUsed = 0, sizeImage = 0;
  int32_t xppm = 0, yppm = 0;
  const size_t h0 = kFileHeader;
  if (core) {
    width = U16(data, h0 + 4);
    height = U16(data, h0 + 6);
    planes = U16(data, h0 + 8);
    bitCount = U16(data, h0 + 10);
  } else {
    width = int32_t(U32(data, h0 + 4));
    height = int32_t(U32(data, h0 + 8));
    planes = U16(data, h0 + 12);
    bitCount = U16(data, h0 + 14);
    compression = U32(data, h0 + 16);
    sizeImage = U32(data, h0 + 20);
    xppm = int32_t(U32(data, h0 + 24));
    yppm = int32_t(U32(data, h0 + 28));
    clrUsed = U32(data, h0 + 32);
  }
  const bool topDown = height < 0;
  const int64_t rows = topDown ? -height : height;
  if (!DibSizeAllowed(width, rows)) return Fail(BmpError::BadSize, error);
  if (planes != 1) return Fail(BmpError::BadPlanes, error);
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
      bitCount != 32)
    return Fail(BmpError::BadBitCount, error);
  if (compression == kAlphaBitFields) compression = BI_BITFIELDS;
  switch (compression) {
    case BI_RGB: break;
    case BI_RLE8: if (bitCount != 8 || topDown) return Fail(BmpError::BadCompression, error); break;
    case BI_RLE4: if (bitCount != 4 || topDown) return Fail(BmpError::BadCompression, error); break;
    case BI_BITFIELDS:
      if (bitCount != 16 && bitCount != 32) return Fail(BmpError::BadCompression, error);
      break;
    default: return Fail(BmpError::BadCompression, error);
  }

  // Bit-field masks: inside the longer headers, else right after the 40-byte header.
  size_t tableStart = kFileHeader + headerSize;
  uint32_t masks[3] = {0, 0, 0};
  if (compression == BI_BITFIELDS) {
    size_t at = kFileHeader + 40;
    if (headerSize == 40) {
      size_t maskBytes = U32(data, 14 + 16) == kAlphaBitFields ? 16 : 12;
      if (data.size() < tableStart + maskBytes) return Fail(BmpError::BadMasks, error);
      tableStart += maskBytes;
    }
    for (int i = 0; i < 3; ++i) masks[i] = U32(data, at + 4 * size_t(i));
  }

  // Colour table: entries of 3 bytes after a core header, 4 otherwise.
  const size_t entrySize = core ? 3 : 4;
  uint64_t entries;
  if (bitCount <= 8) {
    uint32_t maxColors = 1u << bitCount;
    if (clrUsed > maxColors) return Fail(BmpError::BadColors, error);
    entries = clrUsed ? clrUsed : maxColors;
  } else {
    // A table beside true-colour pixels is only a display hint; it is skipped.
    if (clrUsed > 256) return Fail(BmpError::BadColors, error);
    entries = clrUsed;
  }
  uint64_t tableEnd = tableStart + entries * entrySize;
  // The pixel offset is honoured when it is set; a table cut short by it keeps the
  // entries that fit (the rest read as black).
  uint64_t pixelStart = tableEnd;
  if (offBits != 0) {
    if (offBits < tableStart || offBits > data.size()) return Fail(BmpError::BadOffset, error);
    if (offBits < tableEnd) {
      entries = (offBits - tableStart) / entrySize;
      tableEnd = tableStart + entries * entrySize;
    }
    pixelStart = offBits;
  }
  if (tableEnd > data.size()) return Fail(BmpError::BadColors, error);
  if (pixelStart > data.size()) return Fail(BmpError::BadOffset, error);

  const int32_t w = int32_t(width), h = int32_t(rows);
  const bool rle = compression == BI_RLE8 || compression == BI_RLE4;
  ByteSpan pixels = data.subspan(size_t(pixelStart));
  if (rle) {
    if (sizeImage != 0 && sizeImage < pixels.size()) pixels = pixels.first(sizeImage);
  } else {
    uint64_t need = uint64_t(DibStride(w, bitCount)) * uint64_t(h);
    if (need > pixels.size()) return Fail(BmpError::ShortPixels, error);
    pixels = pixels.first(size_t(need));
  }

  if (info) {
    info->width = w;
    info->height = h;
    info->topDown = topDown;
    info->bitCount = bitCount;
    info->compression = compression;
    info->paletteSize = uint32_t(entries);
    info->headerSize = headerSize;
  }

  std::vector<RgbQuad> table;
  if (bitCount <= 8) {
    table.resize(size_t(entries));
    for (size_t i = 0; i < table.size(); ++i) {
      const uint8_t* e = data.data() + tableStart + i * entrySize;
      table[i] = RgbQuad{e[0], e[1], e[2], 0};
    }
  }

  DibPixels view;
  view.width = w;
  view.height = topDown ? -h : h;
  view.bitCount = bitCount;
  view.compression = compression;
  view.colors = table;
  view.bits = pixels;
  view.redMask = masks[0];
  view.greenMask = masks[1];
  view.blueMask = masks[2];

  BitmapInfoHeader out;
  out.biWidth = w;
  out.biHeight = h;
  out.biBitCount = bitCount;
  out.biCompression = rle ? compression : BI_RGB;
  out.biXPelsPerMeter = xppm;
  out.biYPelsPerMeter = yppm;
  // Every colour-table entry is written out, so the count is always explicit.
  out.biClrUsed = bitCount <= 8 ? uint32_t(table.size()) : 0;
  if (bitCount <= 8 && table.empty()) {
    // No entries at all: give the one entry pixels may index so the count is not
    // mistaken for "full table".
    table.push_back(RgbQuad{});
    out.biClrUsed = 1;
  }

  if (compression == BI_BITFIELDS) {
    // Pixels converted by their masks into plain 24-bit rows.
    DibError de;
    auto bmp = DecodeDib(view, &de);
    if (!bmp) return Fail(BmpError::BadMasks, error);
    out.biBitCount = 24;
    out.biSizeImage = DibStride(w, 24) * uint32_t(h);
    auto dib = PackedDib::Create(out);
    if (!dib || !EncodeDibRows(*bmp, 24, {}, {dib->bits(), dib->bitsSize()}))
      return Fail(BmpError::BadSize, error);
    return dib;
  }

  if (rle) {
    // Check the stream stays inside the image and its data before anyone trusts it.
    if (!DecodeDib(view)) return Fail(BmpError::BadRle, error);
    out.biSizeImage = uint32_t(pixels.size());
  } else {
    out.biSizeImage = DibStride(w, bitCount) * uint32_t(h);
  }
  auto dib = PackedDib::Create(out);
  if (!dib) return Fail(BmpError::BadSize, error);
  std::copy(table.begin(), table.end(), dib->colors());
  uint8_t* dst = dib->bits();
  if (rle || !topDown) {
    std::copy(pixels.begin(), pixels.end(), dst);
  } else {
    uint32_t stride = DibStride(w, bitCount);
    for (int32_t y = 0; y < h; ++y)
      std::copy_n(pixels.data() + size_t(y) * stride, stride, dst + size_t(h - 1 - y) * stride);
  }
  return dib;
}

std::optional<PackedDib> DibReadFile(const std::string& path, BmpError* error,
                                     BmpFileInfo* info) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes, (size_t(1) << 30) + (size_t(1) << 20)))
    return Fail(BmpError::CannotOpen, error);
  return DibReadMemory({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, error,
                       info);
}

std::vector<uint8_t> DibFileBytes(const PackedDib& dib) {
  std::vector<uint8_t> out;
  if (dib.empty()) return out;
  uint32_t fileSize = uint32_t(kFileHeader + dib.size());
  uint32_t offset = uint32_t(kFileHeader + dib.bitsOffset());
  out.reserve(fileSize);
  const uint8_t head[kFileHeader] = {
      'B', 'M',
      uint8_t(fileSize), uint8_t(fileSize >> 8), uint8_t(fileSize >> 16), uint8_t(fileSize >> 24),
      0, 0, 0, 0,
      uint8_t(offset), uint8_t(offset >> 8), uint8_t(offset >> 16), uint8_t(offset >> 24)};
  out.insert(out.end(), head, head + kFileHeader);
  out.insert(out.end(), dib.block().begin(), dib.block().end());
  return out;
}

bool DibWriteFile(const std::string& path, const PackedDib& dib) {
  if (dib.empty()) return false;
  std::vector<uint8_t> bytes = DibFileBytes(dib);
  return WriteFileAtomic(path, bytes);
}

bool LoadBmpFile(const std::string& path, Bitmap& bitmap, Palette& palette) {
  auto dib = DibReadFile(path);
  if (!dib) return false;
  Palette pal = DibCreatePalette(*dib);
  auto bmp = DibCreateBitmap(*dib, &pal);
  if (!bmp) return false;
  bitmap = std::move(*bmp);
  palette = std::move(pal);
  return true;
}

bool SaveBmpFile(const std::string& path, const Bitmap& bitmap, const Palette& palette) {
  auto dib = DibFromBitmap(bitmap, &palette);
  if (!dib) return false;
  return DibWriteFile(path, *dib);
}

}  // namespace zr
