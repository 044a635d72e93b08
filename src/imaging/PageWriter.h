// Pages for a printer or a PDF file: one picture per page, the page the size
// of the picture's print format, borderless, the picture filling it. Works on
// any paged device (QPdfWriter here, QPrinter in the window), so printing and
// "Печать в PDF" make the same pages.
#pragma once

#include <QImage>
#include <QPainter>
#include <QSizeF>
#include <memory>

class QPagedPaintDevice;

namespace tessaly {

class PageWriter {
 public:
  // The device's own settings (resolution, file) are the caller's; the page
  // size and the margins are set here for each page.
  explicit PageWriter(QPagedPaintDevice& device);
  ~PageWriter();

  // A new page of pageMm (width x height in millimetres) with the picture
  // scaled to cover it, centred: a picture of the page's proportions fills
  // it exactly, another loses the parts that overhang. False when the device
  // refuses (a file that cannot be written).
  bool AddPage(const QImage& picture, const QSizeF& pageMm);
  // Ends the document; false when the device failed.
  bool Finish();
  int Pages() const { return pages_; }

  // The part of a picture of pictureSize that covers a page of pageSize,
  // centred: the whole picture when their proportions agree.
  static QRectF CoverSource(const QSizeF& pictureSize, const QSizeF& pageSize);

 private:
  QPagedPaintDevice& device_;
  std::unique_ptr<QPainter> painter_;
  int pages_ = 0;
  bool failed_ = false;
};

}  // namespace tessaly
