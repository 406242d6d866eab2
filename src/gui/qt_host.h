// The desktop program's Host: message boxes, questions, the status bar's message pane
// (painted at once, since long operations keep the event loop from running), a progress
// bar in the status bar, the wait cursor and the clipboard.
#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/host.h"

class QProgressBar;
class QStatusBar;

namespace zr {

class QtHost : public Host {
 public:
  QtHost() = default;
  ~QtHost() override;

  // The window that owns the boxes and whose status bar shows texts and progress.
  void Attach(QWidget* window, QStatusBar* statusBar);

  void Message(const std::string& text, const std::string& caption = {},
               MessageKind kind = MessageKind::Error) override;
  Answer AskYesNoCancel(const std::string& text, const std::string& caption = {}) override;
  bool AskYesNo(const std::string& text, const std::string& caption = {}) override;
  void SetStatusText(const std::string& text) override;
  void BeginProgress(const std::string& title, int64_t total) override;
  void UpdateProgress(int64_t done) override;
  void EndProgress() override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;
  bool SetClipboardImage(const ClipboardImage& image) override;
  std::optional<ClipboardImage> GetClipboardImage() override;
  std::optional<ImageSizeAnswer> AskImageSize(const ImageSizeQuestion& question) override;
  bool EditCompressOptions(AVICOMPRESSOPTIONS& options) override;
  std::string ChooseAviPath(bool save, bool wave, const std::string& startFolder) override;

 private:
  QString Caption(const std::string& caption) const;
  QPointer<QWidget> window_;
  QPointer<QStatusBar> statusBar_;
  QPointer<QProgressBar> progress_;
  int64_t progressTotal_ = 0;
  int lastPermille_ = -1;
  int waitDepth_ = 0;
};

// Screen bitmaps <-> Qt images (opaque 32-bit).
QImage ImageFromBitmap(const Bitmap& bitmap);
Bitmap BitmapFromImage(const QImage& image);

}  // namespace zr
