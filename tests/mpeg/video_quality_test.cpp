// The default mode's buffer and rate warnings, and the high-quality mode's stream: valid
// syntax for two decoders, per-picture f_codes on a fast pan, the declared rate, and a
// VBV that an independent simulation finds neither under- nor overflowing.
#include <gtest/gtest.h>

#include <cstdio>
#include <dirent.h>

#include "mpeg/engine.h"
#include "mpeg/video/format.h"
#include "mpeg/video/hq_motion.h"
#include "mpeg/video/motion.h"
#include "mpeg/video/rate_report.h"
#include "mpeg/video/ratectl.h"
#include "mpeg/video/vlc.h"
#include "support/fake_host.h"
#include "video_support.h"

namespace zr::mpeg {
namespace {

using test::MovingPattern;

// A window moving `step` pixels right and a quarter of that down per picture over a large
// non-repeating texture (noise smoothed over +-radius), so no search can find a periodic
// false match.
class NoisePan : public PictureSource {
 public:
  explicit NoisePan(int step, int radius = 1) : step_(step) {
    uint32_t seed = 12345;
    std::vector<int> noise(size_t(kW) * kH);
    for (int& v : noise) v = int((seed = seed * 1664525u + 1013904223u) >> 24);
    texture_.resize(noise.size());
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        int s = 0;
        for (int j = -radius; j <= radius; ++j)
          for (int i = -radius; i <= radius; ++i)
            s += noise[size_t(std::clamp(y + j, 0, kH - 1)) * kW + size_t(std::clamp(x + i, 0, kW - 1))];
        texture_[size_t(y) * kW + x] = uint8_t(s / ((2 * radius + 1) * (2 * radius + 1)));
      }
  }
  bool ReadPicture(int frame, int, Frame& f, ConvertLog&) override {
    const int ox = step_ * frame, oy = step_ * frame / 4;
    for (int y = 0; y < f.height; ++y)
      for (int x = 0; x < f.width; ++x)
        f.y[size_t(y) * f.width + x] = texture_[size_t(y + oy) * kW + size_t(x + ox)];
    std::fill(f.cb.begin(), f.cb.end(), 128);
    std::fill(f.cr.begin(), f.cr.end(), 128);
    return true;
  }

 private:
  static constexpr int kW = 720, kH = 480;
  int step_;
  std::vector<uint8_t> texture_;
};

// Pictures of a fixed size pushed through the default VBV bookkeeping for 60 s.
VideoResult SimulateDefaultVbv(double sizeFactor) {
  const double bitRate = 1064960, rate = 25;
  RateControl rc;
  rc.InitSequence(bitRate, rate, 300, 512);
  const int pictures = 60 * 25;
  const int64_t pictureBits = int64_t(bitRate / rate * sizeFactor);
  int64_t bits = 0;
  for (int i = 0; i < pictures; ++i) {
    rc.CalcVbvDelay(i % 3 == 0 ? kPictureP : kPictureB, bits + 32);
    bits += pictureBits;
    rc.VbvEndOfPicture(bits);
  }
  VideoResult r;
  r.underflowPictures = rc.underflowPictures();
  r.bytes = bits / 8;
  r.bitRate = bitRate;
  r.seconds = pictures / rate;
  return r;
}

TEST(DefaultRateWarnings, PicturesOverTheRateUnderflowAndAreSaid) {
  VideoResult over = SimulateDefaultVbv(1.2);
  EXPECT_GT(over.underflowPictures, 0);
  EXPECT_LT(over.underflowPictures, 60 * 25);
  std::vector<std::string> lines = RateWarnings(over);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], Format("Warning: buffer underflow in %d pictures", over.underflowPictures));
  EXPECT_EQ(lines[1], "Warning: the video is 20 % above its declared bit rate");

  VideoResult atRate = SimulateDefaultVbv(1.0);
  EXPECT_EQ(atRate.underflowPictures, 0);
  EXPECT_TRUE(RateWarnings(atRate).empty());
  // 5 % over is tolerated, a little more is not.
  atRate.bytes = int64_t(atRate.bytes * 1.049);
  EXPECT_TRUE(RateWarnings(atRate).empty());
  atRate.bytes = int64_t(atRate.bytes / 1.049 * 1.07);
  EXPECT_EQ(RateWarnings(atRate).size(), 1u);
}

// Picture headers of an elementary stream, with the byte span each picture's data covers.
struct PictureInfo {
  size_t startCodeEnd;  // byte after the picture start code
  size_t dataEnd;       // last non-stuffing byte + 1
  size_t nextHeader;    // where the next GOP/picture/sequence-end start code begins
  int type, vbvDelay, forwardFcode, backwardFcode;
};

std::vector<PictureInfo> ParsePictures(const std::string& s) {
  std::vector<PictureInfo> out;
  for (size_t i = 0; i + 8 < s.size(); ++i) {
    if (s[i] != 0 || s[i + 1] != 0 || s[i + 2] != 1) continue;
    const uint8_t code = uint8_t(s[i + 3]);
    if (code != 0x00 && code != 0xB8 && code != 0xB7) continue;
    if (!out.empty() && out.back().nextHeader == 0) {
      out.back().nextHeader = i;
      size_t end = i;
      while (end > 0 && s[end - 1] == 0) --end;
      out.back().dataEnd = end;
    }
    if (code != 0x00) continue;
    const uint8_t* b = reinterpret_cast<const uint8_t*>(s.data()) + i + 4;
    PictureInfo p{};
    p.startCodeEnd = i + 4;
    p.type = (b[1] >> 3) & 7;
    p.vbvDelay = ((b[1] & 7) << 13) | (b[2] << 5) | (b[3] >> 3);
    // After the delay: full_pel and a 3-bit f_code, forward then backward.
    const uint32_t rest = uint32_t(b[3]) << 16 | uint32_t(b[4]) << 8 | b[5];
    p.forwardFcode = int((rest >> 15) & 7);
    p.backwardFcode = int((rest >> 11) & 7);
    out.push_back(p);
  }
  return out;
}

// The VBV of a constant-rate stream from its picture positions and delays alone.
void ExpectCleanVbv(const std::vector<PictureInfo>& pics, double bitRate, double rate,
                    int bufferSize) {
  ASSERT_FALSE(pics.empty());
  const double buffer = bufferSize * 16384.0;
  std::vector<double> decode;  // in seconds
  for (const PictureInfo& p : pics) decode.push_back(p.startCodeEnd * 8 / bitRate + p.vbvDelay / 90000.0);
  for (size_t n = 0; n < pics.size(); ++n) {
    SCOPED_TRACE(n);
    if (n > 0) {
      EXPECT_NEAR(decode[n] - decode[n - 1], 1.0 / rate, 2.0 / 90000);
    }
    EXPECT_LE(pics[n].dataEnd * 8.0, bitRate * decode[n]) << "underflow";
    if (n + 1 < pics.size()) {
      EXPECT_LE(bitRate * decode[n + 1] - pics[n].nextHeader * 8.0, buffer) << "overflow";
    }
  }
}

class HighQualityPan : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // 7 pixels a picture: 21 between anchors, beyond a +-15 window.
    NoisePan pan(7);
    VideoSettings settings;
    settings.noAudio = true;
    settings.highQuality = true;
    VideoSourceInfo info{320, 240, 25, 1, 40};
    RecordingLog params;
    ASSERT_TRUE(SetVideoParameters(info, settings, params, p_));
    dir_ = new zr::test::TempDir;
    for (int threads : {1, 2, 4}) {
      VideoEncoder encoder;
      test::Collected recon;
      if (threads == 1) encoder.SetReconstructionHook(recon.hook());
      ASSERT_TRUE(test::EncodeToFile(encoder, pan, p_, dir_->file(std::to_string(threads) + ".m1v"),
                                     log_, threads));
      if (threads == 1) result_ = encoder.result();
    }
    stream_ = zr::test::ReadBytes(dir_->file("1.m1v"));
  }
  static void TearDownTestSuite() { delete dir_; }
  static inline VideoParams p_;
  static inline VideoResult result_;
  static inline RecordingLog log_;
  static inline std::string stream_;
  static inline zr::test::TempDir* dir_ = nullptr;
};

TEST_F(HighQualityPan, HeaderBufferRateAndThreads) {
  EXPECT_EQ(p_.vbv_buffer_size, 20);
  EXPECT_TRUE(p_.constrained_parameters_flag);
  EXPECT_EQ(stream_, zr::test::ReadBytes(dir_->file("2.m1v")));
  EXPECT_EQ(stream_, zr::test::ReadBytes(dir_->file("4.m1v")));
  for (const std::string& line : log_.lines) EXPECT_EQ(line.find("out of range"), std::string::npos) << line;
  const double achieved = stream_.size() * 8.0 / (40 / 25.0);
  EXPECT_NEAR(achieved / p_.bit_rate, 1.0, 0.02);
  EXPECT_EQ(result_.overflowCount, 0);
  EXPECT_EQ(result_.underflowCount, 0);
  std::vector<PictureInfo> pics = ParsePictures(stream_);
  ASSERT_EQ(pics.size(), 40u);
  ExpectCleanVbv(pics, p_.bit_rate, 25, 20);
  int wideP = 0, pCount = 0;
  for (const PictureInfo& pic : pics)
    if (pic.type == kPictureP) {
      ++pCount;
      wideP += pic.forwardFcode >= 3;
    }
  EXPECT_GE(wideP, pCount - 1) << "only the first P picture may lack the motion";
}

// A smooth, slow pan needs far fewer bits than the rate brings: the buffer must be kept
// from overflowing by stuffing, and the stream still carries its declared rate.
TEST(HighQualitySmoothPan, StuffsInsteadOfOverflowing) {
  NoisePan pan(2, 6);
  VideoSettings settings;
  settings.noAudio = true;
  settings.highQuality = true;
  VideoSourceInfo info{320, 240, 25, 1, 40};
  RecordingLog log;
  VideoParams p;
  ASSERT_TRUE(SetVideoParameters(info, settings, log, p));
  zr::test::TempDir dir;
  VideoEncoder encoder;
  ASSERT_TRUE(test::EncodeToFile(encoder, pan, p, dir.file("s.m1v"), log, 2));
  const std::string stream = zr::test::ReadBytes(dir.file("s.m1v"));
  EXPECT_NEAR(stream.size() * 8.0 / (40 / 25.0) / p.bit_rate, 1.0, 0.02);
  EXPECT_EQ(encoder.result().overflowCount, 0);
  EXPECT_EQ(encoder.result().underflowCount, 0);
  std::vector<PictureInfo> pics = ParsePictures(stream);
  ASSERT_EQ(pics.size(), 40u);
  ExpectCleanVbv(pics, p.bit_rate, 25, 20);
  EXPECT_EQ(test::DecodeErrors(dir.file("s.m1v")), "");
}

TEST_F(HighQualityPan, TwoDecodersAgree) {
  EXPECT_EQ(test::DecodeErrors(dir_->file("1.m1v")), "");
  std::string out;
  zr::test::RunCommand("ffmpeg -nostdin -v error -err_detect explode -i '" + dir_->file("1.m1v") +
                           "' -f null - 2>&1",
                       &out);
  EXPECT_EQ(out.find("rror"), std::string::npos) << out;
  EXPECT_EQ(out.find("out of range"), std::string::npos) << out;
  test::Decoded ours = test::DecodeWithFfmpeg(dir_->file("1.m1v"), 320, 240, *dir_);
  ASSERT_EQ(ours.frames.size(), 40u);
  zr::test::TempDir pgm;
  ASSERT_EQ(zr::test::RunCommand("cd '" + pgm.path() + "' && mpeg2dec -o pgm '" +
                                 dir_->file("1.m1v") + "' >/dev/null 2>&1"),
            0);
  for (int n = 0; n < 40; ++n) {
    SCOPED_TRACE(n);
    std::string img = zr::test::ReadBytes(pgm.file(Format("%d.pgm", n)));
    ASSERT_GT(img.size(), size_t(320 * 360));
    // "P5\n320 360\n255\n": the luminance rows come first.
    const std::string y = img.substr(img.size() - 320 * 360, 320 * 240);
    double sse = 0;
    for (int i = 0; i < 320 * 240; ++i) {
      double d = double(uint8_t(y[size_t(i)])) - ours.frames[size_t(n)][size_t(i)];
      sse += d * d;
    }
    const double psnr = sse == 0 ? 99 : 10 * std::log10(255.0 * 255 * 320 * 240 / sse);
    EXPECT_GE(psnr, 45.0);
  }
  EXPECT_TRUE(zr::test::ReadBytes(pgm.file("40.pgm")).empty());
}

// A fast pan over fixed grain with sound: video that overran its rate starved the
// multiplexer of room for the sound.
TEST(HighQualityConvert, PanWithSoundMultiplexesWithoutTimeOut) {
  zr::test::TempDir dir;
  const std::string avi = dir.file("pan.avi"), mpg = dir.file("pan.mpg");
  ASSERT_EQ(zr::test::RunCommand(
                "ffmpeg -v error -y -f lavfi -i 'color=gray:size=960x320,format=gray,"
                "noise=alls=50:allf=u:all_seed=5,gblur=sigma=0.8,format=rgb24,loop=loop=-1:size=1,"
                "crop=320:240:x=8*n:y=n' -f lavfi -i sine=f=440:r=44100 -ac 2 -frames:v 75 "
                "-t 3 -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le '" + avi + "'"),
            0);
  RecordingLog log;
  ASSERT_TRUE(MpgEngine(log, 2, true).Convert(avi, mpg));
  for (const std::string& line : log.lines) EXPECT_EQ(line.find("timed-out"), std::string::npos) << line;
  std::string out;
  zr::test::RunCommand("ffmpeg -nostdin -v error -err_detect explode -i '" + mpg +
                           "' -f null - 2>&1",
                       &out);
  EXPECT_EQ(out, "");
  const std::string m1v = dir.file("pan.m1v");
  ASSERT_EQ(zr::test::RunCommand("ffmpeg -v error -y -i '" + mpg + "' -map 0:v -c copy -f mpeg1video '" +
                                 m1v + "'"),
            0);
  ASSERT_EQ(zr::test::RunCommand("cd '" + dir.path() + "' && mpeg2dec -o pgm '" + m1v +
                                 "' >/dev/null 2>&1"),
            0);
  EXPECT_FALSE(zr::test::ReadBytes(dir.file("74.pgm")).empty());
  EXPECT_TRUE(zr::test::ReadBytes(dir.file("75.pgm")).empty());
}

// Intra macroblocks of a P picture two anchors into the pan, each mode's search.
TEST(HighQualityMotion, FastPanIsPredictedNotIntra) {
  NoisePan pan(7);
  Frame older, current;
  older.Allocate(320, 240);
  current.Allocate(320, 240);
  RecordingLog log;
  pan.ReadPicture(3, 1, older, log);
  pan.ReadPicture(6, 1, current, log);
  MotionInput in;
  in.pictureType = kPictureP;
  in.current = &current;
  in.olderSource = in.olderRecon = &older;
  in.newerSource = in.newerRecon = &older;
  in.record = {2, 2, 11, 11, 0, 0, 0, 0};
  std::vector<MacroblockInfo> mbs(300);
  // Only macroblocks whose content the reference holds: the two right columns and the
  // bottom row show new texture (21 and 5 pixels came in), which only intra can code.
  auto intraShare = [&] {
    int intra = 0;
    for (int k = 0; k < 300; ++k)
      if (k % 20 < 18 && k / 20 < 14) intra += mbs[size_t(k)].flags & kMbIntra ? 1 : 0;
    return intra / (18.0 * 14.0);
  };
  EstimateMotionRows(dsp::Best(), in, 0, 15, mbs.data());
  EXPECT_GT(intraShare(), 0.5);

  HqMotion hq;
  hq.Reset(20, 15);
  in.pictureType = kPictureI;
  hq.Prepare(in, 3);
  in.pictureType = kPictureP;
  hq.Prepare(in, 6);
  EXPECT_GE(hq.windowFcode(0), 3);
  hq.EstimateRows(dsp::Best(), in, 0, 15, mbs.data());
  EXPECT_LE(intraShare(), 0.10);
  const MotionRecord m = hq.Finish(in, mbs.data());
  EXPECT_EQ(m.forwardFcodeH, 3);
}

TEST(HighQualityMotion, GlobalMotionFindsAShift) {
  NoisePan pan(5);
  Frame a, b;
  a.Allocate(320, 240);
  b.Allocate(320, 240);
  RecordingLog log;
  pan.ReadPicture(0, 1, a, log);
  pan.ReadPicture(4, 1, b, log);
  int gx = 0, gy = 0;
  GlobalMotion(b, a, 63, gx, gy);
  // Four pictures of 5 and 1.25 pixels: the match lies at (+20, +5), within the 4-pixel grid.
  EXPECT_NEAR(gx, 20, 2);
  EXPECT_NEAR(gy, 5, 2);
}

}  // namespace
}  // namespace zr::mpeg
