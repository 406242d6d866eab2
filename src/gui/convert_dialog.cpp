#include "gui/convert_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/settings_file.h"
#include "app/settings_keys.h"
#include "platform/host.h"
#include "ui/dialog_flags.h"
#include "ui/folder_dialog.h"
#include "ui/path_field.h"

namespace zr {

namespace {

std::vector<std::string> ChooseAviFiles(QWidget* parent) {
  QStringList names = QFileDialog::getOpenFileNames(parent, QObject::tr("Choose AVI files to convert"), QString(),
                                                    QStringLiteral("Video Files (*.avi)"));
  std::vector<std::string> out;
  for (const QString& n : names) out.push_back(n.toStdString());
  return out;
}

std::string ChooseOutputFolder(QWidget* parent, const std::string& start) {
  return CFolderDialog::GetFolder(parent, QStringLiteral("Select MPG output folder"),
                                  QString::fromStdString(start))
      .toStdString();
}

}  // namespace

ConvertAviDialog::ConvertAviDialog(const SettingsFile& settings, QWidget* parent)
    : QDialog(parent), chooseFiles(ChooseAviFiles), chooseFolder(ChooseOutputFolder) {
  SetDialogFlags(this);
  setWindowTitle(QStringLiteral("Convert AVI to MPG"));
  auto* layout = new QVBoxLayout(this);

  layout->addWidget(new QLabel(QStringLiteral("Step 1: Select one or more input files (AVI)")));
  filesButton_ = new QPushButton;
  filesButton_->setObjectName(QStringLiteral("button1031"));
  filesButton_->setMinimumHeight(28);
  layout->addWidget(filesButton_);

  layout->addWidget(new QLabel(QStringLiteral(
      "Step 2: Specify the output directory, or leave blank to save in the input directory")));
  folderField_ = new CPathField(PathRule::ExistingFolder, true);
  folderField_->setObjectName(QStringLiteral("field1032"));
  layout->addWidget(folderField_);

  auto* extRow = new QHBoxLayout;
  extRow->addWidget(new QLabel(QStringLiteral("Extension to append:")));
  mpg_ = new QRadioButton(QStringLiteral("MPG"));
  mpeg_ = new QRadioButton(QStringLiteral("MPEG"));
  mpg_->setChecked(true);
  auto* group = new QButtonGroup(this);
  group->addButton(mpg_, 0);
  group->addButton(mpeg_, 1);
  extRow->addWidget(mpg_);
  extRow->addWidget(mpeg_);
  extRow->addStretch();
  layout->addLayout(extRow);

  auto* note = new QLabel(QStringLiteral(
      "Note: MPG supports 10, 12, 15, 23.976, 24, 25, 29.97, or 30 FPS. AVI-s with different "
      "frame rates will be converted to 23.976 FPS and some quality loss can be expected."));
  note->setWordWrap(true);
  layout->addWidget(note);

  highQuality_ = new QCheckBox(QStringLiteral("High quality (slower)"));
  std::string stored;
  highQuality_->setChecked(settings.ReadString(kSectionConverter, kKeyHighQuality, stored) &&
                           stored == "1");
  layout->addWidget(highQuality_);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  doIt_ = new QPushButton(QStringLiteral("&Do it!"));
  doIt_->setDefault(true);
  doIt_->setEnabled(false);
  auto* cancel = new QPushButton(QStringLiteral("&Cancel"));
  buttons->addWidget(doIt_);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  setMinimumWidth(480);

  connect(filesButton_, &QPushButton::clicked, this, [this] { OnFiles(); });
  folderField_->chooser = [this] {
    return QString::fromStdString(chooseFolder(this, folderField_->text().toStdString()));
  };
  connect(folderField_, &CPathField::pathChanged, this, [this](const QString& folder) {
    folder_ = folder.trimmed().toStdString();
    ApplyEnableRule();
  });
  connect(doIt_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

std::string ConvertAviDialog::extension() const { return mpeg_->isChecked() ? ".mpeg" : ".mpg"; }

bool ConvertAviDialog::highQuality() const { return highQuality_->isChecked(); }

void ConvertAviDialog::OnFiles() {
  std::vector<std::string> chosen = chooseFiles(this);
  if (chosen.empty()) return;  // cancelled: nothing changes
  mpeg::AddChosenFiles(files_, chosen);
  filesButton_->setText(QStringLiteral("Number of files selected: %1").arg(files_.size()));
  ApplyEnableRule();
}

void ConvertAviDialog::ApplyEnableRule() { doIt_->setEnabled(!files_.empty() && folderField_->valid()); }

void ShowConversionFailures(Host& host, size_t files, int converted,
                            const std::vector<std::string>& details) {
  if (details.empty()) return;
  std::string lines;
  for (const std::string& line : details) lines += (lines.empty() ? "" : "\n") + line;
  host.MessageWithDetails(std::to_string(files - size_t(converted)) + " of " +
                              std::to_string(files) + " files not converted",
                          lines);
}

}  // namespace zr
