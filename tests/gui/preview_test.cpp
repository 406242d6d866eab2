// The preview player: frames through the AVI layer, one window at a time, closed with the
// main window, and unplayable files reported in the window itself.
#include <QTest>

#include "gui/preview_window.h"
#include "gui_support.h"

namespace zr::test {
namespace {

std::string MakeAvi(const TempDir& dir, const std::string& name) {
  const std::string path = dir.file(name);
  EXPECT_EQ(RunCommand("ffmpeg -loglevel error -y -f lavfi -i testsrc=size=32x24:rate=5:duration=1 "
                       "-f lavfi -i sine=duration=1 -c:v mjpeg -c:a pcm_s16le -shortest " + path),
            0);
  return path;
}

TEST_F(GuiTest, PreviewShowsFramesAndOnlyTheLatestWindowStaysOpen) {
  const std::string first = MakeAvi(dir, "first.avi");
  const std::string second = MakeAvi(dir, "second.avi");
  frame->ShowAnimation(first);
  QPointer<CPreviewWindow> one = frame->previewWindow();
  ASSERT_TRUE(one);
  ASSERT_TRUE(one->playable()) << one->errorText().toStdString();
  EXPECT_EQ(one->frameCount(), 5);
  EXPECT_EQ(one->currentImage().size(), QSize(32, 24));
  one->Seek(3);
  EXPECT_EQ(one->position(), 3);
  EXPECT_TRUE(one->windowTitle().startsWith("first.avi"));
  EXPECT_TRUE(one->windowTitle().contains("4/5"));
  one->Play();
  EXPECT_EQ(one->mode(), CPreviewWindow::Mode::Playing);
  QTest::qWait(1600);  // runs to the end on its own clock
  EXPECT_EQ(one->mode(), CPreviewWindow::Mode::Stopped);
  EXPECT_EQ(one->position(), 4);

  frame->ShowAnimation(second);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(one);
  QPointer<CPreviewWindow> two = frame->previewWindow();
  ASSERT_TRUE(two);
  EXPECT_TRUE(two->isVisible());

  // The user closes it; the next preview opens normally.
  two->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(two);
  frame->ShowAnimation(first);
  QPointer<CPreviewWindow> three = frame->previewWindow();
  ASSERT_TRUE(three);
  frame->close();  // closing the program closes the preview first
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(three);
}

TEST_F(GuiTest, PreviewReportsAFileItCannotPlayInItsOwnWindow) {
  ASSERT_TRUE(WriteBytes(dir.file("broken.avi"), "RIFF...."));
  frame->ShowAnimation(dir.file("broken.avi"));
  CPreviewWindow* preview = frame->previewWindow();
  ASSERT_NE(preview, nullptr);
  EXPECT_FALSE(preview->playable());
  EXPECT_FALSE(preview->errorText().isEmpty());
  preview->Play();
  EXPECT_EQ(preview->mode(), CPreviewWindow::Mode::NotReady);
  EXPECT_TRUE(host.messages.empty());
}

}  // namespace
}  // namespace zr::test
