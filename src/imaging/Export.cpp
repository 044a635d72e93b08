#include "Export.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
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
    const QFileInfo info(target);
    pattern_ = QFile::encodeName(info.path() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
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

QString ExportStampedCopy(RenderJob job) {
  const QString folder = ExportFolder(job.fileName);
  // One level only: the picture's own folder is there.
  if (!QFileInfo(folder).isDir() && !QDir().mkdir(folder))
    throw PictureError(QStringLiteral("Cannot create ") + folder);
  job.withStamp = true;
  const RenderResult rendered = Render(job, RenderTarget{0, 0, false});
  const QString path = folder + QFileInfo(job.fileName).fileName();
  WriteJpegFile(rendered.image, path);
  return path;
}

void WriteJpegFile(const QImage& image, const QString& path) {
  if (image.isNull()) throw PictureError(QStringLiteral("Cannot write %1: the picture is empty").arg(path));
  TemporaryFile temporary(path);
  if (temporary.fd() < 0) throw PictureError(QStringLiteral("Cannot write %1: %2").arg(path, ErrnoText(errno)));
  WriteJpeg(temporary.fd(), image, path);
  if (!temporary.Close()) throw PictureError(QStringLiteral("Cannot write %1: %2").arg(path, ErrnoText(errno)));
  if (::rename(temporary.path(), QFile::encodeName(path).constData()) != 0)
    throw PictureError(QStringLiteral("Cannot write %1: %2").arg(path, ErrnoText(errno)));
  temporary.Release();
}

}  // namespace tessaly
