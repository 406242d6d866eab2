// CAviWriter, CreateAvi, MergeStreams and the job, read back through the AVI layer and
// ffprobe.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "app/document.h"
#include "app/settings_file.h"
#include "output/avi_messages.h"
#include "output/avi_writer.h"
#include "output/create_avi.h"
#include "output/job.h"
#include "output/merge.h"
#include "output_support.h"
#include "platform/paths.h"
#include "support/temp_dir.h"

namespace zr {
namespace {

using test::Answer;
using test::At;
using test::ReadAvi;
using test::RunCommand;
using test::SaveImage;
using test::TempDir;

constexpr ColorRef kRed = 0x0000FF, kBlue = 0xFF0000, kGreen = 0x00FF00, kWhite = 0xFFFFFF;

AVICOMPRESSOPTIONS Stored() {
  AVICOMPRESSOPTIONS o = DefaultCompressOptions();
  o.fccHandler = kCompressorDib;
  return o;
}

bool Exists(const std::string& path) { return std::ifstream(path).good(); }

std::string Probe(const std::string& path) {
  std::string out;
  RunCommand("ffprobe -v error -count_frames -show_entries "
             "stream=codec_type,codec_name,width,height,r_frame_rate,nb_read_frames "
             "-of default=noprint_wrappers=1 '" + path + "'",
             &out);
  return out;
}

TEST(CompressOptions, StartValues) {
  AVICOMPRESSOPTIONS o = DefaultCompressOptions();
  EXPECT_EQ(o.fccType, streamtypeVIDEO);
  EXPECT_EQ(FourCCToString(o.fccHandler), "msvc");
  EXPECT_EQ(o.dwKeyFrameEvery, 20u);
  EXPECT_EQ(o.dwQuality, 10000u);
  EXPECT_EQ(o.dwBytesPerSecond, 0u);
  EXPECT_EQ(o.dwFlags, AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_VALID);
}

TEST(ErrorMessages, CodesMapToTheirTexts) {
  EXPECT_EQ(CodecErrorMessage(1), "Codec error (1): No bitmaps specified");
  EXPECT_EQ(CodecErrorMessage(0), "Codec error (0): Generic AVI error");
  EXPECT_EQ(std::string(AviMessageText(ErrorMessageId(AVIERR_BADPARAM))), "Bad parameter passed");
  EXPECT_EQ(ErrorMessageId(AVIERR_NOCOMPRESSOR), 61221);
  EXPECT_EQ(ErrorMessageId(REGDB_E_CLASSNOTREG), 61212);
  EXPECT_EQ(ErrorMessageId(AVIERR_FILEWRITE), 61219);
  EXPECT_EQ(ErrorMessageId(12345), 61227);
}

class Writer : public ::testing::Test {
 protected:
  std::string Img(const std::string& name, int w, int h, ColorRef c) {
    return SaveImage(dir.file(name), w, h, c, c);
  }
  TempDir dir;
  test::SizeHost host;
};

TEST_F(Writer, FrameCountsRepeatImagesAtTheRate) {
  CAviWriter w;
  w.options = Stored();
  w.SetRate(7);
  w.SetBits(24);
  w.AddFrame(Img("a.bmp", 20, 10, kRed), 3);
  w.AddFrame(Img("b.bmp", 20, 10, kGreen), 0);  // 0 writes once
  w.AddFrame(Img("c.bmp", 20, 10, kBlue), 2);
  std::string out = dir.file("out.avi");
  ASSERT_TRUE(w.Write(host, out)) << w.nError;
  auto d = ReadAvi(out);
  EXPECT_EQ(d.frames, 6);
  EXPECT_EQ(d.rate, 7);
  ASSERT_EQ(d.pictures.size(), 6u);
  const ColorRef want[] = {kRed, kRed, kRed, kGreen, kBlue, kBlue};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(At(d.pictures[size_t(i)], 5, 5), want[i]) << i;
  std::string probe = Probe(out);
  EXPECT_NE(probe.find("nb_read_frames=6"), std::string::npos) << probe;
  EXPECT_NE(probe.find("r_frame_rate=7/1"), std::string::npos) << probe;
  EXPECT_TRUE(host.asked.empty()) << "same-size images never ask";
}

TEST_F(Writer, MismatchingImagesFollowThePolicyAndTheLogoComesLast) {
  host.sizeAnswers.push_back(Answer(2, false, 0, 0, kBlue));  // centre the 10x10
  host.sizeAnswers.push_back(Answer(0, true));                // skip the rest
  CAviWriter w;
  w.options = Stored();
  w.SetRate(10);
  w.AddFrame(Img("a.bmp", 40, 30, kRed), 1);
  w.AddFrame(Img("small.bmp", 10, 10, kGreen), 1);
  w.AddFrame(Img("tall.bmp", 40, 31, kGreen), 1);  // same width, other height: asked
  w.AddFrame(Img("wide.bmp", 41, 30, kGreen), 1);  // skipped without asking
  w.AddFrame(Img("b.bmp", 40, 30, kWhite), 1);
  // A 2x2 black logo at (1, 1).
  w.applyLogo = [](CBmp& b) {
    for (int y = 1; y < 3; ++y)
      for (int x = 1; x < 3; ++x) b.bitmap().at(x, y) = 0;
  };
  std::string out = dir.file("fit.avi");
  ASSERT_TRUE(w.Write(host, out));
  EXPECT_EQ(host.asked.size(), 2u);
  auto d = ReadAvi(out);
  ASSERT_EQ(d.frames, 3);
  EXPECT_EQ(At(d.pictures[1], 15, 10), kGreen);
  EXPECT_EQ(At(d.pictures[1], 14, 10), kBlue);
  EXPECT_EQ(At(d.pictures[1], 25, 20), kBlue);
  EXPECT_EQ(At(d.pictures[1], 1, 1), 0u) << "logo over the fitted picture";
  EXPECT_EQ(At(d.pictures[2], 5, 5), kWhite);
  EXPECT_EQ(At(d.pictures[2], 2, 2), 0u);
}

TEST_F(Writer, SizeDialogCancelKeepsTheFramesSoFar) {
  CAviWriter w;
  w.options = Stored();
  w.SetRate(10);
  w.AddFrame(Img("a.bmp", 16, 16, kRed), 2);
  w.AddFrame(Img("s.bmp", 8, 8, kRed), 1);  // the empty answer queue is Cancel
  w.AddFrame(Img("b.bmp", 16, 16, kRed), 1);
  std::string out = dir.file("cancel.avi");
  ASSERT_TRUE(w.Write(host, out));
  EXPECT_EQ(ReadAvi(out).frames, 2);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(Writer, AnUnloadableImageAnywhereIsAToldFailure) {
  Img("a.bmp", 16, 16, kRed);
  Img("b.bmp", 16, 16, kRed);
  std::string out = dir.file("old.avi");
  test::WriteBytes(out, "old");
  for (int missingAt = 0; missingAt < 3; ++missingAt) {
    for (bool pipelined : {false, true}) {
      host.messages.clear();
      CAviWriter v;
      v.options = Stored();
      v.pipelined = pipelined;
      v.SetRate(10);
      for (int i = 0; i < 3; ++i) v.AddFrame(dir.file(i == missingAt ? "missing.bmp" : "a.bmp"), 1);
      EXPECT_FALSE(v.Write(host, out));
      EXPECT_TRUE(v.told);
      ASSERT_EQ(host.messages.size(), 1u) << missingAt;
      EXPECT_EQ(host.messages.back(), "Could not load " + dir.file("missing.bmp"));
      EXPECT_EQ(test::ReadBytes(out), "old");
    }
  }
  EXPECT_EQ(test::ListDir(dir.path()).size(), 3u) << "nothing left beside the old file";
}

TEST_F(Writer, FailuresLeaveNoFileAndKeepAnOldOne) {
  std::string out = dir.file("old.avi");
  test::WriteBytes(out, "old");
  CAviWriter none;
  EXPECT_FALSE(none.Write(host, out));
  EXPECT_EQ(none.nError, 1);

  CAviWriter first;
  first.SetRate(10);
  first.AddFrame(dir.file("missing.bmp"), 1);
  EXPECT_FALSE(first.Write(host, out));
  EXPECT_EQ(first.nError, 0);
  EXPECT_EQ(host.messages.back(), "Could not load " + dir.file("missing.bmp"));
  EXPECT_EQ(test::ReadBytes(out), "old");
  EXPECT_FALSE(first.Write(host, dir.file("new.avi")));
  EXPECT_FALSE(Exists(dir.file("new.avi"))) << "no empty AVI under the user's name";

  for (int rate : {0, -5}) {
    CAviWriter w;
    w.SetRate(rate);
    w.AddFrame(Img("a.bmp", 8, 8, kRed), 1);
    EXPECT_FALSE(w.Write(host, out));
    EXPECT_EQ(w.nError, AVIERR_BADPARAM);
    EXPECT_EQ(test::ReadBytes(out), "old");
  }
  CAviWriter w;
  w.SetRate(10);
  w.options.fccHandler = MakeFourCC('n', 'o', 'n', 'e');
  w.AddFrame(dir.file("a.bmp"), 1);
  EXPECT_FALSE(w.Write(host, out));
  EXPECT_EQ(w.nError, AVIERR_NOCOMPRESSOR);
  EXPECT_FALSE(w.Write(host, dir.file("no/folder/x.avi")));
  EXPECT_EQ(w.nError, AVIERR_FILEOPEN);
  EXPECT_EQ(test::ReadBytes(out), "old");
}

TEST_F(Writer, PipelinedOutputIsByteIdenticalToSerial) {
  std::vector<std::string> paths;
  for (int i = 0; i < 6; ++i) {
    paths.push_back(SaveImage(dir.file("p" + std::to_string(i) + ".bmp"), 48, 32,
                              Rgb(uint8_t(i * 40), 100, uint8_t(200 - i * 30)), kWhite));
  }
  std::string outputs[2];
  for (int pipelined = 0; pipelined < 2; ++pipelined) {
    CAviWriter w;
    w.pipelined = pipelined;
    w.SetRate(10);
    w.SetBits(16);
    for (auto& p : paths) w.AddFrame(p, 2);
    std::string out = dir.file("pipe" + std::to_string(pipelined) + ".avi");
    ASSERT_TRUE(w.Write(host, out));
    outputs[pipelined] = test::ReadBytes(out);
  }
  EXPECT_FALSE(outputs[0].empty());
  EXPECT_EQ(outputs[0], outputs[1]);
}

// Video 1 is handed 24-bit pictures already cut to 16 bits. A FOURCC in other letters
// names the same compressor but keeps its own 24-to-16 conversion: every colour of a
// random picture must come out the same both ways.
TEST_F(Writer, Video1FromTwentyFourBitsIsTheCompressorsOwnCut) {
  std::mt19937 rng(23);
  std::vector<std::string> paths;
  for (int i = 0; i < 3; ++i) {
    CBmp b;
    Bitmap bmp(44, 20);  // Video 1 takes sizes in fours
    for (Pixel& p : bmp.pixels) p = Pixel(rng()) & 0xFFFFFF;
    b.SetBitmap(std::move(bmp));
    paths.push_back(dir.file("r" + std::to_string(i) + ".bmp"));
    ASSERT_TRUE(b.Save(paths.back()));
  }
  std::string outputs[2];
  for (int k = 0; k < 2; ++k) {
    CAviWriter w;
    w.options.fccHandler = k == 0 ? kCompressorVideo1 : MakeFourCC('M', 'S', 'V', 'C');
    w.SetRate(10);
    w.SetBits(24);
    EXPECT_EQ(w.StreamBits(), k == 0 ? 16 : 24);
    for (auto& p : paths) w.AddFrame(p, 1);
    std::string out = dir.file("v1-" + std::to_string(k) + ".avi");
    ASSERT_TRUE(w.Write(host, out)) << k << " " << w.nError;
    outputs[k] = test::ReadBytes(out);
  }
  EXPECT_FALSE(outputs[0].empty());
  EXPECT_EQ(outputs[0], outputs[1]);
}

class Merge : public Writer {
 protected:
  void SetUp() override {
    CAviWriter w;
    w.options = Stored();
    w.SetRate(10);
    for (int i = 0; i < 4; ++i) w.AddFrame(Img("v.bmp", 16, 16, kRed), 1);
    video = dir.file("video.avi");
    ASSERT_TRUE(w.Write(host, video));
    wav = dir.file("tone.wav");
    ASSERT_EQ(RunCommand("ffmpeg -v error -f lavfi -i sine=d=0.4 -c:a pcm_s16le -y '" + wav + "'"), 0);
  }
  static int Streams(const std::string& path) {
    PAVIFILE f = nullptr;
    if (AVIFileOpen(&f, path, OF_READ)) return -1;
    AVIFILEINFO fi;
    AVIFileInfo(f, &fi, sizeof fi);
    AVIFileRelease(f);
    return int(fi.dwStreams);
  }
  std::string video, wav;
};

TEST_F(Merge, StreamsOfBothFilesInOrder) {
  std::string av = dir.file("av.avi");
  ASSERT_TRUE(MergeStreams(host, video, wav, av));
  EXPECT_EQ(Streams(av), 2);
  std::string probe = Probe(av);
  EXPECT_LT(probe.find("codec_type=video"), probe.find("codec_type=audio")) << probe;
  EXPECT_NE(probe.find("nb_read_frames=4"), std::string::npos) << probe;

  // An AVI with video and sound, with a WAV: three streams.
  std::string three = dir.file("three.avi");
  ASSERT_TRUE(MergeStreams(host, av, wav, three));
  EXPECT_EQ(Streams(three), 3);
  // Two AVIs: both videos.
  std::string two = dir.file("two.avi");
  ASSERT_TRUE(MergeStreams(host, video, video, two));
  probe = Probe(two);
  EXPECT_EQ(std::count(probe.begin(), probe.end(), 'v') >= 2, true);
  EXPECT_EQ(Streams(two), 2);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(Merge, TwentyStreamsAtMost) {
  std::string many = dir.file("many.avi");
  std::string maps;
  for (int i = 0; i < 12; ++i) maps += " -map 0:a";
  ASSERT_EQ(RunCommand("ffmpeg -v error -f lavfi -i sine=d=0.2" + maps + " -c:a pcm_s16le -y '" +
                       many + "'"),
            0);
  ASSERT_EQ(Streams(many), 12);
  std::string out = dir.file("twenty.avi");
  ASSERT_TRUE(MergeStreams(host, many, many, out));
  EXPECT_EQ(Streams(out), 20);
}

TEST_F(Merge, MidiSoundIsRenderedIn) {
  std::string mid = dir.file("t.mid");
  std::string track = std::string("\x00\x90\x3C\x64\x83\x60\x80\x3C\x00\x00\xFF\x2F\x00", 13);
  std::string m = std::string("MThd\0\0\0\6\0\0\0\1\1\xE0MTrk\0\0\0", 21) + char(track.size()) + track;
  test::WriteBytes(mid, m);
  std::string out = dir.file("midi.avi");
  ASSERT_TRUE(MergeStreams(host, video, mid, out));
  std::string probe = Probe(out);
  EXPECT_NE(probe.find("codec_name=pcm_s16le"), std::string::npos) << probe;
}

TEST_F(Merge, UnopenableInputsAndAFailedSaveAreFailures) {
  std::string out = dir.file("out.avi");
  MergeFailure why;
  std::string which;
  EXPECT_FALSE(MergeStreams(host, video, dir.file("nope.wav"), out, &why, &which));
  EXPECT_EQ(why, MergeFailure::CannotOpen);
  EXPECT_EQ(which, dir.file("nope.wav"));
  EXPECT_TRUE(host.messages.empty());
  EXPECT_FALSE(MergeCommand(host, dir.file("nope.avi"), wav, out));
  EXPECT_EQ(host.messages, std::vector<std::string>{kRestartProgram});
  host.messages.clear();

  // The save itself fails: its message alone, and false.
  EXPECT_FALSE(MergeCommand(host, video, wav, dir.file("out.mp4")));
  EXPECT_EQ(host.messages, std::vector<std::string>{kMergeFailed});
  EXPECT_FALSE(Exists(out));
}

class Create : public Writer {
 protected:
  void SetUp() override {
    doc.settings().UseProgramFolder(dir.path());
    doc.bUseLogo = 0;
    doc.nBpp = 24;
    for (int i = 0; i < 3; ++i) {
      std::string name = "f" + std::to_string(i) + ".bmp";
      doc.SetImagePath(name, Img(name, 24, 16, kGreen));
      doc.frames.AddFrameRow(name, -1, 1);
    }
    doc.frames.SetText(2, 1, "2abc");  // digits then letters: 2
    doc.frames.SetText(3, 1, "x");     // no number: 1
  }
  CTorvexerDoc doc;
};

TEST_F(Create, FramesRateAndStatusTexts) {
  doc.windows().SetFpsText(" 12fps");
  std::string out = dir.file("c.avi");
  ASSERT_TRUE(CreateAvi(host, doc, out, Stored()));
  auto d = ReadAvi(out);
  EXPECT_EQ(d.frames, 4);
  EXPECT_EQ(d.rate, 12);
  EXPECT_EQ(host.statuses.front(), "Adding f0.bmp...");
  EXPECT_NE(std::find(host.statuses.begin(), host.statuses.end(), "Creating AVI " + out + "..."),
            host.statuses.end());
  EXPECT_NE(std::find(host.statuses.begin(), host.statuses.end(), kStatusCompleted),
            host.statuses.end());
  // 65536 + 10 wraps to 10 in the 16-bit field.
  doc.windows().SetFpsText("65546");
  ASSERT_TRUE(CreateAvi(host, doc, out, Stored()));
  EXPECT_EQ(ReadAvi(out).rate, 10);
}

TEST_F(Create, WrappedRatesAreABadParameter) {
  for (const char* text : {"0", "65536", "40000", "-3"}) {
    host.messages.clear();
    doc.windows().SetFpsText(text);
    EXPECT_FALSE(CreateAvi(host, doc, dir.file("bad.avi"), Stored())) << text;
    EXPECT_EQ(host.messages,
              std::vector<std::string>{"Codec error (" + std::to_string(AVIERR_BADPARAM) +
                                       "): Bad parameter passed"})
        << text;
    EXPECT_EQ(host.statuses.back(), kStatusNotSaved);
    EXPECT_FALSE(Exists(dir.file("bad.avi")));
  }
}

TEST_F(Create, SoundIsMergedThroughTheIntermediateFile) {
  std::string wav = dir.file("s.wav");
  ASSERT_EQ(RunCommand("ffmpeg -v error -f lavfi -i sine=d=0.3 -y '" + wav + "'"), 0);
  doc.sSoundFile = wav;
  std::string out = dir.file("snd.avi");
  ASSERT_TRUE(CreateAvi(host, doc, out, Stored()));
  EXPECT_FALSE(Exists(IntermediateAviPath(dir.path())));
  std::string probe = Probe(out);
  EXPECT_NE(probe.find("codec_type=audio"), std::string::npos) << probe;

  doc.sSoundFile = dir.file("gone.wav");
  EXPECT_FALSE(CreateAvi(host, doc, dir.file("nosnd.avi"), Stored()));
  ASSERT_FALSE(host.messages.empty());
  EXPECT_NE(host.messages.back().find(dir.file("gone.wav")), std::string::npos);
  EXPECT_FALSE(Exists(dir.file("nosnd.avi")));
  EXPECT_FALSE(Exists(IntermediateAviPath(dir.path())));
}

TEST_F(Create, NothingButASoundSaysNoBitmaps) {
  CTorvexerDoc empty;
  empty.AttachHost(host);
  empty.sSoundFile = dir.file("s.wav");
  RunCommand("ffmpeg -v error -f lavfi -i sine=d=0.1 -y '" + empty.sSoundFile + "'");
  EXPECT_FALSE(CreateAvi(host, empty, dir.file("x.avi"), Stored()));
  EXPECT_EQ(host.messages.back(), "Codec error (1): No bitmaps specified");
}

TEST_F(Create, ChooseAviFileRemembersTheFolder) {
  struct Chooser : test::SizeHost {
    std::string ChooseAviPath(bool save, bool wave, const std::string& start) override {
      calls.push_back({save, wave, start});
      return answer;
    }
    struct Call {
      bool save, wave;
      std::string start;
    };
    std::vector<Call> calls;
    std::string answer;
  } chooser;
  doc.sSavePath = "/start/";
  EXPECT_EQ(ChooseAviFile(chooser, doc, true, false), "");
  EXPECT_EQ(doc.sSavePath, "/start/");
  chooser.answer = dir.file("movies/a.avi");
  EXPECT_EQ(ChooseAviFile(chooser, doc, false, true), chooser.answer);
  EXPECT_EQ(doc.sSavePath, dir.file("movies/"));
  std::string saved;
  doc.settings().ReadString("General", "SavePath", saved);
  EXPECT_EQ(saved, dir.file("movies/"));
  ASSERT_EQ(chooser.calls.size(), 2u);
  EXPECT_TRUE(chooser.calls[0].save);
  EXPECT_EQ(chooser.calls[0].start, "/start/");
  EXPECT_TRUE(chooser.calls[1].wave);
}

TEST_F(Writer, JobRunsItsKeysAndLeavesAnUnchangedFileAlone) {
  Img("j0.bmp", 20, 20, kRed);
  Img("j1.bmp", 20, 20, kBlue);
  std::string out = dir.file("job.avi");
  std::string ini = dir.file("job.ini");
  // Auto is 0: the command runs the job anyway. Key "3" after a gap is never read.
  std::string text = "[General]\nAuto=0\nOutput=" + out + "\nFPS=6\nBPP=16\n[Images]\n0=" +
                     dir.file("j0.bmp") + "\n1=" + dir.file("j1.bmp") + "\n3=" +
                     dir.file("j0.bmp") + "\n[Logo]\nbUseLogo=0\n";
  test::WriteBytes(ini, text);
  std::string before = test::ReadBytes(ini);
  ASSERT_EQ(RunUnattendedJob(host, ini, Stored()), JobResult::Made);
  auto d = ReadAvi(out);
  EXPECT_EQ(d.frames, 2);
  EXPECT_EQ(d.rate, 6);
  EXPECT_EQ(At(d.pictures[1], 10, 10), kBlue);
  EXPECT_EQ(test::ReadBytes(ini), before);
  PAVIFILE f = nullptr;
  PAVISTREAM s = nullptr;
  ASSERT_EQ(AVIFileOpen(&f, out, OF_READ), 0);
  ASSERT_EQ(AVIFileGetStream(f, &s, streamtypeVIDEO, 0), 0);
  BitmapInfoHeader h;
  int32_t size = sizeof h;
  ASSERT_EQ(AVIStreamReadFormat(s, 0, &h, &size), 0);
  EXPECT_EQ(h.biBitCount, 16);
  AVIStreamRelease(s);
  AVIFileRelease(f);

  test::WriteBytes(ini, "[General]\nFPS=6\n");
  EXPECT_EQ(RunUnattendedJob(host, ini, Stored()), JobResult::NoOutput);
  EXPECT_EQ(RunUnattendedJob(host, dir.file("none.ini"), Stored()), JobResult::CannotRead);
  // A job whose only image is missing makes nothing and fails.
  test::WriteBytes(ini, "[General]\nOutput=" + dir.file("j2.avi") + "\n[Images]\n0=" +
                            dir.file("gone.bmp") + "\n");
  EXPECT_EQ(RunUnattendedJob(host, ini, Stored()), JobResult::Failed);
  EXPECT_FALSE(Exists(dir.file("j2.avi")));
}

}  // namespace
}  // namespace zr
