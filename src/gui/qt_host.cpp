#include "gui/qt_host.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>

#include <cstring>

#include "app/document.h"
#include "gui/compress_dialog.h"
#include "gui/file_dialogs.h"
#include "gui/long_work.h"
#include "gui/size_dialog.h"

namespace zr {

QImage ImageFromBitmap(const Bitmap& bitmap) {
  if (bitmap.empty()) return {};
  QImage image(bitmap.width, bitmap.height, QImage::Format_RGB32);
  for (int y = 0; y < bitmap.height; ++y) {
    const Pixel* src = bitmap.row(y);
    auto* dst = reinterpret_cast<uint32_t*>(image.scanLine(y));
    // The screen format's fourth byte is unused; Qt wants it 0xFF in RGB32.
    for (int x = 0; x < bitmap.width; ++x) dst[x] = src[x] | 0xFF000000u;
  }
  return image;
}

Bitmap BitmapFromImage(const QImage& source) {
  if (source.isNull()) return {};
  QImage image = source.convertToFormat(QImage::Format_RGB32);
  Bitmap bitmap(image.width(), image.height());
  for (int y = 0; y < image.height(); ++y) {
    const auto* src = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
    Pixel* dst = bitmap.row(y);
    for (int x = 0; x < image.width(); ++x) dst[x] = src[x] & 0x00FFFFFFu;
  }
  return bitmap;
}

QtHost::~QtHost() {
  while (waitDepth_ > 0) EndWaitCursor();
}

void QtHost::Attach(QWidget* window, QStatusBar* statusBar) {
  window_ = window;
  statusBar_ = statusBar;
}

QString QtHost::Caption(const std::string& caption) const {
  return caption.empty() ? QStringLiteral("Wombrel Zerarive") : QString::fromStdString(caption);
}

void QtHost::Message(const std::string& text, const std::string& caption, MessageKind kind) {
  MessageWithDetails(text, {}, caption, kind);
}

void QtHost::MessageWithDetails(const std::string& text, const std::string& details,
                                const std::string& caption, MessageKind kind) {
  // A box must show the normal cursor even in the middle of a long operation.
  int depth = working_ ? 0 : waitDepth_;
  for (int i = 0; i < depth; ++i) QApplication::restoreOverrideCursor();
  const QMessageBox::Icon icon = kind == MessageKind::Information ? QMessageBox::Information
                                 : kind == MessageKind::Warning   ? QMessageBox::Warning
                                                                  : QMessageBox::Critical;
  QMessageBox box(icon, Caption(caption), QString::fromStdString(text), QMessageBox::Ok, window_);
  if (!details.empty()) box.setDetailedText(QString::fromStdString(details));
  box.exec();
  for (int i = 0; i < depth; ++i) QApplication::setOverrideCursor(Qt::WaitCursor);
}

Answer QtHost::AskYesNoCancel(const std::string& text, const std::string& caption) {
  // The project's save question is answered with the verbs it asks about.
  const std::string saveQuestion = SaveChangesQuestion("");
  if (text.rfind(saveQuestion.substr(0, saveQuestion.size() - 1), 0) == 0) {
    auto button = QMessageBox::question(window_, Caption(caption), QString::fromStdString(text),
                                        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                                        QMessageBox::Save);
    if (button == QMessageBox::Save) return Answer::Yes;
    if (button == QMessageBox::Discard) return Answer::No;
    return Answer::Cancel;
  }
  auto button = QMessageBox::question(
      window_, Caption(caption), QString::fromStdString(text),
      QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
  if (button == QMessageBox::Yes) return Answer::Yes;
  if (button == QMessageBox::No) return Answer::No;
  return Answer::Cancel;
}

bool QtHost::AskYesNo(const std::string& text, const std::string& caption) {
  return QMessageBox::question(window_, Caption(caption), QString::fromStdString(text),
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::Yes) == QMessageBox::Yes;
}

void QtHost::SetStatusText(const std::string& text) {
  if (workDialog_) workDialog_->SetText(QString::fromStdString(text));
  if (statusBar_) {
    statusBar_->showMessage(QString::fromStdString(text));
    statusBar_->repaint();
  }
  KeepAlive(true);
}

bool QtHost::CancelRequested() {
  KeepAlive(false);
  return working_ && cancel_;
}

void QtHost::BeginWork(CWorkProgressDlg* dialog) {
  working_ = true;
  cancel_ = false;
  workDialog_ = dialog;
  // The override cursor would cover the Cancel button too; LongWork marks the main
  // window busy instead.
  for (int i = 0; i < waitDepth_; ++i) QApplication::restoreOverrideCursor();
  sinceEvents_.start();
}

void QtHost::EndWork() {
  working_ = false;
  workDialog_ = nullptr;
  for (int i = 0; i < waitDepth_; ++i) QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtHost::KeepAlive(bool now) {
  if (!working_) return;
  if (!now && sinceEvents_.isValid() && sinceEvents_.elapsed() < 15) return;
  QCoreApplication::processEvents();
  sinceEvents_.start();
}

void QtHost::BeginProgress(const std::string& title, int64_t total) {
  if (!title.empty()) SetStatusText(title);
  if (workDialog_) workDialog_->SetTotal(total);
  if (!statusBar_) return;
  if (!progress_) {
    progress_ = new QProgressBar(statusBar_);
    progress_->setMaximumWidth(160);
    progress_->setRange(0, 1000);
    statusBar_->addPermanentWidget(progress_);
  }
  progressTotal_ = total > 0 ? total : 1;
  lastPermille_ = -1;
  progress_->setValue(0);
  progress_->show();
  statusBar_->repaint();
}

void QtHost::UpdateProgress(int64_t done) {
  if (workDialog_) workDialog_->SetDone(done);
  KeepAlive(false);
  if (!progress_ || progressTotal_ <= 0) return;
  int permille = int(std::clamp<int64_t>(done, 0, progressTotal_) * 1000 / progressTotal_);
  if (permille == lastPermille_) return;
  lastPermille_ = permille;
  progress_->setValue(permille);
  progress_->repaint();
}

void QtHost::EndProgress() {
  progressTotal_ = 0;
  if (workDialog_) workDialog_->SetTotal(0);
  if (progress_) progress_->hide();
  if (statusBar_) statusBar_->repaint();
}

void QtHost::BeginWaitCursor() {
  ++waitDepth_;
  if (!working_) QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtHost::EndWaitCursor() {
  if (waitDepth_ <= 0) return;
  --waitDepth_;
  if (!working_) QApplication::restoreOverrideCursor();
}

bool QtHost::SetClipboardImage(const ClipboardImage& image) {
  QClipboard* clipboard = QApplication::clipboard();
  if (!clipboard || image.bitmap.empty()) return false;
  clipboard->setImage(ImageFromBitmap(image.bitmap));
  return true;
}

std::optional<ClipboardImage> QtHost::GetClipboardImage() {
  QClipboard* clipboard = QApplication::clipboard();
  if (!clipboard) return std::nullopt;
  QImage image = clipboard->image();
  if (image.isNull()) return std::nullopt;
  ClipboardImage result;
  // An indexed image keeps its colour table, as a palette format would.
  if (image.format() == QImage::Format_Indexed8) {
    for (QRgb c : image.colorTable())
      result.palette.push_back(RgbQuad{uint8_t(qBlue(c)), uint8_t(qGreen(c)), uint8_t(qRed(c)), 0});
  }
  result.bitmap = BitmapFromImage(image);
  return result;
}

std::optional<ImageSizeAnswer> QtHost::AskImageSize(const ImageSizeQuestion& question) {
  // The one moment a user acts while an AVI is written: show the normal cursor.
  int depth = working_ ? 0 : waitDepth_;
  for (int i = 0; i < depth; ++i) QApplication::restoreOverrideCursor();
  CImageSizeDlg dialog(question, window_);
  const bool ok = dialog.exec() == QDialog::Accepted;
  for (int i = 0; i < depth; ++i) QApplication::setOverrideCursor(Qt::WaitCursor);
  if (!ok) return std::nullopt;
  return dialog.answer();
}

bool QtHost::EditCompressOptions(AVICOMPRESSOPTIONS& options) {
  CCompressOptionsDlg dialog(options, window_);
  if (dialog.exec() != QDialog::Accepted) return false;
  dialog.Apply(options);
  return true;
}

std::string QtHost::ChooseAviPath(bool save, bool wave, const std::string& startFolder) {
  return RunAviFileDialog(*this, window_, save, wave, startFolder);
}

}  // namespace zr
