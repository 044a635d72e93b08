// A run of stamped copies (Export All, the batch command) on a pool of one
// thread per core, started in the given order (oldest first).
#pragma once

#include <QList>
#include <QSet>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <atomic>
#include <climits>
#include <functional>
#include <memory>

#include "Photo.h"

namespace tessaly {

// Stop() lets no further export start; unless the run keeps going, neither
// does a failure for the items after the failing one (those before it are
// exported, as a run one by one would). A failure that every later copy
// would meet the same way (ExportError::HitsEveryCopy: the disk full, the
// medium read-only) stops the run so even when it keeps going. Those under
// way finish, so every copy written is whole.
// Reports come on the run's own thread, each item exactly once: Exported,
// Failed or Skipped (not started because the run stopped); Finished follows
// the last one. A photo whose size or orientation changed since its facts
// were read is exported by its new facts, reported by Refreshed before its
// Exported.
class ExportRun : public QObject {
  Q_OBJECT

 public:
  struct Item {
    Photo photo;    // copied: the workers never read a panel
    QString error;  // set: the item fails with it, nothing exported
    // When set, run on the worker first to settle the photo (read its facts,
    // apply choices); the facts are then fresh and not read again. Its
    // PictureError fails the item. photo.path must be set already.
    std::function<void(Photo&)> prepare;
  };

  // Writes the copy of photo and returns its path, reading its facts again
  // first when refresh is set (changed: whether they had changed); throws on
  // failure. Called on the pool's threads, one item at a time per thread.
  using Worker = std::function<QString(Photo& photo, bool refresh, bool* changed)>;

  // workers 0: one per core. worker empty: Photo::ExportCopy.
  explicit ExportRun(QObject* parent = nullptr, int workers = 0, Worker worker = {});
  // Stops and waits for the exports under way.
  ~ExportRun() override;

  void Start(QList<Item> items, bool keepGoing = false);
  void Stop();

  bool Running() const { return outstanding_ > 0; }
  bool Stopped() const { return stopAt_->load() != kNone; }
  // The run was stopped by a failure every later copy would meet; the index
  // of the first such item, -1 while none.
  bool Halted() const { return halted_->load() >= 0; }
  int HaltedAt() const { return halted_->load(); }
  // Item index failed so (reported already).
  bool Halting(int index) const { return halting_.contains(index); }
  int Count() const { return count_; }

 signals:
  void Refreshed(int index, const tessaly::Photo& photo);
  void Exported(int index, const QString& path);
  void Failed(int index, const QString& message);
  void Skipped(int index);
  void Finished();

 private:
  void Report(int index, int kind, const QString& text, const std::shared_ptr<const Photo>& refreshed);

  static constexpr int kNone = INT_MAX;
  Worker worker_;
  QThreadPool pool_;
  // Items from this index on are not started; kNone while the run goes on.
  std::shared_ptr<std::atomic<int>> stopAt_ = std::make_shared<std::atomic<int>>(kNone);
  std::shared_ptr<std::atomic<int>> halted_ = std::make_shared<std::atomic<int>>(-1);
  QSet<int> halting_;
  int count_ = 0;
  int outstanding_ = 0;
};

}  // namespace tessaly
