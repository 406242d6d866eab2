#include "gui/help_window.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStyle>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

#include "gui/main_frame.h"

namespace zr {

CHelpWindow::CHelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("helpWindow"));
  setWindowTitle(tr("Wombrel Zerarive Help"));
  resize(720, 560);

  auto* bar = new QHBoxLayout;
  auto button = [&](const char* name, const QString& text, QIcon icon) {
    auto* b = new QToolButton(this);
    b->setObjectName(QLatin1String(name));
    b->setText(text);
    b->setToolTip(text);
    b->setIcon(icon);
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setAutoRaise(true);
    bar->addWidget(b);
    return b;
  };
  back_ = button("helpBack", tr("Back"),
                 QIcon::fromTheme(QStringLiteral("go-previous"), style()->standardIcon(QStyle::SP_ArrowBack)));
  forward_ = button("helpForward", tr("Forward"),
                    QIcon::fromTheme(QStringLiteral("go-next"), style()->standardIcon(QStyle::SP_ArrowForward)));
  QToolButton* home = button("helpHome", tr("Contents"),
                             QIcon::fromTheme(QStringLiteral("go-home"), style()->standardIcon(QStyle::SP_DirHomeIcon)));
  bar->addStretch(1);
  auto* external = new QPushButton(tr("Open in Browser"), this);
  external->setObjectName(QStringLiteral("helpOpenInBrowser"));
  bar->addWidget(external);

  browser_ = new QTextBrowser(this);
  browser_->setObjectName(QStringLiteral("helpBrowser"));
  // Pages link each other and the web; only local pages stay in this window.
  browser_->setOpenLinks(false);
  connect(browser_, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
    if (url.isLocalFile() || url.isRelative())
      ShowPage(browser_->source().resolved(url));
    else
      QDesktopServices::openUrl(url);
  });
  connect(browser_, &QTextBrowser::backwardAvailable, back_, &QWidget::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QWidget::setEnabled);
  connect(browser_, &QTextBrowser::sourceChanged, this, [this] {
    const QString title = browser_->documentTitle();
    setWindowTitle(title.isEmpty() ? tr("Wombrel Zerarive Help") : title);
  });
  connect(back_, &QToolButton::clicked, browser_, &QTextBrowser::backward);
  connect(forward_, &QToolButton::clicked, browser_, &QTextBrowser::forward);
  connect(home, &QToolButton::clicked, browser_, &QTextBrowser::home);
  connect(external, &QPushButton::clicked, this, &CHelpWindow::OpenInBrowser);
  back_->setEnabled(false);
  forward_->setEnabled(false);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addLayout(bar);
  layout->addWidget(browser_, 1);
}

void CHelpWindow::ShowPage(const QUrl& page) {
  browser_->setSource(page);
  // setSource does not scroll again when only the anchor is the same.
  if (!page.fragment().isEmpty()) browser_->scrollToAnchor(page.fragment());
}

void CHelpWindow::OpenInBrowser() {
  // openUrl only says whether xdg-open started, not whether a browser showed the page.
  QDesktopServices::openUrl(browser_->source());
}

CHelpWindow* ShowHelpPage(QWidget* near, const std::string& relative, const std::string& anchor) {
  QWidget* owner = near;
  while (owner && owner->parentWidget()) owner = owner->parentWidget();
  CHelpWindow* window = owner ? owner->findChild<CHelpWindow*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
  if (!window) {
    window = new CHelpWindow(owner);
    if (!owner) window->setAttribute(Qt::WA_DeleteOnClose);
  }
  QUrl url = QUrl::fromLocalFile(QString::fromStdString(HelpPagePath(relative)));
  if (!anchor.empty()) url.setFragment(QString::fromStdString(anchor[0] == '#' ? anchor.substr(1) : anchor));
  window->ShowPage(url);
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

}  // namespace zr
