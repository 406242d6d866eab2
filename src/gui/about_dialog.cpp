#include "gui/about_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "gui/help_window.h"
#include "gui/icons.h"
#include "ui/hyperlink.h"
#include "ui/dialog_flags.h"

namespace zr {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  SetDialogFlags(this);
  setWindowTitle(tr("About Wombrel Zerarive"));
  setObjectName(QStringLiteral("aboutDialog"));
  auto* layout = new QHBoxLayout(this);
  auto* icon = new QLabel(this);
  icon->setPixmap(ProgramIconPixmap(64));
  icon->setAlignment(Qt::AlignTop);
  layout->addWidget(icon);
  auto* text = new QVBoxLayout;
  auto* title = new QLabel(QStringLiteral("<b>Wombrel Zerarive</b> version 0.1"), this);
  text->addWidget(title);
  text->addWidget(new QLabel(tr("Still images to AVI animations, with sound and a logo;\n"
                                "AVI tools and an AVI to MPEG-1 converter."),
                             this));
  const QUrl site(QString::fromLatin1(kWebAddress));
  if (!site.isEmpty()) text->addWidget(new CHyperLink(site.host(), site, this));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  text->addWidget(buttons);
  layout->addLayout(text);
}

}  // namespace zr
