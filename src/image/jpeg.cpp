// JPEG adapter over libjpeg (6b interface). Library errors jump back to the recovery mark
// set in the Decode/Encode functions below; those keep only trivially destructible locals
// so nothing is skipped by the jump.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

// After <cstdio>: the library's header uses size_t and FILE without including them.
#include <jpeglib.h>

#include "image/formats.h"
#include "platform/atomic_file.h"

namespace zr {
namespace {

struct ErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];  // the library's last error, formatted
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  longjmp(err->jump, 1);
}

// Warnings (a truncated file among them) are not shown.
void IgnoreMessage(j_common_ptr) {}

void InitErrors(ErrorManager& err) {
  err.message[0] = 0;
  jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.output_message = IgnoreMessage;
}

struct DecodeJob {
  ByteSpan data;
  int64_t maxPixels;
  std::optional<PackedDib> dib;
  JpegError error = JpegError::None;
  std::string libraryMessage;
};

bool AllocateDib(DecodeJob& job, JDIMENSION width, JDIMENSION height) {
  if (!DibSizeAllowed(width, height) || int64_t(width) * int64_t(height) > job.maxPixels)
    return false;
  try {
    job.dib = PackedDib::Create(int32_t(width), int32_t(height), 24);
  } catch (const std::bad_alloc&) {
    job.dib.reset();
  }
  return job.dib.has_value();
}

// Scanline y (from the top) into the bottom-up blue-green-red rows.
void StoreRow(DecodeJob& job, int y, const JSAMPLE* line, int components, bool adobeCmyk) {
  uint8_t* dst = job.dib->rowFromTop(y);
  const int width = job.dib->width();
  for (int x = 0; x < width; ++x, dst += 3) {
    if (components == 3) {
      dst[0] = line[3 * x + 2];
      dst[1] = line[3 * x + 1];
      dst[2] = line[3 * x];
    } else if (components == 1) {
      dst[0] = dst[1] = dst[2] = line[x];
    } else {
      // Inks to light; files written by Adobe's software store them inverted.
      int c = line[4 * x], m = line[4 * x + 1], yel = line[4 * x + 2], k = line[4 * x + 3];
      if (!adobeCmyk) {
        c = 255 - c;
        m = 255 - m;
        yel = 255 - yel;
        k = 255 - k;
      }
      dst[0] = uint8_t(yel * k / 255);
      dst[1] = uint8_t(m * k / 255);
      dst[2] = uint8_t(c * k / 255);
    }
  }
}

bool Decode(DecodeJob& job) {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  cinfo.err = &err.pub;
  InitErrors(err);
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    job.error = JpegError::Library;
    job.libraryMessage = err.message;
    return false;
  }
  jpeg_CreateDecompress(&cinfo, JPEG_LIB_VERSION, sizeof cinfo);
  jpeg_mem_src(&cinfo, job.data.data(), static_cast<unsigned long>(job.data.size()));
  jpeg_read_header(&cinfo, TRUE);
  if (cinfo.num_components == 4) cinfo.out_color_space = JCS_CMYK;
#ifdef JCS_EXTENSIONS
  // The library's own blue-green-red order, decoded straight into the rows: the values
  // are those of its red-green-blue output, without a pass to swap them.
  const bool direct = cinfo.num_components == 3 &&
                      (cinfo.jpeg_color_space == JCS_YCbCr || cinfo.jpeg_color_space == JCS_RGB);
  if (direct) cinfo.out_color_space = JCS_EXT_BGR;
#else
  const bool direct = false;
#endif
  if (!DibSizeAllowed(cinfo.image_width, cinfo.image_height) ||
      int64_t(cinfo.image_width) * cinfo.image_height > job.maxPixels) {
    job.error = JpegError::TooLarge;
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_start_decompress(&cinfo);
  if (!AllocateDib(job, cinfo.output_width, cinfo.output_height)) {
    job.error = JpegError::OutOfMemory;
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  if (direct) {
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = job.dib->rowFromTop(int(cinfo.output_scanline));
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
  }
  const int components = cinfo.output_components;
  const bool adobe = cinfo.saw_Adobe_marker;
  JSAMPARRAY line = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                               cinfo.output_width * JDIMENSION(components), 1);
  while (cinfo.output_scanline < cinfo.output_height) {
    jpeg_read_scanlines(&cinfo, line, 1);
    if (components == 1 || components == 3 || components == 4)
      StoreRow(job, int(cinfo.output_scanline) - 1, line[0], components, adobe);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

struct EncodeJob {
  const uint8_t* rows;  // top-down, tightly packed
  int width, height, components, quality;
  unsigned char* out = nullptr;  // from the library's memory destination; freed with free()
  unsigned long outSize = 0;
  std::string libraryMessage;
};

bool Encode(EncodeJob& job) {
  jpeg_compress_struct cinfo;
  ErrorManager err;
  cinfo.err = &err.pub;
  InitErrors(err);
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    job.libraryMessage = err.message;
    return false;
  }
  jpeg_CreateCompress(&cinfo, JPEG_LIB_VERSION, sizeof cinfo);
  jpeg_mem_dest(&cinfo, &job.out, &job.outSize);
  cinfo.image_width = JDIMENSION(job.width);
  cinfo.image_height = JDIMENSION(job.height);
  cinfo.input_components = job.components;
  cinfo.in_color_space = job.components == 3 ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, job.quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  const size_t rowBytes = size_t(job.width) * size_t(job.components);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(job.rows + size_t(cinfo.next_scanline) * rowBytes);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

// Pixel x of a row as red, green, blue, whatever the depth.
void RowPixelRgb(const PackedDib& dib, const uint8_t* row, int x, uint8_t* rgb) {
  auto fromTable = [&](uint32_t index) {
    RgbQuad q = index < dib.numColors() ? dib.colors()[index] : RgbQuad{};
    rgb[0] = q.red;
    rgb[1] = q.green;
    rgb[2] = q.blue;
  };
  switch (dib.bitCount()) {
    case 1:
      fromTable((row[x / 8] >> (7 - (x & 7))) & 1);
      break;
    case 4:
      fromTable((x & 1) ? row[x / 2] & 15 : row[x / 2] >> 4);
      break;
    case 8:
      fromTable(row[x]);
      break;
    case 16: {
      uint16_t v = uint16_t(row[2 * x] | (row[2 * x + 1] << 8));
      rgb[0] = uint8_t(((v >> 10) & 31) << 3);
      rgb[1] = uint8_t(((v >> 5) & 31) << 3);
      rgb[2] = uint8_t((v & 31) << 3);
      break;
    }
    default: {
      const uint8_t* p = row + size_t(x) * size_t(dib.bitCount() / 8);
      rgb[0] = p[2];
      rgb[1] = p[1];
      rgb[2] = p[0];
    }
  }
}

}  // namespace

const char* JpegErrorText(JpegError error) {
  switch (error) {
    case JpegError::None: return "no error";
    case JpegError::CannotOpen: return "cannot open the file";
    case JpegError::TooLarge: return "image too large";
    case JpegError::OutOfMemory: return "out of memory";
    case JpegError::Library: return "library error";
  }
  return "unknown error";
}

std::optional<PackedDib> ReadJpeg(ByteSpan data, int64_t maxPixels, JpegFault* fault) {
  DecodeJob job{data, maxPixels, std::nullopt, JpegError::None, {}};
  const bool ok = Decode(job);
  if (fault) *fault = ok ? JpegFault{} : JpegFault{job.error, -1, std::nullopt, job.libraryMessage};
  if (!ok) return std::nullopt;
  return std::move(job.dib);
}

std::optional<PackedDib> ReadJpegFile(const std::string& path, JpegFault* fault) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) {
    if (fault) *fault = JpegFault{JpegError::CannotOpen, -1, std::nullopt, {}};
    return std::nullopt;
  }
  return ReadJpeg(ByteSpan(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
                  kMaxImagePixels, fault);
}

bool WriteJpegFile(const std::string& path, const PackedDib& dib, int quality, bool color,
                   JpegFault* fault, int* error) {
  if (error) *error = 0;
  auto fail = [&](JpegError error, std::string note = {}) {
    if (fault) *fault = JpegFault{error, -1, std::nullopt, std::move(note)};
    return false;
  };
  if (fault) *fault = JpegFault{};
  if (dib.empty() || dib.width() <= 0 || dib.height() <= 0 ||
      dib.header().biCompression != BI_RGB || dib.bitsSize() < size_t(dib.height()) * dib.stride())
    return false;
  const int bits = dib.bitCount();
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  const int width = dib.width(), height = dib.height();
  const int components = color ? 3 : 1;
  std::vector<uint8_t> rows;
  try {
    rows.resize(size_t(width) * size_t(height) * size_t(components));
  } catch (const std::bad_alloc&) {
    return fail(JpegError::OutOfMemory);
  }
  uint8_t* out = rows.data();
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = dib.rowFromTop(y);
    for (int x = 0; x < width; ++x) {
      uint8_t rgb[3];
      RowPixelRgb(dib, row, x, rgb);
      if (color) {
        *out++ = rgb[0];
        *out++ = rgb[1];
        *out++ = rgb[2];
      } else {
        *out++ = uint8_t((rgb[0] + rgb[1] + rgb[2]) / 3);
      }
    }
  }
  EncodeJob job{rows.data(), width, height, components, quality, nullptr, 0, {}};
  const bool encoded = Encode(job);
  bool written = false;
  if (encoded) written = WriteFileAtomic(path, ByteSpan(job.out, job.outSize), error);
  std::free(job.out);
  // The caller names the path the user chose (this may be a temporary) and the reason.
  if (!encoded) return fail(JpegError::Library, job.libraryMessage);
  if (!written) return fail(JpegError::CannotOpen);
  return true;
}

}  // namespace zr
