// A settings file with "Auto" set, given as the argument: the program makes the AVI and
// closes itself, and stays open when it could not.
#include <QSignalSpy>
#include <QTest>

#include "app/settings_file.h"
#include "gui_support.h"
#include "platform/paths.h"

namespace zr::test {
namespace {

std::string JobText(const std::string& output, const std::vector<std::string>& images) {
  std::string text = "[General]\nAuto=1\nFPS=5\nBPP=24\nOutput=" + output + "\n[Images]\n";
  for (size_t i = 0; i < images.size(); ++i) text += std::to_string(i) + "=" + images[i] + "\n";
  return text;
}

TEST(UnattendedJob, TheProgramMakesTheAviAndExitsWithZero) {
  TempDir dir;
  const std::string job = dir.file("job.ini");
  ASSERT_TRUE(WriteBytes(job, JobText(dir.file("out.avi"), {WriteImage(dir, "a.bmp", 32, 24),
                                                             WriteImage(dir, "b.bmp", 32, 24)})));
  const std::string command = "cd " + dir.path() +
                              " && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 timeout 120 " +
                              std::string(ZR_BIN_DIR) + "/zerarive " + job + " >/dev/null 2>&1";
  EXPECT_EQ(RunCommand(command), 0);
  EXPECT_TRUE(FileExists(dir.file("out.avi")));
  std::string probe;
  ASSERT_EQ(RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                       "stream=nb_read_frames -of csv=p=0 " + dir.file("out.avi"), &probe),
            0);
  EXPECT_EQ(std::stoi(probe), 2);
}

TEST(UnattendedJob, AFailedJobLeavesTheWindowOpenAndAttended) {
  TempDir dir;
  FakeHost host;
  const std::string job = dir.file("job.ini");
  ASSERT_TRUE(WriteBytes(job, JobText(dir.file("out.avi"), {dir.file("missing.bmp")})));
  {
    CMainFrame frame;
    frame.doc().settings().UseProgramFolder(dir.path());
    frame.doc().AttachHost(host);
    ASSERT_TRUE(OpenCommandLineFile(frame.doc(), job));
    QSignalSpy finished(&frame, &CMainFrame::unattendedJobFinished);
    frame.show();
    frame.FirstPaint();
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_FALSE(finished.at(0).at(0).toBool());
    QTest::qWait(50);
    EXPECT_TRUE(frame.isVisible());
    ASSERT_FALSE(host.messages.empty());
    EXPECT_NE(host.messages[0].find("Could not load"), std::string::npos);
    EXPECT_FALSE(FileExists(dir.file("out.avi")));
    // From now on a person is there: leaving asks about the unsaved project.
    EXPECT_FALSE(frame.doc().unattended());
  }
}

TEST(UnattendedJob, ASuccessfulJobClosesWithoutAskingAnything) {
  TempDir dir;
  FakeHost host;
  const std::string job = dir.file("job.ini");
  ASSERT_TRUE(WriteBytes(job, JobText(dir.file("out.avi"), {WriteImage(dir, "a.bmp", 16, 16)})));
  {
    CMainFrame frame;
    frame.doc().settings().UseProgramFolder(dir.path());
    frame.doc().AttachHost(host);
    ASSERT_TRUE(OpenCommandLineFile(frame.doc(), job));
    QSignalSpy finished(&frame, &CMainFrame::unattendedJobFinished);
    frame.show();
    frame.FirstPaint();
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_TRUE(finished.at(0).at(0).toBool());
    QTest::qWait(50);
    EXPECT_FALSE(frame.isVisible());
    EXPECT_TRUE(host.questions.empty());
    EXPECT_TRUE(FileExists(dir.file("out.avi")));
    EXPECT_EQ(frame.previewWindow(), nullptr);
  }
}

}  // namespace
}  // namespace zr::test
