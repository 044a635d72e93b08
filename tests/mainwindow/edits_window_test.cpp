// Edits kept between runs, undo and redo, and the column of panels, as a
// person meets them in the window: closed and opened again, moved, killed,
// a broken database; each kind of change undone and redone; no picture
// twice, the next after Закрыть, the keys.
#include <QProcess>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <sqlite3.h>

#include "EditStore.h"
#include "ImageView.h"
#include "ImgMain.h"
#include "JpegWithExif.h"
#include "PhotoBuilder.h"
#include "PictureEdits.h"
#include "ValueListEditor.h"

using namespace tessaly;

namespace {

// A JPEG photo with the three EXIF dates; each file's pixels differ, so
// their fingerprints do.
QString WritePhoto(const QString& path, int shade) {
  QImage image(QSize(400, 300), QImage::Format_RGB32);  // 4:3, so a 10x15 frame cuts
  image.fill(QColor(shade, 60, 90));
  testing::TiffBuilder tiff(false);
  const int exif = tiff.AddDirectory();
  tiff.Link(0, 0x8769, exif);
  tiff.AddAscii(exif, 0x9003, "2014:09:12 10:20:30");
  tiff.AddAscii(exif, 0x9004, "2002:12:08 12:00:00");
  tiff.AddAscii(0, 0x0132, "2020:01:02 03:04:05");
  return WriteJpegWithExif(path, image, tiff.Build());
}

}  // namespace

class EditsWindowTest : public QObject {
  Q_OBJECT

  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<TImageForm> form_;
  QStringList errors_;
  int asked_ = 0;  // questions on closing with edits not exported

  QString Path(const QString& name) const { return dir_->filePath(name); }
  QString Db() const { return Path("data/edits.sqlite"); }

  TImageForm& NewForm(const QStringList& photos = {}, const QString& db = {}) {
    form_ = std::make_unique<TImageForm>(dir_->path());
    form_->ShowError = [this](const QString& m) { errors_ << m; };
    form_->AskCloseWithEdits = [this](int) { return ++asked_, true; };
    form_->resize(1000, 800);
    form_->show();
    form_->activateWindow();  // for the shortcuts
    if (!QTest::qWaitForWindowActive(form_.get())) qWarning("window not active");
    form_->UseEditStore(db.isEmpty() ? Db() : db);
    form_->OpenPicture1Accept(photos);
    return *form_;
  }
  QStringList Folder(const QString& folder) {
    QStringList photos;
    for (int i = 0; i < 3; ++i) photos << WritePhoto(Path(folder + QStringLiteral("/p%1.jpg").arg(i)), 40 * i);
    return photos;
  }
  // Types into the editor and applies, as a person would.
  static void Apply(TImageForm& form, const QString& date, const QString& comment) {
    form.ValueListEditor1->SetValue(TImageForm::kDateKey, date);
    form.ValueListEditor1->SetValue(TImageForm::kCommentKey, comment);
    form.ApplyAction->trigger();
  }
  static TStampFont BigFont() {
    TStampFont font;
    font.name = QStringLiteral("DejaVu Serif");
    font.height = -40;
    font.bold = true;
    font.color = 0x0000FFu;
    return font;
  }
  // Every picture's edits, by file name.
  static QMap<QString, PictureState> States(TImageForm& form) {
    QMap<QString, PictureState> states;
    for (TImgPanel* p : form.Panels()) states[QFileInfo(p->FileName).fileName()] = TPictureEdits::StateOf(*p);
    return states;
  }
  // Texts, a font and a crop on three photos.
  static void EditAll(TImageForm& form) {
    const QList<TImgPanel*> panels = form.Panels();
    form.SelectPanel(panels[0]);
    Apply(form, QStringLiteral("01.01.2001"), QStringLiteral("Первая"));
    form.SelectPanel(panels[1]);
    form.ImgFontDialogFont = BigFont();
    form.ImgFontActionAccept();
    Apply(form, panels[1]->DateText, QStringLiteral("Вторая"));
    form.SelectPanel(panels[2]);
    form.CurrentPanel->SetCropTop(10);  // as the 10x15 frame's click does
    form.SetApplyEnabled(true);
    form.ApplyAction->trigger();
  }

 private slots:
  void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    errors_.clear();
    asked_ = 0;
  }
  void cleanup() { form_.reset(); }

  // Closed and opened again on the same folder, then on the folder moved:
  // the same texts, fonts and crops, and a note of how many came back.
  void editsComeBackAfterClosingAndMoving() {
    const QStringList photos = Folder("photos");
    TImageForm& form = NewForm(photos);
    EditAll(form);
    const QMap<QString, PictureState> edited = States(form);
    QVERIFY(edited["p1.jpg"].font == BigFont() && edited["p2.jpg"].cropped);
    QVERIFY(form.close());
    QCOMPARE(asked_, 1);  // none exported

    TImageForm& again = NewForm(photos);
    QCOMPARE(States(again), edited);
    QCOMPARE(again.StatusText->text(), QStringLiteral("Восстановлено правок: 3"));
    // The restored picture shows its edits at once.
    QCOMPARE(again.ValueListEditor1->Value(TImageForm::kCommentKey), again.CurrentPanel->Comment);
    form_.reset();

    QVERIFY(QDir(dir_->path()).rename("photos", "moved elsewhere"));
    QStringList moved;
    for (int i = 0; i < 3; ++i) moved << Path(QStringLiteral("moved elsewhere/p%1.jpg").arg(i));
    TImageForm& third = NewForm(moved);
    QCOMPARE(States(third), edited);
    QCOMPARE(third.StatusText->text(), QStringLiteral("Восстановлено правок: 3"));

    // Forgotten: back to what the file gives, and not found next time; an
    // undo brings them back.
    third.SelectPanel(third.Panels()[0]);
    third.ForgetEditsAction->trigger();
    QCOMPARE(third.CurrentPanel->Comment, QString());
    QCOMPARE(third.CurrentPanel->DateText, QStringLiteral("12.09.2014"));
    third.UndoAction->trigger();
    QCOMPARE(third.CurrentPanel->Comment, QStringLiteral("Первая"));
    third.RedoAction->trigger();
    form_.reset();
    TImageForm& fourth = NewForm(moved);
    QCOMPARE(fourth.StatusText->text(), QStringLiteral("Восстановлено правок: 2"));
    QCOMPARE(errors_, QStringList());
  }

  // A window killed (SIGKILL) right after its Apply loses nothing.
  void killedWindowLosesNoAppliedEdit() {
    const QString photo = WritePhoto(Path("k/photo.jpg"), 10);
    QProcess helper;
    helper.setEnvironment(QProcess::systemEnvironment() << QStringLiteral("QT_QPA_PLATFORM=offscreen"));
    helper.start(QStringLiteral(TESSALY_EDITS_HELPER), {Db(), photo, QStringLiteral("До сбоя")});
    QVERIFY(helper.waitForFinished(60000));
    QCOMPARE(helper.exitStatus(), QProcess::CrashExit);
    QCOMPARE(helper.readAllStandardOutput(), QByteArray("applied\n"));
    TImageForm& form = NewForm({photo});
    QCOMPARE(form.CurrentPanel->Comment, QStringLiteral("До сбоя"));
  }

  // A damaged database and one held by another window: one message each,
  // and the window works on (the damaged file kept aside).
  void brokenDatabaseSaysSoOnce() {
    const QString damaged = Path("damaged.sqlite");
    QFile junk(damaged);
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    const QString held = Path("held.sqlite");
    { EditStore make(held); }
    sqlite3* other = nullptr;
    QCOMPARE(sqlite3_open(held.toUtf8().constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    const struct {
      QString db, message;
    } cases[] = {{damaged, damaged + " был повреждён. Он сохранён как " + damaged + ".damaged; правки пишутся в новый файл."},
                 {held, "Правки не сохраняются: " + held + " занят другим окном Tessaly Orvanel."}};
    for (const auto& c : cases) {
      errors_.clear();
      TImageForm& form = NewForm(Folder("b"), c.db);
      Apply(form, QStringLiteral("1"), QStringLiteral("one"));
      Apply(form, QStringLiteral("2"), QStringLiteral("two"));
      form.UndoAction->trigger();
      QCOMPARE(form.CurrentPanel->Comment, QStringLiteral("one"));
      QCOMPARE(errors_, QStringList{c.message});
    }
    QVERIFY(QFile::exists(damaged + ".damaged"));
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
  }

  // Every kind of change undone and redone; a "для всех" action is one step.
  void undoAndRedoEachKindOfChange() {
    TImageForm& form = NewForm(Folder("u"));
    TImgPanel* panel = form.CurrentPanel;
    QVERIFY(!form.UndoAction->isEnabled());
    struct Kind {
      const char* name;
      std::function<void()> change;
      QString step;
    } kinds[] = {
        {"apply", [&] { Apply(form, panel->DateText, QStringLiteral("Текст")); }, "Отменить: Комментарий"},
        {"date source", [&] { Apply(form, QStringLiteral("08.12.2002"), panel->Comment); }, "Отменить: Дата"},
        {"font", [&] { form.ImgFontDialogFont = BigFont(); form.ImgFontActionAccept(); form.ApplyAction->trigger(); }, "Отменить: Шрифт"},
        {"outline", [&] { form.OutlineCheckClick(true); form.ApplyAction->trigger(); }, "Отменить: Шрифт"},
        {"crop", [&] { panel->SetCropTop(20); form.SetApplyEnabled(true); form.ApplyAction->trigger(); }, "Отменить: Кадр 10x15"},
        {"comment for all", [&] { form.CommentToAllAction->trigger(); }, "Отменить: Комментарий для всех"},
        {"font for all", [&] { form.FontToAllAction->trigger(); }, "Отменить: Шрифт для всех"},
    };
    for (const Kind& kind : kinds) {
      const QMap<QString, PictureState> before = States(form);
      kind.change();
      const QMap<QString, PictureState> after = States(form);
      QVERIFY2(after != before, kind.name);
      QCOMPARE(form.UndoAction->text(), kind.step);
      form.UndoAction->trigger();
      QVERIFY2(States(form) == before, kind.name);
      QCOMPARE(form.ValueListEditor1->Value(TImageForm::kCommentKey), panel->Comment);
      form.RedoAction->trigger();
      QVERIFY2(States(form) == after, kind.name);
    }
    QCOMPARE(panel->DateFrom, DateSource::Digitized);
    for (TImgPanel* p : form.Panels()) QCOMPARE(p->Comment, QStringLiteral("Текст"));

    // Closing a panel: undone, it comes back where it was, as it was.
    const QMap<QString, PictureState> open = States(form);
    const int position = form.PanelPosition(panel);
    form.CloseImageAction->trigger();
    QCOMPARE(form.Panels().size(), 2);
    form.UndoAction->trigger();
    QCOMPARE(form.Panels().size(), 3);
    QCOMPARE(States(form), open);
    QCOMPARE(form.PanelPosition(form.CurrentPanel), position);
    form.RedoAction->trigger();
    QCOMPARE(form.Panels().size(), 2);

    // The whole way back by the keys.
    while (form.UndoAction->isEnabled()) QTest::keySequence(&form, QKeySequence(Qt::CTRL | Qt::Key_Z));
    QCOMPARE(form.Panels().size(), 3);
    for (TImgPanel* p : form.Panels()) QCOMPARE(p->Comment, QString());
    QTest::keySequence(&form, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    QVERIFY(form.UndoAction->isEnabled());
    QCOMPARE(errors_, QStringList());
  }

  // No picture twice; after Закрыть the next one; the keys of the column;
  // the shortcuts; the settings kept; Exit asks only with edits not
  // exported.
  void columnBehaves() {
    const QStringList photos = Folder("c");
    TImageForm& form = NewForm(photos);
    QCOMPARE(form.Panels().size(), 3);
    form.OpenPicture1Accept({photos[0], QDir(Path("c/../c")).filePath("p1.jpg")});
    QCOMPARE(form.Panels().size(), 3);
    QCOMPARE(form.CurrentPanel->FileName, photos[1]);
    QCOMPARE(form.LastFolder, Path("c"));

    // The column is newest first: p2, p1, p0.
    form.SelectPanel(form.PanelOf(photos[2]));
    QTest::keyClick(form.CurrentPanel, Qt::Key_Down);
    QCOMPARE(form.CurrentPanel->FileName, photos[1]);
    QTest::keyClick(form.CurrentPanel, Qt::Key_PageDown);
    QCOMPARE(form.CurrentPanel->FileName, photos[0]);
    QTest::keyClick(form.CurrentPanel, Qt::Key_Up);
    QCOMPARE(form.CurrentPanel->FileName, photos[1]);
    QTest::keyClick(form.CurrentPanel, Qt::Key_PageUp);
    QCOMPARE(form.CurrentPanel->FileName, photos[2]);

    const struct { QAction* action; QKeySequence keys; } shortcuts[] = {
        {form.ExportAction, QKeySequence(Qt::CTRL | Qt::Key_E)}, {form.ExportAllAction, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E)},
        {form.CloseImageAction, QKeySequence(Qt::CTRL | Qt::Key_W)}, {form.FileExit1, QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {form.UndoAction, QKeySequence(Qt::CTRL | Qt::Key_Z)}, {form.RedoAction, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
        {form.OpenPicture1, QKeySequence(Qt::CTRL | Qt::Key_O)}};
    for (const auto& s : shortcuts) QCOMPARE(s.action->shortcut(), s.keys);

    // Закрыть: the panel below becomes current, then the one above; with
    // none left the preview and the editor clear.
    Apply(form, QStringLiteral("x"), QStringLiteral("y"));
    QTRY_VERIFY(!form.Image1->Picture().isNull());
    form.CloseImageAction->trigger();
    QCOMPARE(form.CurrentPanel->FileName, photos[1]);
    form.SelectPanel(form.PanelOf(photos[0]));
    form.CloseImageAction->trigger();
    QCOMPARE(form.CurrentPanel->FileName, photos[1]);
    QVERIFY(form.CropAction->isEnabled());
    form.CloseImageAction->trigger();
    QCOMPARE(form.CurrentPanel, nullptr);
    QVERIFY(form.Image1->Picture().isNull());
    QCOMPARE(form.ValueListEditor1->Value(TImageForm::kCommentKey), QString());
    QVERIFY(!form.ApplyAction->isEnabled() && !form.CropAction->isEnabled());

    // Nothing edited and not exported: closing asks nothing. Then the
    // settings come back.
    form.Splitter1->setSizes({300, 700});
    const QList<int> sizes = form.Splitter1->sizes();
    QVERIFY(form.close());
    QCOMPARE(asked_, 0);
    QSettings settings(Path("settings.ini"), QSettings::IniFormat);
    form.SaveSettings(settings);
    TImageForm& again = NewForm();
    QVERIFY(again.RestoreSettings(settings));
    QCOMPARE(again.LastFolder, Path("c"));
    QCOMPARE(again.Splitter1->sizes(), sizes);

    // Exported edits do not ask; a change after the export does.
    again.OpenPicture1Accept({photos[0]});
    Apply(again, QStringLiteral("x"), QStringLiteral("z"));
    again.ExportAction->trigger();
    QVERIFY(again.close());
    QCOMPARE(asked_, 0);
    again.show();
    Apply(again, QStringLiteral("x"), QStringLiteral("zz"));
    again.AskCloseWithEdits = [this](int count) { return ++asked_, count != 1; };
    QVERIFY(!again.close());
    QCOMPARE(asked_, 1);
    QCOMPARE(errors_, QStringList());
  }
};

QTEST_MAIN(EditsWindowTest)
#include "edits_window_test.moc"
