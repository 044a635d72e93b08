// Opening and Export All on the workers, driven as a person would: many
// photos at once, a broken one among them, Export All against exports made
// one by one, Cancel and Escape, an error in the middle of a run, a failure
// that stops it, the summary at its end, closing during a run (the workers
// held by a semaphore where the order matters); and the batch command's -j
// and --keep-going.
#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSemaphore>
#include <QProcess>
#include <QProgressBar>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <atomic>
#include <cerrno>
#include <memory>
#include <unistd.h>

#include "Export.h"
#include "ExportSummary.h"
#include "ImageView.h"
#include "ImgMain.h"
#include "ImgPanel.h"

using tessaly::TImageForm;
using tessaly::TImgPanel;

namespace {

// A photo-like picture: a gradient with a little noise, told apart by seed.
QString WritePhoto(const QString& path, int width, int height, int seed) {
  QImage image(width, height, QImage::Format_RGB32);
  uint32_t state = 2463534242u + uint32_t(seed);
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      state ^= state << 13, state ^= state >> 17, state ^= state << 5;
      line[x] = qRgb((255 * x / width + seed * 40) % 256, 255 * y / height, int(state % 64) + 96);
    }
  }
  QDir().mkpath(QFileInfo(path).absolutePath());
  if (!image.save(path, "JPG", 90)) qFatal("cannot write %s", qPrintable(path));
  return path;
}

QByteArray Bytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file under dir whose name starts with a dot (a temporary export).
QStringList Leftovers(const QString& dir) {
  QStringList found;
  for (QDirIterator it(dir, {".*"}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
    found << it.next();
  return found;
}

}  // namespace

class BackgroundTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<TImageForm> form_;
  QStringList errors_;

  QString Path(const QString& name) const { return dir_->filePath(name); }

  // A window given files, opened once it is shown or (early) just before it
  // is, as from the command line; wait: until their thumbnails are made.
  TImageForm& NewForm(const QStringList& files, bool wait, bool early = false) {
    form_ = std::make_unique<TImageForm>(dir_->path());
    form_->ShowError = [this](const QString& m) { errors_ << m; };
    form_->resize(1000, 800);
    if (!early) form_->show();
    form_->OpenPicture1Accept(files);
    if (early) form_->show();
    if (wait && !QTest::qWaitFor([&] { return !form_->LoadingPictures(); }, 60000)) qWarning("still loading");
    return *form_;
  }

  TImageForm& OpenPhotos(const QString& folder, int count, QSize size, bool wait = true, bool early = false) {
    QStringList files;
    for (int i = 0; i < count; ++i)
      files << WritePhoto(Path(QStringLiteral("%1/p%2.jpg").arg(folder).arg(i)), size.width(), size.height(), i);
    return NewForm(files, wait, early);
  }

  // Every action that could change the panels, and whether each is enabled.
  static QList<bool> PanelActionsEnabled(TImageForm& form) {
    QList<bool> enabled;
    for (QAction* a : {form.OpenPicture1, form.ExportAction, form.ExportAllAction, form.CloseImageAction,
                       form.FontAction, form.ApplyAction, form.ImgFontAction, form.CropAction})
      enabled << a->isEnabled();
    return enabled;
  }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    errors_.clear();
  }
  void cleanup() {
    form_.reset();
    QCOMPARE(errors_, QStringList());
  }

  // Twenty photos and an empty JPEG among them: every panel at once, newest
  // on top, the last one current, every thumbnail drawn once loading ends;
  // the broken one keeps its panel with its error, listed in one box.
  void openingManyPhotosWithABrokenOne() {
    QStringList files;
    for (int i = 0; i < 20; ++i) files << WritePhoto(Path(QStringLiteral("p%1.jpg").arg(i)), 160 + 8 * i, 120, i);
    QVERIFY(QFile(Path("empty.jpg")).open(QIODevice::WriteOnly));
    files.insert(7, Path("empty.jpg"));
    TImageForm& form = NewForm(files, false);
    const QList<TImgPanel*> panels = form.Panels();
    QCOMPARE(panels.size(), 21);
    for (int i = 0; i < 21; ++i) QCOMPARE(panels[i]->NameLabel->text(), QFileInfo(files[i]).fileName());
    QCOMPARE(form.CurrentPanel, panels.last());
    QTRY_VERIFY(!form.LoadingPictures());
    for (int i = 0; i < 21; ++i) {
      if (i == 7) continue;  // the empty one
      const QSize shown = panels[i]->Thumbnail->Picture().size();
      const QSize photo = QImageReader(files[i]).size();
      QVERIFY(!shown.isEmpty());
      QVERIFY(std::abs(shown.width() * photo.height() - shown.height() * photo.width()) <= photo.width());
      QVERIFY(!panels[i]->ThumbnailNote->isVisible());
    }
    QTRY_VERIFY(panels[20]->y() < panels[1]->y() && panels[1]->y() < panels[0]->y());
    const QString message = "Cannot read " + Path("empty.jpg") + ": Empty input file";
    QCOMPARE(errors_, QStringList{message});
    errors_.clear();
    QCOMPARE(panels[7]->ThumbnailNote->text(), message);
    QVERIFY(panels[7]->ThumbnailNote->isVisible());
    QVERIFY(panels[7]->Thumbnail->Picture().isNull());
    QVERIFY(!form.Image1->Picture().isNull());  // the current one's preview
  }

  // Panels closed while their thumbnails are still being made: their
  // answers are dropped, and loading ends all the same.
  void closingPanelsWhileLoading() {
    TImageForm& form = OpenPhotos("closing", 12, QSize(1600, 1200), false);
    while (form.CurrentPanel) {
      form.CloseImageAction->trigger();
      if (!form.Panels().isEmpty()) form.OnEnterImagePanel(form.Panels().last());
    }
    QVERIFY(form.Panels().isEmpty());
    QTRY_VERIFY(!form.LoadingPictures());
  }

  // Opened before the window is shown, the panels show with it; Export All
  // on the workers writes the same bytes as exports one by one.
  void exportAllMatchesSerialExports() {
    TImageForm& form = OpenPhotos("same", 6, QSize(640, 480), true, true);
    const QList<TImgPanel*> panels = form.Panels();
    QVERIFY(panels[0]->isVisible() && !panels[0]->Thumbnail->Picture().isNull());
    panels[1]->Comment = QStringLiteral("Море");
    panels[2]->SetCropTop(10);
    form.ExportAllAction->trigger();
    QTRY_VERIFY(!form.ExportRunning());
    QVERIFY(!form.ProgressBar1->isVisible());
    QList<QByteArray> parallel;
    for (TImgPanel* p : panels) parallel << Bytes(tessaly::ExportFolder(p->FileName) + QFileInfo(p->FileName).fileName());
    QVERIFY(QDir(Path("same/Export")).removeRecursively());
    QVERIFY(!parallel.contains(QByteArray()));
    for (int i = 0; i < panels.size(); ++i) QCOMPARE(Bytes(panels[i]->ExportCopy()), parallel[i]);
  }

  // Escape after the first export: the run stops once those under way are
  // written; every copy is whole, no temporary file is left, and the actions
  // come back as they were. The Cancel button does the same. The workers
  // are held until the window has heard of the first copy.
  void cancelAfterTheFirstExport_data() {
    QTest::addColumn<bool>("escape");
    QTest::newRow("Escape") << true;
    QTest::newRow("Cancel button") << false;
  }
  void cancelAfterTheFirstExport() {
    QFETCH(bool, escape);
    const QSize size(320, 240);
    TImageForm& form = OpenPhotos("cancel", 16, size);
    QSemaphore go;
    std::atomic<int> started{0};
    form.ExportWorker = [&](tessaly::Photo& photo, bool refresh, bool* changed) {
      ++started;
      go.acquire();
      return photo.ExportCopy(refresh, changed);
    };
    QString summary;
    form.ShowExportSummary = [&](const QString& text, const QString&) { summary = text; };
    const QList<bool> before = PanelActionsEnabled(form);
    bool sawRunning = false;
    connect(form.ProgressBar1, &QProgressBar::valueChanged, this, [&](int value) {
      if (value != 1) return;
      sawRunning = form.CancelExportButton->isVisible() && !PanelActionsEnabled(form).contains(true) &&
                   form.ProgressBar1->text().startsWith(QStringLiteral("1 из 16: p"));
      if (escape)
        QTest::keyClick(&form, Qt::Key_Escape);
      else
        form.CancelExportButton->click();
      go.release(16);  // those under way finish
    });
    form.ExportAllAction->trigger();
    go.release(1);
    QTRY_VERIFY(!form.ExportRunning());
    QVERIFY(sawRunning);
    const QStringList written = QDir(Path("cancel/Export")).entryList(QDir::Files);
    QVERIFY2(written.size() >= 1 && written.size() < 16, qPrintable(written.join(' ')));
    QCOMPARE(written.size(), started.load());  // nothing started after Cancel
    for (const QString& name : written)
      QCOMPARE(QImageReader(Path("cancel/Export/") + name, "jpeg").read().size(), size);
    QCOMPARE(Leftovers(Path("cancel")), QStringList());
    QCOMPARE(PanelActionsEnabled(form), before);
    QVERIFY(!form.ProgressBar1->isVisible() && !form.CancelExportButton->isVisible());
    QCOMPARE(summary, QStringLiteral("Экспорт прерван.\nЗаписано копий: %1 из 16.").arg(written.size()));
  }

  // An "Export" that is a file: that photo is left out, the run goes on to
  // the others, and the summary lists it with its reason; the bar goes.
  void errorInTheMiddleSkipsThatPhoto() {
    QStringList files;
    for (const char* folder : {"a", "b", "c", "d"}) files << WritePhoto(Path(folder) + "/x.jpg", 320, 240, 1);
    QVERIFY(QFile(Path("c/Export")).open(QIODevice::WriteOnly));
    TImageForm& form = NewForm(files, true);
    QStringList summaries;
    QString folder;
    form.ShowExportSummary = [&](const QString& text, const QString& f) { summaries << text, folder = f; };
    form.ExportAllAction->trigger();
    QTRY_VERIFY(!form.ExportRunning());
    QCOMPARE(summaries, QStringList{"Экспорт завершён.\nЗаписано копий: 3 из 4.\n\nПропущены фотографии (1):\n" +
                                    Path("c/x.jpg") + " — не удалось создать папку " + Path("c/Export/") +
                                    ": Not a directory"});
    for (const char* written : {"a", "b", "d"}) QVERIFY(QFile::exists(Path(written) + "/Export/x.jpg"));
    QCOMPARE(folder, Path("a/Export/"));
    QVERIFY(!form.ProgressBar1->isVisible());
    QCOMPARE(form.ProgressBar1->value(), 4);
  }

  // A damaged photo (its data cut short) among good ones: every good one is
  // written, and the summary lists the damaged one with its reason.
  void damagedPhotoAmongGoodOnes() {
    QStringList files;
    for (int i = 0; i < 4; ++i) files << WritePhoto(Path(QStringLiteral("dmg/p%1.jpg").arg(i)), 320, 240, i);
    const QByteArray whole = Bytes(files[2]);
    QFile cut(files[2]);
    QVERIFY(cut.open(QIODevice::WriteOnly | QIODevice::Truncate));
    cut.write(whole.left(whole.size() / 2));
    cut.close();
    TImageForm& form = NewForm(files, true);
    errors_.clear();  // what opening it may have said is not this test's
    QString reason;
    try {
      tessaly::ExportStampedCopy(form.Panels()[2]->StampedJob());
    } catch (const std::exception& e) {
      reason = tessaly::ExportFailureReason(files[2], QString::fromUtf8(e.what()));
    }
    QVERIFY(reason.startsWith(QStringLiteral("не удалось прочитать: данные снимка повреждены (")));
    QStringList summaries;
    form.ShowExportSummary = [&](const QString& text, const QString&) { summaries << text; };
    form.ExportAllAction->trigger();
    QTRY_VERIFY(!form.ExportRunning());
    QCOMPARE(summaries, QStringList{"Экспорт завершён.\nЗаписано копий: 3 из 4.\n\nПропущены фотографии (1):\n" +
                                    files[2] + " — " + reason});
    for (int i : {0, 1, 3})
      QCOMPARE(QImageReader(Path(QStringLiteral("dmg/Export/p%1.jpg").arg(i))).size(), QSize(320, 240));
    QVERIFY(!QFile::exists(Path("dmg/Export/p2.jpg")));
    QCOMPARE(Leftovers(Path("dmg")), QStringList());
  }

  // A failure that would meet every later copy stops the run at once with
  // one message: a read-only Export folder (for a user the folder's mode
  // holds back), and a full disk (the worker fails as the system would).
  void failureForEveryCopyStopsTheRun_data() {
    QTest::addColumn<bool>("readOnly");
    QTest::newRow("read-only Export folder") << true;
    QTest::newRow("disk full") << false;
  }
  void failureForEveryCopyStopsTheRun() {
    QFETCH(bool, readOnly);
    TImageForm& form = OpenPhotos("full", 5, QSize(320, 240));
    const QList<TImgPanel*> panels = form.Panels();
    form.ExportWorkers = 1;  // one after the other: the stop comes at a known photo
    QString expected;
    if (readOnly) {
      QVERIFY(QDir().mkpath(Path("full/Export")));
      QVERIFY(QFile::setPermissions(Path("full/Export"), QFile::ReadOwner | QFile::ExeOwner));
      if (::access(QFile::encodeName(Path("full/Export")).constData(), W_OK) == 0)
        QSKIP("the folder's mode does not hold this user back");
      expected = "Экспорт остановлен: не удалось записать " + Path("full/Export/p0.jpg") +
                 ": Permission denied\nФотография: " + Path("full/p0.jpg") + "\nЗаписано копий: 0 из 5.";
    } else {
      form.ExportWorker = [&](tessaly::Photo& photo, bool refresh, bool* changed) {
        if (photo.path == panels[2]->FileName)
          throw tessaly::ExportError("Cannot write " + tessaly::ExportTarget(photo.path) + ": No space left on device",
                                     ENOSPC);
        return photo.ExportCopy(refresh, changed);
      };
      expected = "Экспорт остановлен: не удалось записать " + Path("full/Export/p2.jpg") +
                 ": No space left on device\nФотография: " + Path("full/p2.jpg") + "\nЗаписано копий: 2 из 5.";
    }
    QStringList summaries;
    QString folder;
    form.ShowExportSummary = [&](const QString& text, const QString& f) { summaries << text, folder = f; };
    form.ExportAllAction->trigger();
    QTRY_VERIFY(!form.ExportRunning());
    QCOMPARE(summaries, QStringList{expected});
    QCOMPARE(QDir(Path("full/Export")).entryList(QDir::Files).size(), readOnly ? 0 : 2);
    QCOMPARE(folder, readOnly ? QString() : Path("full/Export/"));
    QVERIFY(!form.ProgressBar1->isVisible());
    QFile::setPermissions(Path("full/Export"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }

  // The summary box's button opens the Export folder the copies went to.
  void summaryOpensTheExportFolder() {
    TImageForm& form = OpenPhotos("open", 2, QSize(320, 240));
    QStringList opened;
    form.OpenFolder = [&](const QString& folder) { opened << folder; };
    form.ExportAllAction->trigger();
    QTRY_VERIFY(!form.ExportRunning());
    auto* box = form.findChild<QMessageBox*>(QStringLiteral("ExportSummaryBox"));
    QVERIFY(box);
    QCOMPARE(box->text(), QStringLiteral("Экспорт завершён.\nЗаписано копий: 2 из 2."));
    auto* button = box->findChild<QPushButton*>(QStringLiteral("OpenExportFolderButton"));
    QVERIFY(button);
    button->click();
    QCOMPARE(opened, QStringList{Path("open/Export/")});
  }

  // Closing during a run asks first: no keeps the run and the window; yes
  // stops the run, and the window closes when the copies under way (held
  // until then) are written.
  void closingDuringARunAsksFirst() {
    TImageForm& form = OpenPhotos("close", 8, QSize(320, 240));
    QSemaphore go;
    std::atomic<int> started{0};
    form.ExportWorker = [&](tessaly::Photo& photo, bool refresh, bool* changed) {
      ++started;
      go.acquire();
      return photo.ExportCopy(refresh, changed);
    };
    int asked = 0;
    form.AskCancelExport = [&] { return ++asked == 2; };  // no, then yes
    form.ExportAllAction->trigger();
    QVERIFY(!form.close());
    QVERIFY(form.ExportRunning() && form.isVisible());
    QVERIFY(!form.close());
    go.release(8);
    QTRY_VERIFY(!form.isVisible());
    QVERIFY(!form.ExportRunning());
    QCOMPARE(asked, 2);
    const int written = int(QDir(Path("close/Export")).entryList(QDir::Files).size());
    QVERIFY(written < 8);
    QCOMPARE(written, started.load());
  }

  // tessaly-stamp -j 2 -k: the good photos are written and their paths come
  // in the order given; the missing one is reported and the exit is 1.
  void batchKeepsGoingInOrder() {
    QStringList files, expected;
    for (int i = 0; i < 5; ++i) {
      files << WritePhoto(Path(QStringLiteral("k/%1.jpg").arg(i)), 800 - 100 * i, 600, i);
      expected << Path(QStringLiteral("k/Export/%1.jpg").arg(i));
    }
    files.insert(2, Path("k/missing.jpg"));
    QProcess stamp;
    stamp.start(QStringLiteral(TESSALY_STAMP), QStringList{"-j", "2", "-k"} + files);
    QVERIFY(stamp.waitForFinished(60000));
    QCOMPARE(stamp.exitCode(), 1);
    QCOMPARE(QString::fromLocal8Bit(stamp.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts), expected);
    QVERIFY(QString::fromLocal8Bit(stamp.readAllStandardError())
                .contains("Cannot open " + Path("k/missing.jpg") + ": No such file or directory"));
    for (const QString& path : expected) QCOMPARE(QImageReader(path).size().height(), 600);
  }
};

QTEST_MAIN(BackgroundTest)
#include "background_test.moc"
