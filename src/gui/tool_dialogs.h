// Dialogs and progress windows of the AVI tools: Quick AVI Create, Morphing, the
// extraction progress window and the conversion progress window.
#pragma once

#include <functional>
#include <string>

#include <QDialog>

#include "output/extract.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace zr {

class CPathField;
class CTorvexerDoc;
class SettingsFile;

class CQuickAviDlg : public QDialog {
  Q_OBJECT
 public:
  // The sound chooser remembers its folder in `settings`.
  explicit CQuickAviDlg(SettingsFile& settings, QWidget* parent = nullptr);
  std::string folder() const;
  std::string soundFile() const;
  CPathField* folderField() const { return folder_; }
  CPathField* soundField() const { return sound_; }
  QPushButton* createButton() const { return create_; }
  // Replaceable choosers (tests).
  std::function<QString()> chooseFolder;
  std::function<std::string()> chooseSound;

 private:
  SettingsFile& settings_;
  CPathField* folder_;
  CPathField* sound_;
  QPushButton* create_;
};

class CMorphDlg : public QDialog {
  Q_OBJECT
 public:
  // The dialog reads and stores its folder in the document's settings and speaks through its host.
  explicit CMorphDlg(CTorvexerDoc& doc, QWidget* parent = nullptr);
  // Results after OK.
  std::string fromPath() const;
  std::string toPath() const;
  std::string folder() const { return folder_; }
  int steps() const { return steps_; }
  int start() const { return start_; }
  int outcome() const;

  CPathField* fromField() const { return from_; }
  CPathField* toField() const { return to_; }
  CPathField* folderField() const { return folderField_; }
  QPushButton* morphButton() const { return morph_; }
  QLineEdit* stepsEdit() const { return stepsEdit_; }
  QLineEdit* startEdit() const { return startEdit_; }
  // Replaceable choosers (tests).
  std::function<std::string()> chooseImage;
  std::function<QString()> chooseFolder;
  // Called when a whole path arrives in one of the two image fields.
  void ChooseFrom(const std::string& path);
  void ChooseTo(const std::string& path);
  void Morph();

 private:
  void SizeCheck();
  void ButtonCheck();

  CTorvexerDoc& doc_;
  CPathField* from_;
  CPathField* to_;
  CPathField* folderField_;
  QPushButton* morph_;
  QLineEdit* stepsEdit_;
  QLineEdit* startEdit_;
  QRadioButton* outcomes_[3];
  std::string folder_;
  // The image paths whose sizes were last read, so leaving a field does not read again.
  std::string fromChecked_, toChecked_;
  int fromW_ = 0, fromH_ = 0, toW_ = 0, toH_ = 0;
  int steps_ = 20, start_ = 1;
};

// "Progress" of the extraction: "Reading:" frame number and "Writing:" file name.
class CExtractProgressDlg : public QDialog, public ExtractProgress {
  Q_OBJECT
 public:
  explicit CExtractProgressDlg(QWidget* parent = nullptr);
  void Open(int streamNumber, int frameCount) override;
  void Update(int frameNumber, const std::string& fileName) override;
  void Close() override;
  QPushButton* cancelButton() const { return cancel_; }

 protected:
  // Esc or the close button: Cancel, as the window may not vanish during the work.
  void reject() override;

 private:
  QLabel* reading_;
  QLabel* writing_;
  QProgressBar* bar_;
  QPushButton* cancel_;
};

// The converter's modeless log window. Hidden until the first line arrives.
class CConvertProgressDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CConvertProgressDlg(QWidget* parent = nullptr);
  // clear: start of a batch (log emptied; Run and Close disabled, Cancel enabled);
  // else end of a batch (Run and Close enabled, the bar full unless cancelled).
  void Begin(bool clear);
  // The batch was cancelled: says so in the log unless the batch already did.
  void NoteCancelled();
  void AppendLine(const std::string& text);
  void SetPercent(int percent);
  void SetFrame(int frame);
  void SetOutput(const std::string& path) { output_ = path; }
  const std::string& output() const { return output_; }
  QString logText() const;
  QPushButton* runButton() const { return run_; }
  QPushButton* closeButton() const { return close_; }
  QPushButton* cancelButton() const { return cancel_; }
  QString frameText() const;
  int percent() const;
  // Opens the remembered output in the preview (set by the main window).
  std::function<void(const std::string&)> showAnimation;

 private:
  QPlainTextEdit* log_;
  QProgressBar* bar_;
  QLabel* frame_;
  QPushButton* run_;
  QPushButton* close_;
  QPushButton* cancel_;
  bool cancelled_ = false;
  std::string output_;
};

}  // namespace zr
