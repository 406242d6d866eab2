#include "image/transparent_image.h"

#include "image/cbmp.h"
#include "image/drawing.h"
#include "image/image_dispatch.h"

namespace zr {

void TransparentImage::Clear() {
  image_ = Bitmap();
  mask_ = Bitmap();
  palette_.clear();
}

bool TransparentImage::LoadWithColor(const std::string& path, ColorRef transparentColor,
                                     bool mirror, ImageFailure* failure) {
  Clear();
  CBmp owner;  // receives a GIF's transparency, which the mask supersedes
  Bitmap image;
  Palette palette;
  if (!LoadImageFile(&owner, path, image, palette, failure)) return false;
  if (mirror) MirrorBitmap(image);
  return SetImage(std::move(image), palette, transparentColor);
}

bool TransparentImage::LoadWithPixelColor(const std::string& path, int x, int y, bool mirror,
                                          ImageFailure* failure) {
  Clear();
  CBmp owner;
  Bitmap image;
  Palette palette;
  if (!LoadImageFile(&owner, path, image, palette, failure)) return false;
  if (mirror) MirrorBitmap(image);
  ColorRef c = GetPixel(image, x, y);
  if (c == kInvalidColor) {
    if (failure)
      failure->detail = "the transparent colour's pixel (" + std::to_string(x) + ", " +
                        std::to_string(y) + ") lies outside the image";
    return false;
  }
  return SetImage(std::move(image), palette, c);
}

bool TransparentImage::SetImage(Bitmap image, const Palette& palette, ColorRef transparentColor) {
  Clear();
  if (image.empty()) return false;
  image_ = std::move(image);
  palette_ = palette;
  return BuildMask(transparentColor);
}

bool TransparentImage::BuildMask(ColorRef c) {
  const Pixel key = PixelFromColorRef(c);
  mask_ = Bitmap(image_.width, image_.height);
  for (size_t i = 0; i < image_.pixels.size(); ++i) {
    bool transparent = (image_.pixels[i] & 0x00FFFFFF) == key;
    mask_.pixels[i] = transparent ? 0x00FFFFFF : 0;
    if (transparent) image_.pixels[i] = 0;
  }
  return true;
}

bool TransparentImage::DrawInto(Bitmap& target, int tx, int ty, int sx, int sy, int width,
                                int height) const {
  if (mask_.empty()) return false;
  if (!BlitBitmap(mask_, sx, sy, width, height, target, tx, ty, SRCAND)) return false;
  return BlitBitmap(image_, sx, sy, width, height, target, tx, ty, SRCINVERT);
}

}  // namespace zr
