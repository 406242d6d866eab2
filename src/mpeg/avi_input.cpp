#include "mpeg/avi_input.h"

#include <cmath>
#include <cstring>

#include "mpeg/dsp/dsp.h"
#include "mpeg/video/format.h"
#include "mpeg/video/params.h"

namespace zr::mpeg {

namespace {

bool SupportedDepth(int bits) { return bits == 8 || bits == 16 || bits == 24 || bits == 32; }

// Bytes of a packed DIB as the frame decompressor hands it out: header, table, rows.
size_t DibBytes(const BitmapInfoHeader& h) {
  size_t colors = h.biBitCount == 8 ? DibNumColors(h) : 0;
  int64_t rows = h.biHeight < 0 ? -int64_t(h.biHeight) : h.biHeight;
  return size_t(h.biSize) + 4 * colors + size_t(DibStride(h.biWidth, h.biBitCount)) * size_t(rows);
}

// One DIB row to separate R, G, B samples. A palette index past the colour count is
// black; 16-bit values widen as v * 8 + 7; the fourth byte of 32-bit pixels is unused.
void UnpackRow(int bits, const uint8_t* s, int w, const RgbQuad* table, size_t colors,
               uint8_t* r, uint8_t* g, uint8_t* b) {
  switch (bits) {
    case 8:
      for (int x = 0; x < w; ++x) {
        const size_t i = s[x];
        const bool inside = i < colors;
        r[x] = inside ? table[i].red : 0;
        g[x] = inside ? table[i].green : 0;
        b[x] = inside ? table[i].blue : 0;
      }
      break;
    case 16:
      for (int x = 0; x < w; ++x) {
        const int v = s[2 * x] | (s[2 * x + 1] << 8);
        r[x] = uint8_t(((v >> 10) & 31) * 8 + 7);
        g[x] = uint8_t(((v >> 5) & 31) * 8 + 7);
        b[x] = uint8_t((v & 31) * 8 + 7);
      }
      break;
    default: {
      static const auto unpack = dsp::CpuHasSse41() ? dsp::UnpackBgrSse41 : dsp::UnpackBgrRef;
      unpack(s, bits / 8, w, r, g, b);
      break;
    }
  }
}

}  // namespace

const char* AviInputErrorText(AviInputError error) {
  switch (error) {
    case AviInputError::None: return "no error";
    case AviInputError::CannotOpen: return "cannot open the file";
    case AviInputError::NoVideo: return "no readable video stream";
    case AviInputError::NoDecoder: return "the video frames cannot be decompressed";
    case AviInputError::NoFirstFrame: return "frame 0 cannot be read";
    case AviInputError::BadDepth: return "unsupported bits per pixel";
    case AviInputError::TooBig: return "frame size too big";
  }
  return "unknown error";
}

std::string AviInputLogLine(const AviInputFault& fault, const std::string& path) {
  switch (fault.error) {
    case AviInputError::CannotOpen:
      return Format("Error: %s is locked or unavailable", path.c_str());
    case AviInputError::NoVideo:
    case AviInputError::NoDecoder:
    case AviInputError::NoFirstFrame: return "Error: corrupted video";
    case AviInputError::BadDepth:
      return Format("Error: %i BPP is unsupported (must be 8, 16, 24 or 32)", int(fault.value));
    case AviInputError::TooBig:
      return Format("Error: frame is too big (%dx%d pixels)", int(fault.value), int(fault.second));
    case AviInputError::None: break;
  }
  return {};
}

std::string AviInputDetail(const AviInputFault& fault) {
  std::string detail = std::string("AVI input: ") + AviInputErrorText(fault.error);
  switch (fault.error) {
    case AviInputError::CannotOpen:
    case AviInputError::NoVideo:
    case AviInputError::NoDecoder:
      detail += " (" + AviErrorName(HRESULT(fault.value)) + ")";
      break;
    case AviInputError::BadDepth: detail += Format(" %d in frame 0", int(fault.value)); break;
    case AviInputError::TooBig:
      detail += Format(" %d x %d", int(fault.value), int(fault.second));
      break;
    default: break;
  }
  return detail;
}

void AviInput::Close() {
  frames_.reset();
  audio_.reset();
  video_.reset();
  file_.reset();
}

bool AviInput::Open(const std::string& path, ConvertLog& log, AviInputFault& fault) {
  Close();
  info_ = VideoSourceInfo{};
  sound_ = SoundFormat{};
  lastIndex_ = 0;
  substituted_ = 0;
  bitCount_ = 0;
  auto refuse = [&](AviInputError error, int64_t value = 0, int64_t second = 0) {
    fault = AviInputFault{error, value, second};
    return false;
  };
  fault = AviInputFault{};

  HRESULT hr = AVIFileOpen(AviOut(file_), path, OF_READ);
  if (hr != AVIERR_OK) return refuse(AviInputError::CannotOpen, hr);
  AVIFILEINFO fi;
  if ((hr = AVIFileInfo(file_.get(), &fi, sizeof fi)) != AVIERR_OK ||
      (hr = AVIFileGetStream(file_.get(), AviOut(video_), streamtypeVIDEO, 0)) != AVIERR_OK)
    return refuse(AviInputError::NoVideo, hr);
  frames_.reset(AVIStreamGetFrameOpen(video_.get()));
  if (!frames_) return refuse(AviInputError::NoDecoder, AVIERR_NOCOMPRESSOR);
  info_.width = fi.dwWidth;
  info_.height = fi.dwHeight;
  info_.rate = fi.dwRate;
  info_.scale = fi.dwScale;
  info_.length = fi.dwLength;
  const double rate = fi.dwScale ? double(fi.dwRate) / fi.dwScale : 0.0;
  log.Line(Format("Video size: %ux%u at %4.2f FPS", fi.dwWidth, fi.dwHeight, rate));
  const BitmapInfoHeader* first = AVIStreamGetFrame(frames_.get(), 0);
  if (!first) return refuse(AviInputError::NoFirstFrame);
  bitCount_ = first->biBitCount;
  if (!SupportedDepth(bitCount_)) return refuse(AviInputError::BadDepth, bitCount_);
  log.Line(Format("BPP: %u", unsigned(bitCount_)));
  if (FrameTooBig(fi.dwWidth, fi.dwHeight))
    return refuse(AviInputError::TooBig, int64_t(fi.dwWidth), int64_t(fi.dwHeight));
  // Slower than half a frame a second rounds to 0; count such a file's seconds at 1 fps.
  long rounded = std::lround(rate);
  log.Line(Format("Number of frames: %u (%u seconds)", fi.dwLength,
                  unsigned(fi.dwLength / unsigned(rounded > 0 ? rounded : 1))));
  if (first->biCompression != BI_RGB) log.Line("Error: frames must be BI_RGB compressed");

  // Sound: any failure before the format is known drops it silently.
  AVISTREAMINFO si;
  int32_t formatSize = 0;
  if (AVIFileGetStream(file_.get(), AviOut(audio_), streamtypeAUDIO, 0) != AVIERR_OK) {
    return true;
  }
  if (AVIStreamInfo(audio_.get(), &si, sizeof si) != AVIERR_OK ||
      AVIStreamReadFormat(audio_.get(), 0, nullptr, &formatSize) != AVIERR_OK ||
      formatSize < int32_t(sizeof(WAVEFORMATEX) - 2)) {
    audio_.reset();
    return true;
  }
  std::vector<uint8_t> format(size_t(formatSize) + sizeof(WAVEFORMATEX), 0);
  if (AVIStreamReadFormat(audio_.get(), 0, format.data(), &formatSize) != AVIERR_OK) {
    audio_.reset();
    return true;
  }
  WAVEFORMATEX wf;
  std::memcpy(&wf, format.data(), sizeof wf);
  sound_.formatTag = wf.wFormatTag;
  sound_.channels = wf.nChannels;
  sound_.samplesPerSec = int(wf.nSamplesPerSec);
  sound_.bitsPerSample = wf.wBitsPerSample;
  sound_.length = si.dwLength;
  if (!CheckSoundFormat(sound_, log)) {
    audio_.reset();
  }
  return true;
}

bool AviInput::ReadPicture(int codedFrame, int repeat, Frame& picture, ConvertLog& log) {
  if (!frames_) return false;
  const int index = codedFrame / (repeat > 0 ? repeat : 1);
  const BitmapInfoHeader* dib = AVIStreamGetFrame(frames_.get(), index);
  if (dib) {
    lastIndex_ = index;
  } else {
    if (!substitute_) return false;
    dib = AVIStreamGetFrame(frames_.get(), lastIndex_);
    ++substituted_;
    if (!dib) return false;  // the previous picture stays
  }
  return ConvertDib(dib, DibBytes(*dib), picture, log);
}

bool AviInput::ConvertDib(const BitmapInfoHeader* dib, size_t dibBytes, Frame& pic,
                          ConvertLog& log) {
  if (!dib || dibBytes < sizeof(BitmapInfoHeader) || dib->biSize < sizeof(BitmapInfoHeader))
    return false;
  const int bits = dib->biBitCount;
  if (!SupportedDepth(bits)) {
    log.Line(Format("Error: %d BPP is unsupported (must be 8, 16, 24, or 32)", bits));
    return false;
  }
  if (dib->biCompression != BI_RGB) {
    log.Line("Error: BI_BITFIELDS compression not supported, must be BI_RGB");
    return false;
  }
  const bool topDown = dib->biHeight < 0;
  const int64_t srcW = dib->biWidth, srcH = topDown ? -int64_t(dib->biHeight) : dib->biHeight;
  // The caps first: they keep every product below within 64 bits.
  if (!DibSizeAllowed(srcW, srcH)) return false;
  const size_t colors = bits == 8 ? DibNumColors(*dib) : 0;
  const size_t stride = DibStride(srcW, bits);
  const size_t pixelsAt = size_t(dib->biSize) + 4 * colors;
  if (colors > 256 || dibBytes < pixelsAt || (dibBytes - pixelsAt) / stride < size_t(srcH))
    return false;
  const uint8_t* base = reinterpret_cast<const uint8_t*>(dib);
  const RgbQuad* table = reinterpret_cast<const RgbQuad*>(base + dib->biSize);
  const uint8_t* pixels = base + pixelsAt;

  const int W = pic.width, H = pic.height;
  // A frame larger than the stream's stated size is cut to the picture.
  const int w = int(srcW < W ? srcW : W), h = int(srcH < H ? srcH : H);
  const int left = (W - w) / 2;

  // Two full-resolution rows of each chroma plane, then the 2 x 2 truncating average.
  std::vector<uint8_t> cbRows(size_t(2) * W), crRows(size_t(2) * W);
  std::vector<uint8_t> rRow(static_cast<size_t>(w)), gRow(static_cast<size_t>(w)), bRow(static_cast<size_t>(w));
  for (int y = 0; y < H; ++y) {
    uint8_t* Y = pic.y.data() + size_t(y) * W;
    uint8_t* cb = cbRows.data() + size_t(y & 1) * W;
    uint8_t* cr = crRows.data() + size_t(y & 1) * W;
    std::memset(Y, 0, size_t(W));
    std::memset(cb, 128, size_t(W));
    std::memset(cr, 128, size_t(W));
    if (y < h) {
      const int64_t dibRow = topDown ? y : srcH - 1 - y;
      const uint8_t* s = pixels + size_t(dibRow) * stride;
      UnpackRow(bits, s, w, table, colors, rRow.data(), gRow.data(), bRow.data());
      dsp::ColourRowSse2(rRow.data(), gRow.data(), bRow.data(), w, Y + left, cb + left, cr + left);
    }
    if (y & 1) {
      uint8_t* outCb = pic.cb.data() + size_t(y / 2) * (W / 2);
      uint8_t* outCr = pic.cr.data() + size_t(y / 2) * (W / 2);
      const uint8_t *cb0 = cbRows.data(), *cb1 = cb0 + W, *cr0 = crRows.data(), *cr1 = cr0 + W;
      for (int x = 0; x < W / 2; ++x) {
        outCb[x] = uint8_t((cb0[2 * x] + cb0[2 * x + 1] + cb1[2 * x] + cb1[2 * x + 1]) >> 2);
        outCr[x] = uint8_t((cr0[2 * x] + cr0[2 * x + 1] + cr1[2 * x] + cr1[2 * x + 1]) >> 2);
      }
    }
  }
  return true;
}

}  // namespace zr::mpeg
