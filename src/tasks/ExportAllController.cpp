#include "ExportAllController.h"

#include "Export.h"

namespace tessaly {

ExportAllController::ExportAllController(bool keepGoing, ExportRun::Worker worker, QObject* parent, int workers)
    : QObject(parent), keepGoing_(keepGoing), run_(new ExportRun(this, workers, std::move(worker))) {
  connect(run_, &ExportRun::Exported, this, [this](int index, const QString& path) {
    writtenTo_.insert(index, path.left(path.lastIndexOf(u'/') + 1));
    ++outcome_.written;
    Stepped(index, {});
  });
  connect(run_, &ExportRun::Failed, this, &ExportAllController::Stepped);
  connect(run_, &ExportRun::Refreshed, this, &ExportAllController::Refreshed);
  connect(run_, &ExportRun::Finished, this, [this] {
    for (const QString& folder : std::as_const(writtenTo_))
      if (!outcome_.folders.contains(folder)) outcome_.folders << folder;
    outcome_.cancelled = run_->Stopped() && !run_->Halted() && (keepGoing_ || outcome_.failures.isEmpty());
    emit Finished();
  });
}

void ExportAllController::Start(const QList<Photo>& photos) {
  QList<ExportRun::Item> items;
  for (const Photo& photo : photos) {
    items.append({photo, {}, {}});
    files_ << photo.path;
  }
  outcome_.total = int(photos.size());
  run_->Start(items, keepGoing_);
}

void ExportAllController::Cancel() { run_->Stop(); }

void ExportAllController::Stepped(int index, const QString& failure) {
  ++done_;
  if (!failure.isEmpty()) {
    const bool first = outcome_.failures.isEmpty() && !outcome_.halt;
    // A failure that stopped the run is the one to tell, once: the copies
    // under way that met the same end are counted but not listed again.
    if (index == run_->HaltedAt())
      outcome_.halt = Failure{files_[index], failure};
    else if (!run_->Halting(index))
      outcome_.failures.append({files_[index], failure});
    if (first) emit FirstFailure(files_[index], failure);
  }
  emit Progress(done_, outcome_.total, files_[index]);
}

}  // namespace tessaly
