#include "mpeg/syntax.h"

#include "mpeg/audio/tables.h"

namespace zr::mpeg {

int Layer2BitRate(unsigned bitrateIndex) {
  const audio::Layer2Tables* tables = audio::BuiltInTables();
  if (!tables || bitrateIndex < 1 || bitrateIndex > 14) return 0;
  return tables->bitrates[bitrateIndex];
}

int Layer2BitRateIndex(int kbps) {
  for (unsigned i = 1; i <= 14; ++i)
    if (Layer2BitRate(i) == kbps) return int(i);
  return 0;
}

}  // namespace zr::mpeg
