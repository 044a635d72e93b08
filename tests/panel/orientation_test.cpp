// Photos stored turned or mirrored, with an EXIF Orientation tag: the panel
// shows, cuts and exports them as they were held.
#include <gtest/gtest.h>

#include <QPainter>

#include "ImgPanel.h"
#include "PhotoBuilder.h"
#include "PictureFiles.h"

namespace tessaly {
namespace {

using namespace testing;

const QRgb kRed = qRgb(220, 30, 30), kYellow = qRgb(230, 220, 40), kGrey = qRgb(150, 150, 150);

// Red at the top left and yellow at the top right, so a mirror is told from a turn.
QImage Scene(QSize size) {
  QImage image(size, QImage::Format_RGB888);
  image.fill(kGrey);
  QPainter painter(&image);
  painter.fillRect(0, 0, size.width() / 8, size.width() / 8, QColor(kRed));
  painter.fillRect(size.width() * 7 / 8, 0, size.width() / 8, size.width() / 8, QColor(kYellow));
  return image;
}

// The pixels stored for the scene with orientation o (EXIF 2.3 section 4.6.4).
QImage Stored(const QImage& scene, int o) {
  const QImage turned = scene.transformed(QTransform().rotate(o == 6 ? -90 : 90));
  const bool mirror[9][2] = {{}, {}, {true, false}, {true, true}, {false, true}, {true, false}, {}, {false, true}, {}};
  return (o >= 5 && o <= 8 ? turned : scene).mirrored(mirror[o % 9][0], mirror[o % 9][1]);
}

// The corners of the scene, and the stamp's black letters in the bottom right quarter only.
void ExpectUpright(const QImage& image, bool stamped, const char* what) {
  SCOPED_TRACE(what);
  const int w = image.width(), h = image.height();
  EXPECT_LT(ChannelDifference(image.pixel(1, 1), kRed), 40);
  EXPECT_LT(ChannelDifference(image.pixel(w - 2, 1), kYellow), 40);
  EXPECT_LT(ChannelDifference(image.pixel(1, h - 2), kGrey), 40);
  int letters = 0, misplaced = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (qGray(image.pixel(x, y)) < 60) (x < w / 2 || y < h / 2 ? misplaced : letters)++;
  EXPECT_EQ(letters > 0, stamped);
  EXPECT_EQ(misplaced, 0);
}

TEST(Orientation, EveryOrientationIsShownCutAndExportedUpright) {
  const QString folder = TestFolder("panel-orientation");
  const QSize landscape(256, 192), portrait(192, 256);
  // The 10x15 cut at 5 percent along the upright picture's short side.
  const TRect acrossLandscape{0, 10, 256, 181}, acrossPortrait{10, 0, 181, 256};
  // The orientation written (9 is none: taken as stored), the upright size, the cut.
  const struct { int orientation; QSize upright; TRect crop; } cases[] = {
      {1, landscape, acrossLandscape}, {2, landscape, acrossLandscape}, {3, landscape, acrossLandscape},
      {4, landscape, acrossLandscape}, {5, portrait, acrossPortrait},   {6, portrait, acrossPortrait},
      {7, portrait, acrossPortrait},   {8, portrait, acrossPortrait},   {9, landscape, acrossLandscape},
      {6, QSize(4000, 3000), TRect{0, 150, 4000, 2817}}};
  for (const auto& c : cases) {
    const QString path = folder + QStringLiteral("/%1_%2.jpg").arg(c.orientation).arg(c.upright.width());
    SCOPED_TRACE(path.toStdString());
    TiffBuilder tiff(c.orientation % 2 == 0);
    tiff.AddShort(0, 0x0112, {uint16_t(c.orientation)});
    WriteJpegPicture(path, Stored(Scene(c.upright), c.orientation), 95, ExifSegment(tiff.Build()));

    TImgPanel panel;
    panel.resize(260, TImgPanel::kPanelHeight);
    panel.LoadFile(path);
    EXPECT_EQ(panel.Orientation, c.orientation % 9 == 0 ? 1 : c.orientation);
    EXPECT_EQ(QSize(panel.PictureWidth, panel.PictureHeight), c.upright);
    ExpectUpright(panel.Thumbnail->Picture(), false, "thumbnail");

    TStampFont font;
    font.SetSize(40);
    font.SetColor(Qt::black);
    panel.SetStampFont(&font);
    panel.DateText = QStringLiteral("1");
    TImageView preview;
    preview.SetStretch(true);
    preview.resize(300, 300);
    panel.Render(preview, true);
    ExpectUpright(preview.Picture(), true, "preview");
    // The window cuts along the short side of the picture it shows.
    const QSize shown = preview.Picture().size();
    shown.width() > shown.height() ? panel.SetCropTop(5) : panel.SetCropLeft(5);
    EXPECT_EQ(panel.CropRect, c.crop);
    const QImage exported = DecodeReference(panel.ExportCopy());
    EXPECT_EQ(exported.size(), QSize(c.crop.Right - c.crop.Left, c.crop.Bottom - c.crop.Top));
    ExpectUpright(exported, true, "export");
  }
}

}  // namespace
}  // namespace tessaly
