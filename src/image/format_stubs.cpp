// Formats whose code has not landed yet fail like an unknown extension. Each definition
// here goes away when its format's own file arrives.
#include "image/formats.h"

namespace zr {

std::optional<PackedDib> ReadGif(ByteSpan, int* t) { if (t) *t = -1; return std::nullopt; }
std::optional<PackedDib> ReadPcx(ByteSpan) { return std::nullopt; }
std::optional<PackedDib> ReadPcxResource(const std::string&) { return std::nullopt; }
std::optional<PackedDib> ReadTga(ByteSpan) { return std::nullopt; }
std::optional<PackedDib> ReadJpegFile(const std::string&) { return std::nullopt; }
std::optional<PackedDib> ReadPngFile(const std::string&) { return std::nullopt; }
std::optional<PackedDib> ReadTiffFile(const std::string&) { return std::nullopt; }
bool WritePcxFile(const std::string&, const PackedDib&) { return false; }
bool WriteJpegFile(const std::string&, const PackedDib&, int, bool) { return false; }
bool WritePngFile(const std::string&, const PackedDib&) { return false; }
bool WriteTiffFile(const std::string&, const PackedDib&) { return false; }

}  // namespace zr
