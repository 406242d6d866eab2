#include <gtest/gtest.h>

#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <algorithm>

#include "ui/path_field.h"
#include "app/settings_file.h"
#include "gui/convert_dialog.h"
#include "gui/qt_host.h"
#include "gui_support.h"
#include "image/cbmp.h"
#include "output/avi_writer.h"
#include "support/fake_host.h"
#include "support/temp_dir.h"

namespace zr {
namespace {

// The test program's environment provides the QApplication.
TEST(ConvertAviDialog, FileChoicesFillTheListAndEnableDoIt) {
  SettingsFile settings;
  ConvertAviDialog dialog(settings);
  std::vector<std::vector<std::string>> answers = {{"/a/A.avi", "/a/B.avi"}, {}, {"/c/C.avi"}};
  size_t asked = 0;
  dialog.chooseFiles = [&](QWidget*) { return answers[asked++]; };
  EXPECT_FALSE(dialog.doItButton()->isEnabled());
  EXPECT_EQ(QString(), dialog.filesButton()->text());

  dialog.filesButton()->click();
  EXPECT_EQ((std::vector<std::string>{"/a/B.avi", "/a/A.avi"}), dialog.files());
  EXPECT_EQ(QStringLiteral("Number of files selected: 2"), dialog.filesButton()->text());
  EXPECT_TRUE(dialog.doItButton()->isEnabled());

  dialog.filesButton()->click();  // cancelled: nothing changes
  EXPECT_EQ(2u, dialog.files().size());

  dialog.filesButton()->click();
  EXPECT_EQ((std::vector<std::string>{"/c/C.avi", "/a/A.avi", "/a/B.avi"}), dialog.files());
  EXPECT_EQ(QStringLiteral("Number of files selected: 3"), dialog.filesButton()->text());
}

TEST(ConvertAviDialog, FolderAndExtensionChoices) {
  SettingsFile settings;
  ConvertAviDialog dialog(settings);
  std::string started;
  std::vector<std::string> answers = {"/out/", ""};
  size_t asked = 0;
  dialog.chooseFolder = [&](QWidget*, const std::string& start) {
    started = start;
    return answers[asked++];
  };
  EXPECT_EQ("", dialog.outputFolder());
  EXPECT_EQ(".mpg", dialog.extension());
  dialog.folderField()->browse();
  EXPECT_EQ("/out/", dialog.outputFolder());
  EXPECT_EQ(QStringLiteral("/out/"), dialog.folderField()->text());
  dialog.folderField()->browse();  // cancelled: the folder stays, the chooser started there
  EXPECT_EQ("/out/", started);
  EXPECT_EQ("/out/", dialog.outputFolder());
  dialog.mpegButton()->setChecked(true);
  EXPECT_EQ(".mpeg", dialog.extension());
}

// A window with the progress window's operations, taking Qt strings.
struct FakeWindow {
  void Begin(bool clear) { calls.push_back(clear ? "begin 1" : "begin 0"); }
  void AppendLine(const QString& t) { calls.push_back("line " + t.toStdString()); }
  void SetFrame(int n) { calls.push_back("frame " + std::to_string(n)); }
  void SetPercent(int p) { calls.push_back("percent " + std::to_string(p)); }
  void SetOutput(const QString& p) { calls.push_back("output " + p.toStdString()); }
  std::vector<std::string> calls;
};

TEST(ConvertAviDialog, ProgressSinkForwardsEveryNotification) {
  FakeWindow window;
  ProgressWindowSink<FakeWindow> sink(window);
  sink.Begin(true);
  sink.SetOutput("/o/x.mpg");
  sink.Line("Compressing video...");
  sink.Frame(3);
  sink.Percent(40);
  sink.Begin(false);
  EXPECT_EQ((std::vector<std::string>{"begin 1", "output /o/x.mpg", "line Compressing video...",
                                      "frame 3", "percent 40", "begin 0"}),
            window.calls);
}

// The log keeps its lines; the reason the engine knows precisely goes into the details
// of one box after the batch, as the command line prints it on stderr.
TEST(ConvertAviDialog, ABatchShowsThePreciseReasonsInTheBoxDetails) {
  test::TempDir dir;
  CBmp picture;
  picture.SetBitmap(Bitmap(16, 16, 0x804020));
  ASSERT_TRUE(picture.Save(dir.file("f.bmp")));
  CAviWriter writer;
  writer.SetRate(5);
  writer.AddFrame(dir.file("f.bmp"), 2);
  test::FakeHost quiet;
  ASSERT_TRUE(writer.Write(quiet, dir.file("good.avi")));
  ASSERT_TRUE(test::WriteBytes(dir.file("bad.avi"), "RIFF this is no AVI at all"));

  FakeWindow window;
  ProgressWindowSink<FakeWindow> sink(window);
  const std::vector<std::string> files = {dir.file("bad.avi"), dir.file("good.avi")};
  const int converted = mpeg::ConvertBatch(files, dir.path(), ".mpg", sink);
  EXPECT_EQ(converted, 1);
  ASSERT_EQ(sink.failureDetails().size(), 1u);
  const std::string detail = sink.failureDetails()[0];
  EXPECT_EQ(detail.rfind("bad.avi: AVI input: ", 0), 0u) << detail;
  const std::string logLine = "line Error: " + dir.file("bad.avi") + " is locked or unavailable";
  EXPECT_NE(std::find(window.calls.begin(), window.calls.end(), logLine), window.calls.end());
  EXPECT_EQ(std::count_if(
                window.calls.begin(), window.calls.end(),
                [&](const std::string& c) { return c.find("AVI input: ") != std::string::npos; }),
            0)
      << "the log's texts stay as they were";

  QtHost host;
  const test::SeenBox seen = test::AcceptBox(
      [&] { ShowConversionFailures(host, files.size(), converted, sink.failureDetails()); });
  EXPECT_EQ(seen.text, QStringLiteral("1 of 2 files not converted"));
  EXPECT_EQ(seen.details, QString::fromStdString(detail));

  // Nothing to add when every failure was told in full by the log.
  test::FakeHost fake;
  ShowConversionFailures(fake, 3, 1, {});
  EXPECT_TRUE(fake.messages.empty());
}

}  // namespace
}  // namespace zr
