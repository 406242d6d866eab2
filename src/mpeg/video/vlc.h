// Variable-length codes of the video syntax. Codes are kept as bit strings in the source
// (easy to check by eye against the published tables) and turned into (value, length)
// pairs once.
#pragma once

#include <cstdint>

namespace zr::mpeg {

struct Vlc {
  uint32_t bits = 0;  // right-aligned
  int len = 0;        // 0: no code
};

// Macroblock type flags, as the standard's macroblock_type bits.
enum MbFlags : int {
  kMbIntra = 1,
  kMbPattern = 2,
  kMbBackward = 4,
  kMbForward = 8,
  kMbQuant = 16,
};

enum PictureType { kPictureI = 1, kPictureP = 2, kPictureB = 3 };

Vlc AddressIncrementCode(int increment);  // 1..33
Vlc MacroblockTypeCode(int pictureType, int flags);
Vlc CodedBlockPatternCode(int cbp);  // 1..63
Vlc MotionCode(int magnitude);       // 0..16, sign bit not included
Vlc DcSizeCode(bool luminance, int size);  // 0..8
// Run/level pair without the sign bit; len 0 when the pair must be escaped.
Vlc CoefficientCode(int run, int absLevel);

constexpr Vlc kMacroblockEscape{0x008, 11};
constexpr Vlc kEndOfBlock{0x2, 2};
constexpr Vlc kCoefficientEscape{0x01, 6};

// Zig-zag scan: kZigZag[i] is the natural-order index of the i-th coefficient sent.
extern const uint8_t kZigZag[64];
extern const uint8_t kDefaultIntraMatrix[64];

}  // namespace zr::mpeg
