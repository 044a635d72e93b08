// The main window driven as a person uses it: opening pictures, selecting,
// typing, applying, fonts, the 10x15 frame, export, and the stored default
// font. The modal dialogs are replaced by scripted answers.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QPainter>
#include <QProgressBar>
#include <QScopeGuard>
#include <QThread>
#include <QSemaphore>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <optional>

#include "FontDialogFile.h"
#include "ImageView.h"
#include "ImgMain.h"
#include "ImgPanel.h"
#include "ValueListEditor.h"

using tessaly::TImageForm;
using tessaly::TImgPanel;
using tessaly::TRect;
using tessaly::TStampFont;

namespace {

// A picture with a gradient and a grid, so that scaling and cropping show.
QString WritePicture(const QString& path, int width, int height, const char* format = "JPG") {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      image.setPixel(x, y, qRgb(255 * x / width, 255 * y / height, (x / 50 + y / 50) % 2 ? 200 : 60));
  QDir().mkpath(QFileInfo(path).absolutePath());
  if (!image.save(path, format, 90)) qFatal("cannot write %s", qPrintable(path));
  return path;
}

QColor LabelColor(TImgPanel* panel) { return panel->NameLabel->palette().color(QPalette::Window); }

QSize ImageSize(const QString& path) { return QImageReader(path).size(); }

}  // namespace

class ImageFormTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<TImageForm> form_;
  QStringList errors_;
  QList<TStampFont> fontsShown_;     // what each font dialog was preset with
  std::optional<TStampFont> fontAnswer_;  // OK with this font; Cancel when empty

  QString Path(const QString& name) const { return dir_->filePath(name); }

  TImageForm& NewForm() {
    form_.reset();
    form_ = std::make_unique<TImageForm>(dir_->path());
    form_->ShowError = [this](const QString& m) { errors_ << m; };
    form_->RunFontDialog = [this](TStampFont& font) {
      fontsShown_ << font;
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

  // Lets the redraw timer fire and the workers deliver the thumbnails and
  // the preview.
  void WaitForPreview() {
    QTRY_VERIFY(!form_->Timer1->isActive());
    QTRY_VERIFY(!form_->LoadingPictures());
    QCoreApplication::processEvents();
  }

  // Types into the comment cell's in-place editor, which keeps the focus.
  static void TypeComment(TImageForm& form, const QString& text) {
    form.ValueListEditor1->setFocus();
    form.ValueListEditor1->editItem(form.ValueListEditor1->item(1, 1));
    QTRY_VERIFY(qobject_cast<QLineEdit*>(QApplication::focusWidget()));
    QTest::keyClicks(QApplication::focusWidget(), text);
  }

  // Opens a picture of the given size into a preview view of 800 x 700.
  TImgPanel* OpenIntoFixedView(int width, int height) {
    TImageForm& form = NewForm();
    form.Image1->setFixedSize(800, 700);
    form.OpenPicture1Accept({WritePicture(Path(QStringLiteral("p%1x%2.jpg").arg(width).arg(height)), width, height)});
    WaitForPreview();
    return form.CurrentPanel;
  }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    errors_.clear();
    fontsShown_.clear();
    fontAnswer_.reset();
  }
  void cleanup() {
    if (form_) form_->ShowError = [](const QString&) {};
    form_.reset();
    QCOMPARE(errors_, QStringList());
  }

  void startsEmptyWithTheActionsOfTheDesign() {
    TImageForm& form = NewForm();
    QCOMPARE(form.windowTitle(), QStringLiteral("Tessaly Orvanel"));
    const struct {
      QAction* action;
      const char* text;
      bool enabled;
    } actions[] = {
        {form.OpenPicture1, "&Open Picture...", true}, {form.ExportAction, "Export", true},
        {form.ExportAllAction, "Ex&port All", true},   {form.CloseImageAction, "Закрыть", true},
        {form.FileExit1, "E&xit", true},               {form.FontAction, "Шрифт по умолчанию", true},
        {form.ApplyAction, "Применить", false},        {form.ImgFontAction, "Шрифт", true},
        {form.CropAction, "10x15", false},
    };
    for (const auto& a : actions) {
      QCOMPARE(a.action->text(), QString::fromUtf8(a.text));
      QCOMPARE(a.action->isEnabled(), a.enabled);
    }
    QCOMPARE(form.OpenPicture1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    QCOMPARE(form.ApplyAction->shortcut(), QKeySequence(Qt::Key_Return));
    QVERIFY(form.CropAction->isCheckable());
    // Menus and tool bar in their order, each entry as icon text|text;
    // "|" is the separator.
    const auto texts = [](const QList<QAction*>& actions) {
      QStringList out;
      for (const QAction* a : actions) out << a->iconText() + "|" + a->text();
      return out;
    };
    QStringList menus;
    for (QAction* menu : form.menuBar()->actions()) menus << menu->text() + ": " + texts(menu->menu()->actions()).join(", ");
    QCOMPARE(menus, QStringList({"Файл: Open Picture|&Open Picture..., Export|Export, Export All|Ex&port All, "
                                 "Печать|Печать..., Предпросмотр печати|Предпросмотр печати..., "
                                 "Печать в PDF|Печать в PDF..., |, "
                                 "Закрыть|Закрыть, Exit|E&xit",
                                 "Правка: Отменить|Отменить, Повторить|Повторить, |, Забыть правки|Забыть правки",
                                 "Параметры: Шрифт по умолчанию|Шрифт по умолчанию, Шрифт для всех|Шрифт для всех, "
                                 "Комментарий для всех|Комментарий для всех, |, Преобразовать в sRGB|Преобразовать в sRGB, "
                                 "Сохранять координаты|Сохранять координаты, Без метаданных|Без метаданных, "
                                 "Качество JPEG|Качество JPEG",
                                 "Печать: Формат|Формат, С полями|С полями, Формат для всех|Формат для всех, |, "
                                 "Положение штампа|Положение штампа, Безопасные поля|Безопасные поля, "
                                 "Форма даты|Форма даты, Плёнка|Плёнка"}));
    // The print format's button beside 10x15.
    QCOMPARE(texts(form.ActionToolBar1->actions()), QStringList({"Закрыть|Закрыть", "Применить|Применить", "&10x15|10x15", "|"}));
    QCOMPARE(form.ValueListEditor1->rowCount(), 2);
    QCOMPARE(form.ValueListEditor1->item(0, 0)->text(), TImageForm::kDateKey);
    QCOMPARE(form.ValueListEditor1->item(1, 0)->text(), TImageForm::kCommentKey);
    QCOMPARE(form.ImgCmtLabel->text(), QStringLiteral("АаБбВв"));
    QVERIFY(form.Image1->Picture().isNull());
    QVERIFY(!form.ClipShape->isVisible());
    QVERIFY(!form.ProgressBar1->isVisible());
    QCOMPARE(form.DefaultFont, TStampFont{});  // no stored font yet
  }

  void openingThreeFilesSelectsEachInTurn() {
    TImageForm& form = NewForm();
    QStringList files;
    for (int i = 0; i < 3; ++i) {
      files << WritePicture(Path(QStringLiteral("f%1.bmp").arg(i)), 300, 200, "BMP");
      QFile(files.last()).setFileTime(QDateTime(QDate(2020, 1, 1 + i), QTime(0, 0)),
                                      QFileDevice::FileModificationTime);
    }
    QStringList datesShown;
    connect(form.ValueListEditor1, &tessaly::TValueListEditor::StringsChange, this,
            [&] { datesShown << form.ValueListEditor1->Value(TImageForm::kDateKey); });
    form.OpenPicture1Accept(files);

    const QList<TImgPanel*> panels = form.Panels();
    QCOMPARE(panels.size(), 3);
    QStringList expected;
    for (TImgPanel* p : panels) expected << p->DateText << p->DateText;  // date, then comment row
    QCOMPARE(datesShown, expected);
    QCOMPARE(form.CurrentPanel, panels[2]);
    QCOMPARE(LabelColor(panels[2]), QColor(255, 255, 0));
    QVERIFY(LabelColor(panels[0]) != QColor(255, 255, 0));
    QCOMPARE(LabelColor(panels[0]), LabelColor(panels[1]));
    QVERIFY(form.ApplyAction->isEnabled());
    QVERIFY(form.CropAction->isEnabled() && !form.CropAction->isChecked());
    QTRY_VERIFY(panels[2]->y() < panels[1]->y() && panels[1]->y() < panels[0]->y());  // newest on top
    WaitForPreview();
    QVERIFY(!form.Image1->Picture().isNull());
  }

  void selectingAndTyping() {
    TImageForm& form = NewForm();
    form.OpenPicture1Accept({WritePicture(Path("a.jpg"), 400, 300), WritePicture(Path("b.jpg"), 400, 300)});
    WaitForPreview();
    TImgPanel* first = form.Panels()[0];
    TImgPanel* second = form.CurrentPanel;
    const qint64 preview = form.Image1->Picture().cacheKey();

    // Typing, then clicking the current panel again (the focus comes back to
    // it): no redraw, no editor reset.
    TypeComment(form, QStringLiteral("typed"));
    QTest::mouseClick(second->NameLabel, Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), second);
    QCOMPARE(form.CurrentPanel, second);
    QCOMPARE(form.ValueListEditor1->Value(TImageForm::kCommentKey), QStringLiteral("typed"));
    QVERIFY(!form.Timer1->isActive());
    QCOMPARE(form.Image1->Picture().cacheKey(), preview);

    // Selecting another panel first applies what was typed to the panel
    // left behind.
    QTest::mouseClick(first->NameLabel, Qt::LeftButton);
    QCOMPARE(form.CurrentPanel, first);
    QCOMPARE(form.ValueListEditor1->Value(TImageForm::kCommentKey), QString());
    QCOMPARE(second->Comment, QStringLiteral("typed"));
    QVERIFY(form.Image1->Picture().isNull());  // cleared until the timer draws
    WaitForPreview();

    // Enter while typing applies the typed text and disables Apply.
    form.ApplyAction->setEnabled(false);
    TypeComment(form, QStringLiteral("Sea"));
    QVERIFY(form.ApplyAction->isEnabled());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(first->Comment, QStringLiteral("Sea"));
    QVERIFY(!form.ApplyAction->isEnabled());
    QCOMPARE(second->Comment, QStringLiteral("typed"));
  }

  // With an empty comment the date takes the comment's line: the preview is
  // the same as one with the date as the comment and no date.
  void emptyCommentPutsDateOnBottomLine() {
    TImageForm& form = NewForm();
    form.OpenPicture1Accept({WritePicture(Path("c.jpg"), 600, 400)});
    WaitForPreview();
    auto preview = [&](const QString& date, const QString& comment) {
      form.ValueListEditor1->SetValue(TImageForm::kDateKey, date);
      form.ValueListEditor1->SetValue(TImageForm::kCommentKey, comment);
      form.ApplyAction->trigger();
      WaitForPreview();  // drawn by the workers
      return form.Image1->Picture();
    };
    const QImage dateOnly = preview("01.02.2003", "");
    QCOMPARE(preview("", "01.02.2003"), dateOnly);
    QVERIFY(preview("01.02.2003", "x") != dateOnly);
    QVERIFY(preview("", "") != dateOnly);
  }

  void closeWithoutCurrentPictureOnlyDisablesTwoActions() {
    TImageForm& form = NewForm();
    form.OpenPicture1Accept({WritePicture(Path("d.jpg"), 300, 200), WritePicture(Path("e.jpg"), 300, 200)});
    WaitForPreview();
    form.CloseImageAction->trigger();
    // The next picture becomes current; closing the last clears the view.
    QCOMPARE(form.CurrentPanel, form.Panels().value(0));
    QCOMPARE(form.Panels().size(), 1);
    form.CloseImageAction->trigger();
    QCOMPARE(form.CurrentPanel, nullptr);
    QCOMPARE(form.Panels().size(), 0);
    const QImage shown = form.Image1->Picture();
    QVERIFY(shown.isNull());

    form.ApplyAction->setEnabled(true);
    form.CropAction->setEnabled(true);
    form.CloseImageAction->trigger();
    QCOMPARE(form.Panels().size(), 0);
    QVERIFY(!form.ApplyAction->isEnabled() && !form.CropAction->isEnabled());
    for (QAction* a : {form.OpenPicture1, form.ExportAction, form.ExportAllAction, form.CloseImageAction,
                       form.FileExit1, form.FontAction, form.ImgFontAction})
      QVERIFY(a->isEnabled());
    QCOMPARE(form.Image1->Picture(), shown);
  }

  void pictureFontDialogRules() {
    TImageForm& form = NewForm();
    // No current picture: OK changes nothing.
    fontAnswer_ = TStampFont{};
    fontAnswer_->height = -30;
    form.ImgFontAction->trigger();
    QCOMPARE(form.LabelFont, TStampFont{});
    QVERIFY(!form.ApplyAction->isEnabled());

    form.OpenPicture1Accept({WritePicture(Path("f.jpg"), 300, 200)});
    form.ApplyAction->trigger();
    TImgPanel* panel = form.CurrentPanel;
    const TStampFont applied = panel->GetStampFont();

    TStampFont chosen;
    chosen.name = QStringLiteral("DejaVu Serif");
    chosen.bold = true;
    chosen.color = 0x0000FF;
    fontAnswer_.reset();  // Cancel
    form.ImgFontAction->trigger();
    QCOMPARE(form.LabelFont, applied);
    QVERIFY(!form.ApplyAction->isEnabled());

    fontAnswer_ = chosen;  // OK: the sample only, until Apply
    form.ImgFontAction->trigger();
    QCOMPARE(form.LabelFont, chosen);
    QCOMPARE(form.ImgCmtLabel->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QCOMPARE(panel->GetStampFont(), applied);
    QVERIFY(form.ApplyAction->isEnabled());

    fontAnswer_.reset();  // again before Apply: preset from the panel
    form.ImgFontAction->trigger();
    QCOMPARE(fontsShown_.last(), applied);
    QCOMPARE(form.LabelFont, chosen);

    form.ApplyAction->trigger();
    QCOMPARE(panel->GetStampFont(), chosen);
  }

  void defaultFontGoesToPicturesOpenedAfterwards() {
    TImageForm& form = NewForm();
    form.OpenPicture1Accept({WritePicture(Path("g.jpg"), 300, 200)});
    TImgPanel* before = form.CurrentPanel;
    fontAnswer_.reset();
    form.FontAction->trigger();
    QCOMPARE(form.DefaultFont, TStampFont{});

    TStampFont chosen;
    chosen.height = -40;
    fontAnswer_ = chosen;
    form.FontAction->trigger();
    QCOMPARE(form.DefaultFont, chosen);
    QCOMPARE(before->GetStampFont(), TStampFont{});
    form.OpenPicture1Accept({WritePicture(Path("h.jpg"), 300, 200)});
    QCOMPARE(form.CurrentPanel->GetStampFont(), chosen);
    QCOMPARE(form.LabelFont, chosen);
  }

  void redrawTimerIsNotRestartedByEnablingAgain() {
    TImageForm& form = NewForm();
    WaitForPreview();
    QCOMPARE(form.Timer1->interval(), 300);
    // Some of the count gone, however long that takes; a restart would
    // begin it again. (A busy machine may let the timer fire meanwhile: then
    // once more.)
    int left = -1;
    for (int attempt = 0; attempt < 10 && left < 0; ++attempt) {
      form.Panel1Resize();
      QTRY_VERIFY(!form.Timer1->isActive() || form.Timer1->remainingTime() < 290);
      left = form.Timer1->isActive() ? form.Timer1->remainingTime() : -1;
    }
    QVERIFY(left >= 0);
    form.Panel1Resize();
    QVERIFY(form.Timer1->remainingTime() <= left);
  }

  // The frame for pictures of each shape, in a view of 800 x 700; the pointer
  // is moved to (x, y) and the frame pressed.
  void cropFrame_data() {
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QPoint>("pointer");
    QTest::addColumn<QRect>("frame");     // before moving
    QTest::addColumn<QPoint>("moved");    // frame position after the move
    QTest::addColumn<QRect>("crop");
    QTest::addColumn<bool>("cropped");
    QTest::newRow("3:2") << QSize(1500, 1000) << QPoint(400, 400) << QRect(0, 0, 800, 533) << QPoint(0, 0)
                         << QRect(QPoint(0, 0), QPoint(1499, 999)) << false;
    QTest::newRow("4:3") << QSize(4000, 3000) << QPoint(400, 296) << QRect(0, 0, 800, 533) << QPoint(0, 30)
                         << QRect(QPoint(0, 150), QPoint(3999, 2816)) << true;
    QTest::newRow("portrait 3:4") << QSize(1500, 2000) << QPoint(300, 600) << QRect(0, 0, 467, 700)
                                  << QPoint(58, 0) << QRect(QPoint(166, 0), QPoint(1498, 1999)) << true;
    // Wider than 3:2 the frame keeps the height and trims the sides: 675 x 450
    // over 800 x 450, centred on the pointer at x 63 = 7.875%, which is 126
    // of the picture's 1600 pixels.
    QTest::newRow("16:9") << QSize(1600, 900) << QPoint(400, 400) << QRect(0, 0, 675, 450) << QPoint(63, 0)
                          << QRect(QPoint(126, 0), QPoint(1475, 899)) << true;
  }
  void cropFrame() {
    QFETCH(QSize, picture);
    QFETCH(QPoint, pointer);
    QFETCH(QRect, frame);
    QFETCH(QPoint, moved);
    QFETCH(QRect, crop);
    QFETCH(bool, cropped);
    TImgPanel* panel = OpenIntoFixedView(picture.width(), picture.height());
    TImageForm& form = *form_;

    form.CropAction->trigger();
    QVERIFY(form.CropModeActive());
    QVERIFY(form.CropAction->isChecked());
    QCOMPARE(form.ClipShape->geometry(), frame);
    QVERIFY(form.ClipShape->isVisible());
    QCOMPARE(form.StatusText->text(), QStringLiteral("Для завершения нажмите правую кнопку мыши"));

    form.Image1MouseMove(pointer);
    QCOMPARE(form.ClipShape->pos(), moved);
    form.ClipShapeMouseDown();
    QCOMPARE(panel->CropRect, (TRect{crop.left(), crop.top(), crop.right() + 1, crop.bottom() + 1}));
    QCOMPARE(panel->IsCropped(), cropped);
    QVERIFY(form.CropAction->isChecked());
    QVERIFY(!form.CropModeActive());
    QVERIFY(!form.ClipShape->isVisible());
    QCOMPARE(form.StatusText->text(), QString());
    QVERIFY(!form.ApplyAction->isEnabled());

    // Running the action again removes the cut.
    form.CropAction->trigger();
    QVERIFY(!form.CropAction->isChecked() && !form.CropModeActive());
    QCOMPARE(panel->CropRect, (TRect{0, 0, picture.width(), picture.height()}));
  }

  // The frame right after a selection, before the timer has drawn the
  // preview: the preview is drawn first, so the frame can be pressed.
  void cropRightAfterSelecting() {
    TImageForm& form = NewForm();
    form.Image1->setFixedSize(800, 700);
    form.OpenPicture1Accept({WritePicture(Path("q.jpg"), 1200, 900)});
    QVERIFY(form.Timer1->isActive());
    form.CropAction->trigger();
    QCOMPARE(form.ClipShape->geometry(), QRect(0, 0, 800, 533));
    QVERIFY(form.CropModeActive());
    QVERIFY(!form.Timer1->isActive());
  }

  // A left-button press on the frame ends the mode as the right one does,
  // and pending editor text is applied with the crop.
  void leftPressOnFrameEndsMode() {
    TImgPanel* panel = OpenIntoFixedView(1200, 900);
    TImageForm& form = *form_;
    form.ValueListEditor1->SetValue(TImageForm::kCommentKey, QStringLiteral("pending"));
    form.CropAction->trigger();
    QTest::mouseClick(form.ClipShape, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(!form.CropModeActive());
    QCOMPARE(panel->Comment, QStringLiteral("pending"));
    WaitForPreview();
    QCOMPARE(form.Image1->Picture().size(), QSize(800, 533));
  }

  // The picture vanished while the frame was shown: the error is reported,
  // the preview stays, and the pointer is let go all the same.
  void failedApplyStillEndsCropMode() {
    TImgPanel* panel = OpenIntoFixedView(1200, 900);
    TImageForm& form = *form_;
    const QImage shown = form.Image1->Picture();
    form.CropAction->trigger();
    QVERIFY(QFile::remove(panel->FileName));
    QTest::mouseClick(form.ClipShape, Qt::RightButton, {}, QPoint(5, 5));
    QVERIFY(!form.CropModeActive());  // at once, before the workers answer
    WaitForPreview();
    QCOMPARE(errors_.size(), 1);
    errors_.clear();
    QVERIFY(!form.CropModeActive());
    QVERIFY(!form.ClipShape->isVisible());
    QCOMPARE(form.StatusText->text(), QString());
    QVERIFY(!form.ApplyAction->isEnabled());
    QCOMPARE(form.Image1->Picture(), shown);
  }

  // Apply draws nothing on the window's thread, and a newer Apply replaces
  // an older one: the older answer, held until the newer one is shown, is
  // dropped.
  void applyDrawsOnTheWorkersNewestWins() {
    TImageForm& form = NewForm();
    QSemaphore go;
    QAtomicInt oldStarted = 0, oldDone = 0;
    const auto letGo = qScopeGuard([&] { go.release(10), form_.reset(); });  // whatever fails
    form.ScrollBox1->SetRenderWorker([&](const tessaly::RenderJob& job, const tessaly::RenderTarget& target) {
      const bool old = job.comment == "old";
      if (old) oldStarted.storeRelease(1), go.acquire();
      tessaly::RenderResult result = tessaly::Render(job, target);
      if (old) oldDone.storeRelease(1);
      return result;
    });
    form.OpenPicture1Accept({WritePicture(Path("w.jpg"), 1200, 900)});
    WaitForPreview();
    const qint64 before = form.Image1->Picture().cacheKey();
    for (const char* comment : {"old", "new"}) {
      form.ValueListEditor1->SetValue(TImageForm::kCommentKey, comment);
      form.ApplyAction->trigger();
      QCOMPARE(form.Image1->Picture().cacheKey(), before);
      QTRY_VERIFY(oldStarted.loadAcquire());
    }
    if (QThread::idealThreadCount() > 1) QTRY_VERIFY(!form.LoadingPictures());  // "new" shown first
    go.release();
    QTRY_VERIFY(oldDone.loadAcquire());
    WaitForPreview();
    QCOMPARE(form.Image1->Picture(), tessaly::Render(form.CurrentPanel->StampedJob(), form.Image1->Target()).image);
  }

  void exportWithoutCurrentPictureDoesNothing() {
    TImageForm& form = NewForm();
    form.ExportAction->trigger();
    form.OpenPicture1Accept({WritePicture(Path("in/x.jpg"), 300, 200)});
    form.CloseImageAction->trigger();
    form.ExportAction->trigger();
    QVERIFY(!QDir(Path("in/Export")).exists());
  }

  void exportWritesTheCurrentPicture() {
    TImageForm& form = NewForm();
    form.OpenPicture1Accept({WritePicture(Path("one/pic.bmp"), 1200, 900, "BMP")});
    form.CurrentPanel->SetCropTop(5);
    form.ExportAction->trigger();
    // JPEG data, named as JPEG.
    QFile copy(Path("one/Export/pic.jpg"));
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.read(2), QByteArray("\xFF\xD8"));
    copy.seek(0);
    QImageReader reader(&copy, "jpeg");
    QCOMPARE(reader.size(), QSize(1200, 800));
  }

  // A file given twice is opened once: the second time selects its panel.
  void exportAllWritesEveryCopyOldestFirst() {
    TImageForm& form = NewForm();
    const QString same = WritePicture(Path("s/same.jpg"), 400, 300);
    form.OpenPicture1Accept({same, WritePicture(Path("t/other.jpg"), 300, 200), same});
    QCOMPARE(form.CurrentPanel, form.Panels().value(0));
    form.CurrentPanel->SetCropTop(0);  // 400 x 267
    form.ExportAllAction->trigger();
    QTRY_VERIFY(!form.ExportRunning());
    QCOMPARE(ImageSize(Path("s/Export/same.jpg")), QSize(400, 267));
    QCOMPARE(ImageSize(Path("t/Export/other.jpg")), QSize(300, 200));
    QCOMPARE(form.ProgressBar1->parentWidget(), form.StatusBar1);
    QCOMPARE(form.ProgressBar1->maximum(), 2);
    QCOMPARE(form.ProgressBar1->value(), 2);
    QVERIFY(!form.ProgressBar1->isVisible());
  }

  // A photo replaced by a smaller one after it was opened: its copy is cut
  // from the new picture, and its panel takes the new facts.
  void exportAllTakesAReplacedPhotosNewSize() {
    TImageForm& form = NewForm();
    const QString path = WritePicture(Path("r/photo.jpg"), 480, 320);
    form.OpenPicture1Accept({path});
    WaitForPreview();
    form.CurrentPanel->SetCropTop(10);
    WritePicture(path, 320, 240);
    form.ExportAllAction->trigger();
    QTRY_VERIFY(!form.ExportRunning());
    QCOMPARE(ImageSize(Path("r/Export/photo.jpg")), QSize(320, 213));
    QCOMPARE(form.CurrentPanel->CropRect, (TRect{0, 24, 320, 237}));
    QCOMPARE(form.CurrentPanel->PictureWidth, 320);
  }

  // A photo whose file has gone is left out; the run goes on to the others
  // and its summary lists it with the reason; the bar goes.
  void exportAllGoesOnPastAFailure() {
    TImageForm& form = NewForm();
    form.OpenPicture1Accept({WritePicture(Path("u/1.jpg"), 300, 200), WritePicture(Path("u/2.jpg"), 300, 200),
                             WritePicture(Path("u/3.jpg"), 300, 200)});
    WaitForPreview();  // the thumbnails are made before the file goes
    QVERIFY(QFile::remove(Path("u/2.jpg")));
    QStringList summaries;
    form.ShowExportSummary = [&](const QString& text, const QString&) { summaries << text; };
    form.ExportAllAction->trigger();
    QTRY_VERIFY(!form.ExportRunning());
    QCOMPARE(summaries, QStringList{"Экспорт завершён.\nЗаписано копий: 2 из 3.\n\nПропущены фотографии (1):\n" +
                                    Path("u/2.jpg") + " — не удалось открыть: No such file or directory"});
    QVERIFY(QFile::exists(Path("u/Export/1.jpg")));
    QVERIFY(QFile::exists(Path("u/Export/3.jpg")));
    QVERIFY(!form.ProgressBar1->isVisible());
    QCOMPARE(form.ProgressBar1->value(), 3);
  }

  // A file that fails keeps its panel, with its error on it, but never
  // becomes current; the files after it are opened all the same, and one
  // error box lists the failures once loading has ended.
  void failingFileKeepsItsPanelAndTheOthersOpen() {
    TImageForm& form = NewForm();
    QFile bad(Path("bad.jpg"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("not a picture");
    bad.close();
    const QStringList chosen{WritePicture(Path("ok.jpg"), 300, 200), Path("bad.jpg"), Path("never.jpg"),
                             WritePicture(Path("last.jpg"), 300, 200)};
    form.RunOpenDialog = [&] { return chosen; };
    form.OpenPicture1->trigger();
    QTRY_VERIFY(!form.LoadingPictures());
    QCOMPARE(errors_.size(), 1);
    const QStringList listed = errors_[0].split(u'\n');
    QCOMPARE(listed.size(), 2);
    QVERIFY(listed[0].contains(Path("bad.jpg")));
    QCOMPARE(listed[1], "Cannot open " + Path("never.jpg") + ": No such file or directory");
    errors_.clear();
    const QList<TImgPanel*> panels = form.Panels();
    QCOMPARE(panels.size(), 4);
    QCOMPARE(form.CurrentPanel, panels[3]);
    QCOMPARE(panels[2]->toolTip(), listed[1]);
    QCOMPARE(panels[2]->ThumbnailNote->text(), listed[1]);
    QTest::mouseClick(panels[1]->NameLabel, Qt::LeftButton);
    QCOMPARE(form.CurrentPanel, panels[3]);
  }

  void defaultFontStoredAtCloseAndReadAtStart() {
    TImageForm& form = NewForm();
    TStampFont chosen;
    chosen.name = QStringLiteral("DejaVu Sans Mono");
    chosen.height = -16;
    chosen.italic = true;
    chosen.charset = 204;
    chosen.pitch = 2;
    form.DefaultFont = chosen;
    QVERIFY(form.close());
    QFile file(Path("FontDialog.res"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    file.close();
    QCOMPARE(written, tessaly::FontDialogResource(chosen));

    QCOMPARE(NewForm().DefaultFont, chosen);
    QVERIFY(form_->close());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), written);  // read back and written byte for byte
    file.close();

    for (const QByteArray& corrupt : {QByteArray(), QByteArray("\x00\x0A\x00", 3), written.left(30)}) {
      QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
      file.write(corrupt);
      file.close();
      QCOMPARE(NewForm().DefaultFont, TStampFont{});
    }
  }

  void failedFontWriteKeepsWindowOpen() {
    TImageForm& form = NewForm();
    QVERIFY(QDir(dir_->path()).mkdir("FontDialog.res"));  // a folder in the way
    QVERIFY(!form.close());
    QVERIFY(form.isVisible());
    QCOMPARE(errors_.size(), 1);
    QVERIFY(errors_[0].startsWith("Не могу создать файл \"" + Path("FontDialog.res") + "\". "));
    errors_.clear();
    QVERIFY(QDir(dir_->path()).rmdir("FontDialog.res"));
    QVERIFY(form.close());
  }
};

QTEST_MAIN(ImageFormTest)
#include "imagemain_test.moc"
