// Exports read back with ffprobe/ffmpeg and webpmux/dwebp: codec, picture count, every
// delay, size, first picture, sound length, and what a failure leaves behind.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>

#include "image/cbmp.h"
#include "output/avi_messages.h"
#include "output/export.h"
#include "output/merge.h"
#include "output_support.h"
#include "support/temp_dir.h"

namespace zr {
namespace {

using test::ListDir;
using test::ReadBytes;
using test::RunCommand;
using test::TempDir;

constexpr int kW = 161, kH = 121;  // odd on purpose
const std::vector<uint32_t> kCounts = {1, 5, 2, 10};

// Delays of every picture: GIF in 1/100 s, APNG as num/den seconds in ms, WebP in ms.
std::vector<int> GifDelays(const std::string& bytes) {
  std::vector<int> delays;
  size_t p = 13;
  auto u8 = [&](size_t i) { return uint8_t(bytes[i]); };
  if (bytes.size() < 13) return delays;
  if (u8(10) & 0x80) p += 3u << ((u8(10) & 7) + 1);
  while (p < bytes.size()) {
    if (u8(p) == 0x21) {
      if (u8(p + 1) == 0xF9) delays.push_back(u8(p + 4) | u8(p + 5) << 8);
      p += 2;
      while (p < bytes.size() && u8(p)) p += u8(p) + 1;
      ++p;
    } else if (u8(p) == 0x2C) {
      uint8_t flags = u8(p + 9);
      p += 10;
      if (flags & 0x80) p += 3u << ((flags & 7) + 1);
      ++p;  // LZW minimum code size
      while (p < bytes.size() && u8(p)) p += u8(p) + 1;
      ++p;
    } else {
      break;
    }
  }
  return delays;
}

uint32_t Be32(const std::string& b, size_t i) {
  return uint32_t(uint8_t(b[i])) << 24 | uint32_t(uint8_t(b[i + 1])) << 16 |
         uint32_t(uint8_t(b[i + 2])) << 8 | uint8_t(b[i + 3]);
}

std::vector<int> ApngDelaysMs(const std::string& b, int* plays = nullptr) {
  std::vector<int> delays;
  for (size_t p = 8; p + 12 <= b.size();) {
    uint32_t n = Be32(b, p);
    std::string type = b.substr(p + 4, 4);
    if (type == "fcTL") {
      int num = uint8_t(b[p + 28]) << 8 | uint8_t(b[p + 29]);
      int den = uint8_t(b[p + 30]) << 8 | uint8_t(b[p + 31]);
      delays.push_back(int(std::lround(1000.0 * num / (den ? den : 100))));
    }
    if (type == "acTL" && plays) *plays = int(Be32(b, p + 12));
    p += 12 + n;
  }
  return delays;
}

std::vector<int> WebpDelays(const std::string& path, int* loops = nullptr) {
  std::string out;
  RunCommand("webpmux -info '" + path + "'", &out);
  std::vector<int> delays;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    if (loops && line.find("Loop Count") != std::string::npos) {
      *loops = std::stoi(line.substr(line.rfind(':') + 1));
    }
    int no, w, h, x, y, d;
    char alpha[8];
    if (std::sscanf(line.c_str(), " %d: %d %d %7s %d %d %d", &no, &w, &h, alpha, &x, &y, &d) == 7) {
      delays.push_back(d);
    }
  }
  return delays;
}

std::string Probe(const std::string& path, const std::string& entries, const char* stream = "v:0") {
  std::string out;
  RunCommand("ffprobe -v error -count_frames -select_streams " + std::string(stream) +
                 " -show_entries " + entries + " -of csv=p=0 '" + path + "'",
             &out);
  while (!out.empty() && (out.back() == '\n' || out.back() == ',')) out.pop_back();
  return out;
}

// Where the last packet of the stream ends, in seconds.
double StreamEnd(const std::string& path, const char* stream) {
  std::string out;
  RunCommand(std::string("ffprobe -v error -select_streams ") + stream +
                 " -show_entries packet=pts_time,duration_time -of csv=p=0 '" + path + "'",
             &out);
  double end = 0;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    double pts = 0, dur = 0;
    if (std::sscanf(line.c_str(), "%lf,%lf", &pts, &dur) >= 1) end = std::max(end, pts + dur);
  }
  return end;
}

std::string Decode(const std::string& path, const char* pixFmt, std::string* errors = nullptr) {
  TempDir tmp;
  std::string raw = tmp.file("frame.raw");
  std::string cmd = "ffmpeg -v error -i '" + path + "' -frames:v 1 -f rawvideo -pix_fmt " + pixFmt +
                    " -y '" + raw + "' 2>&1";
  std::string err;
  RunCommand(cmd, &err);
  if (errors) *errors = err;
  return ReadBytes(raw);
}

double Luma(uint8_t r, uint8_t g, uint8_t b) { return 0.299 * r + 0.587 * g + 0.114 * b; }

double Psnr(double sumSquares, size_t n) {
  double mse = sumSquares / double(n);
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// PSNR of the luma of an RGB24 picture against a bitmap.
double PsnrRgb(const std::string& rgb, const Bitmap& ref) {
  if (rgb.size() < size_t(ref.width * ref.height * 3)) return 0;
  double ss = 0;
  for (int y = 0; y < ref.height; ++y)
    for (int x = 0; x < ref.width; ++x) {
      const uint8_t* p = reinterpret_cast<const uint8_t*>(rgb.data()) + 3 * (y * ref.width + x);
      Pixel q = ref.at(x, y);
      double d = Luma(p[0], p[1], p[2]) - Luma(uint8_t(q >> 16), uint8_t(q >> 8), uint8_t(q));
      ss += d * d;
    }
  return Psnr(ss, size_t(ref.width) * size_t(ref.height));
}

// Y of the reference through libswscale with the files' matrix (ffmpeg's BT.601 limited).
double PsnrY(const std::string& yuv, int codedWidth, const Bitmap& ref, const std::string& refY) {
  double ss = 0;
  for (int y = 0; y < ref.height; ++y)
    for (int x = 0; x < ref.width; ++x) {
      double d = double(uint8_t(yuv[size_t(y) * codedWidth + x])) -
                 double(uint8_t(refY[size_t(y) * ref.width + x]));
      ss += d * d;
    }
  return Psnr(ss, size_t(ref.width) * size_t(ref.height));
}

class Export : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 4; ++i) {
      std::string p = dir.file("img" + std::to_string(i) + ".png");
      // testsrc2 makes even sizes only: crop it to the odd one.
      ASSERT_EQ(RunCommand("ffmpeg -v error -f lavfi -i testsrc2=size=" + std::to_string(kW + 1) + "x" +
                           std::to_string(kH + 1) + ":rate=1 -ss " + std::to_string(i) + " -vf format=rgb24,crop=" +
                           std::to_string(kW) + ":" + std::to_string(kH) + ":0:0 -frames:v 1 -y '" + p +
                           "'"),
                0);
      images.push_back(p);
    }
  }
  ExportJob Job() const {
    ExportJob job;
    job.paths = images;
    job.counts = kCounts;
    job.fps = 10;
    return job;
  }
  Bitmap First() const {
    CBmp b;
    b.Load(images[0]);
    return b.bitmap();
  }
  std::vector<std::string> Left() const { return ListDir(dir.path()); }
  std::vector<std::string> Inputs() const { return {"img0.png", "img1.png", "img2.png", "img3.png"}; }

  TempDir dir;
  std::vector<std::string> images;
  test::SizeHost host;
};

TEST(ExportFormats, ExtensionsQualityAndTiming) {
  EXPECT_EQ(ExportFormatFromPath("a/B.GIF"), ExportFormat::Gif);
  EXPECT_EQ(ExportFormatFromPath("x.WebM"), ExportFormat::WebM);
  EXPECT_FALSE(ExportFormatFromPath("x.avi"));
  EXPECT_FALSE(ExportFormatFromPath("mp4"));
  struct Case {
    std::optional<int> q;
    int mp4, webm, webp;
  } cases[] = {{std::nullopt, 18, 31, 90}, {100, 0, 0, 100}, {0, 51, 63, 0}, {50, 26, 32, 50}};
  for (const auto& c : cases) {
    EXPECT_EQ(Mp4Crf(c.q), c.mp4);
    EXPECT_EQ(WebmCrf(c.q), c.webm);
    EXPECT_EQ(WebpQuality(c.q), c.webp);
  }
}

TEST(ExportPlan, RoundingIsCarriedAndShortOrLongDelaysReshaped) {
  const ExportTiming gif = TimingOf(ExportFormat::Gif, 1);
  using P = std::vector<std::vector<int64_t>>;
  // 3.33 cs each: the error carried keeps the whole at 10 cs.
  EXPECT_EQ(PlanDelays({1, 1, 1}, 30, gif), (P{{3}, {4}, {3}}));
  // 1.67 cs: an entry under 2 cs shows as part of the next one.
  EXPECT_EQ(PlanDelays({1, 1, 1, 1}, 60, gif), (P{{2}, {}, {3}, {2}}));
  // A short last entry takes over the picture before it.
  EXPECT_EQ(PlanDelays({5, 1}, 100, gif), (P{{}, {6}}));
  // Over 655.35 s: several pictures.
  EXPECT_EQ(PlanDelays({1000}, 1, gif), (P{{50000, 50000}}));
  // The video formats repeat frames; a listed 0 is one frame.
  EXPECT_EQ(PlanDelays({0, 3}, 25, TimingOf(ExportFormat::Mp4, 25)), (P{{1}, {3}}));
  // APNG counts in frames, so nothing is rounded.
  EXPECT_EQ(PlanDelays({1, 5}, 10, TimingOf(ExportFormat::Apng, 10)), (P{{1}, {5}}));
  // Whatever the counts, the total is the rounded whole.
  std::vector<uint32_t> counts = {1, 2, 1, 7, 1, 1, 3, 1, 1, 1, 9};
  for (int fps : {7, 24, 30, 60, 120}) {
    for (ExportFormat f : {ExportFormat::Gif, ExportFormat::WebP}) {
      ExportTiming t = TimingOf(f, fps);
      int64_t total = 0;
      for (auto& e : PlanDelays(counts, fps, t))
        for (int64_t d : e) {
          EXPECT_GE(d, t.minDelay);
          total += d;
        }
      EXPECT_EQ(total, (2 * 28 * t.unitsPerSecond + fps) / (2 * fps)) << fps;
    }
  }
}

struct FormatCase {
  const char* name;
  const char* codec;
  int codedW, codedH;
};

class ExportEach : public Export, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(ExportEach, FileHasTheCodecPicturesDelaysSizeAndFirstPicture) {
  const FormatCase& c = GetParam();
  const std::string out = dir.file(std::string("out.") + c.name);
  ASSERT_TRUE(ExportAnimation(host, Job(), out)) << (host.messages.empty() ? "" : host.messages[0]);
  EXPECT_TRUE(host.messages.empty());
  const std::string ext = c.name;
  const Bitmap first = First();
  if (ext == "webp") {
    EXPECT_EQ(WebpDelays(out), (std::vector<int>{100, 500, 200, 1000}));
    std::string f1 = dir.file("f1.webp"), ppm = dir.file("f1.ppm");
    ASSERT_EQ(RunCommand("webpmux -get frame 1 '" + out + "' -o '" + f1 + "' >/dev/null 2>&1 && dwebp '" +
                         f1 + "' -ppm -o '" + ppm + "' >/dev/null 2>&1"),
              0);
    std::string bytes = ReadBytes(ppm);
    ASSERT_GT(bytes.size(), size_t(kW * kH * 3));
    EXPECT_GE(PsnrRgb(bytes.substr(bytes.size() - size_t(kW * kH * 3)), first), 35.0);
    return;
  }
  EXPECT_EQ(Probe(out, "stream=codec_name,width,height"),
            std::string(c.codec) + "," + std::to_string(c.codedW) + "," + std::to_string(c.codedH));
  std::string errors;
  if (ext == "mp4" || ext == "webm") {
    EXPECT_EQ(Probe(out, "stream=nb_read_frames"), "18");
    EXPECT_NEAR(std::stod(Probe(out, "format=duration")), 1.8, 0.011);
    std::string yuv = Decode(out, "yuv420p", &errors);
    ASSERT_GE(yuv.size(), size_t(c.codedW * c.codedH));
    // The same conversion the files are made with, from the ffmpeg CLI.
    std::string refY = ReadBytes(images[0]);
    std::string y = dir.file("ref.y");
    RunCommand("ffmpeg -v error -i '" + images[0] +
               "' -vf scale=out_color_matrix=bt601:out_range=tv -f rawvideo -pix_fmt gray -y '" + y + "'");
    EXPECT_GE(PsnrY(yuv, c.codedW, first, ReadBytes(y)), 40.0);
    if (ext == "mp4") {
      EXPECT_EQ(Probe(out, "stream=color_range,color_space"), "tv,smpte170m");
      // The added column repeats the last one.
      EXPECT_NEAR(uint8_t(yuv[kW]), uint8_t(yuv[kW - 1]), 2);
    }
  } else {
    std::string rgb = Decode(out, "rgb24", &errors);
    if (ext == "gif") {
      EXPECT_EQ(GifDelays(ReadBytes(out)), (std::vector<int>{10, 50, 20, 100}));
      EXPECT_GE(PsnrRgb(rgb, first), 30.0);
    } else {
      EXPECT_EQ(ApngDelaysMs(ReadBytes(out)), (std::vector<int>{100, 500, 200, 1000}));
      EXPECT_EQ(PsnrRgb(rgb, first), 99);
    }
  }
  EXPECT_EQ(errors, "");
  std::string all;
  RunCommand("ffmpeg -v error -i '" + out + "' -f null - 2>&1", &all);
  EXPECT_EQ(all, "");
}

INSTANTIATE_TEST_SUITE_P(Formats, ExportEach,
                         ::testing::Values(FormatCase{"mp4", "h264", kW + 1, kH + 1},
                                           FormatCase{"webm", "vp9", kW, kH},
                                           FormatCase{"gif", "gif", kW, kH},
                                           FormatCase{"webp", "", kW, kH},
                                           FormatCase{"apng", "apng", kW, kH}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Export, SoundIsCutOrPaddedToTheVideo) {
  std::string pcm = dir.file("pcm.wav"), adpcm = dir.file("adpcm.wav"), mid = dir.file("t.mid");
  ASSERT_EQ(RunCommand("ffmpeg -v error -f lavfi -i sine=d=1 -ar 22050 -y '" + pcm + "'"), 0);
  ASSERT_EQ(RunCommand("ffmpeg -v error -f lavfi -i sine=d=3 -ar 48000 -ac 2 -c:a adpcm_ms -y '" +
                       adpcm + "'"),
            0);
  std::string track = std::string("\x00\x90\x3C\x64\x83\x60\x80\x3C\x00\x00\xFF\x2F\x00", 13);
  test::WriteBytes(mid, std::string("MThd\0\0\0\6\0\0\0\1\1\xE0MTrk\0\0\0", 21) +
                            char(track.size()) + track);
  for (const char* ext : {"mp4", "webm"}) {
    for (const std::string& sound : {pcm, adpcm, mid}) {
      ExportJob job = Job();
      job.sound = sound;
      std::string out = dir.file(std::string("s.") + ext);
      ASSERT_TRUE(ExportAnimation(host, job, out)) << sound;
      EXPECT_EQ(Probe(out, "stream=codec_name", "a"), ext == std::string("mp4") ? "aac" : "opus");
      EXPECT_NEAR(StreamEnd(out, "a"), 1.8, 0.05) << ext << " " << sound;
    }
  }
  ExportJob job = Job();
  job.sound = pcm;
  job.options.sound = false;
  ASSERT_TRUE(ExportAnimation(host, job, dir.file("quiet.mp4")));
  EXPECT_EQ(Probe(dir.file("quiet.mp4"), "stream=codec_name", "a"), "");
}

TEST_F(Export, LoopCountsAreTotalPlays) {
  ExportJob job = Job();
  job.options.plays = 3;
  ASSERT_TRUE(ExportAnimation(host, job, dir.file("l.gif")));
  ASSERT_TRUE(ExportAnimation(host, job, dir.file("l.apng")));
  ASSERT_TRUE(ExportAnimation(host, job, dir.file("l.webp")));
  std::string gif = ReadBytes(dir.file("l.gif"));
  size_t at = gif.find("NETSCAPE2.0");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(uint8_t(gif[at + 13]), 2);  // repeats after the first play
  int plays = -1, loops = -1;
  ApngDelaysMs(ReadBytes(dir.file("l.apng")), &plays);
  EXPECT_EQ(plays, 3);
  WebpDelays(dir.file("l.webp"), &loops);
  EXPECT_EQ(loops, 3);
  job.options.plays = 1;
  ASSERT_TRUE(ExportAnimation(host, job, dir.file("once.gif")));
  EXPECT_EQ(ReadBytes(dir.file("once.gif")).find("NETSCAPE2.0"), std::string::npos);
}

TEST_F(Export, FailuresLeaveNoFileAndSayWhy) {
  struct Case {
    std::string out;
    std::function<void(ExportJob&, test::SizeHost&)> change;
    std::string said;  // start of the one message; empty: none, only the status
  };
  const std::string missing = dir.file("gone.png");
  Case cases[] = {
      {dir.file("no/such/folder/x.mp4"), [](ExportJob&, test::SizeHost&) {}, "Could not export "},
      {dir.file("x.gif"), [&](ExportJob& j, test::SizeHost&) { j.paths[2] = missing; },
       kCouldNotLoad + missing},
      {dir.file("x.apng"), [](ExportJob&, test::SizeHost& h) { h.cancelAfterPolls = 2; }, ""},
      {dir.file("x.mp4"), [](ExportJob&, test::SizeHost& h) { h.cancelAfterPolls = 3; }, ""},
      {dir.file("x.webp"), [](ExportJob& j, test::SizeHost&) { j.paths.clear(), j.counts.clear(); },
       "There are no images to export"},
      {dir.file("x.mov"), [](ExportJob&, test::SizeHost&) {}, "Cannot export to "},
      {dir.file("x.gif"), [](ExportJob& j, test::SizeHost&) { j.fps = 0; }, "Exporting needs"},
      {dir.file("x.mp4"), [&](ExportJob& j, test::SizeHost&) { j.sound = dir.file("none.wav"); },
       CannotOpenMessage(dir.file("none.wav"))},
  };
  for (auto& c : cases) {
    test::SizeHost h;
    ExportJob job = Job();
    c.change(job, h);
    EXPECT_FALSE(ExportAnimation(h, job, c.out)) << c.out;
    EXPECT_EQ(Left(), Inputs()) << c.out;
    if (c.said.empty()) {
      EXPECT_TRUE(h.messages.empty()) << c.out;
      ASSERT_FALSE(h.statuses.empty());
      EXPECT_EQ(h.statuses.back(), kStatusCancelled);
    } else {
      ASSERT_EQ(h.messages.size(), 1u) << c.out;
      EXPECT_EQ(h.messages[0].rfind(c.said, 0), 0u) << h.messages[0];
    }
  }
}

TEST_F(Export, ImagesOfAnotherSizeFollowTheFitAnswer) {
  std::string small = test::SaveImage(dir.file("small.bmp"), 40, 30, 0x0000FF, 0x00FF00);
  ExportJob job = Job();
  job.paths[1] = small;
  auto pictures = [&](const std::string& out) {
    std::string rgb = dir.file("all.rgb");
    RunCommand("ffmpeg -v error -i '" + out + "' -vsync passthrough -f rawvideo -pix_fmt rgb24 -y '" +
               rgb + "'");
    return ReadBytes(rgb);
  };
  auto pixel = [&](const std::string& all, int picture, int x, int y) {
    const uint8_t* p =
        reinterpret_cast<const uint8_t*>(all.data()) + size_t(picture) * kW * kH * 3 + 3 * (y * kW + x);
    return Rgb(p[0], p[1], p[2]);
  };
  const ColorRef white = 0xFFFFFF, red = 0x0000FF;
  struct Case {
    ImageSizeAnswer answer;
    size_t pictures;
    int x, y;
    ColorRef expected;
  } cases[] = {
      {test::Answer(0), 3, 0, 0, 0},                // skipped: its 0.5 s are gone
      {test::Answer(1), 4, kW / 2, kH / 2, red},    // stretched over the frame
      {test::Answer(2), 4, 2, 2, white},            // centred on the background
      {test::Answer(3, false, 10, 20), 4, 0, 0, 0xFFFFFFFF},  // placed: composed as for an AVI
  };
  for (auto& c : cases) {
    test::SizeHost h;
    h.sizeAnswers = {c.answer};
    std::string out = dir.file("fit.apng");
    ASSERT_TRUE(ExportAnimation(h, job, out));
    EXPECT_EQ(h.asked, std::vector<std::string>{small});
    EXPECT_EQ(ApngDelaysMs(ReadBytes(out)).size(), c.pictures);
    if (c.pictures == 4 && c.expected != 0xFFFFFFFF) {
      std::string all = pictures(out);
      ASSERT_GE(all.size(), size_t(2 * kW * kH * 3));
      EXPECT_EQ(pixel(all, 1, c.x, c.y), c.expected) << c.answer.choice;
    }
  }
}

TEST_F(Export, GifAsksAndTellsOnceOverItsTwoPasses) {
  std::string small = test::SaveImage(dir.file("small.bmp"), 40, 30, 0x0000FF);
  ExportJob job = Job();
  job.paths[1] = small;
  host.sizeAnswers = {test::Answer(2)};
  ASSERT_TRUE(ExportAnimation(host, job, dir.file("two.gif")));
  EXPECT_EQ(host.asked.size(), 1u);
  EXPECT_EQ(GifDelays(ReadBytes(dir.file("two.gif"))).size(), 4u);
  // The size dialog's Cancel in the first pass ends the second at the same image.
  test::SizeHost stop;
  stop.sizeAnswers = {std::nullopt};
  ASSERT_TRUE(ExportAnimation(stop, job, dir.file("stop.gif")));
  EXPECT_EQ(GifDelays(ReadBytes(dir.file("stop.gif"))), std::vector<int>{10});
  EXPECT_EQ(stop.asked.size(), 1u);
}

}  // namespace
}  // namespace zr
