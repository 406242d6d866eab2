#include "gui/tool_dialogs.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "app/document.h"
#include "app/settings_file.h"
#include "gui/file_dialogs.h"
#include "gui/main_frame.h"
#include "image/cbmp.h"
#include "output/morph.h"
#include "platform/host.h"
#include "platform/paths.h"
#include "ui/dialog_flags.h"
#include "ui/folder_dialog.h"
#include "ui/path_field.h"

namespace zr {

namespace {

constexpr const char* kImageFilter =
    "Image Files|*.bmp; *.dib; *.gif; *.jpeg; *.jpg; *.pcx; *.png; *.rle; *.tga; *.tif; *.tiff||";

// Shows the window's new contents now, and lets its Cancel be pressed: long operations
// run on this thread, with input elsewhere blocked (LongWork).
void PaintNow(QWidget* w) {
  w->repaint();
  QApplication::processEvents();
}

}  // namespace

// ---------------------------------------------------------------- Quick AVI Create

CQuickAviDlg::CQuickAviDlg(SettingsFile& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
  SetDialogFlags(this);
  setWindowTitle(tr("Quick AVI Create"));
  setObjectName(QStringLiteral("quickAviDialog"));
  setMinimumWidth(520);
  auto* layout = new QVBoxLayout(this);
  auto text = [&](const QString& t) {
    auto* l = new QLabel(t, this);
    l->setWordWrap(true);
    layout->addWidget(l);
  };
  text(tr("Quick AVI Create is for creating big AVI-s consisting of thousands of frames."));
  text(tr("Step 1: Create a folder and store all of the images there. Images must be named "
          "Img0001.???, Img0002.???, etc., where ??? is one of the supported formats: \n"
          "bmp, dib, gif, jpg/jpeg, pcx, png, rle, tga, or tif/tiff."));
  text(tr("Step 2: Specify the folder where images are located:"));
  folder_ = new CPathField(PathRule::ExistingFolder, false, this);
  layout->addWidget(folder_);
  text(tr("Step 3 (optional): Specify the sound file:"));
  sound_ = new CPathField(PathRule::ExistingFile, true, this);
  layout->addWidget(sound_);
  auto* buttons = new QDialogButtonBox(this);
  create_ = buttons->addButton(tr("Create AVI!"), QDialogButtonBox::AcceptRole);
  create_->setEnabled(false);
  buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
  layout->addWidget(buttons);

  chooseFolder = [this] {
    return CFolderDialog::GetFolder(this, tr("Select folder with images"), folder_->text());
  };
  chooseSound = [this] {
    return BrowseForFile(this, settings_, "Sound Files|*.wav; *.mid||", "wav", true, tr("Choose the sound file"));
  };
  folder_->chooser = [this] { return chooseFolder ? chooseFolder() : QString(); };
  sound_->chooser = [this] { return QString::fromStdString(chooseSound ? chooseSound() : std::string()); };
  auto enable = [this] { create_->setEnabled(folder_->valid() && sound_->valid()); };
  connect(folder_, &CPathField::pathChanged, this, enable);
  connect(sound_, &CPathField::pathChanged, this, enable);
  connect(create_, &QPushButton::clicked, this, [this] {
    if (folder_->valid() && sound_->valid()) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

std::string CQuickAviDlg::folder() const { return folder_->text().toStdString(); }
std::string CQuickAviDlg::soundFile() const { return sound_->text().toStdString(); }

// ---------------------------------------------------------------- Morphing

CMorphDlg::CMorphDlg(CTorvexerDoc& doc, QWidget* parent) : QDialog(parent), doc_(doc) {
  SetDialogFlags(this);
  setWindowTitle(tr("Morphing"));
  setObjectName(QStringLiteral("morphDialog"));
  setMinimumWidth(520);
  if (!doc_.settings().ReadString("Morph", "Dir", folder_) || folder_.empty())
    folder_ = doc_.programFolder() + "Morph";
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(tr("Step 1: Select the image to morph from:"), this));
  from_ = new CPathField(PathRule::ExistingFile, false, this);
  layout->addWidget(from_);
  layout->addWidget(new QLabel(tr("Step 2: Select the image to morph into:"), this));
  to_ = new CPathField(PathRule::ExistingFile, false, this);
  layout->addWidget(to_);
  auto* stepsRow = new QHBoxLayout;
  stepsRow->addWidget(new QLabel(tr("Step 3: Specify the number of in-between steps (1-254):"), this));
  stepsEdit_ = new QLineEdit(QStringLiteral("20"), this);
  stepsEdit_->setMaximumWidth(60);
  stepsRow->addWidget(stepsEdit_);
  layout->addLayout(stepsRow);
  auto* group = new QGroupBox(tr("Step 4: What to do with the generated images?"), this);
  auto* groupLayout = new QVBoxLayout(group);
  const char* captions[3] = {"Start a new animation", "Append to the current animation",
                             "Just make the images"};
  for (int i = 0; i < 3; ++i) {
    outcomes_[i] = new QRadioButton(tr(captions[i]), group);
    groupLayout->addWidget(outcomes_[i]);
  }
  outcomes_[0]->setChecked(true);
  layout->addWidget(group);
  layout->addWidget(new QLabel(tr("Step 5: Specify the folder for the generated images"), this));
  folderField_ = new CPathField(PathRule::CreatableFolder, false, this);
  folderField_->setText(QString::fromStdString(folder_));
  layout->addWidget(folderField_);
  auto* startRow = new QHBoxLayout;
  auto* startLabel = new QLabel(
      tr("Step 6: Images will be stored as Img0001.bmp, Img0002.bmp, etc. starting with:"), this);
  startLabel->setWordWrap(true);
  startRow->addWidget(startLabel);
  startEdit_ = new QLineEdit(QStringLiteral("1"), this);
  startEdit_->setMaximumWidth(60);
  startRow->addWidget(startEdit_);
  layout->addLayout(startRow);

  auto* buttons = new QDialogButtonBox(this);
  morph_ = buttons->addButton(tr("&Morph"), QDialogButtonBox::AcceptRole);
  morph_->setEnabled(false);
  buttons->addButton(tr("&Cancel"), QDialogButtonBox::RejectRole);
  auto* tips = buttons->addButton(tr("Tips on Morphing"), QDialogButtonBox::HelpRole);
  layout->addWidget(buttons);

  chooseImage = [this] { return BrowseForFile(this, doc_.settings(), kImageFilter, "bmp", true, tr("Choose an image to morph")); };
  chooseFolder = [this] {
    return CFolderDialog::GetFolder(this, tr("Select folder to store the images"),
                                    QString::fromStdString(folder_));
  };
  from_->chooser = [this] { return QString::fromStdString(chooseImage ? chooseImage() : std::string()); };
  to_->chooser = from_->chooser;
  folderField_->chooser = [this] { return chooseFolder ? chooseFolder() : QString(); };
  connect(from_, &CPathField::pathChosen, this, [this](const QString& p) {
    if (p.toStdString() != fromChecked_) ChooseFrom(p.toStdString());
  });
  connect(to_, &CPathField::pathChosen, this, [this](const QString& p) {
    if (!p.isEmpty() && p.toStdString() != toChecked_) ChooseTo(p.toStdString());
  });
  for (CPathField* field : {from_, to_, folderField_})
    connect(field, &CPathField::pathChanged, this, &CMorphDlg::ButtonCheck);
  connect(folderField_, &CPathField::pathChanged, this, [this](const QString& f) { folder_ = f.toStdString(); });
  connect(tips, &QPushButton::clicked, this, [] { OpenHelp("#effects"); });
  connect(morph_, &QPushButton::clicked, this, &CMorphDlg::Morph);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void CMorphDlg::ChooseFrom(const std::string& path) {
  CBmp image;
  fromW_ = fromH_ = 0;
  fromChecked_ = path;
  if (image.Load(path)) image.GetSize(fromW_, fromH_);
  from_->setText(QString::fromStdString(path));
  SizeCheck();
  ButtonCheck();
}

void CMorphDlg::ChooseTo(const std::string& path) {
  toChecked_ = path;
  to_->setText(QString::fromStdString(path));
  CBmp image;
  toW_ = toH_ = 0;
  if (image.Load(path)) image.GetSize(toW_, toH_);
  SizeCheck();
  ButtonCheck();
}

void CMorphDlg::SizeCheck() {
  if (toW_ != 0 && (toW_ != fromW_ || toH_ != fromH_)) {
    doc_.host().Message("Removing the second image: both images must be the same size.", {},
                      MessageKind::Warning);
    toW_ = toH_ = 0;
    toChecked_.clear();
    to_->setText(QString());
  }
}

void CMorphDlg::ButtonCheck() {
  morph_->setEnabled(from_->valid() && to_->valid() && folderField_->valid());
}

void CMorphDlg::Morph() {
  doc_.settings().WriteString("Morph", "Dir", folder_);
  doc_.settings().Save();
  std::string problem = CheckMorphPaths(fromPath(), toPath());
  if (!problem.empty()) {
    doc_.host().Message(problem);
    return;
  }
  steps_ = MorphStepsFromText(stepsEdit_->text().toStdString());
  start_ = MorphStartFromText(startEdit_->text().toStdString());
  // Earlier morphs' images may be frames of a saved project: replace them only when told.
  const std::vector<std::string> existing = MorphFilesToReplace(folder_, steps_, start_);
  if (!existing.empty() && !doc_.host().AskYesNo(ReplaceQuestion(existing.size(), folder_, false)))
    return;
  accept();
}

std::string CMorphDlg::fromPath() const { return from_->text().toStdString(); }
std::string CMorphDlg::toPath() const { return to_->text().toStdString(); }
int CMorphDlg::outcome() const {
  for (int i = 0; i < 3; ++i)
    if (outcomes_[i]->isChecked()) return i;
  return 0;
}

// ---------------------------------------------------------------- extraction progress

CExtractProgressDlg::CExtractProgressDlg(QWidget* parent) : QDialog(parent) {
  SetDialogFlags(this);
  setWindowTitle(tr("Progress"));
  setObjectName(QStringLiteral("extractProgress"));
  setMinimumWidth(360);
  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel(tr("Reading:"), this), 0, 0);
  reading_ = new QLabel(this);
  grid->addWidget(reading_, 0, 1);
  grid->addWidget(new QLabel(tr("Writing:"), this), 1, 0);
  writing_ = new QLabel(this);
  grid->addWidget(writing_, 1, 1);
  bar_ = new QProgressBar(this);
  grid->addWidget(bar_, 2, 0, 1, 2);
  cancel_ = new QPushButton(tr("Cancel"), this);
  cancel_->setObjectName(QStringLiteral("extractCancel"));
  grid->addWidget(cancel_, 3, 1, Qt::AlignRight);
  connect(cancel_, &QPushButton::clicked, this, [this] { cancel_->setEnabled(false); });
}

void CExtractProgressDlg::reject() {
  if (cancel_->isEnabled()) cancel_->click();
}

void CExtractProgressDlg::Open(int, int frameCount) {
  cancel_->setEnabled(true);
  bar_->setRange(0, frameCount > 0 ? frameCount : 1);
  bar_->setValue(0);
  reading_->clear();
  writing_->clear();
  show();
  PaintNow(this);
}

void CExtractProgressDlg::Update(int frameNumber, const std::string& fileName) {
  reading_->setText(QString::number(frameNumber));
  writing_->setText(QString::fromStdString(fileName));
  bar_->setValue(frameNumber);
  PaintNow(this);
}

void CExtractProgressDlg::Close() { hide(); }

// ---------------------------------------------------------------- conversion progress

CConvertProgressDlg::CConvertProgressDlg(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(tr("Progress"));
  setObjectName(QStringLiteral("convertProgress"));
  setModal(false);
  resize(560, 320);
  auto* layout = new QVBoxLayout(this);
  log_ = new QPlainTextEdit(this);
  log_->setReadOnly(true);
  log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  layout->addWidget(log_);
  bar_ = new QProgressBar(this);
  bar_->setRange(0, 100);
  layout->addWidget(bar_);
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(tr("Frame:"), this));
  frame_ = new QLabel(QStringLiteral("0"), this);
  row->addWidget(frame_);
  row->addStretch();
  run_ = new QPushButton(tr("&Run"), this);
  run_->setEnabled(false);
  row->addWidget(run_);
  cancel_ = new QPushButton(tr("&Cancel"), this);
  cancel_->setObjectName(QStringLiteral("convertCancel"));
  cancel_->setEnabled(false);
  row->addWidget(cancel_);
  close_ = new QPushButton(tr("Cl&ose"), this);
  row->addWidget(close_);
  layout->addLayout(row);
  connect(close_, &QPushButton::clicked, this, &QWidget::hide);
  connect(cancel_, &QPushButton::clicked, this, [this] {
    cancelled_ = true;
    cancel_->setEnabled(false);
  });
  connect(run_, &QPushButton::clicked, this, [this] {
    if (!output_.empty() && FileExists(output_) && showAnimation) showAnimation(output_);
  });
}

void CConvertProgressDlg::Begin(bool clear) {
  close_->setEnabled(!clear);
  cancel_->setEnabled(clear);
  if (clear) {
    cancelled_ = false;
    bar_->setValue(0);
    frame_->setText(QStringLiteral("0"));
    log_->clear();
    run_->setEnabled(false);
  } else {
    // The window keeps the frames coded and shows the batch complete.
    if (!cancelled_) bar_->setValue(100);
    log_->verticalScrollBar()->setValue(log_->verticalScrollBar()->maximum());
    run_->setEnabled(true);
  }
}

void CConvertProgressDlg::NoteCancelled() {
  if (!log_->toPlainText().endsWith(QStringLiteral("Cancelled"))) AppendLine("Cancelled");
}

QString CConvertProgressDlg::frameText() const { return frame_->text(); }
int CConvertProgressDlg::percent() const { return bar_->value(); }

void CConvertProgressDlg::AppendLine(const std::string& text) {
  if (isHidden()) show();
  log_->appendPlainText(QString::fromStdString(text));
  log_->verticalScrollBar()->setValue(log_->verticalScrollBar()->maximum());
  PaintNow(this);
}

void CConvertProgressDlg::SetPercent(int percent) { bar_->setValue(percent); }

void CConvertProgressDlg::SetFrame(int frame) {
  frame_->setText(QString::number(frame));
  PaintNow(frame_);
}

QString CConvertProgressDlg::logText() const { return log_->toPlainText(); }

}  // namespace zr
