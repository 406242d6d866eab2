// Long work runs on the GUI thread. While it runs, every notification processes events so
// the windows repaint and a Cancel button can be pressed; input to everything else is
// blocked, so no second command can start in the middle of the first.
#pragma once

#include <QDialog>
#include <QList>
#include <QPointer>

class QAbstractButton;
class QLabel;
class QProgressBar;
class QPushButton;

namespace zr {

class CMainFrame;
class QtHost;

// The small progress window of operations that otherwise only show status texts: the
// latest text, a bar and Cancel. Closing it or Esc counts as Cancel.
class CWorkProgressDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CWorkProgressDlg(const QString& title, QWidget* parent = nullptr);
  void SetText(const QString& text);
  // total <= 0: no known end yet (a busy bar).
  void SetTotal(qint64 total);
  void SetDone(qint64 done);
  QPushButton* cancelButton() const { return cancel_; }
  QString text() const;
  int value() const;

 signals:
  void cancelClicked();

 protected:
  void reject() override;

 private:
  QLabel* text_;
  QProgressBar* bar_;
  QPushButton* cancel_;
  qint64 total_ = 0;
};

// One long operation of the main window, for its lifetime: the main window's menus,
// toolbar, panel and view and the other windows are disabled (the preview stays), the
// cancel flag is cleared, and the host keeps the windows alive at each notification.
// Closing the main window meanwhile cancels and closes it once the work has ended.
class LongWork {
 public:
  // With a title, the small progress window is shown; without, the operation has a
  // progress window of its own (pass it to AddWindow so it stays usable).
  LongWork(CMainFrame& frame, const QString& title = {});
  ~LongWork();
  LongWork(const LongWork&) = delete;
  LongWork& operator=(const LongWork&) = delete;

  // Keeps `window` usable and makes `cancel` request the cancel.
  void AddWindow(QWidget* window, QAbstractButton* cancel = nullptr);
  void RequestCancel();
  bool cancelled() const;
  CWorkProgressDlg* dialog() const { return dialog_; }

 private:
  void Block();
  void Unblock();

  CMainFrame& frame_;
  QtHost* host_ = nullptr;
  bool cancelled_ = false;
  CWorkProgressDlg* dialog_ = nullptr;
  QList<QPointer<QWidget>> kept_;
  QList<QPointer<QWidget>> disabled_;
  QList<QMetaObject::Connection> connections_;
};

}  // namespace zr
