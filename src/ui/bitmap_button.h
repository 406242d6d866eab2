// A push button whose caption names the picture it shows: "U:<UP~" shows the built-in
// bitmap "<UP", "U:/path/logo.png~" shows that file. Anything else is shown as text.
#pragma once

#include <functional>

#include <QImage>
#include <QPushButton>

namespace zr {

class CBmpBtn : public QPushButton {
  Q_OBJECT

 public:
  // Turns the name between "U:" and "~" into a picture; a null image shows the name.
  using ImageLoader = std::function<QImage(const QString& name)>;

  explicit CBmpBtn(const QString& caption = {}, QWidget* parent = nullptr,
                   ImageLoader loader = {});

  void setCaption(const QString& caption);
  QString caption() const { return caption_; }
  // The name between "U:" and the next "~"; empty when the caption has no "U:".
  QString imageName() const { return ParseImageName(caption_); }
  static QString ParseImageName(const QString& caption);

  void setImageLoader(ImageLoader loader);
  // Pictures larger than this are scaled down to fit (keeping their shape).
  void setMaxImageSize(QSize size);
  // What the button says when its caption names no picture at all.
  void setEmptyText(const QString& text);

 private:
  void Refresh();
  QString caption_;
  ImageLoader loader_;
  QSize maxImage_{200, 120};
  QString emptyText_;
};

}  // namespace zr
