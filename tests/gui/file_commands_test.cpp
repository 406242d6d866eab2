// File commands through the Host's file chooser: attach sound, create AVI into the
// preview, save and reopen through the recent files.
#include <QAction>
#include <QCheckBox>

#include "app/settings_file.h"
#include "gui/commands.h"
#include "gui/frame_panel.h"
#include "gui/preview_window.h"
#include "gui_support.h"
#include "platform/paths.h"

namespace zr::test {
namespace {

// Answers the AVI chooser from a queue and remembers where it started.
class ChooserHost : public FakeHost {
 public:
  std::string ChooseAviPath(bool save, bool wave, const std::string& start) override {
    calls.push_back({save, wave, start});
    if (paths.empty()) return {};
    std::string p = paths.front();
    paths.erase(paths.begin());
    return p;
  }
  struct Call {
    bool save, wave;
    std::string start;
  };
  std::vector<Call> calls;
  std::vector<std::string> paths;
};

class FileCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    frame = std::make_unique<CMainFrame>();
    frame->doc().settings().UseProgramFolder(dir.path());
    frame->doc().AttachHost(host);
    frame->doc().sIniFile = dir.file("Zerarive.ini");
    frame->FirstPaint();
  }
  void TearDown() override {
    frame.reset();
  }
  TempDir dir;
  ChooserHost host;
  std::unique_ptr<CMainFrame> frame;
};

TEST_F(FileCommandsTest, AttachSoundRemembersTheFolderAndCancelChangesNothing) {
  MakeFolders(dir.file("snd"));
  ASSERT_TRUE(WriteBytes(dir.file("snd/a.wav"), "x"));
  host.paths = {dir.file("snd/a.wav")};
  frame->Execute(ID_ATTACH_SOUND);
  ASSERT_EQ(host.calls.size(), 1u);
  EXPECT_FALSE(host.calls[0].save);
  EXPECT_TRUE(host.calls[0].wave);
  EXPECT_EQ(frame->doc().sSoundFile, dir.file("snd/a.wav"));
  EXPECT_EQ(frame->panel()->soundBox()->text(), "a.wav");
  std::string saved;
  ASSERT_TRUE(frame->doc().settings().ReadString("General", "SavePath", saved));
  EXPECT_EQ(saved, dir.file("snd/"));

  frame->Execute(ID_ATTACH_SOUND);  // cancelled
  ASSERT_EQ(host.calls.size(), 2u);
  EXPECT_EQ(host.calls[1].start, dir.file("snd/"));
  EXPECT_EQ(frame->doc().sSoundFile, dir.file("snd/a.wav"));
}

TEST_F(FileCommandsTest, CreateAviWritesTheFileAndOpensItInThePreview) {
  QStringList images = {QString::fromStdString(WriteImage(dir, "a.bmp", 32, 24)),
                        QString::fromStdString(WriteImage(dir, "b.bmp", 32, 24, Rgb(0, 90, 0)))};
  frame->AddImageFiles(images);
  host.paths = {dir.file("made.avi")};
  frame->Execute(ID_CREATE_AVI);
  ASSERT_TRUE(FileExists(dir.file("made.avi"))) << (host.messages.empty() ? "" : host.messages[0]);
  ASSERT_NE(frame->previewWindow(), nullptr);
  EXPECT_EQ(frame->previewWindow()->frameCount(), 2);
  EXPECT_FALSE(host.statuses.empty());
}

TEST_F(FileCommandsTest, ASavedProjectReopensFromTheRecentFiles) {
  QStringList images = {QString::fromStdString(WriteImage(dir, "a.bmp", 8, 8)),
                        QString::fromStdString(WriteImage(dir, "b.bmp", 8, 8))};
  frame->AddImageFiles(images);
  frame->panel()->setFpsText("12");
  const std::string project = dir.file("p.tvf");
  ASSERT_TRUE(frame->doc().OnSaveDocument(project));
  frame->AddRecentFile(QString::fromStdString(project));
  frame->doc().NewProject();
  frame->doc().SetModifiedFlag(false);
  ASSERT_EQ(frame->doc().frames.FrameCount(), 0);

  ASSERT_FALSE(frame->recentFiles().isEmpty());
  EXPECT_EQ(frame->recentFiles().first().toStdString(), project);
  ASSERT_TRUE(frame->OpenDocumentFile(frame->recentFiles().first()));
  EXPECT_EQ(frame->doc().frames.FrameCount(), 2);
  EXPECT_EQ(frame->panel()->fpsText(), "12");
  EXPECT_TRUE(frame->windowTitle().contains("p.tvf"));
  // Only four are kept, the newest first.
  for (int i = 0; i < 5; ++i) frame->AddRecentFile(QString::fromStdString(dir.file("r" + std::to_string(i) + ".tvf")));
  EXPECT_EQ(frame->recentFiles().size(), 4);
  EXPECT_TRUE(frame->recentFiles().first().endsWith("r4.tvf"));
}

}  // namespace
}  // namespace zr::test
