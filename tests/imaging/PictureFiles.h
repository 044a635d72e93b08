// Picture files for the imaging and panel tests, made by the tests
// themselves, and helpers to look into the JPEG files they get back.
#pragma once

#include <QDateTime>
#include <QImage>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

namespace tessaly::testing {

// Flat colour blocks of 16 x 16 pixels (whole JPEG MCUs at 4:2:0), so a JPEG
// of it keeps its colours within a step or two.
QImage BlockPicture(int width, int height);
// Every pixel told apart by its position: red = x, green = y, blue = x ^ y
// (all mod 256). Saved losslessly (PNG, BMP) for exact pixel checks.
QImage PositionPicture(int width, int height);

// Writes image as JPEG (4:2:0) to path; extraSegments (complete segments)
// are placed right after SOI.
void WriteJpegPicture(const QString& path, const QImage& image, int quality = 95,
                      const std::string& extraSegments = {});

std::string ReadBytes(const QString& path);

// The segments of a JPEG file up to and including SOS (marker, payload).
struct JpegSegment {
  uint8_t marker;
  std::string payload;
};
std::vector<JpegSegment> JpegSegments(const std::string& bytes);

// Decodes with Qt's own JPEG reader, independent of the code under test.
QImage DecodeReference(const QString& path);

void SetModificationTime(const QString& path, const QDateTime& time);

// While it lives, the file system refuses to let a file of this process grow
// past bytes: a write beyond fails with EFBIG ("File too large"), as on a
// full disk, instead of raising SIGXFSZ.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(uint64_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  uint64_t saved_[2];  // the soft and hard limits before
  void (*previousHandler_)(int);
};

// Largest difference over the three channels.
int ChannelDifference(QRgb a, QRgb b);

// A fresh folder for one test (QString form of TempDir).
QString TestFolder(const std::string& name);

}  // namespace tessaly::testing
