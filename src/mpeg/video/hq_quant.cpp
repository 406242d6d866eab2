#include "mpeg/video/hq_quant.h"

#include <cstdlib>

#include "mpeg/video/vlc.h"

namespace zr::mpeg {

namespace {

// The decoder's value of a level, as the reconstruction computes it.
int Reconstruct(bool intra, int level, int w, int mquant) {
  if (level == 0) return 0;
  const int sign = level > 0 ? 1 : -1;
  int v = intra ? level * w * mquant / 16 : (2 * level + sign) * w * mquant / 32;
  if ((v & 1) == 0) v -= sign;
  return v < -2048 ? -2048 : (v > 2047 ? 2047 : v);
}

double Squared(int coef, int rec) {
  const double d = double(coef) - rec;
  return d * d;
}

}  // namespace

int PairBits(int run, int absLevel, bool first) {
  if (first && run == 0 && absLevel == 1) return 2;
  if ((run <= 1 && absLevel <= 40) || (run <= 31 && absLevel <= 5)) {
    const Vlc code = CoefficientCode(run, absLevel);
    if (code.len) return code.len + 1;
  }
  return absLevel > 127 ? 28 : 20;
}

bool RdQuantiseBlock(bool intra, const int16_t* coef, int16_t* levels, const uint8_t* matrix,
                     int mquant, double lambda) {
  const int start = intra ? 1 : 0;
  // Zig-zag indices of the non-zero levels, and each one's run.
  int at[64], run[64], n = 0, last = start - 1;
  for (int i = start; i < 64; ++i)
    if (levels[kZigZag[i]] != 0) {
      at[n] = i;
      run[n] = i - last - 1;
      last = i;
      ++n;
    }
  // `next`: the next remaining pair after j (-1 none); zeroed pairs drop out of the chain.
  int next = -1;
  bool any = false;
  for (int j = n - 1; j >= 0; --j) {
    const int pos = kZigZag[at[j]];
    const int level = levels[pos], a = std::abs(level), sign = level > 0 ? 1 : -1;
    const int w = matrix[pos];
    const bool first = !intra && j == 0;
    const int nextBits = next >= 0 ? PairBits(run[next], std::abs(levels[kZigZag[at[next]]]), false) : 0;
    const double keep = Squared(coef[pos], Reconstruct(intra, level, w, mquant)) +
                        lambda * (PairBits(run[j], a, first) + nextBits);
    double lower;
    if (a > 1) {
      lower = Squared(coef[pos], Reconstruct(intra, level - sign, w, mquant)) +
              lambda * (PairBits(run[j], a - 1, first) + nextBits);
    } else {
      // The next pair absorbs this run; if this was the first pair, the next one becomes it.
      const int merged = next >= 0 ? PairBits(run[j] + 1 + run[next],
                                              std::abs(levels[kZigZag[at[next]]]), first)
                                   : 0;
      lower = Squared(coef[pos], 0) + lambda * merged;
    }
    if (lower < keep) {
      if (a > 1) {
        levels[pos] = int16_t(level - sign);
      } else {
        levels[pos] = 0;
        if (next >= 0) run[next] += run[j] + 1;
        continue;
      }
    }
    next = j;
    any = true;
  }
  return any;
}

}  // namespace zr::mpeg
