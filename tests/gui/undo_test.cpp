// Undo and redo of every project change: each step puts back the exact project (the bytes
// a save would write) and the unsaved-changes mark follows the history.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QUndoStack>

#include "app/archive.h"
#include "gui/commands.h"
#include "gui/frame_panel.h"
#include "gui/project_undo.h"
#include "gui/view.h"
#include "gui_support.h"
#include "platform/paths.h"
#include "ui/grid_ctrl.h"
#include "ui/updown_edit.h"

namespace zr::test {
namespace {

class UndoTest : public GuiTest {
 protected:
  std::string ProjectBytes() {
    Archive ar;
    frame->doc().Serialize(ar);
    return ar.bytes();
  }
  QStringList Images(std::initializer_list<std::string> names, const std::string& folder = {}) {
    if (!folder.empty()) MakeFolders(dir.file(folder));
    QStringList paths;
    for (const std::string& n : names)
      paths << QString::fromStdString(WriteImage(dir, folder.empty() ? n : folder + "/" + n, 8, 6));
    return paths;
  }
  QUndoStack& history() { return frame->undo().stack(); }
  // Runs `change`, then checks that one undo step named `name` gives the bytes back and
  // a redo gives the changed bytes again.
  void ExpectUndoable(const QString& name, const std::function<void()>& change) {
    SCOPED_TRACE(name.toStdString());
    const std::string before = ProjectBytes();
    const int steps = history().count();
    change();
    frame->UpdateCommandUI();
    const std::string after = ProjectBytes();
    ASSERT_NE(after, before);
    EXPECT_EQ(history().count(), steps + 1);
    EXPECT_EQ(frame->action(ID_EDIT_UNDO)->text(), "&Undo " + name);
    frame->Execute(ID_EDIT_UNDO);
    EXPECT_EQ(ProjectBytes(), before);
    EXPECT_EQ(frame->action(ID_EDIT_REDO)->text(), "&Redo " + name);
    frame->Execute(ID_EDIT_REDO);
    EXPECT_EQ(ProjectBytes(), after);
  }
};

TEST_F(UndoTest, EveryChangeOfTheProjectIsOneStepThatRestoresItExactly) {
  CFramePanel* panel = frame->panel();
  CGridCtrl* grid = panel->grid();
  ExpectUndoable("Add Images", [&] { frame->AddImageFiles(Images({"a.bmp", "b.bmp", "c.bmp", "d.bmp"})); });
  frame->doc().frames.SetCurrentCell(3, 0);
  ExpectUndoable("Move Frame", [&] { emit panel->moveUp(); });
  ExpectUndoable("Move Frame", [&] { emit panel->moveLast(); });
  ExpectUndoable("Move Frame", [&] { emit grid->rowDragged(0, 2); });
  ExpectUndoable("Drop Images", [&] { emit grid->filesDropped(Images({"y.bmp", "x.bmp"}), 1); });
  frame->doc().frames.SetCurrentCell(2, 0);
  ExpectUndoable("Delete Frame", [&] { emit panel->deleteFrame(); });
  ExpectUndoable("Change Frame Count", [&] {
    QLineEdit editor;
    editor.setText("12");
    grid->itemDelegate()->setModelData(&editor, grid->model(), grid->model()->index(1, FrameList::kFramesColumn));
  });
  ExpectUndoable("Change Color Depth", [&] { panel->depthButton(8)->click(); });
  EXPECT_TRUE(panel->depthButton(24)->isChecked() == false);
  const std::string wav = dir.file("s.wav");
  ASSERT_TRUE(WriteBytes(wav, "x"));
  ExpectUndoable("Attach Sound", [&] {
    frame->doc().AttachSound(wav);
    frame->RecordChange("Attach Sound");
  });
  ExpectUndoable("Detach Sound", [&] { panel->soundBox()->click(); });

  // All the way back is the empty project again; all the way forward, the last state.
  const std::string last = ProjectBytes();
  while (history().canUndo()) frame->Execute(ID_EDIT_UNDO);
  EXPECT_TRUE(FrameNames().empty());
  EXPECT_FALSE(frame->action(ID_EDIT_UNDO)->isEnabled());
  EXPECT_EQ(frame->action(ID_EDIT_UNDO)->text(), "&Undo");
  while (history().canRedo()) frame->Execute(ID_EDIT_REDO);
  EXPECT_EQ(ProjectBytes(), last);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(UndoTest, TypingAFrameRateIsOneStepAndTypingItBackLeavesNone) {
  AddFrames({"a.bmp"});
  const int steps = history().count();
  const std::string before = ProjectBytes();
  QLineEdit* fps = frame->panel()->fpsEdit()->edit();
  fps->selectAll();
  for (const char* text : {"2", "25"}) {
    fps->setText(text);
    emit fps->textEdited(fps->text());
  }
  frame->panel()->fpsEdit()->step(+1);
  EXPECT_EQ(frame->panel()->fpsText(), "26");
  EXPECT_EQ(history().count(), steps + 1);
  frame->Execute(ID_EDIT_UNDO);
  EXPECT_EQ(frame->panel()->fpsText(), "10");
  EXPECT_EQ(ProjectBytes(), before);

  frame->Execute(ID_EDIT_REDO);
  frame->panel()->fpsEdit()->step(+1);  // a new step, merged with the last one
  fps->setText("10");
  emit fps->textEdited(fps->text());
  EXPECT_EQ(history().count(), steps);
}

TEST_F(UndoTest, UndoingAnImportPutsBackThePathsItReplaced) {
  frame->AddImageFiles(Images({"a.bmp", "b.bmp"}, "one"));
  ASSERT_TRUE(frame->doc().OnSaveDocument(dir.file("p.tvf")));
  const std::string saved = ProjectBytes();
  // Same names from another folder point the existing rows elsewhere too.
  frame->AddImageFiles(Images({"a.bmp"}, "two"));
  ASSERT_EQ(frame->doc().GetImagePath("a.bmp"), dir.file("two/a.bmp"));
  EXPECT_TRUE(frame->doc().IsModified());
  frame->Execute(ID_EDIT_UNDO);
  EXPECT_EQ(frame->doc().GetImagePath("a.bmp"), dir.file("one/a.bmp"));
  EXPECT_EQ(ProjectBytes(), saved);
  EXPECT_FALSE(frame->doc().IsModified());
}

TEST_F(UndoTest, UndoingAPasteKeepsItsPictureFile) {
  AddFrames({"a.bmp"});
  host.clipboard = ClipboardImage{};
  host.clipboard->bitmap = Bitmap(7, 5, 0x00FF00);
  const std::string before = ProjectBytes();
  frame->Execute(ID_EDIT_PASTE);
  ASSERT_EQ(FrameNames().size(), 2u);
  const std::string pasted = dir.file("Images/" + FrameNames()[1]);
  ASSERT_TRUE(FileExists(pasted));
  EXPECT_EQ(frame->action(ID_EDIT_UNDO)->text(), "&Undo Paste Frame");
  frame->Execute(ID_EDIT_UNDO);
  EXPECT_EQ(ProjectBytes(), before);
  EXPECT_TRUE(FileExists(pasted));
  frame->Execute(ID_EDIT_REDO);
  EXPECT_EQ(FrameNames()[1], PathFileName(pasted));

  frame->view()->SyncImage();
  frame->doc().frames.SetCurrentCell(1, 0);
  frame->view()->SyncImage();
  ExpectUndoable("Cut Frame", [&] { frame->Execute(ID_EDIT_CUT); });
}

TEST_F(UndoTest, TheModifiedMarkFollowsTheSavedPlaceInTheHistory) {
  AddFrames({"a.bmp", "b.bmp"});
  EXPECT_TRUE(frame->doc().IsModified());
  ASSERT_TRUE(frame->doc().OnSaveDocument(dir.file("p.tvf")));
  EXPECT_FALSE(frame->doc().IsModified());

  emit frame->panel()->moveDown();
  frame->doc().frames.SetCurrentCell(1, 0);
  emit frame->panel()->moveDown();
  EXPECT_TRUE(frame->doc().IsModified());
  frame->Execute(ID_EDIT_UNDO);
  EXPECT_TRUE(frame->doc().IsModified());
  frame->Execute(ID_EDIT_UNDO);
  EXPECT_FALSE(frame->doc().IsModified());
  EXPECT_FALSE(frame->isWindowModified());
  // Back at the saved state nothing is asked before New.
  frame->Execute(ID_FILE_NEW);
  EXPECT_TRUE(host.questions.empty());

  // Before the saved state counts as changed, and New clears the history.
  AddFrames({"c.bmp"});
  frame->doc().SetModifiedFlag(false);
  frame->Execute(ID_EDIT_UNDO);
  EXPECT_TRUE(frame->doc().IsModified());
  host.answers = {Answer::No};
  frame->Execute(ID_FILE_NEW);
  EXPECT_EQ(host.questions.size(), 1u);
  EXPECT_FALSE(history().canUndo());
  EXPECT_FALSE(history().canRedo());
  EXPECT_FALSE(frame->doc().IsModified());
}

TEST_F(UndoTest, OpeningAProjectClearsTheHistory) {
  AddFrames({"a.bmp"});
  ASSERT_TRUE(frame->doc().OnSaveDocument(dir.file("p.tvf")));
  AddFrames({"b.bmp"});
  host.answers = {Answer::No};
  ASSERT_TRUE(frame->OpenDocumentFile(QString::fromStdString(dir.file("p.tvf"))));
  EXPECT_FALSE(history().canUndo());
  EXPECT_FALSE(frame->doc().IsModified());
  EXPECT_EQ(FrameNames(), (std::vector<std::string>{"a.bmp"}));
}

}  // namespace
}  // namespace zr::test
