// PackedDib <-> screen-format Bitmap and palette: the bitmap creation, palette creation and
// bit reading the rest of the program does through these calls.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "image/packed_dib.h"
#include "platform/raster.h"

namespace zr {

// Palette of the colour table; empty when the DIB has none.
Palette DibCreatePalette(const PackedDib& dib);
// Screen-format bitmap of the DIB's pixels (any depth, RLE4/RLE8 included). The palette
// is accepted for the call's shape only: on a true-colour screen the colour table alone
// decides the colours. nullopt when the DIB is malformed.
std::optional<Bitmap> DibCreateBitmap(const PackedDib& dib, const Palette* palette = nullptr);

// The bitmap read back at the screen's depth, as the platform does: a 32-bit screen
// bitmap becomes a 24-bit DIB without colour table.
std::optional<PackedDib> DibFromBitmap(const Bitmap& bitmap, const Palette* palette = nullptr);
// The bitmap read back at a chosen depth: 24 or 32 (no table), 16 (5-5-5, no table), or
// 1/4/8 with a colour table of the given palette (DefaultPalette256() when null or empty;
// for 1/4 bits its first 2/16 entries). Rows bottom-up, compression 0.
std::optional<PackedDib> DibFromBitmapAtDepth(const Bitmap& bitmap, int bitCount,
                                              const Palette* palette = nullptr);

// The bitmap's pixels as bottom-up 24-bit rows (blue, green, red) padded to 4 bytes, and
// back. WriteBitmapRows24 fails when rows are shorter than height * stride.
std::vector<uint8_t> ReadBitmapRows24(const Bitmap& bitmap);
bool WriteBitmapRows24(Bitmap& bitmap, std::span<const uint8_t> rows);

}  // namespace zr
