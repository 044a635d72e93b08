#include "PhotoFingerprint.h"

#include <QCryptographicHash>
#include <QFile>
#include <QtEndian>
#include <fcntl.h>
#include <unistd.h>

#include "FullReader.h"
#include "HeifCodec.h"
#include "PathBytes.h"
#include "PictureList.h"

namespace tessaly {

QByteArray PhotoFingerprint(const QString& path, const QByteArray& exifDate) {
  // Opened by the path's own bytes: Qt's would not find a name that is not
  // UTF-8.
  QFile file;
  const int fd = ::open(PathBytes(path).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    ::close(fd);
    return {};
  }
  const qint64 size = file.size();
  const QByteArray head = file.read(kFingerprintHead);
  if (head.size() != std::min(size, kFingerprintHead)) return {};
  QCryptographicHash hash(QCryptographicHash::Sha256);
  hash.addData(head);
  QByteArray print(8, '\0');
  qToLittleEndian<quint64>(quint64(size), print.data());
  return print + hash.result() + exifDate;
}

QByteArray FingerprintExifDate(const QString& path) {
  TimgData data(255, FullReader());
  const std::string name = PathBytes(path).toStdString();
  bool read = false;
  if (KindOf(path) == PictureKind::Heif) {
    const std::optional<std::string> exif = ReadHeifExif(path);
    read = exif && data.ReadExifBlock(*exif, name);
  } else {
    read = data.ReadPicture(name);
  }
  if (!read || !data.HasExifSegment() || !data.exif) return {};
  const TDateTime taken = data.exif->TakenDateTime();
  return taken == 0 ? QByteArray() : QByteArray::fromStdString(FormatIsoDateTime(taken));
}

}  // namespace tessaly
