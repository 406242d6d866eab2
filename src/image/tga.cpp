// TGA reader: colour-mapped, true-colour and greyscale images, raw or run-length encoded.
#include <cstring>

#include "image/formats.h"

namespace zr {
namespace {

constexpr size_t kHeaderSize = 18;

// 5-5-5 in a little-endian word, widened by shifting each value left by 3.
void Widen555(const uint8_t* src, uint8_t* bgr) {
  uint16_t v = uint16_t(src[0] | (src[1] << 8));
  bgr[0] = uint8_t((v & 31) << 3);
  bgr[1] = uint8_t(((v >> 5) & 31) << 3);
  bgr[2] = uint8_t(((v >> 10) & 31) << 3);
}

// Stores one file pixel of `depth` bits at `dst` in the PackedDib's form.
void StorePixel(const uint8_t* src, int depth, uint8_t* dst) {
  switch (depth) {
    case 8:
      dst[0] = src[0];
      break;
    case 15:
    case 16:
      Widen555(src, dst);
      break;
    default:
      std::memcpy(dst, src, 3);
      break;  // 24 and 32: blue, green, red; alpha dropped
  }
}

}  // namespace

const char* TgaErrorText(TgaError error) {
  switch (error) {
    case TgaError::None: return "no error";
    case TgaError::TooShort: return "file too short for a TGA header";
    case TgaError::Unsupported: return "unsupported image type and depth";
    case TgaError::BadSize: return "image size out of range";
    case TgaError::BadColorMap: return "unknown colour-map entry bits";
    case TgaError::TooLarge: return "image too large";
    case TgaError::OutOfMemory: return "out of memory";
    case TgaError::ShortPixels: return "pixel data past the end of the file";
    case TgaError::ShortRle: return "run-length packet past the end of the file";
  }
  return "unknown error";
}

std::optional<PackedDib> ReadTga(ByteSpan data, int64_t maxPixels, TgaFault* fault) {
  if (fault) *fault = TgaFault{};
  if (data.size() < kHeaderSize) return Refuse(fault, TgaError::TooShort, -1, {}, std::to_string(data.size()) + " bytes");
  const uint8_t* h = data.data();
  const int idLength = h[0];
  const int mapType = h[1];
  const int type = h[2];
  const int mapFirst = h[3] | (h[4] << 8);
  const int mapLength = h[5] | (h[6] << 8);
  const int mapEntryBits = h[7];
  const int width = h[12] | (h[13] << 8);
  const int height = h[14] | (h[15] << 8);
  const int depth = h[16];
  const bool topFirst = (h[17] & 0x20) != 0;

  const int baseType = type & ~8;
  const bool rle = (type & 8) != 0;
  bool accepted = false;
  if (baseType == 1 || baseType == 3) accepted = depth == 8;
  if (baseType == 2) accepted = depth == 15 || depth == 16 || depth == 24 || depth == 32;
  if (!accepted)
    return Refuse(fault, TgaError::Unsupported, 2, std::nullopt,
                "type " + std::to_string(type) + ", " + std::to_string(depth) + " bits");
  const std::string size = std::to_string(width) + " x " + std::to_string(height);
  if (width == 0 || height == 0) return Refuse(fault, TgaError::BadSize, 12, std::nullopt, size);
  const bool mapEntryKnown =
      mapEntryBits == 15 || mapEntryBits == 16 || mapEntryBits == 24 || mapEntryBits == 32;
  // Entries of another size cannot be decoded; a colour-mapped image needs them.
  if (baseType == 1 && mapLength > 0 && !mapEntryKnown)
    return Refuse(fault, TgaError::BadColorMap, 7, mapEntryBits);
  if (!DibSizeAllowed(width, height)) return Refuse(fault, TgaError::BadSize, 12, std::nullopt, size);
  if (int64_t(width) * height > maxPixels) return Refuse(fault, TgaError::TooLarge, 12, std::nullopt, size);

  const int bitCount = depth == 8 ? 8 : 24;
  auto dib = PackedDib::Create(width, height, bitCount, bitCount == 8 ? 256 : 0);
  if (!dib) return Refuse(fault, TgaError::OutOfMemory, 12, std::nullopt, size);

  size_t pos = kHeaderSize + size_t(idLength);
  if (baseType == 1) {
    const size_t entryBytes = mapEntryBits == 15 ? 2 : size_t(mapEntryBits) / 8;
    RgbQuad* table = dib->colors();
    for (int i = 0; i < mapLength; ++i) {
      size_t at = pos + size_t(i) * entryBytes;
      if (at + entryBytes > data.size()) break;  // a short table still leaves the image
      int slot = mapFirst + i;
      if (slot > 255) break;
      uint8_t bgr[3];
      if (entryBytes == 2)
        Widen555(data.data() + at, bgr);
      else
        std::memcpy(bgr, data.data() + at, 3);
      table[slot] = RgbQuad{bgr[0], bgr[1], bgr[2], 0};
    }
  } else if (baseType == 3) {
    RgbQuad* table = dib->colors();
    for (int i = 0; i < 256; ++i) table[i] = RgbQuad{uint8_t(i), uint8_t(i), uint8_t(i), 0};
  }
  if (mapType != 0) pos += size_t(mapLength) * size_t(mapEntryBits == 15 ? 16 : mapEntryBits) / 8;

  const size_t pixelBytes = size_t(depth + 7) / 8;
  const size_t outBytes = size_t(bitCount) / 8;
  auto rowAt = [&](int fileRow) {
    return topFirst ? dib->rowFromTop(fileRow) : dib->rowFromTop(height - 1 - fileRow);
  };

  if (!rle) {
    const size_t rowBytes = pixelBytes * size_t(width);
    for (int y = 0; y < height; ++y) {
      if (pos > data.size() || data.size() - pos < rowBytes)
        return Refuse(fault, TgaError::ShortPixels, int64_t(pos), std::nullopt, "row " + std::to_string(y));
      const uint8_t* src = data.data() + pos;
      uint8_t* dst = rowAt(y);
      for (int x = 0; x < width; ++x)
        StorePixel(src + size_t(x) * pixelBytes, depth, dst + size_t(x) * outBytes);
      pos += rowBytes;
    }
    return dib;
  }

  int y = 0, x = 0;
  uint8_t* dst = rowAt(0);
  auto put = [&](const uint8_t* value) {
    StorePixel(value, depth, dst + size_t(x) * outBytes);
    if (++x == width) {
      x = 0;
      if (++y < height) dst = rowAt(y);
    }
  };
  while (y < height) {
    if (pos >= data.size())
      return Refuse(fault, TgaError::ShortRle, int64_t(pos), std::nullopt, "row " + std::to_string(y));
    const uint8_t header = data[pos++];
    const int count = (header & 0x7F) + 1;
    const bool run = header >= 128;
    const size_t need = run ? pixelBytes : pixelBytes * size_t(count);
    // A packet cut short by the end of the file has no pixels to give.
    if (data.size() - pos < need)
      return Refuse(fault, TgaError::ShortRle, int64_t(pos - 1), std::nullopt, "row " + std::to_string(y));
    for (int i = 0; i < count && y < height; ++i)
      put(data.data() + pos + (run ? 0 : size_t(i) * pixelBytes));
    pos += need;
  }
  return dib;
}

}  // namespace zr
