// The desktop program's Host: message boxes, questions, the status bar's message pane
// (painted at once, since long operations keep the event loop from running), a progress
// bar in the status bar, the wait cursor and the clipboard. During long work it keeps
// the windows alive and answers CancelRequested from the work's Cancel button.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

#include "platform/host.h"

class QProgressBar;
class QStatusBar;

namespace zr {

class CWorkProgressDlg;

class QtHost : public Host {
 public:
  QtHost() = default;
  ~QtHost() override;

  // The window that owns the boxes and whose status bar shows texts and progress.
  void Attach(QWidget* window, QStatusBar* statusBar);

  void Message(const std::string& text, const std::string& caption = {},
               MessageKind kind = MessageKind::Error) override;
  void MessageWithDetails(const std::string& text, const std::string& details,
                          const std::string& caption = {},
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
  bool CancelRequested() override;

  // Long work (see LongWork): until EndWork, every notification processes events, texts
  // and progress also go to `dialog` (may be null), and the cancel flag starts cleared.
  void BeginWork(CWorkProgressDlg* dialog);
  void EndWork();
  void RequestCancel() { cancel_ = true; }
  bool working() const { return working_; }

 private:
  // Processes pending events during long work, at most every few milliseconds unless
  // `now`: enough for repaints and a Cancel click, cheap for a frame loop.
  void KeepAlive(bool now);
  QString Caption(const std::string& caption) const;
  QPointer<QWidget> window_;
  QPointer<QStatusBar> statusBar_;
  QPointer<QProgressBar> progress_;
  int64_t progressTotal_ = 0;
  int lastPermille_ = -1;
  int waitDepth_ = 0;
  bool working_ = false;
  bool cancel_ = false;
  QPointer<CWorkProgressDlg> workDialog_;
  QElapsedTimer sinceEvents_;
};

// Screen bitmaps <-> Qt images (opaque 32-bit).
QImage ImageFromBitmap(const Bitmap& bitmap);
Bitmap BitmapFromImage(const QImage& image);

}  // namespace zr
