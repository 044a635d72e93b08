// Export All's bookkeeping, apart from the window: the photos' copies written
// on the workers (ExportRun), the count of those done for a progress bar,
// the failures gathered, and the end of the run with what it came to.
#pragma once

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include "ExportRun.h"
#include "Photo.h"

namespace tessaly {

class ExportAllController : public QObject {
  Q_OBJECT

 public:
  struct Failure {
    QString file;     // the photo
    QString message;  // why its copy was not written
    bool operator==(const Failure&) const = default;
  };
  // What a run came to, complete once Finished is emitted.
  struct Outcome {
    int total = 0;    // photos given
    int written = 0;  // copies written
    // Photos skipped for their own failure, oldest first (a run that does
    // not keep going has one at most).
    QList<Failure> failures;
    // The failure that stopped the run because every later copy would meet
    // it (the disk full, the folder read-only). Neither its photo nor those
    // of copies under way that failed the same way are in failures.
    std::optional<Failure> halt;
    bool cancelled = false;  // stopped by Cancel
    // The folders copies went to, in the order of the photos (the first
    // photo written first).
    QStringList folders;
  };

  // keepGoing: a photo that fails is skipped and the run goes on; otherwise
  // the first failure ends the run. worker empty: Photo::ExportCopy.
  explicit ExportAllController(bool keepGoing, ExportRun::Worker worker = {}, QObject* parent = nullptr,
                               int workers = 0);

  // Photos oldest first; copies, so the caller's panels may change
  // meanwhile. One run per controller. With none Finished comes at once
  // (queued).
  void Start(const QList<Photo>& photos);
  // No further copy is started; those under way are finished and counted.
  void Cancel();

  bool Running() const { return run_ && run_->Running(); }
  // Cancelled, or stopped by a failure: the reports still to come are the
  // copies under way.
  bool Stopping() const { return run_ && run_->Stopped(); }
  int Done() const { return done_; }
  const Outcome& Result() const { return outcome_; }

 signals:
  // Photo index had changed since its facts were read and was exported by
  // its new ones (before its Progress).
  void Refreshed(int index, const tessaly::Photo& photo);
  // A photo's copy was written or failed: done of total so far.
  void Progress(int done, int total, const QString& file);
  // The first failure: reported at once, before the run ends.
  void FirstFailure(const QString& file, const QString& message);
  // The run has ended; Result() tells what it came to.
  void Finished();

 private:
  void Stepped(int index, const QString& failure);

  bool keepGoing_;
  ExportRun* run_;
  QStringList files_;
  QMap<int, QString> writtenTo_;  // photo index -> folder of its copy
  int done_ = 0;
  Outcome outcome_;
};

}  // namespace tessaly
