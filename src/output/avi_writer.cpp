#include "output/avi_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

#include "image/cbmp.h"
#include "image/dib_convert.h"
#include "output/avi_messages.h"
#include "output/compose.h"
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

std::optional<PackedDib> CAviWriter::FrameToDib(const CBmp& image) const {
  const Bitmap& bmp = image.bitmap();
  if (bmp.empty()) return std::nullopt;
  int bits = nBits == 8 || nBits == 16 ? nBits : 24;
  auto dib = PackedDib::Create(bmp.width, bmp.height, bits, bits == 8 ? 256 : 0);
  if (!dib) return std::nullopt;
  dib->header().biSizeImage = dib->stride() * uint32_t(bmp.height);
  if (bits == 8) {
    const Palette& pal = FramePalette();
    std::copy(pal.begin(), pal.end(), dib->colors());
    dib->header().biClrUsed = 256;
    const auto& lut = PaletteLookup();
    for (int y = 0; y < bmp.height; ++y) {
      const Pixel* src = bmp.row(y);
      uint8_t* dst = dib->rowFromTop(y);
      for (int x = 0; x < bmp.width; ++x) {
        Pixel p = src[x];
        dst[x] = lut[((p >> 9) & 0x7C00) | ((p >> 6) & 0x03E0) | ((p >> 3) & 0x001F)];
      }
    }
  } else if (bits == 16) {
    for (int y = 0; y < bmp.height; ++y) {
      const Pixel* src = bmp.row(y);
      uint8_t* dst = dib->rowFromTop(y);
      for (int x = 0; x < bmp.width; ++x) {
        Pixel p = src[x];
        uint16_t v = uint16_t(((p >> 9) & 0x7C00) | ((p >> 6) & 0x03E0) | ((p >> 3) & 0x001F));
        std::memcpy(dst + 2 * x, &v, 2);
      }
    }
  } else {
    for (int y = 0; y < bmp.height; ++y) {
      const Pixel* src = bmp.row(y);
      uint8_t* dst = dib->rowFromTop(y);
      for (int x = 0; x < bmp.width; ++x) {
        Pixel p = src[x];
        dst[3 * x] = uint8_t(p);
        dst[3 * x + 1] = uint8_t(p >> 8);
        dst[3 * x + 2] = uint8_t(p >> 16);
      }
    }
  }
  return dib;
}

// ---- the frame loop ----

namespace {

// While images load on a second thread, their loaders may report to the Host. Those
// reports are held back and shown from the writing thread, in order, when that image's
// turn comes, so a Host never hears from two threads.
class DeferringHost : public Host {
 public:
  explicit DeferringHost(Host& inner) : inner_(inner), owner_(std::this_thread::get_id()) {}
  bool OnOwner() const { return std::this_thread::get_id() == owner_; }
  void Message(const std::string& text, const std::string& caption, MessageKind kind) override {
    if (OnOwner()) return inner_.Message(text, caption, kind);
    std::lock_guard<std::mutex> lock(mutex_);
    held_.push_back({text, caption, kind});
  }
  bool CancelRequested() override { return OnOwner() && inner_.CancelRequested(); }
  Answer AskYesNoCancel(const std::string& text, const std::string& caption) override {
    return OnOwner() ? inner_.AskYesNoCancel(text, caption) : Answer::Cancel;
  }
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    return OnOwner() ? inner_.AskYesNo(text, caption) : false;
  }
  void SetStatusText(const std::string& text) override {
    if (OnOwner()) inner_.SetStatusText(text);
  }
  void BeginProgress(const std::string& title, int64_t total) override {
    if (OnOwner()) inner_.BeginProgress(title, total);
  }
  void UpdateProgress(int64_t done) override {
    if (OnOwner()) inner_.UpdateProgress(done);
  }
  void EndProgress() override {
    if (OnOwner()) inner_.EndProgress();
  }
  void BeginWaitCursor() override {
    if (OnOwner()) inner_.BeginWaitCursor();
  }
  void EndWaitCursor() override {
    if (OnOwner()) inner_.EndWaitCursor();
  }
  std::optional<ImageSizeAnswer> AskImageSize(const ImageSizeQuestion& question) override {
    return inner_.AskImageSize(question);
  }
  bool EditCompressOptions(AVICOMPRESSOPTIONS& o) override { return inner_.EditCompressOptions(o); }
  std::string ChooseAviPath(bool save, bool wave, const std::string& folder) override {
    return inner_.ChooseAviPath(save, wave, folder);
  }
  struct HeldMessage {
    std::string text, caption;
    MessageKind kind;
  };
  using Held = std::vector<HeldMessage>;
  Held TakeHeld() {
    std::lock_guard<std::mutex> lock(mutex_);
    Held out;
    out.swap(held_);
    return out;
  }
  void Show(const Held& held) {
    for (auto& m : held) inner_.Message(m.text, m.caption, m.kind);
  }

 private:
  Host& inner_;
  std::thread::id owner_;
  std::mutex mutex_;
  Held held_;
};

struct Prepared {
  bool loaded = false;
  CBmp image;
  int width = 0, height = 0;
  std::optional<PackedDib> dib;  // ready when the image had the frame size
  DeferringHost::Held messages;
};

struct HostSwap {
  Host* previous;
  explicit HostSwap(Host* next) : previous(&GetHost()) { SetHost(next); }
  ~HostSwap() { SetHost(previous); }
};

}  // namespace

bool CAviWriter::Write(const std::string& path) {
  framesWritten_ = 0;
  if (aFileNames.empty()) {
    nError = 1;
    return false;
  }
  if (VideoForWindowsVersion() < kVideoServicesVersion) {
    nError = 2;
    return false;
  }
  PAVIFILE file = nullptr;
  nError = AVIFileOpen(&file, path, OF_CREATE | OF_WRITE);
  if (nError != 0) return false;

  Host& host = GetHost();
  CBmp working;
  if (!working.Load(aFileNames[0])) {
    host.Message(kCouldNotLoad + aFileNames[0]);
    // Nothing could be made: no file, not even an empty one.
    AVIFileAbandon(file);
    AVIFileRelease(file);
    return false;
  }
  working.SetTransparent(false);
  int frameWidth = 0, frameHeight = 0;
  working.GetSize(frameWidth, frameHeight);
  std::optional<PackedDib> first = FrameToDib(working);
  if (!first) {
    nError = AVIERR_MEMORY;
    AVIFileAbandon(file);
    AVIFileRelease(file);
    return false;
  }

  AVISTREAMINFO info;
  info.fccType = streamtypeVIDEO;
  info.fccHandler = 0;
  info.dwScale = 1;
  info.dwRate = uint32_t(nRate);
  info.dwSuggestedBufferSize = first->header().biSizeImage;
  info.rcFrame = {0, 0, frameWidth, frameHeight};
  PAVISTREAM raw = nullptr, compressed = nullptr;
  nError = AVIFileCreateStream(file, &raw, &info);
  if (nError == 0) nError = AVIMakeCompressedStream(&compressed, raw, &options);
  if (nError == 0) {
    nError = AVIStreamSetFormat(compressed, 0, first->block().data(),
                                int32_t(first->bitsOffset()));
  }
  first.reset();
  if (nError != 0) {
    AVIStreamRelease(compressed);
    AVIStreamRelease(raw);
    AVIFileAbandon(file);
    AVIFileRelease(file);
    return false;
  }

  DeferringHost deferring(host);
  HostSwap swap(&deferring);
  const size_t count = aFileNames.size();
  // The logo keeps lazily made drawing state, so the two threads take turns with it.
  std::mutex logoMutex;
  auto stamp = [&](CBmp& image) {
    if (!applyLogo) return;
    std::lock_guard<std::mutex> lock(logoMutex);
    applyLogo(image);
  };
  auto prepare = [&, frameWidth, frameHeight](size_t i) {
    Prepared p;
    p.loaded = p.image.Load(aFileNames[i]);
    if (p.loaded) {
      p.image.SetTransparent(false);
      p.image.GetSize(p.width, p.height);
      if (p.width == frameWidth && p.height == frameHeight) {
        stamp(p.image);
        p.dib = FrameToDib(p.image);
      }
    }
    return p;
  };
  std::future<Prepared> next;
  auto launch = [&](size_t i) {
    if (pipelined && i < count) next = std::async(std::launch::async, [&, i] {
      Prepared p = prepare(i);
      p.messages = deferring.TakeHeld();
      return p;
    });
  };

  SizePolicy policy;
  int64_t sample = 0;
  host.BeginProgress("Creating AVI", int64_t(count));
  launch(1);
  for (size_t i = 0; i < count && nError == 0; ++i) {
    std::optional<PackedDib> dib;
    uint32_t repeat = aFrameCounts[i] ? aFrameCounts[i] : 1;
    if (i == 0) {
      stamp(working);
      dib = FrameToDib(working);
    } else {
      Prepared p = pipelined ? next.get() : prepare(i);
      deferring.Show(p.messages);
      if (p.loaded) launch(i + 1);
      const std::string& name = aFileNames[i];
      if (!p.loaded) {
        host.Message(kCouldNotLoad + name);
        break;  // the AVI keeps what was written and counts as made
      }
      if (!p.dib) {
        FitResult fit = FitToFrame(p.image, name, frameWidth, frameHeight, policy);
        if (fit == FitResult::Skip) {
          host.UpdateProgress(int64_t(i + 1));
          continue;
        }
        if (fit == FitResult::Stop) break;
        stamp(p.image);
        p.dib = FrameToDib(p.image);
      }
      host.SetStatusText(std::to_string(i + 1) + " of " + std::to_string(count) + ": " + name);
      dib = std::move(p.dib);
    }
    if (!dib) {
      nError = AVIERR_MEMORY;
      break;
    }
    // A repeated image is converted once and its rows written `repeat` times.
    for (uint32_t r = 0; r < repeat; ++r) {
      if (sample >= INT32_MAX) {
        nError = AVIERR_BADSIZE;
        break;
      }
      nError = AVIStreamWrite(compressed, int32_t(sample), 1, dib->bits(),
                              int32_t(dib->header().biSizeImage), AVIIF_KEYFRAME);
      if (nError != 0) break;
      ++sample;
    }
    host.UpdateProgress(int64_t(i + 1));
  }
  if (next.valid()) next.wait();
  host.EndProgress();
  framesWritten_ = sample;
  if (nError != 0) AVIFileAbandon(file);
  AVIStreamRelease(raw);
  AVIStreamRelease(compressed);
  HRESULT closed = AVIFileClose(file);
  if (nError == 0) nError = closed;
  return nError == 0;
}

}  // namespace zr
