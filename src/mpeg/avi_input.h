// The converter's AVI input: opening the file with its checks and messages, and each
// coded picture as full-range 4:2:0 planes of whole macroblocks, the source placed at the
// top, centred, with black margins. The opened handles are shared with the sound side.
#pragma once

#include <string>
#include <vector>

#include "mpeg/convert_log.h"
#include "mpeg/sound_input.h"
#include "mpeg/video/encoder.h"
#include "mpeg/video/video_settings.h"
#include "platform/avifile/avifile.h"

namespace zr::mpeg {

enum class AviInputError {
  None,
  CannotOpen,     // the library cannot open the file
  NoVideo,        // no file header or no video stream
  NoDecoder,      // the video stream's frames cannot be decompressed
  NoFirstFrame,   // frame 0 cannot be read
  BadDepth,       // value: the first frame's bits per pixel
  TooBig,         // value: width, second: height
};
const char* AviInputErrorText(AviInputError error);

// Why the opening gave up: the error with the library's result (opening, stream, decoder)
// or the offending field (depth; width and height).
struct AviInputFault {
  AviInputError error = AviInputError::None;
  int64_t value = 0;
  int64_t second = 0;
};
// The conversion log's line for it ("Error: corrupted video" ...).
std::string AviInputLogLine(const AviInputFault& fault, const std::string& path);
// The precise reason: "AVI input: bits per pixel 12 in frame 0".
std::string AviInputDetail(const AviInputFault& fault);

class AviInput : public PictureSource {
 public:
  AviInput() = default;
  ~AviInput() override { Close(); }
  AviInput(const AviInput&) = delete;
  AviInput& operator=(const AviInput&) = delete;

  // The opening checks in order, with their progress lines. False after a fatal one, which
  // fault names and the caller logs (AviInputLogLine); unusable sound only clears
  // hasAudio().
  bool Open(const std::string& path, ConvertLog& log, AviInputFault& fault);
  void Close();

  const VideoSourceInfo& info() const { return info_; }
  int bitCount() const { return bitCount_; }
  bool hasAudio() const { return audio_ != nullptr; }
  const SoundFormat& soundFormat() const { return sound_; }
  PAVIFILE file() const { return file_.get(); }
  PAVISTREAM videoStream() const { return video_.get(); }
  PAVISTREAM audioStream() const { return audio_.get(); }  // null without usable sound

  // A frame that cannot be read is replaced by the last one read (when enabled).
  void SetSubstituteMissingFrames(bool on) { substitute_ = on; }
  int substitutedFrames() const { return substituted_; }

  bool ReadPicture(int codedFrame, int repeat, Frame& picture, ConvertLog& log) override;

  // Fills `picture` from a decompressed frame. False (picture unchanged) for a depth or
  // compression it cannot take (logged), a size beyond the readers' caps, or a block too
  // short for its header.
  static bool ConvertDib(const BitmapInfoHeader* dib, size_t dibBytes, Frame& picture,
                         ConvertLog& log);

 private:
  AviFilePtr file_;
  AviStreamPtr video_;
  AviStreamPtr audio_;
  AviGetFramePtr frames_;
  VideoSourceInfo info_;
  SoundFormat sound_;
  int bitCount_ = 0;
  int lastIndex_ = 0;
  int substituted_ = 0;
  bool substitute_ = true;
};

}  // namespace zr::mpeg
