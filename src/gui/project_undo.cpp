#include "gui/project_undo.h"

#include <QUndoCommand>

namespace zr {

namespace {
// A long session of moves on a 2,000-frame project keeps well under 100 MB of states.
constexpr int kUndoLimit = 200;
}  // namespace

class ProjectUndo::StateCommand : public QUndoCommand {
 public:
  StateCommand(ProjectUndo& owner, const QString& name, ProjectState before, ProjectState after, int mergeId)
      : QUndoCommand(name), owner_(owner), before_(std::move(before)), after_(std::move(after)),
        mergeId_(mergeId) {}

  int id() const override { return mergeId_; }
  void undo() override { owner_.Apply(before_); }
  void redo() override {
    // The change was made before it was pushed.
    if (firstRedo_) {
      firstRedo_ = false;
      return;
    }
    owner_.Apply(after_);
  }
  bool mergeWith(const QUndoCommand* other) override {
    if (other->id() != id()) return false;
    after_ = static_cast<const StateCommand*>(other)->after_;
    // Typing back to the old value leaves nothing to undo.
    setObsolete(SameProject(before_, after_));
    return true;
  }

 private:
  ProjectUndo& owner_;
  ProjectState before_, after_;
  int mergeId_;
  bool firstRedo_ = true;
};

ProjectUndo::ProjectUndo(CTorvexerDoc& doc, std::function<void()> applied)
    : doc_(doc), applied_(std::move(applied)) {
  stack_.setUndoLimit(kUndoLimit);
  current_ = doc_.CaptureState();
  doc_.SetChangeTracker(this);
}

ProjectUndo::~ProjectUndo() { doc_.SetChangeTracker(nullptr); }

void ProjectUndo::Record(const QString& name, int mergeId) {
  if (restoring_) return;
  ProjectState after = doc_.CaptureState();
  if (SameProject(after, current_)) {
    current_.currentRow = after.currentRow;
    return;
  }
  ProjectState before = std::move(current_);
  current_ = after;
  stack_.push(new StateCommand(*this, name, std::move(before), std::move(after), mergeId));
}

void ProjectUndo::Restarted() {
  stack_.clear();
  current_ = doc_.CaptureState();
}

void ProjectUndo::Apply(const ProjectState& state) {
  restoring_ = true;
  doc_.RestoreState(state);
  restoring_ = false;
  current_ = state;
  if (applied_) applied_();
}

}  // namespace zr
