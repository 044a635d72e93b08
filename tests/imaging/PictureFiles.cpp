#include "PictureFiles.h"

#include <QFile>
#include <QImageReader>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/time.h>
#include <unistd.h>

#include "JpegCodec.h"
#include "PhotoBuilder.h"

namespace tessaly::testing {

QImage BlockPicture(int width, int height) {
  QImage image(width, height, QImage::Format_RGB888);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int bx = x / 16, by = y / 16;
      // Mid-range colours, so dark and light text both stand out.
      image.setPixel(x, y, qRgb(80 + (bx * 37) % 96, 80 + (by * 53) % 96, 80 + ((bx + by) * 29) % 96));
    }
  return image;
}

QImage PositionPicture(int width, int height) {
  QImage image(width, height, QImage::Format_RGB888);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb(x & 255, y & 255, (x ^ y) & 255));
  return image;
}

void WriteJpegPicture(const QString& path, const QImage& image, int quality,
                      const std::string& extraSegments) {
  const QString plain = path + QStringLiteral(".plain");
  const int fd = ::open(QFile::encodeName(plain).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) throw std::runtime_error("cannot write test picture");
  WriteJpeg(fd, image, plain, quality);
  ::close(fd);
  std::string bytes = ReadBytes(plain);
  QFile::remove(plain);
  bytes.insert(2, extraSegments);  // after SOI
  WriteFile(QFile::encodeName(path).toStdString(), bytes);
}

std::string ReadBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll().toStdString();
}

std::vector<JpegSegment> JpegSegments(const std::string& bytes) {
  std::vector<JpegSegment> segments;
  size_t pos = 2;  // after SOI
  while (pos + 4 <= bytes.size() && uint8_t(bytes[pos]) == 0xFF) {
    const uint8_t marker = uint8_t(bytes[pos + 1]);
    const size_t length = size_t(uint8_t(bytes[pos + 2])) << 8 | uint8_t(bytes[pos + 3]);
    if (length < 2 || pos + 2 + length > bytes.size()) break;
    segments.push_back({marker, bytes.substr(pos + 4, length - 2)});
    if (marker == 0xDA) break;
    pos += 2 + length;
  }
  return segments;
}

QImage DecodeReference(const QString& path) {
  QImageReader reader(path, "jpeg");
  return reader.read().convertToFormat(QImage::Format_RGB888);
}

void SetModificationTime(const QString& path, const QDateTime& time) {
  const timeval times[2] = {{time_t(time.toSecsSinceEpoch()), 0}, {time_t(time.toSecsSinceEpoch()), 0}};
  ::utimes(QFile::encodeName(path).constData(), times);
}

int ChannelDifference(QRgb a, QRgb b) {
  return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

QString TestFolder(const std::string& name) { return QString::fromStdString(TempDir(name)); }

FileSizeLimit::FileSizeLimit(uint64_t bytes) {
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  saved_[0] = limit.rlim_cur;
  saved_[1] = limit.rlim_max;
  previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
  limit.rlim_cur = bytes;
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
  const rlimit limit{saved_[0], saved_[1]};
  ::setrlimit(RLIMIT_FSIZE, &limit);
  std::signal(SIGXFSZ, previousHandler_);
}

}  // namespace tessaly::testing
