// Motion search of the high-quality mode. Before a picture's rows, a coarse global
// motion estimate on decimated source pictures sets each direction's window and f_code
// (2 to 4); per macroblock an exhaustive search near the zero vector, the global, left
// and last-anchor vectors as candidates, a descent to the local best and the half-pixel
// refinement. Everything depends on the source pictures and earlier search results only,
// never on rate control, and rows stay independent of each other.
#pragma once

#include <memory>
#include <vector>

#include "mpeg/dsp/dsp.h"
#include "mpeg/video/frame.h"
#include "mpeg/video/motion.h"
#include "mpeg/video/params.h"

namespace zr::mpeg {

struct LumaPlane {
  int w = 0, h = 0;
  std::vector<uint8_t> px;
  int at(int x, int y) const { return px[size_t(y) * w + x]; }
};
// A picture's luminance decimated 8x and 4x, made once per picture.
struct Pyramid {
  explicit Pyramid(const Frame& f);
  LumaPlane by8, by4;
};

class HqMotion {
 public:
  void Reset(int mbWidth, int mbHeight);
  // Called for every picture, I pictures included (they move the anchors).
  void Prepare(const MotionInput& in, int displayIndex);
  // Fills the records of rows [rowBegin, rowEnd), modes included.
  void EstimateRows(const dsp::Functions& dsp, const MotionInput& in, int rowBegin,
                    int rowEnd, MacroblockInfo* mbs) const;
  // The f_codes the chosen vectors need; remembers the vectors for the next pictures.
  MotionRecord Finish(const MotionInput& in, const MacroblockInfo* mbs);

  // Search limit in whole pixels of a direction (0 forward, 1 backward) this picture.
  int range(int dir) const { return range_[dir]; }
  int windowFcode(int dir) const { return fcode_[dir]; }

 private:
  struct Direction {
    int gx = 0, gy = 0;  // global vector, whole pixels
  };
  int mbWidth_ = 0, mbHeight_ = 0;
  int olderAnchor_ = 0, newerAnchor_ = 0;
  int distance_[2]{};
  int range_[2]{};
  int fcode_[2]{};
  Direction global_[2];
  std::unique_ptr<Pyramid> anchors_[2];  // older, newer
  const Frame* anchorFrames_[2]{};       // the source stores they were made from
  // The last P picture's forward vectors per picture of distance, in sixteenths of a
  // half pixel: [0] horizontal, [1] vertical.
  std::vector<int> velocity_[2];
  bool haveVelocity_ = false;
};

// Global displacement (whole pixels) that best maps `cur` onto `ref`, searched up to
// `limit` pixels on 8x and then 4x decimated luminance.
void GlobalMotion(const Frame& cur, const Frame& ref, int limit, int& gx, int& gy);
void GlobalMotion(const Pyramid& cur, const Pyramid& ref, int limit, int& gx, int& gy);

}  // namespace zr::mpeg
