// The project command end to end: a project built from a script reads back as written.
#include <gtest/gtest.h>

#include "app/document.h"
#include "platform/paths.h"
#include "support/fake_host.h"
#include "support/temp_dir.h"

namespace zr {
namespace {

const std::string kCli = std::string(ZR_BIN_DIR) + "/zerarive-cli";

TEST(ProjectCommand, BuildsEditsAndDescribesAProject) {
  if (!FileExists(kCli)) GTEST_SKIP() << "zerarive-cli not built";
  test::FakeHost host;
  test::TempDir dir;
  ASSERT_EQ(test::RunCommand("convert -size 8x6 xc:red " + dir.file("a.bmp")), 0);
  ASSERT_EQ(test::RunCommand("cp " + dir.file("a.bmp") + " " + dir.file("b.bmp")), 0);
  const std::string tvf = dir.file("demo.tvf");
  const std::string run = "cd " + dir.path() + " && " + kCli + " ";

  ASSERT_EQ(test::RunCommand(run + "project demo.tvf --add a.bmp b.bmp --frames 5 --fps 12 2>&1"),
            0);
  std::string out;
  ASSERT_EQ(test::RunCommand(run + "info demo.tvf", &out), 0);
  EXPECT_NE(out.find("frames per second: 12"), std::string::npos) << out;
  EXPECT_NE(out.find("rows:              2 (10 video frames)"), std::string::npos) << out;
  EXPECT_NE(out.find("8x6"), std::string::npos) << out;

  // Reopening and saving unchanged gives the same bytes.
  const std::string before = test::ReadBytes(tvf);
  ASSERT_EQ(test::RunCommand(run + "project demo.tvf 2>&1"), 0);
  EXPECT_EQ(test::ReadBytes(tvf), before);

  CTorvexerDoc doc;
  doc.AttachHost(host);
  ASSERT_TRUE(doc.OnOpenDocument(tvf));
  EXPECT_EQ(doc.frames.FrameCount(), 2);
  EXPECT_EQ(doc.frames.Text(2, 1), "5");
  EXPECT_EQ(doc.GetImagePath("b.bmp"), dir.file("b.bmp"));  // stored absolute

  // Bad arguments and non-projects change nothing.
  for (const char* bad : {"project demo.tvf --depth 12", "project demo.tvf --fps 0",
                          "project demo.tvf --add missing.bmp", "project demo.tvf --frames 2",
                          "project demo.tvf --bogus"})
    EXPECT_NE(test::RunCommand(run + bad + " 2>/dev/null"), 0) << bad;
  EXPECT_EQ(test::ReadBytes(tvf), before);
  test::WriteBytes(dir.file("note.tvf"), "not a project");
  EXPECT_NE(test::RunCommand(run + "project note.tvf --fps 3 2>/dev/null"), 0);
  EXPECT_EQ(test::ReadBytes(dir.file("note.tvf")), "not a project");
}

}  // namespace
}  // namespace zr
