#include "mpeg/audio/quantise.h"

#include <algorithm>

namespace zr::mpeg::audio {

int QuantiseSample(const QuantClass& cls, double x) {
  // q = A x + B in -1..1 as a fraction of msbBits bits, two's complement with the sign bit
  // inverted: non-negative q gives 1xxx, negative q gives 0xxx from q + 1.
  const double half = double(1 << (cls.msbBits - 1));
  double q = std::clamp(cls.a * x + cls.b, -1.0, 1.0);
  int code = q >= 0.0 ? int(q * half) + (1 << (cls.msbBits - 1)) : int((q + 1.0) * half);
  // x = 1 exactly (a sample equal to its scale factor) would give the forbidden code
  // `steps`; an overflowing sample could go further. Keep every code legal.
  return std::clamp(code, 0, cls.steps - 1);
}

}  // namespace zr::mpeg::audio
