// The main window's commands, as a user reaches them: enable rules, the frame list and its
// buttons, the image commands, drops, the view and the options that reach the settings.
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "app/settings_file.h"
#include "gui/commands.h"
#include "gui/frame_list_model.h"
#include "gui/frame_panel.h"
#include "gui/view.h"
#include "gui_support.h"
#include "platform/paths.h"
#include "ui/bitmap_button.h"
#include "ui/grid_ctrl.h"
#include "ui/updown_edit.h"

namespace zr::test {
namespace {

using Names = std::vector<std::string>;

TEST_F(GuiTest, CommandsNeedFramesOrSoundAsTheirRulesSay) {
  EXPECT_FALSE(Enabled(ID_FILE_SAVE));
  EXPECT_FALSE(Enabled(ID_FILE_SAVE_AS));
  EXPECT_FALSE(Enabled(ID_CREATE_AVI));
  EXPECT_FALSE(Enabled(ID_EDIT_CUT));
  EXPECT_FALSE(Enabled(ID_EDIT_COPY));
  EXPECT_TRUE(Enabled(ID_FILE_NEW));

  // A sound alone is enough for Create AVI, not for saving.
  ASSERT_TRUE(WriteBytes(dir.file("not-really.wav"), "x"));
  frame->doc().AttachSound(dir.file("not-really.wav"));
  frame->UpdateCommandUI();
  EXPECT_TRUE(Enabled(ID_CREATE_AVI));
  EXPECT_FALSE(Enabled(ID_FILE_SAVE));
  EXPECT_TRUE(frame->panel()->soundBox()->isVisibleTo(frame->panel()));
  EXPECT_EQ(frame->panel()->soundBox()->text(), "not-really.wav");

  // Clicking the sound box detaches the sound.
  frame->panel()->soundBox()->click();
  EXPECT_TRUE(frame->doc().sSoundFile.empty());
  EXPECT_FALSE(frame->panel()->soundBox()->isVisibleTo(frame->panel()));
  EXPECT_FALSE(Enabled(ID_CREATE_AVI));

  AddFrames({"a.bmp"});
  EXPECT_TRUE(Enabled(ID_FILE_SAVE));
  EXPECT_TRUE(Enabled(ID_FILE_SAVE_AS));
  EXPECT_TRUE(Enabled(ID_CREATE_AVI));
  EXPECT_TRUE(Enabled(ID_EDIT_CUT));
  EXPECT_TRUE(Enabled(ID_EDIT_COPY));

  // Without a current row there is nothing to cut or copy.
  frame->doc().frames.ClearCurrent();
  frame->UpdateCommandUI();
  EXPECT_FALSE(Enabled(ID_EDIT_CUT));
  EXPECT_FALSE(Enabled(ID_EDIT_COPY));
}

// No UpdateCommandUI here: the states must follow the change notices alone.
TEST_F(GuiTest, RulesFollowTheClipboardAndTheSelectionWithoutPolling) {
  for (QTimer* timer : frame->findChildren<QTimer*>())
    EXPECT_FALSE(timer->isActive() && !timer->isSingleShot()) << "a polling timer runs";

  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  EXPECT_FALSE(Enabled(ID_EDIT_PASTE));
  clipboard->setImage(QImage(8, 6, QImage::Format_RGB32));
  EXPECT_TRUE(Enabled(ID_EDIT_PASTE));
  clipboard->setText(QStringLiteral("only words"));
  EXPECT_FALSE(Enabled(ID_EDIT_PASTE));

  QStringList paths;
  for (const char* n : {"a.bmp", "b.bmp"}) paths << QString::fromStdString(WriteImage(dir, n, 10, 10));
  frame->AddImageFiles(paths);
  EXPECT_TRUE(Enabled(ID_FILE_SAVE));
  EXPECT_EQ(frame->statusFrameCount(), "   2");

  CGridCtrl* grid = frame->panel()->grid();
  grid->setCurrentIndex(QModelIndex());
  EXPECT_FALSE(Enabled(ID_EDIT_CUT));
  grid->setCurrentIndex(grid->model()->index(1, 0));
  EXPECT_TRUE(Enabled(ID_EDIT_CUT));
  EXPECT_TRUE(Enabled(ID_EDIT_COPY));
  // The list itself moving its current row (no grid involved) is a change too.
  frame->doc().frames.ClearCurrent();
  EXPECT_FALSE(Enabled(ID_EDIT_COPY));

  frame->doc().frames.Reset();
  EXPECT_FALSE(Enabled(ID_FILE_SAVE));
  EXPECT_FALSE(Enabled(ID_CREATE_AVI));
  EXPECT_EQ(frame->statusFrameCount(), "   0");
}

TEST_F(GuiTest, MenusAndKeysReachTheirCommands) {
  QStringList titles;
  for (QAction* a : frame->menuBar()->actions()) titles << a->text();
  EXPECT_EQ(titles, QStringList({"&File", "&Edit", "&Options", "&Effects", "&View", "&Help"}));
  EXPECT_EQ(frame->action(ID_CREATE_AVI)->text(), "Step 3: Create &AVI File...");
  EXPECT_EQ(frame->action(ID_VIEW_ANIMATION)->statusTip(), "View an AVI file");
  EXPECT_EQ(frame->action(ID_IMPORT_IMAGES)->statusTip(), "Import images");

  // Both key sequences of Cut reach the command.
  const auto keys = frame->action(ID_EDIT_CUT)->shortcuts();
  EXPECT_TRUE(keys.contains(QKeySequence("Ctrl+X")));
  EXPECT_TRUE(keys.contains(QKeySequence("Shift+Del")));
  // Undo and redo have the keys people expect.
  EXPECT_TRUE(frame->action(ID_EDIT_UNDO)->shortcuts().contains(QKeySequence("Ctrl+Z")));
  EXPECT_TRUE(frame->action(ID_EDIT_REDO)->shortcuts().contains(QKeySequence("Ctrl+Shift+Z")));
}

TEST_F(GuiTest, ImportedFilesAreAppendedInByteOrderOfTheirNames) {
  AddFrames({"z.bmp"});
  QStringList paths;
  for (const char* n : {"img10.bmp", "img2.bmp", "Zed.bmp", "img1.bmp"})
    paths << QString::fromStdString(WriteImage(dir, n, 10, 10));
  frame->AddImageFiles(paths);
  EXPECT_EQ(FrameNames(), (Names{"z.bmp", "Zed.bmp", "img1.bmp", "img10.bmp", "img2.bmp"}));
  EXPECT_EQ(frame->doc().GetImagePath("img2.bmp"), dir.file("img2.bmp"));
  EXPECT_EQ(frame->panel()->grid()->model()->rowCount(), 5);
}

TEST_F(GuiTest, PanelButtonsMoveTheCurrentFrameAndTheGridFollows) {
  AddFrames({"a.bmp", "b.bmp", "c.bmp", "d.bmp"}, 3);
  CFramePanel* panel = frame->panel();
  CGridCtrl* grid = panel->grid();
  auto click = [&](int id) { QTest::mouseClick(panel->button(id), Qt::LeftButton); };

  click(IDC_MOVE_FIRST);
  EXPECT_EQ(FrameNames(), (Names{"c.bmp", "a.bmp", "b.bmp", "d.bmp"}));
  EXPECT_EQ(grid->currentRow(), 0);
  click(IDC_MOVE_LAST);
  EXPECT_EQ(FrameNames(), (Names{"a.bmp", "b.bmp", "d.bmp", "c.bmp"}));
  EXPECT_EQ(grid->currentRow(), 3);
  click(IDC_MOVE_UP);
  EXPECT_EQ(FrameNames(), (Names{"a.bmp", "b.bmp", "c.bmp", "d.bmp"}));
  click(IDC_MOVE_DOWN);
  click(IDC_MOVE_DOWN);  // already last: nothing
  EXPECT_EQ(FrameNames(), (Names{"a.bmp", "b.bmp", "d.bmp", "c.bmp"}));
  click(IDC_DELETE);
  EXPECT_EQ(FrameNames(), (Names{"a.bmp", "b.bmp", "d.bmp"}));
  EXPECT_FALSE(frame->doc().frames.HasCurrentRow());
  EXPECT_EQ(grid->currentRow(), -1);
}

TEST_F(GuiTest, ClickingARowMakesItCurrentAndShowsItsImage) {
  AddFrames({"a.bmp"});
  QStringList wide;
  wide << QString::fromStdString(WriteImage(dir, "wide.bmp", 64, 16));
  frame->AddImageFiles(wide);
  CGridCtrl* grid = frame->panel()->grid();
  frame->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
  const QRect cell = grid->visualRect(grid->model()->index(1, 0));
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
  EXPECT_EQ(frame->doc().frames.CurrentRow(), 2);
  frame->view()->SyncImage();
  frame->UpdateCommandUI();
  EXPECT_EQ(frame->statusImageSize(), "  64x16  ");
  EXPECT_EQ(frame->statusFrameCount(), "   2");
}

TEST_F(GuiTest, OnlyTheFramesColumnIsEditedInPlace) {
  AddFrames({"a.bmp", "b.bmp"});
  CGridCtrl* grid = frame->panel()->grid();
  const QModelIndex count = grid->model()->index(1, FrameList::kFramesColumn);
  grid->setCurrentIndex(count);
  ASSERT_TRUE(grid->model()->flags(count) & Qt::ItemIsEditable);
  // What the in-place editor hands back when the user has typed "12x".
  QLineEdit editor;
  editor.setText("12x");
  grid->itemDelegate()->setModelData(&editor, grid->model(), count);
  EXPECT_EQ(frame->doc().frames.Text(2, FrameList::kFramesColumn), "12x");
  EXPECT_EQ(frame->doc().frames.Frames(2), 12);
  EXPECT_TRUE(frame->doc().IsModified());

  const QModelIndex name = grid->model()->index(1, FrameList::kNameColumn);
  EXPECT_FALSE(grid->model()->flags(name) & Qt::ItemIsEditable);
  EXPECT_FALSE(grid->model()->setData(name, "other.bmp", Qt::EditRole));
  EXPECT_EQ(frame->doc().frames.Name(2), "b.bmp");
}

TEST_F(GuiTest, DraggingARowMovesItAndDroppedImagesAreInserted) {
  AddFrames({"a.bmp", "b.bmp", "c.bmp", "d.bmp"});
  CGridCtrl* grid = frame->panel()->grid();
  emit grid->rowDragged(0, 2);  // a onto c
  EXPECT_EQ(FrameNames(), (Names{"b.bmp", "c.bmp", "a.bmp", "d.bmp"}));
  emit grid->rowDragged(3, 0);  // d onto b
  EXPECT_EQ(FrameNames(), (Names{"d.bmp", "b.bmp", "c.bmp", "a.bmp"}));
  emit grid->rowDragged(0, -1);  // below the last row
  EXPECT_EQ(FrameNames(), (Names{"b.bmp", "c.bmp", "a.bmp", "d.bmp"}));

  // Files from outside, dropped on the second row: inserted after it, sorted; others ignored.
  QStringList files = {QString::fromStdString(WriteImage(dir, "y.png", 8, 8)),
                       QString::fromStdString(WriteImage(dir, "x.bmp", 8, 8)),
                       QString::fromStdString(dir.file("notes.txt"))};
  emit grid->filesDropped(files, 1);
  EXPECT_EQ(FrameNames(), (Names{"b.bmp", "c.bmp", "x.bmp", "y.png", "a.bmp", "d.bmp"}));
}

TEST_F(GuiTest, ADroppedProjectOpensAsTheDocument) {
  AddFrames({"a.bmp", "b.bmp"});
  frame->panel()->setFpsText("25");
  const std::string project = dir.file("two.tvf");
  ASSERT_TRUE(frame->doc().OnSaveDocument(project));
  frame->doc().NewProject();
  frame->doc().SetModifiedFlag(false);
  ASSERT_TRUE(FrameNames().empty());

  frame->OpenDroppedFiles({QUrl::fromLocalFile(QString::fromStdString(project))});
  EXPECT_EQ(FrameNames(), (Names{"a.bmp", "b.bmp"}));
  EXPECT_EQ(frame->panel()->fpsText(), "25");
  EXPECT_TRUE(frame->recentFiles().contains(QString::fromStdString(project)));
  EXPECT_TRUE(host.questions.empty());
}

TEST_F(GuiTest, UnsavedChangesAreOfferedForSavingBeforeNewAndExit) {
  AddFrames({"a.bmp"});
  ASSERT_TRUE(frame->doc().IsModified());
  host.answers = {Answer::Cancel};
  frame->Execute(ID_FILE_NEW);
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(FrameNames(), (Names{"a.bmp"}));  // Cancel keeps the project

  host.answers = {Answer::No};
  frame->Execute(ID_FILE_NEW);
  EXPECT_TRUE(FrameNames().empty());

  AddFrames({"b.bmp"});
  host.answers = {Answer::Cancel};
  EXPECT_FALSE(frame->close());
  EXPECT_EQ(host.questions.size(), 3u);
}

TEST_F(GuiTest, CopyCutAndPasteWorkOnTheShownImage) {
  AddFrames({"a.bmp", "b.bmp", "c.bmp"}, 2);
  frame->view()->SyncImage();
  frame->Execute(ID_EDIT_COPY);
  ASSERT_TRUE(host.clipboard.has_value());
  EXPECT_EQ(host.clipboard->bitmap.width, 40);
  EXPECT_EQ(FrameNames().size(), 3u);

  host.clipboard.reset();
  frame->Execute(ID_EDIT_CUT);
  ASSERT_TRUE(host.clipboard.has_value());
  EXPECT_EQ(FrameNames(), (Names{"a.bmp", "c.bmp"}));

  // Pasted below the current row, saved as the first free "Image%d.bmp".
  MakeFolders(dir.file("Images"));
  WriteImage(dir, "Images/Image0.bmp", 4, 4);
  host.clipboard->bitmap = Bitmap(7, 5, 0x00FF00);
  frame->doc().frames.SetCurrentCell(1, 0);
  frame->Execute(ID_EDIT_PASTE);
  EXPECT_EQ(FrameNames(), (Names{"a.bmp", "Image1.bmp", "c.bmp"}));
  EXPECT_TRUE(FileExists(dir.file("Images/Image1.bmp")));
  EXPECT_EQ(frame->doc().frames.CurrentRow(), 2);
}

TEST_F(GuiTest, FpsArrowsStayInRangeWhileTypingIsFree) {
  CUpDownEdit* fps = frame->panel()->fpsEdit();
  frame->panel()->setFpsText("500");
  fps->step(+1);
  EXPECT_EQ(frame->panel()->fpsText(), "500");
  frame->panel()->setFpsText("1");
  fps->step(-1);
  EXPECT_EQ(frame->panel()->fpsText(), "1");
  frame->panel()->setFpsText("900");  // typed: kept as it is
  EXPECT_EQ(frame->doc().ReadFpsFromPanel(), 900);
  fps->step(-1);
  EXPECT_EQ(frame->panel()->fpsText(), "500");
}

TEST_F(GuiTest, DepthButtonsShowTwentyFourForOddValues) {
  frame->doc().nBpp = 12;
  frame->doc().UpdatePanel();
  EXPECT_TRUE(frame->panel()->depthButton(24)->isChecked());
  EXPECT_EQ(frame->doc().nBpp, 12);
  frame->panel()->depthButton(16)->click();
  EXPECT_EQ(frame->doc().nBpp, 16);
}

TEST_F(GuiTest, FrameImagesTogglesTheCheckAndTheSetting) {
  ASSERT_EQ(frame->viewSettings().bFrameImages, 1);
  frame->Execute(ID_FRAME_IMAGES);
  EXPECT_FALSE(frame->action(ID_FRAME_IMAGES)->isChecked());
  int16_t stored = -1;
  ASSERT_TRUE(frame->doc().settings().ReadInt("General", "FrameImages", stored));
  EXPECT_EQ(stored, 0);
  frame->Execute(ID_FRAME_IMAGES);
  EXPECT_TRUE(frame->action(ID_FRAME_IMAGES)->isChecked());
}

// The view draws the image unscaled in the middle, with the etched frame around it.
TEST_F(GuiTest, ViewCentresTheImageInsideAnEtchedFrame) {
  QStringList one;
  one << QString::fromStdString(WriteImage(dir, "small.bmp", 100, 50, Rgb(0, 0, 255)));
  frame->AddImageFiles(one);
  frame->doc().frames.SetCurrentCell(1, 0);
  frame->doc().bUseLogo = 0;
  CTorvexerView view(frame->doc(), frame->viewSettings());
  view.resize(300, 200);
  const QImage shot = view.grab().toImage();
  ASSERT_EQ(shot.size(), QSize(300, 200));
  EXPECT_EQ(shot.pixelColor(100, 75), QColor(0, 0, 255));
  EXPECT_EQ(shot.pixelColor(199, 124), QColor(0, 0, 255));
  EXPECT_EQ(shot.pixelColor(98, 73), QColor(128, 128, 128));
  EXPECT_EQ(shot.pixelColor(200, 125), QColor(128, 128, 128));
  EXPECT_EQ(shot.pixelColor(201, 126), QColor(255, 255, 255));
  EXPECT_EQ(shot.pixelColor(99, 126), QColor(255, 255, 255));
  EXPECT_EQ(shot.pixelColor(10, 10), QColor(192, 192, 192));
  EXPECT_EQ(CTorvexerView::ImageOrigin(QSize(80, 60), QSize(100, 50)), QPoint(0, 5));
}

}  // namespace
}  // namespace zr::test
