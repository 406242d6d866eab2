// The export dialog: format and path follow each other, enable rules, the options it
// hands over, Cancel while running, and Open / Show folder after a made file.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>

#include "app/document.h"
#include "gui/export_dialog.h"
#include "gui_support.h"

namespace zr {
namespace {

TEST(ExportDialog, FormatFollowsThePathAndDecidesWhatIsEnabled) {
  CTorvexerDoc doc;
  doc.sSoundFile = "/tmp/tune.wav";
  CExportDlg dialog(doc);
  EXPECT_TRUE(dialog.pathEdit()->text().endsWith(".mp4"));
  EXPECT_TRUE(dialog.soundBox()->isEnabled());
  EXPECT_FALSE(dialog.loopForeverBox()->isEnabled());
  dialog.formatBox()->setCurrentIndex(2);
  emit dialog.formatBox()->activated(2);
  EXPECT_TRUE(dialog.pathEdit()->text().endsWith(".gif"));
  EXPECT_FALSE(dialog.qualitySlider()->isEnabled());
  EXPECT_FALSE(dialog.soundBox()->isEnabled());
  EXPECT_TRUE(dialog.loopForeverBox()->isEnabled());
  EXPECT_FALSE(dialog.playsBox()->isEnabled());
  dialog.pathEdit()->setText("/tmp/x.WEBP");
  emit dialog.pathEdit()->textEdited(dialog.pathEdit()->text());
  EXPECT_EQ(dialog.formatBox()->currentIndex(), 3);
  EXPECT_TRUE(dialog.qualitySlider()->isEnabled());
  EXPECT_EQ(dialog.qualitySlider()->value(), 90);
}

TEST(ExportDialog, OptionsKeepTheDefaultsUntilChanged) {
  CTorvexerDoc doc;
  CExportDlg dialog(doc);
  EXPECT_FALSE(dialog.options().quality);
  EXPECT_EQ(dialog.options().plays, 0);
  dialog.qualitySlider()->setValue(70);
  dialog.loopForeverBox()->setChecked(false);
  dialog.playsBox()->setValue(4);
  EXPECT_EQ(dialog.options().quality, 70);
  EXPECT_EQ(dialog.options().plays, 4);
}

TEST(ExportDialog, CancelStopsARunningExportAndOpenNamesTheMadeFile) {
  CTorvexerDoc doc;
  CExportDlg dialog(doc);
  dialog.pathEdit()->setText("/tmp/folder/made.gif");
  bool sawCancel = false;
  dialog.setRun([&](const std::string&, const ExportOptions&, Host& host) {
    EXPECT_TRUE(dialog.running());
    dialog.cancelButton()->click();
    sawCancel = host.CancelRequested();
    return false;
  });
  dialog.exportButton()->click();
  EXPECT_TRUE(sawCancel);
  EXPECT_FALSE(dialog.openButton()->isEnabled());

  std::vector<QUrl> opened;
  dialog.setOpener([&](const QUrl& url) { opened.push_back(url); });
  dialog.setRun([](const std::string&, const ExportOptions&, Host&) { return true; });
  dialog.exportButton()->click();
  ASSERT_TRUE(dialog.openButton()->isEnabled());
  dialog.openButton()->click();
  dialog.folderButton()->click();
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0].toLocalFile(), "/tmp/folder/made.gif");
  EXPECT_EQ(opened[1].toLocalFile(), "/tmp/folder");
}

}  // namespace
}  // namespace zr
