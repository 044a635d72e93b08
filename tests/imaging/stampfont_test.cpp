// The stamp font's size and colour conversions and the cell height a render
// asks of it.
#include <gtest/gtest.h>

#include <QFontMetrics>

#include "StampFont.h"

namespace tessaly {
namespace {

TEST(StampFont, ConvertsSizesColoursAndCellHeights) {
  // Heights and points convert as MulDiv: rounded, halves away from zero.
  const std::pair<int, int> heightPoints[] = {{-11, 8}, {-13, 10}, {-15, 11}, {-16, 12}, {-3, 2}, {0, 0}};
  for (const auto& [height, points] : heightPoints) {
    TStampFont f;
    f.height = height;
    EXPECT_EQ(f.Size(), points) << height;
    f.SetSize(points);
    EXPECT_EQ(f.height, height) << points;
  }
  TStampFont f;
  EXPECT_EQ(f.Color(), QColor(0, 0, 0)) << "system window text";
  f.color = 0x8000000F;
  EXPECT_EQ(f.Color(), QColor(240, 240, 240)) << "system button face";
  f.SetColor(QColor(0x12, 0x34, 0x56));
  EXPECT_EQ(f.color, 0x00563412u) << "stored blue, green, red";

  for (const int cell : {8, 20, 66, 150}) {
    const int height = QFontMetrics(f.ToQFont(cell)).height();
    EXPECT_TRUE(height <= cell && height >= cell - 2) << cell << " gave " << height;
  }
  EXPECT_EQ(f.ToQFont(-30).pixelSize(), 30) << "negative: the character height";
}

}  // namespace
}  // namespace tessaly
