// "Merge AVI with AVI / MIDI / WAV": an AVI, a sound file (AVI, MIDI or WAV) and the
// output AVI; "&Do it!" merges their streams.
#pragma once

#include <functional>
#include <string>

#include <QDialog>

#include "platform/host.h"

class QPushButton;

namespace zr {
class CPathField;
class SettingsFile;
}

namespace zr {

class CMergeDlg : public QDialog {
  Q_OBJECT

 public:
  using Browse = std::function<std::string(const std::string& filter, const std::string& ext,
                                           bool open, const QString& title)>;
  using Merge = std::function<bool(const std::string& video, const std::string& sound,
                                   const std::string& output)>;

  // The file chooser remembers its folder in `settings`.
  CMergeDlg(Host& host, SettingsFile& settings, QWidget* parent = nullptr);

  // Replaceable file chooser and merge (BrowseForFile and MergeCommand by default; the
  // merge reports its own failures).
  void setBrowse(Browse browse) { browse_ = std::move(browse); }
  void setMerge(Merge merge) { merge_ = std::move(merge); }

  CPathField* videoField() const { return video_; }
  CPathField* soundField() const { return sound_; }
  CPathField* outputField() const { return output_; }
  QPushButton* doItButton() const { return doIt_; }

  // After the dialog: whether the merge made the output (open it in the preview).
  bool merged() const { return merged_; }
  QString outputPath() const;

 private:
  void ApplyEnableRule();
  void DoIt();

  CPathField* video_;
  CPathField* sound_;
  CPathField* output_;
  QPushButton* doIt_;
  SettingsFile& settings_;
  Browse browse_;
  Merge merge_;
  bool merged_ = false;
};

}  // namespace zr
