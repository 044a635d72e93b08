// The window and the batch command as a desktop user meets them: a folder
// opened from the command line or dropped on the window, and the window's
// language.
#include <QAction>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolBar>
#include <QUrl>
#include <QtTest>

#include <unistd.h>

#include "FontDialogFile.h"
#include "ImgMain.h"
#include "ImgPanel.h"
#include "PathBytes.h"
#include "Translations.h"
#include "ValueListEditor.h"

using tessaly::TImageForm;

namespace {

// A folder of three pictures beside a text file, a sub-folder and the
// folder of stamped copies, each of which also holds a picture.
QString MakeFolder(const QTemporaryDir& dir) {
  const QString root = dir.filePath(QStringLiteral("Holiday"));
  QImage image(60, 40, QImage::Format_RGB32);
  image.fill(Qt::darkCyan);
  for (const char* name : {"b.jpg", "A.jpg", "c.png", "sub/d.jpg", "Export/b.jpg"}) {
    const QString path = root + QLatin1Char('/') + QLatin1String(name);
    QDir().mkpath(QFileInfo(path).path());
    if (!image.save(path)) qFatal("cannot write %s", qPrintable(path));
  }
  QFile text(root + QStringLiteral("/notes.txt"));
  if (!text.open(QIODevice::WriteOnly) || text.write("not a picture") < 0) qFatal("cannot write notes");
  return root;
}

QStringList Menus(TImageForm& form) {
  QStringList menus;
  for (QAction* menu : form.menuBar()->actions()) {
    QStringList entries;
    for (const QAction* a : menu->menu()->actions()) entries << a->text();
    menus << menu->text() + QStringLiteral(": ") + entries.join(QStringLiteral(", "));
  }
  QStringList tools;
  for (const QAction* a : form.ActionToolBar1->actions()) tools << a->iconText();
  return menus << tools.join(QStringLiteral(", "));
}

}  // namespace

class DesktopTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { tessaly::InstallTranslations(*qApp, QLocale(QLocale::Russian, QLocale::Russia)); }

  // The batch command given the folder, and the window given it by a drop
  // (with a file of its sub-folder): exactly its own pictures, in name order.
  void folderOpensItsPicturesInNameOrder() {
    QTemporaryDir dir;
    const QString root = MakeFolder(dir);
    QStringList exported, expected;
    for (const char* name : {"A.jpg", "b.jpg", "c.png"}) {
      exported << root + QStringLiteral("/Export/") + name;
      expected << root + QLatin1Char('/') + name;
    }
    QProcess stamp;
    stamp.start(QStringLiteral(TESSALY_STAMP), {root});
    QVERIFY(stamp.waitForFinished(120000));
    QCOMPARE(stamp.exitCode(), 0);
    QCOMPARE(QString::fromLocal8Bit(stamp.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts), exported);
    QVERIFY(!QFileInfo::exists(root + QStringLiteral("/Export/Export")));
    QVERIFY(!QFileInfo::exists(root + QStringLiteral("/sub/Export")));

    TImageForm form(dir.path());
    QStringList errors;
    form.ShowError = [&errors](const QString& m) { errors << m; };
    form.show();
    // Nothing, a web address, then a folder and two files, one of them named
    // in bytes that are not UTF-8: only the last is taken.
    const QByteArray latin1 = QFile::encodeName(root) + "/sub/\xE9.jpg";
    QVERIFY(::link(QFile::encodeName(root + QStringLiteral("/A.jpg")).constData(), latin1.constData()) == 0);
    const QList<QList<QUrl>> drags = {
        {}, {QUrl(QStringLiteral("https://example.org/a.jpg"))},
        {QUrl::fromLocalFile(root), QUrl::fromLocalFile(root + QStringLiteral("/sub/d.jpg")),
         QUrl::fromEncoded("file://" + latin1.toPercentEncoding("/"))}};
    QMimeData data;
    for (const QList<QUrl>& urls : drags) {
      data.setUrls(urls);
      QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QCoreApplication::sendEvent(&form, &enter);
      QCOMPARE(enter.isAccepted(), &urls == &drags.last());
    }
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&form, &drop);
    QVERIFY(drop.isAccepted());
    expected << root + QStringLiteral("/sub/d.jpg") << tessaly::PathFromBytes(latin1);
    QTRY_COMPARE(form.Panels().size(), expected.size());
    QStringList opened;
    for (const tessaly::TImgPanel* panel : form.Panels()) opened << panel->FileName;
    QCOMPARE(opened, expected);
    QCOMPARE(form.CurrentPanel, form.Panels().last());
    QCOMPARE(errors, QStringList());
  }

  // An installed program (data in ../share/tessaly) keeps its default font in
  // the user's configuration folder, even where it could write beside itself.
  void defaultFontFileOfAnInstalledProgram() {
    QTemporaryDir dir;
    for (const char* folder : {"usr/bin", "usr/share/tessaly"}) QVERIFY(QDir(dir.path()).mkpath(QLatin1String(folder)));
    QCOMPARE(QFileInfo(tessaly::FontDialogPath(dir.filePath(QStringLiteral("usr/bin")))).absolutePath(),
             QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/tessaly"));
  }

  void windowSpeaksTheUsersLanguage() {
    const QStringList russian = {QStringLiteral("Файл: &Open Picture..., Export, Ex&port All, , Закрыть, E&xit"),
                                 QStringLiteral("Параметры: Шрифт по умолчанию, Шрифт для всех, Комментарий для всех"),
                                 QStringLiteral("Закрыть, Применить, &10x15")};
    const QStringList english = {QStringLiteral("File: &Open Picture..., Export, Ex&port All, , Close, E&xit"),
                                 QStringLiteral("Options: Default Font, Font for All, Comment for All"),
                                 QStringLiteral("Close, Apply, &10x15")};
    const struct { QLocale locale; QStringList menus, keys; } cases[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), english, {"Date", "Comment"}},
        {QLocale(QLocale::German, QLocale::Germany), english, {"Date", "Comment"}},
        {QLocale(QLocale::Russian, QLocale::Russia), russian, {"Дата", "Комментарий"}}};
    QTemporaryDir dir;
    for (const auto& c : cases) {
      QVERIFY(tessaly::InstallTranslations(*qApp, c.locale));
      TImageForm form(dir.path());
      QCOMPARE(Menus(form), c.menus);
      QCOMPARE(QStringList({form.ValueListEditor1->item(0, 0)->text(), form.ValueListEditor1->item(1, 0)->text()}),
               c.keys);
      // The rows are still found by their keys, whatever they show.
      form.ValueListEditor1->SetValue(TImageForm::kCommentKey, QStringLiteral("x"));
      QCOMPARE(form.ValueListEditor1->rowCount(), 2);
      QCOMPARE(form.ValueListEditor1->Value(TImageForm::kCommentKey), QStringLiteral("x"));
    }
  }
};

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
