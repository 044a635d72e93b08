#include "PictureList.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QSet>
#include <algorithm>
#include <iterator>

#include "HeifFile.h"

namespace tessaly {
namespace {

QSet<QString> PictureExtensions() {
  QSet<QString> extensions;
  for (const char* jpeg : kJpegExtensions) extensions.insert(QLatin1String(jpeg));
  for (const char* heif : kHeifExtensions) extensions.insert(QLatin1String(heif));
  for (const QByteArray& format : QImageReader::supportedImageFormats())
    extensions.insert(QString::fromLatin1(format).toLower());
  return extensions;
}

}  // namespace

bool IsJpegContainerName(const QString& fileName) {
  const QString ext = QFileInfo(fileName).suffix().toLower();
  return std::any_of(std::begin(kJpegExtensions), std::end(kJpegExtensions),
                     [&](const char* jpeg) { return ext == QLatin1String(jpeg); });
}

bool IsPictureName(const QString& name) {
  static const QSet<QString> extensions = PictureExtensions();
  const QString suffix = QFileInfo(name).suffix().toLower();
  return !suffix.isEmpty() && extensions.contains(suffix);
}

QStringList ExpandPictureArguments(const QStringList& paths) {
  QStringList pictures;
  for (const QString& path : paths) {
    const QFileInfo info(path);
    if (!info.isDir()) {
      pictures << path;
      continue;
    }
    // Files only: a sub-folder, "Export" with the stamped copies among them,
    // is never entered. Name order, case-blind, as a file manager lists it.
    const QDir folder(path);
    const QStringList names =
        folder.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : names)
      if (IsPictureName(name)) pictures << folder.filePath(name);
  }
  return pictures;
}

}  // namespace tessaly
