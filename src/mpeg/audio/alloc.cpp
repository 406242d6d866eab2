#include "mpeg/audio/alloc.h"

#include <algorithm>

namespace zr::mpeg::audio {

namespace {

int DifferenceClass(int d) {
  if (d <= -3) return 0;
  if (d < 0) return 1;
  if (d == 0) return 2;
  if (d < 3) return 3;
  return 4;
}

}  // namespace

int ScalefactorIndex(const Layer2Tables& tables, double maxMagnitude) {
  for (int i = kScaleFactors - 1; i > 0; --i)
    if (tables.scalefactor[i] >= maxMagnitude) return i;
  return 0;
}

ScalefactorPlan PlanScalefactors(const Layer2Tables& tables, const std::array<int, 3>& index) {
  const ScfsiChoice& choice =
      tables.scfsi[DifferenceClass(index[0] - index[1])][DifferenceClass(index[1] - index[2])];
  int smallest = std::min({index[0], index[1], index[2]});
  ScalefactorPlan plan;
  plan.scfsi = choice.scfsi;
  for (int p = 0; p < 3; ++p)
    plan.used[p] = choice.source[p] == 4 ? smallest : index[choice.source[p] - 1];
  return plan;
}

int AvailableBits(const AllocTable& table, int channels, int frameBits) {
  int allocBits = 0;
  for (int sb = 0; sb < table.sblimit; ++sb) allocBits += table.sb[sb].nbal;
  return frameBits - allocBits * channels - 32;
}

int AllocateBits(const Layer2Tables& tables, const AllocTable& table, int channels,
                 int available, const PerBand& smr, const PerBandInt& scfsi, PerBandInt& alloc) {
  PerBand mnr{};
  std::array<std::array<bool, kSubbands>, 2> closed{};
  for (int ch = 0; ch < 2; ++ch) {
    alloc[ch].fill(0);
    for (int sb = 0; sb < kSubbands; ++sb) {
      mnr[ch][sb] = tables.snr[0] - smr[ch][sb];
      closed[ch][sb] = ch >= channels || sb >= table.sblimit;
    }
  }
  int used = 0;
  for (;;) {
    double smallest = 999999.0;
    int bestSb = -1, bestCh = -1;
    for (int sb = 0; sb < table.sblimit; ++sb)
      for (int ch = 0; ch < channels; ++ch)
        if (!closed[ch][sb] && mnr[ch][sb] < smallest) {
          smallest = mnr[ch][sb];
          bestSb = sb;
          bestCh = ch;
        }
    // Nothing open (or only ratios the search cannot rank): done.
    if (bestSb < 0) break;
    const SubbandAlloc& band = table.sb[bestSb];
    int& a = alloc[bestCh][bestSb];
    int next = tables.classes[band.cls[a + 1]].FrameBits();
    int cost = a > 0 ? next - tables.classes[band.cls[a]].FrameBits()
                     : next + 2 + 6 * kScalefactorsSent[scfsi[bestCh][bestSb]];
    if (used + cost <= available) {
      used += cost;
      ++a;
      mnr[bestCh][bestSb] = tables.snr[band.cls[a] + 1] - smr[bestCh][bestSb];
      if (a >= band.codes) closed[bestCh][bestSb] = true;
    } else {
      closed[bestCh][bestSb] = true;
    }
  }
  return used;
}

}  // namespace zr::mpeg::audio
