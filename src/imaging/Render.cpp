#include "Render.h"

#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <tuple>
#include <memory>
#include <vector>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "Orientation.h"
#include "PathBytes.h"
#include "PictureRows.h"
#include "PictureList.h"

namespace tessaly {

namespace {

// Source pixel for output pixel i of n over a source run of len starting at
// first: the one under the output pixel's centre. No averaging, so rows and
// columns are dropped or repeated as with a colour-on-colour stretch.
int64_t SourceIndex(int64_t i, int64_t n, int64_t first, int64_t len) {
  return first + (2 * i + 1) * len / (2 * n);
}

// Where CopyRect puts the output rows: Row(y) is the memory for row y, and
// Done(y) says it is complete. Rows come top to bottom.
class RowSink {
 public:
  virtual ~RowSink() = default;
  virtual uint8_t* Row(int64_t y) = 0;
  virtual void Done(int64_t) {}
};

class ImageSink : public RowSink {
 public:
  explicit ImageSink(QImage& image) : image_(image) {}
  uint8_t* Row(int64_t y) override { return image_.scanLine(int(y)); }

 private:
  QImage& image_;
};

// Copies the source rectangle src (full-size pixels) onto an output of
// ow x oh pixels. Parts of src outside the picture are filled with
// kOutsideColor.
void CopyRect(RowSource& rows, const TRect& src, int64_t ow, int64_t oh, RowSink& sink) {
  const int64_t sw = src.Width(), sh = src.Height();
  rows.Start(sw, sh, ow, oh);
  const uint8_t fill[3] = {uint8_t(qRed(kOutsideColor)), uint8_t(qGreen(kOutsideColor)),
                           uint8_t(qBlue(kOutsideColor))};

  // Column map into the delivered rows; -1 outside the picture.
  std::vector<int32_t> column(static_cast<size_t>(ow));
  const bool identity = rows.outputWidth == rows.width && ow == sw;
  for (int64_t x = 0; x < ow; ++x) {
    const int64_t fx = SourceIndex(x, ow, src.Left, sw);
    column[size_t(x)] = fx < 0 || fx >= rows.width ? -1 : int32_t(fx * rows.outputWidth / rows.width);
  }
  // With an unscaled copy the columns inside the picture are one run.
  const int64_t runBegin = std::clamp<int64_t>(-int64_t(src.Left), 0, ow);
  const int64_t runEnd = std::clamp<int64_t>(int64_t(rows.width) - src.Left, runBegin, ow);

  int64_t previous = -2;  // the delivered row copied last
  const uint8_t* previousLine = nullptr;
  for (int64_t y = 0; y < oh; ++y) {
    uint8_t* line = sink.Row(y);
    const int64_t fy = SourceIndex(y, oh, src.Top, sh);
    const int64_t sy = fy < 0 || fy >= rows.height ? -1 : fy * rows.outputHeight / rows.height;
    if (sy == previous) {
      if (line != previousLine) std::memcpy(line, previousLine, size_t(ow) * 3);
    } else if (sy < 0) {
      for (int64_t x = 0; x < ow; ++x) std::memcpy(line + 3 * x, fill, 3);
    } else {
      const uint8_t* in = rows.Row(int(sy));
      if (identity) {
        for (int64_t x = 0; x < runBegin; ++x) std::memcpy(line + 3 * x, fill, 3);
        std::memcpy(line + 3 * runBegin, in + 3 * (src.Left + runBegin), size_t(runEnd - runBegin) * 3);
        for (int64_t x = runEnd; x < ow; ++x) std::memcpy(line + 3 * x, fill, 3);
      } else {
        for (int64_t x = 0; x < ow; ++x) {
          const int32_t c = column[size_t(x)];
          std::memcpy(line + 3 * x, c < 0 ? fill : in + 3 * int64_t(c), 3);
        }
      }
    }
    previous = sy;
    previousLine = line;
    sink.Done(y);
  }
}

// Where the date and comment go on an output of ow x oh. At the bottom right
// each line ends three "#" widths before the right edge, the comment sits fh
// above the bottom edge and the date above it (on the bottom line when there
// is no comment); the other positions mirror these margins. With safe
// margins the whole stamp is then moved, if need be, to keep its distance
// from every edge.
struct StampLayout {
  QFont font;
  int64_t lineHeight, ascent;
  int64_t commentLeft, commentTop, dateLeft, dateTop;
  int64_t Top() const { return std::min(commentTop, dateTop); }
  int64_t Bottom() const { return std::max(commentTop, dateTop) + lineHeight; }
};

// How far the glow reaches out of the letters, for a cell of lineHeight.
int GlowWidth(int64_t lineHeight) { return int(std::clamp<int64_t>(lineHeight / 10, 1, 1 << 16)); }

// The part of the output the stamp is placed on: the whole output, or the
// picture inside the white borders of a fit.
struct StampArea {
  int64_t left = 0, top = 0, width = 0, height = 0;
};

StampArea AreaOf(const RenderJob& job, const TRect& crop, int pictureWidth, int pictureHeight, int64_t ow,
                 int64_t oh) {
  if (!job.stampOnPicture || crop.Width() <= 0 || crop.Height() <= 0) return {0, 0, ow, oh};
  const auto map = [](int64_t v, int64_t first, int64_t len, int64_t out) {
    return std::clamp<int64_t>((v - first) * out / len, 0, out);
  };
  const int64_t left = map(0, crop.Left, crop.Width(), ow), right = map(pictureWidth, crop.Left, crop.Width(), ow);
  const int64_t top = map(0, crop.Top, crop.Height(), oh), bottom = map(pictureHeight, crop.Top, crop.Height(), oh);
  return {left, top, right - left, bottom - top};
}

StampLayout LayOutStamp(const RenderJob& job, int64_t ow, int64_t oh, QPaintDevice* device,
                        const StampArea& area) {
  const TStampFont& stamp = job.font;
  const int64_t fh = area.height * stamp.Size() / 400;  // a cell height in pixels
  StampLayout layout;
  layout.font = stamp.StampQFont(fh > 0 ? int(std::min<int64_t>(fh, 1 << 20)) : 0);
  const QFontMetrics metrics(layout.font, device);
  const QString margin = QStringLiteral("###");
  layout.lineHeight = metrics.height();
  layout.ascent = metrics.ascent();
  const int64_t lh = layout.lineHeight;
  const int64_t right = area.left + area.width, bottom = area.top + area.height;
  const auto leftOf = [&](const QString& text) -> int64_t {
    switch (stamp.position) {
      case StampPosition::BottomLeft:
      case StampPosition::TopLeft:
        return area.left + metrics.horizontalAdvance(margin);
      case StampPosition::BottomCenter:
        return area.left + (area.width - metrics.horizontalAdvance(text)) / 2;
      default:
        return right - metrics.horizontalAdvance(text + margin);
    }
  };
  layout.commentLeft = leftOf(job.comment);
  layout.dateLeft = leftOf(job.dateText);
  if (stamp.position == StampPosition::TopLeft || stamp.position == StampPosition::TopRight) {
    layout.dateTop = area.top + fh;
    layout.commentTop = layout.dateTop + (job.dateText.isEmpty() ? 0 : lh);
  } else {
    layout.commentTop = bottom - fh - (job.comment.isEmpty() ? 0 : lh);
    layout.dateTop = layout.commentTop - lh;
  }
  if (stamp.safeMargins) {
    // The ink of the lines drawn, with the outline and the glow around it.
    int64_t x0 = INT64_MAX, x1 = INT64_MIN, y0 = INT64_MAX, y1 = INT64_MIN;
    for (const auto& [text, left, top] : {std::tuple{job.dateText, layout.dateLeft, layout.dateTop},
                                          std::tuple{job.comment, layout.commentLeft, layout.commentTop}}) {
      if (text.isEmpty()) continue;
      const QRect ink = metrics.boundingRect(text);
      x0 = std::min<int64_t>(x0, left + std::min(0, ink.left()));
      x1 = std::max<int64_t>(x1, left + std::max<int64_t>(metrics.horizontalAdvance(text), ink.right() + 1));
      y0 = std::min(y0, top);
      y1 = std::max(y1, top + lh);
    }
    if (x0 <= x1) {
      const int64_t reach = std::max<int64_t>(stamp.outline ? TStampFont::HaloWidth(int(std::min<int64_t>(lh, 1 << 20))) : 0,
                                              stamp.glow ? GlowWidth(lh) : 0) + 1;
      const int64_t m = TStampFont::SafeMargin(ow, oh) + reach;
      // Moved in from the edges; a stamp too large for the space keeps to
      // the left or top margin.
      const auto shift = [](int64_t first, int64_t last, int64_t low, int64_t high) -> int64_t {
        if (last > high) return std::max(high - last, low - first);
        return first < low ? low - first : 0;
      };
      const int64_t dx = shift(x0, x1, m, ow - m), dy = shift(y0, y1, m, oh - m);
      layout.commentLeft += dx;
      layout.dateLeft += dx;
      layout.commentTop += dy;
      layout.dateTop += dy;
    }
  }
  return layout;
}

// Draws the texts into image, whose first row is output row `top`. The
// background shows between the letters.
//
// The letters are filled from their outlines rather than drawn with
// drawText: Qt rasterises drawText's glyphs through a cache each thread
// keeps, and what a thread drew before can change a glyph's antialiasing by
// a few levels. A filled outline depends on the text, font and position
// alone, so a copy is the same whichever worker makes it.
void DrawStamp(QImage& image, int64_t top, const StampLayout& layout, const RenderJob& job) {
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  const int halo = TStampFont::HaloWidth(int(std::min<int64_t>(layout.lineHeight, 1 << 20)));
  const auto drawLine = [&](const QString& text, int64_t left, int64_t lineTop) {
    if (text.isEmpty()) return;
    QPainterPath path;
    path.addText(QPointF(double(left), double(lineTop - top + layout.ascent)), layout.font, text);
    if (job.font.glow) {
      // A faint glow: the outline stroked in the text's colour, thinly
      // covering, wider strokes first, so it fades outwards.
      QColor glow = job.font.Color();
      glow.setAlpha(36);
      const int reach = GlowWidth(layout.lineHeight);
      for (int step = 3; step >= 1; --step)
        painter.strokePath(path, QPen(glow, 2.0 * reach * step / 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    }
    // The halo is the glyphs' outline stroked twice as wide as it reaches
    // out (half of a stroke lies inside the letters); the letters are then
    // filled over it.
    if (job.font.outline)
      painter.strokePath(path, QPen(job.font.HaloColor(), 2.0 * halo, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.fillPath(path, job.font.Color());
  };
  drawLine(job.comment, layout.commentLeft, layout.commentTop);
  drawLine(job.dateText, layout.dateLeft, layout.dateTop);
}

}  // namespace

namespace {

QImage NewPicture(int64_t width, int64_t height) {
  CheckPictureSize(width, height);
  QImage image(int(width), int(height), QImage::Format_RGB888);
  if (image.isNull()) throw PictureSizeError(width, height);
  return image;
}

// Opens the job's picture, upright, and settles its crop.
std::unique_ptr<RowSource> Open(const RenderJob& job, RenderResult& result, bool refuseDamage) {
  std::unique_ptr<RowSource> rows = OpenPicture(job.fileName, refuseDamage, &result.damage);
  // Orientation 1 reads the stored rows as they come, a band at a time.
  if (!job.orientation.IsUpright()) rows = UprightRowsOf(std::move(rows), job.orientation);
  if (job.uprightSize && *job.uprightSize != QSize(rows->width, rows->height))
    throw PictureChanged(job.fileName);
  result.pictureWidth = rows->width;
  result.pictureHeight = rows->height;
  result.crop = job.crop.value_or(TRect{0, 0, rows->width, rows->height});
  return rows;
}

}  // namespace

QSize OutputSize(int64_t sw, int64_t sh, const RenderTarget& target) {
  if (sw <= 0 || sh <= 0 || sw > INT32_MAX || sh > INT32_MAX) return QSize(0, 0);
  if (!target.stretch) return QSize(int(sw), int(sh));
  const double r = double(sw) / double(sh);
  if (sw > sh) return QSize(target.width, int(std::clamp(std::nearbyint(target.width / r), 0.0, 1e9)));
  return QSize(int(std::clamp(std::nearbyint(target.height * r), 0.0, 1e9)), target.height);
}

RenderResult Render(const RenderJob& job, const RenderTarget& target) {
  RenderResult result;
  std::unique_ptr<RowSource> rows = Open(job, result, false);
  const TRect src = job.withStamp ? result.crop : TRect{0, 0, rows->width, rows->height};
  const QSize size = OutputSize(src.Width(), src.Height(), target);
  if (size.isEmpty()) return result;  // nothing to draw into
  result.image = NewPicture(size.width(), size.height());
  ImageSink sink(result.image);
  CopyRect(*rows, src, size.width(), size.height(), sink);
  rows.reset();  // the file is closed before the text is drawn
  if (job.withStamp) {
    const StampArea area = AreaOf(job, src, result.pictureWidth, result.pictureHeight, size.width(), size.height());
    DrawStamp(result.image, 0, LayOutStamp(job, size.width(), size.height(), &result.image, area), job);
  }
  return result;
}

QRect StampRect(const RenderJob& job, int pictureWidth, int pictureHeight) {
  const TRect crop = job.crop.value_or(TRect{0, 0, pictureWidth, pictureHeight});
  const int64_t ow = crop.Width(), oh = crop.Height();
  QImage probe(1, 1, QImage::Format_RGB888);
  const StampLayout layout =
      LayOutStamp(job, ow, oh, &probe, AreaOf(job, crop, pictureWidth, pictureHeight, ow, oh));
  const QFontMetrics metrics(layout.font, &probe);
  QRect box;
  if (!job.dateText.isEmpty())
    box |= QRect(int(layout.dateLeft), int(layout.dateTop), metrics.horizontalAdvance(job.dateText), int(layout.lineHeight));
  if (!job.comment.isEmpty())
    box |= QRect(int(layout.commentLeft), int(layout.commentTop), metrics.horizontalAdvance(job.comment),
                 int(layout.lineHeight));
  return box;
}

RenderResult Probe(const RenderJob& job) {
  RenderResult result;
  Open(job, result, false);
  return result;
}

RenderResult RenderFullSize(const RenderJob& job, RowConsumer& consumer) {
  RenderResult result;
  std::unique_ptr<RowSource> rows = Open(job, result, true);
  const int64_t ow = result.crop.Width(), oh = result.crop.Height();
  CheckPictureSize(ow, oh);  // the same limit as a picture made whole

  // The band from one line above the stamp down to the bottom edge (or, for
  // a stamp at the top, to one line below it) holds the text (glyphs may
  // reach a little outside their cells); the rows around it go out as they
  // are decoded. It keeps at least the last row, also when the text lies
  // below the picture.
  QImage probe(1, 1, QImage::Format_RGB888);
  const StampLayout layout = LayOutStamp(job, ow, oh, &probe,
                                         AreaOf(job, result.crop, result.pictureWidth, result.pictureHeight, ow, oh));
  const bool atTop = job.font.position == StampPosition::TopLeft || job.font.position == StampPosition::TopRight;
  const int64_t bandTop = std::clamp<int64_t>(layout.Top() - layout.lineHeight, 0, oh - 1);
  const int64_t bandEnd = atTop ? std::clamp<int64_t>(layout.Bottom() + layout.lineHeight, bandTop + 1, oh) : oh;
  QImage band = NewPicture(ow, bandEnd - bandTop);

  class Sink : public RowSink {
   public:
    Sink(RowConsumer& consumer, QImage& band, int64_t bandTop, int64_t width, std::function<void()> drawBand)
        : consumer_(consumer), band_(band), bandTop_(bandTop), bandEnd_(bandTop + band.height()),
          row_(size_t(width) * 3), drawBand_(std::move(drawBand)) {}
    uint8_t* Row(int64_t y) override {
      if (y >= bandTop_ && y < bandEnd_) return band_.scanLine(int(y - bandTop_));
      uint8_t* space = consumer_.RowSpace();
      return current_ = space ? space : row_.data();
    }
    void Done(int64_t y) override {
      if (y < bandTop_ || y >= bandEnd_) {
        consumer_.Rows(current_, row_.size(), 1);
      } else if (y == bandEnd_ - 1) {
        drawBand_();
        consumer_.Rows(band_.constBits(), size_t(band_.bytesPerLine()), band_.height());
      }
    }

   private:
    RowConsumer& consumer_;
    QImage& band_;
    int64_t bandTop_, bandEnd_;
    std::vector<uint8_t> row_;
    uint8_t* current_ = nullptr;  // where row y is made
    std::function<void()> drawBand_;
  } sink(consumer, band, bandTop, ow, [&] { DrawStamp(band, bandTop, layout, job); });

  consumer.Begin(int(ow), int(oh));
  // A picture turned upright is decoded whole before its first row goes out;
  // meanwhile the encoder's core turns the strips decoded so far.
  if (consumer.HasSecondThread()) rows->AllowSecondThread();
  CopyRect(*rows, result.crop, ow, oh, sink);
  result.notes = rows->Notes();
  return result;
}

}  // namespace tessaly
