#include "PictureList.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QSet>
#include <algorithm>
#include <dirent.h>
#include <iterator>
#include <sys/stat.h>

#include "HeifFile.h"
#include "PathBytes.h"

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
    // Read by their bytes, so that a name that is not UTF-8 still opens.
    const QByteArray bytes = PathBytes(path);
    struct stat facts;
    DIR* entries = ::stat(bytes.constData(), &facts) == 0 && S_ISDIR(facts.st_mode) ? ::opendir(bytes.constData())
                                                                                     : nullptr;
    if (!entries) {
      pictures << path;
      continue;
    }
    // Files only: a sub-folder, "Export" with the stamped copies among them,
    // is never entered. Name order, case-blind, as a file manager lists it.
    QStringList names;
    while (const dirent* entry = ::readdir(entries)) {
      const QString name = PathFromBytes(QByteArray(entry->d_name));
      struct stat file;
      if (IsPictureName(name) && ::fstatat(::dirfd(entries), entry->d_name, &file, 0) == 0 && S_ISREG(file.st_mode))
        names << name;
    }
    ::closedir(entries);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
      const int blind = a.compare(b, Qt::CaseInsensitive);
      return blind != 0 ? blind < 0 : a < b;
    });
    const QDir folder(path);
    for (const QString& name : names) pictures << folder.filePath(name);
  }
  return pictures;
}

}  // namespace tessaly
