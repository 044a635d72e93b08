// HEIF pictures (.heic, .heif, .hif) for rendering: the decoder behind the
// render's rows and the EXIF bytes the panel hands to the metadata reader.
// The pictures come upright (the file's rotation and mirror properties are
// its orientation), so the EXIF Orientation inside a HEIF file is never
// applied on top.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "HeifLoader.h"
#include "HeifPreviewCache.h"

namespace tessaly {

// The EXIF bytes of the HEIF file at path, from the TIFF header on, for
// TimgData::ReadExifBlock; none when there are none or the file is unreadable.
std::optional<std::string> ReadHeifExif(const QString& path);

// Reads one HEIF file's primary image as rows of 8-bit RGB, at full size or
// from the file's own thumbnail when that is large enough.
class HeifDecoder {
 public:
  // Opens the file and reads its boxes; refuses a picture claiming more pixels
  // than a render makes. Throws PictureError. forViews: a whole-picture
  // decode is taken from HeifPreviewCache when it holds the file as it is
  // now, and kept there when made.
  explicit HeifDecoder(const QString& path, bool forViews = false);

  int Width() const { return width_; }  // full size, upright
  int Height() const { return height_; }

  // Decodes: the thumbnail when it still has needW x needH pixels over a
  // source of srcW x srcH full-size ones, else the full picture. Throws
  // PictureError.
  void Start(int64_t srcW, int64_t srcH, int64_t needW, int64_t needH);
  int OutputWidth() const { return picture_->DecodedWidth(); }
  int OutputHeight() const { return picture_->DecodedHeight(); }
  const uint8_t* Row(int y) const { return picture_->Row(y); }

 private:
  QString path_;
  std::optional<HeifFileKey> key_;  // for views only
  std::shared_ptr<HeifPicture> file_;  // opened, until a cached decode serves
  std::shared_ptr<const HeifPicture> picture_;  // decoded
  int width_ = 0, height_ = 0;
  std::optional<std::pair<int, int>> thumbnail_;
  void Open();
  [[noreturn]] void Fail(const std::exception& error) const;
};

}  // namespace tessaly
