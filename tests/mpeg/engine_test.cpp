#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "mpeg/convert_log.h"
#include "mpeg/engine.h"
#include "mpeg/mux_ps_reader.h"
#include "support/temp_dir.h"

namespace zr::mpeg {
namespace {

using test::ReadBytes;
using test::RunCommand;
using test::WriteBytes;

// Small AVIs made once by ffmpeg: raw 24-bit video with 16-bit PCM sound.
class EngineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir;
    MakeAvi("sound.avi", 25, "-f lavfi -i sine=f=440:r=44100 -ac 2", "-c:a pcm_s16le");
    MakeAvi("mono22.avi", 25, "-f lavfi -i sine=f=300:r=22050 -ac 1", "-c:a pcm_s16le");
    MakeAvi("rate20.avi", 20, "-f lavfi -i sine=f=440:r=44100 -ac 2", "-c:a pcm_s16le");
    MakeAvi("silent.avi", 25, "", "");
    // A sound stream that passes every check but holds no samples.
    ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=size=160x120:rate=25:duration=1 "
                            "-f lavfi -i anullsrc=r=44100:cl=stereo -map 0:v -map 1:a -c:v rawvideo "
                            "-pix_fmt bgr24 -c:a pcm_s16le -af atrim=end_sample=0 '" +
                            dir_->file("nosamples.avi") + "'"));
  }
  static void TearDownTestSuite() { delete dir_; }
  static void MakeAvi(const std::string& name, int fps, const std::string& soundIn,
                      const std::string& soundCodec) {
    std::string cmd = "ffmpeg -v error -y -f lavfi -i testsrc2=size=160x120:rate=" +
                      std::to_string(fps) + " " + soundIn + " -t 2 -c:v rawvideo -pix_fmt bgr24 " +
                      soundCodec + " '" + dir_->file(name) + "'";
    ASSERT_EQ(0, RunCommand(cmd)) << cmd;
  }
  static std::string Avi(const std::string& name) { return dir_->file(name); }

  bool Convert(const std::string& input, const std::string& output, int threads = 2) {
    MpgEngine engine(log_, threads);
    bool ok = engine.Convert(input, output);
    videoOnly_ = engine.videoOnly();
    report_ = engine.muxReport();
    return ok;
  }
  std::string Probe(const std::string& path, const std::string& entries) {
    std::string text;
    RunCommand("ffprobe -v error -count_frames -show_entries " + entries + " -of csv=p=0 '" + path + "' 2>&1", &text);
    return text;
  }
  // Seconds from the first packet's PTS to the end of the last one, of stream "v" or "a".
  double Span(const std::string& path, const std::string& stream) {
    std::string text;
    RunCommand("ffprobe -v error -select_streams " + stream +
                   " -show_entries packet=pts,duration -of csv=p=0 '" + path + "'",
               &text);
    long long first = -1, last = 0, pts, duration;
    for (const char* p = text.c_str(); std::sscanf(p, "%lld,%lld", &pts, &duration) == 2;) {
      if (first < 0 || pts < first) first = pts;
      last = std::max(last, pts + duration);
      p = std::strchr(p, '\n');
      if (!p) break;
      ++p;
    }
    return first < 0 ? 0 : (last - first) / 90000.0;
  }
  std::vector<std::string> Files(const std::string& folder) {
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  bool HasLine(const std::string& line) {
    return std::find(log_.lines.begin(), log_.lines.end(), line) != log_.lines.end();
  }

  static test::TempDir* dir_;
  test::TempDir out_;
  RecordingLog log_;
  MuxReport report_;
  bool videoOnly_ = false;
};
test::TempDir* EngineTest::dir_;

// Lines of the log that are part of the converter's fixed sequence, in order.
std::vector<std::string> Milestones(const std::vector<std::string>& lines) {
  static const char* kFixed[] = {"Compressing video...", "Video completed", "Audio bit-rate: 131072",
                                 "Audio completed", "Multiplexing...", "MPG completed!"};
  std::vector<std::string> out;
  for (auto& l : lines)
    for (const char* f : kFixed)
      if (l == f) out.push_back(l);
  return out;
}

TEST_F(EngineTest, AviWithSoundBecomesSystemStreamOfBothDurations) {
  std::string output = out_.file("movie.mpg");
  ASSERT_TRUE(Convert(Avi("sound.avi"), output));
  ASSERT_FALSE(log_.lines.empty());
  EXPECT_EQ("Converting " + Avi("sound.avi") + " to " + output + "...", log_.lines[0]);
  EXPECT_EQ((std::vector<std::string>{"Compressing video...", "Video completed", "Audio bit-rate: 131072",
                                      "Audio completed", "Multiplexing...", "MPG completed!"}),
            Milestones(log_.lines));
  for (auto& l : log_.lines) EXPECT_NE(0u, l.rfind("Error: ", 0)) << l;
  EXPECT_FALSE(videoOnly_);
  // 50 AVI frames at 25 fps; 2 s of sound = 88200 samples = 77 frames (the last padded).
  EXPECT_EQ("mpeg1video,50\nmp2,77\nmpeg\n", Probe(output, "stream=codec_name,nb_read_frames:format=format_name"));
  EXPECT_NEAR(2.0, Span(output, "v"), 1e-3);
  EXPECT_NEAR(77 * 1152 / 44100.0, Span(output, "a"), 1e-3);
  std::string errors;
  RunCommand("ffmpeg -v error -i '" + output + "' -f null - 2>&1", &errors);
  EXPECT_EQ("", errors);
  test::PsWalk w = test::WalkProgramStream(ReadBytes(output));
  EXPECT_EQ("", w.error);
  EXPECT_TRUE(w.endCode);
  // Nothing but the output is left: no elementary streams, no temporary files.
  EXPECT_EQ(std::vector<std::string>{"movie.mpg"}, Files(out_.path()));
}

TEST_F(EngineTest, SoundAt22kHzMonoIsRaisedTo44kHz) {
  std::string output = out_.file("mono.mpg");
  ASSERT_TRUE(Convert(Avi("mono22.avi"), output));
  EXPECT_EQ("mpeg1video,50\nmp2,77\n", Probe(output, "stream=codec_name,nb_read_frames"));
}

TEST_F(EngineTest, UnlistedRateCodesOnePicturePerFrameAt23976) {
  std::string output = out_.file("r20.mpg");
  ASSERT_TRUE(Convert(Avi("rate20.avi"), output));
  std::string probe = Probe(output, "stream=codec_name,nb_read_frames,r_frame_rate");
  EXPECT_EQ(0u, probe.find("mpeg1video,24000/1001,40\n")) << probe;
  EXPECT_NEAR(40 * 1001 / 24000.0, Span(output, "v"), 1e-3);
}

TEST_F(EngineTest, AviWithoutSoundGivesBareVideoStreamUnderTheOutputName) {
  std::string output = out_.file("quiet.mpeg");
  ASSERT_TRUE(Convert(Avi("silent.avi"), output));
  EXPECT_TRUE(videoOnly_);
  EXPECT_EQ("mpeg1video,50\nmpegvideo\n", Probe(output, "stream=codec_name,nb_read_frames:format=format_name"));
  EXPECT_FALSE(HasLine("Multiplexing..."));
  for (auto& l : log_.lines) EXPECT_NE(0u, l.rfind("Audio bit-rate", 0)) << l;
  EXPECT_EQ(std::vector<std::string>{"quiet.mpeg"}, Files(out_.path()));
}

TEST_F(EngineTest, SoundWithoutSamplesKeepsTheVideoAlone) {
  std::string output = out_.file("empty.mpg");
  ASSERT_TRUE(Convert(Avi("nosamples.avi"), output));
  EXPECT_TRUE(videoOnly_);
  EXPECT_EQ("mpeg1video,25\nmpegvideo\n", Probe(output, "stream=codec_name,nb_read_frames:format=format_name"));
  EXPECT_TRUE(HasLine("Warning: the sound holds no samples; the output is video only"));
  EXPECT_EQ(std::vector<std::string>{"empty.mpg"}, Files(out_.path()));
}

TEST_F(EngineTest, UserFilesNamedLikeTheStreamsAreNeverTouched) {
  // Same-named files beside the output and in the working directory stay as they were.
  WriteBytes(out_.file("movie.m1v"), "mine");
  WriteBytes(out_.file("movie.mp2"), "mine too");
  test::TempDir cwd;
  WriteBytes(cwd.file("movie.m1v"), "cwd");
  char old[4096];
  ASSERT_TRUE(getcwd(old, sizeof old));
  ASSERT_EQ(0, chdir(cwd.path().c_str()));
  bool ok = Convert(Avi("sound.avi"), out_.file("movie.mpg"));
  ASSERT_EQ(0, chdir(old));
  ASSERT_TRUE(ok);
  EXPECT_EQ("mine", ReadBytes(out_.file("movie.m1v")));
  EXPECT_EQ("mine too", ReadBytes(out_.file("movie.mp2")));
  EXPECT_EQ((std::vector<std::string>{"movie.m1v"}), Files(cwd.path()));
  EXPECT_EQ("cwd", ReadBytes(cwd.file("movie.m1v")));
  EXPECT_EQ((std::vector<std::string>{"movie.m1v", "movie.mp2", "movie.mpg"}), Files(out_.path()));
}

TEST_F(EngineTest, UnreadableInputsAbandonTheFileAndLeaveNothing) {
  EXPECT_FALSE(Convert(out_.file("absent.avi"), out_.file("absent.mpg")));
  EXPECT_TRUE(HasLine("Error: " + out_.file("absent.avi") + " is locked or unavailable"));
  WriteBytes(out_.file("junk.avi"), std::string(5000, 'x'));
  log_.lines.clear();
  EXPECT_FALSE(Convert(out_.file("junk.avi"), out_.file("junk.mpg")));
  ASSERT_FALSE(log_.lines.empty());
  EXPECT_EQ(0u, log_.lines.back().rfind("Error: ", 0)) << log_.lines.back();
  EXPECT_EQ(std::vector<std::string>{"junk.avi"}, Files(out_.path()));
}

TEST_F(EngineTest, InputWithoutExtensionIsOpenedAsAvi) {
  std::filesystem::copy_file(Avi("silent.avi"), out_.file("clip.avi"));
  ASSERT_TRUE(Convert(out_.file("clip"), out_.file("clip.mpg")));
  EXPECT_EQ("Converting " + out_.file("clip") + " to " + out_.file("clip.mpg") + "...", log_.lines[0]);
  EXPECT_TRUE(std::filesystem::exists(out_.file("clip.mpg")));
}

TEST_F(EngineTest, ParallelEnginesWriteTheSameBytesAsOneAfterAnother) {
  std::string serial = out_.file("serial.mpg");
  ASSERT_TRUE(Convert(Avi("sound.avi"), serial, 1));
  std::string expected = ReadBytes(serial);
  RecordingLog logA, logB;
  bool okA = false, okB = false;
  std::thread a([&] { okA = MpgEngine(logA, 2).Convert(Avi("sound.avi"), out_.file("a.mpg")); });
  std::thread b([&] { okB = MpgEngine(logB, 1).Convert(Avi("sound.avi"), out_.file("b.mpg")); });
  a.join();
  b.join();
  ASSERT_TRUE(okA && okB);
  EXPECT_EQ(expected, ReadBytes(out_.file("a.mpg")));
  EXPECT_EQ(expected, ReadBytes(out_.file("b.mpg")));
}

// convert --jobs 4 in one process: four engines at once, each with motion-search threads,
// their lines, frame numbers and stage reports flowing into one shared, locked sink the
// way the command's batch output takes them. The thread sanitizer run leans on this test.
TEST_F(EngineTest, FourJobsAtOnceKeepTheirBytesAndTheirMessagesApart) {
  const std::vector<std::string> inputs = {Avi("sound.avi"), Avi("mono22.avi"), Avi("rate20.avi"),
                                           out_.file("missing.avi")};
  std::vector<std::string> serialBytes;
  std::vector<std::vector<std::string>> serialLines;
  auto output = [&](size_t i) { return out_.file("job" + std::to_string(i) + ".mpg"); };
  for (size_t i = 0; i < inputs.size(); ++i) {
    RecordingLog log;
    MpgEngine(log, 2).Convert(inputs[i], output(i));
    serialLines.push_back(log.lines);
    serialBytes.push_back(ReadBytes(output(i)));
    std::remove(output(i).c_str());  // the parallel run writes the same names
  }

  struct Sink {
    std::mutex mutex;
    std::vector<std::pair<size_t, std::string>> lines;
    std::vector<int> percent = std::vector<int>(4, 0);
    int64_t progressCalls = 0;
  } sink;
  struct JobLog : ConvertLog {
    JobLog(Sink& s, size_t j) : sink(s), job(j) {}
    void Line(const std::string& text) override {
      std::lock_guard<std::mutex> lock(sink.mutex);
      sink.lines.emplace_back(job, text);
    }
    void Frame(int) override {}
    Sink& sink;
    size_t job;
  };
  std::vector<char> ok(inputs.size(), 0);
  std::vector<std::thread> jobs;
  for (size_t i = 0; i < inputs.size(); ++i) {
    jobs.emplace_back([&, i] {
      JobLog log(sink, i);
      MpgEngine engine(log, 2);
      engine.SetStageHook([&, i](ConvertStage, int percent) {
        std::lock_guard<std::mutex> lock(sink.mutex);
        sink.percent[i] = percent;
        ++sink.progressCalls;
      });
      ok[i] = engine.Convert(inputs[i], output(i));
    });
  }
  for (auto& t : jobs) t.join();

  EXPECT_EQ(ok, (std::vector<char>{1, 1, 1, 0}));
  EXPECT_GT(sink.progressCalls, 4);
  for (size_t i = 0; i < inputs.size(); ++i) {
    SCOPED_TRACE(inputs[i]);
    std::vector<std::string> own;
    for (auto& [job, text] : sink.lines)
      if (job == i) own.push_back(text);
    EXPECT_EQ(own, serialLines[i]);
    if (ok[i]) {
      EXPECT_EQ(ReadBytes(output(i)), serialBytes[i]);
    }
  }
}

// Records the batch's window operations in order.
class BatchRecorder : public ConvertProgress {
 public:
  void Line(const std::string& t) override { events.push_back("line " + t); }
  void Begin(bool clear) override { events.push_back(clear ? "begin clear" : "begin end"); }
  void SetOutput(const std::string& p) override { events.push_back("output " + p); }
  std::vector<std::string> events;
  std::vector<std::string> Of(const std::string& kind) const {
    std::vector<std::string> out;
    for (auto& e : events)
      if (e.rfind(kind, 0) == 0) out.push_back(e.substr(kind.size()));
    return out;
  }
};

TEST_F(EngineTest, BatchConvertsInOrderAndGoesOnPastABadFile) {
  test::TempDir in;
  std::filesystem::copy_file(Avi("silent.avi"), in.file("b.avi"));
  std::filesystem::copy_file(Avi("silent.avi"), in.file("a.avi"));
  WriteBytes(in.file("bad.avi"), "not an avi");
  BatchRecorder rec;
  int done = ConvertBatch({in.file("b.avi"), in.file("bad.avi"), in.file("a.avi")}, "", ".mpeg", rec);
  EXPECT_EQ(2, done);
  ASSERT_GE(rec.events.size(), 4u);
  EXPECT_EQ("begin clear", rec.events.front());
  EXPECT_EQ("line Starting MPG engine...", rec.events[1]);
  EXPECT_EQ("line MPG engine closed", rec.events[rec.events.size() - 2]);
  EXPECT_EQ("begin end", rec.events.back());
  // An empty folder writes beside each input, with the chosen extension.
  EXPECT_EQ((std::vector<std::string>{in.file("b.mpeg"), in.file("bad.mpeg"), in.file("a.mpeg")}),
            rec.Of("output "));
  EXPECT_EQ((std::vector<std::string>{"a.avi", "a.mpeg", "b.avi", "b.mpeg", "bad.avi"}), Files(in.path()));

  // A folder, given without its trailing separator, takes every output.
  BatchRecorder rec2;
  std::string folder = out_.path().substr(0, out_.path().size() - 1);
  EXPECT_EQ(1, ConvertBatch({in.file("a.avi")}, folder, ".mpg", rec2));
  EXPECT_EQ(std::vector<std::string>{out_.file("a.mpg")}, rec2.Of("output "));
}

TEST(ConvertList, ChoicesAppendThenFirstAndLastAreExchanged) {
  struct Case {
    std::vector<std::vector<std::string>> choices;
    std::vector<std::string> list;
  } cases[] = {
      {{{"A", "B", "C", "D"}}, {"D", "B", "C", "A"}},
      {{{"A", "B"}}, {"B", "A"}},
      {{{"A"}}, {"A"}},
      {{{"A", "B"}, {"C"}}, {"C", "A", "B"}},
      {{{"A", "B"}, {}}, {"B", "A"}},  // a cancelled second choice changes nothing
  };
  for (const Case& c : cases) {
    std::vector<std::string> list;
    for (auto& chosen : c.choices) AddChosenFiles(list, chosen);
    EXPECT_EQ(c.list, list);
  }
}

TEST(ConvertNames, OutputPathFollowsFolderTitleAndExtension) {
  EXPECT_EQ("/in/clip.mpg", BatchOutputPath("/in/clip.avi", "", ".mpg"));
  EXPECT_EQ("/out/clip.mpeg", BatchOutputPath("/in/clip.avi", "/out/", ".mpeg"));
  EXPECT_EQ("/out/clip.mpg", BatchOutputPath("/in/clip.avi", "/out", ".mpg"));
  EXPECT_EQ("/in/clip.v2.mpg", BatchOutputPath("/in/clip.v2.avi", "", ".mpg"));
}

}  // namespace
}  // namespace zr::mpeg
