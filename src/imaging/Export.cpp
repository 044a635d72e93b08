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
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CopyMetadata.h"
#include "HeifCodec.h"
#include "JpegCodec.h"
#include "PathBytes.h"
#include "PictureList.h"

namespace tessaly {

namespace {

std::atomic<bool> namedTemporaries{false};

constexpr char kFolderName[] = "Export";
constexpr char kTemporaryPrefix[] = ".export.";
constexpr int kTemporaryRandomLength = 6;
// Where the file system has no locks: a temporary file this old was left by
// a crash, not by an export running now.
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

// Whether a lock can be taken on fd at once: false while another process
// (or another descriptor here) holds it; none when the file system has no
// such locks.
std::optional<bool> TryLock(int fd) {
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) return false;
    return std::nullopt;
  }
  return true;
}

// Removes the temporary files that exports which ended without cleaning up
// (killed, or the machine stopped) left in the folder. A live export holds
// a lock on its file, so one that nobody holds is a leftover and goes at
// once; where the file system has no locks, a day's age tells instead.
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
    const Descriptor file(::openat(fd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat held, named;
    if (file.get() < 0 || ::fstat(file.get(), &held) != 0 || !S_ISREG(held.st_mode)) continue;
    const std::optional<bool> free = TryLock(file.get());
    if (free == false || (!free && held.st_mtime >= oldest)) continue;
    // Still the file that was locked, not one made under that name since.
    if (::fstatat(fd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_ino == held.st_ino &&
        named.st_dev == held.st_dev)
      ::unlinkat(fd, entry->d_name, 0);
  }
  ::closedir(entries);
}

// The named temporary files of this process, removed by a SIGINT or SIGTERM
// before the signal ends the program. Slots are taken without locks, so the
// signal handler can read them: a name is set before its slot is marked in
// use. Only async-signal-safe calls in the handler.
struct TemporarySlot {
  std::atomic<int> state{0};  // 0 free, 1 being filled, 2 in use
  int folder = -1;
  char name[32] = {};
};
constexpr int kTemporarySlots = 512;
TemporarySlot temporarySlots[kTemporarySlots];

void RemoveOwnTemporaries(int signal) {
  for (TemporarySlot& slot : temporarySlots)
    if (slot.state.load() == 2) ::unlinkat(slot.folder, slot.name, 0);
  std::signal(signal, SIG_DFL);
  ::raise(signal);
}

// Installs RemoveOwnTemporaries for SIGINT and SIGTERM where nobody else
// handles them (a program with its own handlers keeps them).
void HandleStopSignals() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (const int signal : {SIGINT, SIGTERM}) {
      struct sigaction current {};
      if (::sigaction(signal, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) ||
          current.sa_handler != SIG_DFL)
        continue;
      struct sigaction action {};
      action.sa_handler = RemoveOwnTemporaries;
      sigemptyset(&action.sa_mask);
      ::sigaction(signal, &action, nullptr);
    }
  });
}

// A slot for a named temporary file, or -1 when all are taken (the file is
// then left to the next export's clean-up).
int RegisterTemporary(int folder, const QByteArray& name) {
  HandleStopSignals();
  if (size_t(name.size()) >= sizeof TemporarySlot::name) return -1;
  for (int i = 0; i < kTemporarySlots; ++i) {
    int expected = 0;
    if (!temporarySlots[i].state.compare_exchange_strong(expected, 1)) continue;
    temporarySlots[i].folder = folder;
    std::memcpy(temporarySlots[i].name, name.constData(), size_t(name.size()) + 1);
    temporarySlots[i].state.store(2);
    return i;
  }
  return -1;
}

void UnregisterTemporary(int slot) {
  if (slot >= 0) temporarySlots[slot].state.store(0);
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
    // Locked while it is ours, so that another run's clean-up leaves it be.
    if (fd_.get() >= 0) TryLock(fd_.get());
    for (int attempt = 0; fd_.get() < 0 && attempt < 100; ++attempt) {
      const QByteArray name = TemporaryName();
      fd_.Reset(::openat(folder, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
      if (fd_.get() < 0) {
        if (errno != EEXIST) break;
        continue;
      }
      // Another run's clean-up may have taken the new file for a leftover
      // before the lock: then it is gone or locked by it, and another name
      // is tried.
      if (TryLock(fd_.get()) == false || !StillNamed(name)) {
        fd_.Reset();
        continue;
      }
      name_ = name;
      slot_ = RegisterTemporary(folder_, name_);
    }
  }
  ~TemporaryFile() {
    if (!name_.isEmpty()) ::unlinkat(folder_, name_.constData(), 0);
    UnregisterTemporary(slot_);
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
      slot_ = RegisterTemporary(folder_, name_);
    }
    if (::renameat(folder_, name_.constData(), folder_, target.constData()) != 0) return false;
    UnregisterTemporary(slot_);
    slot_ = -1;
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

  bool StillNamed(const QByteArray& name) const {
    struct stat mine, named;
    return ::fstat(fd_.get(), &mine) == 0 && ::fstatat(folder_, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           mine.st_ino == named.st_ino && mine.st_dev == named.st_dev;
  }

  int folder_;
  Descriptor fd_;
  QByteArray name_;  // empty while unnamed, or once placed
  int slot_ = -1;    // in temporarySlots while named
};

// Permission bits of the copy: none the picture does not have, apart from
// the owner's write bit; the umask then applies as for any new file.
mode_t CopyMode(const QString& picture) {
  struct stat facts;
  if (::stat(PathBytes(picture).constData(), &facts) != 0) return 0666;
  return 0666 & (facts.st_mode | S_IWUSR);
}

// Encodes the rows of a render as they come, with what the copy carries of
// its photo, converting the rows' colours when it asks for that.
class JpegConsumer : public RowConsumer {
 public:
  JpegConsumer(int fd, const QString& path, CopyMetadata* metadata) : fd_(fd), path_(path), metadata_(metadata) {}
  void Begin(int width, int height) override {
    if (!metadata_) {
      encoder_.emplace(fd_, path_, width, height);
      return;
    }
    encoder_.emplace(fd_, path_, width, height, metadata_->Quality(), metadata_->Markers(width, height));
    if (metadata_->Conversion()) converted_.resize(size_t(width) * 3);
    width_ = width;
  }
  void Rows(const uint8_t* first, size_t stride, int count) override {
    const SrgbConversion* conversion = metadata_ ? metadata_->Conversion() : nullptr;
    Checked([&] {
      if (!conversion) return encoder_->WriteRows(first, stride, count);
      for (int i = 0; i < count; ++i) {
        conversion->Convert(first + size_t(i) * stride, converted_.data(), width_);
        encoder_->WriteRows(converted_.data(), converted_.size(), 1);
      }
    });
  }
  void Finish() {
    Checked([&] { encoder_->Finish(); });
  }

 private:
  int fd_;
  QString path_;
  CopyMetadata* metadata_;
  std::optional<JpegEncoder> encoder_;
  std::vector<uint8_t> converted_;
  int width_ = 0;

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

std::string AsciiLower(std::string text) {
  for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text;
}

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
  const QString fileName = FileNamePart(picture);
  const std::string name = PathBytes(fileName).toStdString();
  // The copy is JPEG data: a name that says so is kept.
  if (HasExtension(kJpegExtensions, LowerExtension(name))) return fileName;
  const size_t dot = name.rfind('.');
  const std::string stem = AsciiLower(name.substr(0, dot));
  const std::string jpeg = stem + ".jpg";
  // The name is taken by a file of that JPEG name beside the picture (phones
  // often keep one beside a HEIF photo), or by another picture of the same
  // stem that comes first in byte order (a.HEIC before a.heic). A folder on
  // a memory card or another system may not tell letter cases apart, so
  // names differing in case only count as the same. All by bytes, so that a
  // name that is not UTF-8 is treated as any other.
  bool taken = false;
  const QByteArray folder = PathBytes(picture.left(picture.lastIndexOf(u'/') + 1));
  if (DIR* entries = ::opendir(folder.isEmpty() ? "." : folder.constData())) {
    while (const dirent* entry = ::readdir(entries)) {
      const std::string other = entry->d_name;
      if (other == name) continue;
      const std::string lower = AsciiLower(other);
      if (lower == jpeg) taken = true;
      else if (other < name && lower.substr(0, lower.rfind('.')) == stem && lower.rfind('.') != std::string::npos &&
               !HasExtension(kJpegExtensions, LowerExtension(other)) &&
               KindOfName(PathFromBytes(QByteArray::fromStdString(other))) != PictureKind::None)
        taken = true;
      if (taken) break;
    }
    ::closedir(entries);
  }
  return PathFromBytes(QByteArray::fromStdString(taken ? name + ".jpg" : name.substr(0, dot) + ".jpg"));
}

QString ExportTarget(const QString& picture) { return ExportFolder(picture) + ExportFileName(picture); }

void UseNamedTemporaryFiles(bool named) { namedTemporaries = named; }

QString ExportStampedCopy(RenderJob job, const ExportOptions& options) {
  return ExportStampedCopy(std::move(job), std::nullopt, nullptr, options);
}

QString ExportStampedCopy(RenderJob job, const std::optional<CopySettings>& settings, QString* warning,
                          const ExportOptions& options) {
  IgnoreFileSizeSignal();
  const ExportCore core;
  const QString folder = ExportFolder(job.fileName);
  const Descriptor folderFd(OpenExportFolder(job.fileName, folder));
  RemoveStaleTemporaries(folderFd.get());
  job.withStamp = true;
  const QString path = ExportTarget(job.fileName);

  TemporaryFile temporary(folderFd.get(), CopyMode(job.fileName));
  if (temporary.fd() < 0) throw WriteFailure(path, errno);
  std::optional<CopyMetadata> metadata;
  if (settings) metadata.emplace(job.fileName, *settings, job.comment);
  JpegConsumer jpeg(temporary.fd(), path, metadata ? &*metadata : nullptr);
  QString notes;
  {
    RowPipeline pipeline(jpeg, options.threads, options.cancel ? options.cancel : ExportCancelScope::Current());
    notes = RenderFullSize(job, pipeline).notes;
    pipeline.Finish();
  }
  jpeg.Finish();
  // The data reaches the disk before the name does, and the name after it,
  // so a power cut leaves the earlier file or the whole new one.
  if (::fsync(temporary.fd()) != 0) throw WriteFailure(path, errno);
  if (!temporary.Place(PathBytes(FileNamePart(path)))) throw WriteFailure(path, errno);
  if (::fsync(folderFd.get()) != 0 && errno != EINVAL) throw WriteFailure(path, errno);
  if (warning) {
    QStringList said;
    if (metadata && !metadata->Warning().isEmpty()) said << metadata->Warning();
    if (!notes.isEmpty()) said << notes;
    *warning = said.join(QStringLiteral("; "));
  }
  return path;
}

}  // namespace tessaly
