#include "ExportRun.h"

#include <QFileInfo>
#include <QHash>
#include <QThread>
#include <exception>

#include "Export.h"

namespace tessaly {

namespace {
enum Kind { kExported, kFailed, kHalting, kSkipped };
}

ExportRun::ExportRun(QObject* parent, int workers, Worker worker)
    : QObject(parent),
      worker_(worker ? std::move(worker)
                     : Worker([](Photo& photo, bool refresh, bool* changed) { return photo.ExportCopy(refresh, changed); })) {
  pool_.setMaxThreadCount(workers > 0 ? workers : QThread::idealThreadCount());
}

ExportRun::~ExportRun() {
  stopAt_->store(-1);
  pool_.waitForDone();
}

void ExportRun::Start(QList<Item> items, bool keepGoing) {
  count_ += int(items.size());
  outstanding_ += int(items.size());
  if (items.isEmpty()) {
    QMetaObject::invokeMethod(this, &ExportRun::Finished, Qt::QueuedConnection);
    return;
  }
  // Items writing the same file (one photo opened twice) go one after the
  // other in one worker, so the later one's copy is the one left.
  QHash<QString, int> chainOf;  // output path -> chain
  QList<QList<int>> chains;
  for (int index = 0; index < items.size(); ++index) {
    const QString& file = items[index].photo.path;
    const QString output = ExportFolder(file) + QFileInfo(file).fileName();
    const auto it = chainOf.constFind(output);
    if (it != chainOf.cend() && items[index].error.isEmpty()) {
      chains[*it].append(index);
    } else {
      if (items[index].error.isEmpty()) chainOf.insert(output, int(chains.size()));
      chains.append(QList<int>{index});
    }
  }
  auto shared = std::make_shared<const QList<Item>>(std::move(items));
  for (const QList<int>& chain : chains) {
    pool_.start(QRunnable::create([this, chain, shared, keepGoing, stopAt = stopAt_, halted = halted_] {
      for (const int index : chain) {
        const Item& item = (*shared)[index];
        int kind = kSkipped;
        QString text;
        std::shared_ptr<const Photo> refreshed;
        if (index < stopAt->load()) {
          try {
            if (!item.error.isEmpty()) throw PictureError(item.error);
            Photo photo = item.photo;
            if (item.prepare) item.prepare(photo);
            bool changed = false;
            text = worker_(photo, !item.prepare, &changed);
            if (changed) refreshed = std::make_shared<const Photo>(std::move(photo));
            kind = kExported;
          } catch (const std::exception& e) {
            const auto* exportError = dynamic_cast<const ExportError*>(&e);
            const bool halts = exportError && exportError->HitsEveryCopy();
            if (halts) {
              int none = -1;
              halted->compare_exchange_strong(none, index);
            }
            // Set here rather than when the report arrives, so that no
            // worker starts another export in between.
            if (!keepGoing || halts) {
              int at = stopAt->load();
              while (index < at && !stopAt->compare_exchange_weak(at, index)) {
              }
            }
            text = QString::fromUtf8(e.what());
            kind = halts ? kHalting : kFailed;
          }
        }
        QMetaObject::invokeMethod(
            this, [this, index, kind, text, refreshed] { Report(index, kind, text, refreshed); },
            Qt::QueuedConnection);
      }
    }));
  }
}

void ExportRun::Stop() { stopAt_->store(-1); }

void ExportRun::Report(int index, int kind, const QString& text,
                       const std::shared_ptr<const Photo>& refreshed) {
  --outstanding_;
  if (refreshed) emit Refreshed(index, *refreshed);
  switch (kind) {
    case kExported: emit Exported(index, text); break;
    case kHalting: halting_.insert(index); [[fallthrough]];
    case kFailed: emit Failed(index, text); break;
    default: emit Skipped(index); break;
  }
  if (outstanding_ == 0) emit Finished();
}

}  // namespace tessaly
