#include "ui/bitmap_button.h"

#include <QPixmap>

namespace zr {

CBmpBtn::CBmpBtn(const QString& caption, QWidget* parent, ImageLoader loader)
    : QPushButton(parent), loader_(std::move(loader)) {
  setCaption(caption);
}

QString CBmpBtn::ParseImageName(const QString& caption) {
  int start = caption.indexOf(QLatin1String("U:"));
  if (start < 0) return {};
  start += 2;
  int end = caption.indexOf(QLatin1Char('~'), start);
  return end < 0 ? caption.mid(start) : caption.mid(start, end - start);
}

void CBmpBtn::setCaption(const QString& caption) {
  caption_ = caption;
  Refresh();
}

void CBmpBtn::setImageLoader(ImageLoader loader) {
  loader_ = std::move(loader);
  Refresh();
}

void CBmpBtn::setMaxImageSize(QSize size) {
  maxImage_ = size;
  Refresh();
}

void CBmpBtn::setEmptyText(const QString& text) {
  emptyText_ = text;
  Refresh();
}

void CBmpBtn::Refresh() {
  QString name = imageName();
  QImage image;
  if (!name.isEmpty()) image = loader_ ? loader_(name) : QImage(name);
  if (image.isNull()) {
    setIcon(QIcon());
    setText(name.isEmpty() ? (caption_.contains(QLatin1String("U:")) ? emptyText_ : caption_) : name);
    return;
  }
  if (image.width() > maxImage_.width() || image.height() > maxImage_.height())
    image = image.scaled(maxImage_, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  setText(QString());
  setIcon(QIcon(QPixmap::fromImage(image)));
  setIconSize(image.size());
  setToolTip(name.startsWith(QLatin1Char('<')) ? toolTip() : name);
}

}  // namespace zr
