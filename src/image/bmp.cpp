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

namespace {

// The fields of whichever info header the file has, as read.
struct BmpHeader {
  uint32_t offBits = 0, headerSize = 0;
  bool core = false;  // the 12-byte header of 16-bit sizes and 3-byte colours
  int64_t width = 0, height = 0;
  uint16_t planes = 0, bitCount = 0;
  uint32_t compression = BI_RGB, clrUsed = 0, sizeImage = 0;
  int32_t xppm = 0, yppm = 0;
  bool topDown() const { return height < 0; }
  int64_t rows() const { return height < 0 ? -height : height; }
};

// Where the masks, the colour table and the pixels lie, all inside the file.
struct BmpParts {
  uint32_t masks[3] = {0, 0, 0};
  size_t tableStart = 0, entrySize = 4;
  uint64_t entries = 0;
  ByteSpan pixels;
};

BmpError ParseHeaders(ByteSpan data, BmpHeader& h) {
  if (data.size() < kFileHeader) return BmpError::TooShort;
  if (data[0] != 'B' || data[1] != 'M') return BmpError::NotBmp;
  if (data.size() < kFileHeader + 12) return BmpError::TooShort;
  h.offBits = U32(data, 10);
  h.headerSize = U32(data, 14);
  h.core = h.headerSize == 12;
  const uint32_t hs = h.headerSize;
  if (!(h.core || hs == 40 || hs == 52 || hs == 56 || hs == 108 || hs == 124))
    return BmpError::BadHeaderSize;
  if (data.size() < kFileHeader + hs) return BmpError::TooShort;
  const size_t h0 = kFileHeader;
  if (h.core) {
    h.width = U16(data, h0 + 4);
    h.height = U16(data, h0 + 6);
    h.planes = U16(data, h0 + 8);
    h.bitCount = U16(data, h0 + 10);
  } else {
    h.width = int32_t(U32(data, h0 + 4));
    h.height = int32_t(U32(data, h0 + 8));
    h.planes = U16(data, h0 + 12);
    h.bitCount = U16(data, h0 + 14);
    h.compression = U32(data, h0 + 16);
    h.sizeImage = U32(data, h0 + 20);
    h.xppm = int32_t(U32(data, h0 + 24));
    h.yppm = int32_t(U32(data, h0 + 28));
    h.clrUsed = U32(data, h0 + 32);
  }
  return BmpError::None;
}

BmpError CheckHeader(BmpHeader& h) {
  if (!DibSizeAllowed(h.width, h.rows())) return BmpError::BadSize;
  if (h.planes != 1) return BmpError::BadPlanes;
  const uint16_t bc = h.bitCount;
  if (bc != 1 && bc != 4 && bc != 8 && bc != 16 && bc != 24 && bc != 32)
    return BmpError::BadBitCount;
  if (h.compression == kAlphaBitFields) h.compression = BI_BITFIELDS;
  switch (h.compression) {
    case BI_RGB: return BmpError::None;
    case BI_RLE8: return bc != 8 || h.topDown() ? BmpError::BadCompression : BmpError::None;
    case BI_RLE4: return bc != 4 || h.topDown() ? BmpError::BadCompression : BmpError::None;
    case BI_BITFIELDS: return bc != 16 && bc != 32 ? BmpError::BadCompression : BmpError::None;
    default: return BmpError::BadCompression;
  }
}

BmpError LocateParts(ByteSpan data, const BmpHeader& h, BmpParts& parts) {
  // Bit-field masks: inside the longer headers, else right after the 40-byte header.
  parts.tableStart = kFileHeader + h.headerSize;
  if (h.compression == BI_BITFIELDS) {
    if (h.headerSize == 40) {
      size_t maskBytes = U32(data, 14 + 16) == kAlphaBitFields ? 16 : 12;
      if (data.size() < parts.tableStart + maskBytes) return BmpError::BadMasks;
      parts.tableStart += maskBytes;
    }
    for (int i = 0; i < 3; ++i) parts.masks[i] = U32(data, kFileHeader + 40 + 4 * size_t(i));
  }
  // Colour table: entries of 3 bytes after a core header, 4 otherwise.
  parts.entrySize = h.core ? 3 : 4;
  if (h.bitCount <= 8) {
    uint32_t maxColors = 1u << h.bitCount;
    if (h.clrUsed > maxColors) return BmpError::BadColors;
    parts.entries = h.clrUsed ? h.clrUsed : maxColors;
  } else {
    // A table beside true-colour pixels is only a display hint; it is skipped.
    if (h.clrUsed > 256) return BmpError::BadColors;
    parts.entries = h.clrUsed;
  }
  uint64_t tableEnd = parts.tableStart + parts.entries * parts.entrySize;
  // The pixel offset is honoured when it is set; a table cut short by it keeps the
  // entries that fit (the rest read as black).
  uint64_t pixelStart = tableEnd;
  if (h.offBits != 0) {
    if (h.offBits < parts.tableStart || h.offBits > data.size()) return BmpError::BadOffset;
    if (h.offBits < tableEnd) {
      parts.entries = (h.offBits - parts.tableStart) / parts.entrySize;
      tableEnd = parts.tableStart + parts.entries * parts.entrySize;
    }
    pixelStart = h.offBits;
  }
  if (tableEnd > data.size()) return BmpError::BadColors;
  if (pixelStart > data.size()) return BmpError::BadOffset;

  parts.pixels = data.subspan(size_t(pixelStart));
  if (h.compression == BI_RLE8 || h.compression == BI_RLE4) {
    if (h.sizeImage != 0 && h.sizeImage < parts.pixels.size())
      parts.pixels = parts.pixels.first(h.sizeImage);
  } else {
    uint64_t need = uint64_t(DibStride(h.width, h.bitCount)) * uint64_t(h.rows());
    if (need > parts.pixels.size()) return BmpError::ShortPixels;
    parts.pixels = parts.pixels.first(size_t(need));
  }
  return BmpError::None;
}

// Pixels converted by their masks into plain 24-bit rows.
std::optional<PackedDib> ConvertBitFields(const DibPixels& view, BitmapInfoHeader out,
                                          BmpError* error) {
  auto bmp = DecodeDib(view);
  if (!bmp) return Fail(BmpError::BadMasks, error);
  out.biBitCount = 24;
  out.biSizeImage = DibStride(out.biWidth, 24) * uint32_t(out.biHeight);
  auto dib = PackedDib::Create(out);
  if (!dib || !EncodeDibRows(*bmp, 24, {}, {dib->bits(), dib->bitsSize()}))
    return Fail(BmpError::BadSize, error);
  return dib;
}

// The table and the rows as they are (RLE checked first), top-down rows turned bottom-up.
std::optional<PackedDib> CopyPixels(const DibPixels& view, std::span<const RgbQuad> table,
                                    BitmapInfoHeader out, BmpError* error) {
  const bool rle = view.compression == BI_RLE8 || view.compression == BI_RLE4;
  const int32_t h = out.biHeight;
  const uint32_t stride = uint32_t(DibStride(out.biWidth, out.biBitCount));
  if (rle) {
    // Check the stream stays inside the image and its data before anyone trusts it.
    if (!DecodeDib(view)) return Fail(BmpError::BadRle, error);
    out.biSizeImage = uint32_t(view.bits.size());
  } else {
    out.biSizeImage = stride * uint32_t(h);
  }
  auto dib = PackedDib::Create(out);
  if (!dib) return Fail(BmpError::BadSize, error);
  std::copy(table.begin(), table.end(), dib->colors());
  uint8_t* dst = dib->bits();
  if (rle || view.height > 0) {
    std::copy(view.bits.begin(), view.bits.end(), dst);
  } else {
    for (int32_t y = 0; y < h; ++y)
      std::copy_n(view.bits.data() + size_t(y) * stride, stride, dst + size_t(h - 1 - y) * stride);
  }
  return dib;
}

std::optional<PackedDib> Convert(ByteSpan data, const BmpHeader& h, const BmpParts& parts,
                                 BmpError* error) {
  const int32_t w = int32_t(h.width), rows = int32_t(h.rows());
  const bool rle = h.compression == BI_RLE8 || h.compression == BI_RLE4;
  std::vector<RgbQuad> table;
  if (h.bitCount <= 8) {
    table.resize(size_t(parts.entries));
    for (size_t i = 0; i < table.size(); ++i) {
      const uint8_t* e = data.data() + parts.tableStart + i * parts.entrySize;
      table[i] = RgbQuad{e[0], e[1], e[2], 0};
    }
  }
  BitmapInfoHeader out;
  out.biWidth = w;
  out.biHeight = rows;
  out.biBitCount = h.bitCount;
  out.biCompression = rle ? h.compression : BI_RGB;
  out.biXPelsPerMeter = h.xppm;
  out.biYPelsPerMeter = h.yppm;
  // Every colour-table entry is written out, so the count is always explicit.
  out.biClrUsed = h.bitCount <= 8 ? uint32_t(table.size()) : 0;

  DibPixels view;
  view.width = w;
  view.height = h.topDown() ? -rows : rows;
  view.bitCount = h.bitCount;
  view.compression = h.compression;
  view.colors = table;
  view.bits = parts.pixels;
  view.redMask = parts.masks[0];
  view.greenMask = parts.masks[1];
  view.blueMask = parts.masks[2];
  if (h.compression == BI_BITFIELDS) return ConvertBitFields(view, out, error);
  if (h.bitCount <= 8 && table.empty()) {
    // No entries at all: give the one entry pixels may index so the count is not
    // mistaken for "full table".
    static const RgbQuad kBlack[1] = {};
    out.biClrUsed = 1;
    return CopyPixels(view, kBlack, out, error);
  }
  return CopyPixels(view, table, out, error);
}

}  // namespace

std::optional<PackedDib> DibReadMemory(ByteSpan data, BmpError* error, BmpFileInfo* info) {
  if (error) *error = BmpError::None;
  BmpHeader h;
  BmpParts parts;
  BmpError e = ParseHeaders(data, h);
  if (e == BmpError::None) e = CheckHeader(h);
  if (e == BmpError::None) e = LocateParts(data, h, parts);
  if (e != BmpError::None) return Fail(e, error);
  if (info) {
    info->width = int32_t(h.width);
    info->height = int32_t(h.rows());
    info->topDown = h.topDown();
    info->bitCount = h.bitCount;
    info->compression = h.compression;
    info->paletteSize = uint32_t(parts.entries);
    info->headerSize = h.headerSize;
  }
  return Convert(data, h, parts, error);
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

bool DibWriteFile(const std::string& path, const PackedDib& dib, int* error) {
  if (error) *error = 0;
  if (dib.empty()) return false;
  std::vector<uint8_t> bytes = DibFileBytes(dib);
  return WriteFileAtomic(path, bytes, error);
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

bool SaveBmpFile(const std::string& path, const Bitmap& bitmap, const Palette& palette,
                 int* error) {
  if (error) *error = 0;
  auto dib = DibFromBitmap(bitmap, &palette);
  if (!dib) return false;
  return DibWriteFile(path, *dib, error);
}

}  // namespace zr
