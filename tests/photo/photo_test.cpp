// The photo model: the print crop arithmetic, facts read on worker threads,
// and exports of photos that changed after they were opened.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QFile>
#include <thread>
#include <vector>

#include "Export.h"
#include "ExportRun.h"
#include "Photo.h"
#include "PhotoBuilder.h"
#include "PictureFiles.h"

namespace tessaly {
namespace {

using namespace testing;

TEST(PrintCrop, CutsFramesAndSides) {
  // PrintCut(1.5, percent, side, other): the cut along `side`.
  const struct {
    const char* name;
    double percent;
    int32_t side, other;
    Cut cut;
  } cuts[] = {
      {"3:2 landscape has nothing to cut", 10, 2000, 3000, {0, 2000}},
      {"4:3 landscape at 5 percent", 5, 3000, 4000, {150, 2667}},
      {"start held where the cut ends at the edge", 50, 3000, 4000, {333, 2667}},
      {"16:9 begins before the picture", 5, 1080, 1920, {-200, 1280}},
      {"portrait along its width", 10, 2400, 3000, {240, 2000}},
      {"square", 10, 3000, 3000, {300, 2000}},
      {"half rounds to even, down (4.5)", 0.15, 3000, 4000, {4, 2667}},
      {"half rounds to even, up (1.5)", 0.05, 3000, 4000, {2, 2667}},
      {"huge sides stay within 32 bits", 0, INT32_MAX, INT32_MAX, {0, 1431655765}},
  };
  for (const auto& c : cuts) EXPECT_EQ(PrintCut(kPrintRatio, c.percent, c.side, c.other), c.cut) << c.name;
  EXPECT_EQ((Cut{INT32_MAX - 1, 10}).End(), INT32_MAX);

  // The window's frame over the drawn picture: long side whole.
  const struct {
    QSize drawn, frame;
    CropSide side;
  } frames[] = {
      {QSize(800, 600), QSize(800, 533), CropSide::Top},   {QSize(600, 800), QSize(533, 800), CropSide::Left},
      {QSize(600, 600), QSize(400, 600), CropSide::Left},  {QSize(801, 600), QSize(801, 534), CropSide::Top},
      {QSize(500, 281), QSize(500, 333), CropSide::Top},   {QSize(3, 2), QSize(3, 2), CropSide::Top},
  };
  for (const auto& f : frames) {
    EXPECT_EQ(PrintFrameSize(f.drawn), f.frame) << f.drawn.width() << "x" << f.drawn.height();
    EXPECT_EQ(CropSideOf(f.drawn.width(), f.drawn.height()), f.side);
  }
}

TEST(PrintCrop, PhotoCutsAlongItsShortSideAndRemembersWhere) {
  Photo photo;
  photo.width = 4000;
  photo.height = 3000;
  photo.ResetCrop();
  EXPECT_FALSE(photo.CropAt());
  photo.SetPrintCrop(5);
  EXPECT_EQ(photo.crop, (TRect{0, 150, 4000, 2817}));
  ASSERT_TRUE(photo.CropAt());
  EXPECT_EQ(photo.CropAt()->side, CropSide::Top);
  EXPECT_EQ(photo.CropAt()->percent, 5);
  EXPECT_EQ(photo.StampJob().crop, photo.crop);

  photo.width = 2400;
  photo.height = 3000;
  photo.ResetCrop();
  photo.SetPrintCrop(10);
  EXPECT_EQ(photo.crop, (TRect{240, 0, 2240, 3000}));
  EXPECT_EQ(photo.CropAt()->side, CropSide::Left);
  photo.ResetCrop();
  EXPECT_FALSE(photo.IsCropped());
  EXPECT_FALSE(photo.CropAt());
}

// A JPEG of width x height stored with EXIF orientation 6 and a shooting
// date: upright it is height x width.
void WriteTurnedPhoto(const QString& path, int width, int height) {
  TiffBuilder tiff(false);
  tiff.AddShort(0, 0x0112, {6});
  const int exif = tiff.AddDirectory();
  tiff.Link(0, 0x8769, exif);
  tiff.AddAscii(exif, 0x9003, "2019:07:14 10:20:30");
  WriteJpegPicture(path, BlockPicture(width, height), 90, ExifSegment(tiff.Build()));
}

TEST(PhotoFacts, ReadOnWorkerThreadsAsOnTheMainThread) {
  const QString folder = TestFolder("photo-workers");
  QStringList files;
  for (int i = 0; i < 8; ++i) {
    files << folder + QStringLiteral("/p%1.jpg").arg(i);
    WriteTurnedPhoto(files.last(), 64 + 16 * i, 48);
  }
  std::vector<Photo> onWorkers(size_t(files.size()));
  std::vector<std::string> errors(onWorkers.size());
  {
    std::vector<std::thread> threads;
    for (size_t i = 0; i < onWorkers.size(); ++i)
      threads.emplace_back([&, i] {
        try {
          onWorkers[i] = Photo::Loaded(files[qsizetype(i)]);
        } catch (const std::exception& e) {
          errors[i] = e.what();
        }
      });
    for (std::thread& t : threads) t.join();
  }
  for (size_t i = 0; i < onWorkers.size(); ++i) {
    SCOPED_TRACE(files[qsizetype(i)].toStdString());
    EXPECT_EQ(errors[i], "");
    const Photo here = Photo::Loaded(files[qsizetype(i)]);
    const Photo& there = onWorkers[i];
    EXPECT_EQ(there.kind, Photo::Kind::Jpeg);
    EXPECT_EQ(there.orientation, 6);
    EXPECT_EQ(QSize(there.width, there.height), QSize(48, 64 + 16 * int(i)));
    EXPECT_EQ(there.crop, (TRect{0, 0, 48, 64 + 16 * int(i)}));
    EXPECT_EQ(there.dateFrom, DateSource::Original);
    EXPECT_EQ(there.dateText, here.dateText);
    EXPECT_EQ(there.dateChoices, here.dateChoices);
    EXPECT_TRUE(there.HasFacts());
  }
}

class StaleFacts : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = TestFolder("photo-stale") + QStringLiteral("/photo.jpg");
    WriteJpegPicture(path_, BlockPicture(480, 320));  // 3:2
    photo_.Load(path_);
    photo_.dateText = QStringLiteral("1");
  }
  QString path_;
  Photo photo_;
};

TEST_F(StaleFacts, AReplacedPhotoIsCutByItsNewSize) {
  const struct {
    const char* name;
    QSize now;
    std::optional<double> percent;  // the crop set before the change
    QSize copy;
  } cases[] = {
      {"smaller, whole", QSize(240, 160), std::nullopt, QSize(240, 160)},
      {"smaller 4:3, cut at 10 percent", QSize(320, 240), 10, QSize(320, 213)},
      {"turned to portrait, cut along its width", QSize(240, 320), 50, QSize(213, 320)},
      {"unchanged", QSize(480, 320), std::nullopt, QSize(480, 320)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Photo photo = Photo::Loaded(path_);
    if (c.percent) photo.SetPrintCrop(*c.percent);
    WriteJpegPicture(path_, BlockPicture(c.now.width(), c.now.height()));
    bool changed = false;
    const QImage copy = DecodeReference(photo.ExportCopy(true, &changed));
    EXPECT_EQ(copy.size(), c.copy);
    EXPECT_EQ(changed, c.now != QSize(480, 320));
    EXPECT_EQ(QSize(photo.width, photo.height), c.now);
    EXPECT_EQ(QSize(int(photo.crop.Width()), int(photo.crop.Height())), c.copy);
    WriteJpegPicture(path_, BlockPicture(480, 320));
  }
}

TEST_F(StaleFacts, APhotoNoLongerAPictureIsRefused) {
  QFile file(path_);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write("not a picture any more");
  file.close();
  try {
    photo_.ExportCopy();
    ADD_FAILURE() << "exported";
  } catch (const PictureError& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("Фотография изменилась после открытия: ") + path_);
  }
  EXPECT_FALSE(QFile::exists(ExportTarget(path_)));
}

TEST_F(StaleFacts, TheRenderRefusesASizeItWasNotMadeFor) {
  RenderJob job = photo_.StampJob();
  job.uprightSize = QSize(480, 321);
  EXPECT_THROW(ExportStampedCopy(job), PictureChanged);
  EXPECT_FALSE(QFile::exists(ExportTarget(path_)));
}

TEST_F(StaleFacts, ExportAllReportsTheNewFacts) {
  photo_.SetPrintCrop(0);
  WriteJpegPicture(path_, BlockPicture(320, 240));
  ExportRun run(nullptr, 2);
  std::optional<Photo> refreshed;
  QString written;
  QObject::connect(&run, &ExportRun::Refreshed, [&](int index, const Photo& p) {
    EXPECT_EQ(index, 0);
    EXPECT_TRUE(written.isNull()) << "Refreshed comes before Exported";
    refreshed = p;
  });
  QObject::connect(&run, &ExportRun::Exported, [&](int, const QString& path) { written = path; });
  QEventLoop loop;
  QObject::connect(&run, &ExportRun::Finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
  run.Start({{photo_, {}, {}}});
  loop.exec();
  ASSERT_TRUE(refreshed);
  EXPECT_EQ(DecodeReference(written).size(), QSize(320, 213));
  photo_.TakeFacts(*refreshed);
  EXPECT_EQ(photo_.crop, (TRect{0, 0, 320, 213}));
  EXPECT_EQ(photo_.dateText, QStringLiteral("1"));
}

}  // namespace
}  // namespace tessaly
