// The stamped export copy: the crop at full resolution with the date and
// comment, as JPEG, in the folder "Export" beside the picture, under the
// picture's own file name (extension included, whatever it is).
#pragma once

#include <QString>

#include "Render.h"

namespace tessaly {

// The folder part of fileName followed by "Export/".
QString ExportFolder(const QString& fileName);

// Renders job (with its stamp) at full size and writes it; returns the path
// written. Throws PictureError: "Cannot create " + folder when the folder is
// missing and cannot be made (nothing is written), or the read or write error.
// The copy is written to a temporary file in the same folder and renamed into
// place only when complete, so a failed export leaves an earlier file of that
// name as it was and no partial file behind.
QString ExportStampedCopy(RenderJob job);

}  // namespace tessaly
