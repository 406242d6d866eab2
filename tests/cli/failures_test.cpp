// The command-line program's failures as a user meets them: unreadable images, refusals to
// replace files, signals and a full disk. Each case runs the real binary in a child process
// and checks what it leaves on disk.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using zr::test::ReadBytes;
using zr::test::RunCommand;
using zr::test::TempDir;
using zr::test::WriteBytes;

const std::string kCli = std::string(ZR_BIN_DIR) + "/zerarive-cli";

// Every entry under `dir`, hidden ones included, with its size and a hash of its bytes
// (folders map to "/"), short enough to print when two differ.
std::map<std::string, std::string> Snapshot(const std::string& dir) {
  std::map<std::string, std::string> all;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    std::string rel = fs::relative(e.path(), dir).string();
    if (e.is_directory()) {
      all[rel] = "/";
      continue;
    }
    std::string bytes = ReadBytes(e.path().string());
    all[rel] = std::to_string(bytes.size()) + " bytes #" +
               std::to_string(std::hash<std::string>{}(bytes));
  }
  return all;
}

std::vector<std::string> Names(const std::map<std::string, std::string>& snap) {
  std::vector<std::string> names;
  for (const auto& [name, bytes] : snap) names.push_back(name);
  return names;
}

// Starts the program with `args`, stdout and stderr into `log`, signals at their defaults.
pid_t Spawn(const std::vector<std::string>& args, const std::string& log) {
  pid_t pid = fork();
  if (pid == 0) {
    int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 1);
    dup2(fd, 2);
    // Never a terminal, so no command waits for an answer.
    dup2(open("/dev/null", O_RDONLY), 0);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(kCli.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(kCli.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

// The exit code, or 1000 + the signal that ended the process.
int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

int RunCli(const std::vector<std::string>& args, std::string* log) {
  TempDir logDir;
  int code = Wait(Spawn(args, logDir.file("log")));
  *log = ReadBytes(logDir.file("log"));
  return code;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// Shared inputs, made once: numbered frames, a broken image, a project of each, an AVI
// with sound, a WAV and a large picture.
class CliFailures : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    in_ = new TempDir;
    fs::create_directories(in_->file("frames"));
    ASSERT_EQ(0, RunCommand(
                     "ffmpeg -v error -y -f lavfi -i testsrc2=size=160x120:rate=10 -frames:v 200 " +
                     Quote(in_->file("frames/Img%04d.bmp"))));
    ASSERT_EQ(
        0,
        RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=size=160x120:rate=10 -f lavfi "
                   "-i sine=f=500:r=44100 -t 2 -ac 2 -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le " +
                   Quote(in_->file("clip.avi"))));
    ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -f lavfi -i sine=f=300:r=44100 -t 2 -ac 2 " +
                            Quote(in_->file("tone.wav"))));
    ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=size=320x240 -frames:v 1 " +
                            Quote(in_->file("big.bmp"))));
    WriteBytes(in_->file("broken.bmp"), "BM this is not a picture");
    // Quick AVI stops at the first missing number, so the broken one sits inside the run.
    fs::create_directories(in_->file("brokenframes"));
    for (int i = 1; i <= 3; ++i) {
      fs::copy_file(in_->file("frames/Img000" + std::to_string(i) + ".bmp"),
                    in_->file("brokenframes/Img000" + std::to_string(i) + ".bmp"));
    }
    fs::copy_file(in_->file("broken.bmp"), in_->file("brokenframes/Img0004.bmp"));
    fs::copy_file(in_->file("frames/Img0005.bmp"), in_->file("brokenframes/Img0005.bmp"));
    std::string log;
    ASSERT_EQ(0, RunCli({"project", in_->file("good.tvf"), "--add", Frame(1), Frame(2), Frame(3),
                         Frame(4), Frame(5), Frame(6), Frame(7), Frame(8), Frame(9), Frame(10)},
                     &log))
        << log;
    ASSERT_EQ(0, RunCli({"project", in_->file("bad.tvf"), "--add", Frame(1), in_->file("broken.bmp"),
                      Frame(3)},
                     &log))
        << log;
  }
  static void TearDownTestSuite() { delete in_; }
  static std::string In(const std::string& name) { return in_->file(name); }
  static std::string Frame(int n) {
    char name[32];
    std::snprintf(name, sizeof name, "frames/Img%04d.bmp", n);
    return in_->file(name);
  }
  static TempDir* in_;
};
TempDir* CliFailures::in_;

TEST_F(CliFailures, UnreadableImageEndsCreateJobAndQuickWithoutOutput) {
  TempDir out;
  WriteBytes(out.file("old.avi"), "the old AVI");
  WriteBytes(out.file("job.ini"), "[General]\nFPS=5\nBPP=24\nOutput=" + out.file("old.avi") +
                                      "\n[Images]\n0=" + Frame(1) + "\n1=" + In("broken.bmp") +
                                      "\n");
  const auto before = Snapshot(out.path());
  struct Case {
    std::vector<std::string> args;
    std::string broken;
  } cases[] = {
      {{"create", In("bad.tvf"), out.file("old.avi")}, In("broken.bmp")},
      {{"job", out.file("job.ini")}, In("broken.bmp")},
      {{"quick", In("brokenframes"), out.file("old.avi")}, In("brokenframes/Img0004.bmp")},
  };
  for (const auto& c : cases) {
    std::string log;
    EXPECT_EQ(1, RunCli(c.args, &log)) << c.args[0] << ": " << log;
    // The message, then the reader's precise reason on the next line.
    EXPECT_NE(std::string::npos, log.find("Could not load " + c.broken + "\nBMP: "))
        << c.args[0] << ": " << log;
    EXPECT_EQ(std::string::npos, log.find("Codec error")) << c.args[0] << ": " << log;
    EXPECT_EQ(before, Snapshot(out.path())) << c.args[0];
  }
}

TEST_F(CliFailures, MorphAndExtractionRefuseToReplaceUnlessAsked) {
  TempDir morph, samples;
  WriteBytes(morph.file("Img0003.bmp"), "a frame of a project");
  WriteBytes(samples.file("00_00002.bmp"), "an old sample");
  WriteBytes(samples.file("00_00099.bmp"), "a stale sample");
  WriteBytes(samples.file("notes.txt"), "not a sample");
  const auto morphBefore = Snapshot(morph.path()), samplesBefore = Snapshot(samples.path());

  std::string log;
  const std::vector<std::string> morphArgs = {"morph",      Frame(1),  Frame(2), "--to",
                                              morph.path(), "--steps", "4"};
  EXPECT_EQ(1, RunCli(morphArgs, &log)) << log;
  EXPECT_NE(std::string::npos, log.find(morph.file("Img0003.bmp"))) << log;
  EXPECT_EQ(1, std::count(log.begin(), log.end(), '\n')) << log;
  EXPECT_EQ(morphBefore, Snapshot(morph.path()));

  const std::vector<std::string> extractArgs = {"extract-images", In("clip.avi"), "--to",
                                                samples.path()};
  EXPECT_EQ(1, RunCli(extractArgs, &log)) << log;
  EXPECT_NE(std::string::npos, log.find(samples.file("00_00002.bmp"))) << log;
  EXPECT_EQ(samplesBefore, Snapshot(samples.path()));

  auto withOverwrite = [](std::vector<std::string> args) {
    args.push_back("--overwrite");
    return args;
  };
  ASSERT_EQ(0, RunCli(withOverwrite(morphArgs), &log)) << log;
  EXPECT_EQ(6u, Snapshot(morph.path()).size());  // FROM, four steps, TO
  EXPECT_NE("a frame of a project", ReadBytes(morph.file("Img0003.bmp")));

  ASSERT_EQ(0, RunCli(withOverwrite(extractArgs), &log)) << log;
  EXPECT_FALSE(fs::exists(samples.file("00_00099.bmp"))) << "old samples go with the new set";
  EXPECT_EQ("not a sample", ReadBytes(samples.file("notes.txt")));
  EXPECT_EQ(20u + 1, Snapshot(samples.path()).size());
  EXPECT_NE("an old sample", ReadBytes(samples.file("00_00002.bmp")));
}

TEST_F(CliFailures, AnImageOfAnotherSizeIsSkippedNamingBothSizes) {
  TempDir images, out;
  fs::copy_file(Frame(1), images.file("Img0001.bmp"));
  fs::copy_file(In("big.bmp"), images.file("Img0002.bmp"));
  std::string log;
  EXPECT_EQ(0, RunCli({"quick", images.path(), out.file("q.avi")}, &log)) << log;
  EXPECT_NE(std::string::npos, log.find("Warning: skipped " + images.file("Img0002.bmp") +
                                        ": its size differs from the first image's "
                                        "(image 320x240, frame 160x120)"))
      << log;
}

// A signal arriving once the output's temporary exists: the exit code tells the signal and
// the folder is as it was.
void ExpectSignalLeavesFolder(const std::vector<std::string>& args, const std::string& folder,
                              int sig) {
  SCOPED_TRACE(args[0] + " signal " + std::to_string(sig));
  const auto before = Snapshot(folder);
  TempDir logDir;
  pid_t pid = Spawn(args, logDir.file("log"));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool started = false;
  while (!started && std::chrono::steady_clock::now() < deadline) {
    std::error_code error;
    size_t entries = 0;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      ++entries;
    }
    started = entries > before.size();
    int status;
    if (!started && waitpid(pid, &status, WNOHANG) == pid) {
      FAIL() << "ended before any output appeared: " << ReadBytes(logDir.file("log"));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_TRUE(started);
  kill(pid, sig);
  EXPECT_EQ(128 + sig, Wait(pid)) << ReadBytes(logDir.file("log"));
  EXPECT_EQ(Names(before), Names(Snapshot(folder)));
  EXPECT_EQ(before, Snapshot(folder));
}

TEST_F(CliFailures, SigintAndSigtermLeaveTheFoldersAsBefore) {
  TempDir clips, out;
  // Long enough that the signal lands mid-work even in a fast build.
  ASSERT_EQ(0,
            RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=size=352x240:rate=25 -f lavfi "
                       "-i sine=r=44100 -t 20 -ac 2 -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le " +
                       Quote(clips.file("long.avi"))));
  WriteBytes(out.file("long.mpg"), "an older conversion");
  WriteBytes(out.file("q.avi"), "an older AVI");
  for (int sig : {SIGINT, SIGTERM}) {
    ExpectSignalLeavesFolder({"convert", "--out", out.path(), clips.file("long.avi")}, out.path(),
                             sig);
    ExpectSignalLeavesFolder({"quick", In("frames"), out.file("q.avi"), "--depth", "24"},
                             out.path(), sig);
  }
}

// A small tmpfs over `disk` in a private mount namespace: `seed` is copied onto it, the
// program runs, then everything on it is copied to `snap` for the checks. 200 means the
// mount itself failed.
int RunOnSmallDisk(const std::string& disk, const std::string& seed, const std::string& snap,
                   const std::vector<std::string>& args, std::string* log) {
  static const char* kScript =
      "d=$1 seed=$2 snap=$3 log=$4; shift 4\n"
      "mount -t tmpfs -o size=16k tmpfs \"$d\" 2>/dev/null || exit 200\n"
      "cp -a \"$seed\"/. \"$d\"/ || exit 201\n"
      "\"$@\" >\"$log\" 2>&1; rc=$?\n"
      "cp -a \"$d\"/. \"$snap\"/; exit $rc\n";
  TempDir logDir;
  std::string cmd = "unshare -rm sh -c " + Quote(kScript) + " sh " + Quote(disk) + " " +
                    Quote(seed) + " " + Quote(snap) + " " + Quote(logDir.file("log")) + " " +
                    Quote(kCli);
  for (const auto& a : args) cmd += " " + Quote(a);
  int code = RunCommand(cmd + " 2>/dev/null");
  *log = ReadBytes(logDir.file("log"));
  return code;
}

TEST_F(CliFailures, FullDiskFailsNamingTheFileAndLeavesTheOldOne) {
  {
    TempDir probe, seed, snap;
    std::string log;
    if (RunOnSmallDisk(probe.path(), seed.path(), snap.path(), {"--help"}, &log) != 0) {
      GTEST_SKIP() << "cannot mount a tmpfs here (unshare -rm refused)";
    }
  }
  struct Case {
    std::vector<std::string> args;  // "@" stands for the small disk
    std::string old;                // on the disk before, the file the failure names
  } cases[] = {
      {{"create", In("good.tvf"), "@out.avi"}, "out.avi"},
      {{"quick", In("frames"), "@q.avi"}, "q.avi"},
      {{"convert", "--out", "@", In("clip.avi")}, "clip.mpg"},
      {{"extract-images", In("clip.avi"), "--to", "@", "--overwrite"}, "00_00001.bmp"},
      {{"extract-sound", In("clip.avi"), "@s.wav"}, "s.wav"},
      {{"merge", In("clip.avi"), In("tone.wav"), "@m.avi"}, "m.avi"},
      {{"morph", Frame(1), Frame(2), "--to", "@", "--overwrite"}, "Img0001.bmp"},
      {{"image", In("big.bmp"), "@big.bmp"}, "big.bmp"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    TempDir disk, seed, snap;
    WriteBytes(seed.file(c.old), "the old " + c.old);
    std::vector<std::string> args = c.args;
    for (auto& a : args) {
      if (a[0] == '@') a = disk.path() + a.substr(1);
    }
    std::string log;
    EXPECT_EQ(1, RunOnSmallDisk(disk.path(), seed.path(), snap.path(), args, &log)) << log;
    EXPECT_NE(std::string::npos, log.find("No space left on device")) << log;
    if (c.args[0] == "extract-images" || c.args[0] == "morph") {
      EXPECT_NE(std::string::npos, log.find(disk.path())) << log;  // one image of the set
    } else {
      EXPECT_NE(std::string::npos, log.find(disk.file(c.old))) << log;
    }
    EXPECT_EQ(Snapshot(seed.path()), Snapshot(snap.path()));
  }
}

}  // namespace
