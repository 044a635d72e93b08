// The stamped export copy: the crop at full resolution with the date and
// comment, as JPEG, in the folder "Export" beside the picture, under the
// picture's own file name, or a .jpg name for a picture that is no JPEG.
#pragma once

#include <QString>
#include <optional>

#include <atomic>

#include "CopySettings.h"
#include "Render.h"
#include "RowPipeline.h"

namespace tessaly {

// A copy that could not be made because of where it goes: the Export folder
// or the file in it could not be made or written. Code is the system's errno
// value (0 when there is none).
class ExportError : public PictureError {
 public:
  ExportError(const QString& message, int code) : PictureError(message), code_(code) {}
  int Code() const { return code_; }
  // The failure would meet every later copy the same way: the disk or the
  // quota is full, the medium is read-only, or writing there is not allowed.
  // A picture that cannot be read, or an "Export" that is a file, concerns
  // that picture or its folder alone.
  bool HitsEveryCopy() const;

 private:
  int code_;
};

// The folder part of fileName followed by "Export/".
QString ExportFolder(const QString& fileName);

// The name of picture's stamped copy inside that folder: the picture's own
// file name when it has a JPEG extension (kJpegExtensions); else the name
// with ".jpg" for its extension (IMG_0042.HEIC: IMG_0042.jpg, shot.png:
// shot.jpg), or the whole name with ".jpg" added (IMG_0042.HEIC.jpg) when
// that name is taken: by a file of that JPEG name beside the photo, or by
// another picture of the same stem whose name comes first in byte order
// (a.HEIC takes a.jpg, a.heic gets a.heic.jpg). Letter case is not told
// apart; names are compared as bytes.
QString ExportFileName(const QString& picture);

// The path the copy of picture is written to: ExportFolder(picture) followed
// by ExportFileName(picture).
QString ExportTarget(const QString& picture);

// Renders job (with its stamp) at full size and writes it; returns the path
// written (ExportTarget of the job's file). Throws PictureError (ExportError
// for the folder and the writing, with the errno value), whose message is:
//  - "Cannot create " + folder, a line break and the reason, when the folder
//    is missing and cannot be made, or is not a folder: a file, or a
//    symbolic link, which is never followed ("Is a symbolic link"). Nothing
//    is written then.
//  - "Cannot write " + path + ": " + the reason, when the copy cannot be
//    written, or the read or decoding error of the picture.
// The copy is written into the folder as opened (no link in its place can
// send it elsewhere), to an unnamed file where the file system has them or a
// hidden ".export.XXXXXX" one, flushed to disk and only then put in place
// under its name, so a failed export or a crash leaves an earlier file of
// that name as it was and no partial file behind. A hidden file is locked
// (flock) while its export runs and removed on an error, on Cancel and on
// SIGINT or SIGTERM; those a killed process left behind, which nobody holds
// any more, are removed by the next export into the folder (on a file
// system without locks, once they are a day old). The copy's
// permission bits are no wider than the picture's (a private photo gives a
// private copy), the owner's write bit aside, and the umask applies.
// The picture is decoded and encoded at once on two threads when a core is
// spare (RowPipeline.h); the copy is the same either way. Once options.cancel
// is set the export stops, writes nothing and throws ExportCancelled.
struct ExportOptions {
  ExportThreads threads = ExportThreads::Auto;
  const std::atomic<bool>* cancel = nullptr;
};
QString ExportStampedCopy(RenderJob job, const ExportOptions& options = {});

// The same with what the copy carries of its photo and its JPEG quality
// (CopyMetadata.h): the colour profile, and the EXIF, XMP and IPTC data the
// settings let through. Metadata that cannot be carried is left out, never
// failing the export; warning (when given) receives why, and what the
// decoder warned of in a picture it still read whole (libtiff's and
// libpng's warnings), in one line; "" when neither. Without settings the copy is written as by the overload
// above: quality 100 and nothing of the photo's metadata or profile.
QString ExportStampedCopy(RenderJob job, const std::optional<CopySettings>& settings, QString* warning,
                          const ExportOptions& options = {});

// For tests: write through a named temporary file even where the file
// system offers unnamed ones.
void UseNamedTemporaryFiles(bool named);

}  // namespace tessaly
