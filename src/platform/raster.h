// Stand-in for the graphics device interface: the screen format is 32-bit BGRX, so every
// screen-compatible bitmap is true colour.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zr {

// 0x00BBGGRR, as colour references are stored everywhere else in the program.
using ColorRef = uint32_t;
constexpr ColorRef Rgb(uint8_t r, uint8_t g, uint8_t b) {
  return uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16);
}
constexpr uint8_t GetR(ColorRef c) { return uint8_t(c); }
constexpr uint8_t GetG(ColorRef c) { return uint8_t(c >> 8); }
constexpr uint8_t GetB(ColorRef c) { return uint8_t(c >> 16); }

// A colour-table entry as stored in DIBs: blue, green, red, reserved.
struct RgbQuad {
  uint8_t blue = 0, green = 0, red = 0, reserved = 0;
  bool operator==(const RgbQuad&) const = default;
};

// Screen-format pixel: bytes B, G, R, X in memory, i.e. 0xXXRRGGBB as a little-endian word.
using Pixel = uint32_t;
constexpr Pixel PixelFromColorRef(ColorRef c) {
  return (uint32_t(GetR(c)) << 16) | (uint32_t(GetG(c)) << 8) | GetB(c);
}
constexpr ColorRef ColorRefFromPixel(Pixel p) {
  return Rgb(uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p));
}

// A screen-compatible bitmap: rows top-down, no padding.
struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<Pixel> pixels;

  Bitmap() = default;
  Bitmap(int w, int h, Pixel fill = 0) : width(w), height(h), pixels(size_t(w) * size_t(h), fill) {}
  bool empty() const { return width <= 0 || height <= 0; }
  Pixel* row(int y) { return pixels.data() + size_t(y) * size_t(width); }
  const Pixel* row(int y) const { return pixels.data() + size_t(y) * size_t(width); }
  Pixel& at(int x, int y) { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
  Pixel at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// A logical palette: entries as in a DIB colour table. Empty means "no palette".
using Palette = std::vector<RgbQuad>;

// Rectangle with exclusive right and bottom, as the platform's RECT.
struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool empty() const { return right <= left || bottom <= top; }
  bool operator==(const Rect&) const = default;
};

// Raster operations by the platform's codes: the result of combining source S and
// destination D bit by bit. Only the operations named here are implemented.
enum Rop : uint32_t {
  SRCCOPY = 0x00CC0020,      // S
  SRCPAINT = 0x00EE0086,     // S | D
  SRCAND = 0x008800C6,       // S & D
  SRCINVERT = 0x00660046,    // S ^ D
  SRCERASE = 0x00440328,     // S & ~D
  NOTSRCCOPY = 0x00330008,   // ~S
  NOTSRCERASE = 0x001100A6,  // ~(S | D)
  MERGEPAINT = 0x00BB0226,   // ~S | D
  DSTINVERT = 0x00550009,    // ~D
  BLACKNESS = 0x00000042,    // 0
  WHITENESS = 0x00FF0062,    // 1
};
bool IsSupportedRop(uint32_t rop);

// A monochrome bitmap (1 bit per pixel, one byte per pixel here: 0 or 1).
struct MonoBitmap {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bits;
  MonoBitmap() = default;
  MonoBitmap(int w, int h) : width(w), height(h), bits(size_t(w) * size_t(h), 0) {}
  bool empty() const { return width <= 0 || height <= 0; }
  uint8_t at(int x, int y) const { return bits[size_t(y) * size_t(width) + size_t(x)]; }
  uint8_t& at(int x, int y) { return bits[size_t(y) * size_t(width) + size_t(x)]; }
};

// Colour -> monochrome as the platform converts on a blit: a bit is 1 exactly where the
// source pixel equals the source context's background colour.
MonoBitmap MonoFromBitmap(const Bitmap& src, ColorRef background);
// Monochrome -> colour as the platform converts on a blit: 1 bits become the target's
// background colour, 0 bits its text colour.
Bitmap BitmapFromMono(const MonoBitmap& mono, ColorRef textColor, ColorRef backgroundColor);

// Block transfer of w x h from (sx, sy) of src to (dx, dy) of dst with a raster operation.
// The rectangle is clipped to both bitmaps; pixels outside either are left alone.
// Returns false for an empty source or target, or an unsupported raster operation.
bool BitBlt(Bitmap& dst, int dx, int dy, int w, int h, const Bitmap& src, int sx, int sy,
            uint32_t rop);
// Monochrome source, converted with the target's text and background colours first.
bool BitBlt(Bitmap& dst, int dx, int dy, int w, int h, const MonoBitmap& src, int sx, int sy,
            uint32_t rop, ColorRef textColor, ColorRef backgroundColor);
// Colour source onto a monochrome target (bits = pixel equals srcBackground).
bool BitBlt(MonoBitmap& dst, int dx, int dy, int w, int h, const Bitmap& src, int sx, int sy,
            ColorRef srcBackground);

enum class StretchMode {
  ColorOnColor,  // nearest source pixel
  Halftone,      // average of the covered source pixels (better when shrinking)
};
// Stretches the source rectangle (sx, sy, sw, sh) onto (dx, dy, dw, dh). A negative
// destination width or height mirrors. Clipped to the target.
bool StretchBlt(Bitmap& dst, int dx, int dy, int dw, int dh, const Bitmap& src, int sx, int sy,
                int sw, int sh, uint32_t rop, StretchMode mode = StretchMode::ColorOnColor);
bool StretchBlt(Bitmap& dst, int dx, int dy, int dw, int dh, const MonoBitmap& src, int sx, int sy,
                int sw, int sh, uint32_t rop, ColorRef textColor, ColorRef backgroundColor);

// Pixel access in colour references; out-of-range reads give kInvalidColor and writes
// are ignored.
constexpr ColorRef kInvalidColor = 0xFFFFFFFF;
ColorRef GetPixel(const Bitmap& bmp, int x, int y);
void SetPixel(Bitmap& bmp, int x, int y, ColorRef color);

// Solid fill of the rectangle (clipped).
void FillRect(Bitmap& bmp, const Rect& rect, ColorRef color);
// 1-pixel outline of the rectangle (its outermost rows and columns).
void FrameRect(Bitmap& bmp, const Rect& rect, ColorRef color);

struct Pen {
  ColorRef color = 0;
  int width = 1;  // pixels; the stroke is centred on the line
};
// Line from (x0, y0) to (x1, y1), the last point excluded as the platform draws it.
void DrawLine(Bitmap& bmp, int x0, int y0, int x1, int y1, const Pen& pen);
// Rectangle as the platform draws it: the interior filled with the brush (when given),
// outlined with the pen along the rectangle's outermost pixels.
void DrawRectangle(Bitmap& bmp, const Rect& rect, const Pen& pen, std::optional<ColorRef> brush);

// A fixed 256-entry palette (6x6x6 colour cube, grey ramp, the 16 basic colours) used
// whenever true colour must become 8 bits without a palette of the image's own.
const Palette& DefaultPalette256();
// Index of the palette entry nearest to the colour (squared RGB distance).
int NearestPaletteIndex(const Palette& palette, ColorRef color);

}  // namespace zr
