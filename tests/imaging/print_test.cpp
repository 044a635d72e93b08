// Prints: the frames of the print formats and their white borders, where the
// stamp sits and the safe margins, the date forms, the film look, and the
// pages of a PDF.
#include <gtest/gtest.h>

#include <QFile>
#include <QFontInfo>
#include <QPdfWriter>
#include <QRegularExpression>
#include <cmath>

#include "DateForm.h"
#include "FilmLook.h"
#include "PageWriter.h"
#include "PictureFiles.h"
#include "PrintFormat.h"
#include "Render.h"

namespace tessaly {
namespace {

using namespace testing;

struct Picture {
  const char* name;
  int64_t width, height;
};
constexpr Picture kPictures[] = {
    {"3:2", 6000, 4000}, {"4:3", 4000, 3000}, {"16:9", 1920, 1080}, {"portrait 3:4", 3000, 4000},
    {"portrait 9:16", 1080, 1920}, {"odd 4:3", 1001, 751}};

TEST(PrintFormat, FramesAreTheLargestOfTheFormatsProportionsInsideThePicture) {
  for (const PrintFormat& format : PrintFormats()) {
    for (const Picture& picture : kPictures) {
      const std::string what = std::string(format.name) + " on " + picture.name;
      const FrameGeometry frame = FrameOf(format.id, picture.width, picture.height);
      // One side whole, the other within the picture.
      EXPECT_TRUE(frame.width == picture.width || frame.height == picture.height) << what;
      EXPECT_LE(frame.width, picture.width) << what;
      EXPECT_LE(frame.height, picture.height) << what;
      // The format's proportions to the pixel: the side that is not whole is
      // the whole one's in proportion, rounded.
      const bool landscape = picture.width > picture.height;
      const double ratio = landscape ? double(format.longSide) / format.shortSide
                                     : double(format.shortSide) / format.longSide;  // width : height
      if (frame.horizontal)
        EXPECT_EQ(frame.width, std::llround(std::nearbyint(frame.height * ratio))) << what;
      else
        EXPECT_EQ(frame.height, std::llround(std::nearbyint(frame.width / ratio))) << what;
      EXPECT_EQ(frame.travel, frame.horizontal ? picture.width - frame.width : picture.height - frame.height) << what;
      // Placed anywhere, it stays inside and keeps its size; at 100% it
      // ends at the far edge.
      for (const double p : {0.0, 12.5, 50.0, 99.0, 100.0}) {
        const TRect r = FrameAt(format.id, picture.width, picture.height, p);
        EXPECT_GE(r.Left, 0) << what << " at " << p;
        EXPECT_GE(r.Top, 0) << what << " at " << p;
        EXPECT_LE(r.Right, picture.width) << what << " at " << p;
        EXPECT_LE(r.Bottom, picture.height) << what << " at " << p;
        EXPECT_EQ(r.Width(), frame.width) << what << " at " << p;
        EXPECT_EQ(r.Height(), frame.height) << what << " at " << p;
      }
      const TRect end = FrameAt(format.id, picture.width, picture.height, 100);
      EXPECT_EQ(frame.horizontal ? end.Left : end.Top, frame.travel) << what;
    }
  }
}

TEST(PrintFormat, TenByFifteenOnThreeToTwoAndNarrowerKeepsItsRectangles) {
  struct Case {
    const char* name;
    int64_t width, height;
    double p;
    TRect expected;
  };
  const Case cases[] = {
      {"4:3 drawn 800 x 600, frame top at 30", 4000, 3000, 5, {0, 150, 4000, 2817}},
      {"3:2: the whole picture", 6000, 4000, 40, {0, 0, 6000, 4000}},
      {"4:3 at the bottom", 4000, 3000, 100, {0, 333, 4000, 3000}},
      {"portrait 3:4 halfway", 3000, 4000, 50, {333, 0, 3000, 4000}},
      {"portrait 3:4 at 5%", 3000, 4000, 5, {150, 0, 2817, 4000}},
      {"square: portrait, cut from the left", 900, 900, 10, {90, 0, 690, 900}},
      {"a half-pixel cut rounds to even", 1001, 1000, 0, {0, 0, 1001, 667}},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(KeepsLegacyFrame(c.width, c.height)) << c.name;
    EXPECT_EQ(FrameAt(PrintFormatId::TenByFifteen, c.width, c.height, c.p), c.expected) << c.name;
  }
  // Wider than 3:2 the old cut reached outside; the frame now trims the sides.
  EXPECT_FALSE(KeepsLegacyFrame(1920, 1080));
  EXPECT_EQ(LegacyTenByFifteen(0, 1080, 1920), std::make_pair(int64_t(-200), int64_t(1280)));
  EXPECT_EQ(FrameAt(PrintFormatId::TenByFifteen, 1920, 1080, 50), (TRect{300, 0, 1920, 1080}));
}

TEST(PrintFormat, FitPadsWithEqualBorders) {
  struct Case {
    const char* name;
    PrintFormatId format;
    int64_t width, height;
    TRect expected;
  };
  const Case cases[] = {
      {"16:9 in 10x15: 100 above and below", PrintFormatId::TenByFifteen, 1920, 1080, {0, -100, 1920, 1180}},
      {"4:3 in 10x15: 250 left and right", PrintFormatId::TenByFifteen, 4000, 3000, {-250, 0, 4250, 3000}},
      {"portrait 3:4 in 10x15", PrintFormatId::TenByFifteen, 3000, 4000, {0, -250, 3000, 4250}},
      {"3:2 in A4: 4242 high, the odd pixel below", PrintFormatId::A4, 6000, 4000, {0, -121, 6000, 4121}},
      {"4:3 in square", PrintFormatId::Square, 4000, 3000, {0, -500, 4000, 3500}},
      {"3:2 in 10x15: nothing to add", PrintFormatId::TenByFifteen, 6000, 4000, {0, 0, 6000, 4000}},
      {"4:3 in 4:3", PrintFormatId::FourByThree, 4000, 3000, {0, 0, 4000, 3000}},
  };
  for (const Case& c : cases) EXPECT_EQ(FitRect(c.format, c.width, c.height), c.expected) << c.name;
}

TEST(PrintFormat, NamesAndPages) {
  EXPECT_EQ(FormatNamed("a4"), PrintFormatId::A4);
  EXPECT_EQ(FormatNamed("SQUARE"), PrintFormatId::Square);
  EXPECT_EQ(FormatNamed("10x15"), PrintFormatId::TenByFifteen);
  EXPECT_EQ(FormatNamed("10x16"), std::nullopt);
  EXPECT_EQ(PageSizeMm(PrintFormatId::TenByFifteen, 6000, 4000), QSizeF(150, 100));
  EXPECT_EQ(PageSizeMm(PrintFormatId::TenByFifteen, 3000, 4000), QSizeF(100, 150));
  EXPECT_EQ(PageSizeMm(PrintFormatId::A4, 100, 200), QSizeF(210, 297));
}

TEST(DateForm, EachFormOnAFixedDate) {
  const QDateTime when(QDate(2026, 12, 8), QTime(14, 5, 33));
  const QLocale russian(QLocale::Russian, QLocale::Russia), english(QLocale::English, QLocale::UnitedStates);
  struct Case {
    const char* form;
    const QLocale& system;
    const char* expected;
  };
  const Case cases[] = {
      {"", russian, "08.12.2026"},
      {"short", english, "12/8/26"},
      {"dmy", english, "08.12.2026"},
      {"iso", russian, "2026-12-08"},
      {"long", russian, "8 декабря 2026"},
      {"long", english, "8 December 2026"},
      {"short-time", russian, "08.12.2026 14:05"},
      {"dmy-time", russian, "08.12.2026 14:05"},
      {"iso-time", english, "2026-12-08 14:05"},
      {"long-time", russian, "8 декабря 2026 14:05"},
      {"film", russian, "'26 12 8"},
      {"yyyy/MM/dd HH:mm", russian, "2026/12/08 14:05"},
      {"d MMM", english, "8 Dec"},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(IsValidDateForm(QString::fromUtf8(c.form))) << c.form;
    EXPECT_EQ(FormatStampDate(when, QString::fromUtf8(c.form), c.system), QString::fromUtf8(c.expected)) << c.form;
  }
  for (const char* bad : {"xz!", "'dd'", "HH:mm"}) EXPECT_FALSE(IsValidDateForm(QString::fromUtf8(bad))) << bad;
}

// A grey picture and its stamped renders, compared pixel by pixel.
QString GreyPicture(const std::string& test, int width, int height) {
  const QString path = TestFolder(test) + "/grey.png";
  QImage grey(width, height, QImage::Format_RGB888);
  grey.fill(QColor(100, 100, 100));
  EXPECT_TRUE(grey.save(path));
  return path;
}

QRect Changed(const QImage& image, QRgb background) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (ChannelDifference(image.pixel(x, y), background) > 2) box |= QRect(x, y, 1, 1);
  return box;
}

class Collected : public RowConsumer {
 public:
  QImage image;
  int next = 0;
  void Begin(int width, int height) override { image = QImage(width, height, QImage::Format_RGB888); }
  void Rows(const uint8_t* first, size_t stride, int count) override {
    for (int i = 0; i < count; ++i, ++next)
      std::memcpy(image.scanLine(next), first + stride * size_t(i), size_t(image.width()) * 3);
  }
};

RenderJob StampJob(const QString& path, StampPosition position, bool safe) {
  RenderJob job{path, std::nullopt, true, TStampFont{}, QStringLiteral("08.12.2026"), QStringLiteral("Море")};
  job.font.name = QStringLiteral("DejaVu Sans");
  job.font.SetSize(30);
  job.font.SetColor(Qt::white);
  job.font.outline = true;
  job.font.position = position;
  job.font.safeMargins = safe;
  return job;
}

TEST(StampPlacement, EachPositionInItsCornerAndInsideTheSafeMargin) {
  const int w = 900, h = 600;
  const QString path = GreyPicture("stamp-positions", w, h);
  const int64_t margin = TStampFont::SafeMargin(w, h);
  EXPECT_EQ(margin, 18);
  // Qt's first drawing of these glyphs in a process may differ from later
  // ones in its antialiasing; the comparison below is of later ones.
  Render(StampJob(path, StampPosition::BottomRight, false), {0, 0, false});
  for (const StampPositionName& position : StampPositions()) {
    for (const bool safe : {false, true}) {
      const std::string what = std::string(position.name) + (safe ? " with safe margins" : "");
      const RenderJob job = StampJob(path, position.position, safe);
      const QImage image = Render(job, {0, 0, false}).image;
      const QRect text = Changed(image, qRgb(100, 100, 100));
      ASSERT_FALSE(text.isEmpty()) << what;
      // Where the text is.
      const bool top = position.position == StampPosition::TopLeft || position.position == StampPosition::TopRight;
      EXPECT_EQ(text.center().y() < h / 2, top) << what;
      switch (position.position) {
        case StampPosition::BottomLeft:
        case StampPosition::TopLeft: EXPECT_LT(text.right(), w / 2) << what; break;
        case StampPosition::BottomCenter: EXPECT_NEAR(text.center().x(), w / 2, 6) << what; break;
        default: EXPECT_GT(text.left(), w / 2) << what;
      }
      if (safe) {
        EXPECT_GE(text.left(), margin) << what;
        EXPECT_GE(text.top(), margin) << what;
        EXPECT_LT(text.right(), w - margin) << what;
        EXPECT_LT(text.bottom(), h - margin) << what;
      }
      // The export streams its rows around the band with the text.
      Collected rows;
      RenderFullSize(job, rows);
      EXPECT_EQ(rows.next, h) << what;
      EXPECT_TRUE(rows.image == image) << what;
    }
  }
}

TEST(StampPlacement, SafeMarginsHoldOnLargePhotos) {
  struct Case {
    const char* name;
    int width, height;
    int64_t margin;
  };
  const Case cases[] = {{"12 MP", 4000, 3000, 90}, {"48 MP", 8000, 6000, 180}, {"48 MP portrait", 6000, 8000, 180}};
  for (const Case& c : cases) {
    EXPECT_EQ(TStampFont::SafeMargin(c.width, c.height), c.margin) << c.name;
    for (const StampPositionName& position : StampPositions()) {
      // A long comment in a large size reaches the edges unless moved.
      RenderJob job = StampJob(QString(), position.position, true);
      job.font.SetSize(16);
      job.comment = QStringLiteral("Отпуск на море, Крым, август");
      const QRect box = StampRect(job, c.width, c.height);
      const std::string what = std::string(c.name) + " " + position.name;
      EXPECT_GE(box.left(), c.margin) << what;
      EXPECT_GE(box.top(), c.margin) << what;
      EXPECT_LE(box.right(), c.width - c.margin) << what;
      EXPECT_LE(box.bottom(), c.height - c.margin) << what;
    }
  }
}

TEST(StampPlacement, FitGivesWhiteBordersAndKeepsTheStampOnThePicture) {
  const int w = 800, h = 600;  // 4:3 in 10x15: 50 pixels left and right
  const QString path = GreyPicture("stamp-fit", w, h);
  RenderJob job = StampJob(path, StampPosition::BottomRight, false);
  job.crop = FitRect(PrintFormatId::TenByFifteen, w, h);
  job.stampOnPicture = true;
  const QImage image = Render(job, {0, 0, false}).image;
  ASSERT_EQ(image.size(), QSize(900, 600));
  for (const int x : {0, 49, 850, 899}) EXPECT_EQ(image.pixel(x, 300), qRgb(255, 255, 255)) << x;
  EXPECT_EQ(image.pixel(50, 300), qRgb(100, 100, 100));
  const QRect text = Changed(image.copy(50, 0, 800, 600), qRgb(100, 100, 100));
  ASSERT_FALSE(text.isEmpty());
  EXPECT_LT(text.right(), 800);
  // The right border has nothing but white.
  EXPECT_TRUE(Changed(image.copy(850, 0, 50, 600), qRgb(255, 255, 255)).isEmpty());
}

TEST(FilmLook, SevenSegmentsOrangeWithTheFilmDate) {
  TStampFont font;
  font.SetSize(12);
  const bool installed = ApplyFilmLook(font);
  EXPECT_EQ(font.Color(), QColor(kFilmColor));
  EXPECT_TRUE(font.glow);
  EXPECT_EQ(font.dateForm, QStringLiteral("film"));
  EXPECT_EQ(font.position, StampPosition::BottomRight);
  EXPECT_EQ(font.Size(), 12);
  if (!installed) GTEST_SKIP() << "fonts-dseg is not installed";
  EXPECT_EQ(QFontInfo(font.ToQFont(40)).family(), QStringLiteral("DSEG7 Classic"));
}

TEST(PageWriter, APdfPageOfTheFormatForEachPicture) {
  const QString pdf = TestFolder("pages") + "/prints.pdf";
  QImage landscape(300, 200, QImage::Format_RGB888), portrait(200, 300, QImage::Format_RGB888);
  landscape.fill(Qt::red);
  portrait.fill(Qt::blue);
  {
    QPdfWriter writer(pdf);
    writer.setResolution(300);
    PageWriter pages(writer);
    ASSERT_TRUE(pages.AddPage(landscape, PageSizeMm(PrintFormatId::TenByFifteen, 300, 200)));
    ASSERT_TRUE(pages.AddPage(portrait, PageSizeMm(PrintFormatId::TenByFifteen, 200, 300)));
    ASSERT_TRUE(pages.Finish());
    EXPECT_EQ(pages.Pages(), 2);
  }
  QFile file(pdf);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString text = QString::fromLatin1(file.readAll());
  // 150 x 100 mm and 100 x 150 mm in points (whole points in the file).
  static const QRegularExpression box(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]"));
  QList<QSizeF> sizes;
  for (auto m = box.globalMatch(text); m.hasNext();) {
    const auto match = m.next();
    sizes.append(QSizeF(match.captured(1).toDouble() * 25.4 / 72, match.captured(2).toDouble() * 25.4 / 72));
  }
  ASSERT_EQ(sizes.size(), 2);
  EXPECT_NEAR(sizes[0].width(), 150, 0.2);
  EXPECT_NEAR(sizes[0].height(), 100, 0.2);
  EXPECT_NEAR(sizes[1].width(), 100, 0.2);
  EXPECT_NEAR(sizes[1].height(), 150, 0.2);
  EXPECT_EQ(text.count(QStringLiteral("/Subtype /Image")), 2);
}

TEST(PageWriter, CoverCutsWhatOverhangsTheCentre) {
  EXPECT_EQ(PageWriter::CoverSource({300, 200}, {150, 100}), QRectF(0, 0, 300, 200));
  EXPECT_EQ(PageWriter::CoverSource({400, 200}, {150, 100}), QRectF(50, 0, 300, 200));
  EXPECT_EQ(PageWriter::CoverSource({300, 300}, {100, 150}), QRectF(50, 0, 200, 300));
}

}  // namespace
}  // namespace tessaly
