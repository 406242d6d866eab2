// Whole streams, checked by parsing our frames and by decoding them with ffmpeg's layer II
// decoder, an implementation that shares nothing with ours.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "audio_helpers.h"
#include "platform/paths.h"
#include "support/temp_dir.h"

namespace zr::mpeg::audio {
namespace {

using namespace audiotest;

// Our analysis and the decoder's synthesis filter bank together delay the sound by this
// many samples; NoisePassages finds it with a signal that has no period.
constexpr int kCodecDelay = 481;

#define REQUIRE_FFMPEG() \
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed"

TEST(AudioStream, HeadersFrameCountAndPaddingPattern) {
  test::TempDir dir;
  for (int channels : {2, 1}) {
    SCOPED_TRACE(channels == 2 ? "stereo" : "mono");
    const int frames = 1152 * 40 + 100;  // the last block is completed with zeros
    auto pcm = Sines(frames, 44100, std::vector<double>(channels, 440.0), 0.3);
    EncodeResult r = EncodePcm(pcm, channels, 44100, dir);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.frames, 41);
    auto headers = ParseFrames(r.mp2);
    ASSERT_EQ(headers.size(), 41u);
    PaddingClock clock(128);
    for (const FrameHeader& h : headers) {
      EXPECT_EQ(h.id, 1);
      EXPECT_EQ(h.layer, 2);  // "10"
      EXPECT_EQ(h.protection, 1);
      EXPECT_EQ(h.bitrateIndex, 8);
      EXPECT_EQ(h.sampling, 0);
      EXPECT_EQ(h.mode, channels == 2 ? 0 : 3);
      EXPECT_EQ(h.modeExt, 0);
      EXPECT_EQ(h.emphasis, 0);
      EXPECT_EQ(h.padding, clock.Next() ? 1 : 0);
    }
    EXPECT_EQ(headers[0].padding, 1);
    EXPECT_EQ(r.mp2.size(), 41u * 417 + 40);  // one frame of 41 is not padded
    EXPECT_EQ(r.overflows, 0);
    ASSERT_FALSE(r.log.percents.empty());
    EXPECT_EQ(r.log.percents.back(), 100);
    EXPECT_TRUE(std::is_sorted(r.log.percents.begin(), r.log.percents.end()));
  }
}

struct ToneCase {
  int channels;
  double hz;
  double amplitude;
  double minSnr;
};

TEST(AudioStream, TonesDecodeWithTheirFrequencyLevelAndLittleNoise) {
  REQUIRE_FFMPEG();
  test::TempDir dir;
  // 128 kbit/s leaves a pure tone almost every bit of the frame, so it is coded with a
  // fine class in its one or two bands; the decoded SNR is bounded by those bands'
  // classes and the leakage of the other bands, well above 40 dB for every case here.
  for (ToneCase c : {ToneCase{2, 1000, 0.5, 40}, ToneCase{1, 440, 0.8, 40},
                     ToneCase{2, 6000, 0.25, 40}, ToneCase{1, 100, 0.1, 40}}) {
    SCOPED_TRACE(std::to_string(c.channels) + " ch " + std::to_string(int(c.hz)) + " Hz");
    const int frames = 44100;
    std::vector<double> hz(c.channels, c.hz);
    if (c.channels == 2) hz[1] = c.hz * 1.5;
    auto pcm = Sines(frames, 44100, hz, c.amplitude);
    EncodeResult r = EncodePcm(pcm, c.channels, 44100, dir, "tone.mp2");
    ASSERT_TRUE(r.ok);
    Decoded d = DecodeMp2(dir, "tone.mp2");
    ASSERT_EQ(d.status, 0);
    EXPECT_EQ(d.errors, "");
    ASSERT_EQ(d.samples.size(), size_t(r.frames) * 1152 * c.channels);
    for (int ch = 0; ch < c.channels; ++ch) {
      auto src = Channel(pcm, c.channels, ch);
      auto dec = Channel(d.samples, c.channels, ch);
      const int lag = kCodecDelay;
      double snr = SnrDb(src, dec, lag, 4000, 30000);
      EXPECT_GT(snr, c.minSnr) << "channel " << ch << " lag " << lag;
      // Level: RMS within 0.2 dB; frequency: zero crossings over the span.
      double es = 0, ed = 0;
      int crossings = 0;
      for (size_t i = 4000; i < 34000; ++i) {
        es += src[i] * src[i];
        ed += dec[i + lag] * dec[i + lag];
        if ((dec[i + lag] < 0) != (dec[i + lag + 1] < 0)) ++crossings;
      }
      EXPECT_NEAR(10 * std::log10(ed / es), 0.0, 0.2);
      double measuredHz = crossings / 2.0 / (30000 / 44100.0);
      EXPECT_NEAR(measuredHz, hz[ch], hz[ch] * 0.01 + 2);
    }
  }
}

TEST(AudioStream, SilenceEncodesToSilence) {
  REQUIRE_FFMPEG();
  test::TempDir dir;
  for (int channels : {1, 2}) {
    std::vector<int16_t> pcm(size_t(1152) * 10 * channels, 0);
    EncodeResult r = EncodePcm(pcm, channels, 44100, dir, "quiet.mp2");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.frames, 10);
    Decoded d = DecodeMp2(dir, "quiet.mp2");
    ASSERT_EQ(d.status, 0);
    EXPECT_EQ(d.errors, "");
    ASSERT_EQ(d.samples.size(), pcm.size());
    int peak = 0;
    for (int16_t v : d.samples) peak = std::max(peak, std::abs(int(v)));
    EXPECT_LE(peak, 1);
  }
}

TEST(AudioStream, NoisePassagesAndFullScaleDecodeCleanly) {
  REQUIRE_FFMPEG();
  test::TempDir dir;
  // Bursts of full-scale noise between silences, and a square wave at the clipping
  // point: scale factors at the top of the table, every pattern of scfsi.
  const int frames = 1152 * 30;
  std::vector<int16_t> pcm(size_t(frames) * 2);
  uint32_t seed = 1;
  for (int n = 0; n < frames; ++n) {
    seed = seed * 1664525u + 1013904223u;
    bool burst = (n / 3000) % 2 == 0;
    int16_t noise = burst ? int16_t(seed >> 16) : 0;
    pcm[2 * n] = noise;
    pcm[2 * n + 1] = (n / 50) % 2 ? 32767 : -32768;
  }
  EncodeResult r = EncodePcm(pcm, 2, 44100, dir, "noise.mp2");
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.overflows, 0);
  EXPECT_EQ(ParseFrames(r.mp2).size(), 30u);
  Decoded d = DecodeMp2(dir, "noise.mp2");
  ASSERT_EQ(d.status, 0);
  EXPECT_EQ(d.errors, "");
  ASSERT_EQ(d.samples.size(), pcm.size());
  // Noise has no period, so its best alignment is the codec's delay and nothing else.
  auto src = Channel(pcm, 2, 0), dec = Channel(d.samples, 2, 0);
  EXPECT_EQ(BestLag(src, dec, 1200, 100, 2500), kCodecDelay);
  // White noise is its own masker: the model lets the noise sit about 5.5 dB under it,
  // and the 5 bands above the table's 27 (16 % of the energy) are not sent, so a few dB
  // is all there is; a stream that lost its alignment or signs would give 0 or less.
  EXPECT_GT(SnrDb(src, dec, kCodecDelay, 100, 2800), 1.5);
}

TEST(AudioStream, EachFileEncodesTheSameWhateverCameBefore) {
  test::TempDir dir;
  auto a = Sines(1152 * 6, 44100, {300, 700}, 0.9);
  auto b = Sines(1152 * 6, 44100, {5000, 9000}, 0.2);
  AudioEncoder shared;
  EncodeResult first = EncodePcm(a, 2, 44100, dir, "a.mp2", &shared);
  EncodeResult second = EncodePcm(b, 2, 44100, dir, "b.mp2", &shared);
  EncodeResult fresh = EncodePcm(b, 2, 44100, dir, "b2.mp2");
  ASSERT_TRUE(first.ok && second.ok && fresh.ok);
  EXPECT_EQ(second.mp2, fresh.mp2);
}

TEST(AudioStream, UnwritableOutputIsReportedAndLeavesNothing) {
  test::TempDir dir;
  std::vector<int16_t> pcm(2304, 0);
  MemoryPcmStream stream(Bytes16(pcm), 4);
  SoundSource src;
  src.Open(stream, {1, 2, 44100, 16, 1152});
  AudioEncoder enc;
  RecordingLog log;
  std::string path = dir.file("missing/folder/x.mp2");
  EXPECT_FALSE(enc.Encode(src, path, log));
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0], "Could not create \"" + path + "\".");

  // Sound the encoder cannot take is refused, not garbled.
  MemoryPcmStream six(std::vector<uint8_t>(1152 * 12), 12);
  SoundSource src6;
  src6.Open(six, {1, 6, 44100, 16, 1152});
  RecordingLog log6;
  EXPECT_FALSE(enc.Encode(src6, dir.file("six.mp2"), log6));
  EXPECT_EQ(log6.lines, std::vector<std::string>{
                            "Error: 6 audio channels are unsupported (must be 1 or 2)"});
  EXPECT_FALSE(FileExists(dir.file("six.mp2")));
  RecordingLog logRate;
  src.Open(stream, {1, 2, 44100, 16, 1152});
  EXPECT_FALSE(enc.Encode(src, dir.file("r.mp2"), logRate, 130));
  EXPECT_EQ(logRate.lines, std::vector<std::string>{"Error: 130 audio bit-rate is unsupported"});
}

// WAV files of every accepted kind, through the platform's AVI library, at the right
// duration after decoding.
TEST(AudioStream, EveryAcceptedWavFormatDecodesAtTheRightDuration) {
  REQUIRE_FFMPEG();
  test::TempDir dir;
  struct Case { int rate, bits, channels; };
  for (Case c : {Case{44100, 16, 2}, Case{22050, 16, 1}, Case{11025, 16, 2}, Case{11025, 8, 1},
                 Case{22050, 8, 2}, Case{44100, 8, 1}}) {
    SCOPED_TRACE(std::to_string(c.rate) + " Hz " + std::to_string(c.bits) + " bit " +
                 std::to_string(c.channels) + " ch");
    const int frames = c.rate;  // one second
    auto pcm = Sines(frames, c.rate, std::vector<double>(c.channels, 500.0), 0.5);
    std::vector<uint8_t> data;
    if (c.bits == 16) {
      data = Bytes16(pcm);
    } else {
      for (int16_t v : pcm) data.push_back(uint8_t((v >> 8) + 128));
    }
    std::string wav = dir.file("in.wav");
    ASSERT_TRUE(test::WriteBytes(wav, WavBytes(data, c.channels, c.rate, c.bits)));
    OpenedSound sound = OpenSoundFile(wav);
    ASSERT_EQ(sound.fault.error, WavError::None) << WavFaultDetail(sound.fault);
    EXPECT_EQ(sound.format.samplesPerSec, c.rate);
    EXPECT_EQ(sound.format.bitsPerSample, c.bits);
    EXPECT_EQ(sound.format.length, frames);
    RecordingLog log;
    ASSERT_TRUE(CheckSoundFormat(sound.format, log));
    SoundSource src;
    src.Open(*sound.stream, sound.format);
    AudioEncoder enc;
    ASSERT_TRUE(enc.Encode(src, dir.file("w.mp2"), log));
    EXPECT_EQ(src.missingSamples(), 0);
    EXPECT_EQ(enc.frames(), 39);  // 44100 samples / 1152, the last block completed
    Decoded d = DecodeMp2(dir, "w.mp2");
    ASSERT_EQ(d.status, 0);
    EXPECT_EQ(d.errors, "");
    EXPECT_EQ(d.samples.size(), size_t(39) * 1152 * c.channels);
    // The tone survives the rate change: same frequency at 44.1 kHz.
    auto dec = Channel(d.samples, c.channels, 0);
    int crossings = 0;
    for (size_t i = 2000; i < 42000; ++i)
      if ((dec[i] < 0) != (dec[i + 1] < 0)) ++crossings;
    EXPECT_NEAR(crossings / 2.0 / (40000 / 44100.0), 500.0, 10.0);
  }
}

TEST(AudioStream, SoundFilesThatCannotBeReadNameTheirFault) {
  REQUIRE_FFMPEG();
  test::TempDir dir;
  // 16-bit stereo claiming 3-byte blocks.
  auto bytes = WavBytes(Bytes16(Sines(4410, 44100, {500.0, 500.0}, 0.5)), 2, 44100, 16);
  bytes[32] = 3;
  ASSERT_TRUE(test::WriteBytes(dir.file("align.wav"), bytes));
  std::string out;
  ASSERT_EQ(test::RunCommand("ffmpeg -nostdin -y -v error -f lavfi -i color=size=16x16:rate=5 "
                             "-t 0.4 -c:v rawvideo -pix_fmt bgr24 '" + dir.file("silent.avi") +
                             "' 2>&1", &out), 0) << out;
  struct Case {
    const char* name;
    WavError error;
    const char* detail;
  } cases[] = {
      {"missing.wav", WavError::CannotOpen, "sound: cannot open the file (AVIERR_"},
      {"silent.avi", WavError::NoSound, "sound: no sound stream"},
      {"align.wav", WavError::BadBlockAlign, "(nBlockAlign 3, 4 expected)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenedSound sound = OpenSoundFile(dir.file(c.name));
    EXPECT_EQ(sound.fault.error, c.error);
    EXPECT_NE(WavFaultDetail(sound.fault).find(c.detail), std::string::npos)
        << WavFaultDetail(sound.fault);
    EXPECT_FALSE(sound.stream);
  }
}

TEST(AudioStream, CommandLineEncodesAWav) {
  REQUIRE_FFMPEG();
  std::string cli = std::string(ZR_BIN_DIR) + "/zerarive-cli";
  if (!FileExists(cli)) GTEST_SKIP() << "zerarive-cli not built";
  test::TempDir dir;
  auto pcm = Sines(22050, 22050, {800}, 0.5);
  ASSERT_TRUE(test::WriteBytes(dir.file("in.wav"), WavBytes(Bytes16(pcm), 1, 22050, 16)));
  std::string out;
  int rc = test::RunCommand(cli + " encode-audio --quiet '" + dir.file("in.wav") + "' '" +
                                dir.file("o.mp2") + "' 2>&1",
                            &out);
  EXPECT_EQ(rc, 0) << out;
  EXPECT_EQ(ParseFrames(test::ReadBytes(dir.file("o.mp2"))).size(), 39u);  // 44100 / 1152, rounded up
  rc = test::RunCommand(cli + " encode-audio '" + dir.file("nothing.wav") + "' '" +
                            dir.file("n.mp2") + "' 2>&1",
                        &out);
  EXPECT_EQ(rc, 1);
  EXPECT_NE(out.find("cannot open"), std::string::npos) << out;
  // The command's words, then the reader's precise reason.
  auto bytes = WavBytes(Bytes16(pcm), 1, 22050, 16);
  bytes[32] = 3;
  ASSERT_TRUE(test::WriteBytes(dir.file("align.wav"), bytes));
  rc = test::RunCommand(cli + " encode-audio '" + dir.file("align.wav") + "' '" +
                            dir.file("a.mp2") + "' 2>&1", &out);
  EXPECT_EQ(rc, 1);
  EXPECT_NE(out.find("align.wav: PCM blocks of 3 bytes do not match the sample format\n"
                     "sound: PCM block size does not match the samples (nBlockAlign 3, 2 "
                     "expected)"),
            std::string::npos)
      << out;
}

}  // namespace
}  // namespace zr::mpeg::audio
