// PNG adapter over libpng 1.6. Library errors jump back to the recovery mark in Decode and
// Encode, which keep only trivially destructible locals; the C++ state lives in the jobs.
#include <png.h>

#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "image/formats.h"
#include "platform/atomic_file.h"

namespace zr {
namespace {

constexpr png_uint_32 kMaxInterlacedRows = 10000;

void IgnoreWarning(png_structp, png_const_charp) {}

struct DecodeJob {
  ByteSpan data;
  bool interlaced = false;
  int64_t maxPixels = kMaxImagePixels;
  std::string error;
  PngFault fault;
  std::optional<PackedDib> dib;
  // The rows as the library delivers them: one for a progressive file, every row of an
  // interlaced one.
  std::vector<std::vector<uint8_t>> rows;
  bool twoBit = false;  // 2-bit rows are widened to 4-bit pixels
};

// Everything that can allocate or throw runs here, outside the function holding the jump
// buffer, and reports failure by its result. The info already reflects the transformations
// (8-bit samples, no grey alpha).
bool Prepare(DecodeJob& job, png_structp png, png_infop info) {
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  const int colorType = png_get_color_type(png, info);
  const int bitDepth = png_get_bit_depth(png, info);
  const std::string size = std::to_string(width) + " x " + std::to_string(height);
  if (!DibSizeAllowed(width, height) || int64_t(width) * int64_t(height) > job.maxPixels) {
    job.error = "Can't allocate memory";
    job.fault = {DibSizeAllowed(width, height) ? PngError::TooLarge : PngError::BadSize, 16,
                 std::nullopt, size};
    return false;
  }
  int bitCount;
  switch (colorType) {
    case PNG_COLOR_TYPE_RGB:
      bitCount = 24;
      break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      bitCount = 32;
      break;
    default:
      bitCount = bitDepth;
      break;  // grey or palette
  }
  job.twoBit = bitCount == 2;
  if (job.twoBit) bitCount = 4;
  const bool interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
  if (interlaced && height > kMaxInterlacedRows) {
    job.error = "Sorry!\nThis File is toooo big for me.";
    job.fault = {PngError::TooTall, 20, std::nullopt, std::to_string(height) + " rows"};
    return false;
  }
  const size_t rowBytes = png_get_rowbytes(png, info);
  try {
    auto dib = PackedDib::Create(int32_t(width), int32_t(height), bitCount);
    if (!dib) {
      job.error = "Can't allocate memory";
      job.fault = {PngError::OutOfMemory, -1, std::nullopt, size};
      return false;
    }
    job.dib = std::move(dib);
    job.rows.assign(interlaced ? height : 1, std::vector<uint8_t>(rowBytes, 0));
  } catch (const std::bad_alloc&) {
    job.dib.reset();
    job.error = "Can't allocate memory";
    job.fault = {PngError::OutOfMemory, -1, std::nullopt, size};
    return false;
  }

  BitmapInfoHeader& h = job.dib->header();
  png_uint_32 resX = 0, resY = 0;
  int unit = 0;
  if (png_get_pHYs(png, info, &resX, &resY, &unit) && unit == PNG_RESOLUTION_METER &&
      resX <= 0x7FFFFFFF && resY <= 0x7FFFFFFF) {
    h.biXPelsPerMeter = int32_t(resX);
    h.biYPelsPerMeter = int32_t(resY);
  }

  RgbQuad* table = job.dib->colors();
  const uint32_t entries = job.dib->numColors();
  png_colorp palette = nullptr;
  int paletteSize = 0;
  if (colorType == PNG_COLOR_TYPE_PALETTE &&
      png_get_PLTE(png, info, &palette, &paletteSize) == PNG_INFO_PLTE) {
    for (int i = 0; i < paletteSize && uint32_t(i) < entries; ++i)
      table[i] = RgbQuad{palette[i].blue, palette[i].green, palette[i].red, 0};
  } else if ((colorType & PNG_COLOR_MASK_COLOR) == 0) {
    // Grey ramps by depth: 0, 255 for 1 bit; steps of 64 for 2 bits, 16 for 4 bits.
    const int levels = 1 << bitDepth;
    for (int i = 0; i < levels; ++i) {
      uint8_t v = bitDepth == 1 ? uint8_t(i * 255) : uint8_t(i * (256 / levels));
      table[i] = RgbQuad{v, v, v, 0};
    }
  }
  return true;
}

// Moves the library row for image row y into the PackedDib.
void StoreRow(DecodeJob& job, const std::vector<uint8_t>& src, png_uint_32 y) {
  uint8_t* dst = job.dib->rowFromTop(int(y));
  const size_t stride = job.dib->stride();
  if (!job.twoBit) {
    std::memcpy(dst, src.data(), std::min(stride, src.size()));
    return;
  }
  const int width = job.dib->width();
  for (int x = 0; x < width; ++x) {
    uint8_t v = (src[size_t(x) / 4] >> (6 - 2 * (x & 3))) & 3;
    dst[x / 2] |= uint8_t((x & 1) ? v : v << 4);
  }
}

void StoreInterlaced(DecodeJob& job) {
  for (size_t y = 0; y < job.rows.size(); ++y) StoreRow(job, job.rows[y], png_uint_32(y));
}

// Progressive reading hands over each row as soon as it is decoded, so a file that ends
// early keeps every row that arrived.
void OnInfo(png_structp png, png_infop info) {
  auto& job = *static_cast<DecodeJob*>(png_get_progressive_ptr(png));
  const int colorType = png_get_color_type(png, info);
  if (!DibSizeAllowed(png_get_image_width(png, info), png_get_image_height(png, info))) {
    job.error = "Can't allocate memory";
    job.fault = {PngError::BadSize, 16, std::nullopt,
                 std::to_string(png_get_image_width(png, info)) + " x " +
                     std::to_string(png_get_image_height(png, info))};
    png_error(png, "too large");
  }
  png_set_strip_16(png);
  if (colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_strip_alpha(png);
  if (colorType & PNG_COLOR_MASK_COLOR && colorType != PNG_COLOR_TYPE_PALETTE) png_set_bgr(png);
  job.interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (!Prepare(job, png, info)) png_error(png, "cannot prepare");
}

void OnRow(png_structp png, png_bytep row, png_uint_32 y, int) {
  auto& job = *static_cast<DecodeJob*>(png_get_progressive_ptr(png));
  if (!row || !job.dib || y >= png_uint_32(job.dib->height())) return;
  if (job.interlaced) {
    png_progressive_combine_row(png, job.rows[y].data(), row);
    return;
  }
  std::memcpy(job.rows[0].data(), row, job.rows[0].size());
  StoreRow(job, job.rows[0], y);
}

void OnEnd(png_structp, png_infop) {}

// The first error the library names is kept; the reader's own refusals set theirs first.
[[noreturn]] void ErrorExit(png_structp png, png_const_charp message) {
  auto* job = static_cast<DecodeJob*>(png_get_error_ptr(png));
  if (job && job->fault.error == PngError::None)
    job->fault = {PngError::Library, -1, std::nullopt, message ? message : ""};
  png_longjmp(png, 1);
}

bool Decode(DecodeJob& job) {
  png_structp png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, ErrorExit, IgnoreWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    if (job.dib && job.interlaced) StoreInterlaced(job);
    return job.dib.has_value();
  }
  png_set_progressive_read_fn(png, &job, OnInfo, OnRow, OnEnd);
  png_process_data(png, info, const_cast<png_bytep>(job.data.data()), job.data.size());
  png_destroy_read_struct(&png, &info, nullptr);
  if (job.dib && job.interlaced) StoreInterlaced(job);
  return job.dib.has_value();
}

struct EncodeJob {
  const PackedDib* dib;
  std::vector<uint8_t> out;
  std::vector<uint8_t> row;  // one row in the written form
  std::vector<png_color> palette;
  int bitDepth = 8, colorType = PNG_COLOR_TYPE_PALETTE;
  int sourceBits = 0;  // 16-bit rows are widened to 24 bits
};

bool Append(std::vector<uint8_t>& out, const uint8_t* data, size_t length) {
  try {
    out.insert(out.end(), data, data + length);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void WriteToMemory(png_structp png, png_bytep data, size_t length) {
  auto* job = static_cast<EncodeJob*>(png_get_io_ptr(png));
  if (!Append(job->out, data, length)) png_error(png, "Out of memory");
}

void FlushMemory(png_structp) {}

// Row y (from the top) in the form the library is given.
const uint8_t* RowForWriting(EncodeJob& job, int y) {
  const uint8_t* src = job.dib->rowFromTop(y);
  if (job.sourceBits != 16) return src;
  for (int x = 0; x < job.dib->width(); ++x) {
    uint16_t v = uint16_t(src[2 * x] | (src[2 * x + 1] << 8));
    job.row[3 * size_t(x)] = uint8_t((v & 31) << 3);
    job.row[3 * size_t(x) + 1] = uint8_t(((v >> 5) & 31) << 3);
    job.row[3 * size_t(x) + 2] = uint8_t(((v >> 10) & 31) << 3);
  }
  return job.row.data();
}

bool Encode(EncodeJob& job) {
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, ErrorExit, IgnoreWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  const PackedDib& dib = *job.dib;
  png_set_write_fn(png, &job, WriteToMemory, FlushMemory);
  png_set_IHDR(png, info, png_uint_32(dib.width()), png_uint_32(dib.height()), job.bitDepth,
               job.colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  // An empty palette is an error to the library: only tables with entries are written.
  if (!job.palette.empty()) png_set_PLTE(png, info, job.palette.data(), int(job.palette.size()));
  const BitmapInfoHeader& h = dib.header();
  if (h.biXPelsPerMeter > 0 && h.biYPelsPerMeter > 0)
    png_set_pHYs(png, info, png_uint_32(h.biXPelsPerMeter), png_uint_32(h.biYPelsPerMeter),
                 PNG_RESOLUTION_METER);
  png_write_info(png, info);
  if (job.colorType & PNG_COLOR_MASK_COLOR && job.colorType != PNG_COLOR_TYPE_PALETTE)
    png_set_bgr(png);
  for (int y = 0; y < dib.height(); ++y)
    png_write_row(png, const_cast<png_bytep>(RowForWriting(job, y)));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

const char* PngErrorText(PngError error) {
  switch (error) {
    case PngError::None: return "no error";
    case PngError::CannotOpen: return "cannot open the file";
    case PngError::NotPng: return "not a PNG file";
    case PngError::Library: return "library error";
    case PngError::BadSize: return "image size out of range";
    case PngError::TooLarge: return "image too large";
    case PngError::TooTall: return "interlaced image of more than 10000 rows";
    case PngError::OutOfMemory: return "out of memory";
  }
  return "unknown error";
}

std::optional<PackedDib> ReadPng(ByteSpan data, std::string* errorText, int64_t maxPixels,
                                 PngFault* fault) {
  DecodeJob job;
  job.data = data;
  job.maxPixels = maxPixels;
  job.error = "This is not a valid PNG File!";
  const bool ok = Decode(job);
  if (errorText) *errorText = job.error;
  if (!ok && (data.size() < 8 || png_sig_cmp(data.data(), 0, 8) != 0))
    job.fault = {PngError::NotPng, 0, std::nullopt, {}};
  else if (!ok && job.fault.error == PngError::None)
    job.fault = {PngError::Library, int64_t(data.size()), std::nullopt,
                 "file ends before the image"};
  if (fault) *fault = ok ? PngFault{} : job.fault;
  if (!ok) return std::nullopt;
  return std::move(job.dib);
}

std::optional<PackedDib> ReadPngFile(const std::string& path, std::string* errorText,
                                     PngFault* fault) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) {
    if (errorText) *errorText = "Can't open file: " + path;
    if (fault) *fault = {PngError::CannotOpen, -1, std::nullopt, {}};
    return std::nullopt;
  }
  return ReadPng(ByteSpan(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
                 errorText, kMaxImagePixels, fault);
}

bool WritePngFile(const std::string& path, const PackedDib& dib, int* error) {
  if (error) *error = 0;
  if (dib.empty() || dib.width() <= 0 || dib.height() <= 0 ||
      dib.header().biCompression != BI_RGB || dib.bitsSize() < size_t(dib.height()) * dib.stride())
    return false;
  EncodeJob job;
  job.dib = &dib;
  job.sourceBits = dib.bitCount();
  switch (dib.bitCount()) {
    case 1:
    case 4:
    case 8: {
      job.bitDepth = dib.bitCount();
      job.colorType = PNG_COLOR_TYPE_PALETTE;
      const uint32_t entries = std::min(dib.numColors(), 1u << dib.bitCount());
      for (uint32_t i = 0; i < entries; ++i) {
        RgbQuad q = dib.colors()[i];
        job.palette.push_back(png_color{q.red, q.green, q.blue});
      }
      // A palette image needs a palette; a table-less one is taken as a grey ramp.
      if (job.palette.empty())
        for (uint32_t i = 0; i < (1u << dib.bitCount()); ++i) {
          uint8_t v = uint8_t(i * 255 / ((1u << dib.bitCount()) - 1));
          job.palette.push_back(png_color{v, v, v});
        }
      break;
    }
    case 16:
      job.colorType = PNG_COLOR_TYPE_RGB;
      job.row.resize(size_t(dib.width()) * 3);
      break;
    case 24:
      job.colorType = PNG_COLOR_TYPE_RGB;
      break;
    case 32:
      job.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
      break;
    default:
      return false;
  }
  if (!Encode(job)) return false;
  return WriteFileAtomic(path, job.out, error);
}

}  // namespace zr
