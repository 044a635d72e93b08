// The window's stamp extras as a person uses them: the outline check box and
// the stored default outline, font and comment given to every picture, the
// photo's dates with where each came from, typed text that is never lost, and
// Escape out of the 10x15 mode. Also the same choices in tessaly-stamp.
#include <QAction>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <optional>

#include "FontDialog.h"
#include "FontDialogFile.h"
#include "ImageView.h"
#include "ImgMain.h"
#include "ImgPanel.h"
#include "PhotoBuilder.h"
#include "ValueListEditor.h"

using tessaly::DateChoice;
using tessaly::DateSource;
using tessaly::TImageForm;
using tessaly::TImgPanel;
using tessaly::TStampFont;
using tessaly::ValueChoice;

namespace {

using Tags = std::vector<std::pair<uint16_t, std::string>>;

// A decodable JPEG photo; with EXIF date tags when any are given (DateTime in
// the main directory, the others in the EXIF directory), and the file's
// modification time set.
QString WritePhoto(const QString& path, const Tags& tags = {}, QSize size = QSize(300, 200)) {
  const QDateTime modified(QDate(2021, 3, 4), QTime(5, 6, 7));
  QImage image(size, QImage::Format_RGB32);
  image.fill(QColor(40, 60, 90));
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "JPG", 90);
  if (!tags.empty()) {
    tessaly::testing::TiffBuilder tiff(false);
    tiff.AddAscii(0, 0x010F, "Maker");
    const int exif = tiff.AddDirectory();
    tiff.Link(0, 0x8769, exif);
    for (const auto& [tag, text] : tags) tiff.AddAscii(tag == 0x0132 ? 0 : exif, tag, text);
    jpeg.insert(2, QByteArray::fromStdString(tessaly::testing::ExifSegment(tiff.Build())));
  }
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size() || !file.flush())
    qFatal("cannot write %s", qPrintable(path));
  file.setFileTime(modified, QFileDevice::FileModificationTime);
  file.close();
  return path;
}

const Tags kThreeDates = {{0x9003, "2019:07:14 10:20:30"}, {0x9004, "2002:12:08 12:00:00"}, {0x0132, "2020:01:02 03:04:05"}};
const Tags kTwoDates = {{0x9003, "2019:07:14 10:20:30"}, {0x9004, "2002:12:08 12:00:00"}};

QByteArray Bytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class StampExtrasTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<TImageForm> form_;
  QStringList errors_;
  std::optional<TStampFont> fontAnswer_;  // OK with this font; Cancel when empty

  QString Path(const QString& name) const { return dir_->filePath(name); }

  TImageForm& NewForm() {
    form_.reset();
    form_ = std::make_unique<TImageForm>(dir_->path());
    form_->ShowError = [this](const QString& m) { errors_ << m; };
    form_->RunFontDialog = [this](TStampFont& font) {
      if (!fontAnswer_) return false;
      font = *fontAnswer_;
      return true;
    };
    form_->resize(1000, 800);
    form_->show();
    form_->activateWindow();
    if (!QTest::qWaitForWindowActive(form_.get())) qWarning("window not active");
    return *form_;
  }

  void WaitForPreview() {
    QTRY_VERIFY(!form_->Timer1->isActive());
    QCoreApplication::processEvents();
  }

  // Types into the comment cell's in-place editor, which stays open.
  static void TypeComment(TImageForm& form, const QString& text) {
    form.ValueListEditor1->setFocus();
    form.ValueListEditor1->editItem(form.ValueListEditor1->item(1, 1));
    QTRY_VERIFY(qobject_cast<QLineEdit*>(QApplication::focusWidget()));
    QTest::keyClicks(QApplication::focusWidget(), text);
  }

 private slots:
  void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    errors_.clear();
    fontAnswer_.reset();
  }
  void cleanup() {
    if (form_) form_->ShowError = [](const QString&) {};
    form_.reset();
    QCOMPARE(errors_, QStringList());
  }

  void outlineCheckBoxIsPendingUntilApply() {
    TImageForm& form = NewForm();
    QCOMPARE(form.OutlineCheck->text(), QStringLiteral("Обводка"));
    form.OutlineCheck->click();  // no picture: nothing changes
    QVERIFY(!form.OutlineCheck->isChecked());
    QVERIFY(!form.LabelFont.outline);

    form.OpenPicture1Accept({WritePhoto(Path("a.jpg")), WritePhoto(Path("b.jpg"))});
    WaitForPreview();
    TImgPanel* a = form.Panels()[0];
    TImgPanel* b = form.CurrentPanel;
    form.ApplyAction->trigger();
    form.OutlineCheck->click();
    QVERIFY(form.LabelFont.outline);
    QVERIFY(!b->GetStampFont().outline);
    QVERIFY(form.ApplyAction->isEnabled());
    // A font chosen in the dialog keeps the outline of the check box.
    TStampFont chosen;
    chosen.bold = true;
    fontAnswer_ = chosen;
    form.ImgFontAction->trigger();
    QVERIFY(form.LabelFont.outline && form.LabelFont.bold);
    form.ApplyAction->trigger();
    QVERIFY(b->GetStampFont().outline);
    QVERIFY(!a->GetStampFont().outline);

    QTest::mouseClick(a->NameLabel, Qt::LeftButton);
    QCOMPARE(form.CurrentPanel, a);
    QVERIFY(!form.OutlineCheck->isChecked());
    QTest::mouseClick(b->NameLabel, Qt::LeftButton);
    QVERIFY(form.OutlineCheck->isChecked());
  }

  // The default font's outline lives in "StampOptions.ini" beside
  // "FontDialog.res", whose bytes do not change with it.
  void defaultOutlineStoredBesideTheFontFile() {
    TImageForm& form = NewForm();
    TStampFont chosen;
    chosen.height = -16;
    chosen.outline = true;
    fontAnswer_ = chosen;
    form.FontAction->trigger();
    QCOMPARE(form.DefaultFont, chosen);
    QVERIFY(form.close());
    TStampFont plain = chosen;
    plain.outline = false;
    const QByteArray fontFile = Bytes(Path("FontDialog.res"));
    QCOMPARE(fontFile, tessaly::FontDialogResource(plain));
    QCOMPARE(Bytes(Path("StampOptions.ini")), QByteArray("[Stamp]\nOutline=true\n"));

    TImageForm& again = NewForm();
    QCOMPARE(again.DefaultFont, chosen);
    again.OpenPicture1Accept({WritePhoto(Path("c.jpg"))});
    QVERIFY(again.CurrentPanel->GetStampFont().outline);
    QVERIFY(again.OutlineCheck->isChecked());
    QVERIFY(again.close());
    QCOMPARE(Bytes(Path("FontDialog.res")), fontFile);

    // The default-font dialog offers the outline; the picture's does not
    // change it.
    for (const bool offered : {true, false}) {
      tessaly::TFontDialog dialog;
      dialog.OfferOutline(offered);
      dialog.SetStampFont(chosen);
      auto* box = dialog.findChild<QCheckBox*>(QStringLiteral("OutlineCheck"));
      QVERIFY(box && box->isChecked());
      box->setChecked(false);
      QCOMPARE(dialog.StampFont().outline, !offered);
    }
  }

  void stampOptionsText_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("before");
    QTest::addColumn<bool>("after");
    QTest::newRow("as written") << QByteArray("[Stamp]\nOutline=true\n") << false << true;
    QTest::newRow("spaces, case and 1") << QByteArray("[Stamp]\n  outline = 1 \n") << false << true;
    QTest::newRow("CRLF, false") << QByteArray("[Stamp]\r\nOutline=false\r\n") << true << false;
    QTest::newRow("value that is no Boolean") << QByteArray("Outline=maybe\n") << true << true;
    QTest::newRow("commented out") << QByteArray("; Outline=true\n") << false << false;
    QTest::newRow("empty file") << QByteArray() << true << true;
  }
  void stampOptionsText() {
    QFETCH(QByteArray, text);
    QFETCH(bool, before);
    QFETCH(bool, after);
    TStampFont font;
    font.outline = before;
    tessaly::ReadStampOptions(text, font);
    QCOMPARE(font.outline, after);
  }

  void toAllChangesEveryPanel() {
    TImageForm& form = NewForm();
    form.Image1->setFixedSize(600, 500);
    form.OpenPicture1Accept({WritePhoto(Path("a.jpg")), WritePhoto(Path("b.jpg")), WritePhoto(Path("c.jpg"))});
    WaitForPreview();
    const QList<TImgPanel*> panels = form.Panels();
    // Pending on the current picture: a comment, a font and the outline.
    form.ValueListEditor1->SetValue(TImageForm::kCommentKey, QStringLiteral("Лето"));
    TStampFont chosen;
    chosen.italic = true;
    chosen.SetColor(Qt::red);
    fontAnswer_ = chosen;
    form.ImgFontAction->trigger();
    form.OutlineCheck->click();
    chosen.outline = true;

    qint64 shown = form.Image1->Picture().cacheKey();
    form.CommentToAllAction->trigger();
    for (TImgPanel* p : panels) QCOMPARE(p->Comment, QStringLiteral("Лето"));
    QCOMPARE(form.CurrentPanel->GetStampFont(), chosen);  // applied with the comment
    QCOMPARE(panels[0]->GetStampFont(), TStampFont{});
    QVERIFY(form.Image1->Picture().cacheKey() != shown);

    shown = form.Image1->Picture().cacheKey();
    form.FontToAllAction->trigger();
    for (TImgPanel* p : panels) QCOMPARE(p->GetStampFont(), chosen);
    QVERIFY(form.Image1->Picture().cacheKey() != shown);
    QVERIFY(!form.ApplyAction->isEnabled());
  }

  void dateChoicesOfAPhoto_data() {
    QTest::addColumn<Tags>("tags");
    QTest::addColumn<QList<DateChoice>>("choices");
    QTest::addColumn<int>("from");  // index of the choice taken
    QTest::addColumn<QString>("note");
    const DateChoice file{"04.03.2021 05:06:06", DateSource::File};
    QTest::newRow("three tags that differ") << kThreeDates
        << QList<DateChoice>{{"14.07.2019", DateSource::Original}, {"08.12.2002", DateSource::Digitized},
                             {"02.01.2020", DateSource::Modified}, file}
        << 1 << "EXIF оцифровка";
    QTest::newRow("modified date that does not parse")
        << Tags{{0x9003, "2019:07:14 10:20:30"}, {0x0132, "someday"}}
        << QList<DateChoice>{{"14.07.2019", DateSource::Original}, file} << 0 << "EXIF съёмка";
    QTest::newRow("only the modified date") << Tags{{0x0132, "2020:01:02 03:04:05"}}
        << QList<DateChoice>{{"02.01.2020", DateSource::Modified}, file} << 0 << "EXIF изменение";
    QTest::newRow("no EXIF") << Tags{} << QList<DateChoice>{file} << 0 << "файл";
  }
  void dateChoicesOfAPhoto() {
    QFETCH(Tags, tags);
    QFETCH(QList<DateChoice>, choices);
    QFETCH(int, from);
    QFETCH(QString, note);
    TImageForm& form = NewForm();
    form.OpenPicture1Accept({WritePhoto(Path("p.jpg"), tags)});
    TImgPanel* panel = form.CurrentPanel;
    QCOMPARE(panel->DateChoices, choices);
    QCOMPARE(panel->DateFrom, choices[from].source);
    QCOMPARE(panel->DateText, choices[from].text);
    QList<ValueChoice> offered;
    for (const DateChoice& c : choices) offered.append({c.text, TImageForm::DateSourceText(c.source)});
    QCOMPARE(form.ValueListEditor1->Choices(TImageForm::kDateKey), offered);
    QCOMPARE(form.ValueListEditor1->Note(TImageForm::kDateKey), note);
  }

  // Picking a date in the drop-down sets the text, which stays editable.
  void pickingADateFromTheDropDown() {
    TImageForm& form = NewForm();
    form.OpenPicture1Accept({WritePhoto(Path("p.jpg"), kThreeDates)});
    form.ApplyAction->trigger();
    form.ValueListEditor1->setFocus();
    form.ValueListEditor1->editItem(form.ValueListEditor1->item(0, 1));
    QComboBox* box = nullptr;
    QTRY_VERIFY((box = form.ValueListEditor1->findChild<QComboBox*>()) != nullptr);
    QCOMPARE(box->count(), 4);
    QCOMPARE(box->model()->index(2, 1).data().toString(), QStringLiteral("EXIF изменение"));
    QCOMPARE(box->currentText(), QStringLiteral("08.12.2002"));
    QTest::keyClick(box, Qt::Key_Up);  // to the shooting date
    QCOMPARE(form.ValueListEditor1->Value(TImageForm::kDateKey), QStringLiteral("14.07.2019"));
    QCOMPARE(form.ValueListEditor1->Note(TImageForm::kDateKey), QStringLiteral("EXIF съёмка"));
    QVERIFY(form.ApplyAction->isEnabled());
    QTest::keyClicks(box->lineEdit(), QStringLiteral(" (?)"));
    QCOMPARE(form.ValueListEditor1->Value(TImageForm::kDateKey), QStringLiteral("14.07.2019 (?)"));
    QCOMPARE(form.ValueListEditor1->Note(TImageForm::kDateKey), QString());
    form.ApplyAction->trigger();
    QCOMPARE(form.CurrentPanel->DateText, QStringLiteral("14.07.2019 (?)"));
  }

  // tessaly-stamp --date-from: the date of that source, else the usual one.
  void stampDateFrom() {
    const QString three = WritePhoto(Path("three/p.jpg"), kThreeDates);
    const QString original = WritePhoto(Path("one/q.jpg"), {{0x9003, "2019:07:14 10:20:30"}});
    // A copy of its own, so no default font stored beside the build's
    // programs takes part.
    const QString program = Path("bin/tessaly-stamp");
    QVERIFY(QDir().mkpath(Path("bin")));
    QVERIFY(QFile::copy(QStringLiteral(TESSALY_STAMP_PATH), program));
    QString errors;
    const auto run = [&](const QStringList& args) {
      QProcess stamp;
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      env.insert(QStringLiteral("LC_ALL"), QStringLiteral("ru_RU.UTF-8"));
      stamp.setProcessEnvironment(env);
      stamp.start(program, args);
      stamp.waitForFinished(60000);
      errors = QString::fromLocal8Bit(stamp.readAllStandardError());
      const QString written = QString::fromLocal8Bit(stamp.readAllStandardOutput()).trimmed();
      return stamp.exitCode() == 0 ? Bytes(written) : QByteArray();
    };
    const struct {
      const char* source;
      const QString& file;
      const char* date;
    } cases[] = {
        {"original", three, "14.07.2019"},  {"digitized", three, "08.12.2002"},
        {"modified", three, "02.01.2020"},  {"file", three, "04.03.2021 05:06:06"},
        {"digitized", original, "14.07.2019"},  // missing: the usual choice
        {"modified", original, "14.07.2019"},
    };
    for (const auto& c : cases) {
      const QByteArray chosen = run({QStringLiteral("--date-from"), QLatin1String(c.source), c.file});
      QVERIFY2(!chosen.isEmpty(), qPrintable(errors));
      QVERIFY2(chosen == run({QStringLiteral("--date"), QString::fromUtf8(c.date), c.file}), c.source);
    }
    QVERIFY(run({QStringLiteral("--date-from"), QStringLiteral("shot"), three}).isEmpty());
    QCOMPARE(errors.trimmed().split(u'\n').last(), QStringLiteral("--date-from wants original, digitized, modified or file"));
    QVERIFY(run({QStringLiteral("--outline"), three}) != run({three}));
  }

  // Text typed but not applied reaches the export whatever comes next.
  void typedTextReachesTheExport_data() {
    QTest::addColumn<QString>("trigger");
    for (const char* t : {"Export", "Export All", "another panel", "closing the window", "10x15"}) QTest::newRow(t) << QString::fromUtf8(t);
  }
  void typedTextReachesTheExport() {
    QFETCH(QString, trigger);
    TImageForm& form = NewForm();
    form.OpenPicture1Accept({WritePhoto(Path("a/a.jpg")), WritePhoto(Path("b/b.jpg"))});
    WaitForPreview();
    TImgPanel* typedFor = form.CurrentPanel;
    TypeComment(form, QStringLiteral("typed"));
    QCOMPARE(typedFor->Comment, QString());

    QString exported;
    if (trigger == "Export") {
      form.ExportAction->trigger();
      exported = Path("b/Export/b.jpg");
    } else if (trigger == "Export All") {
      form.ExportAllAction->trigger();
      exported = Path("b/Export/b.jpg");
    } else if (trigger == "another panel") {
      QTest::mouseClick(form.Panels()[0]->NameLabel, Qt::LeftButton);
      QCOMPARE(form.CurrentPanel, form.Panels()[0]);
    } else if (trigger == "closing the window") {
      QVERIFY(form.close());
    } else {
      form.CropAction->trigger();
      QVERIFY(form.CropModeActive());
      form.CropEscapeAction->trigger();
    }
    QCOMPARE(typedFor->Comment, QStringLiteral("typed"));
    if (exported.isEmpty()) exported = typedFor->ExportCopy();
    const QByteArray copy = Bytes(exported);
    QCOMPARE(copy, Bytes(typedFor->ExportCopy()));
    typedFor->Comment.clear();
    QVERIFY(copy != Bytes(typedFor->ExportCopy()));
  }

  void escapeLeavesCropModeWithTheCropUnchanged() {
    TImageForm& form = NewForm();
    form.Image1->setFixedSize(800, 700);
    form.OpenPicture1Accept({WritePhoto(Path("p.jpg"), {}, QSize(400, 300))});
    WaitForPreview();
    TImgPanel* panel = form.CurrentPanel;
    const tessaly::TRect before = panel->CropRect;
    QVERIFY(!form.CropEscapeAction->isEnabled());

    form.CropAction->trigger();
    QVERIFY(form.CropModeActive());
    QCOMPARE(QWidget::mouseGrabber(), form.Image1);
    form.Image1MouseMove(QPoint(400, 300));
    QVERIFY(form.ClipShape->y() > 0);  // the frame moved down
    QTest::keyClick(&form, Qt::Key_Escape);
    QVERIFY(!form.CropModeActive());
    QVERIFY(!form.ClipShape->isVisible());
    QCOMPARE(form.StatusText->text(), QString());
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
    QCOMPARE(panel->CropRect, before);
    QVERIFY(!panel->IsCropped());
    QVERIFY(!form.CropAction->isChecked());
    QVERIFY(!form.CropEscapeAction->isEnabled());
  }
};

QTEST_MAIN(StampExtrasTest)
#include "stamp_extras_test.moc"
