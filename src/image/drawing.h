// Bitmap helpers of composition and the view. The reference device context of the
// platform calls is gone: bitmaps are all in the screen format.
#pragma once

#include <string>

#include "platform/raster.h"

namespace zr {

class CBmp;

// Copies (sx, sy, width x height; -1 = the source's own) of src to (tx, ty) of target with
// a raster operation. With stretch the source from (sx, sy) with its full width and
// height is stretched onto width x height at (tx, ty).
bool BlitBitmap(const Bitmap& src, int sx, int sy, int width, int height, Bitmap& target,
                int tx, int ty, uint32_t rop = SRCCOPY, bool stretch = false);
// Block transfer of the bitmap onto the target, same -1 rules.
bool DrawBitmap(Bitmap& target, const Bitmap& bitmap, int sx, int sy, int width, int height,
                int tx, int ty, uint32_t rop = SRCCOPY);
// Fills the rectangle (exclusive right/bottom) with the colour, outline included.
void FillRectColor(Bitmap& target, const Rect& rect, ColorRef color);
// White outline of (left+1, top+1, right, bottom), then grey (128,128,128) outline of
// (left, top, right-1, bottom-1); all coordinates inclusive.
void DrawSunkenFrame(Bitmap& target, int left, int top, int right, int bottom);
// Mirrors left to right.
void MirrorBitmap(Bitmap& bitmap);
// Returns a copy (the platform's CopyBitmap).
Bitmap CopyBitmap(const Bitmap& bitmap);

}  // namespace zr
