#include "PictureList.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QSet>
#include <algorithm>
#include <dirent.h>
#include <iterator>
#include <sys/stat.h>

#include "PathBytes.h"

namespace tessaly {
namespace {

// The extensions Qt's image readers take, lower case, without those of JPEG
// and HEIF, which are decoded by their own libraries.
const QSet<QString>& QtExtensions() {
  static const QSet<QString> extensions = [] {
    QSet<QString> set;
    for (const QByteArray& format : QImageReader::supportedImageFormats()) {
      const std::string ext = format.toLower().toStdString();
      if (!HasExtension(kJpegExtensions, ext) && !HasExtension(kHeifExtensions, ext))
        set.insert(QString::fromStdString(ext));
    }
    return set;
  }();
  return extensions;
}

bool IsQtExtension(std::string_view lowerExtension) {
  return QtExtensions().contains(QString::fromUtf8(lowerExtension.data(), qsizetype(lowerExtension.size())));
}

}  // namespace

bool IsJpegContainerName(const QString& fileName) {
  return HasExtension(kJpegContainerExtensions, LowerExtension(PathBytes(fileName).toStdString()));
}

PictureKind KindOfName(const QString& name) { return tessaly::KindOfName(PathBytes(name).toStdString(), IsQtExtension); }

PictureKind KindOf(const QString& path) { return tessaly::KindOf(PathBytes(path).toStdString(), IsQtExtension); }

bool IsPictureName(const QString& name) { return KindOfName(name) != PictureKind::None; }

QString PictureFilter(const QString& allLabel) {
  // Patterns in lower case and, for dialogs that match letter case, upper
  // case as cameras and phones name their files (IMG_0042.HEIC, DSC_1.JPG).
  const auto patterns = [](const auto& extensions) {
    QStringList list;
    for (const auto& ext : extensions) list << QStringLiteral("*.") + QString(ext);
    for (const auto& ext : extensions) list << QStringLiteral("*.") + QString(ext).toUpper();
    return list;
  };
  QStringList others = QtExtensions().values();
  std::sort(others.begin(), others.end());
  const QStringList jpeg = patterns(kJpegExtensions), heif = patterns(kHeifExtensions);
  QStringList each{QStringLiteral("JPEG (%1)").arg(jpeg.join(u' ')), QStringLiteral("HEIF (%1)").arg(heif.join(u' '))};
  for (const QString& ext : others)
    each << QStringLiteral("%1 (*.%2 *.%3)").arg(ext.toUpper(), ext, ext.toUpper());
  const QStringList all = jpeg + heif + patterns(others);
  return QString(allLabel).arg(all.join(u' ')) + QStringLiteral(";;") + each.join(QStringLiteral(";;"));
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
