#include "EditCommands.h"

namespace tessaly {

ChangePicturesCommand::ChangePicturesCommand(PictureEditor& editor, QList<PictureChange> changes,
                                             const QString& text)
    : QUndoCommand(text), editor_(editor), changes_(std::move(changes)) {}

void ChangePicturesCommand::redo() {
  for (const PictureChange& change : changes_) editor_.SetPictureState(change.id, change.after);
}

void ChangePicturesCommand::undo() {
  for (auto it = changes_.crbegin(); it != changes_.crend(); ++it) editor_.SetPictureState(it->id, it->before);
}

ClosePictureCommand::ClosePictureCommand(PictureEditor& editor, ClosedPicture picture, const QString& text)
    : QUndoCommand(text), editor_(editor), picture_(std::move(picture)) {}

void ClosePictureCommand::redo() { editor_.ClosePicture(picture_.id); }

void ClosePictureCommand::undo() { editor_.ReopenPicture(picture_); }

QList<PictureChange> RealChanges(QList<PictureChange> changes) {
  changes.removeIf([](const PictureChange& c) { return c.before == c.after; });
  return changes;
}

}  // namespace tessaly
