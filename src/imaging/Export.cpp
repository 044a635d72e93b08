#include "Export.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <optional>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "JpegCodec.h"

namespace tessaly {

namespace {

QString ErrnoText(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

// Closes the descriptor and removes the temporary file unless released.
class TemporaryFile {
 public:
  explicit TemporaryFile(const QString& target) {
    // A name of its own rather than one made from the target's: that may
    // already be as long as a folder entry can be.
    pattern_ = QFile::encodeName(QFileInfo(target).path() + QStringLiteral("/.export.XXXXXX"));
    fd_ = ::mkstemp(pattern_.data());
    if (fd_ < 0) return;
    // mkstemp makes the file private; an export is an ordinary file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
  }
  ~TemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!done_) ::unlink(pattern_.constData());
  }
  int fd() const { return fd_; }
  const char* path() const { return pattern_.constData(); }
  // Closes the file; errno on failure.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }
  void Release() { done_ = true; }

 private:
  QByteArray pattern_;
  int fd_ = -1;
  bool done_ = false;
};

}  // namespace

QString ExportFolder(const QString& fileName) {
  // The folder part keeps its trailing separator and is empty for a bare name.
  return fileName.left(fileName.lastIndexOf(u'/') + 1) + QStringLiteral("Export/");
}

namespace {

// Encodes the rows of a render as they come.
class JpegConsumer : public RowConsumer {
 public:
  JpegConsumer(int fd, const QString& path) : fd_(fd), path_(path) {}
  void Begin(int width, int height) override { encoder_.emplace(fd_, path_, width, height); }
  void Rows(const uint8_t* first, size_t stride, int count) override { encoder_->WriteRows(first, stride, count); }
  void Finish() { encoder_->Finish(); }

 private:
  int fd_;
  QString path_;
  std::optional<JpegEncoder> encoder_;
};

}  // namespace

QString ExportStampedCopy(RenderJob job) {
  const QString folder = ExportFolder(job.fileName);
  // One level only: the picture's own folder is there.
  // Another export may make it at the same moment: made by either is fine.
  if (!QFileInfo(folder).isDir() && !QDir().mkdir(folder) && !QFileInfo(folder).isDir())
    throw PictureError(QStringLiteral("Cannot create ") + folder);
  job.withStamp = true;
  const QString path = folder + QFileInfo(job.fileName).fileName();

  TemporaryFile temporary(path);
  if (temporary.fd() < 0) throw PictureError(QStringLiteral("Cannot write %1: %2").arg(path, ErrnoText(errno)));
  JpegConsumer jpeg(temporary.fd(), path);
  RenderFullSize(job, jpeg);
  jpeg.Finish();
  if (!temporary.Close()) throw PictureError(QStringLiteral("Cannot write %1: %2").arg(path, ErrnoText(errno)));
  if (::rename(temporary.path(), QFile::encodeName(path).constData()) != 0)
    throw PictureError(QStringLiteral("Cannot write %1: %2").arg(path, ErrnoText(errno)));
  temporary.Release();
  return path;
}

}  // namespace tessaly
