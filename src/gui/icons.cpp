#include "gui/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace zr {

namespace {

constexpr int kW = 16, kH = 15;

void Page(QPainter& p, int x, int y, int w, int h) {
  p.setPen(Qt::black);
  p.setBrush(Qt::white);
  p.drawRect(x, y, w, h);
}

void Film(QPainter& p, QRect r) {
  p.setPen(Qt::black);
  p.setBrush(QColor(40, 40, 40));
  p.drawRect(r);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  for (int x = r.left() + 1; x < r.right(); x += 3) {
    p.drawRect(x, r.top() + 1, 1, 1);
    p.drawRect(x, r.bottom() - 1, 1, 1);
  }
  p.setBrush(QColor(90, 160, 230));
  p.drawRect(r.left() + 2, r.top() + 3, r.width() - 4, r.height() - 6);
}

}  // namespace

QIcon CommandIconImage(CommandIcon icon) {
  if (icon == CommandIcon::None) return {};
  QPixmap pixmap(kW, kH);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  switch (icon) {
    case CommandIcon::New:
      Page(p, 3, 1, 9, 12);
      p.drawLine(9, 1, 12, 4);
      break;
    case CommandIcon::Open:
      p.setPen(Qt::black);
      p.setBrush(QColor(230, 200, 80));
      p.drawRect(1, 4, 12, 9);
      p.drawRect(1, 2, 5, 2);
      p.setBrush(QColor(250, 230, 130));
      p.drawPolygon(QPolygon({QPoint(3, 7), QPoint(15, 7), QPoint(13, 13), QPoint(1, 13)}));
      break;
    case CommandIcon::Save:
      p.setPen(Qt::black);
      p.setBrush(QColor(40, 60, 140));
      p.drawRect(1, 1, 13, 12);
      p.setBrush(Qt::white);
      p.drawRect(4, 1, 7, 5);
      p.setBrush(QColor(190, 190, 190));
      p.drawRect(4, 9, 7, 4);
      break;
    case CommandIcon::Import:
      Page(p, 1, 1, 10, 9);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(60, 150, 60));
      p.drawPolygon(QPolygon({QPoint(2, 9), QPoint(5, 5), QPoint(8, 9)}));
      p.setBrush(QColor(230, 180, 40));
      p.drawEllipse(7, 2, 3, 3);
      p.setPen(QPen(QColor(0, 120, 0), 2));
      p.drawLine(12, 8, 12, 14);
      p.drawLine(9, 11, 15, 11);
      break;
    case CommandIcon::Sound:
      p.setPen(QPen(Qt::black, 2));
      p.drawLine(6, 2, 6, 11);
      p.drawLine(6, 2, 12, 1);
      p.drawLine(12, 1, 12, 10);
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::black);
      p.drawEllipse(2, 9, 5, 4);
      p.drawEllipse(8, 8, 5, 4);
      break;
    case CommandIcon::CreateAvi:
      Film(p, QRect(0, 2, 12, 10));
      p.setPen(QPen(QColor(200, 0, 0), 2));
      p.drawLine(13, 3, 13, 9);
      p.drawLine(10, 6, 15, 6);
      break;
    case CommandIcon::ViewAnimation:
      Film(p, QRect(0, 2, 15, 10));
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::white);
      p.drawPolygon(QPolygon({QPoint(6, 4), QPoint(11, 7), QPoint(6, 10)}));
      break;
    case CommandIcon::Merge:
      Film(p, QRect(0, 1, 9, 7));
      p.setPen(QPen(Qt::black, 2));
      p.drawLine(12, 9, 12, 13);
      p.drawLine(12, 9, 15, 8);
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::black);
      p.drawEllipse(9, 11, 4, 3);
      break;
    case CommandIcon::Extract:
      Film(p, QRect(0, 1, 11, 8));
      Page(p, 8, 7, 6, 7);
      break;
    case CommandIcon::Cut:
      p.setPen(QPen(Qt::black, 1));
      p.drawLine(4, 1, 10, 9);
      p.drawLine(11, 1, 5, 9);
      p.setBrush(Qt::NoBrush);
      p.setPen(QPen(QColor(0, 0, 140), 2));
      p.drawEllipse(2, 9, 4, 4);
      p.drawEllipse(9, 9, 4, 4);
      break;
    case CommandIcon::Copy:
      Page(p, 1, 1, 8, 9);
      Page(p, 6, 4, 8, 10);
      break;
    case CommandIcon::Paste:
      p.setPen(Qt::black);
      p.setBrush(QColor(170, 120, 60));
      p.drawRect(1, 2, 10, 12);
      p.setBrush(QColor(190, 190, 190));
      p.drawRect(4, 1, 4, 2);
      Page(p, 7, 6, 7, 8);
      break;
    case CommandIcon::Help: {
      p.setRenderHint(QPainter::Antialiasing);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(30, 90, 200));
      p.drawEllipse(1, 0, 14, 14);
      QFont f = p.font();
      f.setPixelSize(12);
      f.setBold(true);
      p.setFont(f);
      p.setPen(Qt::white);
      p.drawText(QRect(1, 0, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
      break;
    }
    case CommandIcon::About: {
      p.setRenderHint(QPainter::Antialiasing);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(40, 140, 60));
      p.drawEllipse(1, 0, 14, 14);
      QFont f = p.font();
      f.setPixelSize(11);
      f.setBold(true);
      p.setFont(f);
      p.setPen(Qt::white);
      p.drawText(QRect(1, 0, 14, 14), Qt::AlignCenter, QStringLiteral("i"));
      break;
    }
    case CommandIcon::None:
      break;
  }
  p.end();
  return QIcon(pixmap);
}

QPixmap ProgramIconPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);
  // A film frame with a bouncing ball: an animation maker.
  p.setPen(QPen(QColor(20, 20, 20), 2));
  p.setBrush(QColor(35, 35, 45));
  p.drawRoundedRect(QRectF(4, 10, 56, 44), 6, 6);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(235, 235, 235));
  for (int x = 9; x < 56; x += 9) {
    p.drawRect(QRectF(x, 13, 5, 4));
    p.drawRect(QRectF(x, 47, 5, 4));
  }
  p.setBrush(QColor(100, 180, 240));
  p.drawRect(QRectF(9, 20, 46, 24));
  p.setBrush(QColor(250, 190, 40));
  p.drawEllipse(QRectF(36, 23, 13, 13));
  p.setBrush(QColor(250, 190, 40, 120));
  p.drawEllipse(QRectF(23, 29, 10, 10));
  p.setBrush(QColor(250, 190, 40, 60));
  p.drawEllipse(QRectF(13, 33, 8, 8));
  p.end();
  return pixmap;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128}) icon.addPixmap(ProgramIconPixmap(size));
  return icon;
}

}  // namespace zr
