// The window's print controls as a person uses them: the format and its
// frame, white borders, the stamp's position and date form shown before
// Apply, the film look, "Печать в PDF...", the first start's stamp and the
// stored print choice.
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <memory>

#include "FilmLook.h"
#include "FontDialogFile.h"
#include "ImageView.h"
#include "ImgMain.h"
#include "JpegWithExif.h"
#include "PhotoBuilder.h"
#include "PrintControls.h"
#include "ValueListEditor.h"

using namespace tessaly;

namespace {

// A JPEG photo of one colour, shot 2019-07-14 10:20:30 by its EXIF data.
QString WritePhoto(const QString& path, QSize size, QColor colour = QColor(40, 60, 90)) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(colour);
  testing::TiffBuilder tiff(false);
  const int exif = tiff.AddDirectory();
  tiff.Link(0, 0x8769, exif);
  tiff.AddAscii(exif, 0x9003, "2019:07:14 10:20:30");
  return WriteJpegWithExif(path, image, tiff.Build());
}

QByteArray Bytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class PrintWindowTest : public QObject {
  Q_OBJECT

  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<TImageForm> form_;

  QString Path(const QString& name) const { return dir_->filePath(name); }

  TImageForm& NewForm(const QStringList& photos = {}, const TStampFont& unstored = TStampFont{}) {
    form_ = std::make_unique<TImageForm>(dir_->path(), nullptr, unstored);
    form_->ShowError = [](const QString& m) { QFAIL(qPrintable(m)); };
    form_->PrintControls->ShowNote = [](const QString&) {};
    form_->resize(1000, 800);
    form_->show();
    form_->OpenPicture1Accept(photos);
    if (!QTest::qWaitFor([this] { return !form_->Timer1->isActive() && !form_->LoadingPictures(); }))
      qWarning("pictures still loading");
    form_->Timer1Timer();  // the preview drawn now
    return *form_;
  }

  // The workers draw the preview a choice asks for; it shows once they are done.
  void WaitForPreview() {
    QTRY_VERIFY(!form_->LoadingPictures());
    QCoreApplication::processEvents();
  }

  // With TESSALY_SHOTS set, the window as it is now, for a person to look at.
  void Shot(QWidget& widget, const char* name) {
    const QString folder = qEnvironmentVariable("TESSALY_SHOTS");
    if (!folder.isEmpty()) widget.grab().save(folder + u'/' + QLatin1String(name) + ".png");
  }

 private slots:
  void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
  void init() { dir_ = std::make_unique<QTemporaryDir>(); }
  void cleanup() { form_.reset(); }

  void formatsGiveTheirFrameAndBecomeTheDefault() {
    TImageForm& form = NewForm({WritePhoto(Path("wide.jpg"), QSize(1600, 900))});
    TPrintControls& print = *form.PrintControls;
    QCOMPARE(print.FormatButton->text(), QStringLiteral("10x15"));
    const QRect drawn = form.Image1->PictureRect();
    const struct {
      PrintFormatId format;
      const char* caption;
    } cases[] = {{PrintFormatId::TenByFifteen, "10x15"}, {PrintFormatId::Square, "Квадрат"}, {PrintFormatId::A4, "A4"}};
    for (const auto& c : cases) {
      print.ChooseFormat(c.format);
      QCOMPARE(print.FormatButton->text(), QString::fromUtf8(c.caption));
      QCOMPARE(print.DefaultPrint.format, c.format);
      form.CropAction->trigger();
      // The frame keeps the drawn picture's height and the format's
      // proportions, inside the picture.
      const FrameGeometry expected = FrameOf(c.format, drawn.width(), drawn.height());
      QCOMPARE(form.ClipShape->size(), QSize(int(expected.width), int(expected.height)));
      QCOMPARE(form.ClipShape->height(), drawn.height());
      if (c.format == PrintFormatId::TenByFifteen) Shot(form, "frame-16x9-in-10x15");
      form.Image1MouseMove(QPoint(drawn.width(), drawn.height() / 2));  // to the right edge
      form.ClipShapeMouseDown();
      const TRect crop = form.CurrentPanel->CropRect;
      const FrameGeometry full = FrameOf(c.format, 1600, 900);
      QCOMPARE(crop.Height(), int64_t(900));
      QCOMPARE(crop.Width(), full.width);
      QVERIFY(crop.Left >= 0 && crop.Right <= 1600);
      form.CropAction->trigger();  // the crop removed again
      QVERIFY(!form.CurrentPanel->IsCropped());
    }
    // Opened later: the last format chosen.
    form.OpenPicture1Accept({WritePhoto(Path("next.jpg"), QSize(300, 200))});
    QCOMPARE(form.CurrentPanel->Print.format, PrintFormatId::A4);
  }

  void bordersPadThePreviewWithWhite() {
    TImageForm& form = NewForm({WritePhoto(Path("four.jpg"), QSize(800, 600))});
    form.PrintControls->ChooseFit(true);
    QVERIFY(form.PrintControls->FitAction->isChecked());
    WaitForPreview();
    const QImage shown = form.Image1->Picture();
    // 4:3 padded to 3:2: 900 x 600 in proportion, the sides white.
    QVERIFY(qAbs(double(shown.width()) / shown.height() - 1.5) < 0.01);  // rounded to whole pixels
    QCOMPARE(shown.pixel(2, shown.height() / 2), qRgb(255, 255, 255));
    QVERIFY(shown.pixel(shown.width() / 2, shown.height() / 2) != qRgb(255, 255, 255));
    QVERIFY(!form.CurrentPanel->IsCropped());  // nothing cut
    Shot(form, "borders-4x3");
  }

  void lookChoicesShowBeforeApplyCommitsThem() {
    TImageForm& form = NewForm({WritePhoto(Path("a.jpg"), QSize(600, 400))});
    TImgPanel* panel = form.CurrentPanel;
    const QImage before = form.Image1->Picture();
    form.PrintControls->ChoosePosition(StampPosition::TopLeft);
    form.PrintControls->ChooseSafeMargins(true);
    WaitForPreview();
    QVERIFY(form.Image1->Picture() != before);  // shown before Apply
    QCOMPARE(panel->GetStampFont().position, StampPosition::BottomRight);
    QVERIFY(form.ApplyAction->isEnabled());
    form.ApplyAction->trigger();
    QCOMPARE(panel->GetStampFont().position, StampPosition::TopLeft);
    QVERIFY(panel->GetStampFont().safeMargins);
    QVERIFY(form.PrintControls->SafeMarginsAction->isChecked());
  }

  void dateFormsChangeThePhotosDateNotATypedOne() {
    TImageForm& form = NewForm({WritePhoto(Path("a.jpg"), QSize(300, 200))});
    const struct {
      const char* form;
      const char* shown;
    } cases[] = {{"iso", "2019-07-14"}, {"long-time", "14 июля 2019 10:20"}, {"film", "'19 7 14"}, {"short", "14.07.2019"}};
    for (const auto& c : cases) {
      form.PrintControls->ChooseDateForm(QString::fromLatin1(c.form));
      QCOMPARE(form.ValueListEditor1->Value(TImageForm::kDateKey), QString::fromUtf8(c.shown));
    }
    form.ValueListEditor1->SetValue(TImageForm::kDateKey, QStringLiteral("лето"));
    form.PrintControls->ChooseDateForm(QStringLiteral("iso"));
    QCOMPARE(form.ValueListEditor1->Value(TImageForm::kDateKey), QStringLiteral("лето"));
  }

  void filmLookOnADarkPhoto() {
    TImageForm& form = NewForm({WritePhoto(Path("night.jpg"), QSize(1200, 800), QColor(20, 22, 30))});
    form.LabelFont.SetSize(12);
    form.PrintControls->ChooseFilm();
    QCOMPARE(form.LabelFont.Color(), QColor(kFilmColor));
    QCOMPARE(form.ValueListEditor1->Value(TImageForm::kDateKey), QStringLiteral("'19 7 14"));
    form.ApplyAction->trigger();
    QCOMPARE(form.CurrentPanel->DateText, QStringLiteral("'19 7 14"));
    if (FilmFontInstalled()) QCOMPARE(form.CurrentPanel->GetStampFont().name, QStringLiteral("DSEG7 Classic"));
    Shot(form, "film-dark");
    if (!qEnvironmentVariableIsEmpty("TESSALY_SHOTS")) {
      QPrinter printer(QPrinter::HighResolution);
      QPrintPreviewDialog preview(&printer, &form);
      connect(&preview, &QPrintPreviewDialog::paintRequested, this,
              [&form](QPrinter* p) { form.PrintControls->PaintPages(*p, true); });
      preview.resize(900, 700);
      preview.show();
      QVERIFY(QTest::qWaitForWindowExposed(&preview));
      Shot(preview, "print-preview");
    }
  }

  void pdfHoldsAPageOfTheFormatPerPicture() {
    TImageForm& form = NewForm({WritePhoto(Path("a.jpg"), QSize(600, 400)), WritePhoto(Path("b.jpg"), QSize(400, 600))});
    form.PrintControls->AskPdfPath = [this] { return Path("prints.pdf"); };
    form.PrintControls->PdfAction->trigger();
    const QString pdf = QString::fromLatin1(Bytes(Path("prints.pdf")));
    static const QRegularExpression box(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]"));
    QStringList pages;
    for (auto m = box.globalMatch(pdf); m.hasNext();) {
      const auto match = m.next();
      pages << QStringLiteral("%1x%2").arg(qRound(match.captured(1).toDouble() * 25.4 / 72))
                   .arg(qRound(match.captured(2).toDouble() * 25.4 / 72));
    }
    QCOMPARE(pages, QStringList({"150x100", "100x150"}));
    QCOMPARE(pdf.count(QStringLiteral("/Subtype /Image")), 2);
  }

  void firstStartReadsAndStoredChoicesStay() {
    TImageForm& form = NewForm({}, FirstStartFont());
    QCOMPARE(form.DefaultFont, FirstStartFont());
    QCOMPARE(form.DefaultFont.Size(), 12);
    QVERIFY(form.DefaultFont.outline && form.DefaultFont.safeMargins);
    form.DefaultFont.position = StampPosition::BottomCenter;
    form.PrintControls->DefaultPrint = PrintChoice{PrintFormatId::A4, true};
    QVERIFY(form.close());
    QVERIFY(Bytes(Path("StampOptions.ini")).contains("[Print]\nFormat=A4\nFit=true\n"));
    // Stored settings keep their look, whatever a first start would give.
    TImageForm& again = NewForm({}, FirstStartFont());
    QCOMPARE(again.DefaultFont.position, StampPosition::BottomCenter);
    QCOMPARE(again.PrintControls->DefaultPrint, (PrintChoice{PrintFormatId::A4, true}));
  }
};

QTEST_MAIN(PrintWindowTest)
#include "print_window_test.moc"
