#include "ui/hyperlink.h"

#include <QDesktopServices>
#include <QMouseEvent>

namespace zr {

CHyperLink::CHyperLink(const QString& text, const QUrl& url, QWidget* parent)
    : QLabel(parent), url_(url) {
  setText(QStringLiteral("<a href=\"%1\">%2</a>").arg(url.toString().toHtmlEscaped(),
                                                      text.toHtmlEscaped()));
  setTextFormat(Qt::RichText);
  setTextInteractionFlags(Qt::NoTextInteraction);
  setCursor(Qt::PointingHandCursor);
  setToolTip(url.toString());
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    QDesktopServices::openUrl(url_);
    emit opened(url_);
  }
  QLabel::mouseReleaseEvent(event);
}

}  // namespace zr
