#include "image/cbmp.h"

#include "image/image_dispatch.h"
#include "platform/host.h"

namespace zr {

namespace {

constexpr ColorRef kWhite = 0xFFFFFF;
constexpr ColorRef kBlack = 0;

}  // namespace

bool CBmp::Load(const std::string& path, ImageFailure* failure) {
  Clear();
  return LoadImageFile(this, path, bitmap_, palette_, failure);
}

bool CBmp::Save(const std::string& path, ImageFailure* failure) const {
  return SaveImageFile(path, bitmap_, palette_, failure);
}

bool CBmp::GetSize(int& width, int& height) const {
  if (bitmap_.empty()) return false;
  width = bitmap_.width;
  height = bitmap_.height;
  return true;
}

bool CBmp::Draw(Bitmap& target, int sx, int sy, int width, int height, int dx, int dy,
                bool stretch, bool /*realizePalette*/) {
  if (bitmap_.empty() || target.empty()) return false;
  if (width == -1) width = bitmap_.width;
  if (height == -1) height = bitmap_.height;
  if (!transparent_) {
    if (stretch)
      return StretchBlt(target, dx, dy, width, height, bitmap_, 0, 0, bitmap_.width,
                        bitmap_.height, SRCCOPY);
    return BitBlt(target, dx, dy, width, height, bitmap_, sx, sy, SRCCOPY);
  }
  // The mask is made from the colour in force at the first transparent draw and kept
  // until Clear or CopyRect, even when the colour changes meanwhile.
  if (!mask_) mask_ = MonoFromBitmap(bitmap_, transparentColor_);
  // Mask bits convert with the target's colours, white background and black text: 1
  // (transparent) becomes white, keeping the target through AND; 0 becomes black.
  const MonoBitmap& mask = *mask_;
  if (stretch) {
    int w = bitmap_.width, h = bitmap_.height;
    return StretchBlt(target, dx, dy, width, height, bitmap_, 0, 0, w, h, SRCINVERT) &&
           StretchBlt(target, dx, dy, width, height, mask, 0, 0, w, h, SRCAND, kBlack, kWhite) &&
           StretchBlt(target, dx, dy, width, height, bitmap_, 0, 0, w, h, SRCINVERT);
  }
  return BitBlt(target, dx, dy, width, height, bitmap_, sx, sy, SRCINVERT) &&
         BitBlt(target, dx, dy, width, height, mask, sx, sy, SRCAND, kBlack, kWhite) &&
         BitBlt(target, dx, dy, width, height, bitmap_, sx, sy, SRCINVERT);
}

bool CBmp::CopyRect(const CBmp& src, CBmp& dst, int dx, int dy, int sx, int sy, int width,
                    int height) {
  if (src.bitmap_.empty() || dst.bitmap_.empty()) return false;
  if (width == -1) width = src.bitmap_.width;
  if (height == -1) height = src.bitmap_.height;
  if (!BitBlt(dst.bitmap_, dx, dy, width, height, src.bitmap_, sx, sy, SRCCOPY)) return false;
  dst.mask_.reset();
  dst.transparent_ = src.transparent_;
  return true;
}

void CBmp::Clear() {
  bitmap_ = Bitmap();
  palette_.clear();
  mask_.reset();
}

void CBmp::SetBitmap(Bitmap bitmap) {
  bitmap_ = std::move(bitmap);
  mask_.reset();
}

bool CBmp::CopyToClipboard(Host& host) const {
  if (bitmap_.empty()) return false;
  ClipboardImage image;
  image.bitmap = bitmap_;
  image.palette = palette_;  // empty: only the bitmap format is offered
  return host.SetClipboardImage(image);
}

bool CBmp::PasteFromClipboard(Host& host) {
  auto image = host.GetClipboardImage();
  if (!image) return false;
  if (!image->palette.empty()) palette_ = image->palette;
  if (image->bitmap.empty()) return false;
  bitmap_ = std::move(image->bitmap);
  // A mask made from the previous picture would cut the new one wrongly.
  mask_.reset();
  return true;
}

}  // namespace zr
