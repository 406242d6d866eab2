#include "gui/logo_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "app/document.h"
#include "app/startup.h"
#include "gui/file_dialogs.h"
#include "gui/frame_panel.h"
#include "platform/host.h"
#include "ui/bitmap_button.h"
#include "ui/color_button.h"
#include "ui/dialog_flags.h"
#include "ui/path_field.h"

namespace zr {

std::optional<int> ParseDialogInteger(const QString& text) {
  static const QRegularExpression pattern(QStringLiteral("^\\s*([-+]?\\d{1,9})\\s*$"));
  auto match = pattern.match(text);
  if (!match.hasMatch()) return std::nullopt;
  return match.captured(1).toInt();
}

CLogoDlg::CLogoDlg(CTorvexerDoc& doc, QWidget* parent) : QDialog(parent), doc_(doc) {
  SetDialogFlags(this);
  setWindowTitle(tr("Company Logo"));
  setObjectName(QStringLiteral("logoDialog"));
  auto* layout = new QVBoxLayout(this);

  useLogo_ = new QCheckBox(tr("Add logo to all the frames"), this);
  layout->addWidget(useLogo_);

  auto* middle = new QHBoxLayout;
  logo_ = new CBmpBtn(QStringLiteral("U:<LOGO~"), this, LoadButtonImage);
  logo_->setMaxImageSize(QSize(160, 100));
  logo_->setMinimumSize(120, 80);
  logo_->setEmptyText(tr("Choose a logo..."));
  logo_->setToolTip(tr("Click to choose the logo image"));
  auto* picture = new QVBoxLayout;
  picture->addWidget(logo_);
  logoField_ = new CPathField(PathRule::ExistingFile, false, this);
  // "<LOGO" and the other built-in pictures are names, not files.
  logoField_->alsoValid = [](const QString& name) { return name.startsWith('<'); };
  picture->addWidget(logoField_);
  middle->addLayout(picture);

  auto* fields = new QGridLayout;
  fields->addWidget(new QLabel(tr("Position:"), this), 0, 0);
  x_ = new QLineEdit(this);
  y_ = new QLineEdit(this);
  x_->setMaximumWidth(50);
  y_->setMaximumWidth(50);
  auto* position = new QHBoxLayout;
  position->addWidget(x_);
  position->addWidget(new QLabel(QStringLiteral(","), this));
  position->addWidget(y_);
  position->addStretch(1);
  fields->addLayout(position, 0, 1);
  transparent_ = new QCheckBox(tr("Draw transparently"), this);
  fields->addWidget(transparent_, 1, 0, 1, 2);
  fields->addWidget(new QLabel(tr("Transparent colour:"), this), 2, 0);
  colour_ = new CColorBtn(Qt::black, this, CColorBtn::Picker::Popup16);
  fields->addWidget(colour_, 2, 1);
  fromLogo_ = new QCheckBox(tr("Get from logo (0, 0)"), this);
  fields->addWidget(fromLogo_, 3, 0, 1, 2);
  middle->addLayout(fields);
  layout->addLayout(middle);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, this, &CLogoDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CLogoDlg::reject);
  layout->addWidget(buttons);

  // Opening: the document's values; every control starts enabled.
  useLogo_->setChecked(doc_.bUseLogo != 0);
  transparent_->setChecked(doc_.bUseTransparent != 0);
  fromLogo_->setChecked(doc_.bColorFromLogo != 0);
  x_->setText(QString::number(doc_.nXPos));
  y_->setText(QString::number(doc_.nYPos));
  const ColorRef c = doc_.crTrans;
  colour_->setColour(QColor(GetR(c), GetG(c), GetB(c)));
  ShowLogo(QString::fromStdString(doc_.sLogoFile));

  chooseFile_ = [this] {
    return BrowseForFile(this, doc_.settings(),
                         "Image Files|*.bmp; *.dib; *.gif; *.jpeg; *.jpg; *.pcx; *.png; *.rle; "
                         "*.tga; *.tif; *.tiff||",
                         "bmp", true, tr("Choose the logo image"));
  };
  connect(useLogo_, &QCheckBox::clicked, this, &CLogoDlg::OnUseLogoClicked);
  connect(transparent_, &QCheckBox::clicked, this, &CLogoDlg::OnTransparentClicked);
  connect(logo_, &QPushButton::clicked, this, &CLogoDlg::OnLogoClicked);
  logoField_->chooser = [this] { return QString::fromStdString(chooseFile_ ? chooseFile_() : std::string()); };
  connect(logoField_, &CPathField::pathChanged, this, [this](const QString& name) {
    ok_->setEnabled(logoField_->valid() || !useLogo_->isChecked());
    if (logoField_->valid()) logo_->setCaption(QStringLiteral("U:%1~").arg(name));
  });
}

void CLogoDlg::ShowLogo(const QString& name) {
  logo_->setCaption(QStringLiteral("U:%1~").arg(name));
  logoField_->setText(name);
}

void CLogoDlg::OnUseLogoClicked() {
  const bool on = useLogo_->isChecked();
  x_->setEnabled(on);
  y_->setEnabled(on);
  transparent_->setEnabled(on);
  logo_->setEnabled(on);
  logoField_->setEnabled(on);
  ok_->setEnabled(logoField_->valid() || !on);
  const bool transparentOn = on && transparent_->isChecked();
  colour_->setEnabled(transparentOn);
  fromLogo_->setEnabled(transparentOn);
}

void CLogoDlg::OnTransparentClicked() {
  const bool on = transparent_->isChecked();
  colour_->setEnabled(on);
  fromLogo_->setEnabled(on);
}

void CLogoDlg::OnLogoClicked() {
  std::string path = chooseFile_ ? chooseFile_() : std::string();
  if (!path.empty()) ShowLogo(QString::fromStdString(path));
}

void CLogoDlg::accept() {
  // A refused position keeps the dialog open for correction instead of half-applying it.
  auto x = ParseDialogInteger(x_->text());
  auto y = ParseDialogInteger(y_->text());
  if (!x || !y) {
    doc_.host().Message("Please enter an integer.", {}, MessageKind::Warning);
    QLineEdit* bad = !x ? x_ : y_;
    bad->setFocus();
    bad->selectAll();
    return;
  }
  doc_.bUseLogo = useLogo_->isChecked() ? 1 : 0;
  doc_.bUseTransparent = transparent_->isChecked() ? 1 : 0;
  doc_.nXPos = int16_t(*x);
  doc_.nYPos = int16_t(*y);
  doc_.bColorFromLogo = fromLogo_->isChecked() ? 1 : 0;
  const QColor c = colour_->colour();
  doc_.crTrans = Rgb(uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue()));
  doc_.sLogoFile = logo_->imageName().toStdString();
  StoreLogoSettings(doc_);
  doc_.PrepareLogo();
  QDialog::accept();
}

}  // namespace zr
