// A photo for the window tests: a picture saved as JPEG by Qt, with an EXIF
// segment right after SOI (JPEG/JFIF: APP1 may come first; EXIF 2.3 section
// 4.5.4).
#pragma once

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QString>
#include <string>

#include "PhotoBuilder.h"

// Writes image to path with the TIFF structure tiff as its EXIF data, making
// the folder when needed; returns path.
inline QString WriteJpegWithExif(const QString& path, const QImage& image, const std::string& tiff) {
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "JPG", 90);
  jpeg.insert(2, QByteArray::fromStdString(tessaly::testing::ExifSegment(tiff)));
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size()) qFatal("cannot write %s", qPrintable(path));
  return path;
}
