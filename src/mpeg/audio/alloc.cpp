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

int ScalefactorIndexRef(const Layer2Tables& tables, double maxMagnitude) {
  for (int i = kScaleFactors - 1; i > 0; --i)
    if (tables.scalefactor[i] >= maxMagnitude) return i;
  return 0;
}

int ScalefactorIndex(const Layer2Tables& tables, double maxMagnitude) {
  // The table falls with the index, so the entries not below the peak are a prefix
  // 0..k and the answer is k (0 when even entry 1 is below it, or the peak is NaN).
  int lo = 1, hi = kScaleFactors;  // entries lo-1.. pass, hi.. fail
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (tables.scalefactor[mid] >= maxMagnitude) lo = mid + 1;
    else hi = mid;
  }
  return lo - 1;
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

int AllocateBitsRef(const Layer2Tables& tables, const AllocTable& table, int channels,
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

namespace {

// Where the greedy allocation stands: one open (channel, subband) at a time gets a step.
struct AllocState {
  const Layer2Tables& tables;
  const AllocTable& table;
  const PerBand& smr;
  const PerBandInt& scfsi;
  PerBandInt& alloc;
  int available;
  int used = 0;

  // The next step of band (ch, sb); false when it does not fit. Returns the band's new
  // ratio through `mnr`, or closes it.
  bool Step(int ch, int sb, double& mnr, bool& closed) {
    const SubbandAlloc& band = table.sb[sb];
    int& a = alloc[ch][sb];
    int next = tables.classes[band.cls[a + 1]].FrameBits();
    int cost = a > 0 ? next - tables.classes[band.cls[a]].FrameBits()
                     : next + 2 + 6 * kScalefactorsSent[scfsi[ch][sb]];
    if (used + cost > available) {
      closed = true;
      return false;
    }
    used += cost;
    ++a;
    mnr = tables.snr[band.cls[a] + 1] - smr[ch][sb];
    closed = a >= band.codes;
    return true;
  }
};

// The smallest ratio of 64 bands, ties to the first in subband-then-channel order, kept
// up to date in six comparisons per change instead of a scan of every band.
class MinTree {
 public:
  static constexpr int kLeaves = 2 * kSubbands;
  // Closed and unrankable bands (NaN, or not below the search's start value) never win.
  void Set(int leaf, double mnr, bool open) {
    key_[leaf] = open && mnr < kUnranked ? mnr : kUnranked;
    int node = (leaf + kLeaves) / 2;
    win_[leaf + kLeaves] = leaf;
    for (; node >= 1; node /= 2) win_[node] = Better(win_[2 * node], win_[2 * node + 1]);
  }
  void Build() {
    for (int leaf = 0; leaf < kLeaves; ++leaf) win_[leaf + kLeaves] = leaf;
    for (int node = kLeaves - 1; node >= 1; --node)
      win_[node] = Better(win_[2 * node], win_[2 * node + 1]);
  }
  void Init(int leaf, double mnr, bool open) {
    key_[leaf] = open && mnr < kUnranked ? mnr : kUnranked;
  }
  // The winning leaf, or -1 when nothing can be ranked.
  int Best() const { return key_[win_[1]] < kUnranked ? win_[1] : -1; }

 private:
  static constexpr double kUnranked = 999999.0;
  int Better(int a, int b) const { return key_[b] < key_[a] ? b : a; }  // a < b always
  double key_[kLeaves]{};
  int win_[2 * kLeaves]{};
};

}  // namespace

int AllocateBits(const Layer2Tables& tables, const AllocTable& table, int channels,
                 int available, const PerBand& smr, const PerBandInt& scfsi, PerBandInt& alloc) {
  MinTree tree;
  for (int ch = 0; ch < 2; ++ch) alloc[ch].fill(0);
  for (int sb = 0; sb < kSubbands; ++sb)
    for (int ch = 0; ch < 2; ++ch) {
      const bool open = ch < channels && sb < table.sblimit;
      tree.Init(2 * sb + ch, tables.snr[0] - smr[ch][sb], open);
    }
  tree.Build();
  AllocState state{tables, table, smr, scfsi, alloc, available};
  for (int leaf; (leaf = tree.Best()) >= 0;) {
    const int sb = leaf / 2, ch = leaf % 2;
    double mnr = 0.0;
    bool closed = false;
    state.Step(ch, sb, mnr, closed);
    tree.Set(leaf, mnr, !closed);
  }
  return state.used;
}

}  // namespace zr::mpeg::audio
