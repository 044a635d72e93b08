// What a person has made of one picture: the date stamped on it and where
// that date came from, the comment, the stamp font with its options, and the
// crop. The unit the edit store keeps and the undo steps swap.
#pragma once

#include <QString>

#include "Render.h"
#include "StampFont.h"

namespace tessaly {

struct PictureState {
  QString dateText;
  // Which of the photo's dates dateText is: "original", "digitized",
  // "modified" (the EXIF tags) or "file"; "" for a date typed by hand.
  QString dateSource;
  QString comment;
  TStampFont font;
  // The picture pixels shown and exported; cropped false means the whole
  // picture, whatever crop holds.
  bool cropped = false;
  TRect crop{0, 0, 0, 0};

  bool operator==(const PictureState& other) const {
    return dateText == other.dateText && dateSource == other.dateSource && comment == other.comment &&
           font == other.font && cropped == other.cropped && (!cropped || crop == other.crop);
  }
};

}  // namespace tessaly
