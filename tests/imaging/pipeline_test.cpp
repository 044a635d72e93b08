// Decoding and encoding on two threads: the copies are the bytes one thread
// writes, an error on either side ends the export once and leaves nothing,
// Cancel stops both threads, and exports on every core keep to one thread.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QCoreApplication>
#include <cstring>
#include <memory>
#include <semaphore>
#include <thread>

#include "Export.h"
#include "ExportRun.h"
#include "Photo.h"
#include "PictureFiles.h"
#include "RowPipeline.h"

namespace tessaly {
namespace {

using namespace testing;

RenderJob Job(const QString& file, int orientation = 1, std::optional<TRect> crop = std::nullopt) {
  RenderJob job{file, crop, true, {}, QStringLiteral("09.12.2026"), QStringLiteral("pipeline")};
  job.font.SetSize(14);
  job.font.SetColor(Qt::yellow);
  job.orientation = Orientation::FromExif(orientation);
  return job;
}

std::string ExportBytes(const RenderJob& job, ExportThreads threads) {
  return ReadBytes(ExportStampedCopy(job, {threads, nullptr}));
}

QStringList ExportFolderEntries(const QString& folder) {
  return QDir(folder + "/Export").entryList(QDir::Files | QDir::Hidden);
}

TEST(Pipeline, CopiesAreTheBytesOfOneThread) {
  const QString folder = TestFolder("pipeline-same");
  const QString jpeg = folder + "/odd.jpg", png = folder + "/odd.png";
  // Odd sizes, tall enough for many bands; a lossless source as well.
  WriteJpegPicture(jpeg, PositionPicture(333, 1201), 90);
  ASSERT_TRUE(PositionPicture(517, 899).save(png));
  const struct { const char* name; RenderJob job; } cases[] = {
      {"upright", Job(jpeg)},
      {"mirrored", Job(jpeg, 2)},
      {"turned 180", Job(jpeg, 3)},
      {"turned 90 clockwise", Job(jpeg, 6)},
      {"transverse", Job(jpeg, 7)},
      {"turned 90 anticlockwise", Job(jpeg, 8)},
      {"upright png", Job(png)},
      {"cropped, reaching outside", Job(jpeg, 1, TRect{-7, 101, 301, 1150})},
      {"mirrored png cropped", Job(png, 2, TRect{13, 0, 500, 777})},
  };
  for (const auto& c : cases) {
    const std::string one = ExportBytes(c.job, ExportThreads::One);
    ASSERT_GT(one.size(), 1000u) << c.name;
    EXPECT_EQ(ExportBytes(c.job, ExportThreads::Two), one) << c.name;
    EXPECT_EQ(ExportBytes(c.job, ExportThreads::Auto), one) << c.name;
  }
}

TEST(Pipeline, AnErrorOnEitherThreadEndsTheExportOnceAndLeavesNothing) {
  const QString folder = TestFolder("pipeline-errors");
  const QString whole = folder + "/whole.jpg", cut = folder + "/cut.jpg";
  WriteJpegPicture(whole, PositionPicture(640, 1400), 95);
  // The data ends half way down: the decoder fails after many bands went out.
  const std::string bytes = ReadBytes(whole);
  QFile file(cut);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes.data(), qint64(bytes.size() / 2));
  file.close();

  const auto outcome = [](const RenderJob& job) {
    try {
      ExportStampedCopy(job, {ExportThreads::Two, nullptr});
      return QStringLiteral("written");
    } catch (const PictureError& e) {
      return e.Message();
    }
  };
  // Upright, and turned, where the strips are put in place on the other thread.
  for (const int orientation : {1, 6})
    EXPECT_EQ(outcome(Job(cut, orientation)),
              "Cannot read " + cut + ": Picture data is damaged: Premature end of JPEG file")
        << orientation;
  EXPECT_EQ(ExportFolderEntries(folder), QStringList());

  // The encoder's thread fails: the file system refuses more than 4 KiB.
  const QString message = [&] {
    const FileSizeLimit small(4096);
    return outcome(Job(whole));
  }();
  EXPECT_EQ(message, "Cannot write " + folder + "/Export/whole.jpg: File too large");
  EXPECT_EQ(ExportFolderEntries(folder), QStringList());

  // A run reports the failing photo once, then ends.
  ExportRun run(nullptr, 1);
  QStringList reports;
  QObject::connect(&run, &ExportRun::Exported, [&](int i, const QString& p) { reports << QString("exported %1 %2").arg(i).arg(p); });
  QObject::connect(&run, &ExportRun::Failed, [&](int i, const QString& m) { reports << QString("failed %1 %2").arg(i).arg(m); });
  QObject::connect(&run, &ExportRun::Skipped, [&](int i) { reports << QString("skipped %1").arg(i); });
  bool finished = false;
  QObject::connect(&run, &ExportRun::Finished, [&] { finished = true; });
  run.Start({{Photo::Loaded(cut), {}, {}}});
  while (!finished) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  EXPECT_EQ(reports, QStringList{"failed 0 Cannot read " + cut + ": Picture data is damaged: Premature end of JPEG file"});
}

// Rows for the encoder that holds the first band until released.
class HeldEncoder : public RowConsumer {
 public:
  std::binary_semaphore entered{0}, release{0};
  std::atomic<int> rows{0};
  std::thread::id thread;
  void Begin(int, int) override {}
  void Rows(const uint8_t*, size_t, int count) override {
    if (rows.fetch_add(count) == 0) {
      thread = std::this_thread::get_id();
      entered.release();
      release.acquire();
    }
  }
};

TEST(Pipeline, CancelStopsBothThreads) {
  HeldEncoder encoder;
  std::atomic<bool> cancel{false};
  constexpr int kWidth = 64, kHeight = 20000;
  auto pipeline = std::make_unique<RowPipeline>(encoder, ExportThreads::Two, &cancel);
  std::thread::id decoderThread;
  int decoded = 0;
  QString outcome = "finished";
  std::thread decoder([&] {
    decoderThread = std::this_thread::get_id();
    try {
      pipeline->Begin(kWidth, kHeight);
      for (; decoded < kHeight; ++decoded) {
        uint8_t* row = pipeline->RowSpace();
        std::memset(row, decoded & 0xFF, kWidth * 3);
        pipeline->Rows(row, kWidth * 3, 1);
      }
      pipeline->Finish();
    } catch (const ExportCancelled& e) {
      outcome = e.Message();
    }
  });
  encoder.entered.acquire();  // the encoder's thread holds the first band
  cancel = true;
  encoder.release.release();
  decoder.join();  // the decoding side stopped
  pipeline.reset();  // and the encoder's thread has ended
  EXPECT_EQ(outcome, "Export cancelled");
  EXPECT_NE(encoder.thread, decoderThread);
  EXPECT_LT(decoded, kHeight);
  // The band it held, and no other.
  EXPECT_LT(encoder.rows.load(), 1000);

  // A cancelled export writes nothing.
  const QString folder = TestFolder("pipeline-cancel");
  WriteJpegPicture(folder + "/p.jpg", PositionPicture(200, 300), 90);
  EXPECT_THROW(ExportStampedCopy(Job(folder + "/p.jpg"), {ExportThreads::Two, &cancel}), ExportCancelled);
  EXPECT_EQ(ExportFolderEntries(folder), QStringList());

  // A run's Cancel reaches the export under way, which its worker started
  // and is held in; it ends without a copy and is reported skipped.
  std::binary_semaphore entered(0), release(0);
  ExportRun run(nullptr, 1, [&](Photo& photo, bool, bool*) {
    entered.release();
    release.acquire();
    return ExportStampedCopy(photo.StampJob());
  });
  QStringList reports;
  bool finished = false;
  QObject::connect(&run, &ExportRun::Exported, [&](int i) { reports << QString("exported %1").arg(i); });
  QObject::connect(&run, &ExportRun::Failed, [&](int i, const QString& m) { reports << QString("failed %1 %2").arg(i).arg(m); });
  QObject::connect(&run, &ExportRun::Skipped, [&](int i) { reports << QString("skipped %1").arg(i); });
  QObject::connect(&run, &ExportRun::Finished, [&] { finished = true; });
  run.Start({{Photo::Loaded(folder + "/p.jpg"), {}, {}}, {Photo::Loaded(folder + "/p.jpg"), {}, {}}});
  entered.acquire();
  run.Cancel();
  release.release();
  while (!finished) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  EXPECT_EQ(reports, (QStringList{"skipped 0", "skipped 1"}));
  EXPECT_EQ(ExportFolderEntries(folder), QStringList());
}

class CountingEncoder : public RowConsumer {
 public:
  int rows = 0;
  void Begin(int, int) override {}
  void Rows(const uint8_t*, size_t, int count) override { rows += count; }
};

TEST(Pipeline, TakesASecondThreadOnlyWhenACoreIsSpare) {
  // Every core busy with an export: this one keeps to its own thread.
  std::vector<std::unique_ptr<ExportCore>> busy;
  while (ExportCore::Busy() < int(std::max(1u, std::thread::hardware_concurrency())))
    busy.push_back(std::make_unique<ExportCore>());
  CountingEncoder encoder;
  std::vector<uint8_t> row(3 * 100);
  {
    RowPipeline pipeline(encoder, ExportThreads::Auto);
    pipeline.Begin(100, 5000);
    for (int y = 0; y < 1000; ++y) pipeline.Rows(row.data(), row.size(), 1);
    EXPECT_FALSE(pipeline.Pipelined());
    EXPECT_EQ(encoder.rows, 1000);
    // Another export ends: at its next band this one takes the core.
    busy.pop_back();
    for (int y = 1000; y < 5000; ++y) {
      uint8_t* space = pipeline.RowSpace();
      pipeline.Rows(space ? space : row.data(), row.size(), 1);
    }
    pipeline.Finish();
    EXPECT_TRUE(pipeline.Pipelined());
    EXPECT_EQ(encoder.rows, 5000);
  }
  // The second thread's core is free again.
  EXPECT_EQ(ExportCore::Busy(), int(busy.size()));
}

}  // namespace
}  // namespace tessaly
