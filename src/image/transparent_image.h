// The logo prepared for transparent drawing: the image with its transparent colour turned
// black, and a mask of the image's own format, white where the transparent colour was and
// black elsewhere. Drawn as AND with the mask, then XOR with the image.
#pragma once

#include <string>

#include "platform/raster.h"

namespace zr {

struct ImageFailure;

class TransparentImage {
 public:
  // Loads path (image dispatch) and builds the mask for colour c; failure says why not.
  bool LoadWithColor(const std::string& path, ColorRef transparentColor, bool mirror = false,
                     ImageFailure* failure = nullptr);
  // As LoadWithColor, the transparent colour being the image's pixel at (x, y).
  bool LoadWithPixelColor(const std::string& path, int x = 0, int y = 0, bool mirror = false,
                          ImageFailure* failure = nullptr);
  // The same from a bitmap already in memory.
  bool SetImage(Bitmap image, const Palette& palette, ColorRef transparentColor);
  // Draws at (tx, ty) of target from (sx, sy, width x height; -1 = full size); clipped.
  bool DrawInto(Bitmap& target, int tx, int ty, int sx = 0, int sy = 0, int width = -1,
                int height = -1) const;
  void Clear();

  bool empty() const { return mask_.empty(); }
  const Bitmap& image() const { return image_; }
  const Bitmap& mask() const { return mask_; }
  const Palette& palette() const { return palette_; }

 private:
  bool BuildMask(ColorRef transparentColor);
  Bitmap image_;
  Bitmap mask_;
  Palette palette_;
};

}  // namespace zr
