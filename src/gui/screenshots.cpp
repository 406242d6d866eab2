#include "gui/screenshots.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QThread>

#include <cstdio>

#include "gui/about_dialog.h"
#include "gui/compress_dialog.h"
#include "gui/export_dialog.h"
#include "gui/frame_panel.h"
#include "gui/logo_dialog.h"
#include "gui/long_work.h"
#include "gui/tool_dialogs.h"
#include "gui/main_frame.h"
#include "gui/merge_dialog.h"
#include "gui/preview_window.h"
#include "gui/size_dialog.h"
#include "gui/view.h"
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

int RunScreenshots(CMainFrame& frame, const QString& folder, const QString& sampleImage,
                   const QString& sampleAvi) {
  QDir().mkpath(folder);
  int failures = 0;
  frame.resize(760, 520);
  frame.show();
  Settle(600);
  frame.view()->EnsureStarted();
  frame.panel()->grid()->setCurrentRow(1);
  frame.UpdateCommandUI();
  Settle(300);
  failures += Save(&frame, folder, QStringLiteral("main-window"));

  {
    CLogoDlg logo(frame.doc(), &frame);
    failures += Save(&logo, folder, QStringLiteral("logo-dialog"));
  }
  {
    CColorPopup popup(Qt::red, &frame);
    failures += Save(&popup, folder, QStringLiteral("colour-popup"));
  }
  {
    CImageSizeDlg size(ImageSizeQuestion{sampleImage.toStdString(), 120, 90, 240, 180}, &frame);
    failures += Save(&size, folder, QStringLiteral("image-size-dialog"));
  }
  {
    CMergeDlg merge(frame.doc().host(), &frame);
    merge.videoButton()->setText(sampleAvi);
    failures += Save(&merge, folder, QStringLiteral("merge-dialog"));
  }
  {
    CExportDlg exporter(frame.doc(), &frame);
    failures += Save(&exporter, folder, QStringLiteral("export-dialog"));
    // The same dialog as a dark desktop theme shows it.
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(45, 45, 48));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::Base, QColor(30, 30, 32));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::Button, QColor(60, 60, 64));
    dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    dark.setColor(QPalette::Highlight, QColor(70, 130, 200));
    exporter.setPalette(dark);
    failures += Save(&exporter, folder, QStringLiteral("export-dialog-dark"));
  }
  {
    CCompressOptionsDlg compress(frame.compressOptions(), &frame);
    failures += Save(&compress, folder, QStringLiteral("avi-settings-dialog"));
  }
  {
    CWorkProgressDlg work(QStringLiteral("Creating AVI"), &frame);
    work.SetText(QStringLiteral("12 of 40: img02.png"));
    work.SetTotal(40);
    work.SetDone(12);
    failures += Save(&work, folder, QStringLiteral("work-progress-dialog"));
  }
  {
    CExtractProgressDlg extract(&frame);
    extract.Open(0, 20);
    extract.Update(7, "00_00007.bmp");
    failures += Save(&extract, folder, QStringLiteral("extract-progress-dialog"));
    extract.Close();
  }
  {
    CConvertProgressDlg& convert = *frame.convertProgress();
    convert.Begin(true);
    convert.AppendLine("Starting MPG engine...");
    convert.AppendLine("Converting " + sampleAvi.toStdString());
    convert.SetFrame(14);
    convert.SetPercent(70);
    failures += Save(&convert, folder, QStringLiteral("convert-progress-running"));
    convert.SetFrame(20);
    convert.AppendLine("MPG engine closed");
    convert.Begin(false);
    failures += Save(&convert, folder, QStringLiteral("convert-progress-done"));
    convert.hide();
  }
  {
    CAboutDlg about(&frame);
    failures += Save(&about, folder, QStringLiteral("about-dialog"));
  }
  {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Wombrel Zerarive"),
                    QStringLiteral("Save changes to Untitled?"),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, &frame);
    failures += Save(&box, folder, QStringLiteral("save-question-box"));
  }
  {
    QFileDialog import(&frame, QStringLiteral("Choose images to add"), QFileInfo(sampleImage).absolutePath());
    import.setOption(QFileDialog::DontUseNativeDialog);
    import.setFileMode(QFileDialog::ExistingFiles);
    failures += Save(&import, folder, QStringLiteral("import-dialog"));
  }
  if (!sampleAvi.isEmpty()) {
    frame.ShowAnimation(sampleAvi.toStdString());
    CPreviewWindow* preview = frame.previewWindow();
    if (preview) {
      preview->Play();
      Settle(700);
      preview->Pause();
      failures += Save(preview, folder, QStringLiteral("preview-window"));
    }
    frame.ShowAnimation((sampleAvi + QStringLiteral(".missing.avi")).toStdString());
    if (frame.previewWindow())
      failures += Save(frame.previewWindow(), folder, QStringLiteral("preview-unplayable"));
    frame.ClosePreview();
  }
  // The whole screen too, as a user would see the main window.
  if (QScreen* screen = frame.screen()) {
    frame.raise();
    Settle(300);
    screen->grabWindow(0).save(QDir(folder).filePath(QStringLiteral("screen.png")));
  }
  return failures;
}

}  // namespace zr
