// AVI files through encode-video: every input depth, odd sizes, frame-rate rows and
// compressed input decode cleanly with the right size, rate and picture count; the rate
// holds over complex content; threads change no byte. And the picture placement itself.
#include <cstring>
#include <fstream>

#include <gtest/gtest.h>

#include "mpeg/avi_input.h"
#include "support/fake_host.h"
#include "support/temp_dir.h"
#include "video_support.h"

namespace zr::mpeg {
namespace {

const std::string kCli = std::string(ZR_BIN_DIR) + "/zerarive-cli";

std::string MakeAvi(const zr::test::TempDir& dir, const std::string& name, const std::string& source,
                    const std::string& codec) {
  std::string path = dir.file(name);
  std::string cmd = "ffmpeg -nostdin -y -v error -f lavfi -i " + source + " " + codec + " '" + path + "' 2>&1";
  std::string out;
  EXPECT_EQ(zr::test::RunCommand(cmd, &out), 0) << out;
  return path;
}

struct Probe {
  std::string size, rate;
  int frames = 0;
};

Probe ProbeStream(const std::string& path) {
  std::string out;
  zr::test::RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                       "stream=width,height,r_frame_rate,nb_read_frames -of csv=p=0 '" + path + "'",
                       &out);
  Probe p;
  // width,height,r_frame_rate,nb_read_frames
  size_t a = out.find(','), b = out.find(',', a + 1), c = out.find(',', b + 1);
  if (c == std::string::npos) return p;
  p.size = out.substr(0, a) + "x" + out.substr(a + 1, b - a - 1);
  p.rate = out.substr(b + 1, c - b - 1);
  p.frames = std::atoi(out.c_str() + c + 1);
  return p;
}

struct AviCase {
  const char* name;
  const char* source;
  const char* codec;
  const char* size;
  const char* rate;
  int frames;
};

class AviToStream : public ::testing::TestWithParam<AviCase> {};

TEST_P(AviToStream, DecodesWithTheStatedSizeRateAndCount) {
  const AviCase& c = GetParam();
  zr::test::TempDir dir;
  std::string avi = MakeAvi(dir, "in.avi", c.source, c.codec);
  std::string m1v = dir.file("out.m1v"), log;
  ASSERT_EQ(zr::test::RunCommand(kCli + " encode-video '" + avi + "' '" + m1v + "' 2>&1", &log), 0) << log;
  EXPECT_NE(log.find("Video completed"), std::string::npos) << log;
  EXPECT_EQ(test::DecodeErrors(m1v), "");
  Probe p = ProbeStream(m1v);
  EXPECT_EQ(p.size, c.size);
  EXPECT_EQ(p.rate, c.rate);
  EXPECT_EQ(p.frames, c.frames);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, AviToStream,
    ::testing::Values(
        AviCase{"bgr24", "testsrc2=size=64x48:rate=25 -t 0.4", "-c:v rawvideo -pix_fmt bgr24", "64x48", "25/1", 10},
        AviCase{"bgra", "testsrc2=size=64x48:rate=25 -t 0.2", "-c:v rawvideo -pix_fmt bgra", "64x48", "25/1", 5},
        AviCase{"rgb555", "testsrc2=size=64x48:rate=25 -t 0.2", "-c:v rawvideo -pix_fmt rgb555le", "64x48", "25/1", 5},
        AviCase{"pal8", "testsrc2=size=64x48:rate=25 -t 0.2", "-c:v rawvideo -pix_fmt pal8", "64x48", "25/1", 5},
        AviCase{"odd", "\"testsrc2=size=322x240:rate=25,format=bgr24,crop=321:239\" -t 0.12", "-c:v rawvideo -pix_fmt bgr24", "336x240", "25/1", 3},
        AviCase{"msvc", "testsrc2=size=64x48:rate=30 -t 0.2", "-c:v msvideo1", "64x48", "30/1", 6},
        AviCase{"mjpg", "testsrc2=size=64x48:rate=24 -t 0.25", "-c:v mjpeg -q:v 3", "64x48", "24/1", 6},
        AviCase{"fps10", "testsrc2=size=32x32:rate=10 -t 0.3", "-c:v rawvideo -pix_fmt bgr24", "32x32", "30/1", 9},
        AviCase{"fps12", "testsrc2=size=32x32:rate=12 -t 0.25", "-c:v rawvideo -pix_fmt bgr24", "32x32", "24/1", 6},
        AviCase{"fps15", "testsrc2=size=32x32:rate=15 -t 0.2", "-c:v rawvideo -pix_fmt bgr24", "32x32", "30/1", 6},
        AviCase{"ntsc_film", "testsrc2=size=32x32:rate=24000/1001 -t 0.21", "-c:v rawvideo -pix_fmt bgr24", "32x32", "24000/1001", 5},
        AviCase{"ntsc", "testsrc2=size=32x32:rate=30000/1001 -t 0.2", "-c:v rawvideo -pix_fmt bgr24", "32x32", "30000/1001", 6},
        AviCase{"fps20", "testsrc2=size=32x32:rate=20 -t 0.25", "-c:v rawvideo -pix_fmt bgr24", "32x32", "24000/1001", 5}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AviToStreamThreads, OneAndTwoThreadsWriteTheSameBytes) {
  zr::test::TempDir dir;
  std::string avi = MakeAvi(dir, "in.avi", "testsrc2=size=160x112:rate=25 -t 0.6", "-c:v rawvideo -pix_fmt bgr24");
  std::string log;
  ASSERT_EQ(zr::test::RunCommand(kCli + " encode-video --threads 1 '" + avi + "' '" + dir.file("a.m1v") + "' 2>&1", &log), 0) << log;
  ASSERT_EQ(zr::test::RunCommand(kCli + " encode-video --threads 2 '" + avi + "' '" + dir.file("b.m1v") + "' 2>&1", &log), 0) << log;
  std::string a = zr::test::ReadBytes(dir.file("a.m1v")), b = zr::test::ReadBytes(dir.file("b.m1v"));
  EXPECT_GT(a.size(), 1000u);
  EXPECT_TRUE(a == b);
}

TEST(AviToStreamRate, TenSecondsOfMovingContentHoldTheRate) {
  zr::test::TempDir dir;
  std::string avi = MakeAvi(dir, "in.avi", "testsrc2=size=320x240:rate=25 -t 10", "-c:v rawvideo -pix_fmt bgr24");
  std::string m1v = dir.file("out.m1v"), log;
  ASSERT_EQ(zr::test::RunCommand(kCli + " encode-video '" + avi + "' '" + m1v + "' 2>&1", &log), 0) << log;
  EXPECT_NE(log.find("Warning: buffer overflow"), std::string::npos) << log;  // vbv_delay clamps
  double bits = 8.0 * double(zr::test::ReadBytes(m1v).size());
  double rate = bits / 10.0;
  EXPECT_NEAR(rate, 1228800.0, 0.05 * 1228800.0);
}

// Each opening fault: its named error with the field, the log line the converter has
// always written, and the precise detail.
TEST(AviInputFaults, EachFatalOpeningNamesItsError) {
  zr::test::TempDir dir;
  {
    std::ofstream(dir.file("text.avi")) << "not a RIFF file at all";
  }
  struct Case {
    std::string path;
    AviInputError error;
    std::string line;    // the log line
    std::string detail;  // a part of the detail
  } cases[] = {
      {dir.file("none.avi"), AviInputError::CannotOpen,
       "Error: " + dir.file("none.avi") + " is locked or unavailable", "cannot open the file"},
      {dir.file("text.avi"), AviInputError::CannotOpen,
       "Error: " + dir.file("text.avi") + " is locked or unavailable", "AVIERR_"},
      {MakeAvi(dir, "sound.avi", "anullsrc=r=22050:cl=mono -t 0.2", "-c:a pcm_s16le"),
       AviInputError::NoVideo, "Error: corrupted video", "no readable video stream"},
      {MakeAvi(dir, "wide.avi", "color=c=red:size=4088x16:rate=25 -t 0.04",
               "-c:v rawvideo -pix_fmt bgr24"),
       AviInputError::TooBig, "Error: frame is too big (4088x16 pixels)", "too big 4088 x 16"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    AviInput input;
    RecordingLog log;
    AviInputFault fault;
    EXPECT_FALSE(input.Open(c.path, log, fault));
    EXPECT_EQ(fault.error, c.error);
    EXPECT_EQ(AviInputLogLine(fault, c.path), c.line);
    EXPECT_NE(AviInputDetail(fault).find(c.detail), std::string::npos) << AviInputDetail(fault);
    // The reader itself writes no error line: that is the caller's.
    for (const std::string& line : log.lines) EXPECT_NE(line.rfind("Error: ", 0), 0u) << line;
  }
}

// The converter and the encode-video command turn the fault into the log line, and the
// command adds the precise reason on stderr.
TEST(AviInputFaults, TheCommandsLogTheLineAndTheDetail) {
  zr::test::TempDir dir;
  std::string avi = MakeAvi(dir, "wide.avi", "color=c=red:size=4088x16:rate=25 -t 0.04",
                            "-c:v rawvideo -pix_fmt bgr24");
  std::string out;
  EXPECT_NE(zr::test::RunCommand(kCli + " encode-video '" + avi + "' '" + dir.file("o.m1v") +
                                     "' 2>&1", &out), 0);
  EXPECT_NE(out.find("Error: frame is too big (4088x16 pixels)"), std::string::npos) << out;
  EXPECT_NE(out.find("AVI input: frame size too big 4088 x 16"), std::string::npos) << out;
  EXPECT_NE(zr::test::RunCommand(kCli + " convert --out '" + dir.file("o") + "' '" + avi +
                                     "' 2>&1 >/dev/null", &out), 0);
  EXPECT_NE(out.find("wide.avi: AVI input: frame size too big 4088 x 16"), std::string::npos)
      << out;
}

// A 24-bit DIB of w x h with every pixel produced by colour(x, y) (y from the top).
std::vector<uint8_t> Dib24(int w, int h, uint32_t (*colour)(int, int)) {
  const uint32_t stride = DibStride(w, 24);
  std::vector<uint8_t> block(40 + size_t(stride) * h, 0);
  BitmapInfoHeader hd;
  hd.biWidth = w;
  hd.biHeight = h;
  hd.biBitCount = 24;
  std::memcpy(block.data(), &hd, 40);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint32_t c = colour(x, y);  // 0xRRGGBB
      uint8_t* p = block.data() + 40 + size_t(h - 1 - y) * stride + 3 * x;
      p[0] = uint8_t(c);
      p[1] = uint8_t(c >> 8);
      p[2] = uint8_t(c >> 16);
    }
  return block;
}

TEST(PicturePlacement, SmallFrameSitsAtTheTopCentredWithBlackMargins) {
  auto dib = Dib24(10, 10, [](int, int) { return 0xFFFFFFu; });
  Frame pic;
  pic.Allocate(16, 16);
  RecordingLog log;
  ASSERT_TRUE(AviInput::ConvertDib(reinterpret_cast<const BitmapInfoHeader*>(dib.data()), dib.size(), pic, log));
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      bool source = y < 10 && x >= 3 && x <= 12;
      EXPECT_EQ(pic.y[size_t(y) * 16 + x], source ? 255 : 0) << x << "," << y;
    }
  EXPECT_EQ(pic.cb[0], 128);
  EXPECT_EQ(pic.cb[1], 128);  // columns 2, 3: margin and white, both 128
}

TEST(PicturePlacement, RowsAreTakenBottomUpAndChromaIsTheTruncatedAverage) {
  // Top row blue, the rest black: DIB rows are stored last row first.
  auto dib = Dib24(2, 2, [](int x, int y) { return y == 0 && x == 0 ? 0x0000FFu : 0u; });
  Frame pic;
  pic.Allocate(16, 16);
  RecordingLog log;
  ASSERT_TRUE(AviInput::ConvertDib(reinterpret_cast<const BitmapInfoHeader*>(dib.data()), dib.size(), pic, log));
  // Source at columns 7, 8; pixel (7, 0) is blue: Y 28, Cb 255, Cr 107.
  EXPECT_EQ(pic.y[7], 28);
  EXPECT_EQ(pic.y[16 + 7], 0);
  // Chroma column 3 covers columns 6, 7 of rows 0, 1: (128 + 255 + 128 + 128) >> 2.
  EXPECT_EQ(pic.cb[3], (128 + 255 + 128 + 128) >> 2);
  EXPECT_EQ(pic.cr[3], (128 + 107 + 128 + 128) >> 2);
}

TEST(PicturePlacement, UnsupportedFormatsLeaveThePictureAndSay) {
  auto dib = Dib24(4, 4, [](int, int) { return 0xFFFFFFu; });
  auto* h = reinterpret_cast<BitmapInfoHeader*>(dib.data());
  Frame pic;
  pic.Allocate(16, 16);
  RecordingLog log;
  h->biCompression = BI_BITFIELDS;
  EXPECT_FALSE(AviInput::ConvertDib(h, dib.size(), pic, log));
  h->biCompression = BI_RGB;
  h->biBitCount = 4;
  EXPECT_FALSE(AviInput::ConvertDib(h, dib.size(), pic, log));
  EXPECT_EQ(log.lines, (std::vector<std::string>{
                           "Error: BI_BITFIELDS compression not supported, must be BI_RGB",
                           "Error: 4 BPP is unsupported (must be 8, 16, 24, or 32)"}));
  h->biBitCount = 24;
  EXPECT_FALSE(AviInput::ConvertDib(h, dib.size() - 1, pic, log));  // rows cut short
  EXPECT_EQ(pic.y[0], 0);
}

// A frame whose header claims a width beyond the caps must be refused before its stride is
// used: at 32 bits, width 0x40000001 once wrapped the stride to 4 bytes per row.
TEST(PicturePlacement, WidthsBeyondTheCapsAreRefusedBeforeAnyRowIsRead) {
  const std::string finding =
      zr::test::ReadBytes(std::string(ZR_SOURCE_DIR) + "/fuzz/regressions/avi_input-1.bin");
  ASSERT_GT(finding.size(), 2 + sizeof(BitmapInfoHeader));
  std::vector<uint8_t> found(finding.begin() + 2, finding.end());
  Frame pic;
  pic.Allocate(32, 48);
  RecordingLog log;
  EXPECT_FALSE(AviInput::ConvertDib(reinterpret_cast<const BitmapInfoHeader*>(found.data()),
                                    found.size(), pic, log));

  for (int bits : {8, 16, 24, 32}) {
    for (int64_t width : {int64_t(kMaxImageSide) - 1, int64_t(kMaxImageSide),
                          int64_t(kMaxImageSide) + 1}) {
      SCOPED_TRACE(testing::Message() << bits << " bits, width " << width);
      const size_t rows = 2 * DibStride(width, bits);
      std::vector<uint8_t> block(40 + (bits == 8 ? 1024 : 0) + rows, 0xFF);
      BitmapInfoHeader h;
      h.biWidth = int32_t(width);
      h.biHeight = 2;
      h.biBitCount = uint16_t(bits);
      std::memcpy(block.data(), &h, sizeof h);
      pic.Allocate(16, 16);
      const auto* dib = reinterpret_cast<const BitmapInfoHeader*>(block.data());
      const bool inCaps = width <= kMaxImageSide;
      EXPECT_EQ(AviInput::ConvertDib(dib, block.size(), pic, log), inCaps);
      if (inCaps) {
        EXPECT_EQ(pic.y[0], 255);  // the picture shows the middle of the white rows
        EXPECT_FALSE(AviInput::ConvertDib(dib, block.size() - 1, pic, log));
      }
    }
  }
  // Widths beyond 32 bits of stride keep their true size.
  EXPECT_EQ(DibStride(0x40000001, 32), uint64_t(0x100000004));
  EXPECT_EQ(DibStride(INT32_MAX, 1), uint64_t(0x10000000));
  EXPECT_EQ(DibStride(INT32_MAX, 24), (uint64_t(INT32_MAX) * 24 + 31) / 32 * 4);
}

}  // namespace
}  // namespace zr::mpeg
