#include "HeifCodec.h"

#include <QFileInfo>

#include "PathBytes.h"
#include "PictureError.h"

namespace tessaly {

namespace {

std::string FileBytes(const QString& path) { return PathBytes(path).toStdString(); }

}  // namespace

bool IsHeifName(const QString& fileName) {
  const QString ext = QFileInfo(fileName).suffix();
  for (const char* heif : kHeifExtensions)
    if (ext.compare(QLatin1String(heif), Qt::CaseInsensitive) == 0) return true;
  return false;
}

std::optional<std::string> ReadHeifExif(const QString& path) { return ReadHeifExif(FileBytes(path)); }

HeifDecoder::HeifDecoder(const QString& path) : path_(path) {
  try {
    file_ = std::make_unique<HeifFile>(FileBytes(path));
    file_->CheckClaimedSizes();
  } catch (const HeifError& error) {
    Fail(error);
  }
}

void HeifDecoder::Start(int64_t srcW, int64_t srcH, int64_t needW, int64_t needH) {
  // The file's own thumbnail spares decoding the whole picture for a panel's
  // thumbnail, where it is large enough.
  const int64_t w = Width(), h = Height();
  const auto small = file_->ThumbnailSize();
  const bool thumbnail = small && srcW * small->first >= needW * w && srcH * small->second >= needH * h;
  try {
    try {
      file_->Decode(thumbnail);
    } catch (const HeifError&) {
      if (!thumbnail) throw;
      file_->Decode(false);  // a broken thumbnail does not hide the picture
    }
  } catch (const HeifError& error) {
    Fail(error);
  }
}

void HeifDecoder::Fail(const std::exception& error) const {
  const bool opening = dynamic_cast<const HeifOpenError*>(&error) != nullptr;
  const QString reason = QString::fromLocal8Bit(error.what());
  throw opening ? OpenError(path_, reason) : ReadError(path_, reason);
}

}  // namespace tessaly
