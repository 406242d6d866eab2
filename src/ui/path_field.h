// A path typed, pasted, dropped or chosen with "Browse…", checked as it changes. A field
// that fails its rule shows a warning mark with the reason; dialogs keep their action
// button disabled until every field is valid.
#pragma once

#include <functional>

#include <QString>
#include <QWidget>

class QAction;
class QLineEdit;
class QPushButton;

namespace zr {

enum class PathRule {
  ExistingFile,
  ExistingFolder,
  NewFile,          // its folder must exist
  CreatableFolder,  // exists, or can be made inside an existing folder
};

// Why `path` fails `rule`; empty when it holds. An empty path holds only when optional.
QString PathProblem(PathRule rule, bool optional, const QString& path);

class CPathField : public QWidget {
  Q_OBJECT

 public:
  CPathField(PathRule rule, bool optional, QWidget* parent = nullptr);

  QString text() const;
  void setText(const QString& path);
  bool valid() const;
  QLineEdit* edit() const { return edit_; }
  QPushButton* browseButton() const { return browse_; }

  // Runs the chooser; an empty answer (Cancel) keeps the field as it was.
  void browse();
  std::function<QString()> chooser;
  // Names that are not files but still valid (the built-in pictures, "<LOGO").
  std::function<bool(const QString&)> alsoValid;

 signals:
  // Any change: typed, pasted, dropped or chosen.
  void pathChanged(const QString& path);
  // A whole path arrived at once (chosen, dropped, or Return / leaving the field).
  void pathChosen(const QString& path);

 private:
  QString Problem() const;
  void Check();

  PathRule rule_;
  bool optional_;
  QLineEdit* edit_;
  QPushButton* browse_;
  QAction* mark_;
};

}  // namespace zr
