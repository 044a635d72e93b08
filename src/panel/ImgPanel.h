// TImgPanel: one opened picture in the window's column, a view of its
// Photo (Photo.h). It shows a thumbnail with the file name under it; the
// picture's facts (path, size, dates, comment, stamp font, crop) live in the
// Photo, and the panel's members of the same names are bound to them, so
// the window reads and edits them as before.
//
// Errors (a picture that cannot be decoded, a file that vanished, an export
// folder that cannot be made, a failed write) are thrown as PictureError with
// the message to show; the panel catches none of them.
#pragma once

#include <QFrame>
#include <QLabel>
#include <QString>
#include <optional>

#include "ImageView.h"
#include "Photo.h"
#include "Render.h"
#include "StampFont.h"

namespace tessaly {

class TImgPanel : public QFrame {
  Q_OBJECT

  Photo photo_;  // first: the members below are bound to its fields

 public:
  static constexpr int kPanelHeight = 150;

  // Takes the owner's width, as a top-aligned panel fills its container.
  explicit TImgPanel(QWidget* owner = nullptr);
  ~TImgPanel() override;

  Photo& photo() { return photo_; }
  const Photo& photo() const { return photo_; }

  // The upright picture's size, from the file's header or the last Render;
  // 0 until then.
  int& PictureWidth = photo_.width;
  int& PictureHeight = photo_.height;
  QLabel* NameLabel = nullptr;      // the file name, coloured when selected
  TImageView* Thumbnail = nullptr;  // the whole picture, scaled to fit
  QLabel* ThumbnailNote = nullptr;  // over the thumbnail: loading, or the error
  QString& DateText = photo_.dateText;
  QString& Comment = photo_.comment;
  QString& FileName = photo_.path;
  // How the picture file is stored (Photo::orientation).
  tessaly::Orientation& Orientation = photo_.orientation;
  // Picture pixels shown and exported (Photo::crop). Left -1 until a picture
  // is loaded; until then the next Render takes the whole picture.
  TRect& CropRect = photo_.crop;

  // Every date the file holds, and where DateText's came from (Photo).
  QList<DateChoice>& DateChoices = photo_.dateChoices;
  DateSource& DateFrom = photo_.dateFrom;
  // The choice of that source; nullptr when the file holds no such date.
  const DateChoice* FindDateChoice(DateSource source) const { return photo_.FindDateChoice(source); }

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
  RenderJob ThumbnailJob() const { return photo_.ThumbnailJob(); }
  RenderJob StampedJob() const { return photo_.StampJob(); }
  void SetThumbnail(QImage picture);
  // A picture that could not be loaded: the message shown in the thumbnail's
  // place and as the panel's tooltip.
  void ShowLoadError(const QString& message);
  QString LoadError;
  // Replaces DateText by the date the picture was taken (EXIF original,
  // digitized, modified, the first that parses; date only);
  // false, DateText unchanged, when there is no readable date. Puts the EXIF
  // dates that parse before the file's date in DateChoices, and sets
  // Orientation from the same data (JPEG files only).
  bool ReadExifDate();

  // Draws the picture into target: scaled for a stretching view, at the crop's
  // own size otherwise; with the stamp, the crop with the date and comment.
  void Render(TImageView& target, bool withStamp);

  const TStampFont& GetStampFont() { return photo_.StampFont(); }  // created with defaults on first use
  void SetStampFont(const TStampFont* font);  // nullptr: nothing changes
  bool HasStampFont() const { return photo_.font.has_value(); }

  void Select();    // yellow name label
  void Deselect();  // button-face name label

  bool IsCropped() const { return photo_.IsCropped(); }
  void ResetCrop() { photo_.ResetCrop(); }
  // 10x15 crop at p percent along the short side: SetCropLeft for portrait
  // and square pictures, SetCropTop for landscape ones.
  void SetCropLeft(double p) { photo_.SetCropLeft(p); }
  void SetCropTop(double p) { photo_.SetCropTop(p); }
  // The print (Photo::print) and its frame at p percent along the side it
  // moves on (Photo::SetFrameAt).
  PrintChoice& Print = photo_.print;
  void SetCropAt(double p) { photo_.SetFrameAt(p); }

  // Writes the stamped copy, as JPEG, to the folder "Export" beside the
  // picture under the picture's own file name, carrying what the settings
  // let through of the photo's profile and metadata (Export.h); returns the
  // path written; warning receives what was left out and why. The picture's
  // size and orientation are read again first (a photo changed since it was
  // opened is cut by its new size: Photo::Refresh).
  QString ExportCopy(const CopySettings& settings = {}, QString* warning = nullptr) {
    return photo_.ExportCopy(true, nullptr, settings, warning);
  }

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
  void LayOutChildren();
};

}  // namespace tessaly
