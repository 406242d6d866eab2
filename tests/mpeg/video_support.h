// Helpers of the video encoder tests: synthetic pictures, encoding into a file, decoding
// with the ffmpeg command as an independent decoder, PSNR of planes.
#pragma once

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "mpeg/convert_log.h"
#include "mpeg/video/encoder.h"
#include "mpeg/video/params.h"
#include "support/temp_dir.h"

namespace zr::mpeg::test {

// A textured pattern that pans and sways, with fine detail so every coding mode occurs.
class MovingPattern : public PictureSource {
 public:
  explicit MovingPattern(int visibleWidth, int visibleHeight, double speed = 1.0)
      : w_(visibleWidth), h_(visibleHeight), speed_(speed) {}
  bool ReadPicture(int codedFrame, int repeat, Frame& f, ConvertLog&) override {
    const double t = double(codedFrame / repeat) * speed_;
    for (int y = 0; y < f.height; ++y)
      for (int x = 0; x < f.width; ++x) {
        double u = x + 2.5 * t, v = y + 1.5 * t + 3 * std::sin(t * 0.2);
        double val = 128 + 50 * std::sin(u * 0.21) * std::cos(v * 0.17) +
                     30 * ((int(u / 8) + int(v / 8)) % 2) - 15 + 20 * std::sin((u * u + v) * 0.003);
        bool inside = x < w_ && y < h_;
        f.y[size_t(y) * f.width + x] = inside ? uint8_t(std::clamp(val, 0.0, 255.0)) : 0;
      }
    for (int y = 0; y < f.height / 2; ++y)
      for (int x = 0; x < f.width / 2; ++x) {
        double u = x + 1.25 * t, v = y;
        f.cb[size_t(y) * (f.width / 2) + x] = uint8_t(128 + 40 * std::sin(u * 0.1));
        f.cr[size_t(y) * (f.width / 2) + x] = uint8_t(128 + 40 * std::cos(v * 0.13 + t * 0.05));
      }
    return true;
  }

 private:
  int w_, h_;
  double speed_;
};

// Pictures by display index, as the encoder reconstructs them.
struct Collected {
  std::map<int, Frame> pictures;
  VideoEncoder::PictureHook hook() {
    return [this](int display, const Frame& f) { pictures[display] = f; };
  }
};

// A small parameter set as SetVideoParameters makes it for a sound-less AVI.
inline VideoParams ParamsFor(int width, int height, int frames, int rate = 25,
                             RecordingLog* logOut = nullptr) {
  VideoSettings settings;
  settings.noAudio = true;
  VideoSourceInfo info;
  info.width = uint32_t(width);
  info.height = uint32_t(height);
  info.rate = uint32_t(rate);
  info.scale = 1;
  info.length = uint32_t(frames);
  RecordingLog log;
  VideoParams p;
  SetVideoParameters(info, settings, log, p);
  if (logOut) *logOut = log;
  return p;
}

// Encodes into `path`; returns false when the encoder did.
inline bool EncodeToFile(VideoEncoder& encoder, PictureSource& source, const VideoParams& p,
                         const std::string& path, ConvertLog& log, int threads = 1) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = encoder.EncodeStream(source, p, f, log, threads);
  return std::fclose(f) == 0 && ok;
}

// Decoded pictures of a stream, horizontal_size x vertical_size each, yuv420p.
struct Decoded {
  bool ok = false;
  std::string errors;
  std::vector<std::vector<uint8_t>> frames;
};

// What `ffmpeg -v error -i m1v -f null -` reports, less the null muxer's complaint about
// the timestamps it guesses for a short raw stream ending in a B picture (it says the same
// of its own encoder's streams).
inline std::string DecodeErrors(const std::string& m1v) {
  std::string out, kept;
  zr::test::RunCommand("ffmpeg -nostdin -v error -i '" + m1v + "' -f null - 2>&1", &out);
  size_t pos = 0;
  while (pos < out.size()) {
    size_t end = out.find('\n', pos);
    if (end == std::string::npos) end = out.size();
    std::string line = out.substr(pos, end - pos);
    if (line.find("non monotonically increasing dts to muxer") == std::string::npos && !line.empty())
      kept += line + "\n";
    pos = end + 1;
  }
  return kept;
}

inline Decoded DecodeWithFfmpeg(const std::string& m1v, int width, int height,
                                const zr::test::TempDir& dir) {
  Decoded d;
  // Decoding errors only: muxing a raw stream's guessed timestamps may warn on its own.
  d.errors = DecodeErrors(m1v);
  std::string muxLog;
  std::string yuv = dir.file("decoded.yuv");
  std::string cmd = "ffmpeg -nostdin -y -v error -i '" + m1v +
                    "' -fps_mode passthrough -f image2pipe -c:v rawvideo -pix_fmt yuv420p '" + yuv + "' 2>&1";
  int status = zr::test::RunCommand(cmd, &muxLog);
  if (status != 0) return d;
  std::string bytes = zr::test::ReadBytes(yuv);
  size_t frameSize = size_t(width) * height * 3 / 2;
  for (size_t off = 0; off + frameSize <= bytes.size(); off += frameSize)
    d.frames.emplace_back(bytes.begin() + long(off), bytes.begin() + long(off + frameSize));
  d.ok = bytes.size() % frameSize == 0;
  return d;
}

// PSNR of the visible part of our picture against a decoded yuv420p frame (all planes).
inline double Psnr(const Frame& ours, const std::vector<uint8_t>& theirs, int width, int height) {
  double sse = 0;
  size_t n = 0;
  auto add = [&](const uint8_t* a, int astride, const uint8_t* b, int w, int h) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        double d = double(a[size_t(y) * astride + x]) - b[size_t(y) * w + x];
        sse += d * d;
        ++n;
      }
  };
  add(ours.y.data(), ours.width, theirs.data(), width, height);
  add(ours.cb.data(), ours.width / 2, theirs.data() + size_t(width) * height, width / 2,
      height / 2);
  add(ours.cr.data(), ours.width / 2, theirs.data() + size_t(width) * height * 5 / 4, width / 2,
      height / 2);
  if (sse == 0) return 99.0;
  return 10 * std::log10(255.0 * 255.0 * double(n) / sse);
}

}  // namespace zr::mpeg::test
