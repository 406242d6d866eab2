#include "gui/view.h"

#include <algorithm>
#include <cmath>

#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>

#include "app/document.h"
#include "gui/qt_host.h"
#include "image/image_dispatch.h"

namespace zr {

namespace {

// The zoom steps, as image viewers offer them: each about 1.25 to 2 times the last.
constexpr double kZoomSteps[] = {0.05, 0.1, 0.125, 0.167, 0.25, 0.333, 0.5, 0.667, 0.75, 1.0,
                                 1.25, 1.5, 2.0,  3.0,   4.0,  6.0,   8.0, 12.0,  16.0};

}  // namespace

CTorvexerView::CTorvexerView(CTorvexerDoc& doc, ViewSettings& settings, QWidget* parent)
    : QWidget(parent), doc_(doc), settings_(settings) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(120, 90);
  setFocusPolicy(Qt::StrongFocus);
  hBar_ = new QScrollBar(Qt::Horizontal, this);
  vBar_ = new QScrollBar(Qt::Vertical, this);
  hBar_->hide();
  vBar_->hide();
  connect(hBar_, &QScrollBar::valueChanged, this, qOverload<>(&QWidget::update));
  connect(vBar_, &QScrollBar::valueChanged, this, qOverload<>(&QWidget::update));
}

void CTorvexerView::EnsureStarted() {
  if (started_) return;
  started_ = true;  // set first: the start-up may paint
  if (firstPaint_) firstPaint_();
}

void CTorvexerView::ClearImage() {
  bmpCurrent_.Clear();
  sCurrentPath_.clear();
  loadFailure_.clear();
  setToolTip({});
  shown_ = QImage();
  LayoutBars();
  emit imageChanged();
}

void CTorvexerView::SyncImage() {
  std::string path = doc_.GetCurrentImagePath();
  if (path.empty() || path == sCurrentPath_) return;
  ImageFailure failure;
  loadFailure_.clear();
  if (!bmpCurrent_.Load(path, &failure)) loadFailure_ = path + ": " + failure.detail;
  bmpCurrent_.SetTransparent(false);
  sCurrentPath_ = path;
  const std::string& logo = doc_.logoFailure();
  if (!logo.empty()) loadFailure_ += (loadFailure_.empty() ? "" : "\n") + logo;
  setToolTip(QString::fromStdString(loadFailure_));
  // Stamped once per load: stamping again would give the same pixels.
  if (!bmpCurrent_.empty()) doc_.ApplyLogo(bmpCurrent_);
  shown_ = ImageFromBitmap(bmpCurrent_.bitmap());
  LayoutBars();
  emit imageChanged();
}

QPoint CTorvexerView::ImageOrigin(QSize client, QSize image) {
  int x = client.width() - image.width();
  int y = client.height() - image.height();
  return QPoint(x > 0 ? x / 2 : 0, y > 0 ? y / 2 : 0);
}

double CTorvexerView::scale() const {
  if (!fit_) return fixedScale_;
  if (shown_.isNull()) return 1.0;
  // Two pixels kept for the etched frame.
  const double sx = double(std::max(1, width() - 4)) / shown_.width();
  const double sy = double(std::max(1, height() - 4)) / shown_.height();
  return std::min({1.0, sx, sy});
}

QSize CTorvexerView::ScaledSize(double s) const {
  if (shown_.isNull()) return {};
  return QSize(std::max(1, int(std::lround(shown_.width() * s))),
               std::max(1, int(std::lround(shown_.height() * s))));
}

void CTorvexerView::ZoomToFit() {
  fit_ = true;
  LayoutBars();
  update();
  emit zoomChanged();
}

void CTorvexerView::ZoomActualSize() { SetFixedScale(1.0); }

void CTorvexerView::ZoomIn() {
  const double now = scale();
  for (double step : kZoomSteps)
    if (step > now * 1.001) return SetFixedScale(step);
}

void CTorvexerView::ZoomOut() {
  const double now = scale();
  for (auto it = std::rbegin(kZoomSteps); it != std::rend(kZoomSteps); ++it)
    if (*it < now * 0.999) return SetFixedScale(*it);
}

void CTorvexerView::SetFixedScale(double s) {
  // Keep the point in the middle of the view where it was.
  const QRect before = imageRect();
  const QPointF middle(width() / 2.0, height() / 2.0);
  const QPointF relative = before.isEmpty() ? QPointF(0.5, 0.5)
                                            : QPointF((middle.x() - before.x()) / before.width(),
                                                      (middle.y() - before.y()) / before.height());
  fit_ = false;
  fixedScale_ = s;
  LayoutBars();
  const QSize size = ScaledSize(s);
  hBar_->setValue(int(relative.x() * size.width() - hBar_->pageStep() / 2.0));
  vBar_->setValue(int(relative.y() * size.height() - vBar_->pageStep() / 2.0));
  update();
  emit zoomChanged();
}

void CTorvexerView::LayoutBars() {
  const QSize image = fit_ ? QSize() : ScaledSize(fixedScale_);
  const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  bool needH = image.width() > width(), needV = image.height() > height();
  // A bar takes room from the other axis.
  if (needH && !needV) needV = image.height() > height() - extent;
  if (needV && !needH) needH = image.width() > width() - extent;
  const int areaW = width() - (needV ? extent : 0), areaH = height() - (needH ? extent : 0);
  hBar_->setVisible(needH);
  vBar_->setVisible(needV);
  hBar_->setGeometry(0, height() - extent, areaW, extent);
  vBar_->setGeometry(width() - extent, 0, extent, areaH);
  hBar_->setPageStep(std::max(1, areaW));
  vBar_->setPageStep(std::max(1, areaH));
  hBar_->setSingleStep(20);
  vBar_->setSingleStep(20);
  hBar_->setRange(0, needH ? image.width() - areaW : 0);
  vBar_->setRange(0, needV ? image.height() - areaH : 0);
}

QRect CTorvexerView::imageRect() const {
  if (shown_.isNull() || bmpCurrent_.empty()) return {};
  const QSize size = ScaledSize(scale());
  const QSize area(width() - (!vBar_->isHidden() ? vBar_->width() : 0),
                   height() - (!hBar_->isHidden() ? hBar_->height() : 0));
  QPoint at = ImageOrigin(area, size);
  if (!hBar_->isHidden()) at.setX(-hBar_->value());
  if (!vBar_->isHidden()) at.setY(-vBar_->value());
  return QRect(at, size);
}

void CTorvexerView::resizeEvent(QResizeEvent*) { LayoutBars(); }

void CTorvexerView::wheelEvent(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  if (event->modifiers() & Qt::ControlModifier) {
    if (!bmpCurrent_.empty() && delta != 0) delta > 0 ? ZoomIn() : ZoomOut();
    event->accept();
    return;
  }
  QScrollBar* bar = (event->modifiers() & Qt::ShiftModifier) ? hBar_ : vBar_;
  if (bar->isHidden()) return event->ignore();
  bar->setValue(bar->value() - delta);
  event->accept();
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
  if (shown_.width() != b.width || shown_.height() != b.height) {
    shown_ = ImageFromBitmap(b);
    LayoutBars();
    emit imageChanged();
  }
  const QRect target = imageRect();
  painter.setRenderHint(QPainter::SmoothPixmapTransform, scale() != 1.0);
  painter.drawImage(target, shown_);
  if (settings_.bFrameImages) {
    const int x = target.x(), y = target.y(), w = target.width(), h = target.height();
    // An etched frame: white outline, then grey outline one pixel up and left of it.
    painter.setPen(Qt::white);
    painter.drawRect(QRect(x - 1, y - 1, w + 2, h + 2));  // covers x-1 .. x+w+1
    painter.setPen(QColor(128, 128, 128));
    painter.drawRect(QRect(x - 2, y - 2, w + 2, h + 2));  // covers x-2 .. x+w
  }
}

}  // namespace zr
