#include "output/avi_writer.h"

#include <algorithm>
#include <any>
#include <array>
#include <cstring>
#include <immintrin.h>
#include <mutex>

#include "image/cbmp.h"
#include "image/dib_convert.h"
#include "output/frame_loop.h"
#include "platform/dib.h"
#include "platform/host.h"

namespace zr {

AVICOMPRESSOPTIONS DefaultCompressOptions() {
  AVICOMPRESSOPTIONS o;
  o.fccType = streamtypeVIDEO;
  o.fccHandler = kCompressorVideo1;
  o.dwKeyFrameEvery = 20;
  o.dwQuality = 10000;
  o.dwBytesPerSecond = 0;
  o.dwFlags = AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_VALID;
  return o;
}

void CAviWriter::AddFrame(const std::string& path, uint32_t count) {
  aFileNames.push_back(path);
  aFrameCounts.push_back(count);
}

void CAviWriter::SetBits(unsigned bpp) { nBits = bpp <= 8 ? 8 : bpp < 24 ? 16 : 24; }

// ---- the fixed palette ----

const std::vector<RgbQuad>& FramePalette() { return DefaultPalette256(); }

namespace {

// Nearest palette entry for every 5-5-5 colour, made once.
const std::array<uint8_t, 32768>& PaletteLookup() {
  static const std::array<uint8_t, 32768> table = [] {
    std::array<uint8_t, 32768> t{};
    const Palette& pal = FramePalette();
    for (int i = 0; i < 32768; ++i) {
      int r = ((i >> 10) & 31) * 255 / 31, g = ((i >> 5) & 31) * 255 / 31, b = (i & 31) * 255 / 31;
      int best = 0, bestDist = 1 << 30;
      for (size_t k = 0; k < pal.size(); ++k) {
        int dr = pal[k].red - r, dg = pal[k].green - g, db = pal[k].blue - b;
        int d = dr * dr + dg * dg + db * db;
        if (d < bestDist) bestDist = d, best = int(k);
      }
      t[size_t(i)] = uint8_t(best);
    }
    return t;
  }();
  return table;
}

}  // namespace

uint8_t FramePaletteIndex(uint8_t r, uint8_t g, uint8_t b) {
  return PaletteLookup()[size_t(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3))];
}

namespace {

void RowTo8(const Pixel* src, uint8_t* dst, int width, const std::array<uint8_t, 32768>& lut) {
  for (int x = 0; x < width; ++x) {
    Pixel p = src[x];
    dst[x] = lut[((p >> 9) & 0x7C00) | ((p >> 6) & 0x03E0) | ((p >> 3) & 0x001F)];
  }
}

}  // namespace

void RowTo16Ref(const Pixel* src, uint8_t* dst, int width) {
  for (int x = 0; x < width; ++x) {
    Pixel p = src[x];
    uint16_t v = uint16_t(((p >> 9) & 0x7C00) | ((p >> 6) & 0x03E0) | ((p >> 3) & 0x001F));
    std::memcpy(dst + 2 * x, &v, 2);
  }
}

// Eight pixels at a time; the 15-bit values fit the signed pack without saturating.
void RowTo16Sse2(const Pixel* src, uint8_t* dst, int width) {
  const __m128i red = _mm_set1_epi32(0x7C00), green = _mm_set1_epi32(0x03E0),
                blue = _mm_set1_epi32(0x001F);
  auto cut = [&](__m128i p) {
    return _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_srli_epi32(p, 9), red),
                                     _mm_and_si128(_mm_srli_epi32(p, 6), green)),
                        _mm_and_si128(_mm_srli_epi32(p, 3), blue));
  };
  int x = 0;
  for (; x + 8 <= width; x += 8) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x + 4));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * x), _mm_packs_epi32(cut(a), cut(b)));
  }
  RowTo16Ref(src + x, dst + 2 * x, width - x);
}

// Four blue-green-red-x pixels make three little-endian words of blue-green-red bytes.
void RowTo24Ref(const Pixel* src, uint8_t* dst, int width) {
  int x = 0;
  for (; x + 4 <= width; x += 4, dst += 12) {
    const uint32_t p0 = src[x], p1 = src[x + 1], p2 = src[x + 2], p3 = src[x + 3];
    const uint32_t w[3] = {(p0 & 0xFFFFFF) | (p1 << 24), ((p1 >> 8) & 0xFFFF) | (p2 << 16),
                           ((p2 >> 16) & 0xFF) | (p3 << 8)};
    std::memcpy(dst, w, 12);
  }
  for (; x < width; ++x, dst += 3) {
    dst[0] = uint8_t(src[x]);
    dst[1] = uint8_t(src[x] >> 8);
    dst[2] = uint8_t(src[x] >> 16);
  }
}

__attribute__((target("ssse3"))) void RowTo24Ssse3(const Pixel* src, uint8_t* dst, int width) {
  const __m128i drop = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  int x = 0;
  // Each 16-byte store carries 12 bytes of pixels and 4 that the next one overwrites, so
  // it stops where it would pass the row's last pixel.
  for (; x + 6 <= width; x += 4, dst += 12) {
    __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_shuffle_epi8(p, drop));
  }
  for (; x + 4 <= width; x += 4, dst += 12) {
    __m128i v = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x)), drop);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), v);
    const uint32_t last = uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(v, 8)));
    std::memcpy(dst + 8, &last, 4);
  }
  for (; x < width; ++x, dst += 3) {
    dst[0] = uint8_t(src[x]);
    dst[1] = uint8_t(src[x] >> 8);
    dst[2] = uint8_t(src[x] >> 16);
  }
}

std::optional<PackedDib> CAviWriter::FrameToDib(const CBmp& image) const {
  PackedDib dib;
  if (!FrameToDib(image, dib, nBits == 8 || nBits == 16 ? nBits : 24)) return std::nullopt;
  return dib;
}

int CAviWriter::StreamBits() const {
  const int bits = nBits == 8 || nBits == 16 ? nBits : 24;
  // Video 1 codes 15-bit colour and its input is cut to it by dropping the low three bits
  // of each component, as the 16-bit rows do: cut once here instead of twice.
  return bits == 24 && options.fccHandler == kCompressorVideo1 ? 16 : bits;
}

bool CAviWriter::FrameToDib(const CBmp& image, PackedDib& dib, int bits) const {
  const Bitmap& bmp = image.bitmap();
  if (bmp.empty()) return false;
  // Every pixel byte is written below and the row padding stays the zero it was made
  // with, so a block of the same shape is reused as it is.
  if (dib.block().empty() || dib.width() != bmp.width || dib.height() != bmp.height ||
      dib.bitCount() != bits) {
    auto made = PackedDib::Create(bmp.width, bmp.height, bits, bits == 8 ? 256 : 0);
    if (!made) return false;
    dib = std::move(*made);
  }
  dib.header().biSizeImage = dib.stride() * uint32_t(bmp.height);
  if (bits == 8) {
    const Palette& pal = FramePalette();
    std::copy(pal.begin(), pal.end(), dib.colors());
    dib.header().biClrUsed = 256;
  }
  const auto rowTo24 = CpuHasSsse3() ? RowTo24Ssse3 : RowTo24Ref;
  for (int y = 0; y < bmp.height; ++y) {
    const Pixel* src = bmp.row(y);
    uint8_t* dst = dib.rowFromTop(y);
    // The 8-bit table takes a moment to make, so only 8-bit frames ask for it.
    if (bits == 8) RowTo8(src, dst, bmp.width, PaletteLookup());
    else if (bits == 16) RowTo16Sse2(src, dst, bmp.width);
    else rowTo24(src, dst, bmp.width);
  }
  return true;
}

// ---- the AVI end of the frame loop ----

namespace {

// Writes composed pictures into a compressed video stream of an open AVI file.
class AviStreamSink : public FrameSink {
 public:
  AviStreamSink(const CAviWriter& writer, Host& host, PAVIFILE file, int32_t& error)
      : writer_(writer), host_(host), file_(file), error_(error) {}

  void Prepare(ComposedFrame& frame) const override {
    PackedDib dib = TakeSpare();
    if (writer_.FrameToDib(frame.picture, dib, writer_.StreamBits()))
      frame.prepared = std::move(dib);
  }

  bool Begin(const ComposedFrame& first) override {
    const PackedDib* dib = std::any_cast<PackedDib>(&first.prepared);
    if (!dib) {
      error_ = AVIERR_MEMORY;
      return false;
    }
    int width = 0, height = 0;
    first.picture.GetSize(width, height);
    AVISTREAMINFO info;
    info.fccType = streamtypeVIDEO;
    info.fccHandler = 0;
    info.dwScale = 1;
    info.dwRate = uint32_t(writer_.nRate);
    info.dwSuggestedBufferSize = dib->header().biSizeImage;
    info.rcFrame = {0, 0, width, height};
    error_ = AVIFileCreateStream(file_, AviOut(raw_), &info);
    if (error_ == 0) error_ = AVIMakeCompressedStream(AviOut(compressed_), raw_.get(), &writer_.options);
    if (error_ == 0) {
      error_ = AVIStreamSetFormat(compressed_.get(), 0, dib->block().data(), int32_t(dib->bitsOffset()));
    }
    return error_ == 0;
  }

  bool Put(ComposedFrame& frame) override {
    const PackedDib* dib = std::any_cast<PackedDib>(&frame.prepared);
    if (!dib) {
      error_ = AVIERR_MEMORY;
      return false;
    }
    // A repeated image is converted once and its rows written `repeat` times.
    for (uint32_t r = 0; r < frame.repeat; ++r) {
      if (r > 0 && host_.CancelRequested()) {
        cancelled = true;
        return false;
      }
      if (samples >= INT32_MAX) {
        error_ = AVIERR_BADSIZE;
        return false;
      }
      error_ = AVIStreamWrite(compressed_.get(), int32_t(samples), 1, dib->bits(),
                              int32_t(dib->header().biSizeImage), AVIIF_KEYFRAME);
      if (error_ != 0) return false;
      ++samples;
    }
    GiveBack(std::move(*std::any_cast<PackedDib>(&frame.prepared)));
    frame.prepared.reset();
    return true;
  }

  int64_t samples = 0;
  bool cancelled = false;

 private:
  const CAviWriter& writer_;
  Host& host_;
  PAVIFILE file_;
  int32_t& error_;
  // Blocks of written frames, for the next ones: a frame's worth of fresh memory for
  // every picture costs more in page faults than its conversion.
  PackedDib TakeSpare() const {
    std::lock_guard<std::mutex> lock(spareMutex_);
    if (spare_.empty()) return {};
    PackedDib dib = std::move(spare_.back());
    spare_.pop_back();
    return dib;
  }
  void GiveBack(PackedDib&& dib) const {
    std::lock_guard<std::mutex> lock(spareMutex_);
    if (spare_.size() < 2) spare_.push_back(std::move(dib));
  }
  mutable std::mutex spareMutex_;
  mutable std::vector<PackedDib> spare_;
  AviStreamPtr raw_;
  AviStreamPtr compressed_;
};

}  // namespace

bool CAviWriter::Write(Host& host, const std::string& path) {
  framesWritten_ = 0;
  told = false;
  cancelled = false;
  systemError = 0;
  if (aFileNames.empty()) {
    nError = 1;
    return false;
  }
  if (VideoForWindowsVersion() < kVideoServicesVersion) {
    nError = 2;
    return false;
  }
  AviFilePtr file;
  nError = AVIFileOpen(AviOut(file), path, OF_CREATE | OF_WRITE, nullptr, &systemError);
  if (nError != 0) return false;

  FrameLoopInput input;
  input.paths = aFileNames;
  input.counts = aFrameCounts;
  input.applyLogo = applyLogo;
  input.pipelined = pipelined;
  FrameLoopResult result;
  {
    AviStreamSink sink(*this, host, file.get(), nError);
    result = RunFrameLoop(host, input, sink);
    framesWritten_ = sink.samples;
    cancelled = sink.cancelled || result.end == FrameLoopEnd::Cancelled;
  }
  if (result.end == FrameLoopEnd::CouldNotLoad) told = true;
  if (cancelled) nError = AVIERR_USERABORT;
  bool failed = nError != 0 || told;
  if (failed) AVIFileAbandon(file.get());
  HRESULT closed = AviCloseFile(std::move(file), &systemError);
  if (nError == 0) nError = closed;
  return nError == 0 && !told;
}

}  // namespace zr
