#include "ui/updown_edit.h"

#include <QHBoxLayout>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace zr {

CUpDownEdit::CUpDownEdit(QWidget* parent) : QWidget(parent), edit_(new QLineEdit(this)) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(edit_);
  auto* arrows = new QVBoxLayout;
  arrows->setSpacing(0);
  up_ = new QToolButton(this);
  down_ = new QToolButton(this);
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  for (QToolButton* b : {up_, down_}) {
    b->setAutoRepeat(true);
    b->setFixedSize(16, 11);
    b->setFocusPolicy(Qt::NoFocus);
    arrows->addWidget(b);
  }
  layout->addLayout(arrows);
  connect(up_, &QToolButton::clicked, this, [this] { step(+1); });
  connect(down_, &QToolButton::clicked, this, [this] { step(-1); });
  connect(edit_, &QLineEdit::textEdited, this, &CUpDownEdit::textEdited);
}

void CUpDownEdit::setRange(int minimum, int maximum) {
  minimum_ = std::min(minimum, maximum);
  maximum_ = std::max(minimum, maximum);
}

void CUpDownEdit::step(int delta) {
  // The leading number of the text, as the arrows of an up-down control read their buddy.
  const QString text = edit_->text().trimmed();
  int i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long value = 0;
  bool digits = false;
  while (i < text.size() && text[i].isDigit() && value < 1000000000) {
    value = value * 10 + text[i++].digitValue();
    digits = true;
  }
  if (negative) value = -value;
  long long next = digits ? value + delta : minimum_;
  next = std::clamp<long long>(next, minimum_, maximum_);
  edit_->setText(QString::number(next));
  emit textEdited(edit_->text());
}

}  // namespace zr
