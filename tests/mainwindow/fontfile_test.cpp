// "FontDialog.res": the exact bytes written, reading them back, and files
// that are wrong in one way each.
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "FontDialog.h"
#include "FontDialogFile.h"

using tessaly::TStampFont;
Q_DECLARE_METATYPE(tessaly::TStampFont)

namespace {

QByteArray Short(const QByteArray& s) { return char(s.size()) + s; }

QByteArray Le32(uint32_t v) {
  QByteArray out;
  for (int i = 0; i < 4; ++i) out += char((v >> (8 * i)) & 0xFF);
  return out;
}

// A resource around a component stream, built independently of the writer.
QByteArray Resource(const QByteArray& stream) {
  return QByteArray("\xFF\x0A\x00", 3) + "TFONTDIALOG" + '\0' + QByteArray("\x30\x10", 2) +
         Le32(uint32_t(stream.size())) + stream;
}

QByteArray Stream(const QByteArray& properties) {
  return "TPF0" + Short("TFontDialog") + Short("") + properties + QByteArray(2, '\0');
}

// The properties of a fresh dialog.
const QByteArray kCharset = Short("Font.Charset") + '\x07' + Short("DEFAULT_CHARSET");
const QByteArray kColor = Short("Font.Color") + '\x07' + Short("clWindowText");
const QByteArray kHeight = Short("Font.Height") + QByteArray("\x02\xF5", 2);
const QByteArray kName = Short("Font.Name") + '\x06' + Short("MS Sans Serif");
const QByteArray kStyle = Short("Font.Style") + QByteArray("\x0B\x00", 2);

}  // namespace

class FontFileTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

  void freshDefaultIsWrittenExactly() {
    QCOMPARE(tessaly::FontDialogResource(TStampFont{}),
             Resource(Stream(kCharset + kColor + kHeight + kName + kStyle)));
  }

  // Each value in the smallest tag that holds it, names where there are some.
  void valuesTakeTheirSmallestTag_data() {
    QTest::addColumn<TStampFont>("font");
    QTest::addColumn<QByteArray>("properties");
    TStampFont f;

    f = {};
    f.height = -200;
    QTest::newRow("two-byte height")
        << f << kCharset + kColor + Short("Font.Height") + QByteArray("\x03\x38\xFF", 3) + kName + kStyle;
    f = {};
    f.height = 70000;
    QTest::newRow("four-byte height")
        << f << kCharset + kColor + Short("Font.Height") + '\x04' + Le32(70000) + kName + kStyle;
    f = {};
    f.color = 0x0000FF;
    QTest::newRow("named colour")
        << f << kCharset + Short("Font.Color") + '\x07' + Short("clRed") + kHeight + kName + kStyle;
    f = {};
    f.color = 0x00336699;
    QTest::newRow("unnamed colour")
        << f << kCharset + Short("Font.Color") + '\x04' + Le32(0x00336699) + kHeight + kName + kStyle;
    f = {};
    f.charset = 204;
    QTest::newRow("named charset")
        << f << Short("Font.Charset") + '\x07' + Short("RUSSIAN_CHARSET") + kColor + kHeight + kName + kStyle;
    f = {};
    f.charset = 200;
    QTest::newRow("unnamed charset")
        << f << Short("Font.Charset") + QByteArray("\x03\xC8\x00", 3) + kColor + kHeight + kName + kStyle;
    f = {};
    f.pitch = 2;
    QTest::newRow("fixed pitch")
        << f << kCharset + kColor + kHeight + kName + Short("Font.Pitch") + '\x07' + Short("fpFixed") + kStyle;
    f = {};
    f.bold = f.underline = true;
    QTest::newRow("style set")
        << f << kCharset + kColor + kHeight + kName + Short("Font.Style") + '\x0B' + Short("fsBold") +
                    Short("fsUnderline") + '\0';
    f = {};
    f.name = QStringLiteral("Шрифт");
    QTest::newRow("UTF-8 name")
        << f << kCharset + kColor + kHeight + Short("Font.Name") + '\x14' + Le32(10) +
                    QStringLiteral("Шрифт").toUtf8() + kStyle;
    f = {};
    f.name = QString(300, u'a');
    QTest::newRow("long name")
        << f << kCharset + kColor + kHeight + Short("Font.Name") + '\x0C' + Le32(300) +
                    QByteArray(300, 'a') + kStyle;
  }
  void valuesTakeTheirSmallestTag() {
    QFETCH(TStampFont, font);
    QFETCH(QByteArray, properties);
    const QByteArray bytes = tessaly::FontDialogResource(font);
    QCOMPARE(bytes, Resource(Stream(properties)));
    TStampFont back;
    back.name = QStringLiteral("not read");
    QCOMPARE(tessaly::ReadFontDialogResource(bytes, back), QString());
    QCOMPARE(back, font);
    QCOMPARE(tessaly::FontDialogResource(back), bytes);
  }

  // What other writers may put: identifiers in any case, single-byte names
  // in the Cyrillic code page, numbers where a name would do.
  void readsOtherSpellings() {
    const QByteArray stream = Stream(
        Short("Font.Color") + '\x07' + Short("CLRED") + Short("Font.Charset") + QByteArray("\x03\xCC\x00", 3) +
        Short("Font.Name") + '\x06' + Short("\xD8\xF0\xE8\xF4\xF2") + Short("Font.Style") + '\x0B' +
        Short("FSITALIC") + '\0');
    TStampFont font;
    QCOMPARE(tessaly::ReadFontDialogResource(Resource(stream), font), QString());
    QCOMPARE(font.color, 0x0000FFu);
    QCOMPARE(font.charset, 204);
    QCOMPARE(font.name, QStringLiteral("Шрифт"));
    QVERIFY(font.italic && !font.bold);
    QCOMPARE(font.height, -11);  // absent: the default
  }

  void malformedFilesAreRejected() {
    const QByteArray good = Resource(Stream(kCharset + kColor + kHeight + kName + kStyle));
    QByteArray lengthBeyondFile = good;
    lengthBeyondFile[17] = char(lengthBeyondFile[17] + 1);  // the data length
    const struct {
      const char* fault;
      QByteArray bytes;
      QString outcome;
    } cases[] = {
        {"empty file", QByteArray(), "Неверный формат потока"},
        {"first byte not 0xFF", '\xFE' + good.mid(1), "Неверный формат потока"},
        {"resource type 11", good.left(1) + '\x0B' + good.mid(2), "Неверный формат потока"},
        {"name never ended", QByteArray("\xFF\x0A\x00TFONTDIALOG", 14), "Ошибка чтения потока"},
        {"length beyond the file", lengthBeyondFile, "Ошибка чтения потока"},
        {"signature TPF1", Resource("TPF1" + Stream("").mid(4)), "Неверный формат потока"},
        {"another class", Resource("TPF0" + Short("TColorDialog") + Short("") + QByteArray(2, '\0')),
         "Класс TColorDialog не найден"},
        {"unknown property",
         Resource(Stream(Short("Font.Size") + QByteArray("\x02\x08", 2))),
         "Свойство Font.Size не существует"},
        {"height as identifier", Resource(Stream(Short("Font.Height") + '\x07' + Short("big"))),
         "Неверное значение свойства"},
        {"height without a magnitude", Resource(Stream(Short("Font.Height") + '\x04' + Le32(0x80000000u))),
         "Неверное значение свойства"},
        {"unknown colour name", Resource(Stream(Short("Font.Color") + '\x07' + Short("clPink"))),
         "Неверное значение свойства"},
        {"charset above 255", Resource(Stream(Short("Font.Charset") + QByteArray("\x03\x2C\x01", 3))),
         "Неверное значение свойства"},
        {"unknown style member",
         Resource(Stream(Short("Font.Style") + '\x0B' + Short("fsShadow") + '\0')),
         "Неверное значение свойства"},
        {"unknown pitch", Resource(Stream(Short("Font.Pitch") + '\x07' + Short("fpWide"))),
         "Неверное значение свойства"},
        {"name length past the data",
         Resource(Stream(Short("Font.Name") + '\x0C' + Le32(0xFFFFFFFFu))),
         "Ошибка чтения потока"},
        {"stream cut inside the style",
         Resource(("TPF0" + Short("TFontDialog") + Short("") + Short("Font.Style") + '\x0B' + Short("fsBold"))),
         "Ошибка чтения потока"},
        {"no end of owned objects",
         Resource("TPF0" + Short("TFontDialog") + Short("") + kStyle + '\0'), "Ошибка чтения потока"},
        {"an owned object", Resource("TPF0" + Short("TFontDialog") + Short("") + kStyle + '\0' + '\x01'),
         "Неверный формат потока"},
    };
    for (const auto& c : cases) {
      TStampFont font;
      font.height = -42;
      QCOMPARE(tessaly::ReadFontDialogResource(c.bytes, font), c.outcome);
      if (font.height != -42) QFAIL(c.fault);  // untouched on failure
    }
  }

  void storedDefaultFontFallsBackQuietly() {
    QTemporaryDir dir;
    const QString path = dir.filePath("FontDialog.res");
    QCOMPARE(tessaly::FontDialogPath(dir.path()), path);
    QCOMPARE(tessaly::StoredDefaultFont(dir.path()), TStampFont{});  // missing

    TStampFont stored;
    stored.name = QStringLiteral("DejaVu Serif");
    stored.height = -24;
    QCOMPARE(tessaly::WriteFontDialogFile(path, stored), QString());
    QCOMPARE(tessaly::StoredDefaultFont(dir.path()), stored);

    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("garbage");
    file.close();
    QCOMPARE(tessaly::StoredDefaultFont(dir.path()), TStampFont{});
  }

  // An executable folder that cannot be written to: the user's configuration
  // folder is used instead.
  void unwritableFolderUsesConfigurationFolder() {
    const QString path = tessaly::FontDialogPath(QStringLiteral("/nonexistent/bin"));
    QCOMPARE(path, QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                       "/tessaly/FontDialog.res");
    QCOMPARE(tessaly::WriteFontDialogFile(path, TStampFont{}), QString());
    QVERIFY(QFile::remove(path));
  }

  void failedWriteNamesFileAndReason() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("FontDialog.res"));  // a folder in the way
    const QString path = dir.filePath("FontDialog.res");
    const QString message = tessaly::WriteFontDialogFile(path, TStampFont{});
    QVERIFY2(message.startsWith("Не могу создать файл \"" + path + "\". "), qPrintable(message));
    QVERIFY(message.size() > path.size() + 24);  // the system's reason follows
  }

  // The dialog hands back what it was given when nothing is changed, even
  // where the face is not installed or the colour is a system colour.
  void fontDialogKeepsUnchangedAttributes() {
    TStampFont font;
    font.name = QStringLiteral("No Such Face");
    font.height = 20;  // a cell height
    font.charset = 204;
    font.underline = true;
    tessaly::TFontDialog dialog;
    dialog.SetStampFont(font);
    QCOMPARE(dialog.StampFont(), font);
    font.color = 0x00123456;
    dialog.SetStampFont(font);
    QCOMPARE(dialog.StampFont(), font);
  }
};

QTEST_MAIN(FontFileTest)
#include "fontfile_test.moc"
