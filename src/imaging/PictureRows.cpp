#include "PictureRows.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <tuple>
#include <memory>
#include <png.h>
#include <vector>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include "DecodeMessages.h"
#include "HeifCodec.h"
#include "JpegCodec.h"
#include "Orientation.h"
#include "PathBytes.h"
#include "PictureError.h"
#include "PictureList.h"
#include "JpegDecode.h"

namespace tessaly {

namespace {

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
  HeifRows(const QString& path, bool forViews) : decoder_(path, forViews) {
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

// PNG through libpng's simplified interface, which reports damage (a bad
// CRC, data that ends early) as its message instead of printing it, and
// composites transparent parts onto the white of a fresh bitmap.
class PngRows : public RowSource {
 public:
  // As JpegRows: with refuseDamage, damaged data fails; otherwise damage,
  // when given, receives why.
  PngRows(const QString& path, bool refuseDamage, QString* damage)
      : path_(path), refuseDamage_(refuseDamage), damage_(damage) {
    const int fd = ::open(PathBytes(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw OpenError(path, ErrnoText(errno));
    struct stat facts {};
    file_ = ::fdopen(fd, "rb");
    if (!file_ || ::fstat(fd, &facts) != 0) {
      const int code = errno;
      if (!file_) ::close(fd);
      throw OpenError(path, ErrnoText(code));
    }
    image_.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_stdio(&image_, file_)) throw ReadError(path, QString::fromUtf8(image_.message));
    CheckClaimedSize(path, image_.width, image_.height, facts.st_size);
    width = outputWidth = int(image_.width);
    height = outputHeight = int(image_.height);
  }
  ~PngRows() override {
    png_image_free(&image_);
    if (file_) std::fclose(file_);
  }
  PngRows(const PngRows&) = delete;
  PngRows& operator=(const PngRows&) = delete;

  void Start(int64_t, int64_t, int64_t, int64_t) override {
    image_.format = PNG_FORMAT_RGB;
    pixels_.assign(size_t(width) * 3 * size_t(height), 0xFF);
    const png_color white{255, 255, 255};
    if (png_image_finish_read(&image_, &white, pixels_.data(), width * 3, nullptr)) {
      if (image_.warning_or_error & PNG_IMAGE_WARNING) notes_ = QString::fromUtf8(image_.message);
      return;
    }
    const QString reason = QString::fromUtf8(image_.message);
    if (refuseDamage_) throw ReadError(path_, QStringLiteral("Picture data is damaged: ") + reason);
    if (damage_) *damage_ = reason;
  }
  const uint8_t* Row(int y) override { return pixels_.data() + size_t(y) * size_t(width) * 3; }
  QString Notes() const override { return notes_; }

 private:
  QString path_;
  bool refuseDamage_;
  QString* damage_;
  QString notes_;
  FILE* file_ = nullptr;
  png_image image_{};
  std::vector<uint8_t> pixels_;
};

// Whether the file starts with the PNG signature (ISO/IEC 15948 section 5.2).
bool HasPngSignature(const QString& fileName) {
  const int fd = ::open(PathBytes(fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  char signature[8];
  const bool png = ::pread(fd, signature, sizeof signature, 0) == ssize_t(sizeof signature) &&
                   std::memcmp(signature, "\x89PNG\r\n\x1A\n", 8) == 0;
  ::close(fd);
  return png;
}

// Warnings of one picture's decode in one line: the first three, then how
// many more there were.
QString NotesLine(const QStringList& warnings) {
  constexpr qsizetype kShown = 3;
  if (warnings.size() <= kShown) return warnings.join(QStringLiteral("; "));
  return warnings.first(kShown).join(QStringLiteral("; ")) + QStringLiteral("; and %1 more").arg(warnings.size() - kShown);
}

// Other formats through Qt's readers, chosen by the file's extension. The
// size comes from the header where the reader can tell it, so that a probe
// decodes nothing; the pixels are read when the rows are started.
class QtRows : public RowSource {
 public:
  // As JpegRows: with refuseDamage, data the library reports as damaged
  // fails; otherwise damage, when given, receives why.
  QtRows(const QString& path, bool refuseDamage, QString* damage)
      : path_(path), refuseDamage_(refuseDamage), damage_(damage) {
    QFile file;
    QImageReader reader;
    OpenReader(file, reader);
    const DecodeMessages quiet;  // reading the header may warn too
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
    // The format the file's contents show, which may not be its extension's.
    const QByteArray format = QImageReader::imageFormat(&file);
    reader.setFormat(format.isEmpty() ? QFileInfo(path_).suffix().toLower().toLatin1() : format);
  }
  void Decode() {
    QFile file;
    QImageReader reader;
    OpenReader(file, reader);
    // Qt's own limit (128 MB) would refuse a 45-megapixel picture; the
    // render cap decides instead.
    reader.setAllocationLimit(int(kMaxRenderBytes >> 20));
    // libpng and libtiff report damage (a bad CRC, a bad LZW code word, data
    // that ends early) through Qt's messages, and Qt may still give the
    // picture as far as it got; their messages are taken here rather than
    // printed, and an error among them is damage, as for a JPEG.
    QImage image;
    QString damage;
    {
      const DecodeMessages messages;
      image = reader.read();
      damage = messages.Errors().join(QStringLiteral("; "));
      notes_ = NotesLine(messages.Warnings());
    }
    if (!damage.isEmpty() && (refuseDamage_ || image.isNull()))
      throw ReadError(path_, QStringLiteral("Picture data is damaged: ") + damage);
    if (damage_) *damage_ = damage;
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
  bool refuseDamage_;
  QString* damage_;
  QString notes_;
  QImage image_;
};

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
    picture_->Fill([this](int y) { return stored_->Row(y); }, twoThreads_);
    notes_ = stored_->Notes();
    stored_.reset();  // the file is read through
  }

  void AllowSecondThread() override { twoThreads_ = true; }
  QString Notes() const override { return stored_ ? stored_->Notes() : notes_; }

  const uint8_t* Row(int y) override {
    if (picture_) return picture_->Row(y);
    MirrorRow(stored_->Row(y), row_.data(), outputWidth);
    return row_.data();
  }

 private:
  std::unique_ptr<RowSource> stored_;
  Orientation orientation_;
  bool swap_;
  bool twoThreads_ = false;
  QString notes_;
  std::vector<uint8_t> row_;
  std::unique_ptr<UprightPicture> picture_;
};

}  // namespace

std::unique_ptr<RowSource> OpenPicture(const QString& fileName, bool refuseDamage, QString* damage) {
  // Opening a named pipe waits for a writer, for ever if none comes; it, a
  // folder or a device is no picture. A missing file is left to the decoders.
  struct stat info;
  if (::stat(PathBytes(fileName).constData(), &info) == 0 && !S_ISREG(info.st_mode))
    throw OpenError(fileName, QStringLiteral("Not a regular file"));
  switch (KindOf(fileName)) {
    case PictureKind::Jpeg: return std::make_unique<JpegRows>(fileName, refuseDamage, damage);
    case PictureKind::Heif: return std::make_unique<HeifRows>(fileName, !refuseDamage);
    case PictureKind::Other:
      if (HasPngSignature(fileName)) return std::make_unique<PngRows>(fileName, refuseDamage, damage);
      [[fallthrough]];
    default: return std::make_unique<QtRows>(fileName, refuseDamage, damage);
  }
}

std::unique_ptr<RowSource> UprightRowsOf(std::unique_ptr<RowSource> stored, Orientation orientation) {
  return std::make_unique<UprightRows>(std::move(stored), orientation);
}

}  // namespace tessaly
