// The stamped export copy: the crop at full resolution with the date and
// comment, as JPEG, in the folder "Export" beside the picture, under the
// picture's own file name (extension included, whatever it is; HEIF photos
// get a JPEG name, see ExportFileName).
#pragma once

#include <QString>

#include "Render.h"

namespace tessaly {

// The folder part of fileName followed by "Export/".
QString ExportFolder(const QString& fileName);

// The name of picture's stamped copy inside that folder: the picture's own
// file name, but for a HEIF photo the name with ".jpg" for its extension
// (IMG_0042.HEIC: IMG_0042.jpg), or the whole name with ".jpg" added
// (IMG_0042.HEIC.jpg) when the photo's folder also holds a file of that JPEG
// name in any letter case, whose own copy would take the same name.
QString ExportFileName(const QString& picture);

// Renders job (with its stamp) at full size and writes it; returns the path
// written. Throws PictureError: "Cannot create " + folder when the folder is
// missing and cannot be made (nothing is written), or the read or write error.
// The copy is written to a temporary file in the same folder and renamed into
// place only when complete, so a failed export leaves an earlier file of that
// name as it was and no partial file behind.
QString ExportStampedCopy(RenderJob job);

}  // namespace tessaly
