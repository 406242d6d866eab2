#include "mpeg/video/hq_quant.h"

#include <cstdlib>

#include "mpeg/video/vlc.h"

namespace zr::mpeg {

namespace {

double Squared(int coef, int rec) {
  const double d = double(coef) - rec;
  return d * d;
}

}  // namespace

PairBitsTable::PairBitsTable() {
  for (int run = 0; run < 32; ++run)
    for (int a = 0; a < 41; ++a) {
      const Vlc code = a ? CoefficientCode(run, a) : Vlc{};
      const bool listed = (run <= 1 && a <= 40) || (run <= 31 && a <= 5);
      bits[run][a] = uint8_t(listed && code.len ? code.len + 1 : 0);
    }
}

ScanPositions::ScanPositions() {
  for (int i = 0; i < 64; ++i) ofNatural[kZigZag[i]] = uint8_t(i);
}

const ScanPositions& ScanPositionsOf() {
  static const ScanPositions positions;
  return positions;
}

const PairBitsTable& PairBitsOf() {
  static const PairBitsTable table;
  return table;
}

bool RdQuantiseBlock(bool intra, const int16_t* coef, int16_t* levels, const uint8_t* matrix,
                     int mquant, double lambda) {
  const PairBitsTable& t = PairBitsOf();
  const int start = intra ? 1 : 0;
  // Zig-zag indices of the non-zero levels, and each one's run.
  int at[64], run[64], n = 0, last = start - 1;
  for (uint64_t mask = ScanMask(levels) >> start << start; mask; mask &= mask - 1) {
    const int i = __builtin_ctzll(mask);
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
    const int nextBits = next >= 0 ? PairBits(t, run[next], std::abs(levels[kZigZag[at[next]]]), false) : 0;
    const double keep = Squared(coef[pos], LevelValue(intra, level, w, mquant)) +
                        lambda * (PairBits(t, run[j], a, first) + nextBits);
    double lower;
    if (a > 1) {
      lower = Squared(coef[pos], LevelValue(intra, level - sign, w, mquant)) +
              lambda * (PairBits(t, run[j], a - 1, first) + nextBits);
    } else {
      // The next pair absorbs this run; if this was the first pair, the next one becomes it.
      const int merged = next >= 0 ? PairBits(t, run[j] + 1 + run[next],
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
