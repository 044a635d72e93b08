// TPictureColumn: the window's scrolling column of picture panels (newest on
// top) and the pictures drawn for them on the workers: the thumbnails, those
// in sight first, and the stamped preview of the current picture, the newest
// request for it replacing an older one.
#pragma once

#include <QHash>
#include <QList>
#include <QScrollArea>
#include <QStringList>
#include <functional>

#include "Render.h"
#include "ThumbnailLoader.h"

class QMimeData;
class QVBoxLayout;

namespace tessaly {

class TImageView;
class TImgPanel;

class TPictureColumn : public QScrollArea {
  Q_OBJECT

 public:
  explicit TPictureColumn(QWidget* parent = nullptr);
  ~TPictureColumn() override;

  // Panels in the order they were opened (the column shows them newest on
  // top).
  QList<TImgPanel*> Panels() const;

  // A new empty panel at the top of the column, scrolled into sight.
  TImgPanel* AddPanel();
  // A new empty panel at the position (0 at the top), as a closed one comes
  // back to its place.
  TImgPanel* InsertPanel(int position);
  // The panels as the column shows them, top first, and a panel's place.
  QList<TImgPanel*> InColumn() const;
  int PositionOf(TImgPanel* panel) const;

  // Opens files into new panels at the top, in the order given, and returns
  // those that opened; each is handed to opened as soon as it is. Only the
  // dates and sizes are read here; the pixels are drawn by LoadThumbnails.
  // A file that fails keeps its panel with the error on it, and its message
  // goes to LoadFailures with the thumbnails' ones.
  QList<TImgPanel*> Open(const QStringList& files, const std::function<void(TImgPanel*)>& opened);

  // The local files and folders a drag carries.
  static QStringList DroppedPaths(const QMimeData* data);

  // While one lives, panels added to a shown column wait to be shown all at
  // once at its end, rather than each laying out the column again. (A column
  // not shown yet is left alone: it shows its panels with it.)
  class Adding {
   public:
    explicit Adding(TPictureColumn& column);
    ~Adding();
    Adding(const Adding&) = delete;
    Adding& operator=(const Adding&) = delete;

   private:
    QWidget* stack_;
    bool shown_;
  };

  // Thumbnails of newly opened panels, the top of the column first; failures
  // (the files that could not be opened) are gathered with those of the
  // thumbnails, for LoadFailures once all are in.
  void LoadThumbnails(const QList<TImgPanel*>& panels, const QStringList& failures);

  // The stamped preview of panel for view. Nothing is asked when the view
  // shows the answer to the same request already, or that request is still
  // on its way; any other request for the preview is withdrawn. again: the
  // panel's stamp or crop changed, so it is drawn again all the same (the
  // older request withdrawn). The answer goes into the view only while
  // current() is still panel and the view shows what it showed when asked;
  // a failure goes to failed while panel is current. job: what is drawn, the
  // panel's stamped job unless given (the window shows a stamp's look chosen
  // but not yet applied).
  void AskPreview(TImgPanel* panel, TImageView* view, std::function<bool(const TImgPanel*)> current,
                  std::function<void(const QString&)> failed, bool again = false,
                  std::optional<RenderJob> job = std::nullopt);

  // Thumbnails or a preview being drawn.
  bool Loading() const { return loader_ && loader_->Pending() > 0; }

  // What draws the pictures; to be set before the first request (tests hold
  // it). Empty: Render.
  void SetRenderWorker(ThumbnailLoader::Worker worker) { worker_ = std::move(worker); }

  // Removes every panel and waits for the drawing under way; for the window
  // going, before the members its answers use go.
  void Shutdown();

 signals:
  // Every request answered; the files and thumbnails that failed, one per
  // line (emitted only when there are some).
  void LoadFailures(const QString& message);

 private:
  ThumbnailLoader& Loader();
  void Idle();
  // Thumbnails scrolled into sight are made before the others.
  void PromoteInSight();

  struct Shown {
    const TImgPanel* panel = nullptr;
    qint64 key = 0;
    RenderTarget target;
    bool operator==(const Shown& o) const {
      return panel == o.panel && key == o.key && target.width == o.target.width &&
             target.height == o.target.height;
    }
  };

  QVBoxLayout* stack_;
  ThumbnailLoader* loader_ = nullptr;
  ThumbnailLoader::Worker worker_;
  QStringList failures_;
  QHash<TImgPanel*, ThumbnailLoader::Ticket> thumbnails_;  // until answered; a panel gone is removed
  ThumbnailLoader::Ticket previewTicket_ = 0;
  // The last preview the workers drew; the one asked for.
  Shown previewShown_, previewAsked_;
};

}  // namespace tessaly
