#include "PictureError.h"

#include <cstring>
#include <string>

#include "JpegDecode.h"
#include "RenderCap.h"

namespace tessaly {

PictureError OpenError(const QString& path, const QString& reason) {
  return PictureError(QStringLiteral("Cannot open %1: %2").arg(path, reason), reason);
}

PictureError ReadError(const QString& path, const QString& reason) {
  return PictureError(QStringLiteral("Cannot read %1: %2").arg(path, reason), reason);
}

PictureError PictureSizeError(int64_t width, int64_t height) {
  return PictureError(QStringLiteral("Cannot make a picture of %1 x %2 pixels").arg(width).arg(height));
}

QString ErrnoText(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

void CheckPictureSize(int64_t width, int64_t height) {
  if (!WithinRenderCap(width, height)) throw PictureSizeError(width, height);
}

void CheckClaimedSize(const QString& path, int64_t width, int64_t height, int64_t fileBytes) {
  CheckPictureSize(width, height);
  const std::string problem = PlausibilityProblem(width, height, fileBytes);
  if (!problem.empty()) throw ReadError(path, QString::fromStdString(problem));
}

}  // namespace tessaly
