// Path fields: what each rule accepts, and that the dialogs' action buttons follow the
// fields as the user types, pastes or drops.
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include "app/document.h"
#include "app/settings_file.h"
#include "gui/convert_dialog.h"
#include "gui/logo_dialog.h"
#include "gui/merge_dialog.h"
#include "gui/tool_dialogs.h"
#include "gui_support.h"
#include "platform/paths.h"
#include "ui/bitmap_button.h"
#include "ui/path_field.h"

namespace zr::test {
namespace {

TEST(PathRules, EachRuleAcceptsWhatItsFieldNeeds) {
  TempDir dir;
  ASSERT_TRUE(WriteBytes(dir.file("a.avi"), "x"));
  MakeFolders(dir.file("sub"));
  const QString file = QString::fromStdString(dir.file("a.avi"));
  const QString folder = QString::fromStdString(dir.file("sub"));
  const QString missing = QString::fromStdString(dir.file("none/x.avi"));
  struct Case {
    PathRule rule;
    bool optional;
    QString path;
    bool holds;
  } cases[] = {
      {PathRule::ExistingFile, false, file, true},
      {PathRule::ExistingFile, false, folder, false},
      {PathRule::ExistingFile, false, missing, false},
      {PathRule::ExistingFile, false, "", false},
      {PathRule::ExistingFile, true, "  ", true},
      {PathRule::ExistingFolder, false, folder, true},
      {PathRule::ExistingFolder, false, file, false},
      {PathRule::ExistingFolder, true, "", true},
      {PathRule::NewFile, false, folder + "/new.avi", true},
      {PathRule::NewFile, false, file, true},  // replaced after the writer's own question
      {PathRule::NewFile, false, missing, false},
      {PathRule::NewFile, false, folder, false},
      {PathRule::CreatableFolder, false, folder, true},
      {PathRule::CreatableFolder, false, folder + "/deeper/still", true},
      {PathRule::CreatableFolder, false, file, false},
      {PathRule::CreatableFolder, false, file + "/under-a-file", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PathProblem(c.rule, c.optional, c.path).isEmpty(), c.holds)
        << int(c.rule) << " " << c.path.toStdString();
}

TEST(PathField, TypedAndDroppedPathsEnableMergeOnlyWhenEveryRuleHolds) {
  FakeHost host;
  TempDir dir;
  for (const char* name : {"in.avi", "tune.wav"}) ASSERT_TRUE(WriteBytes(dir.file(name), "x"));
  SettingsFile settings;
  CMergeDlg dialog(host, settings);
  dialog.videoField()->edit()->setText(QString::fromStdString(dir.file("in.avi")));
  dialog.soundField()->edit()->setText(QString::fromStdString(dir.file("tune.wav")));
  EXPECT_FALSE(dialog.doItButton()->isEnabled());
  dialog.outputField()->edit()->setText(QString::fromStdString(dir.file("gone/out.avi")));
  EXPECT_FALSE(dialog.doItButton()->isEnabled());
  EXPECT_FALSE(dialog.outputField()->valid());
  dialog.outputField()->edit()->setText(QString::fromStdString(dir.file("out.avi")));
  EXPECT_TRUE(dialog.doItButton()->isEnabled());
  // An input that stops being right disables it again.
  dialog.soundField()->edit()->setText(QString::fromStdString(dir.file("tune.wa")));
  EXPECT_FALSE(dialog.doItButton()->isEnabled());

  // A file dropped on the field gives its path, not a URL.
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir.file("tune.wav")))});
  dialog.show();
  QLineEdit* target = dialog.soundField()->edit();
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &drop);
  EXPECT_EQ(dialog.soundField()->text().toStdString(), dir.file("tune.wav"));
  EXPECT_TRUE(dialog.doItButton()->isEnabled());
  EXPECT_TRUE(host.messages.empty());
}

TEST(PathField, MorphWantsACreatableFolderAndTheConverterAnExistingOrNone) {
  FakeHost host;
  TempDir dir;
  CTorvexerDoc doc;
  doc.AttachHost(host);
  doc.settings().UseProgramFolder(dir.path());
  const std::string image = WriteImage(dir, "a.bmp", 8, 8);
  CMorphDlg morph(doc);
  morph.fromField()->edit()->setText(QString::fromStdString(image));
  morph.toField()->edit()->setText(QString::fromStdString(image));
  morph.folderField()->edit()->setText(QString::fromStdString(dir.file("made/later")));
  EXPECT_TRUE(morph.morphButton()->isEnabled());
  EXPECT_EQ(morph.folder(), dir.file("made/later"));
  morph.folderField()->edit()->setText(QString::fromStdString(image + "/x"));
  EXPECT_FALSE(morph.morphButton()->isEnabled());

  ConvertAviDialog convert(doc.settings());
  convert.chooseFiles = [&](QWidget*) { return std::vector<std::string>{dir.file("a.avi")}; };
  QTest::mouseClick(convert.filesButton(), Qt::LeftButton);
  EXPECT_TRUE(convert.doItButton()->isEnabled());  // blank: beside the input
  convert.folderField()->edit()->setText(QString::fromStdString(dir.file("nowhere")));
  EXPECT_FALSE(convert.doItButton()->isEnabled());
  convert.folderField()->edit()->setText(QString::fromStdString(dir.path()));
  EXPECT_TRUE(convert.doItButton()->isEnabled());
}

TEST_F(GuiTest, TheLogoFieldShowsItsPictureAndTakesBuiltInNames) {
  CLogoDlg dialog(frame->doc());
  QPushButton* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
  frame->doc().sLogoFile = "<LOGO";
  CLogoDlg builtIn(frame->doc());
  EXPECT_EQ(builtIn.logoField()->text(), "<LOGO");
  EXPECT_TRUE(builtIn.logoField()->valid());
  const std::string logo = WriteImage(dir, "logo.bmp", 12, 9);
  dialog.logoField()->edit()->setText(QString::fromStdString(logo));
  EXPECT_EQ(dialog.logoButton()->imageName().toStdString(), logo);
  dialog.logoField()->edit()->setText(QString::fromStdString(logo + "x"));
  EXPECT_FALSE(ok->isEnabled());
  EXPECT_EQ(dialog.logoButton()->imageName().toStdString(), logo);  // the last good picture
  dialog.logoField()->edit()->setText(QString::fromStdString(logo));
  ok->click();
  EXPECT_EQ(frame->doc().sLogoFile, logo);
}

}  // namespace
}  // namespace zr::test
