// Export All's bookkeeping and the work on the pool, without the window:
// workers held by a semaphore (so no result hangs on photo sizes or machine
// speed) for Cancel, failures in the middle of a run, a failure that stops
// it, and closing during a run; the thumbnail loader's answers dropped for an
// owner gone; and the summary's texts.
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <cerrno>
#include <memory>
#include <thread>

#include "Export.h"
#include "ExportAllController.h"
#include "ExportRun.h"
#include "ExportSummary.h"
#include "ThumbnailLoader.h"

using namespace tessaly;

namespace {

QList<Photo> Photos(int count) {
  QList<Photo> photos;
  for (int i = 0; i < count; ++i) {
    Photo photo;
    photo.path = QStringLiteral("/photos/p%1.jpg").arg(i);
    photos << photo;
  }
  return photos;
}

// A worker that waits for go before each copy and tells how many it began.
struct HeldWorker {
  QSemaphore go;
  std::atomic<int> started{0};
  std::atomic<int> finished{0};
  QSet<QString> failing;  // these throw a PictureError
  QSet<QString> halting;  // these throw as a full disk would
  ExportRun::Worker Worker() {
    return [this](Photo& photo, bool, bool*) {
      ++started;
      go.acquire();
      ++finished;
      if (failing.contains(photo.path)) throw PictureError("Cannot open " + photo.path + ": Bad");
      if (halting.contains(photo.path))
        throw ExportError("Cannot write " + ExportTarget(photo.path) + ": No space left on device", ENOSPC);
      return ExportTarget(photo.path);
    };
  }
};

}  // namespace

class ExportAllTest : public QObject {
  Q_OBJECT

 private slots:
  // Cancel while two copies are under way: those two are written and
  // counted, no other starts, and Finished comes once.
  void cancelLetsTheCopiesUnderWayFinish() {
    HeldWorker held;
    ExportAllController run(true, held.Worker(), nullptr, 2);
    QSignalSpy progress(&run, &ExportAllController::Progress);
    QSignalSpy finished(&run, &ExportAllController::Finished);
    run.Start(Photos(6));
    QTRY_COMPARE(held.started.load(), 2);
    run.Cancel();
    QVERIFY(run.Stopping());
    held.go.release(6);
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(held.started.load(), 2);
    QCOMPARE(progress.size(), 2);
    const ExportAllController::Outcome& outcome = run.Result();
    QCOMPARE(outcome.total, 6);
    QCOMPARE(outcome.written, 2);
    QVERIFY(outcome.cancelled && outcome.failures.isEmpty() && !outcome.halt);
    QCOMPARE(outcome.folders, QStringList{"/photos/Export/"});
  }

  // Failures of the photos themselves are skipped; the run goes on, or with
  // keepGoing off ends at the first (those before it still written); a full
  // disk ends it at once with that one failure told. One worker, so the
  // order is known.
  void failuresInTheMiddle_data() {
    QTest::addColumn<bool>("keepGoing");
    QTest::addColumn<QStringList>("failing");
    QTest::addColumn<QStringList>("halting");
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("done");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QString>("halt");
    QTest::newRow("two bad photos") << true << QStringList{"/photos/p1.jpg", "/photos/p3.jpg"} << QStringList()
                                    << 3 << 5 << QStringList{"/photos/p1.jpg", "/photos/p3.jpg"} << QString();
    QTest::newRow("first failure ends") << false << QStringList{"/photos/p1.jpg", "/photos/p3.jpg"}
                                        << QStringList() << 1 << 2 << QStringList{"/photos/p1.jpg"} << QString();
    QTest::newRow("disk full") << true << QStringList{"/photos/p0.jpg"} << QStringList{"/photos/p2.jpg"} << 1 << 3
                               << QStringList{"/photos/p0.jpg"} << QStringLiteral("/photos/p2.jpg");
  }
  void failuresInTheMiddle() {
    QFETCH(bool, keepGoing);
    QFETCH(QStringList, failing);
    QFETCH(QStringList, halting);
    QFETCH(int, written);
    QFETCH(int, done);
    QFETCH(QStringList, listed);
    QFETCH(QString, halt);
    HeldWorker held;
    held.failing = QSet<QString>(failing.cbegin(), failing.cend());
    held.halting = QSet<QString>(halting.cbegin(), halting.cend());
    held.go.release(100);
    ExportAllController run(keepGoing, held.Worker(), nullptr, 1);
    QSignalSpy first(&run, &ExportAllController::FirstFailure);
    QSignalSpy finished(&run, &ExportAllController::Finished);
    run.Start(Photos(5));
    QTRY_COMPARE(finished.size(), 1);
    const ExportAllController::Outcome& outcome = run.Result();
    QCOMPARE(outcome.written, written);
    QCOMPARE(run.Done(), done);
    QStringList files;
    for (const auto& failure : outcome.failures) files << failure.file;
    QCOMPARE(files, listed);
    QCOMPARE(outcome.halt ? outcome.halt->file : QString(), halt);
    QVERIFY(!outcome.cancelled);
    QCOMPARE(first.size(), 1);
    QCOMPARE(first[0][0].toString(), failing.first());
  }

  // The run going (the window closing) while its copies are held: it waits
  // for them, starts no other, and reports nothing afterwards.
  void closingDuringARunWaitsForTheCopiesUnderWay() {
    HeldWorker held;
    auto run = std::make_unique<ExportRun>(nullptr, 2, held.Worker());
    int reports = 0;
    connect(run.get(), &ExportRun::Exported, this, [&] { ++reports; });
    QList<ExportRun::Item> items;
    for (const Photo& photo : Photos(6)) items.append({photo, {}, {}});
    run->Start(items);
    QTRY_COMPARE(held.started.load(), 2);
    std::thread release([&] { held.go.release(6); });
    run.reset();
    release.join();
    QCOMPARE(held.finished.load(), 2);
    QCOMPARE(held.started.load(), 2);
    QCoreApplication::processEvents();
    QCOMPARE(reports, 0);
  }

  // A thumbnail whose panel goes while it is being drawn is never handed
  // over and the loader is idle at once; the loader going while a drawing is
  // held waits for it, and hands nothing over either.
  void thumbnailForAnOwnerGoneIsDropped() {
    QSemaphore go;
    std::atomic<int> began{0};
    std::atomic<int> drawn{0};
    auto loader = std::make_unique<ThumbnailLoader>(nullptr, [&](const RenderJob&, const RenderTarget&) {
      ++began;
      go.acquire();
      ++drawn;
      return RenderResult{};
    });
    QSignalSpy idle(loader.get(), &ThumbnailLoader::Idle);
    int answers = 0;
    const auto ready = [&](RenderResult) { ++answers; };
    const auto failed = [&](const QString&) { ++answers; };
    auto owner = std::make_unique<QObject>();
    loader->Request(owner.get(), {}, {}, ThumbnailLoader::kThumbnail, ready, failed);
    QTRY_COMPARE(began.load(), 1);
    owner.reset();
    QCOMPARE(idle.size(), 1);
    QCOMPARE(loader->Pending(), 0);
    go.release(1);
    QTRY_COMPARE(drawn.load(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(answers, 0);

    QObject other;
    loader->Request(&other, {}, {}, ThumbnailLoader::kThumbnail, ready, failed);
    QTRY_COMPARE(began.load(), 2);
    std::thread release([&] { go.release(1); });
    loader.reset();
    release.join();
    QCOMPARE(drawn.load(), 2);
    QCoreApplication::processEvents();
    QCOMPARE(answers, 0);
  }

  // Which export failures stop a run, from the system's reason.
  void failuresThatHitEveryCopy() {
    for (const int code : {ENOSPC, EDQUOT, EROFS, EACCES, EPERM})
      QVERIFY2(ExportError("x", code).HitsEveryCopy(), qPrintable(QString::number(code)));
    for (const int code : {0, ENOTDIR, ELOOP, EIO, ENOENT})
      QVERIFY2(!ExportError("x", code).HitsEveryCopy(), qPrintable(QString::number(code)));
    // An "Export" that is a file concerns that folder only.
    QTemporaryDir dir;
    QFile blocker(dir.filePath("Export"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    RenderJob job;
    job.fileName = dir.filePath("x.jpg");
    try {
      ExportStampedCopy(job);
      QFAIL("no error");
    } catch (const ExportError& e) {
      QCOMPARE(e.Code(), ENOTDIR);
    }
  }

  // The reasons as the summary gives them.
  void failureReasons() {
    const QString file = QStringLiteral("/p/a.jpg");
    const struct {
      const char* message;
      const char* reason;
    } cases[] = {
        {"Cannot create /p/Export/\nNot a directory", "не удалось создать папку /p/Export/: Not a directory"},
        {"Cannot open /p/a.jpg: No such file or directory", "не удалось открыть: No such file or directory"},
        {"Cannot read /p/a.jpg: Picture data is damaged: Premature end of JPEG file",
         "не удалось прочитать: данные снимка повреждены (Premature end of JPEG file)"},
        {"Cannot write /p/Export/a.jpg: No space left on device",
         "не удалось записать /p/Export/a.jpg: No space left on device"},
        {"Cannot make a picture of 90000 x 90000 pixels", "снимок слишком велик: 90000 x 90000 точек"},
        {"Cannot open /q/b.jpg: Bad", "Cannot open /q/b.jpg: Bad"},  // another file's: as it came
    };
    for (const auto& c : cases) QCOMPARE(ExportFailureReason(file, QString::fromUtf8(c.message)), QString::fromUtf8(c.reason));
  }
};

QTEST_GUILESS_MAIN(ExportAllTest)
#include "exportall_test.moc"
