#include "image/image_dispatch.h"

#include <array>

#include "image/bmp.h"
#include "image/builtin_bitmaps.h"
#include "image/cbmp.h"
#include "image/dib_convert.h"
#include "image/formats.h"
#include "platform/atomic_file.h"
#include "platform/paths.h"

namespace zr {

namespace {

bool ReadBytes(const std::string& path, std::string& bytes) {
  return ReadWholeFile(path, bytes, size_t(1) << 30);
}

ByteSpan AsSpan(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

enum class Kind { Bmp, Pcx, PcxResource, B4, B8, Tiff, Tga, Jpeg, Gif, Png, None };

struct LoadKey {
  const char* key;
  Kind kind;
};

// In the order they are tested; the first key that matches wins.
constexpr std::array kLoadTable = {
    LoadKey{"BMP", Kind::Bmp},  LoadKey{"DIB", Kind::Bmp},    LoadKey{"RLE", Kind::Bmp},
    LoadKey{"PCX", Kind::Pcx},  LoadKey{"P", Kind::PcxResource}, LoadKey{"B4", Kind::B4},
    LoadKey{"B8", Kind::B8},    LoadKey{"TIF", Kind::Tiff},   LoadKey{"TIFF", Kind::Tiff},
    LoadKey{"CRI", Kind::Tiff}, LoadKey{"TGA", Kind::Tga},    LoadKey{"JPG", Kind::Jpeg},
    LoadKey{"JPEG", Kind::Jpeg}, LoadKey{"GIF", Kind::Gif},   LoadKey{"PNG", Kind::Png},
};

Kind LoadKind(const std::string& key) {
  for (const auto& k : kLoadTable)
    if (key == k.key) return k.kind;
  return Kind::None;
}

// Reads the file as the PackedDib its reader makes; transparentIndex for GIF.
std::optional<PackedDib> ReadAsDib(Kind kind, const std::string& path, int* transparentIndex) {
  std::string bytes;
  switch (kind) {
    case Kind::Bmp: return DibReadFile(path);
    case Kind::Pcx:
      if (!ReadBytes(path, bytes)) return std::nullopt;
      return ReadPcx(AsSpan(bytes));
    case Kind::PcxResource: return ReadPcxResource(path);
    case Kind::B4:
    case Kind::B8: return FindBitmapResource(path);
    case Kind::Tiff: return ReadTiffFile(path);
    case Kind::Tga:
      if (!ReadBytes(path, bytes)) return std::nullopt;
      return ReadTga(AsSpan(bytes));
    case Kind::Jpeg: return ReadJpegFile(path);
    case Kind::Gif:
      if (!ReadBytes(path, bytes)) return std::nullopt;
      return ReadGif(AsSpan(bytes), transparentIndex);
    case Kind::Png: return ReadPngFile(path);
    case Kind::None: break;
  }
  return std::nullopt;
}

}  // namespace

bool CanLoadImageKey(const std::string& key) { return LoadKind(key) != Kind::None; }

bool CanSaveImageKey(const std::string& key) {
  return key == "BMP" || key == "PCX" || key == "JPG" || key == "JPEG" || key == "TIF" ||
         key == "TIFF" || key == "PNG";
}

bool LoadImageFile(CBmp* owner, const std::string& path, Bitmap& bitmap, Palette& palette) {
  Kind kind = LoadKind(ExtensionKey(path));
  if (kind == Kind::None) return false;
  int transparentIndex = -1;
  auto dib = ReadAsDib(kind, path, &transparentIndex);
  if (!dib) return false;
  Palette pal = DibCreatePalette(*dib);
  auto bmp = DibCreateBitmap(*dib, &pal);
  if (!bmp) return false;
  // A B4 resource is a bitmap only; the platform gives it no palette.
  if (kind == Kind::B4 || kind == Kind::Jpeg) pal.clear();
  if (kind == Kind::B8) pal.resize(256);
  if (kind == Kind::Gif && owner && transparentIndex >= 0) {
    owner->SetTransparent(true);
    RgbQuad q = size_t(transparentIndex) < pal.size() ? pal[size_t(transparentIndex)] : RgbQuad{};
    owner->SetTransparentColor(Rgb(q.red, q.green, q.blue));
  }
  bitmap = std::move(*bmp);
  palette = std::move(pal);
  return true;
}

bool SaveImageFile(const std::string& path, const Bitmap& bitmap, const Palette& palette) {
  if (bitmap.empty()) return false;
  std::string key = ExtensionKey(path);
  if (key == "BMP") return SaveBmpFile(path, bitmap, palette);
  if (!CanSaveImageKey(key)) return false;
  auto dib = DibFromBitmap(bitmap, &palette);
  if (!dib) return false;
  if (key == "PCX") return WritePcxFile(path, *dib);
  if (key == "JPG" || key == "JPEG") return WriteJpegFile(path, *dib, 100, true);
  if (key == "TIF" || key == "TIFF") return WriteTiffFile(path, *dib);
  return WritePngFile(path, *dib);
}

bool ReadImageFileInfo(const std::string& path, ImageFileInfo& info, std::string* error) {
  std::string key = ExtensionKey(path);
  Kind kind = LoadKind(key);
  auto fail = [&](const std::string& text) {
    if (error) *error = text;
    return false;
  };
  if (kind == Kind::None) return fail("no image reader for this extension");
  info = ImageFileInfo{};
  if (kind == Kind::Bmp) {
    BmpError e;
    BmpFileInfo bi;
    if (!DibReadFile(path, &e, &bi)) return fail(BmpErrorText(e));
    info.width = bi.width;
    info.height = bi.height;
    info.bitCount = bi.bitCount;
    info.paletteSize = int(bi.paletteSize);
    info.format = "BMP";
    std::string detail;
    auto add = [&](const char* t) { detail += detail.empty() ? t : std::string(", ") + t; };
    if (bi.compression == 1) add("RLE8");
    if (bi.compression == 2) add("RLE4");
    if (bi.compression == 3) add("bit fields");
    if (bi.topDown) add("top-down");
    if (bi.headerSize == 12) add("core header");
    info.detail = detail;
    return true;
  }
  int transparentIndex = -1;
  auto dib = ReadAsDib(kind, path, &transparentIndex);
  if (!dib) return fail("cannot read the image");
  info.width = dib->width();
  info.height = dib->height();
  info.bitCount = dib->bitCount();
  info.paletteSize = int(dib->numColors());
  info.format = key == "JPG" ? "JPEG" : key == "TIF" ? "TIFF" : key;
  if (transparentIndex >= 0) info.detail = "transparent index " + std::to_string(transparentIndex);
  return true;
}

}  // namespace zr
