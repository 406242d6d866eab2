#include "gui/icons.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QPainterPath>
#include <QPixmap>

namespace zr {

namespace {

constexpr int kW = 16, kH = 15;

// The drawn icons take their colours from the palette, so they read in dark themes too.
struct Ink {
  QColor line, paper, accent, accentText;
};

Ink PaletteInk() {
  const QPalette palette = QGuiApplication::palette();
  return {palette.color(QPalette::WindowText), palette.color(QPalette::Base),
          palette.color(QPalette::Highlight), palette.color(QPalette::HighlightedText)};
}

void Page(QPainter& p, const Ink& ink, int x, int y, int w, int h) {
  p.setPen(ink.line);
  p.setBrush(ink.paper);
  p.drawRect(x, y, w, h);
}

void Film(QPainter& p, const Ink& ink, QRect r) {
  p.setPen(ink.line);
  p.setBrush(ink.line);
  p.drawRect(r);
  p.setPen(Qt::NoPen);
  p.setBrush(ink.paper);
  for (int x = r.left() + 1; x < r.right(); x += 3) {
    p.drawRect(x, r.top() + 1, 1, 1);
    p.drawRect(x, r.bottom() - 1, 1, 1);
  }
  p.setBrush(ink.accent);
  p.drawRect(r.left() + 2, r.top() + 3, r.width() - 4, r.height() - 6);
}

void Note(QPainter& p, const Ink& ink, int x, int y) {
  p.setPen(QPen(ink.line, 2));
  p.drawLine(x + 4, y, x + 4, y + 4);
  p.drawLine(x + 4, y, x + 7, y - 1);
  p.setPen(Qt::NoPen);
  p.setBrush(ink.line);
  p.drawEllipse(x + 1, y + 3, 4, 3);
}

void Badge(QPainter& p, const Ink& ink, const QString& letter, int pixelSize) {
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(ink.accent);
  p.drawEllipse(1, 0, 14, 14);
  QFont f = p.font();
  f.setPixelSize(pixelSize);
  f.setBold(true);
  p.setFont(f);
  p.setPen(ink.accentText);
  p.drawText(QRect(1, 0, 14, 14), Qt::AlignCenter, letter);
}

// A hooked arrow turning left (undo) or, mirrored, right (redo).
void TurnArrow(QPainter& p, const Ink& ink, bool mirrored) {
  if (mirrored) {
    p.translate(kW, 0);
    p.scale(-1, 1);
  }
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(ink.line, 2, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(3, 3, 10, 9), 90 * 16, -200 * 16);
  p.setPen(Qt::NoPen);
  p.setBrush(ink.line);
  p.drawPolygon(QPolygonF({QPointF(1, 3), QPointF(7, 0), QPointF(7, 6)}));
}

void Magnifier(QPainter& p, const Ink& ink, const QString& sign) {
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(ink.line, 1.5));
  p.setBrush(ink.paper);
  p.drawEllipse(QRectF(1.5, 1.5, 9, 9));
  p.setPen(QPen(ink.line, 2.5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(9.5, 9.5), QPointF(14, 14));
  p.setPen(QPen(ink.line, 1.5));
  if (sign == QLatin1String("+") || sign == QLatin1String("-")) p.drawLine(QPointF(4, 6), QPointF(8, 6));
  if (sign == QLatin1String("+")) p.drawLine(QPointF(6, 4), QPointF(6, 8));
}

// Standard icon names of the desktop theme; null where the theme has no fitting one.
const char* ThemeName(CommandIcon icon) {
  switch (icon) {
    case CommandIcon::New: return "document-new";
    case CommandIcon::Open: return "document-open";
    case CommandIcon::Save: return "document-save";
    case CommandIcon::Import: return "insert-image";
    case CommandIcon::Sound: return "audio-x-generic";
    case CommandIcon::ViewAnimation: return "media-playback-start";
    case CommandIcon::Cut: return "edit-cut";
    case CommandIcon::Copy: return "edit-copy";
    case CommandIcon::Paste: return "edit-paste";
    case CommandIcon::Help: return "help-contents";
    case CommandIcon::About: return "help-about";
    case CommandIcon::ZoomFit: return "zoom-fit-best";
    case CommandIcon::ZoomActual: return "zoom-original";
    case CommandIcon::ZoomIn: return "zoom-in";
    case CommandIcon::ZoomOut: return "zoom-out";
    case CommandIcon::Undo: return "edit-undo";
    case CommandIcon::Redo: return "edit-redo";
    default: return nullptr;
  }
}

}  // namespace

QIcon DrawnCommandIcon(CommandIcon icon) {
  if (icon == CommandIcon::None) return {};
  const Ink ink = PaletteInk();
  QPixmap pixmap(kW, kH);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  switch (icon) {
    case CommandIcon::New:
      Page(p, ink, 3, 1, 9, 12);
      p.drawLine(9, 1, 12, 4);
      break;
    case CommandIcon::Open:
      p.setPen(ink.line);
      p.setBrush(ink.accent);
      p.drawRect(1, 4, 12, 9);
      p.drawRect(1, 2, 5, 2);
      p.setBrush(ink.paper);
      p.drawPolygon(QPolygon({QPoint(3, 7), QPoint(15, 7), QPoint(13, 13), QPoint(1, 13)}));
      break;
    case CommandIcon::Save:
      p.setPen(ink.line);
      p.setBrush(ink.accent);
      p.drawRect(1, 1, 13, 12);
      p.setBrush(ink.paper);
      p.drawRect(4, 1, 7, 5);
      p.drawRect(4, 9, 7, 4);
      break;
    case CommandIcon::Import:
      Page(p, ink, 1, 1, 10, 9);
      p.setPen(Qt::NoPen);
      p.setBrush(ink.accent);
      p.drawPolygon(QPolygon({QPoint(2, 9), QPoint(5, 5), QPoint(8, 9)}));
      p.drawEllipse(7, 2, 3, 3);
      p.setPen(QPen(ink.line, 2));
      p.drawLine(12, 8, 12, 14);
      p.drawLine(9, 11, 15, 11);
      break;
    case CommandIcon::Sound:
      p.setPen(QPen(ink.line, 2));
      p.drawLine(6, 2, 6, 11);
      p.drawLine(6, 2, 12, 1);
      p.drawLine(12, 1, 12, 10);
      p.setPen(Qt::NoPen);
      p.setBrush(ink.line);
      p.drawEllipse(2, 9, 5, 4);
      p.drawEllipse(8, 8, 5, 4);
      break;
    case CommandIcon::CreateAvi:
      Film(p, ink, QRect(0, 2, 12, 10));
      p.setPen(QPen(ink.line, 2));
      p.drawLine(13, 3, 13, 9);
      p.drawLine(10, 6, 15, 6);
      break;
    case CommandIcon::ViewAnimation:
      Film(p, ink, QRect(0, 2, 15, 10));
      p.setPen(Qt::NoPen);
      p.setBrush(ink.accentText);
      p.drawPolygon(QPolygon({QPoint(6, 4), QPoint(11, 7), QPoint(6, 10)}));
      break;
    case CommandIcon::Merge:
      Film(p, ink, QRect(0, 1, 9, 7));
      Note(p, ink, 8, 9);
      break;
    case CommandIcon::Extract:
      Film(p, ink, QRect(0, 1, 11, 8));
      Page(p, ink, 8, 7, 6, 7);
      break;
    case CommandIcon::Cut:
      p.setPen(QPen(ink.line, 1));
      p.drawLine(4, 1, 10, 9);
      p.drawLine(11, 1, 5, 9);
      p.setBrush(Qt::NoBrush);
      p.setPen(QPen(ink.accent, 2));
      p.drawEllipse(2, 9, 4, 4);
      p.drawEllipse(9, 9, 4, 4);
      break;
    case CommandIcon::Copy:
      Page(p, ink, 1, 1, 8, 9);
      Page(p, ink, 6, 4, 8, 10);
      break;
    case CommandIcon::Paste:
      p.setPen(ink.line);
      p.setBrush(ink.accent);
      p.drawRect(1, 2, 10, 12);
      p.setBrush(ink.paper);
      p.drawRect(4, 1, 4, 2);
      Page(p, ink, 7, 6, 7, 8);
      break;
    case CommandIcon::Help: Badge(p, ink, QStringLiteral("?"), 12); break;
    case CommandIcon::About: Badge(p, ink, QStringLiteral("i"), 11); break;
    case CommandIcon::ZoomIn: Magnifier(p, ink, QStringLiteral("+")); break;
    case CommandIcon::ZoomOut: Magnifier(p, ink, QStringLiteral("-")); break;
    case CommandIcon::Undo: TurnArrow(p, ink, false); break;
    case CommandIcon::Redo: TurnArrow(p, ink, true); break;
    case CommandIcon::ZoomActual: {
      QFont f = p.font();
      f.setPixelSize(9);
      f.setBold(true);
      p.setFont(f);
      p.setPen(ink.line);
      p.drawText(QRect(0, 0, kW, kH), Qt::AlignCenter, QStringLiteral("1:1"));
      break;
    }
    case CommandIcon::ZoomFit:
      p.setPen(ink.line);
      p.setBrush(Qt::NoBrush);
      p.drawRect(0, 0, kW - 1, kH - 1);
      p.setBrush(ink.accent);
      p.drawRect(3, 3, kW - 7, kH - 7);
      break;
    case CommandIcon::None:
      break;
  }
  p.end();
  return QIcon(pixmap);
}

QIcon CommandIconImage(CommandIcon icon) {
  if (icon == CommandIcon::None) return {};
  if (const char* name = ThemeName(icon)) return QIcon::fromTheme(QLatin1String(name), DrawnCommandIcon(icon));
  return DrawnCommandIcon(icon);
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
