// The AVI file layer against an independent reader (ffprobe/ffmpeg) and against itself.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>

#include "platform/avifile/avifile.h"
#include "support/fake_host.h"
#include "support/temp_dir.h"

namespace zr {
namespace {

using test::RunCommand;
using test::TempDir;

// A DIB as the layer sees one (the image library sits above this layer).
struct Dib {
  BitmapInfoHeader h;
  std::vector<RgbQuad> table;
  std::vector<uint8_t> bits;
  int width() const { return h.biWidth; }
  int height() const { return h.biHeight; }
  int bitCount() const { return h.biBitCount; }
  uint32_t stride() const { return DibStride(h.biWidth, h.biBitCount); }
  uint8_t* rowFromTop(int y) { return bits.data() + size_t(height() - 1 - y) * stride(); }
  const uint8_t* rowFromTop(int y) const {
    return bits.data() + size_t(height() - 1 - y) * stride();
  }
  std::vector<uint8_t> format() const {
    std::vector<uint8_t> f(40 + 4 * table.size());
    std::memcpy(f.data(), &h, 40);
    if (!table.empty()) std::memcpy(f.data() + 40, table.data(), 4 * table.size());
    return f;
  }
  static Dib Make(int w, int hgt, int bits) {
    Dib d;
    d.h.biWidth = w;
    d.h.biHeight = hgt;
    d.h.biBitCount = uint16_t(bits);
    d.h.biSizeImage = DibStride(w, bits) * uint32_t(hgt);
    d.h.biClrUsed = bits == 8 ? 256 : 0;
    d.table.resize(d.h.biClrUsed);
    d.bits.resize(d.h.biSizeImage);
    return d;
  }
  // Copies a DIB the layer handed out (header, table, rows).
  static Dib From(const BitmapInfoHeader* p) {
    Dib d = Make(p->biWidth, p->biHeight, p->biBitCount);
    const uint8_t* at = reinterpret_cast<const uint8_t*>(p) + 40;
    if (!d.table.empty()) std::memcpy(d.table.data(), at, 4 * d.table.size());
    std::memcpy(d.bits.data(), at + 4 * d.table.size(), d.bits.size());
    return d;
  }
};

// A picture with edges and gradients, so a flipped, shifted or mis-coloured frame shows.
Dib MakeFrame(int w, int h, int bits, int seed) {
  Dib dib = Dib::Make(w, h, bits);
  for (size_t i = 0; i < dib.table.size(); ++i) {
    dib.table[i] = RgbQuad{uint8_t(i), uint8_t(255 - i), uint8_t((i * 3) & 255), 0};
  }
  for (int y = 0; y < h; ++y) {
    uint8_t* row = dib.rowFromTop(y);
    for (int x = 0; x < w; ++x) {
      int r = (x * 255) / std::max(1, w - 1), g = (y * 255) / std::max(1, h - 1);
      int b = ((x / 8 + y / 8 + seed) & 1) ? 220 : 30;
      if (bits == 24) {
        row[3 * x] = uint8_t(b), row[3 * x + 1] = uint8_t(g), row[3 * x + 2] = uint8_t(r);
      } else if (bits == 16) {
        uint16_t v = uint16_t(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
        std::memcpy(row + 2 * x, &v, 2);
      } else {
        row[x] = uint8_t((x / 4 + (y / 4) * 16 + seed * 17) & 255);
      }
    }
  }
  return dib;
}

struct Written {
  HRESULT open = 0, create = 0, compress = 0, format = 0, write = 0, close = 0;
};

Written WriteAvi(const std::string& path, const std::vector<Dib>& frames, uint32_t rate,
                 uint32_t fourcc, uint32_t keyEvery = 20, uint32_t quality = 10000) {
  Written r;
  PAVIFILE file = nullptr;
  r.open = AVIFileOpen(&file, path, OF_CREATE | OF_WRITE);
  if (r.open) return r;
  AVISTREAMINFO info;
  info.fccType = streamtypeVIDEO;
  info.dwScale = 1;
  info.dwRate = rate;
  info.dwSuggestedBufferSize = frames[0].h.biSizeImage;
  info.rcFrame = {0, 0, frames[0].width(), frames[0].height()};
  PAVISTREAM raw = nullptr, comp = nullptr;
  r.create = AVIFileCreateStream(file, &raw, &info);
  if (!r.create) {
    AVICOMPRESSOPTIONS opts;
    opts.fccType = streamtypeVIDEO;
    opts.fccHandler = fourcc;
    opts.dwKeyFrameEvery = keyEvery;
    opts.dwQuality = quality;
    opts.dwFlags = AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_VALID;
    r.compress = AVIMakeCompressedStream(&comp, raw, &opts);
  }
  if (!r.create && !r.compress) {
    std::vector<uint8_t> f0 = frames[0].format();
    r.format = AVIStreamSetFormat(comp, 0, f0.data(), int32_t(f0.size()));
    for (size_t i = 0; i < frames.size() && !r.format && !r.write; ++i) {
      r.write = AVIStreamWrite(comp, int32_t(i), 1, frames[i].bits.data(),
                               int32_t(frames[i].bits.size()), AVIIF_KEYFRAME);
    }
  }
  AVIStreamRelease(raw);
  AVIStreamRelease(comp);
  r.close = AVIFileClose(file);
  return r;
}

std::string Probe(const std::string& path, const std::string& entries) {
  std::string out;
  RunCommand("ffprobe -v error -count_frames -show_entries " + entries +
                 " -of default=noprint_wrappers=1 '" + path + "'",
             &out);
  return out;
}

// Decodes the first video stream with ffmpeg to top-down RGB24.
std::string FfmpegRgb(const std::string& path, std::string* errors = nullptr) {
  TempDir dir;
  std::string raw = dir.file("out.rgb");
  std::string log;
  RunCommand("ffmpeg -v error -i '" + path + "' -f rawvideo -pix_fmt rgb24 '" + raw + "' 2>&1",
             &log);
  if (errors) *errors = log;
  return test::ReadBytes(raw);
}

// Top-down RGB24 of a DIB, the way ffmpeg delivers it.
std::string DibRgb(const Dib& d) {
  std::string out;
  for (int y = 0; y < d.height(); ++y) {
    const uint8_t* row = d.rowFromTop(y);
    for (int x = 0; x < d.width(); ++x) {
      uint8_t r, g, b;
      if (d.bitCount() == 24 || d.bitCount() == 32) {
        int n = d.bitCount() / 8;
        b = row[n * x], g = row[n * x + 1], r = row[n * x + 2];
      } else if (d.bitCount() == 16) {
        uint16_t v;
        std::memcpy(&v, row + 2 * x, 2);
        auto wide = [](int c) { return uint8_t((c << 3) | (c >> 2)); };
        r = wide((v >> 10) & 31), g = wide((v >> 5) & 31), b = wide(v & 31);
      } else {
        RgbQuad q = d.table[row[x]];
        r = q.red, g = q.green, b = q.blue;
      }
      out += char(r);
      out += char(g);
      out += char(b);
    }
  }
  return out;
}

double Psnr(const std::string& a, const std::string& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    double d = double(uint8_t(a[i])) - double(uint8_t(b[i]));
    sum += d * d;
  }
  if (sum == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 / (sum / double(a.size())));
}

TEST(AviWrite, StoredFramesReadBackExactlyAtEveryDepth) {
  TempDir dir;
  for (int bits : {8, 16, 24}) {
    SCOPED_TRACE(bits);
    std::vector<Dib> frames;
    for (int i = 0; i < 3; ++i) frames.push_back(MakeFrame(33, 17, bits, i));
    std::string path = dir.file("dib" + std::to_string(bits) + ".avi");
    Written w = WriteAvi(path, frames, 12, kCompressorDib);
    ASSERT_EQ(w.open | w.create | w.compress | w.format | w.write | w.close, 0);

    std::string probe = Probe(path, "stream=width,height,r_frame_rate,nb_read_frames");
    EXPECT_NE(probe.find("width=33"), std::string::npos) << probe;
    EXPECT_NE(probe.find("height=17"), std::string::npos) << probe;
    EXPECT_NE(probe.find("r_frame_rate=12/1"), std::string::npos) << probe;
    EXPECT_NE(probe.find("nb_read_frames=3"), std::string::npos) << probe;
    std::string expected;
    for (auto& f : frames) expected += DibRgb(f);
    EXPECT_EQ(FfmpegRgb(path), expected);

    PAVIFILE file = nullptr;
    ASSERT_EQ(AVIFileOpen(&file, path, OF_READ), 0);
    AVIFILEINFO fi;
    ASSERT_EQ(AVIFileInfo(file, &fi, sizeof fi), 0);
    EXPECT_EQ(fi.dwStreams, 1u);
    EXPECT_EQ(fi.dwWidth, 33u);
    EXPECT_EQ(fi.dwHeight, 17u);
    EXPECT_EQ(fi.dwRate / fi.dwScale, 12u);
    EXPECT_EQ(fi.dwLength, 3u);
    PAVISTREAM s = nullptr;
    ASSERT_EQ(AVIFileGetStream(file, &s, streamtypeVIDEO, 0), 0);
    AVIFileRelease(file);  // the stream keeps the file open
    PGETFRAME g = AVIStreamGetFrameOpen(s);
    ASSERT_NE(g, nullptr);
    // Backwards and repeated access as well as forwards.
    for (int i : {0, 1, 2, 1, 0, 2}) {
      const BitmapInfoHeader* h = AVIStreamGetFrame(g, i);
      ASSERT_NE(h, nullptr) << i;
      EXPECT_EQ(h->biBitCount, bits);
      EXPECT_EQ(h->biCompression, BI_RGB);
      EXPECT_EQ(h->biClrUsed, bits == 8 ? 256u : 0u);
      EXPECT_EQ(DibRgb(Dib::From(h)), DibRgb(frames[size_t(i)])) << "frame " << i;
    }
    EXPECT_EQ(AVIStreamGetFrame(g, 3), nullptr);
    EXPECT_EQ(AVIStreamGetFrameClose(g), 0);
    AVIStreamRelease(s);
  }
}

TEST(AviWrite, EveryAvailableCompressorMakesADecodableFileAtEveryDepth) {
  TempDir dir;
  for (const AviCompressor& c : AviCompressors()) {
    if (!c.available) continue;
    for (int bits : {8, 16, 24}) {
      SCOPED_TRACE(c.name + " " + std::to_string(bits));
      std::vector<Dib> frames;
      for (int i = 0; i < 4; ++i) frames.push_back(MakeFrame(64, 48, bits, i));
      std::string path = dir.file(FourCCToString(c.fourcc) + std::to_string(bits) + ".avi");
      Written w = WriteAvi(path, frames, 10, c.fourcc);
      ASSERT_EQ(w.open | w.create | w.compress | w.format | w.write | w.close, 0)
          << AviErrorName(w.compress) << AviErrorName(w.format) << AviErrorName(w.write);
      std::string errors;
      std::string got = FfmpegRgb(path, &errors);
      EXPECT_EQ(errors, "");
      std::string expected;
      for (auto& f : frames) expected += DibRgb(f);
      ASSERT_EQ(got.size(), expected.size());
      double psnr = Psnr(got, expected);
      bool lossless = c.fourcc == kCompressorDib || FourCCToString(c.fourcc) == "FFV1" ||
                      FourCCToString(c.fourcc) == "HFYU" || FourCCToString(c.fourcc) == "ZMBV";
      if (lossless && !(FourCCToString(c.fourcc) == "HFYU" && bits == 8)) {
        EXPECT_EQ(psnr, 99) << psnr;
      } else {
        EXPECT_GT(psnr, 20) << psnr;
      }
      // Our own reader decodes it too, to the same size.
      PAVIFILE file = nullptr;
      ASSERT_EQ(AVIFileOpen(&file, path, OF_READ), 0);
      PAVISTREAM s = nullptr;
      ASSERT_EQ(AVIFileGetStream(file, &s, streamtypeVIDEO, 0), 0);
      EXPECT_EQ(AVIStreamLength(s), 4);
      PGETFRAME g = AVIStreamGetFrameOpen(s);
      ASSERT_NE(g, nullptr);
      const BitmapInfoHeader* h = AVIStreamGetFrame(g, 3);
      ASSERT_NE(h, nullptr);
      EXPECT_EQ(h->biWidth, 64);
      EXPECT_EQ(h->biHeight, 48);
      AVIStreamGetFrameClose(g);
      AVIStreamRelease(s);
      AVIFileRelease(file);
    }
  }
}

TEST(AviWrite, KeyFrameIntervalReachesTheCompressor) {
  TempDir dir;
  std::vector<Dib> frames;
  // A still picture: only the interval, not a change of scene, can make a key frame.
  for (int i = 0; i < 12; ++i) frames.push_back(MakeFrame(32, 32, 16, 0));
  std::string path = dir.file("key.avi");
  Written w = WriteAvi(path, frames, 10, kCompressorVideo1, 5);
  ASSERT_EQ(w.write | w.close, 0);
  std::string out;
  RunCommand("ffprobe -v error -select_streams v -show_entries packet=flags -of csv=p=0 '" + path +
                 "'",
             &out);
  std::string keys;
  for (size_t i = 0; i < out.size(); ++i) {
    if (out[i] == 'K' || (out[i] == '_' && (i == 0 || out[i - 1] == '\n'))) keys += out[i];
  }
  EXPECT_EQ(keys, "K____K____K_");
}

// Stored frames written by another program come out of FFmpeg bottom-up, with a negative
// line size; each DIB must still match an independent decode.
TEST(AviRead, FramesWithANegativeLineSizeGiveTheSameDib) {
  TempDir dir;
  for (const char* format : {"pal8", "bgr24"}) {
    SCOPED_TRACE(format);
    std::string path = dir.file(std::string(format) + ".avi");
    std::string log;
    ASSERT_EQ(RunCommand(std::string("ffmpeg -nostdin -y -v error -f lavfi -i "
                                     "testsrc=size=33x17:rate=5 -frames:v 3 -pix_fmt ") +
                             format + " -c:v rawvideo '" + path + "' 2>&1",
                         &log),
              0)
        << log;
    std::string expected = FfmpegRgb(path);
    ASSERT_EQ(expected.size(), size_t(3 * 33 * 17 * 3));
    PAVIFILE file = nullptr;
    ASSERT_EQ(AVIFileOpen(&file, path, OF_READ), 0);
    PAVISTREAM s = nullptr;
    ASSERT_EQ(AVIFileGetStream(file, &s, streamtypeVIDEO, 0), 0);
    AVIFileRelease(file);
    PGETFRAME g = AVIStreamGetFrameOpen(s);
    ASSERT_NE(g, nullptr);
    std::string got;
    for (int i = 0; i < 3; ++i) {
      const BitmapInfoHeader* h = AVIStreamGetFrame(g, i);
      ASSERT_NE(h, nullptr) << i;
      got += DibRgb(Dib::From(h));
    }
    EXPECT_EQ(got, expected);
    AVIStreamGetFrameClose(g);
    AVIStreamRelease(s);
  }
}

TEST(AviErrors, EachFailureGivesItsCode) {
  TempDir dir;
  PAVIFILE file = nullptr;
  EXPECT_EQ(AVIFileOpen(&file, dir.file("missing.avi"), OF_READ), AVIERR_FILEOPEN);
  EXPECT_EQ(file, nullptr);
  test::WriteBytes(dir.file("junk.avi"), std::string(200, 'x'));
  EXPECT_EQ(AVIFileOpen(&file, dir.file("junk.avi"), OF_READ), AVIERR_BADFORMAT);
  EXPECT_EQ(AVIFileOpen(&file, dir.file("out.mp4"), OF_CREATE | OF_WRITE), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(AVIFileOpen(&file, dir.file("no/such/folder/out.avi"), OF_CREATE | OF_WRITE),
            AVIERR_FILEOPEN);

  std::vector<Dib> frames{MakeFrame(8, 8, 24, 0)};
  Written w = WriteAvi(dir.file("zero.avi"), frames, 0, kCompressorVideo1);
  EXPECT_EQ(w.create, AVIERR_BADPARAM);
  w = WriteAvi(dir.file("neg.avi"), frames, uint32_t(-5), kCompressorVideo1);
  EXPECT_EQ(w.create, AVIERR_BADPARAM);
  w = WriteAvi(dir.file("xyz.avi"), frames, 10, MakeFourCC('x', 'y', 'z', 'w'));
  EXPECT_EQ(w.compress, AVIERR_NOCOMPRESSOR);
  // Nothing is left behind by the failed writes.
  EXPECT_FALSE(std::ifstream(dir.file("zero.avi")).good());
  EXPECT_FALSE(std::ifstream(dir.file("xyz.avi")).good());

  EXPECT_EQ(AVIFileInfo(nullptr, nullptr, 0), AVIERR_BADHANDLE);
  EXPECT_EQ(AVIStreamLength(nullptr), -1);
  EXPECT_EQ(AVIStreamGetFrameOpen(nullptr), nullptr);
}

TEST(AviErrors, AFailedWriteKeepsTheOldFile) {
  TempDir dir;
  std::string path = dir.file("keep.avi");
  test::WriteBytes(path, "old contents");
  PAVIFILE file = nullptr;
  ASSERT_EQ(AVIFileOpen(&file, path, OF_CREATE | OF_WRITE), 0);
  AVIFileAbandon(file);
  AVIFileRelease(file);
  EXPECT_EQ(test::ReadBytes(path), "old contents");
  // A complete write replaces it.
  std::vector<Dib> frames{MakeFrame(8, 8, 24, 0)};
  ASSERT_EQ(WriteAvi(path, frames, 10, kCompressorDib).close, 0);
  EXPECT_NE(test::ReadBytes(path), "old contents");
}

class AviSound : public ::testing::Test {
 protected:
  void SetUp() override {
    wav48 = dir.file("s48.wav");
    adpcm = dir.file("adpcm.wav");
    ASSERT_EQ(RunCommand("ffmpeg -v error -f lavfi -i sine=f=440:r=48000:d=0.5 -ac 2 -c:a "
                         "pcm_s16le -y '" + wav48 + "'"),
              0);
    ASSERT_EQ(RunCommand("ffmpeg -v error -f lavfi -i sine=f=440:r=22050:d=0.5 -c:a adpcm_ms -y '" +
                         adpcm + "'"),
              0);
  }
  TempDir dir;
  std::string wav48, adpcm;
};

WAVEFORMATEX ReadWaveFormat(PAVISTREAM s, std::vector<uint8_t>* all = nullptr) {
  int32_t size = 0;
  EXPECT_EQ(AVIStreamReadFormat(s, 0, nullptr, &size), 0);
  std::vector<uint8_t> buf(size_t(std::max(size, 18)));
  EXPECT_EQ(AVIStreamReadFormat(s, 0, buf.data(), &size), 0);
  WAVEFORMATEX w;
  std::memcpy(static_cast<void*>(&w), buf.data(), sizeof w);
  if (all) *all = buf;
  return w;
}

TEST_F(AviSound, WaveFilesReportTheirRealFormatAndRawSamples) {
  PAVIFILE file = nullptr;
  ASSERT_EQ(AVIFileOpen(&file, wav48, OF_READ), 0);
  AVIFILEINFO fi;
  AVIFileInfo(file, &fi, sizeof fi);
  EXPECT_EQ(fi.dwStreams, 1u);
  PAVISTREAM s = nullptr;
  ASSERT_EQ(AVIFileGetStream(file, &s, streamtypeAUDIO, 0), 0);
  EXPECT_NE(AVIFileGetStream(file, nullptr, streamtypeVIDEO, 0), 0);
  WAVEFORMATEX w = ReadWaveFormat(s);
  EXPECT_EQ(w.wFormatTag, 1);
  EXPECT_EQ(w.nChannels, 2);
  EXPECT_EQ(w.nSamplesPerSec, 48000u);
  EXPECT_EQ(w.wBitsPerSample, 16);
  EXPECT_EQ(w.nBlockAlign, 4);
  AVISTREAMINFO si;
  ASSERT_EQ(AVIStreamInfo(s, &si, sizeof si), 0);
  EXPECT_EQ(si.dwLength, 24000u);
  EXPECT_EQ(si.dwSampleSize, 4u);

  // The raw sample bytes are the data chunk of the file.
  std::string bytes = test::ReadBytes(wav48);
  size_t data = bytes.find("data");
  ASSERT_NE(data, std::string::npos);
  std::string pcm = bytes.substr(data + 8);
  std::vector<uint8_t> buf(4608);
  int32_t got = 0, samples = 0;
  // Out of order: a later block, then an earlier one.
  for (int32_t start : {1000, 10, 23990}) {
    ASSERT_EQ(AVIStreamRead(s, start, 1152, buf.data(), int32_t(buf.size()), &got, &samples), 0);
    int32_t expect = std::min(1152, 24000 - start);
    EXPECT_EQ(samples, expect);
    EXPECT_EQ(got, expect * 4);
    EXPECT_EQ(std::memcmp(buf.data(), pcm.data() + size_t(start) * 4, size_t(got)), 0) << start;
  }
  EXPECT_EQ(AVIStreamRead(s, 24000, 10, buf.data(), 40, &got, &samples), 0);
  EXPECT_EQ(samples, 0);
  EXPECT_EQ(AVIStreamRead(s, 0, 10, buf.data(), 3, &got, &samples), AVIERR_BUFFERTOOSMALL);
  AVIStreamRelease(s);
  AVIFileRelease(file);

  ASSERT_EQ(AVIFileOpen(&file, adpcm, OF_READ), 0);
  ASSERT_EQ(AVIFileGetStream(file, &s, 0, 0), 0);
  std::vector<uint8_t> all;
  w = ReadWaveFormat(s, &all);
  EXPECT_EQ(w.wFormatTag, 2);  // MS ADPCM, unconverted
  EXPECT_EQ(w.nSamplesPerSec, 22050u);
  EXPECT_EQ(w.wBitsPerSample, 4);
  EXPECT_EQ(all.size(), 18u + w.cbSize);
  EXPECT_GT(w.cbSize, 0);
  AVIStreamRelease(s);
  AVIFileRelease(file);
}

// A one-track MIDI file: a few notes on a piano (none for a silent song).
std::string SmallMidi(std::initializer_list<int> notes = {60, 64, 67}) {
  std::string track;
  auto ev = [&](std::initializer_list<int> b) {
    for (int v : b) track += char(v);
  };
  for (int note : notes) {
    ev({0x00, 0x90, note, 100});
    ev({0x83, 0x60, 0x80, note, 0});  // 480 ticks later
  }
  if (notes.size() == 0) ev({0x83, 0x60, 0xB0, 7, 100});  // a second of nothing
  ev({0x00, 0xFF, 0x2F, 0x00});
  std::string m = std::string("MThd\0\0\0\6\0\0\0\1\1\xE0", 14);
  m += "MTrk";
  uint32_t n = uint32_t(track.size());
  m += char(n >> 24), m += char(n >> 16), m += char(n >> 8), m += char(n);
  return m + track;
}

TEST_F(AviSound, MidiIsRenderedToPcmWithTheSoundFont) {
  std::string mid = dir.file("tune.mid");
  test::WriteBytes(mid, SmallMidi());
  PAVIFILE file = nullptr;
  ASSERT_EQ(AVIFileOpen(&file, mid, OF_READ), 0);
  PAVISTREAM s = nullptr;
  ASSERT_EQ(AVIFileGetStream(file, &s, streamtypeAUDIO, 0), 0);
  WAVEFORMATEX w = ReadWaveFormat(s);
  EXPECT_EQ(w.wFormatTag, 1);
  EXPECT_EQ(w.nChannels, 2);
  EXPECT_EQ(w.nSamplesPerSec, 44100u);
  EXPECT_EQ(w.wBitsPerSample, 16);
  // Three half-second notes at 120 beats a minute, plus the ring-out.
  int32_t length = AVIStreamLength(s);
  EXPECT_GT(length, 44100 * 3 / 2);
  EXPECT_LT(length, 44100 * 4);
  std::vector<int16_t> pcm(2 * 4410);
  int32_t got = 0, samples = 0;
  ASSERT_EQ(AVIStreamRead(s, 4410, 4410, pcm.data(), int32_t(pcm.size() * 2), &got, &samples), 0);
  int peak = 0;
  for (int16_t v : pcm) peak = std::max(peak, std::abs(int(v)));
  EXPECT_GT(peak, 500) << "the note should sound";
  AVIStreamRelease(s);
  AVIFileRelease(file);

  EXPECT_EQ(AviOpenMidi(&file, mid, dir.file("none.sf2")), AVIERR_FILEOPEN);
}

// Each refusal of the MIDI reader keeps its result code and names its fault.
TEST_F(AviSound, MidiFilesThatCannotSoundNameTheirFault) {
  test::WriteBytes(dir.file("tune.mid"), SmallMidi());
  test::WriteBytes(dir.file("text.mid"), "not a song, only some text");
  std::string riff = std::string("RIFF\x1c\0\0\0RMIDdata\x10\0\0\0", 20) + std::string(16, 'x');
  test::WriteBytes(dir.file("wrapped.mid"), riff);
  struct Case {
    const char* name;
    const char* font;  // empty: the installed one
    HRESULT code;
    MidiError error;
    const char* detail;
  } cases[] = {
      {"none.mid", "", AVIERR_FILEOPEN, MidiError::CannotRead, "MIDI: cannot read the file"},
      {"text.mid", "", AVIERR_BADFORMAT, MidiError::NotMidi, "MIDI: no MThd header at byte 0"},
      {"wrapped.mid", "", AVIERR_BADFORMAT, MidiError::NotMidi, "no MThd header at byte 20"},
      {"tune.mid", "none.sf2", AVIERR_FILEOPEN, MidiError::NoSoundFont, "sound font missing"},
      {"tune.mid", "text.mid", AVIERR_FILEOPEN, MidiError::BadSoundFont, "cannot be loaded"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.font);
    PAVIFILE file = nullptr;
    MidiFault fault;
    const std::string font = *c.font ? dir.file(c.font) : MidiSoundFont();
    EXPECT_EQ(AviOpenMidi(&file, dir.file(c.name), font, &fault), c.code);
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(fault.error, c.error);
    EXPECT_NE(MidiFaultDetail(fault).find(c.detail), std::string::npos) << MidiFaultDetail(fault);
  }
}

// The whole rendered song's largest sample magnitude, in dBFS (-inf for silence).
double MidiPeakDb(const std::string& mid) {
  PAVIFILE file = nullptr;
  if (AVIFileOpen(&file, mid, OF_READ) != 0) return 99;
  PAVISTREAM s = nullptr;
  if (AVIFileGetStream(file, &s, streamtypeAUDIO, 0) != 0) return 99;
  int32_t length = AVIStreamLength(s);
  std::vector<int16_t> pcm(2 * size_t(length));
  int32_t got = 0, samples = 0;
  AVIStreamRead(s, 0, length, pcm.data(), int32_t(pcm.size() * 2), &got, &samples);
  AVIStreamRelease(s);
  AVIFileRelease(file);
  int peak = 0;
  for (int16_t v : pcm) peak = std::max(peak, std::abs(int(v)));
  return 20 * std::log10(peak / 32768.0);
}

TEST_F(AviSound, MidiIsNormalisedToMinusOneDbfsAndSilenceStaysSilent) {
  std::string loud = dir.file("loud.mid"), soft = dir.file("soft.mid"), quiet = dir.file("q.mid");
  test::WriteBytes(loud, SmallMidi());
  test::WriteBytes(soft, SmallMidi({72}));
  test::WriteBytes(quiet, SmallMidi({}));
  EXPECT_NEAR(MidiPeakDb(loud), -1.0, 0.5);
  EXPECT_NEAR(MidiPeakDb(soft), -1.0, 0.5);
  EXPECT_TRUE(std::isinf(MidiPeakDb(quiet))) << "silence must not be amplified";
}

TEST_F(AviSound, SaveCopiesStreamsUnconvertedByExtension) {
  std::vector<Dib> frames;
  for (int i = 0; i < 5; ++i) frames.push_back(MakeFrame(16, 16, 24, i));
  std::string video = dir.file("v.avi");
  ASSERT_EQ(WriteAvi(video, frames, 10, kCompressorVideo1).close, 0);

  PAVIFILE vf = nullptr, af = nullptr;
  ASSERT_EQ(AVIFileOpen(&vf, video, OF_READ), 0);
  ASSERT_EQ(AVIFileOpen(&af, adpcm, OF_READ), 0);
  PAVISTREAM streams[2] = {};
  ASSERT_EQ(AVIFileGetStream(vf, &streams[0], 0, 0), 0);
  ASSERT_EQ(AVIFileGetStream(af, &streams[1], 0, 0), 0);
  AVIFileRelease(vf);
  AVIFileRelease(af);
  AVICOMPRESSOPTIONS o[2];
  AVICOMPRESSOPTIONS* op[2] = {&o[0], &o[1]};
  std::string merged = dir.file("merged.avi");
  ASSERT_EQ(AVISaveV(merged, nullptr, nullptr, 2, streams, op), 0);
  std::string probe = Probe(merged, "stream=codec_type,codec_name,sample_rate,nb_read_frames");
  EXPECT_NE(probe.find("codec_name=msvideo1"), std::string::npos) << probe;
  EXPECT_NE(probe.find("nb_read_frames=5"), std::string::npos) << probe;
  EXPECT_NE(probe.find("codec_name=adpcm_ms"), std::string::npos) << probe;
  EXPECT_NE(probe.find("sample_rate=22050"), std::string::npos) << probe;

  EXPECT_EQ(AVISaveV(dir.file("merged.mp4"), nullptr, nullptr, 2, streams, op),
            REGDB_E_CLASSNOTREG);
  // A WAV holds the sound alone.
  std::string wav = dir.file("sound.wav");
  ASSERT_EQ(AVISaveV(wav, nullptr, nullptr, 2, streams, op), 0);
  probe = Probe(wav, "stream=codec_name");
  EXPECT_EQ(probe, "codec_name=adpcm_ms\n");
  // Asking for another sound format is a conversion the copy does not do.
  WAVEFORMATEX other;
  other.wFormatTag = 1;
  other.nChannels = 2;
  other.nSamplesPerSec = 8000;
  o[1].lpFormat = &other;
  o[1].cbFormat = sizeof other;
  EXPECT_EQ(AVISaveV(dir.file("x.avi"), nullptr, nullptr, 2, streams, op), AVIERR_UNSUPPORTED);
  AVIStreamRelease(streams[0]);
  AVIStreamRelease(streams[1]);
}

TEST(AviCompressorsList, NamesTheDefaultAndStoredCompressors) {
  bool video1 = false, dib = false;
  for (auto& c : AviCompressors()) {
    video1 |= c.fourcc == kCompressorVideo1 && c.available;
    dib |= c.fourcc == kCompressorDib && c.available;
  }
  EXPECT_TRUE(video1);
  EXPECT_TRUE(dib);
  EXPECT_EQ(FourCCFromString("DIB"), kCompressorDib);
  EXPECT_EQ(FourCCToString(kCompressorVideo1), "msvc");
}

}  // namespace
}  // namespace zr
