#include "gui/screenshots.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QThread>
#include <QTimer>

#include <cstdio>

#include "gui/about_dialog.h"
#include "gui/compress_dialog.h"
#include "gui/convert_dialog.h"
#include "gui/help_window.h"
#include "gui/export_dialog.h"
#include "gui/frame_panel.h"
#include "gui/logo_dialog.h"
#include "gui/long_work.h"
#include "gui/tool_dialogs.h"
#include "gui/main_frame.h"
#include "gui/merge_dialog.h"
#include "ui/path_field.h"
#include "gui/preview_window.h"
#include "gui/size_dialog.h"
#include "gui/view.h"
#include "image/cbmp.h"
#include "image/image_dispatch.h"
#include "output/avi_messages.h"
#include "ui/color_button.h"
#include "ui/grid_ctrl.h"

namespace zr {

namespace {

void Settle(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
}

int Save(QWidget* widget, const QString& folder, const QString& name) {
  widget->show();
  widget->raise();
  Settle(400);
  const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
  const bool ok = widget->grab().save(path);
  std::fprintf(stderr, "%s %s\n", ok ? "saved" : "FAILED", path.toLocal8Bit().constData());
  return ok ? 0 : 1;
}

}  // namespace

namespace {

QPalette DarkPalette() {
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(45, 45, 48));
  dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
  dark.setColor(QPalette::Base, QColor(30, 30, 32));
  dark.setColor(QPalette::AlternateBase, QColor(40, 40, 44));
  dark.setColor(QPalette::Text, QColor(230, 230, 230));
  dark.setColor(QPalette::Button, QColor(60, 60, 64));
  dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
  dark.setColor(QPalette::Highlight, QColor(70, 130, 200));
  dark.setColor(QPalette::HighlightedText, Qt::white);
  dark.setColor(QPalette::ToolTipBase, QColor(60, 60, 64));
  dark.setColor(QPalette::ToolTipText, QColor(230, 230, 230));
  dark.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
  dark.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 120));
  dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 120));
  dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 120));
  return dark;
}

// Every window once, names ending in `suffix`.
int ShootAll(CMainFrame& frame, const QString& folder, const QString& suffix, const QString& sampleImage,
             const QString& sampleAvi) {
  int failures = 0;
  auto save = [&](QWidget* w, const char* name) {
    return Save(w, folder, QString::fromLatin1(name) + suffix);
  };
  frame.panel()->grid()->setCurrentRow(1);
  frame.UpdateCommandUI();
  // Thumbnails are decoded in the background.
  Settle(1200);
  failures += save(&frame, "main-window");
  {
    CLogoDlg logo(frame.doc(), &frame);
    failures += save(&logo, "logo-dialog");
  }
  {
    CColorPopup popup(Qt::red, &frame);
    failures += save(&popup, "colour-popup");
  }
  {
    CImageSizeDlg size(ImageSizeQuestion{sampleImage.toStdString(), 120, 90, 240, 180}, &frame);
    failures += save(&size, "image-size-dialog");
  }
  {
    CMergeDlg merge(frame.doc().host(), frame.doc().settings(), &frame);
    merge.videoField()->setText(sampleAvi);
    merge.soundField()->setText(sampleAvi + QStringLiteral(".missing.wav"));
    failures += save(&merge, "merge-dialog");
  }
  {
    CQuickAviDlg quick(frame.doc().settings(), &frame);
    quick.folderField()->setText(QFileInfo(sampleImage).absolutePath());
    failures += save(&quick, "quick-avi-dialog");
  }
  {
    CMorphDlg morph(frame.doc(), &frame);
    morph.fromField()->setText(sampleImage);
    failures += save(&morph, "morph-dialog");
  }
  {
    ConvertAviDialog convert(frame.doc().settings(), &frame);
    failures += save(&convert, "converter-dialog");
  }
  {
    CExportDlg exporter(frame.doc(), &frame);
    failures += save(&exporter, "export-dialog");
  }
  {
    CCompressOptionsDlg compress(frame.compressOptions(), &frame);
    failures += save(&compress, "avi-settings-dialog");
  }
  {
    CWorkProgressDlg work(QStringLiteral("Creating AVI"), &frame);
    work.SetText(QStringLiteral("12 of 40: img02.png"));
    work.SetTotal(40);
    work.SetDone(12);
    failures += save(&work, "work-progress-dialog");
  }
  {
    CExtractProgressDlg extract(&frame);
    extract.Open(0, 20);
    extract.Update(7, "00_00007.bmp");
    failures += save(&extract, "extract-progress-dialog");
    extract.Close();
  }
  {
    CConvertProgressDlg& convert = *frame.convertProgress();
    convert.Begin(true);
    convert.AppendLine("Starting MPG engine...");
    convert.AppendLine("Converting " + sampleAvi.toStdString());
    convert.SetFrame(14);
    convert.SetPercent(70);
    failures += save(&convert, "convert-progress-running");
    convert.SetFrame(20);
    convert.AppendLine("MPG engine closed");
    convert.Begin(false);
    failures += save(&convert, "convert-progress-done");
    convert.hide();
  }
  {
    CAboutDlg about(&frame);
    failures += save(&about, "about-dialog");
  }
  {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Wombrel Zerarive"),
                    QStringLiteral("Save changes to Untitled?"),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, &frame);
    failures += save(&box, "save-question-box");
  }
  {
    // A failed load as the user meets it: the desktop host's box, its details opened.
    const QString broken =
        QDir(QFileInfo(sampleImage).absolutePath()).filePath(QStringLiteral("broken.gif"));
    QFile file(broken);
    if (file.open(QIODevice::WriteOnly))
      file.write("GIF89a\x10\x00\x10\x00\xf7\x00\x00\x00\x00", 15);
    file.close();
    CBmp image;
    ImageFailure failure;
    image.Load(broken.toStdString(), &failure);
    QTimer::singleShot(0, &frame, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) {
        ++failures;
        return;
      }
      for (QAbstractButton* button : box->findChildren<QAbstractButton*>())
        if (box->buttonRole(button) == QMessageBox::ActionRole) button->click();
      failures += save(box, "failed-load-box");
      box->accept();
    });
    frame.doc().host().MessageWithDetails(kCouldNotLoad + broken.toStdString(), failure.detail);
  }
  {
    QFileDialog import(&frame, QStringLiteral("Choose images to add"), QFileInfo(sampleImage).absolutePath());
    import.setOption(QFileDialog::DontUseNativeDialog);
    import.setFileMode(QFileDialog::ExistingFiles);
    failures += save(&import, "import-dialog");
  }
  if (CHelpWindow* help = ShowHelpPage(&frame, "AnimHelp/Index.htm")) {
    help->resize(640, 480);
    failures += save(help, "help-window");
    help->close();
  }
  if (!sampleAvi.isEmpty()) {
    frame.ShowAnimation(sampleAvi.toStdString());
    CPreviewWindow* preview = frame.previewWindow();
    if (preview) {
      preview->Play();
      Settle(700);
      preview->Pause();
      failures += save(preview, "preview-window");
    }
    frame.ShowAnimation((sampleAvi + QStringLiteral(".missing.avi")).toStdString());
    if (frame.previewWindow()) failures += save(frame.previewWindow(), "preview-unplayable");
    frame.ClosePreview();
  }
  return failures;
}

}  // namespace

int RunScreenshots(CMainFrame& frame, const QString& folder, const QString& sampleImage,
                   const QString& sampleAvi) {
  QDir().mkpath(folder);
  frame.resize(820, 560);
  frame.show();
  Settle(600);
  frame.view()->EnsureStarted();
  int failures = ShootAll(frame, folder, QString(), sampleImage, sampleAvi);
  // The whole screen too, as a user would see the main window.
  if (QScreen* screen = frame.screen()) {
    frame.raise();
    Settle(300);
    screen->grabWindow(0).save(QDir(folder).filePath(QStringLiteral("screen.png")));
  }
  // A dark desktop theme, as the palette reaches every window.
  const QPalette light = QApplication::palette();
  QApplication::setPalette(DarkPalette());
  failures += ShootAll(frame, folder, QStringLiteral("-dark"), sampleImage, sampleAvi);
  QApplication::setPalette(light);
  return failures;
}

}  // namespace zr
