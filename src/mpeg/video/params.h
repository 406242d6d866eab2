// Coding parameters of one video stream, derived from the AVI and the settings.
#pragma once

#include <cstdint>
#include <string>

#include "mpeg/convert_log.h"
#include "mpeg/video/video_settings.h"

namespace zr::mpeg {

// Search setup for one position between anchors: P pictures, first and second B picture.
struct MotionRecord {
  int forwardFcodeH, forwardFcodeV, forwardSearchH, forwardSearchV;
  int backwardFcodeH, backwardFcodeV, backwardSearchH, backwardSearchV;
};

struct VideoParams {
  int horizontal_size = 0;
  int vertical_size = 0;
  int width = 0;   // coded, whole macroblocks
  int height = 0;
  int mbWidth = 0;
  int mbHeight = 0;
  int pel_aspect_ratio = 1;
  int frame_rate_code = 1;
  double pictureRate = 24000.0 / 1001.0;
  int repeat = 1;  // each AVI frame is coded this many times
  int codedFrames = 0;
  double bit_rate = 0;
  int vbv_buffer_size = 512;
  bool constrained_parameters_flag = true;
  int N = 12;
  int M = 3;
  MotionRecord motion[3]{};
  uint8_t intraMatrix[64]{};
  uint8_t nonIntraMatrix[64]{};
  std::string userData = "encoded by Vantrel v2.1 ";
  // Range-checked only; MPEG-1 writes none of them.
  int chroma_format = 1;
  int video_format = 0;
  int color_primaries = 5;
  int transfer_characteristics = 5;
  int matrix_coefficients = 5;
  int display_horizontal_size = 0;
  int display_vertical_size = 0;
  int intra_dc_precision = 0;
  bool highQuality = false;  // the slower mode's own stages (hq_*.cpp, mode_decision.cpp)
};

// The picture rate of a frame_rate_code (1..8), 0 for others.
double PictureRateOfCode(int frameRateCode);

struct FrameRateChoice {
  int frameRateCode;
  int repeat;
  bool fallback;  // the AVI rate has no row: 23.976, one picture per frame
};
FrameRateChoice ChooseFrameRate(uint32_t rate, uint32_t scale);

// True when the stream's sizes (width rounded up to 16, height to even) cannot be written.
bool FrameTooBig(uint32_t width, uint32_t height);

// Fills `params` and writes the parameter lines. False (after "Error: bit-rate too low")
// when nothing is left for the video, or when the frame cannot be coded at all.
bool SetVideoParameters(const VideoSourceInfo& source, VideoSettings& settings, ConvertLog& log,
                        VideoParams& params);
void LoadQuantiserMatrices(VideoParams& params);

// Shows a failed internal check as the two message boxes of the converter.
void ShowRecoveryFailure(ConvertLog& log, const std::string& text);

}  // namespace zr::mpeg
