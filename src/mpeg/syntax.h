// Codes and tables of the MPEG-1 syntax shared by the video encoder, the audio encoder and
// the multiplexer, so a writer and the reader that checks it cannot drift apart.
#pragma once

#include <cstdint>

namespace zr::mpeg {

// Start codes: the byte after the 00 00 01 prefix.
inline constexpr uint8_t kPictureStartCode = 0x00;
inline constexpr uint8_t kSliceStartCodeFirst = 0x01;  // + macroblock row
inline constexpr uint8_t kUserDataStartCode = 0xB2;
inline constexpr uint8_t kSequenceHeaderCode = 0xB3;
inline constexpr uint8_t kSequenceEndCode = 0xB7;
inline constexpr uint8_t kGroupStartCode = 0xB8;
inline constexpr uint8_t kIsoEndCode = 0xB9;
inline constexpr uint8_t kPackStartCode = 0xBA;
inline constexpr uint8_t kSystemHeaderStartCode = 0xBB;
inline constexpr uint8_t kPaddingStreamId = 0xBE;
inline constexpr uint8_t kAudioStreamId = 0xC0;
inline constexpr uint8_t kVideoStreamId = 0xE0;

// The whole 32-bit code, prefix included, as the bit writer puts it.
constexpr uint32_t StartCode(uint8_t code) { return 0x100u | code; }

// Pictures per second of picture_rate (frame_rate_code) 1..8 as num/den.
struct PictureRateFraction {
  unsigned num, den;
};
inline constexpr PictureRateFraction kPictureRates[9] = {
    {0, 0},       {24000, 1001}, {24, 1}, {25, 1}, {30000, 1001},
    {30, 1},      {50, 1},       {60000, 1001},   {60, 1}};

// False for codes that name no rate.
constexpr bool PictureRate(unsigned code, unsigned& num, unsigned& den) {
  if (code < 1 || code > 8) return false;
  num = kPictureRates[code].num;
  den = kPictureRates[code].den;
  return true;
}

// Layer II bit rates come from the compiled-in audio tables. kbit/s of a bitrate_index,
// 0 for free format, the forbidden index and anything else outside 1..14.
int Layer2BitRate(unsigned bitrateIndex);
// The bitrate_index of a rate in kbit/s; 0 when layer II has no such rate.
int Layer2BitRateIndex(int kbps);

}  // namespace zr::mpeg
