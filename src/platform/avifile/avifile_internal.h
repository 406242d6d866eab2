// Objects behind the AVI handles. Private to src/platform/avifile.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "platform/avifile/avifile.h"

namespace zr {

// ---- FFmpeg ownership helpers ----
namespace avi {
struct InputCloser {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecCloser {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameCloser {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketCloser {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsCloser {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecCloser>;
using FramePtr = std::unique_ptr<AVFrame, FrameCloser>;
using PacketPtr = std::unique_ptr<AVPacket, PacketCloser>;
using SwsPtr = std::unique_ptr<SwsContext, SwsCloser>;

enum class Container { Avi, Wav, Midi };

// Which of our readers a file's first bytes ask for; false for anything else.
bool SniffContainer(const uint8_t* head, size_t size, Container& kind);
// Opens `path` with the demuxer of `kind` only (never a probe over every demuxer).
HRESULT OpenDemuxer(const std::string& path, Container kind, InputPtr& out);

// Largest format block, colour table, packet or frame we accept from a file.
constexpr int64_t kMaxFormatBytes = 1 << 20;
constexpr int64_t kMaxPacketBytes = 256 << 20;
// MIDI renders at most this long.
constexpr int64_t kMaxMidiSeconds = 30 * 60;
}  // namespace avi

struct AviStreamObject;

struct AviFileObject {
  virtual ~AviFileObject() = default;
  std::atomic<int> refs{1};
  bool writing = false;
  // The system's error number behind the last failed write (0 when there is none).
  int systemError = 0;
  std::vector<std::unique_ptr<AviStreamObject>> streams;

  virtual HRESULT Info(AVIFILEINFO& info) = 0;
  virtual HRESULT CreateStream(const AVISTREAMINFO&, PAVISTREAM*) { return AVIERR_READONLY; }
  // Called once when the last reference goes; the result of finishing a written file.
  virtual HRESULT Finish() { return AVIERR_OK; }
  virtual void Abandon() {}
};

struct AviStreamObject {
  virtual ~AviStreamObject() = default;
  // References from callers. The first one holds a reference on the file (for
  // file-owned streams); a stand-alone stream is deleted when the last one goes.
  std::atomic<int> refs{0};
  AviFileObject* file = nullptr;  // null for stand-alone streams
  AVISTREAMINFO info;
  std::vector<uint8_t> format;

  virtual int32_t Length() { return int32_t(info.dwLength); }
  virtual HRESULT ReadFormat(int32_t pos, void* buffer, int32_t* size);
  virtual HRESULT SetFormat(int32_t, const void*, int32_t) { return AVIERR_READONLY; }
  virtual HRESULT Read(int32_t, int32_t, void*, int32_t, int32_t*, int32_t*) {
    return AVIERR_UNSUPPORTED;
  }
  virtual HRESULT Write(int32_t, int32_t, const void*, int32_t, uint32_t, int32_t*, int32_t*) {
    return AVIERR_READONLY;
  }
  virtual PGETFRAME GetFrameOpen(const BitmapInfoHeader*) { return nullptr; }
  // The demuxer source behind a read stream, for copying (AVISave).
  virtual bool IsReadable() const { return false; }
};

// ---- Reading ----
struct ReadFileObject;

struct ReadStreamObject : AviStreamObject {
  ReadFileObject* owner = nullptr;
  int ffIndex = -1;                // stream index in the container
  AVCodecParameters* par = nullptr;  // owned copy
  AVRational timeBase{1, 1};
  int64_t startPts = 0;
  int blockAlign = 1;  // audio bytes per sample
  int64_t totalBytes = 0;  // audio

  // Sequential audio cursor (its own demuxer so streams read independently).
  avi::InputPtr cursor;
  int64_t cursorByte = 0;
  std::vector<uint8_t> pending;
  size_t pendingOffset = 0;

  ~ReadStreamObject() override;
  bool IsReadable() const override { return true; }
  HRESULT Read(int32_t start, int32_t samples, void* buffer, int32_t bufferSize,
               int32_t* bytesRead, int32_t* samplesRead) override;
  PGETFRAME GetFrameOpen(const BitmapInfoHeader* wanted) override;

  // Fills `out` with the next `count` bytes of audio from the cursor; returns bytes got.
  int64_t PullAudio(uint8_t* out, int64_t count);
  HRESULT SeekAudio(int64_t byte);
};

struct ReadFileObject : AviFileObject {
  std::string path;
  avi::Container kind = avi::Container::Avi;
  // MIDI: the rendered 44.1 kHz 16-bit stereo PCM.
  std::vector<uint8_t> pcm;
  HRESULT Info(AVIFILEINFO& info) override;
};

HRESULT OpenReadFile(const std::string& path, PAVIFILE* out);
// maxSeconds lets the fuzz target keep each render short.
HRESULT OpenMidiFile(const std::string& path, const std::string& soundFont, PAVIFILE* out,
                     int64_t maxSeconds = avi::kMaxMidiSeconds, MidiFault* fault = nullptr);

// ---- Writing ----
HRESULT OpenWriteFile(const std::string& path, PAVIFILE* out, int* systemError);
HRESULT MakeCompressedStream(PAVISTREAM source, const AVICOMPRESSOPTIONS& options,
                             PAVISTREAM* out);

// AVIERR_FILEWRITE; systemError receives the system's error behind an FFmpeg result, for
// the message that names the file.
HRESULT WriteFailed(int averror, int& systemError);

// Stream refcount helpers shared by the translation units.
void StreamAddRef(AviStreamObject* s);
uint32_t StreamRelease(AviStreamObject* s);

// Maps a DIB header to the FFmpeg raw pixel format of its rows (AV_PIX_FMT_NONE if none).
AVPixelFormat DibPixelFormat(const BitmapInfoHeader& h);
// RGBQUAD table → FFmpeg palette (uint32 0xAARRGGBB, opaque).
void PaletteFromRgbQuads(const RgbQuad* table, uint32_t count, uint32_t out[256]);

}  // namespace zr
