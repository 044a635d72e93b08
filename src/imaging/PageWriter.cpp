#include "PageWriter.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>

namespace tessaly {

PageWriter::PageWriter(QPagedPaintDevice& device) : device_(device) {}

PageWriter::~PageWriter() { Finish(); }

QRectF PageWriter::CoverSource(const QSizeF& pictureSize, const QSizeF& pageSize) {
  if (pictureSize.isEmpty() || pageSize.isEmpty()) return QRectF(QPointF(0, 0), pictureSize);
  const double scale = std::max(pageSize.width() / pictureSize.width(), pageSize.height() / pictureSize.height());
  const QSizeF part(pageSize.width() / scale, pageSize.height() / scale);
  return QRectF(QPointF((pictureSize.width() - part.width()) / 2, (pictureSize.height() - part.height()) / 2), part);
}

bool PageWriter::AddPage(const QImage& picture, const QSizeF& pageMm) {
  if (failed_) return false;
  // Portrait or landscape is in the size itself: the page is never turned.
  const QPageLayout layout(QPageSize(pageMm, QPageSize::Millimeter, QString(), QPageSize::ExactMatch),
                           QPageLayout::Portrait, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
  if (!painter_) {
    device_.setPageLayout(layout);
    painter_ = std::make_unique<QPainter>();
    if (!painter_->begin(&device_)) {
      failed_ = true;
      return false;
    }
  } else {
    device_.setPageLayout(layout);
    if (!device_.newPage()) {
      failed_ = true;
      return false;
    }
  }
  ++pages_;
  const QRectF page(0, 0, device_.width(), device_.height());
  painter_->setRenderHint(QPainter::SmoothPixmapTransform);
  painter_->drawImage(page, picture, CoverSource(picture.size(), page.size()));
  return true;
}

bool PageWriter::Finish() {
  if (painter_ && painter_->isActive()) failed_ = !painter_->end() || failed_;
  painter_.reset();
  return !failed_;
}

}  // namespace tessaly
