#include "Render.h"

#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "JpegCodec.h"

namespace tessaly {

namespace {

// The largest picture a render makes (a 24-megapixel export takes 72 MB); a
// file claiming more is refused rather than exhausting memory.
constexpr int64_t kMaxOutputBytes = int64_t(1) << 30;

bool IsJpegName(const QString& fileName) {
  const QString ext = QFileInfo(fileName).suffix().toLower();
  return ext == u"jpg" || ext == u"jpeg" || ext == u"jpe" || ext == u"jfif";
}

// The rows of a decoded picture, asked for in order (never backwards).
class RowSource {
 public:
  virtual ~RowSource() = default;
  int width = 0, height = 0;              // full size
  int outputWidth = 0, outputHeight = 0;  // size the rows come in
  // Chooses the scale the rows are delivered at: the smallest that still has
  // at least needW x needH pixels over a source of srcW x srcH full-size ones.
  virtual void Start(int64_t srcW, int64_t srcH, int64_t needW, int64_t needH) = 0;
  virtual const uint8_t* Row(int y) = 0;  // RGB888, outputWidth pixels
};

class JpegRows : public RowSource {
 public:
  explicit JpegRows(const QString& path) : decoder_(path) {
    width = decoder_.Width();
    height = decoder_.Height();
  }

  void Start(int64_t srcW, int64_t srcH, int64_t needW, int64_t needH) override {
    // A reduced DCT scale decodes far less, which is what makes thumbnails
    // and previews of large photos quick; it must still cover the output.
    int eighths = 1;
    while (eighths < 8 && (srcW * eighths < needW * 8 || srcH * eighths < needH * 8)) ++eighths;
    decoder_.Start(eighths);
    outputWidth = decoder_.OutputWidth();
    outputHeight = decoder_.OutputHeight();
    row_.resize(size_t(outputWidth) * 3);
  }

  const uint8_t* Row(int y) override {
    if (y == current_) return row_.data();
    const int gap = y - next_;
    // Skipping only pays over longer runs; short gaps are read through.
    if (gap > 16) {
      decoder_.SkipRows(gap);
      next_ = y;
    }
    while (next_ <= y) {
      decoder_.ReadRow(row_.data());
      ++next_;
    }
    current_ = y;
    return row_.data();
  }

 private:
  JpegDecoder decoder_;
  std::vector<uint8_t> row_;
  int next_ = 0;      // the next row the decoder gives
  int current_ = -1;  // the row held in row_
};

// Other formats through Qt's readers, chosen by the file's extension.
class QtRows : public RowSource {
 public:
  explicit QtRows(const QString& path) {
    QImageReader reader(path, QFileInfo(path).suffix().toLower().toLatin1());
    QImage image = reader.read();
    if (image.isNull())
      throw PictureError(QStringLiteral("Cannot read %1: %2").arg(path, reader.errorString()));
    if (image.hasAlphaChannel()) {
      // Transparent parts show the white of a fresh bitmap.
      QImage flat(image.size(), QImage::Format_RGB888);
      flat.fill(Qt::white);
      QPainter(&flat).drawImage(0, 0, image);
      image = std::move(flat);
    } else {
      image.convertTo(QImage::Format_RGB888);
    }
    image_ = std::move(image);
    width = outputWidth = image_.width();
    height = outputHeight = image_.height();
  }
  void Start(int64_t, int64_t, int64_t, int64_t) override {}
  const uint8_t* Row(int y) override { return image_.constScanLine(y); }

 private:
  QImage image_;
};

std::unique_ptr<RowSource> OpenPicture(const QString& fileName) {
  if (IsJpegName(fileName)) return std::make_unique<JpegRows>(fileName);
  return std::make_unique<QtRows>(fileName);
}

// Source pixel for output pixel i of n over a source run of len starting at
// first: the one under the output pixel's centre. No averaging, so rows and
// columns are dropped or repeated as with a colour-on-colour stretch.
int64_t SourceIndex(int64_t i, int64_t n, int64_t first, int64_t len) {
  return first + (2 * i + 1) * len / (2 * n);
}

// Copies the source rectangle src (full-size pixels) onto the whole of out.
// Parts of src outside the picture are filled with kOutsideColor.
void CopyRect(RowSource& rows, const TRect& src, QImage& out) {
  const int64_t ow = out.width(), oh = out.height();
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
  for (int64_t y = 0; y < oh; ++y) {
    uint8_t* line = out.scanLine(int(y));
    const int64_t fy = SourceIndex(y, oh, src.Top, sh);
    const int64_t sy = fy < 0 || fy >= rows.height ? -1 : fy * rows.outputHeight / rows.height;
    if (sy == previous && y > 0) {
      std::memcpy(line, out.constScanLine(int(y - 1)), size_t(ow) * 3);
      continue;
    }
    previous = sy;
    if (sy < 0) {
      for (int64_t x = 0; x < ow; ++x) std::memcpy(line + 3 * x, fill, 3);
      continue;
    }
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
}

// The date and comment in the lower right corner: each line ends three "#"
// widths before the right edge; the comment sits fh above the bottom edge and
// the date above it (on the bottom line when there is no comment).
void DrawStamp(QImage& out, const RenderJob& job) {
  const int64_t oh = out.height(), ow = out.width();
  const int64_t fh = oh * job.font.Size() / 400;  // a cell height in pixels
  QPainter painter(&out);
  painter.setFont(job.font.ToQFont(fh > 0 ? int(std::min<int64_t>(fh, 1 << 20)) : 0));
  painter.setPen(job.font.Color());
  painter.setBackgroundMode(Qt::TransparentMode);
  const QFontMetrics metrics = painter.fontMetrics();
  const QString margin = QStringLiteral("###");
  const auto drawLine = [&](const QString& text, int64_t top) {
    const int64_t left = ow - metrics.horizontalAdvance(text + margin);
    painter.drawText(QPointF(double(left), double(top + metrics.ascent())), text);
  };
  const int64_t commentTop = oh - fh - (job.comment.isEmpty() ? 0 : metrics.height());
  drawLine(job.comment, commentTop);
  drawLine(job.dateText, commentTop - metrics.height());
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
  std::unique_ptr<RowSource> rows = OpenPicture(job.fileName);
  RenderResult result;
  result.pictureWidth = rows->width;
  result.pictureHeight = rows->height;
  const TRect whole{0, 0, rows->width, rows->height};
  result.crop = job.crop.value_or(whole);

  const TRect& src = job.withStamp ? result.crop : whole;
  const QSize size = OutputSize(src.Width(), src.Height(), target);
  if (size.width() <= 0 || size.height() <= 0) return result;  // nothing to draw into
  if (int64_t(size.width()) * size.height() * 3 <= kMaxOutputBytes)
    result.image = QImage(size, QImage::Format_RGB888);
  if (result.image.isNull())
    throw PictureError(QStringLiteral("Cannot make a picture of %1 x %2 pixels")
                           .arg(size.width())
                           .arg(size.height()));
  CopyRect(*rows, src, result.image);
  rows.reset();  // the file is closed before the text is drawn
  if (job.withStamp) DrawStamp(result.image, job);
  return result;
}

}  // namespace tessaly
