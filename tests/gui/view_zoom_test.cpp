// The view's zoom: fit only shrinks, the fixed scales stay from frame to frame, and the
// commands need a picture.
#include <QAction>
#include <QScrollBar>

#include "gui/commands.h"
#include "gui/view.h"
#include "gui_support.h"

namespace zr::test {
namespace {

TEST_F(GuiTest, ZoomCommandsScaleTheViewAndNeedAPicture) {
  for (int id : {ID_VIEW_ZOOM_FIT, ID_VIEW_ACTUAL_SIZE, ID_VIEW_ZOOM_IN, ID_VIEW_ZOOM_OUT})
    EXPECT_FALSE(Enabled(id)) << id;

  QStringList paths{QString::fromStdString(WriteImage(dir, "big.bmp", 400, 300)),
                    QString::fromStdString(WriteImage(dir, "small.bmp", 40, 30))};
  frame->AddImageFiles(paths);
  frame->doc().frames.SetCurrentCell(1, 0);  // big.bmp
  CTorvexerView* view = frame->view();
  view->resize(204, 154);
  view->SyncImage();
  frame->UpdateCommandUI();
  EXPECT_TRUE(Enabled(ID_VIEW_ZOOM_IN));

  EXPECT_TRUE(view->fitting());
  EXPECT_DOUBLE_EQ(view->scale(), 0.5);
  EXPECT_EQ(view->imageRect(), QRect(2, 2, 200, 150));

  frame->Execute(ID_VIEW_ACTUAL_SIZE);
  EXPECT_DOUBLE_EQ(view->scale(), 1.0);
  EXPECT_FALSE(view->horizontalBar()->isHidden());
  EXPECT_FALSE(view->verticalBar()->isHidden());
  frame->Execute(ID_VIEW_ZOOM_IN);
  EXPECT_DOUBLE_EQ(view->scale(), 1.25);
  frame->Execute(ID_VIEW_ZOOM_OUT);
  frame->Execute(ID_VIEW_ZOOM_OUT);
  EXPECT_DOUBLE_EQ(view->scale(), 0.75);

  // Another frame keeps the fixed scale; fit never enlarges a small picture.
  frame->doc().frames.SetCurrentCell(2, 0);
  view->SyncImage();
  EXPECT_DOUBLE_EQ(view->scale(), 0.75);
  EXPECT_EQ(view->imageRect().size(), QSize(30, 23));
  frame->Execute(ID_VIEW_ZOOM_FIT);
  EXPECT_DOUBLE_EQ(view->scale(), 1.0);
  EXPECT_TRUE(view->horizontalBar()->isHidden());
}

}  // namespace
}  // namespace zr::test
