// Walks a system stream sector by sector, independently of the multiplexer's own code,
// so tests can check layout, clocks and stamps of what was actually written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zr::test {

struct PsPacket {
  size_t offset = 0;      // of the pack header
  size_t sectorSize = 0;  // pack + system header + packet
  uint64_t scr = 0;
  uint32_t muxRate = 0;
  bool systemHeader = false;
  uint32_t rateBound = 0;
  int streamId = 0;
  bool hasPts = false, hasDts = false, hasStd = false;
  uint64_t pts = 0, dts = 0;
  size_t headerSize = 0;  // packet header bytes (start code to payload)
  std::string payload;
};

struct PsWalk {
  std::vector<PsPacket> packets;
  bool endCode = false;   // the stream ends with 00 00 01 B9 right after the last packet
  std::string error;      // empty when the layout parsed
};

inline uint64_t ReadStamp(const uint8_t* p) {
  return (uint64_t((p[0] >> 1) & 7) << 30) | (uint64_t(p[1]) << 22) |
         (uint64_t(p[2] >> 1) << 15) | (uint64_t(p[3]) << 7) | (p[4] >> 1);
}

inline PsWalk WalkProgramStream(const std::string& bytes) {
  PsWalk w;
  const auto* d = reinterpret_cast<const uint8_t*>(bytes.data());
  size_t n = bytes.size(), at = 0;
  auto code = [&](size_t p, uint8_t id) {
    return p + 4 <= n && d[p] == 0 && d[p + 1] == 0 && d[p + 2] == 1 && d[p + 3] == id;
  };
  while (at < n) {
    if (code(at, 0xB9) && at + 4 == n) {
      w.endCode = true;
      return w;
    }
    PsPacket pk;
    pk.offset = at;
    if (!code(at, 0xBA) || at + 12 > n) {
      w.error = "no pack header at " + std::to_string(at);
      return w;
    }
    if ((d[at + 4] & 0xF1) != 0x21) {
      w.error = "bad SCR marker bits at " + std::to_string(at);
      return w;
    }
    pk.scr = ReadStamp(d + at + 4);
    pk.muxRate = ((d[at + 9] & 0x7F) << 15) | (d[at + 10] << 7) | (d[at + 11] >> 1);
    size_t p = at + 12;
    if (code(p, 0xBB)) {
      pk.systemHeader = true;
      size_t len = (d[p + 4] << 8) | d[p + 5];
      pk.rateBound = ((d[p + 6] & 0x7F) << 15) | (d[p + 7] << 7) | (d[p + 8] >> 1);
      p += 6 + len;
    }
    if (p + 6 > n || d[p] != 0 || d[p + 1] != 0 || d[p + 2] != 1) {
      w.error = "no packet at " + std::to_string(p);
      return w;
    }
    pk.streamId = d[p + 3];
    size_t length = (d[p + 4] << 8) | d[p + 5];
    size_t end = p + 6 + length;
    if (end > n) {
      w.error = "packet runs past the end at " + std::to_string(p);
      return w;
    }
    size_t q = p + 6;
    if (pk.streamId != 0xBE) {
      while (q < end && d[q] == 0xFF) ++q;
      if (q < end && (d[q] & 0xC0) == 0x40) {
        pk.hasStd = true;
        q += 2;
      }
      if (q < end && (d[q] & 0xF0) == 0x20) {
        pk.hasPts = true, pk.pts = ReadStamp(d + q), q += 5;
      } else if (q < end && (d[q] & 0xF0) == 0x30) {
        pk.hasPts = pk.hasDts = true;
        pk.pts = ReadStamp(d + q), pk.dts = ReadStamp(d + q + 5), q += 10;
      } else if (q < end && d[q] == 0x0F) {
        ++q;
      } else {
        w.error = "bad packet header at " + std::to_string(p);
        return w;
      }
      pk.headerSize = q - p;
      pk.payload.assign(bytes, q, end - q);
    }
    pk.sectorSize = end - at;
    w.packets.push_back(std::move(pk));
    at = end;
  }
  return w;
}

}  // namespace zr::test
