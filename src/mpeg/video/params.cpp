#include "mpeg/video/params.h"

#include <cmath>
#include <functional>

#include "mpeg/syntax.h"
#include "mpeg/video/format.h"
#include "mpeg/video/vlc.h"

namespace zr::mpeg {

namespace {

constexpr MotionRecord kMotionRecords[3] = {
    {2, 2, 11, 11, 0, 0, 0, 0},
    {1, 1, 3, 3, 1, 1, 7, 7},
    {1, 1, 7, 7, 1, 1, 3, 3},
};

bool ValidCharacteristic(int v) { return v == 1 || v == 2 || (v >= 4 && v <= 7); }

void ReduceSearch(int& width, int fcode, const char* text, ConvertLog& log) {
  int limit = 4 * (1 << fcode) - 1;
  if (width > limit) {
    width = limit;
    log.Line(Format(text, width));
  }
}

}  // namespace

void ShowRecoveryFailure(ConvertLog& log, const std::string& text) {
  log.Alert(text);
  log.Alert("Error recovery failed: please restart the program");
}

double PictureRateOfCode(int code) {
  unsigned num = 0, den = 1;
  return PictureRate(unsigned(code), num, den) ? double(num) / double(den) : 0.0;
}

FrameRateChoice ChooseFrameRate(uint32_t rate, uint32_t scale) {
  long f = scale == 0 ? 0 : long(std::trunc(double(rate) / double(scale) * 100.0));
  struct Row {
    long lo, hi;
    int code, repeat;
  };
  static constexpr Row kRows[] = {{951, 1009, 5, 3},   {1151, 1249, 2, 2}, {1451, 1549, 5, 2},
                                  {2351, 2399, 1, 1},  {2400, 2449, 2, 1}, {2451, 2549, 3, 1},
                                  {2951, 2999, 4, 1},  {3000, 3049, 5, 1}};
  for (const Row& r : kRows)
    if (f >= r.lo && f <= r.hi) return {r.code, r.repeat, false};
  return {1, 1, true};
}

bool FrameTooBig(uint32_t width, uint32_t height) {
  // 4081..4095 pass a plain 4095 check but round to 4096, which 12 bits cannot carry.
  return width > 4095 || height > 4095 || ((width + 15) & ~15u) > 4095 ||
         ((height + 1) & ~1u) > 4095;
}

namespace {

void SetPictureRate(const VideoSourceInfo& source, VideoSettings& settings, ConvertLog& log,
                    VideoParams& p) {
  FrameRateChoice choice = ChooseFrameRate(source.rate, source.scale);
  if (choice.fallback) {
    log.Line("Error: frame rate must be 10, 12, 15, 23.976, 24, 25, 29.97, or 30 FPS");
    log.Line("Using 23.976 FPS");
    settings.frameRateCodeOverride = 1;
  }
  p.frame_rate_code = choice.frameRateCode;
  p.pictureRate = PictureRateOfCode(p.frame_rate_code);
  p.repeat = choice.repeat;
  p.codedFrames = int(source.length) * p.repeat;
  if (p.repeat != 1) {
    double aviRate = source.scale ? double(source.rate) / source.scale : 0.0;
    unsigned rounded = unsigned(std::lround(aviRate));
    log.Line(Format("Original frame rate: %u FPS set to: %u FPS", rounded, rounded * p.repeat));
    log.Line(Format("Total number of frames: %u", unsigned(p.codedFrames)));
  }
  if (choice.fallback) log.Line(std::string("Frame rate: ") + "23.976" + " FPS");
}

void SetFrameSize(const VideoSourceInfo& source, ConvertLog& log, VideoParams& p) {
  p.horizontal_size = int((source.width + 15) & ~15u);
  p.vertical_size = int((source.height + 1) & ~1u);
  p.width = 16 * ((p.horizontal_size + 15) / 16);
  p.height = 16 * ((p.vertical_size + 15) / 16);
  p.mbWidth = p.width / 16;
  p.mbHeight = p.height / 16;
  p.display_horizontal_size = int(source.width);
  p.display_vertical_size = int(source.height);
  if (p.horizontal_size != int(source.width) || p.vertical_size != int(source.height))
    log.Line(Format("Output frame size: %ix%i", p.horizontal_size, p.vertical_size));
}

// False after "Error: bit-rate too low" when the sound leaves too little for the video.
bool SetBitRate(const VideoSettings& settings, ConvertLog& log, VideoParams& p) {
  double total = double(settings.totalDataRate) * 8192.0;
  if (settings.noAudio) {
    p.bit_rate = total;
  } else {
    p.bit_rate = total - double(settings.audioBitRate) * 1024.0 - 32768.0;
    if (!(p.bit_rate > 81920.0)) {
      log.Line("Error: bit-rate too low (minimum:  81920)");
      return false;
    }
  }
  log.Line(Format("Bit-rate: %u", unsigned(p.bit_rate)));
  return true;
}

void SetMotion(ConvertLog& log, VideoParams& p) {
  for (int i = 0; i < 3; ++i) p.motion[i] = kMotionRecords[i];
  if (p.highQuality) {
    // 40 KB fits the multiplexer's video buffer; the windows are widened per picture.
    p.vbv_buffer_size = 20;
    for (MotionRecord& m : p.motion) m = {2, 2, 15, 15, 2, 2, 15, 15};
  }
  for (int i = 0; i < 3; ++i) {
    MotionRecord& m = p.motion[i];
    ReduceSearch(m.forwardSearchH, m.forwardFcodeH,
                 "Warning: forward horizontal search width reduced to %d", log);
    ReduceSearch(m.forwardSearchV, m.forwardFcodeV,
                 "Warning: forward vertical search width reduced to %d", log);
    if (i > 0) {
      ReduceSearch(m.backwardSearchH, m.backwardFcodeH,
                   "Warning: backward horizontal search width reduced to %d", log);
      ReduceSearch(m.backwardSearchV, m.backwardFcodeV,
                   "Warning: backward vertical search width reduced to to %d", log);
    }
  }
}

// Every limit of the constrained parameter set, the buffer size and rate included: a
// decoder trusting the flag would otherwise under-allocate.
bool Constrained(const VideoParams& p) {
  int mbCount = p.mbWidth * p.mbHeight;
  bool constrained = p.horizontal_size <= 768 && p.vertical_size <= 576 && mbCount <= 396 &&
                     mbCount * p.pictureRate <= 9900.0 && p.pictureRate <= 30.0 &&
                     p.vbv_buffer_size <= 20 && std::ceil(p.bit_rate / 400.0) <= 4640.0;
  for (const MotionRecord& m : p.motion) {
    if (m.forwardFcodeH > 4 || m.forwardFcodeV > 4 || m.backwardFcodeH > 4 ||
        m.backwardFcodeV > 4)
      constrained = false;
  }
  return constrained;
}

using CheckFn = std::function<void(bool, const char*)>;

void CheckSequenceFields(const VideoParams& p, const CheckFn& Check) {
  Check(p.horizontal_size >= 1 && p.horizontal_size <= 16383,
        "horizontal_size must be between 1 and 16383");
  Check(p.horizontal_size <= 4095, "horizontal_size must be less than 4096 (MPEG-1)");
  Check(p.horizontal_size % 4096 != 0, "horizontal_size must not be a multiple of 4096");
  Check(p.horizontal_size % 2 == 0, "horizontal_size must be a even (4:2:0 / 4:2:2)");
  Check(p.vertical_size >= 1 && p.vertical_size <= 16383,
        "vertical_size must be between 1 and 16383");
  Check(p.vertical_size <= 4095, "vertical size must be less than 4096 (MPEG-1)");
  Check(p.vertical_size % 4096 != 0, "vertical_size must not be a multiple of 4096");
  Check(p.vertical_size % 2 == 0, "vertical_size must be a even (4:2:0)");
  Check(p.pel_aspect_ratio >= 1 && p.pel_aspect_ratio <= 14,
        "pel_aspect_ratio must be between 1 and 14 (MPEG-1)");
  Check(p.frame_rate_code >= 1 && p.frame_rate_code <= 8,
        "frame_rate code must be between 1 and 8");
  Check(p.bit_rate > 0, "bit_rate must be positive");
  Check(p.bit_rate <= 429496729200.0, "bit_rate must be less than 429 Gbit/s");
  Check(p.bit_rate <= 104857200.0, "bit_rate must be less than 104 Mbit/s (MPEG-1)");
  Check(p.vbv_buffer_size >= 1 && p.vbv_buffer_size <= 262143,
        "vbv_buffer_size must be in range 1..(2^18-1)");
  Check(p.vbv_buffer_size < 1024, "vbv_buffer_size must be less than 1024 (MPEG-1)");
  Check(p.chroma_format >= 1 && p.chroma_format <= 3, "chroma_format must be in range 1...3");
  Check(p.video_format >= 0 && p.video_format <= 4, "video_format must be in range 0...4");
  Check(ValidCharacteristic(p.color_primaries),
        "color_primaries must be in range 1...2 or 4...7");
  Check(ValidCharacteristic(p.transfer_characteristics),
        "transfer_characteristics must be in range 1...2 or 4...7");
  Check(ValidCharacteristic(p.matrix_coefficients),
        "matrix_coefficients must be in range 1...2 or 4...7");
  Check(p.display_horizontal_size >= 0 && p.display_horizontal_size <= 16383,
        "display_horizontal_size must be in range 0...16383");
  Check(p.display_vertical_size >= 0 && p.display_vertical_size <= 16383,
        "display_vertical_size must be in range 0...16383");
  Check(p.intra_dc_precision >= 0 && p.intra_dc_precision <= 3,
        "intra_dc_precision must be in range 0...3");
}

void CheckMotionFields(const VideoParams& p, const CheckFn& Check) {
  for (int i = 0; i < 3; ++i) {
    const MotionRecord& m = p.motion[i];
    int codes[4] = {m.forwardFcodeH, m.forwardFcodeV, m.backwardFcodeH, m.backwardFcodeV};
    for (int k = 0; k < (i == 0 ? 2 : 4); ++k) {
      Check(codes[k] >= 1 && codes[k] <= 9, "f_code must be between 1 and 9");
      Check(codes[k] <= 7, "f_code must be le less than 8");
    }
    Check(m.forwardSearchH >= 1 && m.forwardSearchV >= 1 &&
              (i == 0 || (m.backwardSearchH >= 1 && m.backwardSearchV >= 1)),
          "search window must be positive");
  }
}

}  // namespace

bool SetVideoParameters(const VideoSourceInfo& source, VideoSettings& settings, ConvertLog& log,
                        VideoParams& p) {
  p = VideoParams{};
  if (source.width == 0 || source.height == 0 || FrameTooBig(source.width, source.height)) {
    log.Line(Format("Error: frame is too big (%dx%d pixels)", int(source.width),
                    int(source.height)));
    return false;
  }
  SetPictureRate(source, settings, log, p);
  SetFrameSize(source, log, p);
  if (!SetBitRate(settings, log, p)) return false;
  p.vbv_buffer_size = settings.vbvBufferSize;
  p.N = (p.frame_rate_code == 4 || p.frame_rate_code == 5) ? 15 : 12;
  p.M = 3;
  p.highQuality = settings.highQuality;
  SetMotion(log, p);
  p.constrained_parameters_flag = Constrained(p);

  auto Check = [&log](bool ok, const char* text) {
    if (!ok) ShowRecoveryFailure(log, text);
  };
  CheckSequenceFields(p, Check);
  CheckMotionFields(p, Check);
  LoadQuantiserMatrices(p);
  return true;
}

void LoadQuantiserMatrices(VideoParams& p) {
  for (int i = 0; i < 64; ++i) {
    p.intraMatrix[i] = kDefaultIntraMatrix[i];
    p.nonIntraMatrix[i] = 16;
  }
}

}  // namespace zr::mpeg
