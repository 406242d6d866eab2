// Shared by the audio tests: PCM in memory, WAV files, our frames parsed back, and
// decoding through ffmpeg as an independent black box.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "mpeg/audio/audio_encoder.h"
#include "mpeg/sound_input.h"
#include "support/temp_dir.h"

namespace zr::mpeg::audio::audiotest {

inline std::vector<uint8_t> Bytes16(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> out(samples.size() * 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    out[2 * i] = uint8_t(samples[i] & 0xFF);
    out[2 * i + 1] = uint8_t(uint16_t(samples[i]) >> 8);
  }
  return out;
}

// Interleaved sines, one frequency per channel.
inline std::vector<int16_t> Sines(int frames, int rate, std::vector<double> hz, double amplitude) {
  const int ch = int(hz.size());
  std::vector<int16_t> out(size_t(frames) * ch);
  for (int n = 0; n < frames; ++n)
    for (int c = 0; c < ch; ++c)
      out[size_t(n) * ch + c] =
          int16_t(std::lround(amplitude * 32767 * std::sin(2 * std::numbers::pi * hz[c] * n / rate)));
  return out;
}

inline std::string WavBytes(const std::vector<uint8_t>& data, int channels, int rate, int bits) {
  auto le = [](std::string& s, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) s += char((v >> (8 * i)) & 0xFF);
  };
  std::string w = "RIFF";
  le(w, uint32_t(36 + data.size()), 4);
  w += "WAVEfmt ";
  le(w, 16, 4);
  le(w, 1, 2);
  le(w, uint32_t(channels), 2);
  le(w, uint32_t(rate), 4);
  le(w, uint32_t(rate * channels * bits / 8), 4);
  le(w, uint32_t(channels * bits / 8), 2);
  le(w, uint32_t(bits), 2);
  w += "data";
  le(w, uint32_t(data.size()), 4);
  w.append(reinterpret_cast<const char*>(data.data()), data.size());
  return w;
}

struct EncodeResult {
  bool ok = false;
  std::string mp2;  // file contents
  int64_t frames = 0, overflows = 0;
  RecordingLog log;
};

// 16-bit PCM at `rate` through SoundSource and the encoder into dir/name.
inline EncodeResult EncodePcm(const std::vector<int16_t>& pcm, int channels, int rate,
                              const test::TempDir& dir, const std::string& name = "out.mp2",
                              AudioEncoder* reuse = nullptr) {
  EncodeResult r;
  MemoryPcmStream stream(Bytes16(pcm), 2 * channels);
  SoundFormat f{1, channels, rate, 16, int64_t(pcm.size() / channels)};
  SoundSource source;
  source.Open(stream, f);
  AudioEncoder local;
  AudioEncoder& enc = reuse ? *reuse : local;
  r.ok = enc.Encode(source, dir.file(name), r.log);
  r.frames = enc.frames();
  r.overflows = enc.scaleOverflows();
  r.mp2 = test::ReadBytes(dir.file(name));
  return r;
}

struct FrameHeader {
  int id, layer, protection, bitrateIndex, sampling, padding, mode, modeExt, emphasis;
  size_t offset, length;
};

// Walks our stream frame by frame using the header's own length; empty on a broken sync.
inline std::vector<FrameHeader> ParseFrames(const std::string& s) {
  std::vector<FrameHeader> out;
  size_t pos = 0;
  while (pos + 4 <= s.size()) {
    auto b = [&](size_t i) { return uint8_t(s[pos + i]); };
    if (b(0) != 0xFF || (b(1) & 0xF0) != 0xF0) return {};
    FrameHeader h;
    h.id = (b(1) >> 3) & 1;
    h.layer = (b(1) >> 1) & 3;
    h.protection = b(1) & 1;
    h.bitrateIndex = b(2) >> 4;
    h.sampling = (b(2) >> 2) & 3;
    h.padding = (b(2) >> 1) & 1;
    h.mode = b(3) >> 6;
    h.modeExt = (b(3) >> 4) & 3;
    h.emphasis = b(3) & 3;
    h.offset = pos;
    h.length = 417 + size_t(h.padding);  // 128 kbit/s at 44.1 kHz
    out.push_back(h);
    pos += h.length;
  }
  if (pos != s.size()) return {};
  return out;
}

struct Decoded {
  int status = -1;
  std::string errors;
  std::vector<int16_t> samples;  // interleaved, as many channels as the stream
};

inline Decoded DecodeMp2(const test::TempDir& dir, const std::string& name, int channels = 0) {
  Decoded d;
  std::string raw = dir.file(name + ".raw"), err = dir.file(name + ".err");
  std::string cmd = "ffmpeg -nostdin -v error -y -i '" + dir.file(name) + "' " +
                    (channels ? "-ac " + std::to_string(channels) + " " : std::string()) +
                    "-f s16le -acodec pcm_s16le '" + raw + "' 2>'" + err + "'";
  d.status = test::RunCommand(cmd);
  d.errors = test::ReadBytes(err);
  std::string bytes = test::ReadBytes(raw);
  d.samples.resize(bytes.size() / 2);
  std::memcpy(d.samples.data(), bytes.data(), d.samples.size() * 2);
  return d;
}

inline bool HaveFfmpeg() { return test::RunCommand("ffmpeg -version >/dev/null 2>&1") == 0; }

// One channel of interleaved samples.
inline std::vector<double> Channel(const std::vector<int16_t>& s, int channels, int c) {
  std::vector<double> out(s.size() / channels);
  for (size_t i = 0; i < out.size(); ++i) out[i] = s[i * channels + c];
  return out;
}

// The codec delay: the lag of `decoded` behind `source` that correlates best.
inline int BestLag(const std::vector<double>& source, const std::vector<double>& decoded,
                   int maxLag, size_t from, size_t count) {
  int best = 0;
  double bestCorr = -1e300;
  for (int lag = 0; lag <= maxLag; ++lag) {
    double c = 0;
    for (size_t i = from; i < from + count && i + lag < decoded.size() && i < source.size(); ++i)
      c += source[i] * decoded[i + lag];
    if (c > bestCorr) bestCorr = c, best = lag;
  }
  return best;
}

// SNR in dB of decoded (delayed by lag) against source over [from, from + count).
inline double SnrDb(const std::vector<double>& source, const std::vector<double>& decoded, int lag,
                    size_t from, size_t count) {
  double sig = 0, noise = 0;
  for (size_t i = from; i < from + count; ++i) {
    double e = decoded[i + lag] - source[i];
    sig += source[i] * source[i];
    noise += e * e;
  }
  return 10 * std::log10(sig / std::max(noise, 1e-9));
}

}  // namespace zr::mpeg::audio::audiotest
