// The desktop theme reaches the window: its icons where it has them (our drawn ones
// elsewhere), and the palette's colours in the frame list.
#include <cstdlib>

#include <QAction>
#include <QDir>
#include <QIcon>
#include <QImage>
#include <QPalette>

#include "gui/commands.h"
#include "gui/frame_panel.h"
#include "gui/icons.h"
#include "gui_support.h"
#include "ui/grid_ctrl.h"

namespace zr::test {
namespace {

// A one-icon theme of our own: Xvfb without a desktop resolves no theme at all.
class IconThemeTest : public GuiTest {
 protected:
  void SetUp() override {
    oldPaths_ = QIcon::themeSearchPaths();
    oldFallback_ = QIcon::fallbackSearchPaths();
    oldName_ = QIcon::themeName();
    const QString root = QString::fromStdString(themes.path());
    QDir().mkpath(root + "/zrtest/16x16/actions");
    ASSERT_TRUE(WriteBytes(themes.file("zrtest/index.theme"),
                           "[Icon Theme]\nName=zrtest\nDirectories=16x16/actions\n\n"
                           "[16x16/actions]\nSize=16\nType=Fixed\n"));
    QImage magenta(16, 16, QImage::Format_ARGB32);
    magenta.fill(QColor(255, 0, 255));
    ASSERT_TRUE(magenta.save(root + "/zrtest/16x16/actions/document-new.png"));
    QIcon::setThemeSearchPaths({root});
    QIcon::setFallbackSearchPaths({});
    QIcon::setThemeName(QStringLiteral("zrtest"));
    GuiTest::SetUp();
  }
  void TearDown() override {
    GuiTest::TearDown();
    QIcon::setThemeName(oldName_);
    QIcon::setThemeSearchPaths(oldPaths_);
    QIcon::setFallbackSearchPaths(oldFallback_);
  }
  static QImage Pixels(const QIcon& icon) { return icon.pixmap(QSize(16, 15)).toImage().convertToFormat(QImage::Format_ARGB32); }

  TempDir themes;
  QStringList oldPaths_, oldFallback_;
  QString oldName_;
};

TEST_F(IconThemeTest, ThemeIconsAreUsedAndOurDrawnOnesFillTheGaps) {
  const QImage themed = Pixels(frame->action(ID_FILE_NEW)->icon());
  ASSERT_FALSE(themed.isNull());
  EXPECT_EQ(themed.pixelColor(8, 7), QColor(255, 0, 255));
  // The theme has no "edit-undo": the drawn arrow stands in.
  const QImage undo = Pixels(frame->action(ID_EDIT_UNDO)->icon());
  EXPECT_EQ(undo, Pixels(DrawnCommandIcon(CommandIcon::Undo)));
  EXPECT_NE(undo.pixelColor(8, 7), QColor(255, 0, 255));
}

TEST_F(GuiTest, TheFrameListDrawsWithTheDarkPalettesBaseAndText) {
  frame->ShowThumbnails(false);
  AddFrames({"a.bmp", "b.bmp"});
  frame->doc().frames.ClearCurrent();
  CGridCtrl* grid = frame->panel()->grid();
  grid->clearSelection();
  QPalette dark = grid->palette();
  const QColor base(30, 30, 32), text(235, 235, 120);
  dark.setColor(QPalette::Base, base);
  dark.setColor(QPalette::Text, text);
  grid->setPalette(dark);
  grid->resize(240, 200);
  const QImage shot = grid->viewport()->grab().toImage();
  ASSERT_FALSE(shot.isNull());
  // Below the two rows: only the background.
  EXPECT_EQ(shot.pixelColor(shot.width() / 2, shot.height() - 4), base);
  // The names are written in the palette's text colour (smoothed at the edges).
  auto near = [](QColor a, QColor b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) < 60;
  };
  int textPixels = 0;
  for (int y = 0; y < grid->rowHeight(0) * 2; ++y)
    for (int x = 0; x < grid->columnWidth(0); ++x)
      if (near(shot.pixelColor(x, y), text)) ++textPixels;
  EXPECT_GT(textPixels, 10);
}

}  // namespace
}  // namespace zr::test
