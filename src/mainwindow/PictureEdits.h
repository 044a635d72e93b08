// The window's changes to its pictures, as steps that can be undone and as
// edits kept between runs: every applied change of a panel goes through
// here onto the undo stack and into the edit store; a panel just opened gets
// the edits kept for its picture back.
#pragma once

#include <QHash>
#include <QObject>
#include <QUndoStack>
#include <memory>

#include "EditCommands.h"
#include "EditStore.h"
#include "ExportAllController.h"

namespace tessaly {

class TImageForm;
class TImgPanel;

class TPictureEdits : public QObject, public PictureEditor {
  Q_OBJECT

 public:
  explicit TPictureEdits(TImageForm& form);
  ~TPictureEdits() override;

  QUndoStack& Stack() { return stack_; }
  // Keeps the edits in the database at path from now on. A problem with it
  // goes to the window's error box, once.
  void UseStore(const QString& path);
  EditStore* Store() const { return store_.get(); }

  // A panel just loaded: it gets its id and, when edits are kept for its
  // picture, those edits. True when it got them.
  bool Opened(TImgPanel* panel);
  // Whether the panel is one of the open pictures (a panel whose file could
  // not be loaded is not).
  bool Knows(const TImgPanel* panel) const;
  // The panels' states have been changed by the window: one undo step from
  // what each was last; nothing when none differs. An empty text names the
  // step by what changed.
  void Changed(const QList<TImgPanel*>& panels, const QString& text = {});
  // Closes the panel as an undo step.
  void Close(TImgPanel* panel);
  // The panel's picture back to what its file gives, its kept edits dropped;
  // one undo step.
  void Forget(TImgPanel* panel);
  // The panel's copy has been written: its edits are exported.
  void Exported(TImgPanel* panel);
  // Export All has ended so: the panels whose copies were written have
  // their edits exported. After a cancel or a halt which ones were is not
  // known, so none counts.
  void ExportedAll(const QList<TImgPanel*>& panels, const ExportAllController::Outcome& outcome);
  // Open pictures changed since their copy was last written (or since they
  // were opened).
  int Unexported() const;

  static PictureState StateOf(TImgPanel& panel);
  static void PutState(TImgPanel& panel, const PictureState& state);

  void SetPictureState(PictureId id, const PictureState& state) override;
  void ClosePicture(PictureId id) override;
  void ReopenPicture(const ClosedPicture& picture) override;

 private:
  struct Picture {
    TImgPanel* panel = nullptr;  // none while closed
    QString path;
    QByteArray fingerprint;
    PictureState fresh;     // as the file gives it, before any edit
    PictureState kept;      // the state last applied
    PictureState exported;  // the state of the last copy written
  };
  Picture* Find(TImgPanel* panel);
  void Keep(Picture& picture);
  void ReportProblem();
  QString StepName(const PictureState& before, const PictureState& after) const;

  TImageForm& form_;
  QUndoStack stack_;
  std::unique_ptr<EditStore> store_;
  QHash<PictureId, Picture> pictures_;
  PictureId nextId_ = 1;
  bool pushing_ = false;  // a step's first redo: the window has made the change already
};

}  // namespace tessaly
