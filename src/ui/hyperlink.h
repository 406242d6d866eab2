// A label that looks like a link and opens its address with the desktop's browser.
#pragma once

#include <QLabel>
#include <QUrl>

namespace zr {

class CHyperLink : public QLabel {
  Q_OBJECT

 public:
  CHyperLink(const QString& text, const QUrl& url, QWidget* parent = nullptr);
  QUrl url() const { return url_; }

 signals:
  void opened(const QUrl& url);

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QUrl url_;
};

}  // namespace zr
