// The print crop: a picture cut to the proportions of a print (10 x 15 cm,
// long side : short side = 1.5) by keeping its long side whole and choosing
// where along the short side the cut lies. One place for the arithmetic the
// photo, the window's frame and the batch command share.
#pragma once

#include <QSize>
#include <cstdint>

namespace tessaly {

// Long side : short side of a 10 x 15 print.
inline constexpr double kPrintRatio = 1.5;

// Which side a cut moves along: down from the top (a landscape picture,
// wider than high) or right from the left edge (portrait and square).
enum class CropSide { Top, Left };

// The side a picture or a drawn picture of width x height is cut along.
CropSide CropSideOf(int64_t width, int64_t height);

// Start and length of a cut along a side of `side` pixels, the other side
// being `other`: the cut is other / ratio long and starts `percent` percent
// along the side, but no later than where it would end at the side's far
// edge. Rounding is to the nearest integer, ties to the even one (the
// reader's RoundHalfEven). There is no lower bound: a cut longer than the
// side (a landscape picture wider than the ratio) starts before the side
// does. Both values are held to 32 bits.
struct Cut {
  int32_t start = 0;
  int32_t length = 0;
  int32_t End() const;  // start + length, held to 32 bits
  bool operator==(const Cut&) const = default;
};
Cut PrintCut(double ratio, double percent, int32_t side, int32_t other);

// The frame drawn over a picture shown at `drawn`: the long side whole, the
// other side long side / ratio.
QSize PrintFrameSize(QSize drawn, double ratio = kPrintRatio);

}  // namespace tessaly
