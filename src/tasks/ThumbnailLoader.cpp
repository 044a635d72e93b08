#include "ThumbnailLoader.h"

#include <QThread>
#include <exception>

namespace tessaly {

ThumbnailLoader::ThumbnailLoader(QObject* parent, Worker worker)
    : QObject(parent), worker_(worker ? std::move(worker) : Worker(&Render)) {
  pool_.setMaxThreadCount(QThread::idealThreadCount());
}

ThumbnailLoader::~ThumbnailLoader() {
  for (Entry& entry : entries_) {
    entry.work->withdrawn.store(true);
    disconnect(entry.ownerGone);
  }
  entries_.clear();
  pool_.clear();
  pool_.waitForDone();
}

ThumbnailLoader::Ticket ThumbnailLoader::Request(QObject* owner, const RenderJob& job, const RenderTarget& target,
                                                 int priority, Ready ready, Failed failed) {
  const Ticket ticket = ++next_;
  Entry entry{owner, std::move(ready), std::move(failed), job, target, priority, {}, {}};
  entry.ownerGone = connect(owner, &QObject::destroyed, this, [this, ticket] { Withdraw(ticket); });
  Queue(ticket, entry);
  entries_.insert(ticket, std::move(entry));
  return ticket;
}

void ThumbnailLoader::Queue(Ticket ticket, Entry& entry) {
  auto work = std::make_shared<Work>();
  entry.work = work;
  pool_.start(QRunnable::create([this, ticket, job = entry.job, target = entry.target, work] {
    if (work->withdrawn.load()) return;
    work->started.store(true);
    RenderResult result;
    QString error;
    bool ok = false;
    try {
      result = worker_(job, target);
      ok = true;
    } catch (const std::exception& e) {
      error = QString::fromUtf8(e.what());
    }
    if (work->withdrawn.load()) return;
    // The loader outlives this job (its destructor waits for it); an answer
    // still queued when it goes is dropped with it.
    QMetaObject::invokeMethod(
        this, [this, ticket, result = std::move(result), error, ok]() mutable {
          Deliver(ticket, std::move(result), error, ok);
        },
        Qt::QueuedConnection);
  }), entry.priority);
}

void ThumbnailLoader::Promote(Ticket ticket, int priority) {
  const auto it = entries_.find(ticket);
  if (it == entries_.end() || it->priority >= priority || it->work->started.load()) return;
  // The old decode may still start in between; its answer is dropped then.
  it->work->withdrawn.store(true);
  it->priority = priority;
  Queue(ticket, *it);
}

void ThumbnailLoader::Forget(Ticket ticket) {
  const auto it = entries_.find(ticket);
  if (it == entries_.end()) return;
  it->work->withdrawn.store(true);
  disconnect(it->ownerGone);
  entries_.erase(it);
}

void ThumbnailLoader::Withdraw(Ticket ticket) {
  if (!entries_.contains(ticket)) return;
  Forget(ticket);
  if (entries_.isEmpty()) emit Idle();
}

void ThumbnailLoader::Deliver(Ticket ticket, RenderResult result, const QString& error, bool ok) {
  const auto it = entries_.constFind(ticket);
  if (it == entries_.cend()) return;
  const Entry entry = *it;
  Forget(ticket);
  if (entry.owner) {
    if (ok)
      entry.ready(std::move(result));
    else
      entry.failed(error);
  }
  if (entries_.isEmpty()) emit Idle();
}

}  // namespace tessaly
