// The window's stamp extras as a person uses them: the outline and its stored
// default, font and comment for every picture, the photo's dates with their
// sources, typed text never lost, Escape out of 10x15; and tessaly-stamp.
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <optional>

#include "CopyOptionsMenu.h"
#include "FontDialogFile.h"
#include "ImageView.h"
#include "ImgMain.h"
#include "PhotoBuilder.h"
#include "ValueListEditor.h"

using namespace tessaly;
using Tags = std::vector<std::pair<uint16_t, std::string>>;

namespace {

// A JPEG photo modified 2021-03-04 05:06:07, with EXIF date tags when given.
QString WritePhoto(const QString& path, const Tags& tags = {}, QSize size = QSize(300, 200)) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(QColor(40, 60, 90));
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "JPG", 90);
  if (!tags.empty()) {
    testing::TiffBuilder tiff(false);
    const int exif = tiff.AddDirectory();
    tiff.Link(0, 0x8769, exif);
    for (const auto& [tag, text] : tags) tiff.AddAscii(tag == 0x0132 ? 0 : exif, tag, text);
    jpeg.insert(2, QByteArray::fromStdString(testing::ExifSegment(tiff.Build())));
  }
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size() || !file.flush()) qFatal("cannot write");
  file.setFileTime(QDateTime(QDate(2021, 3, 4), QTime(5, 6, 7)), QFileDevice::FileModificationTime);
  return path;
}

const Tags kThreeDates = {{0x9003, "2019:07:14 10:20:30"}, {0x9004, "2002:12:08 12:00:00"}, {0x0132, "2020:01:02 03:04:05"}};

QByteArray Bytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class StampExtrasTest : public QObject {
  Q_OBJECT

  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<TImageForm> form_;
  std::optional<TStampFont> fontAnswer_;  // the font dialogs' OK; Cancel when empty

  QString Path(const QString& name) const { return dir_->filePath(name); }

  TImageForm& NewForm(const QStringList& photos = {}) {
    form_ = std::make_unique<TImageForm>(dir_->path());
    form_->ShowError = [](const QString& m) { QFAIL(qPrintable(m)); };
    form_->AskCloseWithEdits = [](int) { return true; };
    form_->RunFontDialog = [this](TStampFont& font) { return fontAnswer_ && (font = *fontAnswer_, true); };
    form_->resize(1000, 800);
    form_->show();
    form_->activateWindow();
    if (!QTest::qWaitForWindowActive(form_.get())) qWarning("window not active");
    form_->OpenPicture1Accept(photos);
    if (!QTest::qWaitFor([this] { return !form_->Timer1->isActive(); })) qWarning("preview not drawn");
    return *form_;
  }

 private slots:
  void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
  void init() { dir_ = std::make_unique<QTemporaryDir>(); }
  void cleanup() { form_.reset(); }

  // Kept per picture and applied like a font; the default's outline is
  // stored beside "FontDialog.res", whose bytes do not change with it.
  void outline() {
    TImageForm& form = NewForm({WritePhoto(Path("a.jpg")), WritePhoto(Path("b.jpg"))});
    TImgPanel *a = form.Panels()[0], *b = form.CurrentPanel;
    form.OutlineCheck->click();
    QVERIFY(!b->GetStampFont().outline);
    fontAnswer_ = TStampFont{};  // a font chosen meanwhile keeps the outline
    form.ImgFontAction->trigger();
    form.ApplyAction->trigger();
    QVERIFY(b->GetStampFont().outline && !a->GetStampFont().outline);
    QTest::mouseClick(a->NameLabel, Qt::LeftButton);
    QVERIFY(!form.OutlineCheck->isChecked());

    TStampFont chosen;
    chosen.height = -16;
    chosen.outline = true;
    fontAnswer_ = chosen;
    form.FontAction->trigger();
    QVERIFY(form.close());
    chosen.outline = false;
    const QByteArray fontFile = Bytes(Path("FontDialog.res"));
    QCOMPARE(fontFile, FontDialogResource(chosen));
    QCOMPARE(Bytes(Path("StampOptions.ini")), QByteArray("[Stamp]\nOutline=true\n"));
    TImageForm& again = NewForm({WritePhoto(Path("c.jpg"))});
    QVERIFY(again.CurrentPanel->GetStampFont().outline && again.OutlineCheck->isChecked());
    QVERIFY(again.close());
    QCOMPARE(Bytes(Path("FontDialog.res")), fontFile);
  }

  void toAllChangesEveryPanel() {
    TImageForm& form = NewForm({WritePhoto(Path("a.jpg")), WritePhoto(Path("b.jpg")), WritePhoto(Path("c.jpg"))});
    form.ValueListEditor1->SetValue(TImageForm::kCommentKey, QStringLiteral("Лето"));
    form.OutlineCheck->click();  // pending, applied first
    qint64 shown = form.Image1->Picture().cacheKey();
    form.CommentToAllAction->trigger();
    QTRY_VERIFY(!form.LoadingPictures());  // the preview drawn by the workers
    for (TImgPanel* p : form.Panels()) QCOMPARE(p->Comment, QStringLiteral("Лето"));
    QVERIFY(!form.Panels()[0]->GetStampFont().outline);
    QVERIFY(form.Image1->Picture().cacheKey() != shown);
    shown = form.Image1->Picture().cacheKey();
    form.FontToAllAction->trigger();
    QTRY_VERIFY(!form.LoadingPictures());
    for (TImgPanel* p : form.Panels()) QCOMPARE(p->GetStampFont(), form.LabelFont);
    QVERIFY(form.LabelFont.outline && form.Image1->Picture().cacheKey() != shown);
  }

  // Every date the photo holds, with its source; the usual one taken; a pick
  // in the drop-down sets the text, which stays editable.
  void dateChoices() {
    TImageForm& form = NewForm({WritePhoto(Path("p.jpg"), kThreeDates),
                                WritePhoto(Path("q.jpg"), {{0x9003, "2019:07:14 10:20:30"}, {0x0132, "someday"}})});
    const QList<DateChoice> file{{"04.03.2021 05:06:06", DateSource::File}};
    QCOMPARE(form.CurrentPanel->DateChoices, (QList<DateChoice>{{"14.07.2019", DateSource::Original}} + file));
    TImgPanel* panel = form.Panels()[0];
    QCOMPARE(panel->DateChoices, (QList<DateChoice>{{"14.07.2019", DateSource::Original}, {"08.12.2002", DateSource::Digitized},
                                                    {"02.01.2020", DateSource::Modified}} + file));
    QCOMPARE(panel->DateFrom, DateSource::Original);  // the date taken comes first
    QTest::mouseClick(panel->NameLabel, Qt::LeftButton);
    TValueListEditor* editor = form.ValueListEditor1;
    QCOMPARE(editor->Note(TImageForm::kDateKey), QStringLiteral("EXIF съёмка"));
    editor->SetValue(TImageForm::kDateKey, QStringLiteral("08.12.2002"));  // as if the digitized one was picked
    editor->setFocus();
    editor->editItem(editor->item(0, 1));
    QComboBox* box = nullptr;
    QTRY_VERIFY((box = editor->findChild<QComboBox*>()) != nullptr);
    QCOMPARE(box->count(), 4);
    QCOMPARE(box->model()->index(3, 1).data().toString(), QStringLiteral("файл"));
    QTest::keyClick(box, Qt::Key_Up);  // from the digitized date to the shooting date
    QCOMPARE(editor->Value(TImageForm::kDateKey), QStringLiteral("14.07.2019"));
    QCOMPARE(editor->Note(TImageForm::kDateKey), QStringLiteral("EXIF съёмка"));
    QTest::keyClicks(box->lineEdit(), QStringLiteral("!"));
    QCOMPARE(editor->Note(TImageForm::kDateKey), QString());
    form.ApplyAction->trigger();
    QCOMPARE(panel->DateText, QStringLiteral("14.07.2019!"));
  }

  // The date of the source asked for, else the usual one; the same copy as
  // with that date given as text.
  void stampDateFrom() {
    const QString three = WritePhoto(Path("three/p.jpg"), kThreeDates);
    const QString one = WritePhoto(Path("one/q.jpg"), {{0x9003, "2019:07:14 10:20:30"}});
    const QString program = Path("tessaly-stamp");  // away from stored default fonts
    QVERIFY(QFile::copy(QStringLiteral(TESSALY_STAMP_PATH), program));
    QString errors;
    const auto run = [&](const QStringList& args) {
      QProcess stamp;
      stamp.setEnvironment(QProcess::systemEnvironment() << QStringLiteral("LC_ALL=ru_RU.UTF-8"));
      stamp.start(program, args);
      stamp.waitForFinished(60000);
      errors = QString::fromLocal8Bit(stamp.readAllStandardError()).trimmed().split(u'\n').last();
      return stamp.exitCode() == 0 ? Bytes(QString::fromLocal8Bit(stamp.readAllStandardOutput()).trimmed()) : QByteArray();
    };
    const struct { const char *source, *date; QString file; } cases[] = {{"original", "14.07.2019", three}, {"digitized", "08.12.2002", three}, {"modified", "02.01.2020", three},
                 {"file", "04.03.2021 05:06:06", three}, {"digitized", "14.07.2019", one}, {"modified", "14.07.2019", one}};
    for (const auto& c : cases) {
      const QByteArray chosen = run({"--date-from", c.source, c.file});
      QVERIFY2(!chosen.isEmpty() && chosen == run({"--date", QString::fromUtf8(c.date), c.file}), c.source);
    }
    QVERIFY(run({"--date-from", "shot", three}).isEmpty());
    QCOMPARE(errors, QStringLiteral("--date-from wants original, digitized, modified or file"));
    QVERIFY(run({"--outline", three}) != run({three}));
  }

  void typedTextReachesTheExport_data() {
    QTest::addColumn<QString>("trigger");
    for (const char* t : {"Export", "Export All", "another panel", "closing", "10x15"}) QTest::newRow(t) << QString(t);
  }
  void typedTextReachesTheExport() {
    QFETCH(QString, trigger);
    TImageForm& form = NewForm({WritePhoto(Path("a/a.jpg")), WritePhoto(Path("b/b.jpg"))});
    TImgPanel* typedFor = form.CurrentPanel;
    form.ValueListEditor1->setFocus();
    form.ValueListEditor1->editItem(form.ValueListEditor1->item(1, 1));
    QTRY_VERIFY(qobject_cast<QLineEdit*>(QApplication::focusWidget()));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("typed"));  // no Enter
    if (trigger == "Export") form.ExportAction->trigger();
    if (trigger == "Export All") {
      form.ExportAllAction->trigger();
      QTRY_VERIFY(!form.ExportRunning());
    }
    if (trigger == "another panel") QTest::mouseClick(form.Panels()[0]->NameLabel, Qt::LeftButton);
    if (trigger == "closing") QVERIFY(form.close());
    if (trigger == "10x15") form.CropAction->trigger();
    QCOMPARE(typedFor->Comment, QStringLiteral("typed"));
    if (trigger.startsWith("Export")) {
      const QByteArray copy = Bytes(Path("b/Export/b.jpg"));
      QCOMPARE(copy, Bytes(typedFor->ExportCopy()));
      typedFor->Comment.clear();
      QVERIFY(copy != Bytes(typedFor->ExportCopy()));
    }
  }

  // What the copies carry: the stored choices ticked in the Параметры menu,
  // used by Export and stored again on closing.
  void copyOptionsAreShownUsedAndStored() {
    QFile ini(Path("CopyOptions.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly) && ini.write("[Copy]\nKeepLocation=true\nQuality=72\n") > 0);
    ini.close();
    TImageForm& form = NewForm({WritePhoto(Path("p.jpg"), kThreeDates)});
    CopyOptionsMenu& menu = *form.CopyOptions;
    const auto ticked = [&] {
      QStringList texts;
      for (QAction* a : QList<QAction*>{menu.SrgbAction, menu.KeepLocationAction, menu.NoMetadataAction} +
                            menu.QualityMenu->actions())
        if (a->isChecked() && a->isVisible()) texts << a->text();
      return texts;
    };
    QCOMPARE(ticked(), QStringList({"Сохранять координаты", "72"}));
    form.ExportAction->trigger();
    QVERIFY(Bytes(Path("Export/p.jpg")).contains("Exif"));

    menu.NoMetadataAction->trigger();
    menu.QualityMenu->actions().first()->trigger();
    QCOMPARE(ticked(), QStringList({"Сохранять координаты", "Без метаданных", "100"}));
    QVERIFY(!menu.KeepLocationAction->isEnabled());  // nothing to keep it in
    form.ExportAction->trigger();
    QVERIFY(!Bytes(Path("Export/p.jpg")).contains("Exif"));
    QVERIFY(form.close());
    QCOMPARE(Bytes(Path("CopyOptions.ini")),
             QByteArray("[Copy]\nConvertToSrgb=false\nKeepLocation=true\nNoMetadata=true\nQuality=100\n"));
  }

  void escapeLeavesCropModeWithTheCropUnchanged() {
    TImageForm& form = NewForm();
    form.Image1->setFixedSize(800, 700);
    form.OpenPicture1Accept({WritePhoto(Path("p.jpg"), {}, QSize(400, 300))});
    const TRect before = form.CurrentPanel->CropRect;
    form.CropAction->trigger();
    QCOMPARE(QWidget::mouseGrabber(), form.Image1);
    form.Image1MouseMove(QPoint(400, 300));
    QVERIFY(form.ClipShape->y() > 0);  // the frame moved down
    QTest::keyClick(&form, Qt::Key_Escape);
    QVERIFY(!form.CropModeActive() && !form.ClipShape->isVisible() && form.StatusText->text().isEmpty());
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
    QCOMPARE(form.CurrentPanel->CropRect, before);
    QVERIFY(!form.CropAction->isChecked() && !form.CropEscapeAction->isEnabled());
  }
};

QTEST_MAIN(StampExtrasTest)
#include "stamp_extras_test.moc"
