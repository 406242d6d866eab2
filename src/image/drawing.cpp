#include "image/drawing.h"

namespace zr {

bool BlitBitmap(const Bitmap& src, int sx, int sy, int width, int height, Bitmap& target,
                int tx, int ty, uint32_t rop, bool stretch) {
  if (src.empty() || target.empty()) return false;
  if (width == -1) width = src.width;
  if (height == -1) height = src.height;
  if (stretch)
    return StretchBlt(target, tx, ty, width, height, src, sx, sy, src.width, src.height, rop);
  return BitBlt(target, tx, ty, width, height, src, sx, sy, rop);
}

bool DrawBitmap(Bitmap& target, const Bitmap& bitmap, int sx, int sy, int width, int height,
                int tx, int ty, uint32_t rop) {
  return BlitBitmap(bitmap, sx, sy, width, height, target, tx, ty, rop, false);
}

void FillRectColor(Bitmap& target, const Rect& rect, ColorRef color) {
  FillRect(target, rect, color);
}

void DrawSunkenFrame(Bitmap& target, int left, int top, int right, int bottom) {
  FrameRect(target, {left + 1, top + 1, right + 1, bottom + 1}, Rgb(255, 255, 255));
  FrameRect(target, {left, top, right, bottom}, Rgb(128, 128, 128));
}

void MirrorBitmap(Bitmap& bitmap) {
  for (int y = 0; y < bitmap.height; ++y) {
    Pixel* row = bitmap.row(y);
    for (int a = 0, b = bitmap.width - 1; a < b; ++a, --b) std::swap(row[a], row[b]);
  }
}

Bitmap CopyBitmap(const Bitmap& bitmap) { return bitmap; }

}  // namespace zr
