#include "gui/compress_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QVBoxLayout>
#include "ui/dialog_flags.h"

namespace zr {

CCompressOptionsDlg::CCompressOptionsDlg(const AVICOMPRESSOPTIONS& options, QWidget* parent)
    : QDialog(parent) {
  SetDialogFlags(this);
  setWindowTitle(tr("Video Compression"));
  setObjectName(QStringLiteral("compressDialog"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;

  compressor_ = new QComboBox(this);
  const auto& compressors = AviCompressors();
  int selected = -1;
  for (const AviCompressor& c : compressors) {
    QString label = QStringLiteral("%1 (%2)").arg(QString::fromStdString(c.name),
                                                  QString::fromStdString(FourCCToString(c.fourcc)).trimmed());
    if (!c.available) label += tr(" - not installed");
    compressor_->addItem(label, QVariant::fromValue<uint>(c.fourcc));
    if (!c.available) {
      // Listed so the user sees what exists, but not selectable.
      if (auto* model = qobject_cast<QStandardItemModel*>(compressor_->model()))
        model->item(compressor_->count() - 1)->setEnabled(false);
    }
    if (c.fourcc == options.fccHandler && c.available) selected = compressor_->count() - 1;
  }
  if (selected < 0)
    for (int i = 0; i < int(compressors.size()); ++i)
      if (compressors[size_t(i)].available) {
        selected = i;
        break;
      }
  form->addRow(tr("Compressor:"), compressor_);

  auto* qualityRow = new QHBoxLayout;
  quality_ = new QSlider(Qt::Horizontal, this);
  quality_->setRange(0, 100);
  const uint32_t q = options.dwQuality;
  quality_->setValue(q == 0xFFFFFFFFu ? 75 : int(std::min<uint32_t>(q, 10000) / 100));
  qualityLabel_ = new QLabel(this);
  qualityLabel_->setMinimumWidth(30);
  qualityRow->addWidget(quality_);
  qualityRow->addWidget(qualityLabel_);
  connect(quality_, &QSlider::valueChanged, this,
          [this](int v) { qualityLabel_->setText(QString::number(v)); });
  qualityLabel_->setText(QString::number(quality_->value()));
  form->addRow(tr("Compression quality:"), qualityRow);

  auto* keyRow = new QHBoxLayout;
  keyFrames_ = new QCheckBox(tr("&Key frame every"), this);
  keyFrameEvery_ = new QSpinBox(this);
  keyFrameEvery_->setRange(1, 10000);
  keyFrameEvery_->setValue(options.dwKeyFrameEvery ? int(std::min<uint32_t>(options.dwKeyFrameEvery, 10000)) : 20);
  keyFrames_->setChecked(options.dwFlags & AVICOMPRESSF_KEYFRAMES);
  keyRow->addWidget(keyFrames_);
  keyRow->addWidget(keyFrameEvery_);
  keyRow->addWidget(new QLabel(tr("frames"), this));
  keyRow->addStretch(1);
  form->addRow(keyRow);

  auto* rateRow = new QHBoxLayout;
  dataRate_ = new QCheckBox(tr("&Data rate"), this);
  dataRateKb_ = new QSpinBox(this);
  dataRateKb_->setRange(1, 1000000);
  dataRateKb_->setValue(options.dwBytesPerSecond ? int(std::min<uint32_t>(options.dwBytesPerSecond / 1024, 1000000)) : 300);
  dataRate_->setChecked(options.dwFlags & AVICOMPRESSF_DATARATE);
  rateRow->addWidget(dataRate_);
  rateRow->addWidget(dataRateKb_);
  rateRow->addWidget(new QLabel(tr("KB/sec"), this));
  rateRow->addStretch(1);
  form->addRow(rateRow);
  layout->addLayout(form);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  connect(compressor_, &QComboBox::currentIndexChanged, this, &CCompressOptionsDlg::OnCompressorChanged);
  connect(keyFrames_, &QCheckBox::toggled, keyFrameEvery_, &QWidget::setEnabled);
  connect(dataRate_, &QCheckBox::toggled, dataRateKb_, &QWidget::setEnabled);
  compressor_->setCurrentIndex(selected);
  OnCompressorChanged();
}

const AviCompressor* CCompressOptionsDlg::Selected() const {
  const int i = compressor_->currentIndex();
  const auto& compressors = AviCompressors();
  return i >= 0 && i < int(compressors.size()) ? &compressors[size_t(i)] : nullptr;
}

void CCompressOptionsDlg::OnCompressorChanged() {
  const AviCompressor* c = Selected();
  const bool quality = c && c->hasQuality;
  const bool keys = c && c->hasKeyFrames;
  const bool rate = c && c->hasDataRate;
  quality_->setEnabled(quality);
  qualityLabel_->setEnabled(quality);
  keyFrames_->setEnabled(keys);
  keyFrameEvery_->setEnabled(keys && keyFrames_->isChecked());
  dataRate_->setEnabled(rate);
  dataRateKb_->setEnabled(rate && dataRate_->isChecked());
}

void CCompressOptionsDlg::Apply(AVICOMPRESSOPTIONS& options) const {
  const AviCompressor* c = Selected();
  if (!c) return;
  options.fccType = streamtypeVIDEO;
  options.fccHandler = c->fourcc;
  if (c->hasQuality) options.dwQuality = uint32_t(quality_->value()) * 100;
  options.dwFlags |= AVICOMPRESSF_VALID;
  if (c->hasKeyFrames) {
    options.dwKeyFrameEvery = uint32_t(keyFrameEvery_->value());
    if (keyFrames_->isChecked())
      options.dwFlags |= AVICOMPRESSF_KEYFRAMES;
    else
      options.dwFlags &= ~AVICOMPRESSF_KEYFRAMES;
  }
  if (c->hasDataRate) {
    if (dataRate_->isChecked()) {
      options.dwFlags |= AVICOMPRESSF_DATARATE;
      options.dwBytesPerSecond = uint32_t(dataRateKb_->value()) * 1024;
    } else {
      options.dwFlags &= ~AVICOMPRESSF_DATARATE;
      options.dwBytesPerSecond = 0;
    }
  }
}

}  // namespace zr
