// The rows of a picture file, decoded in order and put upright: the one way
// the render reads JPEG (libjpeg-turbo), HEIF (the HEIF module), PNG (libpng)
// and the other formats Qt's readers take. For the render only.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>

#include "Orientation.h"

namespace tessaly {

// The rows of a decoded picture, asked for in order (never backwards).
class RowSource {
 public:
  virtual ~RowSource() = default;
  int width = 0, height = 0;              // full size
  int outputWidth = 0, outputHeight = 0;  // size the rows come in
  // Chooses the scale the rows are delivered at: the smallest that still has
  // at least needW x needH pixels over a source of srcW x srcH full-size ones.
  virtual void Start(int64_t srcW, int64_t srcH, int64_t needW, int64_t needH) = 0;
  virtual const uint8_t* Row(int y) = 0;  // RGB888, outputWidth pixels
  // The caller has a second core for this picture (before Start).
  virtual void AllowSecondThread() {}
  // What the decoder warned of while the picture stayed whole (libtiff's
  // and libpng's warnings, each once), in one line; empty when nothing.
  virtual QString Notes() const { return {}; }
};


// Opens a picture and checks the size it claims. With refuseDamage (an
// export) a JPEG whose data is corrupt or ends early fails; otherwise (a
// view) damage receives why, and a HEIF decode may come from
// HeifPreviewCache.
std::unique_ptr<RowSource> OpenPicture(const QString& fileName, bool refuseDamage, QString* damage);

// The rows of stored, a picture stored turned or mirrored as orientation
// says, delivered upright. Width, height and the scale asked for are the
// upright picture's.
std::unique_ptr<RowSource> UprightRowsOf(std::unique_ptr<RowSource> stored, Orientation orientation);

}  // namespace tessaly
