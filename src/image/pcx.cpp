// PCX reader and writer: run-length encoded 1-, 4-, 8- and 24-bit images.
#include <algorithm>
#include <cstring>
#include <vector>

#include "image/formats.h"
#include "platform/atomic_file.h"

namespace zr {
namespace {

constexpr size_t kHeaderSize = 128;
constexpr uint8_t kManufacturer = 10;
constexpr uint8_t kPaletteMarker = 12;
// The trailing palette is looked for in one 8,192-byte read after the image data.
constexpr size_t kPaletteWindow = 8192 - 768;

constexpr uint8_t kDefault16[16][3] = {
    {0, 0, 0},     {0, 0, 128},     {0, 128, 0},     {0, 128, 128},  {128, 0, 0}, {128, 0, 128},
    {128, 128, 0}, {128, 128, 128}, {192, 192, 192}, {0, 0, 255},    {0, 255, 0}, {0, 255, 255},
    {255, 0, 0},   {255, 0, 255},   {255, 255, 0},   {255, 255, 255}};

uint16_t Word(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
void PutWord(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

struct Layout {
  int bits;  // per pixel per plane
  int planes;
  int dibBits;
};
constexpr Layout kLayouts[] = {{1, 1, 1}, {1, 4, 4}, {4, 1, 4}, {8, 1, 8}, {8, 3, 24}};

// Decodes one line from `in` starting at *pos, carrying a run that overflows the line into
// the next. Returns false, leaving *pos and the carried run as they were, when the data ends
// before the line is full.
struct RunState {
  int count = 0;
  uint8_t value = 0;
};
bool DecodeLine(ByteSpan in, size_t* pos, RunState* carry, uint8_t* line, size_t length) {
  size_t p = *pos;
  RunState run = *carry;
  size_t filled = 0;
  auto emitRun = [&] {
    size_t n = std::min(size_t(run.count), length - filled);
    if (n == 0) return;
    std::memset(line + filled, run.value, n);
    filled += n;
    run.count -= int(n);
  };
  emitRun();
  while (filled < length) {
    if (p >= in.size()) return false;
    uint8_t b = in[p];
    if (b < 192) {
      line[filled++] = b;
      ++p;
      continue;
    }
    if (p + 1 >= in.size()) return false;
    run.count = b & 63;
    run.value = in[p + 1];
    p += 2;
    emitRun();
  }
  *pos = p;
  *carry = run;
  return true;
}

void SetColor(RgbQuad& q, uint8_t r, uint8_t g, uint8_t b) { q = RgbQuad{b, g, r, 0}; }

void GreyRamp(RgbQuad* table) {
  for (int i = 0; i < 256; ++i) SetColor(table[i], uint8_t(i), uint8_t(i), uint8_t(i));
}

// The colour table of a 1-, 4- or 8-bit image. `after` is what follows the image data.
void ChoosePalette(const uint8_t* header, int dibBits, ByteSpan after, RgbQuad* table) {
  const int version = header[1];
  const uint8_t* pal = header + 16;
  if (dibBits == 1) {
    bool differ = std::memcmp(pal, pal + 3, 3) != 0;
    if (version != 3 && differ) {
      SetColor(table[0], pal[0], pal[1], pal[2]);
      SetColor(table[1], pal[3], pal[4], pal[5]);
    } else {
      SetColor(table[0], 0, 0, 0);
      SetColor(table[1], 255, 255, 255);
    }
    return;
  }
  if (dibBits == 4) {
    const uint8_t(*src)[3] = version == 3 ? kDefault16 : reinterpret_cast<const uint8_t(*)[3]>(pal);
    for (int i = 0; i < 16; ++i) SetColor(table[i], src[i][0], src[i][1], src[i][2]);
    return;
  }
  // 256 colours. Version 3 files carry no palette of their own; with nothing after the
  // image data there is no palette either; a grey ramp keeps such pictures visible.
  if (after.empty()) {
    GreyRamp(table);
    return;
  }
  ByteSpan window = after.first(std::min(after.size(), kPaletteWindow));
  auto marker = std::find(window.begin(), window.end(), kPaletteMarker);
  if (marker == window.end()) {
    if (version == 3) GreyRamp(table);
    return;
  }
  size_t start = size_t(marker - window.begin()) + 1;
  size_t entries = std::min<size_t>(256, (after.size() - start) / 3);
  for (size_t i = 0; i < entries; ++i) {
    const uint8_t* t = after.data() + start + 3 * i;
    SetColor(table[i], t[0], t[1], t[2]);
  }
}

}  // namespace

const char* PcxErrorText(PcxError error) {
  switch (error) {
    case PcxError::None: return "no error";
    case PcxError::TooShort: return "file too short for a PCX header";
    case PcxError::NotPcx: return "not a run-length PCX file";
    case PcxError::BadLayout: return "unsupported bits per pixel and planes";
    case PcxError::BadSize: return "image size out of range";
    case PcxError::TooLarge: return "image too large";
    case PcxError::OutOfMemory: return "out of memory";
    case PcxError::NoResource: return "no built-in image of that name";
  }
  return "unknown error";
}

std::optional<PackedDib> ReadPcx(ByteSpan data, int64_t maxPixels, PcxFault* fault) {
  if (fault) *fault = PcxFault{};
  if (data.size() < kHeaderSize) return Refuse(fault, PcxError::TooShort, -1, {}, std::to_string(data.size()) + " bytes");
  const uint8_t* h = data.data();
  if (h[0] != kManufacturer) return Refuse(fault, PcxError::NotPcx, 0, {}, "manufacturer " + std::to_string(h[0]));
  if (h[2] != 1) return Refuse(fault, PcxError::NotPcx, 2, {}, "encoding " + std::to_string(h[2]));
  const Layout* layout = nullptr;
  for (const Layout& l : kLayouts)
    if (l.bits == h[3] && l.planes == h[65]) layout = &l;
  if (!layout)
    return Refuse(fault, PcxError::BadLayout, 3, std::nullopt,
                std::to_string(h[3]) + " bits, " + std::to_string(h[65]) + " planes");
  const int width = int(Word(h + 8)) - int(Word(h + 4)) + 1;
  const int height = int(Word(h + 10)) - int(Word(h + 6)) + 1;
  const std::string size = std::to_string(width) + " x " + std::to_string(height);
  if (!DibSizeAllowed(width, height)) return Refuse(fault, PcxError::BadSize, 4, std::nullopt, size);
  if (int64_t(width) * height > maxPixels) return Refuse(fault, PcxError::TooLarge, 4, std::nullopt, size);
  const size_t bytesPerLine = Word(h + 66);
  const size_t lineLength = size_t(layout->planes) * bytesPerLine;

  auto dib = PackedDib::Create(width, height, layout->dibBits);
  if (!dib) return Refuse(fault, PcxError::OutOfMemory, 4, std::nullopt, size);
  // Never empty: a bytes-per-line of 0 still gives a line to point at.
  std::vector<uint8_t> line(std::max<size_t>(lineLength, 1), 0);
  const size_t stride = dib->stride();
  // Bytes of a line that a conversion may read: a short bytes-per-line leaves the rest 0.
  auto planeByte = [&](int plane, size_t x) -> uint8_t {
    return x < bytesPerLine ? line[size_t(plane) * bytesPerLine + x] : 0;
  };

  size_t pos = kHeaderSize;
  RunState carry;
  for (int y = 0; y < height; ++y) {
    if (!DecodeLine(data, &pos, &carry, line.data(), lineLength)) break;
    uint8_t* row = dib->rowFromTop(y);
    if (layout->planes == 1) {
      std::memcpy(row, line.data(), std::min(stride, lineLength));
    } else if (layout->dibBits == 24) {
      for (int x = 0; x < width; ++x) {
        row[3 * x] = planeByte(2, size_t(x));
        row[3 * x + 1] = planeByte(1, size_t(x));
        row[3 * x + 2] = planeByte(0, size_t(x));
      }
    } else {
      // Four bit planes, most significant bit first, into packed nibbles.
      const size_t positions = (size_t(width) + 7) / 8;
      for (size_t i = 0; i < positions; ++i) {
        uint8_t p0 = planeByte(0, i), p1 = planeByte(1, i), p2 = planeByte(2, i),
                p3 = planeByte(3, i);
        for (int k = 0; k < 8; ++k) {
          int bit = 7 - k;
          uint8_t v = uint8_t(((p0 >> bit) & 1) | (((p1 >> bit) & 1) << 1) |
                              (((p2 >> bit) & 1) << 2) | (((p3 >> bit) & 1) << 3));
          size_t out = i * 4 + size_t(k / 2);
          if (out < stride) row[out] |= uint8_t((k & 1) ? v : v << 4);
        }
      }
    }
  }

  if (layout->dibBits < 24)
    ChoosePalette(h, layout->dibBits, data.subspan(std::min(pos, data.size())), dib->colors());
  return dib;
}

namespace {

// Runs of equal bytes up to 63; a lone byte below 192 stands for itself.
void EncodeLine(const uint8_t* line, size_t length, std::vector<uint8_t>& out) {
  size_t i = 0;
  while (i < length) {
    uint8_t value = line[i];
    size_t run = 1;
    while (i + run < length && run < 63 && line[i + run] == value) ++run;
    if (run == 1 && value < 192) {
      out.push_back(value);
    } else {
      out.push_back(uint8_t(192 + run));
      out.push_back(value);
    }
    i += run;
  }
}

// Colour of pixel x of a 16- or 32-bit row as blue, green, red.
void DeepPixel(const uint8_t* row, int bitCount, int x, uint8_t bgr[3]) {
  if (bitCount == 16) {
    uint16_t v = Word(row + 2 * x);
    bgr[0] = uint8_t((v & 31) << 3);
    bgr[1] = uint8_t(((v >> 5) & 31) << 3);
    bgr[2] = uint8_t(((v >> 10) & 31) << 3);
  } else {
    std::memcpy(bgr, row + size_t(x) * size_t(bitCount / 8), 3);
  }
}

}  // namespace

std::vector<uint8_t> EncodePcx(const PackedDib& dib) {
  std::vector<uint8_t> out;
  const int width = dib.width(), height = dib.height(), bitCount = dib.bitCount();
  if (dib.empty() || width <= 0 || height <= 0 || width > 65536 || height > 65536 ||
      dib.header().biCompression != BI_RGB)
    return out;
  int bits, planes;
  if (bitCount == 1 || bitCount == 8) {
    bits = bitCount;
    planes = 1;
  } else if (bitCount == 4) {
    bits = 1;
    planes = 4;
  } else if (bitCount == 16 || bitCount == 24 || bitCount == 32) {
    bits = 8;
    planes = 3;
  } else {
    return out;
  }
  if (dib.bitsSize() < size_t(height) * dib.stride()) return out;
  const size_t bytesPerLine = ((size_t(bits) * size_t(width) + 15) / 16) * 2;
  const size_t lineLength = bytesPerLine * size_t(planes);

  out.assign(kHeaderSize, 0);
  uint8_t* h = out.data();
  h[0] = kManufacturer;
  h[1] = 5;
  h[2] = 1;
  h[3] = uint8_t(bits);
  PutWord(h + 8, uint32_t(width - 1));
  PutWord(h + 10, uint32_t(height - 1));
  // No screen to measure: the image's own size stands for the screen's.
  PutWord(h + 12, uint32_t(width));
  PutWord(h + 14, uint32_t(height));
  h[65] = uint8_t(planes);
  PutWord(h + 66, uint32_t(bytesPerLine));
  PutWord(h + 68, 1);
  PutWord(h + 70, uint32_t(width));
  PutWord(h + 72, uint32_t(height));
  std::memcpy(h + 118, "PCXW 2.01 ", 10);

  std::vector<uint8_t> line(lineLength);
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = dib.rowFromTop(y);
    std::fill(line.begin(), line.end(), 0);
    if (planes == 1) {
      std::memcpy(line.data(), row, bytesPerLine);
    } else if (bitCount == 4) {
      for (int x = 0; x < width; ++x) {
        uint8_t v = (x & 1) ? row[x / 2] & 15 : row[x / 2] >> 4;
        for (int p = 0; p < 4; ++p)
          if (v & (1 << p))
            line[size_t(p) * bytesPerLine + size_t(x / 8)] |= uint8_t(0x80 >> (x & 7));
      }
    } else {
      for (int x = 0; x < width; ++x) {
        uint8_t bgr[3];
        DeepPixel(row, bitCount, x, bgr);
        line[size_t(x)] = bgr[2];
        line[bytesPerLine + size_t(x)] = bgr[1];
        line[2 * bytesPerLine + size_t(x)] = bgr[0];
      }
    }
    EncodeLine(line.data(), lineLength, out);
  }

  if (bitCount <= 8) {
    const uint32_t entries = 1u << bitCount;
    auto table = dib.colorTable();
    auto entry = [&](uint32_t i) { return i < table.size() ? table[i] : RgbQuad{}; };
    if (entries <= 16) {
      for (uint32_t i = 0; i < entries; ++i) {
        RgbQuad q = entry(i);
        out[16 + 3 * i] = q.red;
        out[17 + 3 * i] = q.green;
        out[18 + 3 * i] = q.blue;
      }
    } else {
      out.push_back(kPaletteMarker);
      for (uint32_t i = 0; i < entries; ++i) {
        RgbQuad q = entry(i);
        out.insert(out.end(), {q.red, q.green, q.blue});
      }
    }
  }
  return out;
}

bool WritePcxFile(const std::string& path, const PackedDib& dib, int* error) {
  if (error) *error = 0;
  std::vector<uint8_t> bytes = EncodePcx(dib);
  return !bytes.empty() && WriteFileAtomic(path, bytes, error);
}

}  // namespace zr
