// The picture panel: where its date comes from, the 10x15 crop arithmetic,
// the export size, selection, font and focus; and the image view's drawn
// rectangle.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include "ImgPanel.h"
#include "PhotoBuilder.h"
#include "PictureFiles.h"

namespace tessaly {
namespace {

using namespace testing;

// Dates in the tests are read in a pinned locale.
class PanelTest : public ::testing::Test {
 protected:
  void SetUp() override { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
  void TearDown() override { QLocale::setDefault(saved_); }

 private:
  QLocale saved_;
};

std::string ExifWith(const std::vector<std::pair<uint16_t, std::string>>& exifTags) {
  TiffBuilder tiff(false);
  tiff.AddAscii(0, 0x010F, "Maker");
  const int exif = tiff.AddDirectory();
  tiff.Link(0, 0x8769, exif);
  tiff.AddShort(exif, 0xA002, {64});
  for (const auto& [tag, text] : exifTags) tiff.AddAscii(exif, tag, text);
  return ExifSegment(tiff.Build());
}

const QDateTime kFileTime(QDate(2021, 3, 4), QTime(5, 6, 7));

TEST_F(PanelTest, LoadFileTakesTheExifDateOrElseTheFileDate) {
  const QString folder = TestFolder("panel-dates");
  struct Case {
    const char* file;
    std::string exif;  // "" for none; "bmp" for a bitmap file
    QDateTime modified;
    bool exifTaken;
    const char* dateText;
    QLocale locale = QLocale(QLocale::Russian, QLocale::Russia);
  };
  const QDateTime midnight(QDate(2021, 3, 4), QTime(0, 0, 0)), oneSecondLater = midnight.addSecs(1);
  const Case cases[] = {
      {"exif_date.jpg", ExifWith({{0x9003, "2019:07:14 10:20:30"}}), kFileTime, true, "14.07.2019"},
      {"exif_digitized_first.jpg", ExifWith({{0x9003, "2019:07:14 10:20:30"}, {0x9004, "2018:01:02 03:04:05"}}),
       kFileTime, true, "02.01.2018"},
      {"no_exif.jpg", "", kFileTime, false, "04.03.2021 05:06:06"},
      {"no_exif_at_midnight.jpg", "", midnight, false, "04.03.2021"},
      {"odd_second_after_midnight.jpg", "", oneSecondLater, false, "04.03.2021"},
      {"exif_without_dates.jpg", ExifWith({}), kFileTime, false, "04.03.2021 05:06:06"},
      {"exif_date_unreadable.jpg", ExifWith({{0x9003, "someday"}}), kFileTime, false, "04.03.2021 05:06:06"},
      {"bitmap.bmp", "bmp", kFileTime, false, "04.03.2021 05:06:06"},
      // The long time format "h:mm:ss AP t" names the zone; a stamp leaves it out.
      {"zone_left_out.jpg", "", kFileTime, false, "3/4/21 5:06:06 AM", QLocale(QLocale::English, QLocale::UnitedStates)},
  };
  for (const Case& c : cases) {
    const QString path = folder + "/" + c.file;
    if (c.exif == "bmp")
      ASSERT_TRUE(BlockPicture(48, 32).save(path));
    else
      WriteJpegPicture(path, BlockPicture(48, 32), 90, c.exif);
    SetModificationTime(path, c.modified);
    QLocale::setDefault(c.locale);
    TImgPanel panel;
    panel.LoadFile(path);
    EXPECT_EQ(panel.DateText, c.dateText) << c.file;
    EXPECT_EQ(panel.ReadExifDate(), c.exifTaken) << c.file;
    EXPECT_EQ(panel.NameLabel->text(), c.file);
    EXPECT_EQ(panel.FileName, path);
    EXPECT_EQ(panel.CropRect, (TRect{0, 0, 48, 32})) << c.file;
    EXPECT_FALSE(panel.IsCropped()) << c.file;
  }
}

TEST_F(PanelTest, PictureThatCannotBeDecodedKeepsWhatWasSetBefore) {
  const QString path = TestFolder("panel-bad") + "/broken.jpg";
  testing::WriteFile(QFile::encodeName(path).toStdString(), "\xFF\xD8\xFF\xD9");
  SetModificationTime(path, kFileTime);
  TImgPanel panel;
  try {
    panel.LoadFile(path);
    ADD_FAILURE() << "no error";
  } catch (const PictureError& e) {
    EXPECT_EQ(e.Message(), "Cannot read " + path + ": JPEG datastream contains no image");
  }
  EXPECT_EQ(panel.NameLabel->text(), "broken.jpg");
  EXPECT_EQ(panel.DateText, "04.03.2021 05:06:06");
  EXPECT_EQ(panel.CropRect.Left, -1);
  EXPECT_TRUE(panel.Thumbnail->Picture().isNull());
}

TEST(ImgPanel, TenByFifteenCrop) {
  struct Case {
    const char* name;
    int width, height;
    bool top;  // SetCropTop, else SetCropLeft
    double p;
    TRect expected;
  };
  const Case cases[] = {
      {"3:2 landscape has nothing to cut", 3000, 2000, true, 10, {0, 0, 3000, 2000}},
      {"4:3 landscape at 5 percent", 4000, 3000, true, 5, {0, 150, 4000, 2817}},
      {"start held where the cut ends at the edge", 4000, 3000, true, 50, {0, 333, 4000, 3000}},
      {"16:9 begins above the picture", 1920, 1080, true, 5, {0, -200, 1920, 1080}},
      {"portrait uses the left edge", 2400, 3000, false, 10, {240, 0, 2240, 3000}},
      {"square counts as portrait", 3000, 3000, false, 10, {300, 0, 2300, 3000}},
      {"narrower than 2:3 begins left of the picture", 1000, 3000, false, 0, {-1000, 0, 1000, 3000}},
      {"half rounds to even, down (4.5)", 4000, 3000, true, 0.15, {0, 4, 4000, 2671}},
      {"half rounds to even, up (1.5)", 4000, 3000, true, 0.05, {0, 2, 4000, 2669}},
  };
  for (const Case& c : cases) {
    TImgPanel panel;
    panel.PictureWidth = c.width;
    panel.PictureHeight = c.height;
    panel.ResetCrop();
    if (c.top)
      panel.SetCropTop(c.p);
    else
      panel.SetCropLeft(c.p);
    EXPECT_EQ(panel.CropRect, c.expected) << c.name;
    EXPECT_EQ(panel.IsCropped(), !(c.expected == TRect{0, 0, c.width, c.height})) << c.name;
    panel.ResetCrop();
    EXPECT_FALSE(panel.IsCropped()) << c.name;
  }
}

// A photo replaced by a smaller one after it was opened (an editor saving a
// resized file): the copy is cut from the new picture at the frame's place,
// and the panel shows the new facts.
TEST_F(PanelTest, ExportOfAReplacedPhotoTakesItsNewSize) {
  const QString path = TestFolder("panel-replaced") + "/photo.jpg";
  WriteJpegPicture(path, BlockPicture(480, 320), 85);
  TImgPanel panel;
  panel.LoadFile(path);
  panel.SetCropTop(10);
  WriteJpegPicture(path, BlockPicture(320, 240), 85);
  EXPECT_EQ(DecodeReference(panel.ExportCopy()).size(), QSize(320, 213));
  EXPECT_EQ(QSize(panel.PictureWidth, panel.PictureHeight), QSize(320, 240));
  EXPECT_EQ(panel.CropRect, (TRect{0, 24, 320, 237}));
}

TEST_F(PanelTest, CroppedExportHasTheCropsSize) {
  const QString folder = TestFolder("panel-export");
  struct Case {
    const char* file;
    int width, height;
    double p;
    int exportWidth, exportHeight;
  };
  const Case cases[] = {
      {"landscape_4x3.jpg", 4000, 3000, 5, 4000, 2667},
      {"portrait_narrow.jpg", 400, 1200, 0, 800, 1200},  // bands left and right
      {"wide_16x9.jpg", 1920, 1080, 5, 1920, 1280},      // band above
  };
  for (const Case& c : cases) {
    const QString path = folder + "/" + c.file;
    WriteJpegPicture(path, BlockPicture(c.width, c.height), 85);
    TImgPanel panel;
    panel.LoadFile(path);
    panel.Comment = "x";
    if (c.width > c.height)
      panel.SetCropTop(c.p);
    else
      panel.SetCropLeft(c.p);
    const QString written = panel.ExportCopy();
    EXPECT_EQ(written, folder + "/Export/" + c.file);
    for (const auto& [marker, frame] : JpegSegments(ReadBytes(written))) {
      if (marker == 0xC0) {
        EXPECT_EQ(QSize(uint8_t(frame[3]) << 8 | uint8_t(frame[4]), uint8_t(frame[1]) << 8 | uint8_t(frame[2])),
                  QSize(c.exportWidth, c.exportHeight)) << c.file;
      }
    }
  }
}

TEST_F(PanelTest, SelectionFontAndFocus) {
  QWidget column;
  auto* layout = new QVBoxLayout(&column);
  auto* panel = new TImgPanel(&column);
  layout->addWidget(panel);
  auto* other = new TImgPanel(&column);
  layout->addWidget(other);

  EXPECT_EQ(panel->Thumbnail->height(), TImgPanel::kPanelHeight - panel->NameLabel->height() - 3);

  const QColor buttonFace = panel->NameLabel->palette().color(QPalette::Window);
  panel->Select();
  EXPECT_EQ(panel->NameLabel->palette().color(QPalette::Window), QColor(255, 255, 0));
  panel->Deselect();
  EXPECT_EQ(panel->NameLabel->palette().color(QPalette::Window), buttonFace);

  panel->SetStampFont(nullptr);
  EXPECT_FALSE(panel->HasStampFont()) << "none given: still absent";
  EXPECT_EQ(panel->GetStampFont(), TStampFont{});

  column.show();
  column.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&column));
  QSignalSpy entered(panel, &TImgPanel::entered);
  QSignalSpy otherEntered(other, &TImgPanel::entered);
  const auto press = [](QWidget* w) {
    QMouseEvent event(QEvent::MouseButtonPress, QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
  };
  press(other->NameLabel);
  ASSERT_EQ(otherEntered.count(), 1) << "label click";
  EXPECT_EQ(otherEntered.at(0).at(0).value<TImgPanel*>(), other);
  press(panel->Thumbnail);
  EXPECT_EQ(entered.count(), 1) << "thumbnail click";
  press(other);
  EXPECT_EQ(otherEntered.count(), 2) << "panel click";
  press(other);
  EXPECT_EQ(otherEntered.count(), 2) << "a panel with the focus is not entered again";
}

TEST(ImageView, PictureRectFitsAndAnchorsTopLeft) {
  struct Case {
    const char* name;
    QSize view, picture;
    bool stretch;
    QRect expected;
  };
  const Case cases[] = {
      {"landscape into a wide view: height fits", {800, 300}, {600, 400}, true, {0, 0, 450, 300}},
      {"landscape into a tall view: width fits", {300, 800}, {600, 400}, true, {0, 0, 300, 200}},
      {"small picture enlarged", {900, 900}, {30, 20}, true, {0, 0, 900, 600}},
      {"portrait: height fits", {800, 300}, {200, 300}, true, {0, 0, 200, 300}},
      {"portrait into a narrow view: width fits", {100, 800}, {200, 300}, true, {0, 0, 100, 150}},
      {"sizes truncated", {100, 100}, {300, 200}, true, {0, 0, 100, 66}},
      {"no stretch: own size", {100, 100}, {300, 200}, false, {0, 0, 300, 200}},
      {"no picture", {100, 100}, {0, 0}, true, {}},
  };
  for (const Case& c : cases) {
    TImageView view;
    view.resize(c.view);
    view.SetStretch(c.stretch);
    view.SetPicture(c.picture.isEmpty() ? QImage() : QImage(c.picture, QImage::Format_RGB888));
    EXPECT_EQ(view.PictureRect(), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace tessaly
