#include "HeifCodec.h"

#include "PathBytes.h"
#include "PictureError.h"

namespace tessaly {

namespace {

std::string FileBytes(const QString& path) { return PathBytes(path).toStdString(); }

}  // namespace

std::optional<std::string> ReadHeifExif(const QString& path) { return ReadHeifExif(FileBytes(path)); }

HeifDecoder::HeifDecoder(const QString& path, bool forViews) : path_(path) {
  if (forViews) key_ = HeifKeyOf(path);
  if (key_) {
    if (const std::optional<CachedHeif> cached = HeifPreviewCache::Find(*key_)) {
      // Decoded before, file unchanged: not even its boxes are read again.
      picture_ = cached->picture;
      width_ = cached->width;
      height_ = cached->height;
      thumbnail_ = cached->thumbnail;
      return;
    }
  }
  Open();
}

void HeifDecoder::Open() {
  try {
    file_ = std::make_shared<HeifPicture>(FileBytes(path_));
    file_->CheckClaimedSizes();
  } catch (const HeifError& error) {
    Fail(error);
  }
  width_ = file_->Width();
  height_ = file_->Height();
  thumbnail_ = file_->ThumbnailSize();
}

void HeifDecoder::Start(int64_t srcW, int64_t srcH, int64_t needW, int64_t needH) {
  // The file's own thumbnail spares decoding the whole picture for a panel's
  // thumbnail, where it is large enough.
  const int64_t w = Width(), h = Height();
  const auto& small = thumbnail_;
  const bool thumbnail = small && srcW * small->first >= needW * w && srcH * small->second >= needH * h;
  if (!thumbnail && picture_) return;  // the whole picture, from the cache
  if (!file_) Open();
  bool whole = !thumbnail;
  try {
    try {
      file_->Decode(thumbnail);
    } catch (const HeifError&) {
      if (!thumbnail) throw;
      file_->Decode(false);  // a broken thumbnail does not hide the picture
      whole = true;
    }
  } catch (const HeifError& error) {
    Fail(error);
  }
  picture_ = file_;
  if (whole && key_) {
    HeifPreviewCache::CountDecode();
    HeifPreviewCache::Keep(*key_, {picture_, width_, height_, thumbnail_});
  }
}

void HeifDecoder::Fail(const std::exception& error) const {
  const bool opening = dynamic_cast<const HeifOpenError*>(&error) != nullptr;
  const QString reason = QString::fromLocal8Bit(error.what());
  throw opening ? OpenError(path_, reason) : ReadError(path_, reason);
}

}  // namespace tessaly
