// The window's changes to pictures as undo steps (QUndoStack): a change of
// one picture or of many at once ("для всех") is one step; so is closing a
// picture's panel. The steps work on a PictureEditor, which the window is
// and a test can be.
#pragma once

#include <QList>
#include <QUndoCommand>

#include "PictureState.h"

namespace tessaly {

// A picture for as long as the window runs, also while its panel is closed
// and can be brought back by an undo.
using PictureId = quint64;

struct PictureChange {
  PictureId id;
  PictureState before;
  PictureState after;
};

// A picture whose panel was closed: enough to open it again where it was.
struct ClosedPicture {
  PictureId id = 0;
  QString path;
  int position = 0;  // in the column, 0 at the top
  PictureState state;
};

class PictureEditor {
 public:
  virtual ~PictureEditor() = default;
  // Gives the open picture the state (and keeps it); a picture not open is
  // passed over.
  virtual void SetPictureState(PictureId id, const PictureState& state) = 0;
  virtual void ClosePicture(PictureId id) = 0;
  virtual void ReopenPicture(const ClosedPicture& picture) = 0;
};

// Pictures going from their before states to their after states; undone
// in the reverse order.
class ChangePicturesCommand : public QUndoCommand {
 public:
  ChangePicturesCommand(PictureEditor& editor, QList<PictureChange> changes, const QString& text);
  void redo() override;
  void undo() override;
  const QList<PictureChange>& Changes() const { return changes_; }

 private:
  PictureEditor& editor_;
  QList<PictureChange> changes_;
};

class ClosePictureCommand : public QUndoCommand {
 public:
  ClosePictureCommand(PictureEditor& editor, ClosedPicture picture, const QString& text);
  void redo() override;
  void undo() override;

 private:
  PictureEditor& editor_;
  ClosedPicture picture_;
};

// The changes that make a difference: pictures whose after state equals
// their before state are left out.
QList<PictureChange> RealChanges(QList<PictureChange> changes);

}  // namespace tessaly
