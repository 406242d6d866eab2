// The help commands show the bundled pages in our own window: the index, its anchors,
// links between pages with back and forward, and no web commands without a web address.
#include <QAction>
#include <QLabel>
#include <QScrollBar>
#include <QTextBrowser>
#include <QToolButton>

#include "gui/about_dialog.h"
#include "gui/commands.h"
#include "gui/help_window.h"
#include "gui_support.h"
#include "ui/hyperlink.h"

namespace zr::test {
namespace {

CHelpWindow* HelpWindowOf(QWidget* owner) {
  return owner->findChild<CHelpWindow*>(QString(), Qt::FindDirectChildrenOnly);
}

TEST_F(GuiTest, ManualAndTroubleshootingOpenTheIndexInOneHelpWindow) {
  frame->Execute(ID_HELP_MANUAL);
  CHelpWindow* help = HelpWindowOf(frame.get());
  ASSERT_NE(help, nullptr);
  QTextBrowser* browser = help->browser();
  EXPECT_TRUE(browser->source().path().endsWith("AnimHelp/Index.htm")) << browser->source().toString().toStdString();
  EXPECT_FALSE(browser->toPlainText().isEmpty());
  EXPECT_EQ(browser->verticalScrollBar()->value(), 0);

  frame->Execute(ID_HELP_TROUBLESHOOTING);
  EXPECT_EQ(HelpWindowOf(frame.get()), help) << "a second window was opened";
  EXPECT_EQ(browser->source().fragment(), "troubleshooting");
  EXPECT_GT(browser->verticalScrollBar()->value(), 0) << "the anchor was not scrolled to";
}

TEST_F(GuiTest, HelpLinksFollowAndBackReturns) {
  CHelpWindow* help = ShowHelpPage(frame.get(), "AnimHelp/Index.htm");
  QTextBrowser* browser = help->browser();
  auto* back = help->findChild<QToolButton*>("helpBack");
  auto* forward = help->findChild<QToolButton*>("helpForward");
  ASSERT_TRUE(back && forward);
  EXPECT_FALSE(back->isEnabled());

  emit browser->anchorClicked(QUrl("../avitutor/index.htm"));
  EXPECT_TRUE(browser->source().path().endsWith("avitutor/index.htm"));
  EXPECT_TRUE(back->isEnabled());
  back->click();
  EXPECT_TRUE(browser->source().path().endsWith("AnimHelp/Index.htm"));
  EXPECT_TRUE(forward->isEnabled());
  forward->click();
  EXPECT_TRUE(browser->source().path().endsWith("avitutor/index.htm"));

  // The web-pages command shows the tutorial in the same window.
  frame->Execute(ID_HELP_MANUAL);
  frame->Execute(ID_HELP_WEB_TUTORIAL);
  EXPECT_EQ(HelpWindowOf(frame.get()), help);
  EXPECT_TRUE(browser->source().path().endsWith("avitutor/index.htm"));
}

TEST_F(GuiTest, WithoutAWebAddressNoWebCommandOrLinkShows) {
  ASSERT_STREQ(kWebAddress, "") << "this test is for a build without a web site";
  for (int id : {ID_HELP_WEB_SITE, ID_HELP_MAILING_LIST, ID_HELP_DISCUSSION, ID_HELP_NEWS, ID_HELP_MAIL})
    EXPECT_FALSE(frame->action(id)->isVisible()) << id;
  EXPECT_TRUE(frame->action(ID_HELP_MANUAL)->isVisible());
  CAboutDlg about(frame.get());
  EXPECT_EQ(about.findChild<CHyperLink*>(), nullptr);
}

}  // namespace
}  // namespace zr::test
