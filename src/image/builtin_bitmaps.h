// Images built into the program. "<NAME" bitmaps are the controls' icons and the default
// logo; the image load entry does not resolve them (a logo set to "<LOGO" stamps nothing),
// the controls call LoadBuiltinBitmap. B4/B8 resources are what the load dispatch's B4
// and B8 keys name.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "image/packed_dib.h"
#include "platform/raster.h"

namespace zr {

// The colour around the icons' shapes (button face grey); controls draw it transparent.
constexpr ColorRef kBuiltinBackground = Rgb(192, 192, 192);

// "<LOGO", "<UP", "<DN", "<FIRST", "<LAST", "<DEL" and the others listed by
// BuiltinBitmapNames(). Case-insensitive; nullopt for unknown names.
std::optional<Bitmap> LoadBuiltinBitmap(const std::string& name);
std::vector<std::string> BuiltinBitmapNames();
bool IsBuiltinBitmapName(const std::string& name);  // starts with '<'

// Bitmap resources for the B4/B8 keys, named by the whole path string
// (case-insensitive): "ZERARIVE.B4" (16 colours), "ZERARIVE.B8" (256 colours).
std::optional<PackedDib> FindBitmapResource(const std::string& name);
std::vector<std::string> BitmapResourceNames();

}  // namespace zr
