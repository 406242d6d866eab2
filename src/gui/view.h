// The view: the current frame's image, centred on the screen colour and scaled by the
// zoom (fit shrinks large images; a fixed scale shows scroll bars when needed), with the
// logo stamped and an etched frame just outside it when "Frame Images" is on.
#pragma once

#include <functional>
#include <string>

#include <QImage>
#include <QWidget>

class QScrollBar;

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
  // Why the current image or the logo did not load; shown only as the view's tool tip,
  // since a frame that cannot be shown is no error of its own.
  const std::string& loadFailure() const { return loadFailure_; }

  // Where the image lands: centred, or at 0 on an axis where it is larger than the view.
  static QPoint ImageOrigin(QSize client, QSize image);

  // Zoom. Fit (the default) shrinks an image larger than the view and never enlarges;
  // the other commands fix a scale that stays from frame to frame.
  void ZoomToFit();
  void ZoomActualSize();
  void ZoomIn();
  void ZoomOut();
  bool fitting() const { return fit_; }
  // The scale the shown image is drawn at (1 = actual size).
  double scale() const;
  // Where the scaled image is drawn, in view coordinates (empty without an image).
  QRect imageRect() const;
  QScrollBar* horizontalBar() const { return hBar_; }
  QScrollBar* verticalBar() const { return vBar_; }

 signals:
  void zoomChanged();
  // bmpCurrent was loaded, cleared or changed its size.
  void imageChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  CTorvexerDoc& doc_;
  ViewSettings& settings_;
  CBmp bmpCurrent_;
  std::string sCurrentPath_;
  std::string loadFailure_;
  QImage shown_;  // bmpCurrent as a Qt image, rebuilt when the bitmap changes
  std::function<void()> firstPaint_;
  bool started_ = false;
  bool fit_ = true;
  double fixedScale_ = 1.0;
  QScrollBar* hBar_ = nullptr;
  QScrollBar* vBar_ = nullptr;

  void SetFixedScale(double scale);
  // Shows the scroll bars the scaled image needs and sets their ranges.
  void LayoutBars();
  QSize ScaledSize(double scale) const;
};

}  // namespace zr
