// Stand-in for the graphics device interface: the screen format is 32-bit BGRX, so every
// screen-compatible bitmap is true colour.
#pragma once

#include <cstdint>
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

}  // namespace zr
