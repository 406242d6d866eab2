#include "gui/merge_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/file_dialogs.h"
#include "output/merge.h"
#include "platform/host.h"
#include "platform/paths.h"
#include "ui/dialog_flags.h"
#include "ui/path_field.h"

namespace zr {

CMergeDlg::CMergeDlg(Host& host, SettingsFile& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
  SetDialogFlags(this);
  setWindowTitle(tr("Merge AVI with AVI / MIDI / WAV"));
  setObjectName(QStringLiteral("mergeDialog"));
  setMinimumWidth(440);
  auto* layout = new QVBoxLayout(this);
  auto addStep = [&](const QString& label, PathRule rule) {
    layout->addWidget(new QLabel(label, this));
    auto* field = new CPathField(rule, false, this);
    layout->addWidget(field);
    connect(field, &CPathField::pathChanged, this, &CMergeDlg::ApplyEnableRule);
    return field;
  };
  video_ = addStep(tr("Step 1: Select input file (AVI animation)"), PathRule::ExistingFile);
  sound_ = addStep(tr("Step 2: Select sound file to merge it with (AVI, MIDI or WAV)"), PathRule::ExistingFile);
  output_ = addStep(tr("Step 3: Specify the name of the output file (AVI)"), PathRule::NewFile);
  video_->setObjectName(QStringLiteral("mergeVideo"));
  sound_->setObjectName(QStringLiteral("mergeSound"));
  output_->setObjectName(QStringLiteral("mergeOutput"));

  auto* buttons = new QDialogButtonBox(this);
  doIt_ = buttons->addButton(tr("&Do it!"), QDialogButtonBox::AcceptRole);
  doIt_->setEnabled(false);
  buttons->addButton(tr("&Cancel"), QDialogButtonBox::RejectRole);
  connect(doIt_, &QPushButton::clicked, this, &CMergeDlg::DoIt);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  browse_ = [this](const std::string& filter, const std::string& ext, bool open, const QString& title) {
    return BrowseForFile(this, settings_, filter, ext, open, title);
  };
  merge_ = [&host](const std::string& v, const std::string& s, const std::string& o) {
    return MergeCommand(host, v, s, o);
  };
  auto chooser = [this](const char* filter, const char* ext, bool open, const QString& title) {
    return [this, filter, ext, open, title] {
      return QString::fromStdString(browse_ ? browse_(filter, ext, open, title) : std::string());
    };
  };
  video_->chooser = chooser("Animation Files|*.avi||", "avi", true, tr("Choose the AVI to add a sound to"));
  sound_->chooser = chooser("Multimedia Files|*.wav; *.avi; *.mid||", "wav", true, tr("Choose the sound to merge"));
  output_->chooser = chooser("Animation Files|*.avi||", "avi", false, tr("Save the merged AVI as"));
}

QString CMergeDlg::outputPath() const { return output_->text(); }

void CMergeDlg::ApplyEnableRule() {
  doIt_->setEnabled(video_->valid() && sound_->valid() && output_->valid());
}

void CMergeDlg::DoIt() {
  // Out of the way first: a hidden dialog no longer blocks the merge's progress window.
  hide();
  const bool ok = merge_ && merge_(video_->text().toStdString(), sound_->text().toStdString(),
                                   output_->text().toStdString());
  merged_ = ok;  // the merge has told the user what went wrong
  accept();
}

}  // namespace zr
