// tessaly-stamp: the batch way to export stamped copies without the window.
// For each file: a panel as the window builds it (its dates and size, the
// default stamp font; no thumbnail), the options applied, and the stamped
// copy written by one of -j workers. In the order of the files, a progress
// line on stderr and the path written on stdout, or the error on stderr. The
// first error lets no further export start, unless --keep-going.
#include <QApplication>
#include <QCommandLineParser>
#include <QRegularExpression>
#include <QThread>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

#include "ExportRun.h"
#include "FontDialogFile.h"
#include "ImgPanel.h"
#include "StampFont.h"

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
  std::optional<double> crop;
  TStampFont font = DefaultStampFont();
  int workers = QThread::idealThreadCount();
  bool keepGoing = false;
  QStringList files;
};

void Print(FILE* stream, const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stream);
  std::fputc('\n', stream);
}

// Reads the command line into options; a message when it is not usable.
std::optional<QString> Parse(const QApplication& app, Options& options) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Writes a stamped copy of each picture (date and comment in its lower right corner)\n"
      "as JPEG into the folder \"Export\" beside it, and prints the paths written."));
  parser.addHelpOption();
  const QCommandLineOption date(QStringLiteral("date"), QStringLiteral("Date text to stamp (default: the photo's)."), QStringLiteral("TEXT"));
  const QCommandLineOption comment(QStringLiteral("comment"), QStringLiteral("Comment to stamp under the date."), QStringLiteral("TEXT"));
  const QCommandLineOption face(QStringLiteral("font"), QStringLiteral("Font face of the stamp."), QStringLiteral("FACE"));
  const QCommandLineOption size(QStringLiteral("size"), QStringLiteral("Font size in points; the text is size/400 of the picture's height."), QStringLiteral("POINTS"));
  const QCommandLineOption color(QStringLiteral("color"), QStringLiteral("Text colour."), QStringLiteral("#RRGGBB"));
  const QCommandLineOption bold(QStringLiteral("bold"), QStringLiteral("Bold text."));
  const QCommandLineOption italic(QStringLiteral("italic"), QStringLiteral("Italic text."));
  const QCommandLineOption crop(QStringLiteral("crop"), QStringLiteral("Cut to 10x15 proportions at P percent along the short side."), QStringLiteral("P"));
  const QCommandLineOption jobs(QStringList{QStringLiteral("j"), QStringLiteral("jobs")},
                                QStringLiteral("Export N photos at once (default: one per core)."), QStringLiteral("N"));
  const QCommandLineOption keepGoing(QStringList{QStringLiteral("k"), QStringLiteral("keep-going")},
                                     QStringLiteral("Go on past a photo that fails; the exit status says whether any did."));
  parser.addOptions({date, comment, face, size, color, bold, italic, crop, jobs, keepGoing});
  parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Pictures to export."), QStringLiteral("FILE..."));
  parser.process(app);  // --help, unknown options: message and exit

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
  if (parser.isSet(crop)) {
    bool ok = false;
    const double p = parser.value(crop).toDouble(&ok);
    if (!ok || !(p >= 0 && p <= 100)) return QStringLiteral("--crop wants a percentage from 0 to 100");
    options.crop = p;
  }
  if (parser.isSet(jobs)) {
    bool ok = false;
    const int n = parser.value(jobs).toInt(&ok);
    if (!ok || n < 1 || n > 256) return QStringLiteral("-j wants a number of photos from 1 to 256");
    options.workers = n;
  }
  options.keepGoing = parser.isSet(keepGoing);
  options.files = parser.positionalArguments();
  if (options.files.isEmpty()) return QStringLiteral("No picture given; see --help");
  return std::nullopt;
}

// One picture as the window would export it: what its export renders.
RenderJob ExportJob(const QString& file, const Options& options) {
  TImgPanel panel;
  panel.LoadInfo(file);
  panel.SetStampFont(&options.font);
  if (options.date) panel.DateText = *options.date;
  if (options.comment) panel.Comment = *options.comment;
  if (options.crop) {
    if (panel.PictureWidth > panel.PictureHeight)
      panel.SetCropTop(*options.crop);
    else
      panel.SetCropLeft(*options.crop);
  }
  return panel.StampedJob();
}

}  // namespace

int main(int argc, char** argv) {
  // No window is shown; the panels and the fonts need only Qt's offscreen platform.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("tessaly-stamp"));

  Options options;
  if (const std::optional<QString> problem = Parse(app, options)) {
    Print(stderr, *problem);
    return 2;
  }
  const qsizetype count = options.files.size();
  // Dates and sizes are read here, on the main thread (the panel is a
  // widget); a file that fails there fails as its export would.
  QList<ExportRun::Item> items;
  for (const QString& file : options.files) {
    ExportRun::Item item;
    try {
      item.job = ExportJob(file, options);
    } catch (const std::exception& error) {
      item.error = QString::fromUtf8(error.what());
      if (item.error.isEmpty()) item.error = QStringLiteral("Cannot export %1").arg(file);
    }
    items.append(std::move(item));
  }

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
      Print(stderr, QStringLiteral("[%1/%2] %3").arg(printed + 1).arg(count).arg(options.files[qsizetype(printed)]));
      Print(o.written ? stdout : stderr, o.text);
      std::fflush(stdout);
    }
  };
  ExportRun run(nullptr, options.workers);
  QObject::connect(&run, &ExportRun::Exported, [&](int index, const QString& path) {
    outcomes[size_t(index)] = {true, true, path};
    printReady();
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
  QApplication::exec();
  return failed ? 1 : 0;
}
