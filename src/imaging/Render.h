// The one drawing routine: reads a picture file, takes the crop rectangle,
// scales it for the target without averaging and, when asked, writes the
// date and comment into its lower right corner. Needs QtGui only (no
// widgets), so it runs with Qt's offscreen platform.
#pragma once

#include <QImage>
#include <QString>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "Orientation.h"
#include "PathBytes.h"
#include "PictureError.h"
#include "StampFont.h"

namespace tessaly {

// The picture a job was made for is no longer what the file holds: its
// upright size is not the job's uprightSize: "The photo changed after it
// was opened: PATH".
class PictureChanged : public PictureError {
 public:
  explicit PictureChanged(const QString& path)
      : PictureError(QStringLiteral("The photo changed after it was opened: ") + path), path_(path) {}
  const QString& Path() const { return path_; }

 private:
  QString path_;
};

// Picture pixels; Right and Bottom exclusive.
struct TRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  int64_t Width() const { return int64_t(Right) - Left; }
  int64_t Height() const { return int64_t(Bottom) - Top; }
  bool operator==(const TRect&) const = default;
};

// What a render fills: a view of width x height that scales its picture to
// fit (stretch) or shows it at its own size.
struct RenderTarget {
  int width = 0;
  int height = 0;
  bool stretch = false;
};

struct RenderJob {
  QString fileName;
  // None: the whole picture. A crop may reach outside the picture on any side
  // (a 10x15 cut of a picture wider than 3:2 or narrower than 2:3).
  std::optional<TRect> crop;
  bool withStamp = false;
  TStampFont font;
  QString dateText;
  QString comment;
  // How the picture is stored (Orientation.h). The render puts it upright,
  // and the picture size, the crop, the output and the stamp are those of
  // the upright picture.
  Orientation orientation{};
  // The upright size the crop was settled on, when the caller knows it: a
  // file found to hold another size then throws PictureChanged rather than
  // cutting or padding the new picture by the old size.
  std::optional<QSize> uprightSize{};
  // The crop pads the picture with white borders ("fit"): the stamp is
  // placed on the picture, not on the borders.
  bool stampOnPicture = false;
};

struct RenderResult {
  QImage image;  // Format_RGB888
  int pictureWidth = 0;  // of the upright picture
  int pictureHeight = 0;
  TRect crop;  // the job's crop, or the whole picture when it has none
  // Why the picture's data is incomplete (libjpeg's text), empty when whole;
  // the image then shows what could be decoded. An export refuses such data.
  QString damage;
  // What the decoder warned of while the picture stayed whole, in one line.
  QString notes;
};

// Colour of the part of a crop rectangle that lies outside the picture.
inline constexpr QRgb kOutsideColor = qRgb(255, 255, 255);

// Throws PictureError when the file cannot be read or decoded.
RenderResult Render(const RenderJob& job, const RenderTarget& target);

// What Render would find (picture size, crop) from the file's header, with
// no pixels decoded; result.image stays empty. Throws PictureError when the
// file cannot be opened or its header read.
RenderResult Probe(const RenderJob& job);

// Receives a picture row by row, top to bottom, as 8-bit RGB.
class RowConsumer {
 public:
  virtual ~RowConsumer() = default;
  virtual void Begin(int width, int height) = 0;
  virtual void Rows(const uint8_t* first, size_t stride, int count) = 0;
  // Where the next row may be made before it is handed to Rows (count 1),
  // sparing a copy; nullptr: the caller makes it in memory of its own.
  virtual uint8_t* RowSpace() { return nullptr; }
  // Whether a second thread works for this picture (after Begin): the render
  // may use it while no row goes out yet.
  virtual bool HasSecondThread() const { return false; }
};

// The stamped crop at full size, the picture Render makes for a target that
// does not scale, handed out in rows: those above the text as they are
// decoded, then the band with the text. Only that band is held in memory,
// so a large photo is never held whole. result.image stays empty. Data that
// is corrupt or ends early is refused ("Picture data is damaged: ...") before
// the last rows go out.
RenderResult RenderFullSize(const RenderJob& job, RowConsumer& consumer);

// Where the stamp's lines lie on the full-size output of a picture of
// pictureWidth x pictureHeight (upright) with the job's crop: their text
// cells, after any move the safe margins ask for; empty without text.
QRect StampRect(const RenderJob& job, int pictureWidth, int pictureHeight);

// Output size for a source of sw x sh pixels (the rounding halves to even).
QSize OutputSize(int64_t sw, int64_t sh, const RenderTarget& target);

}  // namespace tessaly
