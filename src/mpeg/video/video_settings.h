// Settings of one conversion and what the video side reports back.
#pragma once

#include <cstdint>

namespace zr::mpeg {

// The converter's settings, reset to these defaults for every file.
struct VideoSettings {
  int totalDataRate = 150;  // units of 8192 bit/s
  int audioBitRate = 128;   // kbit/s (units of 1024 bit/s)
  int audioLayer = 2;
  bool noAudio = false;  // no usable sound: the whole rate goes to the video
  bool substituteMissingFrames = true;
  int motionSearchLevel = 0;
  int vbvBufferSize = 512;       // units of 16384 bits
  int frameRateCodeOverride = 0;  // set to 1 when the AVI rate has no MPEG counterpart
  bool outputSizeOverride = false;
  // Threads for motion search; the stream is the same for every value.
  int threads = 2;
  // The slower mode tuned for quality at the declared rate; off keeps the default stream.
  bool highQuality = false;
};

// The AVI facts the parameters derive from.
struct VideoSourceInfo {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t rate = 0;   // frame rate = rate / scale
  uint32_t scale = 1;
  uint32_t length = 0;  // AVI frames
};

struct VideoResult {
  int codedFrames = 0;
  int overflowCount = 0;   // "Warning: buffer overflow" when not 0
  int underflowCount = 0;
  int underflowPictures = 0;  // "Warning: buffer underflow in N pictures" when not 0
  int64_t bytes = 0;
  double bitRate = 0;
  double seconds = 0;  // playing time of the coded pictures
};

}  // namespace zr::mpeg
