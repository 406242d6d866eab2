#include "ui/color_button.h"

#include <QButtonGroup>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QPainter>
#include <QRegularExpression>
#include <QStyleOptionButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace zr {

CColorBtn::CColorBtn(QColor colour, QWidget* parent, Picker picker)
    : QPushButton(parent), colour_(colour), picker_(picker) {
  setMinimumSize(40, 22);
  connect(this, &QPushButton::clicked, this, &CColorBtn::Pick);
}

void CColorBtn::setColour(const QColor& colour) {
  if (colour == colour_) return;
  colour_ = colour;
  update();
  emit colourChanged(colour_);
}

QString CColorBtn::FormatCaption(const QColor& colour) {
  return QString::asprintf("W:R%dG%dB%d~", colour.red(), colour.green(), colour.blue());
}

std::optional<QColor> CColorBtn::ParseCaption(const QString& caption) {
  int start = caption.indexOf(QLatin1String("W:"));
  if (start < 0) return std::nullopt;
  static const QRegularExpression pattern(QStringLiteral("^R(-?\\d+)G(-?\\d+)B(-?\\d+)"));
  auto match = pattern.match(caption.mid(start + 2));
  if (!match.hasMatch()) return std::nullopt;
  auto channel = [&](int i) { return std::clamp(match.captured(i).toInt(), 0, 255); };
  return QColor(channel(1), channel(2), channel(3));
}

void CColorBtn::setCaption(const QString& caption) {
  if (auto colour = ParseCaption(caption)) setColour(*colour);
}

void CColorBtn::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  option.text.clear();
  style()->drawControl(QStyle::CE_PushButton, &option, &painter, this);
  QRect swatch = rect().adjusted(6, 5, -6, -5);
  painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
  painter.setBrush(isEnabled() ? colour_ : palette().color(QPalette::Disabled, QPalette::Button));
  painter.drawRect(swatch.adjusted(0, 0, -1, -1));
}

void CColorBtn::Pick() {
  if (picker_ == Picker::Popup16) {
    CColorPopup popup(colour_, this);
    if (popup.exec() == QDialog::Accepted) setColour(popup.colour());
    return;
  }
  QColor chosen = QColorDialog::getColor(colour_, this);
  if (chosen.isValid()) setColour(chosen);
}

const QColor* CColorPopup::Palette16() {
  static const QColor colours[16] = {
      QColor(0, 0, 0),       QColor(128, 0, 0),   QColor(0, 128, 0),   QColor(128, 128, 0),
      QColor(0, 0, 128),     QColor(128, 0, 128), QColor(0, 128, 128), QColor(192, 192, 192),
      QColor(128, 128, 128), QColor(255, 0, 0),   QColor(0, 255, 0),   QColor(255, 255, 0),
      QColor(0, 0, 255),     QColor(255, 0, 255), QColor(0, 255, 255), QColor(255, 255, 255)};
  return colours;
}

CColorPopup::CColorPopup(const QColor& initial, QWidget* parent)
    : QDialog(parent), colour_(initial) {
  setWindowTitle(tr("Colour"));
  auto* layout = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  auto* group = new QButtonGroup(this);
  group->setExclusive(true);
  const QColor* colours = Palette16();
  for (int i = 0; i < 16; ++i) {
    auto* swatch = new QToolButton(this);
    swatch->setCheckable(true);
    swatch->setFixedSize(28, 28);
    swatch->setObjectName(QStringLiteral("swatch%1").arg(i));
    swatch->setStyleSheet(QStringLiteral("QToolButton { background: %1; border: 1px solid #404040; }"
                                         "QToolButton:checked { border: 3px solid #000080; }")
                              .arg(colours[i].name()));
    swatch->setChecked(colours[i] == initial);
    group->addButton(swatch, i);
    grid->addWidget(swatch, i / 4, i % 4);
  }
  connect(group, &QButtonGroup::idClicked, this, [this](int i) { colour_ = Palette16()[i]; });
  layout->addLayout(grid);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

}  // namespace zr
