// Readers and writers of the image formats behind the load/save dispatch. Readers return
// nullopt on any failure and never show anything (the fault, when asked for, says why);
// writers return false and leave no file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "image/packed_dib.h"

namespace zr {

using ByteSpan = std::span<const uint8_t>;

// Why a reader gave up and where: its named error, the byte offset and the offending
// value when they apply, or the library's own words.
template <class Error>
struct ReadFault {
  Error error{};
  int64_t at = -1;
  std::optional<int64_t> value;
  std::string note;
};

// Records why a reader gave up; returns the empty result the reader hands back.
template <class Error>
std::nullopt_t Refuse(ReadFault<Error>* fault, Error error, int64_t at,
                      std::optional<int64_t> value = {}, std::string note = {}) {
  if (fault) *fault = ReadFault<Error>{error, at, value, std::move(note)};
  return std::nullopt;
}

// "GIF: LZW code size 13 at byte 812" from "GIF", "LZW code size" and the fault's parts.
std::string FaultDetail(const char* format, const char* text, int64_t at,
                        const std::optional<int64_t>& value, const std::string& note);
template <class Error>
std::string FaultDetail(const char* format, const ReadFault<Error>& fault,
                        const char* (*textOf)(Error)) {
  return FaultDetail(format, textOf(fault.error), fault.at, fault.value, fault.note);
}

enum class GifError {
  None,
  NotGif,       // no "GIF8" signature
  NoImage,      // the trailer or the end comes before any image descriptor
  BadSize,      // width or height zero or past the caps
  TooLarge,     // more pixels than the caller allows
  OutOfMemory,
};
const char* GifErrorText(GifError error);
using GifFault = ReadFault<GifError>;

enum class PcxError {
  None,
  TooShort,     // fewer than 128 header bytes
  NotPcx,       // manufacturer byte or encoding not run-length
  BadLayout,    // bits per pixel and planes not a combination the reader knows
  BadSize,
  TooLarge,
  OutOfMemory,
  NoResource,   // no built-in image of that name
};
const char* PcxErrorText(PcxError error);
using PcxFault = ReadFault<PcxError>;

enum class TgaError {
  None,
  TooShort,       // fewer than 18 header bytes
  Unsupported,    // image type and pixel depth not a pair the reader decodes
  BadSize,
  BadColorMap,    // colour-mapped image whose entries are of no known size
  TooLarge,
  OutOfMemory,
  ShortPixels,    // the pixel rows run past the end of the file
  ShortRle,       // a run-length packet runs past the end of the file
};
const char* TgaErrorText(TgaError error);
using TgaFault = ReadFault<TgaError>;

enum class JpegError {
  None,
  CannotOpen,
  TooLarge,     // past the caps or the caller's pixel limit
  OutOfMemory,
  Library,      // the library gave up; note holds its message
};
const char* JpegErrorText(JpegError error);
using JpegFault = ReadFault<JpegError>;

enum class PngError {
  None,
  CannotOpen,
  NotPng,       // no PNG signature
  Library,      // the library gave up; note holds its message
  BadSize,
  TooLarge,
  TooTall,      // interlaced and more rows than the reader keeps
  OutOfMemory,
};
const char* PngErrorText(PngError error);
using PngFault = ReadFault<PngError>;

enum class TiffError {
  None,
  CannotOpen,
  NotTiff,      // the library cannot open it or read its first directory
  NoBitsPerSample,
  BadCompression,  // Deflate or old-style JPEG
  BadSize,
  TooLarge,
  OutOfMemory,
};
const char* TiffErrorText(TiffError error);
using TiffFault = ReadFault<TiffError>;

// Every reader refuses images above maxPixels before allocating (the fuzz targets pass a
// small cap).
// GIF: first image only; *transparentIndex is the graphic control extension's index, or -1
// (also when the index lies outside the image's colour table).
std::optional<PackedDib> ReadGif(ByteSpan data, int* transparentIndex,
                                 int64_t maxPixels = kMaxImagePixels, GifFault* fault = nullptr);
// PCX from a file's bytes, and the built-in "pcx" resource named `name` (key "P").
std::optional<PackedDib> ReadPcx(ByteSpan data, int64_t maxPixels = kMaxImagePixels,
                                 PcxFault* fault = nullptr);
std::optional<PackedDib> ReadPcxResource(const std::string& name, PcxFault* fault = nullptr);
std::optional<PackedDib> ReadTga(ByteSpan data, int64_t maxPixels = kMaxImagePixels,
                                 TgaFault* fault = nullptr);
// Library adapters. The JPEG reader returns a 24-bit bottom-up PackedDib.
std::optional<PackedDib> ReadJpegFile(const std::string& path, JpegFault* fault = nullptr);
std::optional<PackedDib> ReadPngFile(const std::string& path, std::string* errorText = nullptr,
                                     PngFault* fault = nullptr);
std::optional<PackedDib> ReadTiffFile(const std::string& path, TiffFault* fault = nullptr);

// The writers: on false, *error (when given) holds the system's error number, 0 when the
// failure was not the system's (an image they cannot store, the library's own fault).
bool WritePcxFile(const std::string& path, const PackedDib& dib, int* error = nullptr);
// The bytes WritePcxFile stores; empty for an image it cannot write.
std::vector<uint8_t> EncodePcx(const PackedDib& dib);

// The library adapters over bytes in memory; the file readers call these.
std::optional<PackedDib> ReadJpeg(ByteSpan data, int64_t maxPixels = kMaxImagePixels,
                                  JpegFault* fault = nullptr);
std::optional<PackedDib> ReadPng(ByteSpan data, std::string* errorText = nullptr,
                                 int64_t maxPixels = kMaxImagePixels, PngFault* fault = nullptr);
std::optional<PackedDib> ReadTiff(ByteSpan data, int64_t maxPixels = kMaxImagePixels,
                                  TiffFault* fault = nullptr);
// dib: 24-bit (colour) or 8-bit grey rows. error: OutOfMemory, CannotOpen (the file could
// not be written) or Library.
bool WriteJpegFile(const std::string& path, const PackedDib& dib, int quality, bool color,
                   JpegFault* fault = nullptr, int* error = nullptr);
bool WritePngFile(const std::string& path, const PackedDib& dib, int* error = nullptr);
// LZW-compressed TIFF.
bool WriteTiffFile(const std::string& path, const PackedDib& dib, int* error = nullptr);

}  // namespace zr
