// What the log says about a finished video stream's rate and buffer.
#pragma once

#include <string>
#include <vector>

#include "mpeg/video/video_settings.h"

namespace zr::mpeg {

// The warnings beside "Warning: buffer overflow": underflowing pictures, and a rate more
// than 5 % above the declared one (players and the multiplexer trust the header).
std::vector<std::string> RateWarnings(const VideoResult& result);

// Achieved bits per second of the stream, 0 when it has no playing time.
double AchievedBitRate(const VideoResult& result);

}  // namespace zr::mpeg
