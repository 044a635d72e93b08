#include "Export.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <optional>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "HeifCodec.h"
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

QString ExportFileName(const QString& picture) {
  const QFileInfo info(picture);
  const QString name = info.fileName();
  if (!IsHeifName(name)) return name;
  const QString jpeg = name.left(name.lastIndexOf(u'.')) + QStringLiteral(".jpg");
  // Phones often keep a JPEG of the same name beside the HEIF photo, and a
  // folder on a memory card or another system may not tell letter cases
  // apart, so a name differing in case only counts as the same.
  bool taken = QFileInfo::exists(info.path() + u'/' + jpeg);
  for (QDirIterator entries(info.path(), QDir::Files | QDir::System | QDir::Hidden); !taken && entries.hasNext();)
    taken = entries.nextFileInfo().fileName().compare(jpeg, Qt::CaseInsensitive) == 0;
  return taken ? name + QStringLiteral(".jpg") : jpeg;
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
  if (!QFileInfo(folder).isDir() && !QDir().mkdir(folder))
    throw PictureError(QStringLiteral("Cannot create ") + folder);
  job.withStamp = true;
  const QString path = folder + ExportFileName(job.fileName);

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
