// The video encoder of one conversion: coding order and picture types, the sequence and
// GOP layers, motion search over macroblock rows on several threads, and the pictures.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "mpeg/convert_log.h"
#include "mpeg/dsp/dsp.h"
#include "mpeg/video/frame.h"
#include "mpeg/video/params.h"
#include "mpeg/video/video_settings.h"

namespace zr::mpeg {

class AviInput;

// Delivers the picture of a coded frame (AVI frame codedFrame / repeat). False when the
// frame could not be read: the picture is then left as it was.
class PictureSource {
 public:
  virtual ~PictureSource() = default;
  virtual bool ReadPicture(int codedFrame, int repeat, Frame& picture, ConvertLog& log) = 0;
};

// Picture types and numbering of coded picture i, as the coding loop uses them.
struct CodingStep {
  int type;
  int displayIndex;
  int gopStart;  // display index of the GOP's first picture
  bool startsGop;
  int motionRecord;  // 0 P, 1 first B, 2 second B
};
CodingStep PlanPicture(int i, int nframes, int N, int M);
// GOP size and anchor/B counts for a GOP starting at display index f0.
void GopCounts(int f0, int nframes, int N, int M, int& n, int& np, int& nb);
uint32_t TimeCode(int displayIndex, double pictureRate);

class VideoEncoder {
 public:
  // Called in coding order with the display index and the picture.
  using PictureHook = std::function<void(int displayIndex, const Frame& picture)>;
  void SetSourceHook(PictureHook hook) { sourceHook_ = std::move(hook); }
  void SetReconstructionHook(PictureHook hook) { reconHook_ = std::move(hook); }
  // Reference or SIMD primitives; the stream is the same with either.
  void SetDsp(const dsp::Functions& functions) { dsp_ = &functions; }

  // The whole video stage of a conversion: parameters from the opened AVI (messages to
  // the log), the stream written to m1vPath. False when the file must be abandoned.
  bool Encode(AviInput& input, const std::string& m1vPath, ConvertLog& log,
              VideoSettings& settings);

  // The coding loop alone, for parameters already set, into an open file.
  bool EncodeStream(PictureSource& source, const VideoParams& params, std::FILE* out,
                    ConvertLog& log, int threads);

  const VideoResult& result() const { return result_; }
  const VideoParams& params() const { return params_; }

 private:
  const dsp::Functions* dsp_ = nullptr;
  PictureHook sourceHook_, reconHook_;
  VideoParams params_;
  VideoResult result_;
};

}  // namespace zr::mpeg
