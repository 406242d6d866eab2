// File > Export...: the output path and format, a quality slider, loop or play count for
// the animated images, "Include sound" for the videos; progress with Cancel, then "Open"
// and "Show folder" for the made file.
#pragma once

#include <functional>
#include <string>

#include <QDialog>
#include <QUrl>

#include "output/export.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSlider;
class QSpinBox;

namespace zr {

class CMainFrame;
class CTorvexerDoc;

class CExportDlg : public QDialog {
  Q_OBJECT

 public:
  // Runs the export (ExportProject by default), reporting to `host`: the dialog's own.
  using Run = std::function<bool(const std::string& path, const ExportOptions& options, Host& host)>;
  using Browse = std::function<QString(const QString& start)>;
  using Opener = std::function<void(const QUrl& url)>;

  explicit CExportDlg(CTorvexerDoc& doc, QWidget* parent = nullptr);

  void setRun(Run run) { run_ = std::move(run); }
  void setBrowse(Browse browse) { browse_ = std::move(browse); }
  void setOpener(Opener opener) { opener_ = std::move(opener); }

  QLineEdit* pathEdit() const { return path_; }
  QComboBox* formatBox() const { return format_; }
  QSlider* qualitySlider() const { return quality_; }
  QCheckBox* loopForeverBox() const { return loopForever_; }
  QSpinBox* playsBox() const { return plays_; }
  QCheckBox* soundBox() const { return sound_; }
  QPushButton* exportButton() const { return export_; }
  QPushButton* cancelButton() const { return cancel_; }
  QPushButton* openButton() const { return open_; }
  QPushButton* folderButton() const { return folder_; }
  QProgressBar* progressBar() const { return progress_; }

  ExportOptions options() const;
  bool exported() const { return exported_; }
  // True between the start of an export and its end.
  bool running() const { return running_; }
  void requestCancel() { cancelRequested_ = true; }
  // Escape and Cancel stop a running export instead of closing over it.
  void reject() override;

 private:
  class DialogHost;
  void PathEdited();
  void FormatChosen(int index);
  void ApplyEnableRule();
  void ShowDefaultQuality();
  void DoExport();

  CTorvexerDoc& doc_;
  QLineEdit* path_;
  QComboBox* format_;
  QSlider* quality_;
  QLabel* qualityValue_;
  QCheckBox* loopForever_;
  QSpinBox* plays_;
  QCheckBox* sound_;
  QProgressBar* progress_;
  QPushButton* export_;
  QPushButton* cancel_;
  QPushButton* open_;
  QPushButton* folder_;
  Run run_;
  Browse browse_;
  Opener opener_;
  bool qualityTouched_ = false;
  bool settingQuality_ = false;
  bool exported_ = false;
  bool running_ = false;
  bool cancelRequested_ = false;
  std::string made_;
};

// The File > Export... command.
void ExportCommand(CMainFrame& frame);

}  // namespace zr
