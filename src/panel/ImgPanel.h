// TImgPanel: one opened picture in the window's column. It shows a thumbnail
// with the file name under it and holds everything known about the picture:
// its path, pixel size, the date and comment stamped on it, the stamp font
// and the crop rectangle. It draws the thumbnail, the stamped preview and the
// stamped export copy through the one render routine (Render.h).
//
// Errors (a picture that cannot be decoded, a file that vanished, an export
// folder that cannot be made, a failed write) are thrown as PictureError with
// the message to show; the panel catches none of them.
#pragma once

#include <QDateTime>
#include <QFrame>
#include <QLabel>
#include <QString>
#include <optional>

#include "ImageView.h"
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

class TImgPanel : public QFrame {
  Q_OBJECT

 public:
  static constexpr int kPanelHeight = 150;

  // Takes the owner's width, as a top-aligned panel fills its container.
  explicit TImgPanel(QWidget* owner = nullptr);
  ~TImgPanel() override;

  // Picture size found by the last Render; 0 until then.
  int PictureWidth = 0;
  int PictureHeight = 0;
  QLabel* NameLabel = nullptr;      // the file name, coloured when selected
  TImageView* Thumbnail = nullptr;  // the whole picture, scaled to fit
  QLabel* ThumbnailNote = nullptr;  // over the thumbnail: loading, or the error
  QString DateText;
  QString Comment;
  QString FileName;
  // How the picture file is stored, the EXIF Orientation of a JPEG file (1 to
  // 8, Orientation.h); 1 for other files and for JPEG files without one.
  // Renders put the picture upright, so PictureWidth, PictureHeight and
  // CropRect are those of the upright picture.
  int Orientation = 1;
  // Picture pixels shown and exported, right and bottom exclusive; it may
  // reach outside the picture. Left -1 until a picture is loaded; until then
  // (cropSet_ false) the next Render takes the whole picture.
  TRect CropRect{-1, 0, 0, 0};

  // Every date the file holds: the EXIF ones that parse (original,
  // digitized, modified, in that order), then the file's own. Filled by
  // LoadInfo and ReadExifDate.
  QList<DateChoice> DateChoices;
  // Where the date LoadInfo gave DateText came from.
  DateSource DateFrom = DateSource::File;
  // The choice of that source; nullptr when the file holds no such date.
  const DateChoice* FindDateChoice(DateSource source) const;

  // Date text from the file's modification time, then the EXIF date when
  // there is one, then the thumbnail. Throws PictureError.
  void LoadFile(const QString& path);
  // LoadFile without the thumbnail: the dates and the picture's size from
  // its header, no pixels decoded. The thumbnail shows a placeholder until
  // SetThumbnail. Throws PictureError.
  void LoadInfo(const QString& path);
  // What the thumbnail is drawn from (the whole picture, no stamp), and
  // what the preview and the export are (the crop with the stamp): copies,
  // so they can be rendered away from the panel.
  RenderJob ThumbnailJob() const { return Job(false); }
  RenderJob StampedJob() const { return Job(true); }
  void SetThumbnail(QImage picture);
  // A picture that could not be loaded: the message shown in the thumbnail's
  // place and as the panel's tooltip.
  void ShowLoadError(const QString& message);
  QString LoadError;
  // Replaces DateText by the shooting date of the EXIF data (date only);
  // false, DateText unchanged, when there is no readable date. Puts the EXIF
  // dates that parse before the file's date in DateChoices, and sets
  // Orientation from the same data (JPEG files only).
  bool ReadExifDate();

  // Draws the picture into target: scaled for a stretching view, at the crop's
  // own size otherwise; with the stamp, the crop with the date and comment.
  void Render(TImageView& target, bool withStamp);

  const TStampFont& GetStampFont();     // created with defaults on first use
  void SetStampFont(const TStampFont* font);  // nullptr: nothing changes
  bool HasStampFont() const { return StampFont.has_value(); }

  void Select();    // yellow name label
  void Deselect();  // button-face name label

  bool IsCropped() const;
  void ResetCrop();
  // 10x15 crop at p percent along the short side: SetCropLeft for portrait
  // and square pictures, SetCropTop for landscape ones.
  void SetCropLeft(double p);
  void SetCropTop(double p);
  // The print: its format and whether it is padded with white borders. The
  // frame of the format at p percent along the side it moves on
  // (PrintFormat.h); for 10x15 on a picture of 3:2 or narrower this is
  // SetCropTop or SetCropLeft.
  PrintChoice Print;
  void SetCropAt(double p);

  // Writes the stamped copy, as JPEG, to the folder "Export" beside the
  // picture under the picture's own file name; returns the path written.
  QString ExportCopy();

  // Gives the keyboard focus to the panel (a click on it, its label or its
  // thumbnail).
  void PanelClick();

 signals:
  // The panel received the keyboard focus (click, Tab, setFocus).
  void entered(TImgPanel* panel);

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::optional<TStampFont> StampFont;
  // Whether CropRect holds a crop. Kept apart from CropRect itself because a
  // 10x15 cut of a portrait picture narrower than 2:3 has a negative Left.
  bool cropSet_ = false;
  RenderJob Job(bool withStamp) const;
  void LayOutChildren();
};

}  // namespace tessaly
