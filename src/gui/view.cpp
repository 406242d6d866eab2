#include "gui/view.h"

#include <QPainter>

#include "app/document.h"
#include "gui/qt_host.h"

namespace zr {

CTorvexerView::CTorvexerView(CTorvexerDoc& doc, ViewSettings& settings, QWidget* parent)
    : QWidget(parent), doc_(doc), settings_(settings) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(120, 90);
  setFocusPolicy(Qt::StrongFocus);
}

void CTorvexerView::EnsureStarted() {
  if (started_) return;
  started_ = true;  // set first: the start-up may paint
  if (firstPaint_) firstPaint_();
}

void CTorvexerView::ClearImage() {
  bmpCurrent_.Clear();
  sCurrentPath_.clear();
  shown_ = QImage();
}

void CTorvexerView::SyncImage() {
  std::string path = doc_.GetCurrentImagePath();
  if (path.empty() || path == sCurrentPath_) return;
  bmpCurrent_.Load(path);
  bmpCurrent_.SetTransparent(false);
  sCurrentPath_ = path;
  // Stamped once per load: stamping again would give the same pixels.
  if (!bmpCurrent_.empty()) doc_.ApplyLogo(bmpCurrent_);
  shown_ = ImageFromBitmap(bmpCurrent_.bitmap());
}

QPoint CTorvexerView::ImageOrigin(QSize client, QSize image) {
  int x = client.width() - image.width();
  int y = client.height() - image.height();
  return QPoint(x > 0 ? x / 2 : 0, y > 0 ? y / 2 : 0);
}

void CTorvexerView::paintEvent(QPaintEvent*) {
  EnsureStarted();
  QPainter painter(this);
  ColorRef c = settings_.crScreen;
  painter.fillRect(rect(), QColor(GetR(c), GetG(c), GetB(c)));
  if (doc_.GetCurrentImagePath().empty()) return;
  SyncImage();
  if (bmpCurrent_.empty()) return;
  // The image may have been changed in place (paste); keep the Qt copy in step.
  const Bitmap& b = bmpCurrent_.bitmap();
  if (shown_.width() != b.width || shown_.height() != b.height) shown_ = ImageFromBitmap(b);
  QPoint at = ImageOrigin(size(), shown_.size());
  painter.drawImage(at, shown_);
  if (settings_.bFrameImages) {
    const int x = at.x(), y = at.y(), w = shown_.width(), h = shown_.height();
    // An etched frame: white outline, then grey outline one pixel up and left of it.
    painter.setPen(Qt::white);
    painter.drawRect(QRect(x - 1, y - 1, w + 2, h + 2));  // covers x-1 .. x+w+1
    painter.setPen(QColor(128, 128, 128));
    painter.drawRect(QRect(x - 2, y - 2, w + 2, h + 2));  // covers x-2 .. x+w
  }
}

}  // namespace zr
