// TIFF adapter over libtiff 4: reads the second page of a multi-page file (the first of a
// single page) and writes LZW-compressed files.
#include <tiffio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "image/formats.h"
#include "platform/atomic_file.h"

namespace zr {
namespace {

constexpr uint16_t kCompressionDeflateOld = 32946;
constexpr uint16_t kCompressionOldJpeg = 6;
constexpr char kSoftware[] = "Wombrel Zerarive";

// The library's messages would go to stderr; the adapter shows nothing.
int Silent(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct OpenOptions {
  OpenOptions(int64_t maxAlloc) : options(TIFFOpenOptionsAlloc()) {
    TIFFOpenOptionsSetErrorHandlerExtR(options, Silent, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, Silent, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(maxAlloc));
  }
  ~OpenOptions() { TIFFOpenOptionsFree(options); }
  TIFFOpenOptions* options;
};

struct TiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

struct MemoryFile {
  ByteSpan data;
  uint64_t pos = 0;
};

tmsize_t MemRead(thandle_t h, void* buf, tmsize_t size) {
  auto* f = static_cast<MemoryFile*>(h);
  if (size <= 0 || f->pos >= f->data.size()) return 0;
  size_t n = std::min<uint64_t>(uint64_t(size), f->data.size() - f->pos);
  std::memcpy(buf, f->data.data() + f->pos, n);
  f->pos += n;
  return tmsize_t(n);
}
tmsize_t MemWrite(thandle_t, void*, tmsize_t) { return 0; }
toff_t MemSeek(thandle_t h, toff_t off, int whence) {
  auto* f = static_cast<MemoryFile*>(h);
  uint64_t base = whence == SEEK_CUR ? f->pos : whence == SEEK_END ? f->data.size() : 0;
  if (off > UINT64_MAX - base) return toff_t(-1);
  f->pos = base + off;
  return f->pos;
}
int MemClose(thandle_t) { return 0; }
toff_t MemSize(thandle_t h) { return static_cast<MemoryFile*>(h)->data.size(); }
int MemMap(thandle_t h, void** base, toff_t* size) {
  auto* f = static_cast<MemoryFile*>(h);
  *base = const_cast<uint8_t*>(f->data.data());
  *size = f->data.size();
  return 1;
}
void MemUnmap(thandle_t, void*, toff_t) {}

struct Fields {
  uint32_t width = 0, height = 0;
  uint16_t bits = 1, samples = 1, compression = COMPRESSION_NONE,
           photometric = PHOTOMETRIC_MINISBLACK;
  uint16_t planar = PLANARCONFIG_CONTIG, orientation = ORIENTATION_TOPLEFT, inkSet = INKSET_CMYK;
};

enum class Route { Raw, Rgba, Blank };

struct Plan {
  Route route = Route::Rgba;
  int bitCount = 24;
  int tableEntries = 0;  // entries computed from the file (2^bits, or 256 for 16-bit grey)
};

Plan ChoosePlan(const Fields& f) {
  const bool contig = f.planar == PLANARCONFIG_CONTIG || f.samples == 1;
  const bool depth8or16 = f.bits == 8 || f.bits == 16;
  const bool grey =
      f.photometric == PHOTOMETRIC_MINISBLACK || f.photometric == PHOTOMETRIC_MINISWHITE;
  if (f.samples == 1 && (grey || f.photometric == PHOTOMETRIC_PALETTE)) {
    if (f.bits == 1 || f.bits == 2 || f.bits == 4 || f.bits == 8)
      return {Route::Raw, f.bits == 2 ? 4 : f.bits, 1 << f.bits};
    if (f.bits == 16 && grey) return {Route::Raw, 8, 256};
  }
  if (f.samples == 2 && contig && grey && depth8or16) return {Route::Raw, 8, 256};
  if (f.photometric == PHOTOMETRIC_RGB && contig && depth8or16 &&
      (f.samples == 3 || f.samples == 4))
    return {Route::Raw, f.samples == 3 ? 24 : 32, 0};
  if (f.photometric == PHOTOMETRIC_SEPARATED && f.samples == 4 && f.inkSet == INKSET_CMYK) {
    if (f.bits < 8) return {Route::Blank, 24, 0};
    if (contig && depth8or16) return {Route::Raw, 32, 0};
  }
  return {Route::Rgba, 24, 0};
}

uint8_t Sample8(const uint8_t* line, size_t index, int bits) {
  if (bits == 8) return line[index];
  uint16_t v;
  std::memcpy(&v, line + 2 * index, 2);  // the library delivers native byte order
  return uint8_t((uint32_t(v) * 255 + 32767) / 65535);
}

// One decoded file row into one stored row.
void ConvertRow(const Fields& f, const Plan& plan, const uint8_t* line, size_t lineBytes,
                uint8_t* dst, size_t stride) {
  const uint32_t width = f.width;
  if (plan.bitCount <= 8 && f.samples == 1 && f.bits <= 8) {
    if (f.bits != 2) {
      std::memcpy(dst, line, std::min(stride, lineBytes));
      return;
    }
    for (uint32_t x = 0; x < width; ++x) {
      uint8_t v = (line[x / 4] >> (6 - 2 * (x & 3))) & 3;
      dst[x / 2] |= uint8_t((x & 1) ? v : v << 4);
    }
    return;
  }
  const size_t step = f.samples;
  if (plan.bitCount == 8) {
    for (uint32_t x = 0; x < width; ++x) dst[x] = Sample8(line, x * step, f.bits);
    return;
  }
  const size_t outStep = size_t(plan.bitCount / 8);
  for (uint32_t x = 0; x < width; ++x) {
    uint8_t s0 = Sample8(line, x * step, f.bits), s1 = Sample8(line, x * step + 1, f.bits),
            s2 = Sample8(line, x * step + 2, f.bits);
    uint8_t* p = dst + x * outStep;
    if (f.photometric == PHOTOMETRIC_SEPARATED) {
      int k = Sample8(line, x * step + 3, f.bits);
      p[0] = uint8_t(std::max(0, 255 - s2 - k));
      p[1] = uint8_t(std::max(0, 255 - s1 - k));
      p[2] = uint8_t(std::max(0, 255 - s0 - k));
    } else {
      p[0] = s2;
      p[1] = s1;
      p[2] = s0;
    }
  }
}

void FillTable(TIFF* tif, const Fields& f, const Plan& plan, RgbQuad* table) {
  const int n = plan.tableEntries;
  if (f.photometric == PHOTOMETRIC_PALETTE) {
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
      return;
    bool wide = false;
    for (int i = 0; i < n; ++i) wide |= red[i] > 255 || green[i] > 255 || blue[i] > 255;
    auto scale = [&](uint16_t v) { return uint8_t(wide ? v * 255 / 65535 : v & 255); };
    for (int i = 0; i < n; ++i)
      table[i] = RgbQuad{scale(blue[i]), scale(green[i]), scale(red[i]), 0};
    return;
  }
  const int step = 255 / (n - 1);
  for (int j = 0; j < n; ++j) {
    uint8_t v = uint8_t(f.photometric == PHOTOMETRIC_MINISWHITE ? step * (n - 1 - j) : step * j);
    table[j] = RgbQuad{v, v, v, 0};
  }
}

// Reads the raw rows (strips or tiles) and hands each to `store(fileRow, bytes)`. Stops at
// the first read error.
template <class Store>
void ReadRawRows(TIFF* tif, const Fields& f, Store store) {
  const tmsize_t lineBytes = TIFFScanlineSize(tif);
  if (lineBytes <= 0) return;
  std::vector<uint8_t> line(size_t(lineBytes), 0);
  if (!TIFFIsTiled(tif)) {
    for (uint32_t row = 0; row < f.height; ++row) {
      if (TIFFReadScanline(tif, line.data(), row, 0) < 0) return;
      store(row, line.data(), line.size());
    }
    return;
  }
  uint32_t tileWidth = 0, tileLength = 0;
  TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
  TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileLength);
  const tmsize_t tileBytes = TIFFTileSize(tif);
  const tmsize_t tileRowBytes = TIFFTileRowSize(tif);
  if (tileWidth == 0 || tileLength == 0 || tileBytes <= 0 || tileRowBytes <= 0) return;
  const size_t bitsPerPixel = size_t(f.bits) * f.samples;
  std::vector<uint8_t> tile(static_cast<size_t>(tileBytes));
  std::vector<uint8_t> band(size_t(lineBytes) * tileLength);
  for (uint32_t y = 0; y < f.height; y += tileLength) {
    std::fill(band.begin(), band.end(), 0);
    for (uint32_t x = 0; x < f.width; x += tileWidth) {
      if (TIFFReadTile(tif, tile.data(), x, y, 0, 0) < 0) return;
      // Tile widths are multiples of 16, so a tile starts on a byte.
      const size_t offset = size_t(x) * bitsPerPixel / 8;
      const size_t n = std::min(size_t(tileRowBytes), size_t(lineBytes) - offset);
      for (uint32_t r = 0; r < tileLength; ++r)
        std::memcpy(band.data() + size_t(r) * size_t(lineBytes) + offset,
                    tile.data() + size_t(r) * size_t(tileRowBytes), n);
    }
    for (uint32_t r = 0; r < tileLength && y + r < f.height; ++r)
      store(y + r, band.data() + size_t(r) * size_t(lineBytes), size_t(lineBytes));
  }
}

void ReadRgba(TIFF* tif, PackedDib& dib) {
  char message[1024];
  if (!TIFFRGBAImageOK(tif, message)) return;
  const uint32_t width = uint32_t(dib.width()), height = uint32_t(dib.height());
  std::vector<uint32_t> raster(size_t(width) * (size_t(height) + 1), 0);
  // A failed read leaves what it decoded.
  TIFFReadRGBAImageOriented(tif, width, height, raster.data(), ORIENTATION_BOTLEFT, 0);
  for (uint32_t y = 0; y < height; ++y) {
    const uint32_t* src = raster.data() + size_t(y) * width;
    uint8_t* dst = dib.bits() + size_t(y) * dib.stride();  // raster row 0 is the bottom
    for (uint32_t x = 0; x < width; ++x) {
      dst[3 * x] = uint8_t(TIFFGetB(src[x]));
      dst[3 * x + 1] = uint8_t(TIFFGetG(src[x]));
      dst[3 * x + 2] = uint8_t(TIFFGetR(src[x]));
    }
  }
}

int32_t PixelsPerMeter(TIFF* tif, ttag_t tag) {
  float value = 0;
  uint16_t unit = RESUNIT_INCH;
  if (!TIFFGetField(tif, tag, &value) || !(value > 0) || value > 1e6f) return 0;
  TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
  if (unit == RESUNIT_INCH) return int32_t(value * 39.3701f + 0.5f);
  if (unit == RESUNIT_CENTIMETER) return int32_t(value * 100.0f + 0.5f);
  return 0;
}

std::optional<PackedDib> Decode(TIFF* tif, int64_t maxPixels, TiffFault* fault) {
  Fields f;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &f.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &f.height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &f.bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &f.samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &f.compression);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &f.photometric);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &f.planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &f.orientation);
  TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &f.inkSet);
  // Refused although the library could decode them, as files of these kinds always were.
  if (f.bits == 0) return Refuse(fault, TiffError::NoBitsPerSample, -1);
  if (f.compression == kCompressionDeflateOld || f.compression == kCompressionOldJpeg)
    return Refuse(fault, TiffError::BadCompression, -1, f.compression);
  const std::string size = std::to_string(f.width) + " x " + std::to_string(f.height);
  if (!DibSizeAllowed(f.width, f.height)) return Refuse(fault, TiffError::BadSize, -1, {}, size);
  if (int64_t(f.width) * f.height > maxPixels)
    return Refuse(fault, TiffError::TooLarge, -1, {}, size);

  const Plan plan = ChoosePlan(f);
  auto dib = PackedDib::Create(int32_t(f.width), int32_t(f.height), plan.bitCount);
  if (!dib) return Refuse(fault, TiffError::OutOfMemory, -1, {}, size);
  dib->header().biXPelsPerMeter = PixelsPerMeter(tif, TIFFTAG_XRESOLUTION);
  dib->header().biYPelsPerMeter = PixelsPerMeter(tif, TIFFTAG_YRESOLUTION);
  if (plan.tableEntries > 0) FillTable(tif, f, plan, dib->colors());

  if (plan.route == Route::Rgba) {
    ReadRgba(tif, *dib);
  } else if (plan.route == Route::Raw) {
    const bool bottomUp = f.orientation == ORIENTATION_BOTLEFT;
    const size_t stride = dib->stride();
    ReadRawRows(tif, f, [&](uint32_t row, const uint8_t* line, size_t lineBytes) {
      int y = bottomUp ? int(f.height - 1 - row) : int(row);
      ConvertRow(f, plan, line, lineBytes, dib->rowFromTop(y), stride);
    });
    // Shown the other way round: black 0, white 1 and every bit flipped looks the same.
    if (plan.bitCount == 1 && f.photometric == PHOTOMETRIC_MINISWHITE) {
      dib->colors()[0] = RgbQuad{0, 0, 0, 0};
      dib->colors()[1] = RgbQuad{255, 255, 255, 0};
      uint8_t* bits = dib->bits();
      for (size_t i = 0; i < size_t(f.height) * stride; ++i) bits[i] = uint8_t(~bits[i]);
    }
  }
  return dib;
}

}  // namespace

const char* TiffErrorText(TiffError error) {
  switch (error) {
    case TiffError::None: return "no error";
    case TiffError::CannotOpen: return "cannot open the file";
    case TiffError::NotTiff: return "not a readable TIFF file";
    case TiffError::NoBitsPerSample: return "bits per sample is 0";
    case TiffError::BadCompression: return "unsupported compression";
    case TiffError::BadSize: return "image size out of range";
    case TiffError::TooLarge: return "image too large";
    case TiffError::OutOfMemory: return "out of memory";
  }
  return "unknown error";
}

std::optional<PackedDib> ReadTiff(ByteSpan data, int64_t maxPixels, TiffFault* fault) {
  if (fault) *fault = TiffFault{};
  MemoryFile file{data};
  OpenOptions options(std::max<int64_t>(maxPixels * 8, 16 << 20));
  TiffPtr tif(TIFFClientOpenExt("image", "r", &file, MemRead, MemWrite, MemSeek, MemClose, MemSize,
                                MemMap, MemUnmap, options.options));
  if (!tif) return Refuse(fault, TiffError::NotTiff, -1, {}, "header");
  // A multi-page file shows its second page; a damaged second directory falls back to the
  // first.
  if (!TIFFReadDirectory(tif.get()) && !TIFFSetDirectory(tif.get(), 0))
    return Refuse(fault, TiffError::NotTiff, -1, {}, "directory");
  return Decode(tif.get(), maxPixels, fault);
}

std::optional<PackedDib> ReadTiffFile(const std::string& path, TiffFault* fault) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) return Refuse(fault, TiffError::CannotOpen, -1);
  return ReadTiff(ByteSpan(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
                  kMaxImagePixels, fault);
}

bool WriteTiffFile(const std::string& path, const PackedDib& dib, int* error) {
  if (error) *error = 0;
  if (dib.empty() || dib.width() <= 0 || dib.height() <= 0 ||
      dib.header().biCompression != BI_RGB || dib.bitsSize() < size_t(dib.height()) * dib.stride())
    return false;
  const int bitCount = dib.bitCount();
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
      bitCount != 32)
    return false;
  const bool indexed = bitCount <= 8;
  const uint32_t width = uint32_t(dib.width()), height = uint32_t(dib.height());

  uint16_t photometric = indexed ? PHOTOMETRIC_PALETTE : PHOTOMETRIC_RGB;
  std::vector<uint16_t> map[3];
  if (indexed) {
    const uint32_t entries = 1u << bitCount;
    for (auto& m : map) m.assign(entries, 0);
    auto table = dib.colorTable();
    for (uint32_t i = 0; i < entries && i < table.size(); ++i) {
      map[0][i] = uint16_t(table[i].red * 257);
      map[1][i] = uint16_t(table[i].green * 257);
      map[2][i] = uint16_t(table[i].blue * 257);
    }
    // Black-and-white images are written as such; other two-colour ones keep their colours.
    if (bitCount == 1 && map[0][0] == 0 && map[1][0] == 0 && map[2][0] == 0 && map[0][1] == 65535 &&
        map[1][1] == 65535 && map[2][1] == 65535)
      photometric = PHOTOMETRIC_MINISBLACK;
  }

  AtomicFile file(path);
  OpenOptions options(int64_t(1) << 30);
  TiffPtr tif(TIFFOpenExt(file.tempPath().c_str(), "w", options.options));
  // The library's own failures leave errno as the system set it; keep it for the caller.
  auto failed = [error] {
    if (error) *error = errno;
    return false;
  };
  if (!tif) return failed();
  TIFF* t = tif.get();
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(t, TIFFTAG_SOFTWARE, kSoftware);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  const BitmapInfoHeader& h = dib.header();
  if (h.biXPelsPerMeter > 0 && h.biYPelsPerMeter > 0) {
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, float(h.biXPelsPerMeter) / 100.0f);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, float(h.biYPelsPerMeter) / 100.0f);
  }
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, indexed ? 1 : 3);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, indexed ? bitCount : 8);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
  TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  if (photometric == PHOTOMETRIC_PALETTE)
    TIFFSetField(t, TIFFTAG_COLORMAP, map[0].data(), map[1].data(), map[2].data());

  std::vector<uint8_t> row(indexed ? dib.stride() : size_t(width) * 3 + 10, 0);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* src = dib.rowFromTop(int(y));
    if (indexed) {
      std::memcpy(row.data(), src, dib.stride());
    } else {
      for (uint32_t x = 0; x < width; ++x) {
        uint8_t* p = row.data() + 3 * size_t(x);
        if (bitCount == 16) {
          uint16_t v = uint16_t(src[2 * x] | (src[2 * x + 1] << 8));
          p[0] = uint8_t(((v >> 10) & 31) << 3);
          p[1] = uint8_t(((v >> 5) & 31) << 3);
          p[2] = uint8_t((v & 31) << 3);
        } else {
          const uint8_t* s = src + size_t(x) * size_t(bitCount / 8);
          p[0] = s[2];
          p[1] = s[1];
          p[2] = s[0];
        }
      }
    }
    if (TIFFWriteScanline(t, row.data(), y, 0) < 0) return failed();
  }
  // Closing flushes the last strip and the directory; only then is the file whole.
  TIFF* raw = tif.release();
  if (TIFFFlush(raw) != 1) {
    failed();
    TIFFClose(raw);
    return false;
  }
  TIFFClose(raw);
  if (file.Commit()) return true;
  if (error) *error = file.error();
  return false;
}

}  // namespace zr
