#include "gui/export_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

#include "app/document.h"
#include "gui/main_frame.h"
#include "output/export_host.h"
#include "platform/paths.h"

namespace zr {

namespace {

struct FormatEntry {
  ExportFormat format;
  const char* caption;
  const char* extension;
};
constexpr FormatEntry kFormats[] = {
    {ExportFormat::Mp4, "MP4 video (H.264, AAC)", "mp4"},
    {ExportFormat::WebM, "WebM video (VP9, Opus)", "webm"},
    {ExportFormat::Gif, "Animated GIF", "gif"},
    {ExportFormat::WebP, "Animated WebP", "webp"},
    {ExportFormat::Apng, "Animated PNG (APNG)", "apng"},
};

int IndexOf(ExportFormat format) {
  for (int i = 0; i < int(std::size(kFormats)); ++i)
    if (kFormats[i].format == format) return i;
  return 0;
}

// The slider position that gives each format's own default.
int DefaultQuality(ExportFormat format) {
  switch (format) {
    case ExportFormat::Mp4: return 65;   // CRF 18
    case ExportFormat::WebM: return 51;  // CRF 31
    default: return 90;
  }
}

}  // namespace

// Progress into the dialog's bar, Cancel from its button; the rest to the program's host.
class CExportDlg::DialogHost : public ForwardingHost {
 public:
  DialogHost(Host& inner, CExportDlg& dialog) : ForwardingHost(inner), dialog_(dialog) {}
  void BeginProgress(const std::string& title, int64_t total) override {
    total_ = total > 0 ? total : 1;
    dialog_.progress_->setFormat(QString::fromStdString(title) + QStringLiteral(" %p%"));
    dialog_.progress_->setValue(0);
    inner_.SetStatusText(title);
    QApplication::processEvents();
  }
  void UpdateProgress(int64_t done) override {
    dialog_.progress_->setValue(int(std::clamp<int64_t>(done, 0, total_) * 1000 / total_));
    QApplication::processEvents();
  }
  void EndProgress() override { dialog_.progress_->setValue(1000); }
  bool CancelRequested() override {
    QApplication::processEvents();
    return dialog_.cancelRequested_ || inner_.CancelRequested();
  }

 private:
  CExportDlg& dialog_;
  int64_t total_ = 1;
};

CExportDlg::CExportDlg(CTorvexerDoc& doc, QWidget* parent) : QDialog(parent), doc_(doc) {
  setWindowTitle(tr("Export"));
  setObjectName(QStringLiteral("exportDialog"));
  setMinimumWidth(480);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  layout->addLayout(form);

  auto* pathRow = new QHBoxLayout;
  path_ = new QLineEdit(this);
  path_->setObjectName(QStringLiteral("exportPath"));
  auto* browse = new QPushButton(tr("&Browse..."), this);
  pathRow->addWidget(path_, 1);
  pathRow->addWidget(browse);
  auto* pathLabel = new QLabel(tr("&File:"), this);
  pathLabel->setBuddy(path_);
  form->addRow(pathLabel, pathRow);

  format_ = new QComboBox(this);
  for (const auto& f : kFormats) format_->addItem(tr(f.caption));
  form->addRow(tr("F&ormat:"), format_);

  auto* qualityRow = new QHBoxLayout;
  quality_ = new QSlider(Qt::Horizontal, this);
  quality_->setRange(0, 100);
  qualityValue_ = new QLabel(this);
  qualityValue_->setMinimumWidth(28);
  qualityRow->addWidget(quality_, 1);
  qualityRow->addWidget(qualityValue_);
  auto* qualityLabel = new QLabel(tr("&Quality:"), this);
  qualityLabel->setBuddy(quality_);
  form->addRow(qualityLabel, qualityRow);

  auto* loopRow = new QHBoxLayout;
  loopForever_ = new QCheckBox(tr("Loop forever"), this);
  loopForever_->setChecked(true);
  plays_ = new QSpinBox(this);
  plays_->setRange(1, 65535);
  loopRow->addWidget(loopForever_);
  loopRow->addWidget(new QLabel(tr("or play"), this));
  loopRow->addWidget(plays_);
  loopRow->addWidget(new QLabel(tr("times"), this));
  loopRow->addStretch(1);
  form->addRow(tr("Playback:"), loopRow);

  sound_ = new QCheckBox(tr("Include sound"), this);
  sound_->setChecked(true);
  form->addRow(QString(), sound_);

  progress_ = new QProgressBar(this);
  progress_->setRange(0, 1000);
  progress_->setValue(0);
  progress_->setTextVisible(true);
  progress_->setFormat(QString());
  layout->addWidget(progress_);

  auto* buttons = new QHBoxLayout;
  open_ = new QPushButton(tr("&Open"), this);
  folder_ = new QPushButton(tr("Show &folder"), this);
  export_ = new QPushButton(tr("&Export"), this);
  export_->setDefault(true);
  cancel_ = new QPushButton(tr("&Cancel"), this);
  buttons->addWidget(open_);
  buttons->addWidget(folder_);
  buttons->addStretch(1);
  buttons->addWidget(export_);
  buttons->addWidget(cancel_);
  layout->addLayout(buttons);

  run_ = [this](const std::string& path, const ExportOptions& options, Host& host) {
    return ExportProject(host, doc_, path, options);
  };
  browse_ = [this](const QString& start) {
    QStringList filters;
    for (const auto& f : kFormats)
      filters << QStringLiteral("%1 (*.%2)").arg(tr(f.caption), QString::fromLatin1(f.extension));
    return QFileDialog::getSaveFileName(this, tr("Export"), start, filters.join(QStringLiteral(";;")));
  };
  opener_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };

  connect(path_, &QLineEdit::textEdited, this, &CExportDlg::PathEdited);
  connect(format_, &QComboBox::activated, this, &CExportDlg::FormatChosen);
  connect(quality_, &QSlider::valueChanged, this, [this](int v) {
    qualityValue_->setNum(v);
    if (!settingQuality_) qualityTouched_ = true;
  });
  connect(loopForever_, &QCheckBox::toggled, this, &CExportDlg::ApplyEnableRule);
  connect(browse, &QPushButton::clicked, this, [this] {
    QString chosen = browse_ ? browse_(path_->text()) : QString();
    if (chosen.isEmpty()) return;
    path_->setText(chosen);
    PathEdited();
  });
  connect(export_, &QPushButton::clicked, this, &CExportDlg::DoExport);
  connect(cancel_, &QPushButton::clicked, this, &CExportDlg::reject);
  connect(open_, &QPushButton::clicked, this,
          [this] { opener_(QUrl::fromLocalFile(QString::fromStdString(made_))); });
  connect(folder_, &QPushButton::clicked, this, [this] {
    opener_(QUrl::fromLocalFile(QFileInfo(QString::fromStdString(made_)).absolutePath()));
  });

  const std::string title = doc.GetPathName().empty() ? "animation" : PathTitle(doc.GetPathName());
  path_->setText(QString::fromStdString(doc.sSavePath + title + ".mp4"));
  PathEdited();
}

ExportOptions CExportDlg::options() const {
  ExportOptions o;
  if (qualityTouched_) o.quality = quality_->value();
  o.plays = loopForever_->isChecked() ? 0 : plays_->value();
  o.sound = sound_->isChecked();
  return o;
}

void CExportDlg::reject() {
  if (running_) requestCancel();
  else QDialog::reject();
}

void CExportDlg::PathEdited() {
  if (auto f = ExportFormatFromPath(path_->text().toStdString())) format_->setCurrentIndex(IndexOf(*f));
  ShowDefaultQuality();
  ApplyEnableRule();
}

void CExportDlg::FormatChosen(int index) {
  QString path = path_->text();
  const QString ext = QString::fromLatin1(kFormats[index].extension);
  const int dot = path.lastIndexOf('.');
  const int slash = path.lastIndexOf('/');
  path = (dot > slash ? path.left(dot) : path) + '.' + ext;
  path_->setText(path);
  ShowDefaultQuality();
  ApplyEnableRule();
}

void CExportDlg::ShowDefaultQuality() {
  if (qualityTouched_) return;
  settingQuality_ = true;
  quality_->setValue(DefaultQuality(kFormats[format_->currentIndex()].format));
  qualityValue_->setNum(quality_->value());
  settingQuality_ = false;
}

void CExportDlg::ApplyEnableRule() {
  const ExportFormat f = kFormats[format_->currentIndex()].format;
  const bool idle = !running_;
  path_->setEnabled(idle);
  format_->setEnabled(idle);
  quality_->setEnabled(idle && ExportUsesQuality(f));
  loopForever_->setEnabled(idle && ExportLoops(f));
  plays_->setEnabled(idle && ExportLoops(f) && !loopForever_->isChecked());
  sound_->setEnabled(idle && ExportCarriesSound(f) && !doc_.sSoundFile.empty());
  export_->setEnabled(idle && !path_->text().trimmed().isEmpty());
  open_->setEnabled(idle && exported_);
  folder_->setEnabled(idle && exported_);
}

void CExportDlg::DoExport() {
  const std::string path = path_->text().trimmed().toStdString();
  running_ = true;
  cancelRequested_ = false;
  exported_ = false;
  ApplyEnableRule();
  bool ok;
  {
    DialogHost host(doc_.host(), *this);
    ok = run_(path, options(), host);
  }
  running_ = false;
  exported_ = ok;
  if (ok) made_ = path;
  if (!ok) progress_->setValue(0);
  ApplyEnableRule();
}

void ExportCommand(CMainFrame& frame) {
  CExportDlg dialog(frame.doc(), &frame);
  dialog.exec();
}

}  // namespace zr
