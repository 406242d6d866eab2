// The bundled help pages in a window of our own: links, anchors, back and forward, and
// the same page in the desktop's browser on request.
#pragma once

#include <QUrl>
#include <QWidget>

class QTextBrowser;
class QToolButton;

namespace zr {

// The program's web site. While it is empty the About box shows no link and the Help
// menu's web commands are hidden.
inline constexpr const char* kWebAddress = "";

class CHelpWindow : public QWidget {
  Q_OBJECT

 public:
  explicit CHelpWindow(QWidget* parent = nullptr);

  // Shows a local page; its fragment scrolls to the page's anchor.
  void ShowPage(const QUrl& page);
  QTextBrowser* browser() const { return browser_; }

 private:
  void OpenInBrowser();

  QTextBrowser* browser_ = nullptr;
  QToolButton* back_ = nullptr;
  QToolButton* forward_ = nullptr;
};

// Shows program folder's help page `relative` ("AnimHelp/Index.htm") at `anchor`
// ("#troubleshooting" or "troubleshooting") in the help window of `near`'s main window,
// making that window when there is none. Returns the window.
CHelpWindow* ShowHelpPage(QWidget* near, const std::string& relative, const std::string& anchor = {});

}  // namespace zr
