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

// The JPEG reader's faults are the ones the user is shown in a box.
void JpegLoadMessage(const JpegFault& fault, const std::string& path, ImageFailure& failure) {
  switch (fault.error) {
    case JpegError::CannotOpen: failure.message = "JPEG :\nCan't open " + path + "\n"; break;
    case JpegError::TooLarge:
    case JpegError::OutOfMemory: failure.message = "JPG out of memory"; break;
    case JpegError::Library:
      failure.message = fault.note;
      failure.caption = "JPG Fatal Error";
      break;
    case JpegError::None: break;
  }
}

std::string CannotOpen(const char* format) {
  return FaultDetail(format, "cannot open the file", -1, std::nullopt, {});
}

// Reads the file as the PackedDib its reader makes; transparentIndex for GIF. On failure
// `failure` says why.
std::optional<PackedDib> ReadAsDib(Kind kind, const std::string& path, int* transparentIndex,
                                   ImageFailure& failure) {
  std::string bytes;
  std::optional<PackedDib> dib;
  switch (kind) {
    case Kind::Bmp: {
      BmpError e = BmpError::None;
      dib = DibReadFile(path, &e);
      if (!dib) failure.detail = std::string("BMP: ") + BmpErrorText(e);
      return dib;
    }
    case Kind::Pcx:
    case Kind::PcxResource: {
      PcxFault fault;
      if (kind == Kind::PcxResource) {
        dib = ReadPcxResource(path, &fault);
      } else {
        if (!ReadBytes(path, bytes)) {
          failure.detail = CannotOpen("PCX");
          return std::nullopt;
        }
        dib = ReadPcx(AsSpan(bytes), kMaxImagePixels, &fault);
      }
      if (!dib) failure.detail = FaultDetail("PCX", fault, PcxErrorText);
      return dib;
    }
    case Kind::B4:
    case Kind::B8:
      dib = FindBitmapResource(path);
      if (!dib) failure.detail = "no built-in bitmap named " + path;
      return dib;
    case Kind::Tiff: {
      TiffFault fault;
      dib = ReadTiffFile(path, &fault);
      if (!dib) failure.detail = FaultDetail("TIFF", fault, TiffErrorText);
      return dib;
    }
    case Kind::Tga: {
      if (!ReadBytes(path, bytes)) {
        failure.detail = CannotOpen("TGA");
        return std::nullopt;
      }
      TgaFault fault;
      dib = ReadTga(AsSpan(bytes), kMaxImagePixels, &fault);
      if (!dib) failure.detail = FaultDetail("TGA", fault, TgaErrorText);
      return dib;
    }
    case Kind::Jpeg: {
      JpegFault fault;
      dib = ReadJpegFile(path, &fault);
      if (!dib) {
        JpegLoadMessage(fault, path, failure);
        failure.detail = FaultDetail("JPEG", fault, JpegErrorText);
      }
      return dib;
    }
    case Kind::Gif: {
      if (!ReadBytes(path, bytes)) {
        failure.detail = CannotOpen("GIF");
        return std::nullopt;
      }
      GifFault fault;
      dib = ReadGif(AsSpan(bytes), transparentIndex, kMaxImagePixels, &fault);
      if (!dib) failure.detail = FaultDetail("GIF", fault, GifErrorText);
      return dib;
    }
    case Kind::Png: {
      // The reader's own text is not shown: the precise fault goes to the details.
      PngFault fault;
      dib = ReadPngFile(path, nullptr, &fault);
      if (!dib) failure.detail = FaultDetail("PNG", fault, PngErrorText);
      return dib;
    }
    case Kind::None: break;
  }
  failure.detail = "no image reader for ." + PathExtension(path) + " files";
  return std::nullopt;
}

}  // namespace

bool CanLoadImageKey(const std::string& key) { return LoadKind(key) != Kind::None; }

bool CanSaveImageKey(const std::string& key) {
  return key == "BMP" || key == "PCX" || key == "JPG" || key == "JPEG" || key == "TIF" ||
         key == "TIFF" || key == "PNG";
}

bool LoadImageFile(CBmp* owner, const std::string& path, Bitmap& bitmap, Palette& palette,
                   ImageFailure* failure) {
  ImageFailure unused;
  ImageFailure& why = failure ? *failure : unused;
  why = ImageFailure{};
  Kind kind = LoadKind(ExtensionKey(path));
  int transparentIndex = -1;
  auto dib = ReadAsDib(kind, path, &transparentIndex, why);
  if (!dib) return false;
  Palette pal = DibCreatePalette(*dib);
  auto bmp = DibCreateBitmap(*dib, &pal);
  if (!bmp) {
    why.detail = "the image cannot be converted to the screen format";
    return false;
  }
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

bool SaveImageFile(const std::string& path, const Bitmap& bitmap, const Palette& palette,
                   ImageFailure* failure) {
  ImageFailure unused;
  ImageFailure& why = failure ? *failure : unused;
  why = ImageFailure{};
  auto fail = [&](std::string detail) {
    why.detail = std::move(detail);
    return false;
  };
  if (bitmap.empty()) return fail("no image to save");
  std::string key = ExtensionKey(path);
  if (!CanSaveImageKey(key)) return fail("no image writer for ." + PathExtension(path) + " files");
  if (key == "BMP")
    return SaveBmpFile(path, bitmap, palette, &why.error) || fail("BMP: cannot write the file");
  auto dib = DibFromBitmap(bitmap, &palette);
  if (!dib) return fail("the image cannot be read back from the screen format");
  if (key == "PCX")
    return WritePcxFile(path, *dib, &why.error) || fail("PCX: cannot write the file");
  if (key == "TIF" || key == "TIFF")
    return WriteTiffFile(path, *dib, &why.error) || fail("TIFF: cannot write the file");
  if (key == "PNG")
    return WritePngFile(path, *dib, &why.error) || fail("PNG: cannot write the file");
  JpegFault fault;
  if (WriteJpegFile(path, *dib, 100, true, &fault, &why.error)) return true;
  switch (fault.error) {
    case JpegError::OutOfMemory: why.message = "Memory error"; break;
    case JpegError::CannotOpen: why.message = "Can't open " + path + "\n"; break;
    case JpegError::Library:
      why.message = fault.note;
      why.caption = "JPG Fatal Error";
      break;
    default: break;
  }
  if (fault.error == JpegError::None) return fail("JPEG: unsupported image layout");
  if (fault.error == JpegError::CannotOpen) return fail("JPEG: cannot write the file");
  return fail(FaultDetail("JPEG", fault, JpegErrorText));
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
  ImageFailure why;
  auto dib = ReadAsDib(kind, path, &transparentIndex, why);
  if (!dib) return fail(why.detail);
  info.width = dib->width();
  info.height = dib->height();
  info.bitCount = dib->bitCount();
  info.paletteSize = int(dib->numColors());
  info.format = key == "JPG" ? "JPEG" : key == "TIF" ? "TIFF" : key;
  if (transparentIndex >= 0) info.detail = "transparent index " + std::to_string(transparentIndex);
  return true;
}

}  // namespace zr
