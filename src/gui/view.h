// The view: the current frame's image, unscaled and centred on the screen colour, with
// the logo stamped and an etched frame around it when "Frame Images" is on.
#pragma once

#include <functional>
#include <string>

#include <QImage>
#include <QWidget>

#include "app/startup.h"
#include "image/cbmp.h"

namespace zr {

class CTorvexerDoc;

class CTorvexerView : public QWidget {
  Q_OBJECT

 public:
  CTorvexerView(CTorvexerDoc& doc, ViewSettings& settings, QWidget* parent = nullptr);

  // Runs once, before the first drawing (the first paint's start-up).
  void SetFirstPaintHook(std::function<void()> hook) { firstPaint_ = std::move(hook); }
  bool started() const { return started_; }
  // Runs the first-paint hook now if it has not run yet.
  void EnsureStarted();

  CBmp& bmpCurrent() { return bmpCurrent_; }
  const std::string& currentPath() const { return sCurrentPath_; }
  // Forgets the loaded path so the next drawing reloads (and re-stamps) the image.
  void ForgetCurrentPath() { sCurrentPath_.clear(); }
  void ClearImage();
  // Loads the current frame's image when its path changed since the last drawing.
  void SyncImage();

  // Where the image lands: centred, or at 0 on an axis where it is larger than the view.
  static QPoint ImageOrigin(QSize client, QSize image);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  CTorvexerDoc& doc_;
  ViewSettings& settings_;
  CBmp bmpCurrent_;
  std::string sCurrentPath_;
  QImage shown_;  // bmpCurrent as a Qt image, rebuilt when the bitmap changes
  std::function<void()> firstPaint_;
  bool started_ = false;
};

}  // namespace zr
