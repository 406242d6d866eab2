// One entry for loading and one for saving: the reader or writer is chosen by the file
// name's extension key alone (text after the last dot, upper case), never by content.
#pragma once

#include <optional>
#include <string>

#include "image/packed_dib.h"
#include "platform/raster.h"

namespace zr {

class CBmp;

// Why a load or save failed: the message box the user is shown for it (empty when the
// format shows none; caption empty for the program's title) and the precise reason, for
// stderr and the GUI's details.
struct ImageFailure {
  std::string message;
  std::string caption;
  std::string detail;
  int error = 0;  // the system's error number behind a failed write, 0 when none
};

// Loads path into bitmap and palette. Keys: BMP, DIB, RLE (BMP reader); PCX; P (PCX
// resource); B4, B8 (built-in bitmap resources named by the whole path); TIF, TIFF,
// CRI; TGA; JPG, JPEG; GIF (sets owner's transparent flag and colour when the file has a
// transparent index; owner may be null); PNG. Anything else fails. Names starting with
// "<" are not loaded here (see builtin_bitmaps.h). On failure the outputs are unchanged
// and failure (when given) says why.
bool LoadImageFile(CBmp* owner, const std::string& path, Bitmap& bitmap, Palette& palette,
                   ImageFailure* failure = nullptr);

// Writes bitmap by key: BMP, PCX, JPG/JPEG (quality 100, colour), TIF/TIFF (LZW), PNG.
// Anything else (DIB, GIF, TGA...) fails and writes nothing.
bool SaveImageFile(const std::string& path, const Bitmap& bitmap, const Palette& palette,
                   ImageFailure* failure = nullptr);

// True when the key has a reader / a writer.
bool CanLoadImageKey(const std::string& key);
bool CanSaveImageKey(const std::string& key);

// The file's own description: its stored size, depth and colour-table entries.
struct ImageFileInfo {
  int width = 0;
  int height = 0;
  int bitCount = 0;
  int paletteSize = 0;
  std::string format;  // "BMP", "GIF", ...
  std::string detail;  // e.g. "RLE8", "top-down", "core header"; may be empty
};
bool ReadImageFileInfo(const std::string& path, ImageFileInfo& info, std::string* error = nullptr);

}  // namespace zr
