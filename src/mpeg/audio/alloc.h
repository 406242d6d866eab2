// Scale factors, their selection information, and the greedy bit allocation on the
// mask-to-noise ratio.
#pragma once

#include <array>

#include "mpeg/audio/tables.h"

namespace zr::mpeg::audio {

// The smallest scale factor not below maxMagnitude (the largest such index; 0 beyond 2.0).
int ScalefactorIndex(const Layer2Tables& tables, double maxMagnitude);
// Its reference twin: the plain scan of the table.
int ScalefactorIndexRef(const Layer2Tables& tables, double maxMagnitude);

// The scfsi of a subband from its three indexes, and the index each part then uses
// (a shared scale factor is the smallest index of the parts sharing it).
struct ScalefactorPlan {
  int scfsi = 0;
  std::array<int, 3> used{};  // index used by part 0, 1, 2
};
ScalefactorPlan PlanScalefactors(const Layer2Tables& tables, const std::array<int, 3>& index);

// Per channel and subband inputs and outputs of the allocation.
using PerBand = std::array<std::array<double, kSubbands>, 2>;
using PerBandInt = std::array<std::array<int, kSubbands>, 2>;

// Bits the frame can spend on scfsi, scale factors and samples.
int AvailableBits(const AllocTable& table, int channels, int frameBits);

// Fills alloc (allocation codes) from the signal-to-mask ratios; returns the bits used,
// never more than available. scfsi is read to price the scale factors of a new subband.
int AllocateBits(const Layer2Tables& tables, const AllocTable& table, int channels,
                 int available, const PerBand& smr, const PerBandInt& scfsi, PerBandInt& alloc);
// Its reference twin: a scan of every band for each step.
int AllocateBitsRef(const Layer2Tables& tables, const AllocTable& table, int channels,
                    int available, const PerBand& smr, const PerBandInt& scfsi, PerBandInt& alloc);

}  // namespace zr::mpeg::audio
