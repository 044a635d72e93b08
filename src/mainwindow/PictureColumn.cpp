#include "PictureColumn.h"

#include <QMimeData>
#include <QScrollBar>
#include <QUrl>
#include <exception>
#include <QVBoxLayout>
#include <algorithm>

#include "ImageView.h"
#include "ImgPanel.h"
#include "PathBytes.h"

namespace tessaly {

TPictureColumn::TPictureColumn(QWidget* parent) : QScrollArea(parent) {
  setWidgetResizable(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* stack = new QWidget;
  stack_ = new QVBoxLayout(stack);
  stack_->setContentsMargins(0, 0, 0, 0);
  stack_->setSpacing(0);
  stack_->addStretch();
  setWidget(stack);
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &TPictureColumn::PromoteInSight);
}

TPictureColumn::~TPictureColumn() { Shutdown(); }

void TPictureColumn::Shutdown() {
  verticalScrollBar()->disconnect(this);
  delete takeWidget();
  delete loader_;
  loader_ = nullptr;
}

QList<TImgPanel*> TPictureColumn::Panels() const {
  return widget() ? widget()->findChildren<TImgPanel*>(Qt::FindDirectChildrenOnly) : QList<TImgPanel*>();
}

TImgPanel* TPictureColumn::AddPanel() {
  auto* panel = new TImgPanel(widget());
  stack_->insertWidget(0, panel);  // new panels go to the top
  ensureVisible(0, 0);
  return panel;
}

TImgPanel* TPictureColumn::InsertPanel(int position) {
  auto* panel = new TImgPanel(widget());
  stack_->insertWidget(std::clamp(position, 0, int(stack_->count()) - 1), panel);  // above the stretch
  return panel;
}

QList<TImgPanel*> TPictureColumn::InColumn() const {
  QList<TImgPanel*> panels;
  for (int i = 0; i < stack_->count(); ++i)
    if (auto* panel = qobject_cast<TImgPanel*>(stack_->itemAt(i)->widget())) panels << panel;
  return panels;
}

int TPictureColumn::PositionOf(TImgPanel* panel) const { return stack_->indexOf(panel); }

QList<TImgPanel*> TPictureColumn::Open(const QStringList& files, const std::function<void(TImgPanel*)>& opened) {
  QList<TImgPanel*> done;
  const Adding adding(*this);
  for (const QString& file : files) {
    TImgPanel* panel = AddPanel();
    try {
      panel->LoadInfo(file);
    } catch (const std::exception& e) {
      panel->ShowLoadError(QString::fromUtf8(e.what()));
      failures_ << panel->LoadError;
      continue;
    }
    opened(panel);
    done << panel;
  }
  return done;
}

QStringList TPictureColumn::DroppedPaths(const QMimeData* data) {
  QStringList paths;
  if (data == nullptr) return paths;
  // The path's own bytes, percent-decoded: toLocalFile() would replace those
  // of a name that is not UTF-8, and the file could not be opened.
  for (const QUrl& url : data->urls())
    if (url.isLocalFile())
      paths << PathFromBytes(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
  return paths;
}

TPictureColumn::Adding::Adding(TPictureColumn& column)
    : stack_(column.widget()), shown_(stack_->isVisible()) {
  if (shown_) stack_->hide();
}

TPictureColumn::Adding::~Adding() {
  if (shown_) stack_->show();
}

ThumbnailLoader& TPictureColumn::Loader() {
  if (!loader_) {
    loader_ = new ThumbnailLoader(this, worker_);
    connect(loader_, &ThumbnailLoader::Idle, this, &TPictureColumn::Idle);
  }
  return *loader_;
}

void TPictureColumn::LoadThumbnails(const QList<TImgPanel*>& panels, const QStringList& failures) {
  failures_ << failures;
  // The top of the column (the newest) first: what is in sight fills first.
  for (auto it = panels.crbegin(); it != panels.crend(); ++it) {
    TImgPanel* panel = *it;
    thumbnails_[panel] = Loader().Request(
        panel, panel->ThumbnailJob(), panel->Thumbnail->Target(), ThumbnailLoader::kThumbnail,
        [this, panel](RenderResult result) {
          thumbnails_.remove(panel);
          panel->SetThumbnail(std::move(result.image));
        },
        [this, panel](const QString& message) {
          thumbnails_.remove(panel);
          panel->ShowLoadError(message);
          failures_ << message;
        });
    connect(panel, &QObject::destroyed, this, [this, panel] { thumbnails_.remove(panel); });
  }
  if (!Loading()) Idle();
}

void TPictureColumn::PromoteInSight() {
  if (thumbnails_.isEmpty()) return;
  const QRect sight(QPoint(0, verticalScrollBar()->value()), viewport()->size());
  for (auto it = thumbnails_.cbegin(); it != thumbnails_.cend(); ++it)
    if (it.key()->geometry().intersects(sight)) loader_->Promote(it.value(), ThumbnailLoader::kInSight);
}

void TPictureColumn::Idle() {
  if (failures_.isEmpty()) return;
  const QString message = failures_.join(u'\n');
  failures_.clear();
  emit LoadFailures(message);
}

void TPictureColumn::AskPreview(TImgPanel* panel, TImageView* view,
                                std::function<bool(const TImgPanel*)> current,
                                std::function<void(const QString&)> failed, bool again,
                                std::optional<RenderJob> job) {
  const Shown wanted{panel, view->Picture().cacheKey(), view->Target()};
  // Drawn by the workers already, and nothing drawn over it since; or asked
  // for and still on its way.
  if (!again && wanted.key != 0 && previewShown_ == wanted) return;
  if (!again && loader_ && previewTicket_ && previewAsked_ == wanted && loader_->IsPending(previewTicket_)) return;
  if (loader_) loader_->Withdraw(previewTicket_);
  previewAsked_ = wanted;
  previewTicket_ = Loader().Request(
      panel, job ? std::move(*job) : panel->StampedJob(), wanted.target, ThumbnailLoader::kPreview,
      [this, view, wanted, current](RenderResult result) {
        // Only into the view as it was when asked: a selection, Apply or a
        // crop since then has drawn or cleared it.
        if (!current(wanted.panel) || view->Picture().cacheKey() != wanted.key) return;
        view->SetPicture(std::move(result.image));
        previewShown_ = {wanted.panel, view->Picture().cacheKey(), wanted.target};
      },
      [panel, current, failed](const QString& message) {
        if (current(panel)) failed(message);
      });
}

}  // namespace tessaly
