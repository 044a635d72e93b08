#include "Render.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "HeifCodec.h"
#include "JpegCodec.h"
#include "Orientation.h"
#include "PathBytes.h"
#include "PictureList.h"
#include "JpegDecode.h"

namespace tessaly {

namespace {

// The files decoded as JPEG: the reader's JPEG containers and .jfif, which
// the reader does not open (so its pictures are never turned).
bool IsJpegName(const QString& fileName) {
  return IsJpegContainerName(fileName) || QFileInfo(fileName).suffix().compare(u"jfif", Qt::CaseInsensitive) == 0;
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
  // damage, when given, receives the damage text once the rows are done.
  JpegRows(const QString& path, bool refuseDamage, QString* damage)
      : decoder_(path, refuseDamage), damage_(damage) {
    width = decoder_.Width();
    height = decoder_.Height();
  }
  ~JpegRows() override {
    if (damage_) *damage_ = decoder_.Damage();
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
  QString* damage_;
  std::vector<uint8_t> row_;
  int next_ = 0;      // the next row the decoder gives
  int current_ = -1;  // the row held in row_
};

// HEIF pictures come upright: libheif applies the file's rotation and mirror.
class HeifRows : public RowSource {
 public:
  explicit HeifRows(const QString& path) : decoder_(path) {
    width = decoder_.Width();
    height = decoder_.Height();
  }
  void Start(int64_t srcW, int64_t srcH, int64_t needW, int64_t needH) override {
    decoder_.Start(srcW, srcH, needW, needH);
    outputWidth = decoder_.OutputWidth();
    outputHeight = decoder_.OutputHeight();
  }
  const uint8_t* Row(int y) override { return decoder_.Row(y); }

 private:
  HeifDecoder decoder_;
};

// Other formats through Qt's readers, chosen by the file's extension. The
// size comes from the header where the reader can tell it, so that a probe
// decodes nothing; the pixels are read when the rows are started.
class QtRows : public RowSource {
 public:
  explicit QtRows(const QString& path) : path_(path) {
    QFile file;
    QImageReader reader;
    OpenReader(file, reader);
    const QSize size = reader.size();
    if (size.width() > 0 && size.height() > 0) {
      // The claimed size is checked before anything is decoded.
      CheckClaimedSize(path_, size.width(), size.height(), file.size());
      width = outputWidth = size.width();
      height = outputHeight = size.height();
    } else {
      Decode();
    }
  }
  void Start(int64_t, int64_t, int64_t, int64_t) override {
    if (image_.isNull()) Decode();
  }
  const uint8_t* Row(int y) override { return image_.constScanLine(y); }

 private:
  // Opens the file by its bytes: Qt's own would not find a name that is not
  // UTF-8.
  void OpenReader(QFile& file, QImageReader& reader) const {
    const int fd = ::open(PathBytes(path_).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
      const int code = fd < 0 ? errno : EBADF;
      if (fd >= 0) ::close(fd);
      throw OpenError(path_, ErrnoText(code));
    }
    reader.setDevice(&file);
    reader.setFormat(QFileInfo(path_).suffix().toLower().toLatin1());
  }
  void Decode() {
    QFile file;
    QImageReader reader;
    OpenReader(file, reader);
    // Qt's own limit (128 MB) would refuse a 45-megapixel picture; the
    // render cap decides instead.
    reader.setAllocationLimit(int(kMaxRenderBytes >> 20));
    QImage image = reader.read();
    if (image.isNull())
      throw ReadError(path_, reader.errorString());
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

  QString path_;
  QImage image_;
};

// Opens a picture and checks the size it claims; with refuseDamage a JPEG
// whose data is corrupt or ends early fails, otherwise damage receives why.
std::unique_ptr<RowSource> OpenPicture(const QString& fileName, bool refuseDamage, QString* damage) {
  // Opening a named pipe waits for a writer, for ever if none comes; it, a
  // folder or a device is no picture. A missing file is left to the decoders.
  struct stat info;
  if (::stat(PathBytes(fileName).constData(), &info) == 0 && !S_ISREG(info.st_mode))
    throw OpenError(fileName, QStringLiteral("Not a regular file"));
  if (IsJpegName(fileName)) return std::make_unique<JpegRows>(fileName, refuseDamage, damage);
  if (IsHeifName(fileName)) return std::make_unique<HeifRows>(fileName);
  return std::make_unique<QtRows>(fileName);
}

// The rows of a picture stored turned or mirrored, delivered upright. Width,
// height and the scale asked for are the upright picture's. A mirrored row
// is made as it is decoded; the other orientations decode the whole picture
// (at the scale chosen) into its upright form first.
class UprightRows : public RowSource {
 public:
  UprightRows(std::unique_ptr<RowSource> stored, Orientation orientation)
      : stored_(std::move(stored)), orientation_(orientation), swap_(orientation.SwapsSides()) {
    width = swap_ ? stored_->height : stored_->width;
    height = swap_ ? stored_->width : stored_->height;
  }

  void Start(int64_t srcW, int64_t srcH, int64_t needW, int64_t needH) override {
    if (swap_)
      stored_->Start(srcH, srcW, needH, needW);
    else
      stored_->Start(srcW, srcH, needW, needH);
    outputWidth = swap_ ? stored_->outputHeight : stored_->outputWidth;
    outputHeight = swap_ ? stored_->outputWidth : stored_->outputHeight;
    if (orientation_.StreamsRows()) {
      row_.resize(size_t(outputWidth) * 3);
      return;
    }
    picture_ = std::make_unique<UprightPicture>(orientation_, stored_->outputWidth, stored_->outputHeight);
    picture_->Fill([this](int y) { return stored_->Row(y); });
    stored_.reset();  // the file is read through
  }

  const uint8_t* Row(int y) override {
    if (picture_) return picture_->Row(y);
    MirrorRow(stored_->Row(y), row_.data(), outputWidth);
    return row_.data();
  }

 private:
  std::unique_ptr<RowSource> stored_;
  Orientation orientation_;
  bool swap_;
  std::vector<uint8_t> row_;
  std::unique_ptr<UprightPicture> picture_;
};

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

// Where the date and comment go on an output of ow x oh: each line ends three
// "#" widths before the right edge; the comment sits fh above the bottom edge
// and the date above it (on the bottom line when there is no comment).
struct StampLayout {
  QFont font;
  int64_t lineHeight, ascent;
  int64_t commentLeft, commentTop, dateLeft, dateTop;
  int64_t Top() const { return std::min(commentTop, dateTop); }
};

StampLayout LayOutStamp(const RenderJob& job, int64_t ow, int64_t oh, QPaintDevice* device) {
  const int64_t fh = oh * job.font.Size() / 400;  // a cell height in pixels
  StampLayout layout;
  layout.font = job.font.ToQFont(fh > 0 ? int(std::min<int64_t>(fh, 1 << 20)) : 0);
  const QFontMetrics metrics(layout.font, device);
  const QString margin = QStringLiteral("###");
  layout.lineHeight = metrics.height();
  layout.ascent = metrics.ascent();
  layout.commentLeft = ow - metrics.horizontalAdvance(job.comment + margin);
  layout.commentTop = oh - fh - (job.comment.isEmpty() ? 0 : layout.lineHeight);
  layout.dateLeft = ow - metrics.horizontalAdvance(job.dateText + margin);
  layout.dateTop = layout.commentTop - layout.lineHeight;
  return layout;
}

// Draws the texts into image, whose first row is output row `top`. The
// background shows between the letters.
void DrawStamp(QImage& image, int64_t top, const StampLayout& layout, const RenderJob& job) {
  QPainter painter(&image);
  painter.setFont(layout.font);
  painter.setPen(job.font.Color());
  painter.setBackgroundMode(Qt::TransparentMode);
  const int halo = TStampFont::HaloWidth(int(std::min<int64_t>(layout.lineHeight, 1 << 20)));
  const auto drawLine = [&](const QString& text, int64_t left, int64_t lineTop) {
    const QPointF origin(double(left), double(lineTop - top + layout.ascent));
    if (job.font.outline && !text.isEmpty()) {
      // The halo is the glyphs' outline stroked twice as wide as it reaches
      // out (half of a stroke lies inside the letters); the letters are then
      // drawn over it as without an outline.
      QPainterPath path;
      path.addText(origin, layout.font, text);
      painter.save();
      painter.setRenderHint(QPainter::Antialiasing);
      painter.strokePath(path, QPen(job.font.HaloColor(), 2.0 * halo, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      painter.restore();
    }
    painter.drawText(origin, text);
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
  if (!job.orientation.IsUpright()) rows = std::make_unique<UprightRows>(std::move(rows), job.orientation);
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
  if (job.withStamp)
    DrawStamp(result.image, 0, LayOutStamp(job, size.width(), size.height(), &result.image), job);
  return result;
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

  // The band from one line above the date down to the bottom edge holds the
  // text (glyphs may reach a little outside their cells); the rows above it
  // go out as they are decoded. It keeps at least the last row, also when
  // the text lies below the picture.
  QImage probe(1, 1, QImage::Format_RGB888);
  const StampLayout layout = LayOutStamp(job, ow, oh, &probe);
  const int64_t bandTop = std::clamp<int64_t>(layout.Top() - layout.lineHeight, 0, oh - 1);
  QImage band = NewPicture(ow, oh - bandTop);

  class Sink : public RowSink {
   public:
    Sink(RowConsumer& consumer, QImage& band, int64_t bandTop, int64_t width)
        : consumer_(consumer), band_(band), bandTop_(bandTop), row_(size_t(width) * 3) {}
    uint8_t* Row(int64_t y) override { return y < bandTop_ ? row_.data() : band_.scanLine(int(y - bandTop_)); }
    void Done(int64_t y) override {
      if (y < bandTop_) consumer_.Rows(row_.data(), row_.size(), 1);
    }

   private:
    RowConsumer& consumer_;
    QImage& band_;
    int64_t bandTop_;
    std::vector<uint8_t> row_;
  } sink(consumer, band, bandTop, ow);

  consumer.Begin(int(ow), int(oh));
  CopyRect(*rows, result.crop, ow, oh, sink);
  rows.reset();
  DrawStamp(band, bandTop, layout, job);
  consumer.Rows(band.constBits(), size_t(band.bytesPerLine()), band.height());
  return result;
}

}  // namespace tessaly
