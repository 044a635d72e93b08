// Pictures decoded for views (thumbnails, the preview) on a pool of one
// thread per core, so that opening many photos never holds the window.
#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <functional>
#include <memory>

#include "Render.h"

namespace tessaly {

// Each request names the object it is for (a panel, the window). Its answer
// is called on the loader's own thread, never after that object is gone or
// the request was withdrawn; a request not started by then is not decoded at
// all. Among waiting requests the higher priority starts first, then the
// earlier one.
class ThumbnailLoader : public QObject {
  Q_OBJECT

 public:
  using Ticket = quint64;
  using Ready = std::function<void(RenderResult)>;
  using Failed = std::function<void(const QString& message)>;
  enum Priority { kThumbnail = 0, kInSight = 1, kPreview = 2 };
  // Draws one request; throws on failure. Called on the pool's threads.
  using Worker = std::function<RenderResult(const RenderJob&, const RenderTarget&)>;

  // worker empty: Render.
  explicit ThumbnailLoader(QObject* parent = nullptr, Worker worker = {});
  // Withdraws every request and waits for the decodes under way.
  ~ThumbnailLoader() override;

  // The job is copied: the worker never reads the owner.
  Ticket Request(QObject* owner, const RenderJob& job, const RenderTarget& target, int priority,
                 Ready ready, Failed failed);
  void Withdraw(Ticket ticket);  // an unknown or answered ticket: nothing
  // A request not started yet moves up to priority (a thumbnail scrolled
  // into sight); one under way or already higher is left as it is.
  void Promote(Ticket ticket, int priority);
  int Pending() const { return int(entries_.size()); }
  bool IsPending(Ticket ticket) const { return entries_.contains(ticket); }

 signals:
  // The last pending request was answered or withdrawn.
  void Idle();

 private:
  // One queued decode; a promoted request leaves its old one withdrawn.
  struct Work {
    std::atomic<bool> withdrawn{false};
    std::atomic<bool> started{false};
  };
  struct Entry {
    QPointer<QObject> owner;
    Ready ready;
    Failed failed;
    RenderJob job;
    RenderTarget target;
    int priority = 0;
    std::shared_ptr<Work> work;
    QMetaObject::Connection ownerGone;
  };
  void Queue(Ticket ticket, Entry& entry);
  void Deliver(Ticket ticket, RenderResult result, const QString& error, bool ok);
  void Forget(Ticket ticket);

  Worker worker_;
  QThreadPool pool_;
  QHash<Ticket, Entry> entries_;
  Ticket next_ = 0;
};

}  // namespace tessaly
