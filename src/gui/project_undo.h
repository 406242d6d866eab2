// The undo history of the project. Every change is recorded after it happened as the
// states before and after it: undoing puts the whole "before" back, so every change
// (including the name -> path entries an import replaced) is undone exactly.
#pragma once

#include <functional>

#include <QString>
#include <QUndoStack>

#include "app/document.h"

namespace zr {

class ProjectUndo : public ChangeTracker {
 public:
  // `applied` runs after an undo or redo changed the project (the windows refresh).
  ProjectUndo(CTorvexerDoc& doc, std::function<void()> applied);
  ~ProjectUndo() override;

  QUndoStack& stack() { return stack_; }

  // Makes what changed since the last record one undo step called `name`. Records with
  // the same merge id in a row become one step (typing in a field). Nothing is pushed
  // when the project is as it was.
  void Record(const QString& name, int mergeId = -1);
  // Undo and redo replay states, and the change they cause must not record itself.
  bool restoring() const { return restoring_; }

  bool HasUnsavedChanges() const override { return !stack_.isClean(); }
  void Saved() override { stack_.setClean(); }
  void Restarted() override;

  static constexpr int kFpsMerge = 1;

 private:
  class StateCommand;
  void Apply(const ProjectState& state);

  CTorvexerDoc& doc_;
  std::function<void()> applied_;
  QUndoStack stack_;
  ProjectState current_;
  bool restoring_ = false;
};

}  // namespace zr
