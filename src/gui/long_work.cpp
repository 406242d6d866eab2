#include "gui/long_work.h"

#include <algorithm>

#include <QAbstractButton>
#include <QApplication>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "gui/main_frame.h"
#include "gui/qt_host.h"
#include "platform/host.h"
#include "ui/dialog_flags.h"

namespace zr {

CWorkProgressDlg::CWorkProgressDlg(const QString& title, QWidget* parent) : QDialog(parent) {
  SetDialogFlags(this);
  setWindowTitle(title);
  setObjectName(QStringLiteral("workProgress"));
  setMinimumWidth(380);
  auto* layout = new QVBoxLayout(this);
  text_ = new QLabel(title, this);
  text_->setObjectName(QStringLiteral("workText"));
  text_->setWordWrap(true);
  layout->addWidget(text_);
  bar_ = new QProgressBar(this);
  bar_->setRange(0, 0);
  layout->addWidget(bar_);
  auto* row = new QHBoxLayout;
  row->addStretch();
  cancel_ = new QPushButton(tr("Cancel"), this);
  cancel_->setObjectName(QStringLiteral("workCancel"));
  row->addWidget(cancel_);
  layout->addLayout(row);
  connect(cancel_, &QPushButton::clicked, this, [this] {
    cancel_->setEnabled(false);
    cancel_->setText(tr("Cancelling..."));
    emit cancelClicked();
  });
}

void CWorkProgressDlg::reject() {
  if (cancel_->isEnabled()) cancel_->click();
}

void CWorkProgressDlg::SetText(const QString& text) { text_->setText(text); }
QString CWorkProgressDlg::text() const { return text_->text(); }
int CWorkProgressDlg::value() const { return bar_->value(); }

void CWorkProgressDlg::SetTotal(qint64 total) {
  total_ = total;
  // The bar counts in thousandths so that totals beyond an int still fit.
  bar_->setRange(0, total > 0 ? 1000 : 0);
  bar_->setValue(0);
}

void CWorkProgressDlg::SetDone(qint64 done) {
  if (total_ <= 0) return;
  bar_->setValue(int(std::clamp<qint64>(done, 0, total_) * 1000 / total_));
}

// ---------------------------------------------------------------- LongWork

LongWork::LongWork(CMainFrame& frame, const QString& title) : frame_(frame) {
  host_ = dynamic_cast<QtHost*>(&frame_.doc().host());
  frame_.SetWork(this);
  if (!title.isEmpty()) {
    // Inside a modal dialog the window must be its child, or the dialog would block it.
    QWidget* parent = QApplication::activeModalWidget();
    dialog_ = new CWorkProgressDlg(title, parent ? parent : &frame_);
    QObject::connect(dialog_, &CWorkProgressDlg::cancelClicked, dialog_, [this] { RequestCancel(); });
    kept_ << dialog_;
  }
  Block();
  if (host_) host_->BeginWork(dialog_);
  if (dialog_) dialog_->show();
  // The window of the dialog that just closed is repainted before the work starts.
  QCoreApplication::processEvents();
}

LongWork::~LongWork() {
  for (const QMetaObject::Connection& c : connections_) QObject::disconnect(c);
  if (host_) host_->EndWork();
  Unblock();
  delete dialog_;
  if (cancelled_) frame_.doc().host().SetStatusText("Cancelled");
  frame_.SetWork(nullptr);
  if (frame_.closeAfterWork()) QTimer::singleShot(0, &frame_, [frame = &frame_] { frame->close(); });
}

void LongWork::AddWindow(QWidget* window, QAbstractButton* cancel) {
  if (!window) return;
  kept_ << window;
  if (disabled_.removeAll(window) > 0) window->setEnabled(true);
  if (cancel) {
    cancel->setEnabled(true);
    connections_ << QObject::connect(cancel, &QAbstractButton::clicked, window,
                                     [this] { RequestCancel(); });
  }
}

void LongWork::RequestCancel() {
  cancelled_ = true;
  if (host_) host_->RequestCancel();
}

bool LongWork::cancelled() const { return cancelled_; }

void LongWork::Block() {
  auto disable = [this](QWidget* w) {
    if (!w || !w->isEnabled()) return;
    w->setEnabled(false);
    disabled_ << w;
  };
  disable(frame_.centralWidget());
  disable(frame_.menuBar());
  for (QToolBar* bar : frame_.findChildren<QToolBar*>()) disable(bar);
  for (QDockWidget* dock : frame_.findChildren<QDockWidget*>()) disable(dock);
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w == &frame_ || !w->isVisible() || w == frame_.previewWindow()) continue;
    bool keep = false;
    // Disabling a window disables its child windows too.
    for (const QPointer<QWidget>& k : kept_)
      if (k && (k == w || w->isAncestorOf(k))) keep = true;
    if (!keep) disable(w);
  }
  frame_.setCursor(Qt::BusyCursor);
}

void LongWork::Unblock() {
  for (auto it = disabled_.rbegin(); it != disabled_.rend(); ++it)
    if (*it) (*it)->setEnabled(true);
  disabled_.clear();
  frame_.unsetCursor();
}

}  // namespace zr
