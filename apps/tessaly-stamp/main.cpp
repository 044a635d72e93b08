// tessaly-stamp: the batch way to export stamped copies without the window.
// For each file, on one of -j workers: the photo as the window opens it (its
// dates and size, the default stamp font), the options applied, and the
// stamped copy written. In the order of the files, a progress line on stderr
// and the path written on stdout, or the error on stderr. The first error
// lets no further export start, unless --keep-going.
#include <QCommandLineParser>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QThread>
#include <QTranslator>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "CopyOptions.h"
#include "ExportRun.h"
#include "FilmLook.h"
#include "FontDialogFile.h"
#include "OutputText.h"
#include "PathBytes.h"
#include "Photo.h"
#include "PictureList.h"
#include "PrintOptions.h"
#include "StampFont.h"
#include "TessalyVersion.h"

using namespace tessaly;

namespace {

// The stamp font newly opened pictures get in the window: the default font
// the window keeps in "FontDialog.res" beside the programs (or in the user's
// configuration folder), else the font dialog's default.
TStampFont DefaultStampFont() {
  return StoredDefaultFont(QCoreApplication::applicationDirPath());
}

struct Options {
  std::optional<QString> date, comment;
  PrintOptions print;
  std::optional<DateSource> dateFrom;
  TStampFont font = DefaultStampFont();
  int workers = QThread::idealThreadCount();
  bool keepGoing = false;
  bool nulSeparated = false;  // paths on stdout end with NUL, not a line break
  QStringList files;
  CopySettings copy = StoredCopySettings(QCoreApplication::applicationDirPath());
};

void Print(FILE* stream, const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stream);
  std::fputc('\n', stream);
}

// A text about the files for the terminal: names may hold control
// characters (an escape sequence in a file name), written out as
// tessaly-exif writes them. A message keeps its own line breaks.
void PrintEscaped(FILE* stream, const QString& text, bool keepLineBreaks = false) {
  for (const QString& line : keepLineBreaks ? text.split(u'\n') : QStringList{text})
    Print(stream, QString::fromStdString(TerminalText(ValidUtf8(PathBytes(line).toStdString()))));
}

// A path as its bytes, so that a script reading the output finds the file,
// ended by a line break or, with --null, by a NUL byte (a name may hold a
// line break).
void PrintPath(FILE* stream, const QString& path, bool nulSeparated) {
  const QByteArray bytes = PathBytes(path);
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
  std::fputc(nulSeparated ? '\0' : '\n', stream);
}

// Reads the command line into options; a message when it is not usable.
std::optional<QString> Parse(const QStringList& arguments, Options& options) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Writes a stamped copy of each picture (date and comment in its lower right corner)\n"
      "as JPEG into the folder \"Export\" beside it, and prints the paths written."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption date(QStringLiteral("date"), QStringLiteral("Date text to stamp (default: the photo's)."), QStringLiteral("TEXT"));
  const QCommandLineOption comment(QStringLiteral("comment"), QStringLiteral("Comment to stamp under the date."), QStringLiteral("TEXT"));
  const QCommandLineOption face(QStringLiteral("font"), QStringLiteral("Font face of the stamp."), QStringLiteral("FACE"));
  const QCommandLineOption size(QStringLiteral("size"), QStringLiteral("Font size in points; the text is size/400 of the picture's height."), QStringLiteral("POINTS"));
  const QCommandLineOption color(QStringLiteral("color"), QStringLiteral("Text colour."), QStringLiteral("#RRGGBB"));
  const QCommandLineOption bold(QStringLiteral("bold"), QStringLiteral("Bold text."));
  const QCommandLineOption italic(QStringLiteral("italic"), QStringLiteral("Italic text."));
  const QCommandLineOption jobs(QStringList{QStringLiteral("j"), QStringLiteral("jobs")},
                                QStringLiteral("Export N photos at once (default: one per core)."), QStringLiteral("N"));
  const QCommandLineOption keepGoing(QStringList{QStringLiteral("k"), QStringLiteral("keep-going")},
                                     QStringLiteral("Go on past a photo that fails; the exit status says whether any did."));
  const QCommandLineOption outline(QStringLiteral("outline"), QStringLiteral("A halo of the contrasting colour around the text (white around dark text, black around light)."));
  const QCommandLineOption dateFrom(QStringLiteral("date-from"), QStringLiteral("Which of the photo's dates to stamp: original, digitized, modified or file (when the photo lacks it: the usual choice)."), QStringLiteral("SOURCE"));
  const QCommandLineOption null(QStringList{QStringLiteral("0"), QStringLiteral("null")},
                                QStringLiteral("End each path written with a NUL byte instead of a line break."));
  parser.addOptions({date, comment, face, size, color, bold, italic, outline, dateFrom, jobs, keepGoing, null});
  AddCopyOptions(parser);
  const PrintOptionParser printOptions(parser);
  parser.addPositionalArgument(QStringLiteral("FILE|FOLDER"), QStringLiteral("Pictures to export: JPEG, HEIF (.heic, .heif, .hif in any letter case;\n"
                                               "the copy of IMG_0042.HEIC is Export/IMG_0042.jpg) and what Qt reads;\n"
                                               "a folder stands for the pictures directly inside it, in name order."), QStringLiteral("FILE|FOLDER..."));
  parser.process(arguments);  // --help, unknown options: message and exit
  options.print.print = StoredPrintChoice(QCoreApplication::applicationDirPath());
  if (const std::optional<QString> problem = printOptions.Read(parser, options.print, options.font)) return problem;

  if (parser.isSet(date)) options.date = parser.value(date);
  if (parser.isSet(comment)) options.comment = parser.value(comment);
  if (parser.isSet(face)) options.font.name = parser.value(face);
  if (parser.isSet(size)) {
    bool ok = false;
    const int points = parser.value(size).toInt(&ok);
    if (!ok || points < 0 || points > 10000) return QStringLiteral("--size wants a whole number of points from 0 to 10000");
    options.font.SetSize(points);
  }
  if (parser.isSet(color)) {
    static const QRegularExpression rgb(QStringLiteral("^#[0-9A-Fa-f]{6}$"));
    if (!rgb.match(parser.value(color)).hasMatch()) return QStringLiteral("--color wants #RRGGBB");
    options.font.SetColor(QColor::fromString(parser.value(color)));
  }
  if (parser.isSet(bold)) options.font.bold = true;
  if (parser.isSet(italic)) options.font.italic = true;
  if (parser.isSet(outline)) options.font.outline = true;
  if (parser.isSet(dateFrom)) {
    static const std::pair<const char*, DateSource> kSources[] = {
        {"original", DateSource::Original}, {"digitized", DateSource::Digitized},
        {"modified", DateSource::Modified}, {"file", DateSource::File}};
    for (const auto& [name, source] : kSources)
      if (parser.value(dateFrom) == QLatin1String(name)) options.dateFrom = source;
    if (!options.dateFrom) return QStringLiteral("--date-from wants original, digitized, modified or file");
  }
  if (parser.isSet(jobs)) {
    bool ok = false;
    const int n = parser.value(jobs).toInt(&ok);
    if (!ok || n < 1 || n > 256) return QStringLiteral("-j wants a number of photos from 1 to 256");
    options.workers = n;
  }
  options.keepGoing = parser.isSet(keepGoing);
  options.nulSeparated = parser.isSet(null);
  if (const std::optional<QString> problem = TakeCopyOptions(parser, options.copy)) return problem;
  if (parser.positionalArguments().isEmpty()) return QStringLiteral("No picture given; see --help");
  options.files = ExpandPictureArguments(parser.positionalArguments());
  if (options.files.isEmpty()) return QStringLiteral("No picture in %1").arg(parser.positionalArguments().join(QStringLiteral(", ")));
  return std::nullopt;
}

// One photo as the window would export it: its facts read as the window
// opens it, then the options applied. Runs on the export's worker.
void Settle(Photo& photo, const Options& options) {
  photo.Load(photo.path);
  photo.font = options.font;
  // A date the photo does not hold leaves the one Load chose.
  if (options.dateFrom)
    if (const DateChoice* choice = photo.FindDateChoice(*options.dateFrom)) photo.dateText = choice->text;
  // A date from the photo in the form asked for.
  if (!options.font.dateForm.isEmpty())
    if (const DateChoice* choice = photo.FindDateChoice(options.dateFrom.value_or(photo.dateFrom)))
      if (choice->text == photo.dateText) photo.dateText = FormedDate(*choice, options.font.dateForm);
  if (options.date) photo.dateText = *options.date;
  if (options.comment) photo.comment = *options.comment;
  ApplyPrintOptions(photo, options.print);
}

// The program's texts are English; the photo model writes its message in
// the window's language, so it is given in English here.
class EnglishTexts : public QTranslator {
 public:
  QString translate(const char* context, const char* source, const char*, int) const override {
    if (QByteArrayView(context) == "tessaly::Photo" && QByteArrayView(source) == kPhotoChangedSource)
      return QStringLiteral("The photo changed after it was opened: %1");
    return QString();
  }
  bool isEmpty() const override { return false; }
};

// Fonts need a QGuiApplication, and so a platform. No window is shown, so
// Qt's "offscreen" one (its text drawing is the window's, pixel for pixel),
// unless the caller chose one.
void ChooseHeadlessPlatform() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

// While the platform starts, Qt looks in the session's runtime folder for a
// sandbox marker and, on a plain terminal with no session, warns that
// XDG_RUNTIME_DIR is not set. The program has no use for that folder, so
// the start-up's QStandardPaths notes are left out; everything else passes.
QtMessageHandler startupPassOn = nullptr;
void QuietStartup(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: "))) return;
  startupPassOn(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
  // The version alone is answered before the platform and its fonts start:
  // it draws nothing, and a script asking for it should not wait for them.
  if (argc == 2 && (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "-v") == 0)) {
    std::printf("tessaly-stamp %s\n", TESSALY_VERSION);
    return 0;
  }
  ChooseHeadlessPlatform();
  startupPassOn = qInstallMessageHandler(QuietStartup);
  QGuiApplication app(argc, argv);
  qInstallMessageHandler(startupPassOn);
  QGuiApplication::setApplicationName(QStringLiteral("tessaly-stamp"));
  QGuiApplication::setApplicationVersion(QStringLiteral(TESSALY_VERSION));
  EnglishTexts english;
  QCoreApplication::installTranslator(&english);

  Options options;
  // QGuiApplication has taken its own options out of argv.
  if (const std::optional<QString> problem = Parse(ArgumentsFromBytes(argc, argv), options)) {
    Print(stderr, *problem);
    return 2;
  }
  if (options.print.filmFontMissing)
    Print(stderr, QStringLiteral("The film look's font \"%1\" is not installed (Debian: fonts-dseg); a plain bold font is used")
                      .arg(QString::fromLatin1(kFilmFontFamily)));
  const qsizetype count = options.files.size();
  // The photos' facts are read by the workers, each before its export; a
  // file that fails there fails as its export would.
  QList<ExportRun::Item> items;
  for (const QString& file : options.files) {
    ExportRun::Item item;
    item.photo.path = file;
    item.prepare = [&options](Photo& photo) { Settle(photo, options); };
    item.copy = options.copy;
    items.append(std::move(item));
  }

  if (options.print.pdf) return WritePdf(items, options.files, options.print, options.keepGoing);

  // Reports come in the order the exports end; they are printed in the
  // order of the files.
  struct Outcome {
    bool known = false, written = false;
    QString text;
  };
  std::vector<Outcome> outcomes(static_cast<size_t>(count));
  size_t printed = 0;
  bool failed = false;
  const auto printReady = [&] {
    for (; printed < outcomes.size() && outcomes[printed].known; ++printed) {
      const Outcome& o = outcomes[printed];
      if (o.text.isNull()) continue;  // skipped: never started
      PrintEscaped(stderr, QStringLiteral("[%1/%2] %3").arg(printed + 1).arg(count).arg(options.files[qsizetype(printed)]));
      if (o.written)
        PrintPath(stdout, o.text, options.nulSeparated);
      else
        PrintEscaped(stderr, o.text, true);
      std::fflush(stdout);
    }
  };
  ExportRun run(nullptr, options.workers);
  QObject::connect(&run, &ExportRun::Exported, [&](int index, const QString& path) {
    outcomes[size_t(index)] = {true, true, path};
    printReady();
  });
  QObject::connect(&run, &ExportRun::Warned, [&](int index, const QString& message) {
    Print(stderr, QStringLiteral("Warning: %1: %2").arg(DisplayName(options.files[index]), message));
  });
  QObject::connect(&run, &ExportRun::Failed, [&](int index, const QString& message) {
    outcomes[size_t(index)] = {true, false, message};
    failed = true;
    printReady();
  });
  QObject::connect(&run, &ExportRun::Skipped, [&](int index) {
    outcomes[size_t(index)] = {true, false, QString()};
    printReady();
  });
  QObject::connect(&run, &ExportRun::Finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);
  run.Start(items, options.keepGoing);
  QGuiApplication::exec();
  return failed ? 1 : 0;
}
