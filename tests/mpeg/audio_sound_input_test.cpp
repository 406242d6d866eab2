// The sound side of the converter: which formats pass, and what ReadSoundBlock delivers.
#include <gtest/gtest.h>

#include <algorithm>

#include "audio_helpers.h"

namespace zr::mpeg {
namespace {

using audio::audiotest::Bytes16;

TEST(SoundFormatCheck, RefusedFormatsSayWhyAndDropTheSound) {
  struct Case { SoundFormat f; bool ok; std::vector<std::string> errors; };
  const std::vector<Case> cases = {
      {{1, 2, 44100, 16, 10}, true, {}},
      {{1, 1, 11025, 8, 10}, true, {}},
      {{1, 2, 22050, 16, 10}, true, {}},
      {{2, 1, 22050, 4, 10}, false,  // ADPCM
       {"Error: compressed audio is unsupported",
        "Error: 4 bit audio is not supported (must be 8 or 16)"}},
      {{1, 2, 48000, 16, 10}, false,
       {"Error: unsupported audio sampling rate (must be 11.025, 22.05, or 44.1kHz)"}},
      {{1, 2, 44100, 24, 10}, false, {"Error: 24 bit audio is not supported (must be 8 or 16)"}},
      {{1, 6, 44100, 16, 10}, false,
       {"Error: 6 audio channels are unsupported (must be 1 or 2)"}},
      {{1, 0, 44100, 16, 10}, false,
       {"Error: 0 audio channels are unsupported (must be 1 or 2)"}},
  };
  for (const Case& c : cases) {
    RecordingLog log;
    EXPECT_EQ(CheckSoundFormat(c.f, log), c.ok);
    ASSERT_FALSE(log.lines.empty());
    EXPECT_EQ(log.lines[0].rfind("Audio sampling rate: ", 0), 0u);
    std::vector<std::string> errors(log.lines.begin() + 1, log.lines.end());
    EXPECT_EQ(errors, c.errors) << log.lines[0];
  }
  RecordingLog log;
  CheckSoundFormat({1, 2, 22050, 16, 1}, log);
  EXPECT_EQ(log.lines[0], "Audio sampling rate: 22.050KHz (16 bits per sample)");
}

// Runs a source to its end and returns everything delivered.
std::vector<int16_t> Drain(SoundSource& src, int wanted, int* blocks = nullptr) {
  std::vector<int16_t> all;
  std::vector<int16_t> block(wanted);
  int n, count = 0;
  while ((n = src.ReadSoundBlock(block.data(), wanted)) > 0) {
    EXPECT_EQ(n, wanted);
    all.insert(all.end(), block.begin(), block.end());
    ++count;
    EXPECT_LE(count, 100000);
    if (count > 100000) break;
  }
  if (blocks) *blocks = count;
  return all;
}

TEST(ReadSoundBlock, StereoAt44kPassesThroughAndPadsTheLastBlock) {
  std::vector<int16_t> pcm(2 * 1500);
  for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = int16_t(i * 37 - 20000);
  MemoryPcmStream stream(Bytes16(pcm), 4);
  SoundSource src;
  src.Open(stream, {1, 2, 44100, 16, 1500});
  int blocks = 0;
  auto out = Drain(src, 2304, &blocks);
  EXPECT_EQ(blocks, 2);  // 1500 frames: one full block and one completed with zeros
  ASSERT_EQ(out.size(), 4608u);
  EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), out.begin()));
  EXPECT_TRUE(std::all_of(out.begin() + 3000, out.end(), [](int16_t v) { return v == 0; }));
  EXPECT_EQ(src.missingSamples(), 0);
  EXPECT_EQ(src.Percent(), 100);
}

TEST(ReadSoundBlock, EightBitSamplesAreCentredAndWidened) {
  std::vector<uint8_t> bytes = {0, 128, 255, 64};
  MemoryPcmStream stream(bytes, 1);
  SoundSource src;
  src.Open(stream, {1, 1, 44100, 8, 4});
  std::vector<int16_t> block(1152, 99);
  ASSERT_EQ(src.ReadSoundBlock(block.data(), 1152), 1152);
  EXPECT_EQ(block[0], -32768);
  EXPECT_EQ(block[1], 0);
  EXPECT_EQ(block[2], 127 * 256);
  EXPECT_EQ(block[3], -64 * 256);
  EXPECT_EQ(block[4], 0);
}

TEST(ReadSoundBlock, LowRatesAreRepeatedToFullLengthAndSmoothed) {
  // 11025 Hz mono of L samples becomes 4 L samples; one second makes 39 blocks.
  const int L = 11025;
  std::vector<int16_t> pcm(L, 10000);
  MemoryPcmStream stream(Bytes16(pcm), 2);
  SoundSource src;
  src.Open(stream, {1, 1, 11025, 16, L});
  int blocks = 0;
  auto out = Drain(src, 1152, &blocks);
  EXPECT_EQ(blocks, 39);
  // A constant settles to the filters' DC gain (sum of taps 0.993416, four stages) and the
  // history carries across block boundaries: no dip where a new block starts.
  for (int n = 20; n < 4 * L; ++n) ASSERT_NEAR(out[n], 10000 * std::pow(0.993416, 4), 4) << n;
  EXPECT_LT(out[0], out[3]);  // starts from zero history
  EXPECT_TRUE(std::all_of(out.begin() + 4 * L, out.end(), [](int16_t v) { return v == 0; }));

  // 22050 Hz stereo: each channel on its own, doubled.
  std::vector<int16_t> st(2 * 2000);
  for (int n = 0; n < 2000; ++n) st[2 * n] = 8000, st[2 * n + 1] = -8000;
  MemoryPcmStream s2(Bytes16(st), 4);
  SoundSource src2;
  src2.Open(s2, {1, 2, 22050, 16, 2000});
  auto out2 = Drain(src2, 2304, &blocks);
  EXPECT_EQ(blocks, 4);  // 4000 frames at 44.1 kHz
  for (int n = 10; n < 4000; ++n) {
    ASSERT_NEAR(out2[2 * n], 8000 * std::pow(0.987937, 4), 4) << n;
    ASSERT_EQ(out2[2 * n + 1], -out2[2 * n]) << n;  // truncation toward zero is symmetric
  }
}

TEST(ReadSoundBlock, AShortStreamIsDeliveredAtItsDeclaredLength) {
  std::vector<int16_t> pcm(2 * 1000, 5000);
  MemoryPcmStream stream(Bytes16(pcm), 4);  // holds 1000 frames
  SoundSource src;
  src.Open(stream, {1, 2, 44100, 16, 3000});  // says 3000
  int blocks = 0;
  std::vector<int> percents;
  std::vector<int16_t> block(2304);
  std::vector<int16_t> all;
  while (src.ReadSoundBlock(block.data(), 2304) > 0) {
    all.insert(all.end(), block.begin(), block.end());
    percents.push_back(src.Percent());
    ++blocks;
  }
  EXPECT_EQ(blocks, 3);
  EXPECT_EQ(src.missingSamples(), 2000);
  EXPECT_EQ(all[1999], 5000);
  EXPECT_TRUE(std::all_of(all.begin() + 2000, all.end(), [](int16_t v) { return v == 0; }));
  EXPECT_EQ(percents, (std::vector<int>{38, 76, 100}));
  // And an 8-bit stream that falls short is silent (128), not full negative scale.
  std::vector<uint8_t> bytes(10, 200);
  MemoryPcmStream s8(bytes, 1);
  SoundSource src8;
  src8.Open(s8, {1, 1, 44100, 8, 100});
  ASSERT_EQ(src8.ReadSoundBlock(block.data(), 1152), 1152);
  EXPECT_EQ(block[9], 72 * 256);
  EXPECT_EQ(block[10], 0);
  EXPECT_EQ(src8.missingSamples(), 90);
}

TEST(ReadSoundBlock, EmptyStreamEndsAtOnce) {
  MemoryPcmStream stream({}, 4);
  SoundSource src;
  src.Open(stream, {1, 2, 44100, 16, 0});
  std::vector<int16_t> block(2304);
  EXPECT_EQ(src.ReadSoundBlock(block.data(), 2304), 0);
  EXPECT_EQ(src.Percent(), 100);
}

}  // namespace
}  // namespace zr::mpeg
