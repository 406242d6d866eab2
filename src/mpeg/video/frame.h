// Picture stores and the per-macroblock record shared by the coding stages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zr::mpeg {

// Planar 4:2:0 picture of whole macroblocks; chroma planes are half size each way.
struct Frame {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> y, cb, cr;
  // May throw std::bad_alloc; the encoder turns that into its failure path.
  void Allocate(int w, int h) {
    width = w;
    height = h;
    y.assign(size_t(w) * h, 0);
    cb.assign(size_t(w / 2) * (h / 2), 128);
    cr.assign(size_t(w / 2) * (h / 2), 128);
  }
  uint8_t* plane(int c) { return c == 0 ? y.data() : (c == 1 ? cb.data() : cr.data()); }
  const uint8_t* plane(int c) const {
    return c == 0 ? y.data() : (c == 1 ? cb.data() : cr.data());
  }
  int stride(int c) const { return c == 0 ? width : width / 2; }
};

struct MacroblockInfo {
  int flags = 0;         // kMbIntra / kMbForward / kMbBackward from motion estimation
  int mvForward[2]{};    // half pixels, relative to the macroblock
  int mvBackward[2]{};
  int decision = 0;      // the squared error or variance that decided the mode
  int mquant = 0;
  int cbp = 0;
  bool skipped = false;
};

}  // namespace zr::mpeg
