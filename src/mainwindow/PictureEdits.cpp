#include "PictureEdits.h"

#include <algorithm>

#include "ImgMain.h"
#include "ImgPanel.h"
#include "PhotoFingerprint.h"

namespace tessaly {
namespace {

// The date sources by the names the store keeps (and tessaly-stamp's
// --date-from takes).
constexpr std::pair<const char*, DateSource> kSources[] = {{"original", DateSource::Original},
                                                           {"digitized", DateSource::Digitized},
                                                           {"modified", DateSource::Modified},
                                                           {"file", DateSource::File}};

QString SourceName(DateSource source) {
  for (const auto& [name, s] : kSources)
    if (s == source) return QLatin1String(name);
  return {};
}

}  // namespace

TPictureEdits::TPictureEdits(TImageForm& form) : QObject(&form), form_(form) {}

TPictureEdits::~TPictureEdits() {
  // The steps refer to this object; they go before it.
  stack_.clear();
}

void TPictureEdits::UseStore(const QString& path) {
  store_ = std::make_unique<EditStore>(path);
  ReportProblem();
}

void TPictureEdits::ReportProblem() {
  if (!store_) return;
  if (const QString problem = store_->TakeProblem(); !problem.isEmpty()) form_.ShowError(problem);
}

PictureState TPictureEdits::StateOf(TImgPanel& panel) {
  PictureState state;
  state.dateText = panel.DateText;
  // The source the panel names, when its date is that source's; else the
  // first that gives the same text; else the date was typed.
  if (const DateChoice* c = panel.FindDateChoice(panel.DateFrom); c && c->text == panel.DateText) {
    state.dateSource = SourceName(c->source);
  } else {
    for (const DateChoice& choice : panel.DateChoices) {
      if (choice.text == panel.DateText) {
        state.dateSource = SourceName(choice.source);
        break;
      }
    }
  }
  state.comment = panel.Comment;
  state.font = panel.GetStampFont();
  state.cropped = panel.IsCropped();
  if (state.cropped) state.crop = panel.CropRect;
  return state;
}

void TPictureEdits::PutState(TImgPanel& panel, const PictureState& state) {
  panel.DateText = state.dateText;
  for (const auto& [name, source] : kSources)
    if (state.dateSource == QLatin1String(name)) panel.DateFrom = source;
  panel.Comment = state.comment;
  panel.SetStampFont(&state.font);
  if (state.cropped) {
    panel.CropRect = state.crop;
  } else {
    panel.ResetCrop();
  }
}

TPictureEdits::Picture* TPictureEdits::Find(TImgPanel* panel) {
  for (Picture& picture : pictures_)
    if (picture.panel == panel) return &picture;
  return nullptr;
}

bool TPictureEdits::Knows(const TImgPanel* panel) const {
  for (const Picture& picture : pictures_)
    if (picture.panel == panel) return true;
  return false;
}

bool TPictureEdits::Opened(TImgPanel* panel) {
  Picture picture;
  picture.panel = panel;
  picture.path = panel->FileName;
  picture.fresh = picture.kept = picture.exported = StateOf(*panel);
  bool restored = false;
  if (store_ && store_->IsOpen()) {
    picture.fingerprint = PhotoFingerprint(panel->FileName, FingerprintExifDate(panel->FileName));
    if (const std::optional<PictureState> kept = store_->Find(panel->FileName, picture.fingerprint)) {
      PutState(*panel, *kept);
      picture.kept = picture.exported = StateOf(*panel);
      restored = true;
    }
    ReportProblem();
  }
  pictures_.insert(nextId_++, picture);
  return restored;
}

void TPictureEdits::Keep(Picture& picture) {
  if (!store_) return;
  // A picture back as its file gives it has nothing to keep.
  if (picture.kept == picture.fresh)
    store_->Forget(picture.path, picture.fingerprint);
  else
    store_->Save(picture.path, picture.fingerprint, picture.kept);
  ReportProblem();
}

QString TPictureEdits::StepName(const PictureState& before, const PictureState& after) const {
  QStringList parts;
  if (before.dateText != after.dateText || before.dateSource != after.dateSource) parts << tr("дата");
  if (before.comment != after.comment) parts << tr("комментарий");
  if (before.font != after.font) parts << tr("шрифт");
  if (before.cropped != after.cropped || (after.cropped && before.crop != after.crop)) parts << tr("кадр 10x15");
  QString name = parts.join(QStringLiteral(", "));
  if (!name.isEmpty()) name[0] = name[0].toUpper();
  return name;
}

void TPictureEdits::Changed(const QList<TImgPanel*>& panels, const QString& text) {
  QList<PictureChange> changes;
  for (auto it = pictures_.begin(); it != pictures_.end(); ++it)
    if (it->panel && panels.contains(it->panel)) changes.append({it.key(), it->kept, StateOf(*it->panel)});
  changes = RealChanges(changes);
  if (changes.isEmpty()) return;
  const QString name = text.isEmpty() ? StepName(changes[0].before, changes[0].after) : text;
  pushing_ = true;
  stack_.push(new ChangePicturesCommand(*this, changes, name));
  pushing_ = false;
}

void TPictureEdits::SetPictureState(PictureId id, const PictureState& state) {
  const auto it = pictures_.find(id);
  if (it == pictures_.end() || !it->panel) return;
  it->kept = state;
  if (!pushing_) {
    PutState(*it->panel, state);
    if (it->panel == form_.CurrentPanel) form_.ShowCurrentEdits();
  }
  Keep(*it);
}

void TPictureEdits::Close(TImgPanel* panel) {
  for (auto it = pictures_.begin(); it != pictures_.end(); ++it) {
    if (it->panel != panel) continue;
    ClosedPicture closed{it.key(), it->path, form_.PanelPosition(panel), it->kept};
    stack_.push(new ClosePictureCommand(*this, closed, tr("Закрыть")));
    return;
  }
  form_.RemovePanel(panel);  // a panel that never loaded: nothing to bring back
}

void TPictureEdits::ClosePicture(PictureId id) {
  const auto it = pictures_.find(id);
  if (it == pictures_.end() || !it->panel) return;
  TImgPanel* panel = it->panel;
  it->panel = nullptr;
  form_.RemovePanel(panel);
}

void TPictureEdits::ReopenPicture(const ClosedPicture& closed) {
  const auto it = pictures_.find(closed.id);
  if (it == pictures_.end() || it->panel) return;
  TImgPanel* panel = form_.ReopenPanel(closed.path, closed.position);
  if (!panel) return;
  it->panel = panel;
  PutState(*panel, closed.state);
  it->kept = closed.state;
  form_.SelectPanel(panel);
}

void TPictureEdits::Forget(TImgPanel* panel) {
  Picture* picture = Find(panel);
  if (!picture) return;
  PutState(*panel, picture->fresh);
  Changed({panel}, tr("Забыть правки"));
  // Also what is kept under the fingerprint, from where the file was before.
  if (store_) store_->Forget(picture->path, picture->fingerprint);
  ReportProblem();
  if (panel == form_.CurrentPanel) form_.ShowCurrentEdits();
}

void TPictureEdits::Exported(TImgPanel* panel) {
  if (Picture* picture = Find(panel)) picture->exported = StateOf(*panel);
}

void TPictureEdits::ExportedAll(const QList<TImgPanel*>& panels, const ExportAllController::Outcome& outcome) {
  if (outcome.cancelled || outcome.halt) return;
  for (TImgPanel* panel : panels)
    if (std::none_of(outcome.failures.cbegin(), outcome.failures.cend(),
                     [panel](const ExportAllController::Failure& f) { return f.file == panel->FileName; }))
      Exported(panel);
}

int TPictureEdits::Unexported() const {
  int count = 0;
  for (const Picture& picture : pictures_)
    if (picture.panel && !(StateOf(*picture.panel) == picture.exported)) ++count;
  return count;
}

}  // namespace tessaly
