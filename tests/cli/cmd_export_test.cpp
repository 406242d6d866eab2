// `zerarive-cli export` and a job whose Output is an export: options, refusals, results.
#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace zr {
namespace {

const std::string kCli = std::string(ZR_BIN_DIR) + "/zerarive-cli";

class ExportCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(test::RunCommand("ffmpeg -v error -f lavfi -i testsrc2=size=64x48:rate=1 -frames:v 2 '" +
                               dir.file("i%d.png") + "'"),
              0);
    ASSERT_EQ(Run("project " + dir.file("p.tvf") + " --add " + dir.file("i1.png") + " " +
                  dir.file("i2.png") + " --frames 3"),
              0);
  }
  int Run(const std::string& args, std::string* out = nullptr) {
    return test::RunCommand(kCli + " " + args + " 2>&1 </dev/null", out);
  }
  test::TempDir dir;
};

TEST_F(ExportCommand, RefusalsAreOneLineAndLeaveNoFile) {
  const std::string p = dir.file("p.tvf");
  for (const std::string& args :
       {p + " " + dir.file("o.mp4") + " --compressor msvc", p + " " + dir.file("o.mp4") + " --keyframe 5",
        p + " " + dir.file("o.mov"), p + " " + dir.file("o.gif") + " --quality 101",
        p + " " + dir.file("o.gif") + " --loop -1"}) {
    std::string out;
    EXPECT_EQ(Run("export " + args, &out), 1) << args;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
  }
  EXPECT_EQ(test::ListDir(dir.path()), (std::vector<std::string>{"i1.png", "i2.png", "p.tvf"}));
}

TEST_F(ExportCommand, WritesTheFormatWithItsOptions) {
  std::string out;
  ASSERT_EQ(Run("export " + dir.file("p.tvf") + " " + dir.file("o.gif") + " --quality 50 --fps 5", &out), 0);
  EXPECT_NE(out.find("GIF ignores --quality"), std::string::npos) << out;
  std::string probe;
  test::RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + dir.file("o.gif") + "'",
                   &probe);
  EXPECT_NEAR(std::stod(probe), 1.2, 0.01);  // six frames at 5 fps
}

TEST_F(ExportCommand, AJobWithAnExportOutputExports) {
  const std::string out = dir.file("job.apng");
  test::WriteBytes(dir.file("job.ini"), "[General]\nAuto=1\nFPS=10\nBPP=24\nOutput=" + out +
                                            "\n[Logo]\nbUseLogo=0\n[Images]\n0=" + dir.file("i1.png") +
                                            "\n1=" + dir.file("i2.png") + "\n");
  ASSERT_EQ(Run("job " + dir.file("job.ini")), 0);
  std::string probe;
  test::RunCommand("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 '" + out + "'", &probe);
  EXPECT_EQ(probe, "apng\n");
}

}  // namespace
}  // namespace zr
