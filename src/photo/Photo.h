// Photo: what is known about one picture, apart from any view of it: its
// path, kind, upright size and orientation, the dates the file holds and the
// one stamped, the comment, the stamp font and the crop. It reads its facts
// from the file (the header and the metadata, no pixels), keeps the crop
// arithmetic, and makes the jobs that render or export it.
//
// A Photo is a value: copies are independent, and loading one touches no
// shared state and no widget, so photos are read on worker threads.
// Errors are thrown as PictureError with the message to show.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

#include "Orientation.h"
#include "PrintCrop.h"
#include "CopySettings.h"
#include "PrintFormat.h"
#include "Render.h"
#include "StampFont.h"

namespace tessaly {

// Where a date text came from: one of the EXIF date tags (DateTimeOriginal,
// DateTimeDigitized, DateTime) or the file's modification time.
enum class DateSource { Original, Digitized, Modified, File };

struct DateChoice {
  DateChoice(QString text, DateSource source, QDateTime when = {})
      : text(std::move(text)), source(source), when(std::move(when)) {}
  QString text;  // as it is stamped: EXIF dates date only, the file's with time
  DateSource source;
  QDateTime when;  // what text was made from, for the other date forms
  bool operator==(const DateChoice& other) const { return text == other.text && source == other.source; }
};

// The choice's date in a date form (DateForm.h): its own text in the default
// form, else the form made from its moment.
QString FormedDate(const DateChoice& choice, const QString& form);

// "Фотография изменилась после открытия: PATH" in the program's language
// (translated in the context "tessaly::Photo" from kPhotoChangedSource):
// an export found the file no longer a picture.
inline constexpr const char* kPhotoChangedSource = "Фотография изменилась после открытия: %1";
QString PhotoChangedText(const QString& path);

class Photo {
 public:
  // How the file is read: a JPEG container (its metadata by the EXIF
  // reader, turned by its Orientation), a HEIF file (its EXIF item; upright
  // as decoded), or another picture Qt reads (upright, no metadata).
  enum class Kind { Jpeg, Heif, Other };
  static Kind KindOf(const QString& path);

  // The facts. The window's panel shows and edits these fields directly.
  QString path;  // may hold bytes that are not UTF-8 (PathBytes.h)
  Kind kind = Kind::Other;
  // The upright picture's size, from its header; 0 until read.
  int width = 0;
  int height = 0;
  // How the file is stored (a JPEG's EXIF Orientation; upright otherwise).
  // width, height and crop are those of the upright picture.
  Orientation orientation;
  // Every date the file holds: the EXIF ones that parse (original,
  // digitized, modified, in that order), then the file's own.
  QList<DateChoice> dateChoices;
  DateSource dateFrom = DateSource::File;  // where dateText's date came from
  QString dateText;
  QString comment;
  std::optional<TStampFont> font;  // none: the default font
  // Picture pixels shown and exported, right and bottom exclusive; it may
  // reach outside the picture. Left -1 until a picture is read.
  TRect crop{-1, 0, 0, 0};
  // The print: its format (the frame's proportions) and whether the picture
  // is padded to it with white borders instead of cut.
  PrintChoice print;

  // Reads path's facts: ReadFileDate, ReadDates, ReadHeader. No pixels are
  // decoded. Throws PictureError; the steps before the failing one keep what
  // they set.
  void Load(const QString& path);
  static Photo Loaded(const QString& path);
  // The crop unset, path and kind set, dateText and dateChoices the file's
  // modification time (with the time of day, unless midnight).
  void ReadFileDate(const QString& path);
  // Replaces dateText by the date the picture was taken (EXIF original,
  // digitized, modified: the first that parses; date only);
  // false, dateText unchanged, when there is no readable date. Puts the
  // EXIF dates that parse before the file's date in dateChoices and sets the
  // orientation from the same data (JPEG files only).
  bool ReadDates();
  // The upright size from the file's header; the crop then the whole picture.
  void ReadHeader();
  // Whether ReadHeader has succeeded for this photo.
  bool HasFacts() const { return factsRead_; }

  const DateChoice* FindDateChoice(DateSource source) const;

  const TStampFont& StampFont();  // created with defaults on first use

  // The crop. IsCropped: the crop is not the whole picture.
  bool IsCropped() const;
  void ResetCrop();
  // A print cut at p percent along the side (CropSideOf the picture for the
  // usual choice): SetCropTop for landscape, SetCropLeft for portrait and
  // square pictures. The position is remembered, so the cut can be made
  // again on another size (Refresh).
  void SetCrop(CropSide side, double p);
  void SetCropTop(double p) { SetCrop(CropSide::Top, p); }
  void SetCropLeft(double p) { SetCrop(CropSide::Left, p); }
  void SetPrintCrop(double p) { SetCrop(CropSideOf(width, height), p); }
  // The frame of the print format at p percent along the side it moves on
  // (FrameAt, PrintFormat.h), or in the middle of it.
  void SetFrameAt(double p);
  void SetCentredFrame();
  struct CropPosition {
    CropSide side;
    double percent;
    bool byFormat = false;  // SetFrameAt, or SetCentredFrame when centred
    bool centred = false;
  };
  // Where the last print cut was set; none for the whole picture.
  std::optional<CropPosition> CropAt() const { return cropAt_; }

  // What the thumbnail is drawn from (the whole picture, no stamp) and what
  // the preview and the export are (the crop with the stamp).
  RenderJob ThumbnailJob() const { return Job(false); }
  RenderJob StampJob() const { return Job(true); }
  // Takes the size and crop a render of one of those jobs found.
  void TakeRender(const RenderResult& result);
  // Takes another copy's facts (size, orientation, crop), as Refresh left
  // them.
  void TakeFacts(const Photo& refreshed);

  // Reads the size and orientation again. When they differ from what was
  // read before, the crop is made again from its remembered position on the
  // new size, and the result is true. Throws PictureError
  // (PhotoChangedText) when the file is no longer a picture. Does nothing
  // for a photo whose facts were never read.
  bool Refresh();
  // Refresh (when asked), then the stamped copy (Export.h) carrying what
  // copy lets through of the photo's profile and metadata (none: nothing);
  // returns the path written. changed: whether Refresh changed the facts;
  // warning: what was left out of the copy and why.
  QString ExportCopy(bool refresh = true, bool* changed = nullptr,
                     const std::optional<CopySettings>& copy = CopySettings{}, QString* warning = nullptr);

 private:
  RenderJob Job(bool withStamp) const;
  // Whether crop holds a crop. Kept apart from crop itself because a print
  // cut of a portrait picture narrower than 2:3 has a negative Left.
  bool cropSet_ = false;
  bool factsRead_ = false;
  std::optional<CropPosition> cropAt_;
};

}  // namespace tessaly
