// A text edit with an attached up-down control. The arrows step the edit's leading
// number within [minimum, maximum]; typing is free, so any text can be entered.
#pragma once

#include <QLineEdit>
#include <QWidget>

class QToolButton;

namespace zr {

class CUpDownEdit : public QWidget {
  Q_OBJECT

 public:
  explicit CUpDownEdit(QWidget* parent = nullptr);

  void setRange(int minimum, int maximum);
  QString text() const { return edit_->text(); }
  void setText(const QString& text) { edit_->setText(text); }
  QLineEdit* edit() const { return edit_; }
  // One step up (+1) or down (-1), as the arrow buttons do.
  void step(int delta);

 signals:
  void textEdited(const QString& text);

 private:
  QLineEdit* edit_;
  QToolButton* up_;
  QToolButton* down_;
  int minimum_ = 0;
  int maximum_ = 100;
};

}  // namespace zr
