#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/raster.h"

namespace zr {

struct ClipboardImage {
  Bitmap bitmap;
  std::vector<RgbQuad> palette;  // empty: no palette format offered
};

}  // namespace zr
