#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace {

using zr::test::ReadBytes;
using zr::test::RunCommand;
using zr::test::WriteBytes;

const std::string kCli = std::string(ZR_BIN_DIR) + "/zerarive-cli";

class ConvertCommand : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new zr::test::TempDir;
    // Three small AVIs with sound, one of them of another size and rate.
    const char* specs[][3] = {{"one", "160x120", "25"}, {"two", "176x144", "15"}, {"three", "160x120", "30"}};
    for (auto& s : specs) {
      std::string cmd = std::string("ffmpeg -v error -y -f lavfi -i testsrc2=size=") + s[1] + ":rate=" + s[2] +
                        " -f lavfi -i sine=f=500:r=44100 -t 1.5 -ac 2 -c:v rawvideo -pix_fmt bgr24 "
                        "-c:a pcm_s16le '" + dir_->file(std::string(s[0]) + ".avi") + "'";
      ASSERT_EQ(0, RunCommand(cmd));
    }
  }
  static void TearDownTestSuite() { delete dir_; }
  static std::string In(const std::string& name) { return "'" + dir_->file(name) + "'"; }
  int Run(const std::string& args, std::string* out = nullptr) {
    return RunCommand(kCli + " convert " + args + " 2>&1", out);
  }
  static zr::test::TempDir* dir_;
};
zr::test::TempDir* ConvertCommand::dir_;

TEST_F(ConvertCommand, TwoJobsWriteTheBytesOfOneJob) {
  zr::test::TempDir one, two, single;
  std::string files = In("one.avi") + " " + In("two.avi") + " " + In("three.avi");
  std::string log1, log2;
  ASSERT_EQ(0, Run("--jobs 1 --out '" + one.path() + "' " + files, &log1)) << log1;
  ASSERT_EQ(0, Run("--jobs 2 --threads 1 --out '" + two.path() + "' " + files, &log2)) << log2;
  ASSERT_EQ(0, Run("--threads 1 --out '" + single.path() + "' " + files));
  for (const char* name : {"one.mpg", "two.mpg", "three.mpg"}) {
    std::string bytes = ReadBytes(one.file(name));
    ASSERT_GT(bytes.size(), 2048u) << name;
    EXPECT_EQ(bytes, ReadBytes(two.file(name))) << name;
    EXPECT_EQ(bytes, ReadBytes(single.file(name))) << name;
  }
  // One job: plain lines in argument order; several: each line names its file.
  EXPECT_NE(std::string::npos, log1.find("Starting MPG engine...\nConverting ")) << log1;
  EXPECT_EQ(std::string::npos, log1.find(".avi: ")) << log1;
  EXPECT_LT(log1.find("one.avi to "), log1.find("two.avi to "));
  EXPECT_LT(log1.find("two.avi to "), log1.find("three.avi to "));
  EXPECT_NE(std::string::npos, log2.find("two.avi: Video completed")) << log2;
  EXPECT_NE(std::string::npos, log2.find("\nMPG engine closed\n")) << log2;
}

TEST_F(ConvertCommand, FailedFileGivesExitOneAndTheOthersStillConvert) {
  zr::test::TempDir out;
  WriteBytes(out.file("broken.avi"), "RIFF....AVI junk");
  std::string log;
  EXPECT_EQ(1, Run("--jobs 2 --ext mpeg --out '" + out.path() + "' '" + out.file("broken.avi") + "' " +
                       In("one.avi"),
                   &log));
  EXPECT_TRUE(std::filesystem::exists(out.file("one.mpeg"))) << log;
  EXPECT_FALSE(std::filesystem::exists(out.file("broken.mpeg")));
  EXPECT_NE(std::string::npos, log.find("broken.avi: Error: ")) << log;
}

TEST_F(ConvertCommand, SameTitleTwiceIsRefusedRatherThanOverwritten) {
  zr::test::TempDir out, other;
  std::filesystem::copy_file(dir_->file("two.avi"), other.file("one.avi"));
  std::string log;
  EXPECT_EQ(1, Run("--jobs 2 --out '" + out.path() + "' " + In("one.avi") + " '" + other.file("one.avi") + "'", &log));
  EXPECT_NE(std::string::npos, log.find("would overwrite the output of")) << log;
  std::string probe;
  RunCommand("ffprobe -v error -select_streams v -show_entries stream=width -of csv=p=0 '" + out.file("one.mpg") + "'", &probe);
  EXPECT_EQ("160\n", probe);  // the first one's output
}

TEST_F(ConvertCommand, BadOptionsAreRefused) {
  std::string log;
  EXPECT_EQ(1, Run("--jobs 0 " + In("one.avi"), &log));
  EXPECT_EQ(1, Run("--ext avi " + In("one.avi"), &log));
  EXPECT_EQ(1, Run("", &log));
  EXPECT_EQ(0, Run("--help", &log));
  EXPECT_NE(std::string::npos, log.find("--jobs N")) << log;
}

}  // namespace
