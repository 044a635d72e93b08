// Photos stored turned or mirrored, with an EXIF Orientation tag: the panel
// shows, cuts and exports them as they were held.
#include <gtest/gtest.h>

#include <QTransform>

#include "ImgPanel.h"
#include "PhotoBuilder.h"
#include "PictureFiles.h"

namespace tessaly {
namespace {

using namespace testing;

const QRgb kRed = qRgb(220, 30, 30), kYellow = qRgb(230, 220, 40), kGrey = qRgb(150, 150, 150);

// The scene as it is to be seen: grey, a red block at the top left and a
// yellow one at the top right, so that a mirror is told from a turn.
QImage Scene(QSize size) {
  QImage image(size, QImage::Format_RGB888);
  image.fill(kGrey);
  const int block = size.width() / 8;
  for (int y = 0; y < block; ++y)
    for (int x = 0; x < block; ++x) {
      image.setPixel(x, y, kRed);
      image.setPixel(size.width() - block + x, y, kYellow);
    }
  return image;
}

// The pixels a camera stores for the scene when it writes orientation o
// (EXIF 2.3 section 4.6.4), made with Qt's own transforms.
QImage Stored(const QImage& scene, int o) {
  const QImage turned = scene.transformed(QTransform().rotate(o == 6 ? -90 : 90));
  switch (o) {
    case 2: return scene.mirrored(true, false);
    case 3: return scene.mirrored(true, true);
    case 4: return scene.mirrored(false, true);
    case 5: return turned.mirrored(true, false);
    case 6: case 8: return turned;
    case 7: return turned.mirrored(false, true);
    default: return scene;
  }
}

// Red at the top left, yellow at the top right, grey at the bottom left,
// and the stamp's black letters in the bottom right quarter only.
void ExpectUpright(const QImage& image, const char* what) {
  SCOPED_TRACE(what);
  ASSERT_FALSE(image.isNull());
  const int w = image.width(), h = image.height();
  EXPECT_LT(ChannelDifference(image.pixel(1, 1), kRed), 40);
  EXPECT_LT(ChannelDifference(image.pixel(w - 2, 1), kYellow), 40);
  EXPECT_LT(ChannelDifference(image.pixel(1, h - 2), kGrey), 40);
  int letters = 0, misplaced = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (qGray(image.pixel(x, y)) < 60) (x < w / 2 || y < h / 2 ? misplaced : letters)++;
  EXPECT_GT(letters, 0);
  EXPECT_EQ(misplaced, 0);
}

TEST(Orientation, EveryOrientationIsShownCutAndExportedUpright) {
  const QString folder = TestFolder("panel-orientation");
  struct Case {
    int orientation;  // written into the EXIF data
    QSize upright;
    TRect crop;  // 10x15 at 5 percent along the upright picture's short side
  };
  const QSize landscape(256, 192), portrait(192, 256);
  const TRect acrossLandscape{0, 10, 256, 181}, acrossPortrait{10, 0, 181, 256};
  const Case cases[] = {
      {1, landscape, acrossLandscape}, {2, landscape, acrossLandscape}, {3, landscape, acrossLandscape},
      {4, landscape, acrossLandscape}, {5, portrait, acrossPortrait},   {6, portrait, acrossPortrait},
      {7, portrait, acrossPortrait},   {8, portrait, acrossPortrait},
      {9, landscape, acrossLandscape},  // no orientation: taken as stored
      // The 4000 x 3000 example, stored sideways.
      {6, QSize(4000, 3000), TRect{0, 150, 4000, 2817}},
  };
  for (const Case& c : cases) {
    const std::string name = std::to_string(c.orientation) + "_" + std::to_string(c.upright.width()) + ".jpg";
    SCOPED_TRACE(name);
    const QString path = folder + "/" + QString::fromStdString(name);
    TiffBuilder tiff(c.orientation % 2 == 0);
    tiff.AddShort(0, 0x0112, {uint16_t(c.orientation)});
    WriteJpegPicture(path, Stored(Scene(c.upright), c.orientation), 95, ExifSegment(tiff.Build()));

    TImgPanel panel;
    panel.resize(260, TImgPanel::kPanelHeight);
    panel.LoadFile(path);
    EXPECT_EQ(panel.Orientation, c.orientation <= 8 ? c.orientation : 1);
    EXPECT_EQ(QSize(panel.PictureWidth, panel.PictureHeight), c.upright);
    const QImage thumbnail = panel.Thumbnail->Picture();
    EXPECT_EQ(thumbnail.width() > thumbnail.height(), c.upright.width() > c.upright.height());
    EXPECT_LT(ChannelDifference(thumbnail.pixel(1, 1), kRed), 40);
    EXPECT_LT(ChannelDifference(thumbnail.pixel(thumbnail.width() - 2, 1), kYellow), 40);

    TStampFont font;
    font.SetSize(40);
    font.SetColor(Qt::black);
    panel.SetStampFont(&font);
    panel.DateText = QStringLiteral("1");
    TImageView preview;
    preview.SetStretch(true);
    preview.resize(300, 300);
    panel.Render(preview, true);
    ExpectUpright(preview.Picture(), "preview");

    // The window cuts along the short side of the picture it shows.
    if (preview.Picture().width() > preview.Picture().height())
      panel.SetCropTop(5);
    else
      panel.SetCropLeft(5);
    EXPECT_EQ(panel.CropRect, c.crop);
    panel.Render(preview, true);
    ExpectUpright(preview.Picture(), "cut preview");
    const QImage exported = DecodeReference(panel.ExportCopy());
    EXPECT_EQ(exported.size(), QSize(c.crop.Right - c.crop.Left, c.crop.Bottom - c.crop.Top));
    ExpectUpright(exported, "export");
  }
}

}  // namespace
}  // namespace tessaly
