// What finds a picture's kept edits again after the file has moved or been
// renamed: its size, a hash of its first 64 KB (for a photo that is its
// headers, the EXIF block with the camera's own thumbnail, and the start of
// the picture data) and the date it was taken by its EXIF data.
#pragma once

#include <QByteArray>
#include <QString>

namespace tessaly {

inline constexpr qint64 kFingerprintHead = 64 * 1024;

// "" when the file cannot be read. exifDate: the EXIF date text that
// belongs to the picture, "" when it has none.
QByteArray PhotoFingerprint(const QString& path, const QByteArray& exifDate);

// The date the picture was taken as its EXIF data holds it
// ("YYYY-MM-DD HH:MM:SS"), for the fingerprint; "" when it has none.
QByteArray FingerprintExifDate(const QString& path);

}  // namespace tessaly
