// The system stream multiplexer: joins one MPEG-1 video elementary stream and one layer II
// audio elementary stream into fixed 2048-byte sectors, each a pack header, a system header
// and one packet, choosing the stream of each sector from a decoder buffer model and the
// time stamps. Both inputs are outside data: every size and field is checked, and a
// malformed stream is reported as an "Error: " line, never by ending the process.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "mpeg/convert_log.h"
#include "mpeg/syntax.h"

namespace zr::mpeg {

// 90 kHz clock ticks; written as 33 bits.
using Timestamp = uint64_t;

inline constexpr int kSectorSize = 2048;
inline constexpr int kPackHeaderSize = 12;
inline constexpr int kSystemHeaderSize = 18;
inline constexpr int kPacketHeaderSize = 21;
inline constexpr int kPacketPayload =
    kSectorSize - kPackHeaderSize - kSystemHeaderSize - kPacketHeaderSize;
inline constexpr int kVideoStdBuffer = 47104;
inline constexpr int kAudioStdBuffer = 4096;

// What the video scan learns. Sizes and the rate field are the sequence header's.
struct VideoStreamInfo {
  unsigned horizontal_size = 0, vertical_size = 0, pel_aspect_ratio = 0, picture_rate = 0;
  unsigned bit_rate = 0;  // units of 400 bit/s
  unsigned vbv_buffer_size = 0;
  bool constrained = false;
  unsigned sequenceHeaders = 0, gops = 0, sequenceEnds = 0;
  unsigned pictures[4] = {};     // by picture_coding_type: [1] I, [2] P, [3] B, [0] other
  uint64_t averageSize[4] = {};  // bytes per picture of that type
  uint64_t pictureCount = 0;
  uint64_t bytes = 0;
  unsigned comp_bit_rate = 0;  // units of 400 bit/s, a multiple of 25
  Timestamp firstPts = 0;      // before the start-up delay
  uint32_t firstUnitLength = 0;
};

struct AudioStreamInfo {
  unsigned id = 0, layer = 0, protection = 0, bitrate_index = 0, sampling_frequency = 0;
  unsigned mode = 0, mode_extension = 0, copyright = 0, original = 0, emphasis = 0;
  unsigned kbitRate = 0, sampleRate = 0;
  uint64_t framesUnpadded = 0, framesPadded = 0;
  unsigned frameLength = 0, paddedFrameLength = 0;
  uint64_t bytes = 0;
  uint32_t firstUnitLength = 0;
};

struct MuxReport {
  VideoStreamInfo video;
  AudioStreamInfo audio;
  uint64_t video_rate = 0, audio_rate = 0;  // bytes per second
  uint64_t dmux_rate = 0;                   // bytes per second, mux_rate × 50
  uint32_t mux_rate = 0;                    // units of 50 bytes/s
  Timestamp startupDelay = 0;
  uint64_t videoPackets = 0, audioPackets = 0, paddingPackets = 0;
  uint64_t bytesWritten = 0;
  // Outcome flags read by the converter after the output is complete.
  bool videoTimedOut = false, audioTimedOut = false;
  // Why the output could not be written (an errno value), or 0.
  int writeError = 0;
  bool cancelled = false;  // ConvertLog::CancelRequested stopped it
};

struct MuxLimits {
  // An output growing past this many bytes means the time stamps and rates disagree so
  // badly that the loop would only pad; 0 = 64 × the inputs' size plus 64 MiB.
  uint64_t maxOutputBytes = 0;
};

// Multiplexes the files at videoPath and audioPath into outputPath (created or truncated).
// Reports its share done through log.Percent and polls log.CancelRequested at least every
// 100 ms.
// False after a message line starting "Error: "; the report's flags are set on success.
bool Multiplex(const std::string& videoPath, const std::string& audioPath,
               const std::string& outputPath, ConvertLog& log, MuxReport& report,
               const MuxLimits& limits = {});

// The same over open streams (seekable inputs; the output is written sequentially).
bool MultiplexStreams(std::FILE* video, std::FILE* audio, std::FILE* output, ConvertLog& log,
                      MuxReport& report, const MuxLimits& limits = {});

}  // namespace zr::mpeg
