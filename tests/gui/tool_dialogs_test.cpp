// The AVI tools' dialogs: when their buttons let the user go on, what they refuse and keep
// open, what they hand back, and the converter's log window.
#include <cstdio>
#include <deque>

#include <QLineEdit>
#include <QPushButton>

#include "app/document.h"
#include "app/settings_file.h"
#include "gui/tool_dialogs.h"
#include "gui_support.h"
#include "platform/paths.h"
#include "ui/path_field.h"

namespace zr::test {
namespace {

// Answers the dialog's chooser from a queue; an empty queue is a cancelled chooser.
template <typename T>
std::function<T()> Answers(std::deque<T>& queue) {
  return [&queue] {
    if (queue.empty()) return T();
    T v = queue.front();
    queue.pop_front();
    return v;
  };
}

TEST(QuickAviDialog, CreateWaitsForAnExistingFolderAndACancelledChooserKeepsTheField) {
  FakeHost host;
  TempDir dir;
  MakeFolders(dir.file("frames"));
  ASSERT_TRUE(WriteBytes(dir.file("tune.wav"), "x"));
  const QString frames = QString::fromStdString(dir.file("frames"));
  const QString tune = QString::fromStdString(dir.file("tune.wav"));
  SettingsFile settings;
  CQuickAviDlg dialog(settings);
  std::deque<QString> folders = {QString(), frames, QString()};
  std::deque<std::string> sounds = {tune.toStdString(), ""};
  dialog.chooseFolder = Answers(folders);
  dialog.chooseSound = Answers(sounds);

  EXPECT_FALSE(dialog.createButton()->isEnabled());
  dialog.createButton()->click();
  EXPECT_NE(dialog.result(), QDialog::Accepted);

  dialog.folderField()->browse();  // cancelled: still nothing to make an AVI from
  EXPECT_FALSE(dialog.createButton()->isEnabled());
  EXPECT_EQ(dialog.folder(), "");

  dialog.folderField()->browse();
  EXPECT_TRUE(dialog.createButton()->isEnabled());
  EXPECT_EQ(dialog.folderField()->text(), frames);
  dialog.folderField()->browse();  // a cancelled second choice keeps the first
  EXPECT_EQ(dialog.folder(), frames.toStdString());
  EXPECT_TRUE(dialog.createButton()->isEnabled());

  dialog.soundField()->browse();
  EXPECT_EQ(dialog.soundFile(), tune.toStdString());
  dialog.soundField()->browse();  // cancelled: the sound stays
  EXPECT_EQ(dialog.soundFile(), tune.toStdString());

  // Typed paths: a folder that is not there, or a sound that is not, holds Create back;
  // the optional sound may be emptied.
  dialog.folderField()->edit()->setText(frames + "-gone");
  EXPECT_FALSE(dialog.createButton()->isEnabled());
  dialog.folderField()->edit()->setText(frames);
  dialog.soundField()->edit()->setText(tune + ".old");
  EXPECT_FALSE(dialog.createButton()->isEnabled());
  dialog.soundField()->edit()->clear();
  EXPECT_TRUE(dialog.createButton()->isEnabled());

  dialog.createButton()->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.folder(), frames.toStdString());
  EXPECT_TRUE(host.messages.empty());
}

class MorphDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    doc.AttachHost(host);
    doc.settings().UseProgramFolder(dir.path());
    doc.settings().Load(dir.file("Zerarive.ini"), false);  // absent: only sets where Save goes
    big = WriteImage(dir, "big.bmp", 40, 30);
    big2 = WriteImage(dir, "big2.bmp", 40, 30, Rgb(10, 200, 10));
    small = WriteImage(dir, "small.bmp", 20, 10);
  }

  TempDir dir;
  FakeHost host;
  CTorvexerDoc doc;
  std::string big, big2, small;
};

constexpr const char* kSizeMessage = "Removing the second image: both images must be the same size.";

TEST_F(MorphDialogTest, ImagesOfAnotherSizeClearTheSecondChoice) {
  CMorphDlg dialog(doc);
  EXPECT_FALSE(dialog.morphButton()->isEnabled());
  dialog.ChooseFrom(big);
  EXPECT_FALSE(dialog.morphButton()->isEnabled());
  dialog.ChooseTo(small);
  ASSERT_EQ(host.messages, std::vector<std::string>{kSizeMessage});
  EXPECT_EQ(dialog.toPath(), "");
  EXPECT_EQ(dialog.fromPath(), big);
  EXPECT_FALSE(dialog.morphButton()->isEnabled());

  dialog.ChooseTo(big2);
  EXPECT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(dialog.toPath(), big2);
  EXPECT_TRUE(dialog.morphButton()->isEnabled());

  // A new first image of another size unselects the second one, not the first.
  dialog.ChooseFrom(small);
  EXPECT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(dialog.fromPath(), small);
  EXPECT_EQ(dialog.toPath(), "");

  // Choosing via the buttons goes through the same checks.
  CMorphDlg clicked(doc);
  std::deque<std::string> images = {big, "", small};
  clicked.chooseImage = Answers(images);
  clicked.fromField()->browse();
  clicked.toField()->browse();  // cancelled: nothing changes
  EXPECT_EQ(clicked.toPath(), "");
  clicked.toField()->browse();
  EXPECT_EQ(host.messages.size(), 3u);
  EXPECT_EQ(clicked.toPath(), "");
  EXPECT_FALSE(clicked.morphButton()->isEnabled());
}

TEST_F(MorphDialogTest, RefusedChoicesKeepTheDialogOpen) {
  CMorphDlg dialog(doc);
  dialog.ChooseFrom(big);
  dialog.ChooseTo(big);
  dialog.morphButton()->click();
  EXPECT_EQ(host.messages, std::vector<std::string>{"Cannot morph into the same image"});
  EXPECT_NE(dialog.result(), QDialog::Accepted);

  const std::string gone = WriteImage(dir, "gone.bmp", 40, 30);
  dialog.ChooseTo(gone);
  ASSERT_EQ(std::remove(gone.c_str()), 0);
  dialog.morphButton()->click();
  EXPECT_EQ(host.messages.back(), "Cannot open " + gone);
  EXPECT_NE(dialog.result(), QDialog::Accepted);

  dialog.ChooseTo(big2);
  ASSERT_EQ(std::remove(big.c_str()), 0);
  dialog.morphButton()->click();
  EXPECT_EQ(host.messages.back(), "Cannot open " + big);
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(host.messages.size(), 3u);
}

TEST_F(MorphDialogTest, StepsAndStartAreClampedOnAccept) {
  struct Case {
    const char* steps;
    const char* start;
    int wantSteps, wantStart;
  } cases[] = {
      {"20", "1", 20, 1},      {"0", "-5", 1, 0},     {"300", "0", 254, 0},
      {"254", "12ab", 254, 12}, {"-3", "x", 1, 0},    {"7 steps", " 9", 7, 9},
      {"", "", 1, 0},
  };
  CMorphDlg fresh(doc);
  EXPECT_EQ(fresh.stepsEdit()->text(), QStringLiteral("20"));
  EXPECT_EQ(fresh.startEdit()->text(), QStringLiteral("1"));
  EXPECT_EQ(fresh.outcome(), 0);
  for (const Case& c : cases) {
    CMorphDlg dialog(doc);
    dialog.ChooseFrom(big);
    dialog.ChooseTo(big2);
    dialog.stepsEdit()->setText(QString::fromUtf8(c.steps));
    dialog.startEdit()->setText(QString::fromUtf8(c.start));
    dialog.morphButton()->click();
    ASSERT_EQ(dialog.result(), QDialog::Accepted) << c.steps << " / " << c.start;
    EXPECT_EQ(dialog.steps(), c.wantSteps) << c.steps;
    EXPECT_EQ(dialog.start(), c.wantStart) << c.start;
  }
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(MorphDialogTest, TheFolderIsSavedAtMorphEvenWhenTheChecksRefuse) {
  {
    CMorphDlg dialog(doc);
    EXPECT_EQ(dialog.folder(), dir.path() + "Morph");
    std::deque<QString> folders = {QString(), QString::fromStdString(dir.file("out"))};
    dialog.chooseFolder = Answers(folders);
    CPathField* folderField = dialog.folderField();
    EXPECT_EQ(folderField->text(), QString::fromStdString(dir.path() + "Morph"));
    folderField->browse();  // cancelled
    EXPECT_EQ(dialog.folder(), dir.path() + "Morph");
    folderField->browse();
    EXPECT_EQ(dialog.folder(), dir.file("out"));
    EXPECT_EQ(folderField->text(), QString::fromStdString(dir.file("out")));

    dialog.ChooseFrom(big);
    dialog.ChooseTo(big);
    dialog.morphButton()->click();  // refused, but the folder is kept already
    EXPECT_NE(dialog.result(), QDialog::Accepted);
  }
  std::string stored;
  EXPECT_TRUE(doc.settings().ReadString("Morph", "Dir", stored));
  EXPECT_EQ(stored, dir.file("out"));
  EXPECT_NE(ReadBytes(dir.file("Zerarive.ini")).find("Dir=" + dir.file("out")), std::string::npos);

  CMorphDlg again(doc);  // the next dialog starts there
  EXPECT_EQ(again.folder(), dir.file("out"));
}

TEST(ConvertProgressWindow, ShownByTheFirstLineClearedAtABatchStartRunEnabledAtItsEnd) {
  FakeHost host;
  CConvertProgressDlg window;
  window.SetPercent(40);
  window.SetFrame(12);
  window.Begin(true);
  EXPECT_TRUE(window.isHidden());  // nothing written yet
  EXPECT_FALSE(window.runButton()->isEnabled());

  window.AppendLine("Converting a.avi");
  EXPECT_FALSE(window.isHidden());
  window.AppendLine("Done");
  EXPECT_EQ(window.logText(), QStringLiteral("Converting a.avi\nDone"));

  window.Begin(false);  // end of the batch: the log stays, Run can open the result
  EXPECT_TRUE(window.runButton()->isEnabled());
  EXPECT_EQ(window.logText(), QStringLiteral("Converting a.avi\nDone"));

  QPushButton* close = nullptr;
  for (QPushButton* b : window.findChildren<QPushButton*>())
    if (b->text() == QStringLiteral("Cl&ose")) close = b;
  ASSERT_NE(close, nullptr);
  close->click();
  EXPECT_TRUE(window.isHidden());
  window.AppendLine("next");
  EXPECT_FALSE(window.isHidden());

  window.Begin(true);
  EXPECT_TRUE(window.logText().isEmpty());
  EXPECT_FALSE(window.runButton()->isEnabled());
  EXPECT_TRUE(host.messages.empty());
}

TEST(ConvertProgressWindow, RunOpensOnlyAnOutputThatExists) {
  FakeHost host;
  TempDir dir;
  CConvertProgressDlg window;
  std::vector<std::string> opened;
  window.showAnimation = [&opened](const std::string& path) { opened.push_back(path); };
  window.Begin(false);
  window.runButton()->click();  // no output remembered yet
  EXPECT_TRUE(opened.empty());

  const std::string output = dir.file("movie.mpg");
  window.SetOutput(output);
  window.runButton()->click();
  EXPECT_TRUE(opened.empty());

  ASSERT_TRUE(WriteBytes(output, "data"));
  window.runButton()->click();
  EXPECT_EQ(opened, std::vector<std::string>{output});

  window.Begin(true);  // a new batch: Run waits for its end
  window.runButton()->click();
  EXPECT_EQ(opened.size(), 1u);
}

}  // namespace
}  // namespace zr::test
