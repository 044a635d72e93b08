// The stamp font's size and colour conversions, and the cell height a render
// asks of it.
#include <gtest/gtest.h>

#include <QFontMetrics>

#include "StampFont.h"

namespace tessaly {
namespace {

TEST(StampFont, SizeAndHeightConvertAsMulDiv) {
  struct Case {
    int height, points;
  } const fromHeight[] = {{-11, 8}, {-13, 10}, {-16, 12}, {-15, 11}, {-1, 1}, {0, 0}, {-2, 2}, {13, -10}};
  for (const Case& c : fromHeight) {
    TStampFont f;
    f.height = c.height;
    EXPECT_EQ(f.Size(), c.points) << c.height;
  }
  const Case fromPoints[] = {{-11, 8}, {-13, 10}, {-16, 12}, {-15, 11}, {-96, 72}, {0, 0}};
  for (const Case& c : fromPoints) {
    TStampFont f;
    f.SetSize(c.points);
    EXPECT_EQ(f.height, c.height) << c.points;
  }
}

TEST(StampFont, ColoursAreStoredBlueGreenRed) {
  TStampFont f;
  EXPECT_EQ(f.Color(), QColor(0, 0, 0)) << "window text";
  f.color = 0x8000000F;
  EXPECT_EQ(f.Color(), QColor(240, 240, 240)) << "button face";
  f.color = 0x800000FE;
  EXPECT_EQ(f.Color(), QColor(0, 0, 0)) << "unknown system colour";
  f.SetColor(QColor(0x12, 0x34, 0x56));
  EXPECT_EQ(f.color, 0x00563412u);
  EXPECT_EQ(f.Color(), QColor(0x12, 0x34, 0x56));
}

TEST(StampFont, CellHeightFitsTheLine) {
  TStampFont f;
  for (const int cell : {8, 20, 66, 150}) {
    const int height = QFontMetrics(f.ToQFont(cell)).height();
    EXPECT_LE(height, cell) << cell;
    EXPECT_GE(height, cell - 2) << cell;
  }
  EXPECT_EQ(f.ToQFont().pixelSize(), 11) << "negative height: the character height";
  EXPECT_EQ(f.ToQFont(-30).pixelSize(), 30);
}

TEST(StampFont, FromQFontKeepsFaceStyleAndColour) {
  QFont font("DejaVu Serif");
  font.setPointSize(14);
  font.setBold(true);
  font.setItalic(true);
  const TStampFont f = TStampFont::FromQFont(font, QColor(255, 0, 0));
  EXPECT_EQ(f.name, "DejaVu Serif");
  EXPECT_EQ(f.Size(), 14);
  EXPECT_TRUE(f.bold);
  EXPECT_TRUE(f.italic);
  EXPECT_EQ(f.color, 0x000000FFu);
}

}  // namespace
}  // namespace tessaly
