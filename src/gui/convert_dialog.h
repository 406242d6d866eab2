// "AVI -> MP&G Converter...": the dialog that collects the AVI files, the output folder
// and the extension, and the adapter that turns the batch's reports into calls on the
// conversion progress window.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "mpeg/engine.h"
#include "platform/host.h"
#include "platform/paths.h"

class QPushButton;
class QRadioButton;
class QCheckBox;

namespace zr {

class SettingsFile;

class CPathField;

class ConvertAviDialog : public QDialog {
  Q_OBJECT
 public:
  // The high-quality choice starts as `settings` last stored it.
  explicit ConvertAviDialog(const SettingsFile& settings, QWidget* parent = nullptr);

  const std::vector<std::string>& files() const { return files_; }
  // Empty: each output beside its input.
  const std::string& outputFolder() const { return folder_; }
  // ".mpg" or ".mpeg".
  std::string extension() const;
  bool highQuality() const;

  // The choosers, replaceable for tests: the multi-select AVI chooser (empty = cancelled)
  // and the folder chooser (empty = cancelled).
  std::function<std::vector<std::string>(QWidget*)> chooseFiles;
  std::function<std::string(QWidget*, const std::string& start)> chooseFolder;

  QPushButton* filesButton() const { return filesButton_; }
  CPathField* folderField() const { return folderField_; }
  QPushButton* doItButton() const { return doIt_; }
  QRadioButton* mpegButton() const { return mpeg_; }

 private:
  void OnFiles();
  void ApplyEnableRule();

  std::vector<std::string> files_;
  std::string folder_;
  QPushButton *filesButton_, *doIt_;
  CPathField* folderField_;
  QRadioButton *mpg_, *mpeg_;
  QCheckBox* highQuality_;
};

// After a batch: when some file was abandoned for a precise reason, one box "N of M files
// not converted" whose details hold the reasons ("NAME: REASON" a line, as the command
// line prints them). The log already holds each file's line, so nothing else is shown.
void ShowConversionFailures(Host& host, size_t files, int converted,
                            const std::vector<std::string>& details);

// Adapts a progress window with the operations Begin(bool), AppendLine(text),
// SetFrame(int), SetPercent(int) and SetOutput(path) (texts as QString or std::string)
// to the batch's reporting.
template <class Window>
class ProgressWindowSink : public mpeg::ConvertProgress {
 public:
  explicit ProgressWindowSink(Window& window, Host* host = nullptr) : w_(window), host_(host) {}
  void Alert(const std::string& text) override {
    if (host_) host_->Message(text);
    else Line(text);
  }
  void Line(const std::string& text) override {
    if constexpr (requires(Window& w) { w.AppendLine(QString()); })
      w_.AppendLine(QString::fromStdString(text));
    else
      w_.AppendLine(text);
  }
  void Frame(int n) override { w_.SetFrame(n); }
  void Percent(int p) override { w_.SetPercent(p); }
  // The window's Cancel reaches the engine through the host's long-work state.
  bool CancelRequested() override { return host_ && host_->CancelRequested(); }
  void Begin(bool clear) override { w_.Begin(clear); }
  void SetOutput(const std::string& path) override {
    if constexpr (requires(Window& w) { w.SetOutput(QString()); })
      w_.SetOutput(QString::fromStdString(path));
    else
      w_.SetOutput(path);
  }
  void FailureDetail(const std::string& input, const std::string& detail) override {
    details_.push_back(PathFileName(input) + ": " + detail);
  }
  // "NAME: REASON" of each file abandoned for a precise reason, in batch order.
  const std::vector<std::string>& failureDetails() const { return details_; }

 private:
  Window& w_;
  Host* host_;
  std::vector<std::string> details_;
};

}  // namespace zr
