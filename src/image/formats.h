// Readers and writers of the image formats behind the load/save dispatch. Readers return
// nullopt on any failure and never show anything; writers return false and leave no file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "image/packed_dib.h"

namespace zr {

using ByteSpan = std::span<const uint8_t>;

// Every reader refuses images above maxPixels before allocating (the fuzz targets pass a
// small cap).
// GIF: first image only; *transparentIndex is the graphic control extension's index, or -1
// (also when the index lies outside the image's colour table).
std::optional<PackedDib> ReadGif(ByteSpan data, int* transparentIndex,
                                 int64_t maxPixels = kMaxImagePixels);
// PCX from a file's bytes, and the built-in "pcx" resource named `name` (key "P").
std::optional<PackedDib> ReadPcx(ByteSpan data, int64_t maxPixels = kMaxImagePixels);
std::optional<PackedDib> ReadPcxResource(const std::string& name);
std::optional<PackedDib> ReadTga(ByteSpan data, int64_t maxPixels = kMaxImagePixels);
// Library adapters. The JPEG reader returns a 24-bit bottom-up PackedDib.
std::optional<PackedDib> ReadJpegFile(const std::string& path);
std::optional<PackedDib> ReadPngFile(const std::string& path);
std::optional<PackedDib> ReadTiffFile(const std::string& path);

bool WritePcxFile(const std::string& path, const PackedDib& dib);
// The bytes WritePcxFile stores; empty for an image it cannot write.
std::vector<uint8_t> EncodePcx(const PackedDib& dib);

// The library adapters over bytes in memory; the file readers call these.
std::optional<PackedDib> ReadJpeg(ByteSpan data, int64_t maxPixels = kMaxImagePixels);
std::optional<PackedDib> ReadPng(ByteSpan data, std::string* errorText = nullptr,
                                 int64_t maxPixels = kMaxImagePixels);
std::optional<PackedDib> ReadTiff(ByteSpan data, int64_t maxPixels = kMaxImagePixels);
// dib: 24-bit (colour) or 8-bit grey rows.
bool WriteJpegFile(const std::string& path, const PackedDib& dib, int quality, bool color);
bool WritePngFile(const std::string& path, const PackedDib& dib);
// LZW-compressed TIFF.
bool WriteTiffFile(const std::string& path, const PackedDib& dib);

}  // namespace zr
