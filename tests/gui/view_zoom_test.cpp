// The view's zoom: fit only shrinks, the fixed scales stay from frame to frame, and the
// commands need a picture. A picture or logo that cannot be loaded says why only in the
// view's tool tip.
#include <QAction>
#include <QScrollBar>

#include "app/document.h"
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

TEST_F(GuiTest, AnUnloadableFrameOrLogoGivesNoBoxButItsReasonInTheToolTip) {
  ASSERT_TRUE(WriteBytes(dir.file("junk.gif"), "GIF89a but nothing more"));
  ASSERT_TRUE(WriteBytes(dir.file("logo.tga"), "short"));
  QStringList paths{QString::fromStdString(dir.file("junk.gif")),
                    QString::fromStdString(WriteImage(dir, "good.bmp", 40, 30))};
  frame->AddImageFiles(paths);
  CTorvexerDoc& doc = frame->doc();
  doc.bUseLogo = 1;
  doc.bUseTransparent = 0;
  doc.sLogoFile = dir.file("logo.tga");
  doc.PrepareLogo();
  EXPECT_EQ(doc.logoFailure(),
            "Logo " + dir.file("logo.tga") + ": TGA: file too short for a TGA header (5 bytes)");

  CTorvexerView* view = frame->view();
  doc.frames.SetCurrentCell(2, 0);  // the import puts the larger file first
  view->SyncImage();
  EXPECT_TRUE(view->bmpCurrent().empty());
  const std::string tip = view->toolTip().toStdString();
  EXPECT_EQ(tip.rfind(dir.file("junk.gif") + ": GIF: ", 0), 0u) << tip;
  EXPECT_NE(tip.find("\nLogo " + dir.file("logo.tga") + ": TGA: "), std::string::npos) << tip;

  // A loadable frame keeps only the logo's reason; no logo, no tip.
  doc.frames.SetCurrentCell(1, 0);
  view->SyncImage();
  EXPECT_EQ(view->loadFailure(), doc.logoFailure());
  doc.bUseLogo = 0;
  doc.PrepareLogo();
  view->ForgetCurrentPath();
  view->SyncImage();
  EXPECT_TRUE(view->toolTip().isEmpty());
  EXPECT_TRUE(host.messages.empty()) << host.messages.front();
}

}  // namespace
}  // namespace zr::test
