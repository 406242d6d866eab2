#include "ui/path_field.h"

#include <QAction>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QUrl>

namespace zr {

namespace {

// A dropped file gives its path, not the "file://" text a plain line edit would insert.
class PathEdit : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;
  std::function<void()> dropped;

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override {
    if (LocalPath(event->mimeData()).isEmpty())
      QLineEdit::dragEnterEvent(event);
    else
      event->acceptProposedAction();
  }
  void dragMoveEvent(QDragMoveEvent* event) override {
    if (LocalPath(event->mimeData()).isEmpty())
      QLineEdit::dragMoveEvent(event);
    else
      event->acceptProposedAction();
  }
  void dropEvent(QDropEvent* event) override {
    const QString path = LocalPath(event->mimeData());
    if (path.isEmpty()) {
      QLineEdit::dropEvent(event);
      return;
    }
    event->acceptProposedAction();
    setText(path);
    if (dropped) dropped();
  }

 private:
  static QString LocalPath(const QMimeData* data) {
    if (!data->hasUrls()) return {};
    for (const QUrl& url : data->urls())
      if (url.isLocalFile()) return url.toLocalFile();
    return {};
  }
};

}  // namespace

QString PathProblem(PathRule rule, bool optional, const QString& path) {
  if (path.trimmed().isEmpty()) return optional ? QString() : QStringLiteral("Nothing chosen yet");
  const QFileInfo info(path);
  switch (rule) {
    case PathRule::ExistingFile:
      if (info.isDir()) return QStringLiteral("This is a folder, not a file");
      return info.isFile() ? QString() : QStringLiteral("File not found");
    case PathRule::ExistingFolder:
      return info.isDir() ? QString() : QStringLiteral("Folder not found");
    case PathRule::NewFile:
      if (info.isDir()) return QStringLiteral("This is a folder, not a file");
      return info.absoluteDir().exists() ? QString() : QStringLiteral("Its folder does not exist");
    case PathRule::CreatableFolder: {
      if (info.isDir()) return {};
      if (info.exists()) return QStringLiteral("This is a file, not a folder");
      // The nearest part of the path that exists must be a folder we may write in.
      QFileInfo existing(info.absoluteFilePath());
      while (!existing.exists() && !existing.isRoot()) existing = QFileInfo(existing.absolutePath());
      if (!existing.isDir()) return QStringLiteral("The folder cannot be created here");
      return existing.isWritable() ? QString() : QStringLiteral("The folder cannot be created here");
    }
  }
  return {};
}

CPathField::CPathField(PathRule rule, bool optional, QWidget* parent)
    : QWidget(parent), rule_(rule), optional_(optional) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* edit = new PathEdit(this);
  edit_ = edit;
  edit_->setClearButtonEnabled(true);
  edit_->setAcceptDrops(true);
  layout->addWidget(edit_, 1);
  browse_ = new QPushButton(tr("Browse…"), this);
  layout->addWidget(browse_);
  mark_ = edit_->addAction(QIcon::fromTheme(QStringLiteral("dialog-warning"),
                                            style()->standardIcon(QStyle::SP_MessageBoxWarning)),
                           QLineEdit::TrailingPosition);
  mark_->setVisible(false);
  setFocusProxy(edit_);
  edit->dropped = [this] { emit pathChosen(text()); };
  connect(edit_, &QLineEdit::textChanged, this, [this](const QString& t) {
    Check();
    emit pathChanged(t);
  });
  connect(edit_, &QLineEdit::editingFinished, this, [this] { emit pathChosen(text()); });
  connect(browse_, &QPushButton::clicked, this, &CPathField::browse);
  Check();
}

QString CPathField::text() const { return edit_->text(); }

void CPathField::setText(const QString& path) { edit_->setText(path); }

void CPathField::browse() {
  const QString chosen = chooser ? chooser() : QString();
  if (chosen.isEmpty()) return;
  setText(chosen);
  emit pathChosen(chosen);
}

QString CPathField::Problem() const {
  QString problem = PathProblem(rule_, optional_, text());
  if (!problem.isEmpty() && alsoValid && alsoValid(text())) problem.clear();
  return problem;
}

bool CPathField::valid() const { return Problem().isEmpty(); }

void CPathField::Check() {
  const QString problem = Problem();
  // Nothing typed yet is not worth a warning; the action button tells enough.
  const bool marked = !problem.isEmpty() && !text().trimmed().isEmpty();
  mark_->setVisible(marked);
  mark_->setToolTip(problem);
  edit_->setToolTip(marked ? problem : text());
}

}  // namespace zr
