// Builds BMP files byte by byte, in layouts our own writer never produces, so the reader
// can be checked against twins of one picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/raster.h"

namespace zr::test {

struct BmpSpec {
  int width = 0;
  int height = 0;  // rows of the picture
  int bitCount = 24;
  bool topDown = false;
  bool core = false;          // 12-byte header with 3-byte table entries
  uint32_t headerSize = 40;   // 40, 52, 56, 108, 124 (ignored for core)
  uint32_t compression = 0;
  uint32_t clrUsed = 0;
  std::vector<RgbQuad> table;  // written as given
  uint32_t masks[3] = {0, 0, 0};
  size_t gap = 0;              // bytes between table (or masks) and pixels
  std::vector<uint8_t> pixels; // as stored after the gap
};

// Little-endian helpers.
inline void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}
inline void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}
inline void Set32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + size_t(i)] = uint8_t(x >> (8 * i));
}

inline std::vector<uint8_t> BuildBmp(const BmpSpec& s) {
  std::vector<uint8_t> v{'B', 'M'};
  Put32(v, 0);  // file size, set below
  Put32(v, 0);
  Put32(v, 0);  // pixel offset, set below
  if (s.core) {
    Put32(v, 12);
    Put16(v, uint32_t(s.width));
    Put16(v, uint32_t(s.height));
    Put16(v, 1);
    Put16(v, uint32_t(s.bitCount));
    for (const RgbQuad& q : s.table) {
      v.push_back(q.blue);
      v.push_back(q.green);
      v.push_back(q.red);
    }
  } else {
    Put32(v, s.headerSize);
    Put32(v, uint32_t(s.width));
    Put32(v, uint32_t(s.topDown ? -s.height : s.height));
    Put16(v, 1);
    Put16(v, uint32_t(s.bitCount));
    Put32(v, s.compression);
    Put32(v, s.compression == 1 || s.compression == 2 ? uint32_t(s.pixels.size()) : 0);
    Put32(v, 2835);
    Put32(v, 2835);
    Put32(v, s.clrUsed);
    Put32(v, 0);
    if (s.compression == 3) {
      for (uint32_t m : s.masks) Put32(v, m);
    } else if (s.headerSize > 40) {
      for (int i = 0; i < 3; ++i) Put32(v, 0);
    }
    while (v.size() < 14 + size_t(s.headerSize) + (s.compression == 3 && s.headerSize == 40 ? 12 : 0))
      v.push_back(0);
    for (const RgbQuad& q : s.table) {
      v.push_back(q.blue);
      v.push_back(q.green);
      v.push_back(q.red);
      v.push_back(0);
    }
  }
  v.insert(v.end(), s.gap, 0xCD);
  Set32(v, 10, uint32_t(v.size()));
  v.insert(v.end(), s.pixels.begin(), s.pixels.end());
  Set32(v, 2, uint32_t(v.size()));
  return v;
}

inline std::string AsString(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

// Minimal RLE encoders: runs of equal indices, literal runs for the rest, end of line per
// row and end of bitmap. rows: indices top-down, width per row.
inline std::vector<uint8_t> EncodeRle8(const std::vector<std::vector<uint8_t>>& rowsTopDown) {
  std::vector<uint8_t> out;
  for (size_t r = rowsTopDown.size(); r-- > 0;) {
    const auto& row = rowsTopDown[r];
    size_t i = 0;
    while (i < row.size()) {
      size_t run = 1;
      while (i + run < row.size() && row[i + run] == row[i] && run < 255) ++run;
      if (run >= 2 || row.size() - i < 3) {
        out.push_back(uint8_t(run));
        out.push_back(row[i]);
        i += run;
        continue;
      }
      // Literal: at least 3, until a run of 2 starts.
      size_t n = 0;
      while (i + n < row.size() && n < 255 &&
             !(i + n + 1 < row.size() && row[i + n] == row[i + n + 1]))
        ++n;
      if (n < 3) n = std::min<size_t>(3, row.size() - i);
      out.push_back(0);
      out.push_back(uint8_t(n));
      out.insert(out.end(), row.begin() + long(i), row.begin() + long(i + n));
      if (n & 1) out.push_back(0);
      i += n;
    }
    out.push_back(0);
    out.push_back(0);
  }
  out.push_back(0);
  out.push_back(1);
  return out;
}

// RLE4 with runs of one repeated index (both nibbles equal) and literal groups.
inline std::vector<uint8_t> EncodeRle4(const std::vector<std::vector<uint8_t>>& rowsTopDown) {
  std::vector<uint8_t> out;
  for (size_t r = rowsTopDown.size(); r-- > 0;) {
    const auto& row = rowsTopDown[r];
    size_t i = 0;
    while (i < row.size()) {
      size_t run = 1;
      while (i + run < row.size() && row[i + run] == row[i] && run < 255) ++run;
      if (run >= 3 || row.size() - i < 3) {
        out.push_back(uint8_t(run));
        out.push_back(uint8_t((row[i] << 4) | row[i]));
        i += run;
        continue;
      }
      size_t n = std::min<size_t>(row.size() - i, 4);
      if (n < 3) n = row.size() - i;
      out.push_back(0);
      out.push_back(uint8_t(n));
      size_t bytes = (n + 1) / 2;
      for (size_t b = 0; b < bytes; ++b) {
        uint8_t hi = row[i + 2 * b], lo = 2 * b + 1 < n ? row[i + 2 * b + 1] : 0;
        out.push_back(uint8_t((hi << 4) | lo));
      }
      if (bytes & 1) out.push_back(0);
      i += n;
    }
    out.push_back(0);
    out.push_back(0);
  }
  out.push_back(0);
  out.push_back(1);
  return out;
}

}  // namespace zr::test
