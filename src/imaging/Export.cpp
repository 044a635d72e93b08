#include "Export.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "HeifCodec.h"
#include "JpegCodec.h"
#include "PathBytes.h"

namespace tessaly {

namespace {

std::atomic<bool> namedTemporaries{false};

constexpr char kFolderName[] = "Export";
constexpr char kTemporaryPrefix[] = ".export.";
constexpr int kTemporaryRandomLength = 6;
// A temporary file this old was left by a crash, not by an export running now.
constexpr time_t kStaleSeconds = 24 * 60 * 60;

// The folder's own message stays a line of its own; the reason follows it.
ExportError CreateFailure(const QString& folder, const QString& reason, int code) {
  return ExportError(QStringLiteral("Cannot create ") + folder + u'\n' + reason, code);
}

ExportError CreateFailure(const QString& folder, int code) { return CreateFailure(folder, ErrnoText(code), code); }

ExportError WriteFailure(const QString& path, int code) {
  return ExportError(QStringLiteral("Cannot write %1: %2").arg(path, ErrnoText(code)), code);
}

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { Reset(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// A file that grows past the process's file-size limit would end the
// program by SIGXFSZ; ignored, the write fails with EFBIG and says so. A
// handler someone else installed is left alone.
void IgnoreFileSizeSignal() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction current {};
    if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && !(current.sa_flags & SA_SIGINFO) &&
        current.sa_handler == SIG_DFL)
      std::signal(SIGXFSZ, SIG_IGN);
  });
}

QByteArray TemporaryName() {
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static std::mutex mutex;
  static std::mt19937_64 random{std::random_device{}()};
  QByteArray name(kTemporaryPrefix);
  const std::lock_guard lock(mutex);
  for (int i = 0; i < kTemporaryRandomLength; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
  return name;
}

bool IsTemporaryName(const char* name) {
  const size_t prefix = sizeof kTemporaryPrefix - 1;
  if (std::strncmp(name, kTemporaryPrefix, prefix) != 0 || std::strlen(name) != prefix + kTemporaryRandomLength)
    return false;
  for (const char* p = name + prefix; *p; ++p)
    if (!std::isalnum(static_cast<unsigned char>(*p))) return false;
  return true;
}

// Removes the temporary files a crashed export left in the folder, once they
// are old enough that no running export can still be writing them.
void RemoveStaleTemporaries(int folder) {
  // A descriptor of its own: reading the entries moves its position.
  const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  DIR* entries = ::fdopendir(fd);
  if (!entries) {
    ::close(fd);
    return;
  }
  const time_t oldest = std::time(nullptr) - kStaleSeconds;
  while (const dirent* entry = ::readdir(entries)) {
    if (!IsTemporaryName(entry->d_name)) continue;
    struct stat facts;
    if (::fstatat(fd, entry->d_name, &facts, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(facts.st_mode) &&
        facts.st_mtime < oldest)
      ::unlinkat(fd, entry->d_name, 0);
  }
  ::closedir(entries);
}

// Opens the picture's "Export" folder, making it when missing, without
// following a link in its place.
int OpenExportFolder(const QString& picture, const QString& folder) {
  const QString parent = picture.left(picture.lastIndexOf(u'/') + 1);
  const Descriptor parentFd(
      ::open(parent.isEmpty() ? "." : PathBytes(parent).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (parentFd.get() < 0) throw CreateFailure(folder, errno);
  const auto open = [&] {
    return ::openat(parentFd.get(), kFolderName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  };
  int fd = open();
  if (fd < 0 && errno == ENOENT) {
    // One level only: the picture's own folder is there. Another export
    // may make the folder at the same moment; then it is there.
    if (::mkdirat(parentFd.get(), kFolderName, 0777) != 0 && errno != EEXIST)
      throw CreateFailure(folder, errno);
    fd = open();
  }
  if (fd < 0) {
    const int code = errno;
    struct stat facts;
    if (::fstatat(parentFd.get(), kFolderName, &facts, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(facts.st_mode))
      throw CreateFailure(folder, QCoreApplication::translate("tessaly::Export", "Is a symbolic link"), ELOOP);
    throw CreateFailure(folder, code);
  }
  return fd;
}

// The file the copy is written to until it is complete. Unnamed (O_TMPFILE)
// where the file system has them, so a crash leaves nothing behind; else a
// hidden name of its own rather than one made from the target's, which may
// already be as long as a folder entry can be. A named one is removed unless
// it was put in place.
class TemporaryFile {
 public:
  TemporaryFile(int folder, mode_t mode) : folder_(folder) {
    if (!namedTemporaries) fd_.Reset(::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
    for (int attempt = 0; fd_.get() < 0 && attempt < 100; ++attempt) {
      const QByteArray name = TemporaryName();
      fd_.Reset(::openat(folder, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
      if (fd_.get() >= 0) name_ = name;
      else if (errno != EEXIST) break;
    }
  }
  ~TemporaryFile() {
    if (!name_.isEmpty()) ::unlinkat(folder_, name_.constData(), 0);
  }
  int fd() const { return fd_.get(); }

  // Gives the file its name, replacing a file of that name in one step;
  // errno on failure.
  bool Place(const QByteArray& target) {
    if (name_.isEmpty()) {
      // An unnamed file can only be linked to a name that is free. The
      // common first export takes its name at once; a replacement goes
      // through a hidden name and a rename.
      if (Link(target.constData())) return true;
      if (errno != EEXIST) return false;
      for (int attempt = 0; attempt < 100 && name_.isEmpty(); ++attempt) {
        const QByteArray name = TemporaryName();
        if (Link(name.constData())) name_ = name;
        else if (errno != EEXIST) return false;
      }
      if (name_.isEmpty()) return false;
    }
    if (::renameat(folder_, name_.constData(), folder_, target.constData()) != 0) return false;
    name_.clear();
    return true;
  }

 private:
  bool Link(const char* name) {
    // Linking by the descriptor itself needs a privilege; through /proc
    // anyone may link an unnamed file they opened.
    if (::linkat(fd_.get(), "", folder_, name, AT_EMPTY_PATH) == 0) return true;
    if (errno != ENOENT && errno != EPERM) return false;
    const QByteArray proc = "/proc/self/fd/" + QByteArray::number(fd_.get());
    return ::linkat(AT_FDCWD, proc.constData(), folder_, name, AT_SYMLINK_FOLLOW) == 0;
  }

  int folder_;
  Descriptor fd_;
  QByteArray name_;  // empty while unnamed, or once placed
};

// Permission bits of the copy: none the picture does not have, apart from
// the owner's write bit; the umask then applies as for any new file.
mode_t CopyMode(const QString& picture) {
  struct stat facts;
  if (::stat(PathBytes(picture).constData(), &facts) != 0) return 0666;
  return 0666 & (facts.st_mode | S_IWUSR);
}

// Encodes the rows of a render as they come.
class JpegConsumer : public RowConsumer {
 public:
  JpegConsumer(int fd, const QString& path) : fd_(fd), path_(path) {}
  void Begin(int width, int height) override { encoder_.emplace(fd_, path_, width, height); }
  void Rows(const uint8_t* first, size_t stride, int count) override {
    Checked([&] { encoder_->WriteRows(first, stride, count); });
  }
  void Finish() {
    Checked([&] { encoder_->Finish(); });
  }

 private:
  int fd_;
  QString path_;
  std::optional<JpegEncoder> encoder_;

  // A failed write keeps its errno with the message.
  template <typename Step>
  void Checked(Step step) {
    try {
      step();
    } catch (const PictureError& e) {
      if (encoder_ && encoder_->WriteErrno() != 0) throw ExportError(e.Message(), encoder_->WriteErrno());
      throw;
    }
  }
};

QString FileNamePart(const QString& path) { return path.mid(path.lastIndexOf(u'/') + 1); }

}  // namespace

bool ExportError::HitsEveryCopy() const {
  switch (code_) {
    case ENOSPC:
    case EDQUOT:
    case EROFS:
    case EACCES:
    case EPERM:
      return true;
    default:
      return false;
  }
}

QString ExportFolder(const QString& fileName) {
  // The folder part keeps its trailing separator and is empty for a bare name.
  return fileName.left(fileName.lastIndexOf(u'/') + 1) + QStringLiteral("Export/");
}

QString ExportFileName(const QString& picture) {
  const QString name = FileNamePart(picture);
  if (!IsHeifName(name)) return name;
  const QString jpeg = name.left(name.lastIndexOf(u'.')) + QStringLiteral(".jpg");
  // Phones often keep a JPEG of the same name beside the HEIF photo, and a
  // folder on a memory card or another system may not tell letter cases
  // apart, so a name differing in case only counts as the same.
  const QString folder = QFileInfo(picture).path();
  bool taken = QFileInfo::exists(folder + u'/' + jpeg);
  for (QDirIterator entries(folder, QDir::Files | QDir::System | QDir::Hidden); !taken && entries.hasNext();)
    taken = entries.nextFileInfo().fileName().compare(jpeg, Qt::CaseInsensitive) == 0;
  return taken ? name + QStringLiteral(".jpg") : jpeg;
}

QString ExportTarget(const QString& picture) { return ExportFolder(picture) + ExportFileName(picture); }

void UseNamedTemporaryFiles(bool named) { namedTemporaries = named; }

QString ExportStampedCopy(RenderJob job) {
  IgnoreFileSizeSignal();
  const QString folder = ExportFolder(job.fileName);
  const Descriptor folderFd(OpenExportFolder(job.fileName, folder));
  RemoveStaleTemporaries(folderFd.get());
  job.withStamp = true;
  const QString path = ExportTarget(job.fileName);

  TemporaryFile temporary(folderFd.get(), CopyMode(job.fileName));
  if (temporary.fd() < 0) throw WriteFailure(path, errno);
  JpegConsumer jpeg(temporary.fd(), path);
  RenderFullSize(job, jpeg);
  jpeg.Finish();
  // The data reaches the disk before the name does, and the name after it,
  // so a power cut leaves the earlier file or the whole new one.
  if (::fsync(temporary.fd()) != 0) throw WriteFailure(path, errno);
  if (!temporary.Place(PathBytes(FileNamePart(path)))) throw WriteFailure(path, errno);
  if (::fsync(folderFd.get()) != 0 && errno != EINVAL) throw WriteFailure(path, errno);
  return path;
}

}  // namespace tessaly
