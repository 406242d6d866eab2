#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "mpeg/convert_log.h"
#include "mpeg/mux.h"
#include "mpeg/mux_ps_reader.h"
#include "support/temp_dir.h"

namespace zr::mpeg {
namespace {

using test::ReadBytes;
using test::RunCommand;
using test::WriteBytes;

// Elementary streams made once by ffmpeg: 4 s of 25 fps video with B pictures and a
// constant rate in its sequence header, and 4 s of 44.1 kHz stereo at 128 kbit/s.
class MuxTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir;
    std::string v = dir_->file("v.m1v"), a = dir_->file("a.mp2");
    ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=size=320x240:rate=25 -t 4 "
                            "-c:v mpeg1video -b:v 1000k -minrate 1000k -maxrate 1000k "
                            "-bufsize 327680 -bf 2 -g 12 -f mpeg1video '" + v + "'"));
    ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -f lavfi -i sine=f=440:r=44100 -ac 2 -t 4 "
                            "-c:a mp2 -b:a 128k '" + a + "'"));
    video_ = new std::string(ReadBytes(v));
    audio_ = new std::string(ReadBytes(a));
  }
  static void TearDownTestSuite() {
    delete video_;
    delete audio_;
    delete dir_;
  }

  // Multiplexes the given stream bytes; returns the output bytes ("" on failure).
  std::string Mux(const std::string& video, const std::string& audio) {
    WriteBytes(tmp_.file("in.m1v"), video);
    WriteBytes(tmp_.file("in.mp2"), audio);
    ok_ = Multiplex(tmp_.file("in.m1v"), tmp_.file("in.mp2"), tmp_.file("out.mpg"), log_, report_);
    return ok_ ? ReadBytes(tmp_.file("out.mpg")) : std::string();
  }

  static test::TempDir* dir_;
  static std::string *video_, *audio_;
  test::TempDir tmp_;
  RecordingLog log_;
  MuxReport report_;
  bool ok_ = false;
};

test::TempDir* MuxTest::dir_;
std::string* MuxTest::video_;
std::string* MuxTest::audio_;

struct Picture {
  size_t offset;
  unsigned temporalReference, type;
};

std::vector<Picture> Pictures(const std::string& s) {
  std::vector<Picture> out;
  const auto* d = reinterpret_cast<const uint8_t*>(s.data());
  for (size_t i = 0; i + 6 <= s.size(); ++i)
    if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1 && d[i + 3] == 0)
      out.push_back({i, unsigned(d[i + 4] << 2 | d[i + 5] >> 6), unsigned(d[i + 5] >> 3 & 7)});
  return out;
}

TEST_F(MuxTest, OutputProbesAsSystemStreamWithBothStreamsAndDecodesCleanly) {
  std::string out = Mux(*video_, *audio_);
  ASSERT_TRUE(ok_) << (log_.lines.empty() ? "" : log_.lines.back());
  EXPECT_TRUE(log_.lines.empty());
  std::string path = tmp_.file("out.mpg"), text;
  ASSERT_EQ(0, RunCommand("ffprobe -v error -count_frames -show_entries "
                          "stream=codec_name,nb_read_frames:format=format_name -of csv=p=0 '" +
                              path + "'",
                          &text));
  EXPECT_EQ("mpeg1video,100\nmp2,154\nmpeg\n", text);
  // 100 coded pictures at 25 fps; 154 frames of 1152 samples at 44.1 kHz.
  ASSERT_EQ(0, RunCommand("ffprobe -v error -show_entries stream=duration -of csv=p=0 '" + path + "'", &text));
  double videoSeconds = 0, audioSeconds = 0;
  ASSERT_EQ(2, std::sscanf(text.c_str(), "%lf %lf", &videoSeconds, &audioSeconds)) << text;
  EXPECT_NEAR(4.0, videoSeconds, 1e-4);
  EXPECT_NEAR(154 * 1152 / 44100.0, audioSeconds, 1e-4);
  ASSERT_EQ(0, RunCommand("ffmpeg -v error -i '" + path + "' -f null - 2>&1", &text));
  EXPECT_EQ("", text);
  EXPECT_FALSE(report_.videoTimedOut);
  EXPECT_FALSE(report_.audioTimedOut);
}

TEST_F(MuxTest, SectorsAreFullExceptEachStreamsLastAndEndWithEndCode) {
  std::string out = Mux(*video_, *audio_);
  ASSERT_TRUE(ok_);
  test::PsWalk w = test::WalkProgramStream(out);
  ASSERT_EQ("", w.error);
  EXPECT_TRUE(w.endCode);
  ASSERT_FALSE(w.packets.empty());
  size_t lastVideo = 0, lastAudio = 0;
  for (size_t i = 0; i < w.packets.size(); ++i) {
    if (w.packets[i].streamId == 0xE0) lastVideo = i;
    if (w.packets[i].streamId == 0xC0) lastAudio = i;
  }
  uint64_t previousScr = 0;
  std::string videoBytes, audioBytes;
  for (size_t i = 0; i < w.packets.size(); ++i) {
    const test::PsPacket& p = w.packets[i];
    SCOPED_TRACE("packet " + std::to_string(i));
    EXPECT_TRUE(p.systemHeader);
    EXPECT_EQ(report_.mux_rate, p.muxRate);
    EXPECT_EQ(report_.mux_rate, p.rateBound);
    if (i != lastVideo && i != lastAudio) {
      EXPECT_EQ(2048u, p.sectorSize);
    } else {
      EXPECT_LE(p.sectorSize, 2048u);
    }
    if (p.streamId != 0xBE) {
      EXPECT_EQ(21u, p.headerSize);
    }
    // The clock of each pack is the arrival time of its SCR's last byte.
    EXPECT_EQ((p.offset + 9) * 90000 / report_.dmux_rate, p.scr);
    if (i > 0) {
      EXPECT_GT(p.scr, previousScr);
    }
    previousScr = p.scr;
    if (p.streamId == 0xE0) videoBytes += p.payload;
    else if (p.streamId == 0xC0) audioBytes += p.payload;
    else EXPECT_EQ(0xBE, p.streamId);
  }
  // Nothing of either stream is lost or reordered.
  EXPECT_EQ(*video_, videoBytes);
  EXPECT_EQ(*audio_, audioBytes);
}

TEST_F(MuxTest, FirstSectorCarriesStreamStartWithFirstPictureStamps) {
  std::string out = Mux(*video_, *audio_);
  ASSERT_TRUE(ok_);
  test::PsWalk w = test::WalkProgramStream(out);
  ASSERT_FALSE(w.packets.empty());
  const test::PsPacket& first = w.packets[0];
  EXPECT_EQ(9 * 90000 / report_.dmux_rate, first.scr);
  EXPECT_EQ(report_.mux_rate, first.rateBound);
  EXPECT_EQ(0xE0, first.streamId);
  EXPECT_EQ(video_->substr(0, 1997), first.payload);
  ASSERT_TRUE(first.hasPts && first.hasDts);
  // The first picture (an I picture, temporal_reference 0) is decoded at the start-up
  // delay and shown one period later.
  EXPECT_EQ(report_.startupDelay, first.dts);
  EXPECT_EQ(report_.startupDelay + 3600, first.pts);
  // 8 sectors plus those of the first picture and the first audio frame, at dmux_rate.
  uint64_t sectors = 8 + (report_.video.firstUnitLength + 1996) / 1997 + 1;
  EXPECT_EQ(sectors * 2048 * 90000 / report_.dmux_rate, report_.startupDelay);
}

TEST_F(MuxTest, StampsFollowTheFirstUnitStartingInEachPacket) {
  std::string out = Mux(*video_, *audio_);
  ASSERT_TRUE(ok_);
  test::PsWalk w = test::WalkProgramStream(out);
  ASSERT_EQ("", w.error);
  std::vector<Picture> pictures = Pictures(*video_);
  ASSERT_EQ(100u, pictures.size());
  // Decoding and display numbers of each picture: GOP start + temporal_reference.
  std::vector<uint64_t> display(pictures.size());
  size_t gopStart = 0;
  const auto* d = reinterpret_cast<const uint8_t*>(video_->data());
  for (size_t k = 0; k < pictures.size(); ++k) {
    size_t from = k ? pictures[k - 1].offset : 0;
    for (size_t i = from; i + 4 <= pictures[k].offset; ++i)
      if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1 && d[i + 3] == 0xB8) gopStart = k;
    display[k] = gopStart + pictures[k].temporalReference;
  }
  const uint64_t delay = report_.startupDelay;
  size_t videoAt = 0, audioAt = 0, nextPicture = 0, bPackets = 0;
  uint64_t audioFrame = 0;
  for (const test::PsPacket& p : w.packets) {
    if (p.streamId == 0xE0) {
      size_t end = videoAt + p.payload.size();
      // The first picture's unit begins with the sequence header at offset 0.
      bool begins = nextPicture < pictures.size() &&
                    (nextPicture == 0 ? videoAt == 0 : pictures[nextPicture].offset < end);
      ASSERT_EQ(begins, p.hasPts) << "video packet at stream offset " << videoAt;
      if (begins) {
        const Picture& pic = pictures[nextPicture];
        EXPECT_EQ(pic.type != 3, p.hasDts);
        if (pic.type == 3) ++bPackets;
        EXPECT_EQ(delay + (display[nextPicture] + 1) * 3600, p.pts);
        if (p.hasDts) {
          EXPECT_EQ(delay + nextPicture * 3600, p.dts);
        }
        // Data must arrive before it is decoded.
        EXPECT_GT(p.hasDts ? p.dts : p.pts, p.scr);
      }
      while (nextPicture < pictures.size() && (nextPicture == 0 ? videoAt == 0 : pictures[nextPicture].offset < end))
        ++nextPicture;
      videoAt = end;
    } else if (p.streamId == 0xC0) {
      size_t end = audioAt + p.payload.size();
      // 128 kbit/s at 44.1 kHz: 417-byte frames, one padded byte about every other frame;
      // find the first frame that starts in this packet by walking the headers.
      static std::vector<size_t> starts;
      if (starts.empty()) {
        const auto* a = reinterpret_cast<const uint8_t*>(audio_->data());
        for (size_t at = 0; at + 4 <= audio_->size(); at += 417 + ((a[at + 2] >> 1) & 1)) starts.push_back(at);
      }
      bool begins = audioFrame < starts.size() && starts[audioFrame] < end;
      ASSERT_EQ(begins, p.hasPts);
      EXPECT_FALSE(p.hasDts);
      if (begins) {
        EXPECT_EQ(delay + 3600 + audioFrame * 1152 * 90000 / 44100, p.pts);
        EXPECT_GT(p.pts, p.scr);
      }
      while (audioFrame < starts.size() && starts[audioFrame] < end) ++audioFrame;
      audioAt = end;
    }
  }
  EXPECT_EQ(pictures.size(), nextPicture);
  EXPECT_EQ(154u, audioFrame);
  EXPECT_GT(bPackets, 0u);
}

TEST_F(MuxTest, RatesComeFromTheStreamsHeadersAndSizes) {
  ASSERT_FALSE(Mux(*video_, *audio_).empty());
  EXPECT_EQ(16384u, report_.audio_rate);  // 128 kbit/s
  EXPECT_EQ(417u, report_.audio.frameLength);
  EXPECT_EQ(418u, report_.audio.paddedFrameLength);
  EXPECT_EQ(154u, report_.audio.framesPadded + report_.audio.framesUnpadded);
  EXPECT_EQ(2500u, report_.video.bit_rate);  // 1000 kbit/s in units of 400 bit/s
  EXPECT_EQ(0u, report_.video.comp_bit_rate % 25);
  EXPECT_EQ(50u * std::max(2500u, report_.video.comp_bit_rate), report_.video_rate);
  // The mux rate covers both streams with the packet overhead and is whole 50 bytes/s.
  EXPECT_GE(report_.dmux_rate * 1997, (report_.video_rate + report_.audio_rate) * 2048);
  EXPECT_LT(report_.dmux_rate * 1997, (report_.video_rate + report_.audio_rate + 100) * 2048);
  EXPECT_EQ(report_.dmux_rate, report_.mux_rate * 50u);
}

TEST_F(MuxTest, TruncatedStreamsStillCarryEveryByte) {
  // Cut the video mid-picture (no sequence end code) and the audio mid-frame.
  std::string video = video_->substr(0, video_->size() * 2 / 3 + 17);
  std::string audio = audio_->substr(0, 417 * 40 + 100);
  std::string out = Mux(video, audio);
  ASSERT_TRUE(ok_) << log_.lines.back();
  test::PsWalk w = test::WalkProgramStream(out);
  ASSERT_EQ("", w.error);
  EXPECT_TRUE(w.endCode);
  std::string videoBytes, audioBytes;
  for (auto& p : w.packets) (p.streamId == 0xE0 ? videoBytes : p.streamId == 0xC0 ? audioBytes : p.payload) += p.payload;
  EXPECT_EQ(video, videoBytes);
  EXPECT_EQ(audio, audioBytes);
}

struct Malformed {
  const char* name;
  std::string (*video)(const std::string&);
  std::string (*audio)(const std::string&);
  const char* message;
};

std::string Same(const std::string& s) { return s; }

TEST_F(MuxTest, MalformedStreamsFailWithOneErrorLine) {
  const Malformed cases[] = {
      {"video without sequence header", [](const std::string& v) { return v.substr(4); }, Same,
       "Error: Invalid MPEG Video stream header."},
      {"empty video", [](const std::string&) { return std::string(); }, Same,
       "Error: Invalid MPEG Video stream header."},
      {"marker bit cleared",
       [](const std::string& v) {
         std::string s = v;
         s[10] = char(s[10] & ~0x20);
         return s;
       },
       Same, "Error: error in MPEG stream at offset (bits) 82: supposed marker bit not found."},
      {"forbidden picture rate",
       [](const std::string& v) {
         std::string s = v;
         s[7] = char((s[7] & 0xF0) | 0x0F);
         return s;
       },
       Same, "Error: Invalid MPEG Video stream header."},
      {"sequence header only", [](const std::string& v) { return v.substr(0, 12); }, Same,
       "Error: MPEG Video stream holds no pictures."},
      {"audio without sync word", Same, [](const std::string& a) { return a.substr(1); },
       "Error: Invalid MPEG Audio stream header."},
      {"empty audio", Same, [](const std::string&) { return std::string(); },
       "Error: Invalid MPEG Audio stream header."},
      {"layer III audio", Same,
       [](const std::string& a) {
         std::string s = a;
         s[1] = char((s[1] & ~0x06) | 0x02);
         return s;
       },
       "Error: Invalid MPEG Audio stream header."},
      {"free-format audio", Same,
       [](const std::string& a) {
         std::string s = a;
         s[2] = char(s[2] & 0x0F);
         return s;
       },
       "Error: Invalid MPEG Audio stream header."},
  };
  for (const Malformed& c : cases) {
    SCOPED_TRACE(c.name);
    log_.lines.clear();
    EXPECT_EQ("", Mux(c.video(*video_), c.audio(*audio_)));
    EXPECT_FALSE(ok_);
    ASSERT_EQ(1u, log_.lines.size());
    EXPECT_EQ(c.message, log_.lines[0]);
  }
}

TEST_F(MuxTest, MissingInputIsReportedByName) {
  WriteBytes(tmp_.file("in.m1v"), *video_);
  EXPECT_FALSE(Multiplex(tmp_.file("in.m1v"), tmp_.file("none.mp2"), tmp_.file("out.mpg"), log_, report_));
  ASSERT_EQ(1u, log_.lines.size());
  EXPECT_EQ("Error: File " + tmp_.file("none.mp2") + " not found.", log_.lines[0]);
}

TEST_F(MuxTest, DisagreeingRatesStopAtTheOutputCap) {
  // A rate field far above the data makes the loop pad; the cap ends it as an error.
  std::string video = *video_;
  video[8] = char(0xFF), video[9] = char(0xFF), video[10] = char(video[10] | 0xC0);
  WriteBytes(tmp_.file("in.m1v"), video);
  WriteBytes(tmp_.file("in.mp2"), *audio_);
  MuxLimits limits;
  limits.maxOutputBytes = 1 << 20;
  EXPECT_FALSE(Multiplex(tmp_.file("in.m1v"), tmp_.file("in.mp2"), tmp_.file("out.mpg"), log_, report_, limits));
  ASSERT_EQ(1u, log_.lines.size());
  EXPECT_EQ(0u, log_.lines[0].rfind("Error: multiplexing makes no progress", 0));
}

}  // namespace
}  // namespace zr::mpeg
