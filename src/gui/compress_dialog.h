// The compression options of the AVIs the program makes: the compressor the AVI layer
// offers, and its quality, key-frame interval and data rate where it has them.
#pragma once

#include <QDialog>

#include "platform/avifile/avifile.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QSlider;
class QSpinBox;

namespace zr {

class CCompressOptionsDlg : public QDialog {
  Q_OBJECT

 public:
  // Edits a copy; Apply writes it into `options` (accept() does so).
  CCompressOptionsDlg(const AVICOMPRESSOPTIONS& options, QWidget* parent = nullptr);

  void Apply(AVICOMPRESSOPTIONS& options) const;

  QComboBox* compressorBox() const { return compressor_; }
  QSlider* qualitySlider() const { return quality_; }
  QCheckBox* keyFrameBox() const { return keyFrames_; }
  QSpinBox* keyFrameSpin() const { return keyFrameEvery_; }
  QCheckBox* dataRateBox() const { return dataRate_; }
  QSpinBox* dataRateSpin() const { return dataRateKb_; }

 private:
  void OnCompressorChanged();
  const AviCompressor* Selected() const;

  QComboBox* compressor_;
  QLabel* qualityLabel_;
  QSlider* quality_;
  QCheckBox* keyFrames_;
  QSpinBox* keyFrameEvery_;
  QCheckBox* dataRate_;
  QSpinBox* dataRateKb_;
};

}  // namespace zr
