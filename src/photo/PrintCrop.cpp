#include "PrintCrop.h"

#include <algorithm>
#include <climits>

#include "ExifReader.h"

namespace tessaly {

CropSide CropSideOf(int64_t width, int64_t height) { return width > height ? CropSide::Top : CropSide::Left; }

int32_t Cut::End() const { return int32_t(std::min<int64_t>(int64_t(start) + length, INT32_MAX)); }

Cut PrintCut(double ratio, double percent, int32_t side, int32_t other) {
  const int64_t length = RoundHalfEven(other / ratio);
  const int64_t start = std::min(RoundHalfEven(percent * (side / 100.0)), int64_t(side) - length);
  return {int32_t(std::max<int64_t>(start, INT32_MIN)), int32_t(std::min<int64_t>(length, INT32_MAX))};
}

QSize PrintFrameSize(QSize drawn, double ratio) {
  if (CropSideOf(drawn.width(), drawn.height()) == CropSide::Top)
    return QSize(drawn.width(), int(RoundHalfEven(drawn.width() / ratio)));
  return QSize(int(RoundHalfEven(drawn.height() / ratio)), drawn.height());
}

}  // namespace tessaly
