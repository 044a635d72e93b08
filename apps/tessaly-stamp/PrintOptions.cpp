#include "PrintOptions.h"

#include <QFile>
#include <QPdfWriter>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "DateForm.h"
#include "FilmLook.h"
#include "PageWriter.h"
#include "PathBytes.h"

namespace tessaly {

namespace {

QString FormatNames() {
  QStringList names;
  for (const PrintFormat& f : PrintFormats()) names.append(QString::fromLatin1(f.name));
  return names.join(QStringLiteral(", "));
}

QString PositionNames() {
  QStringList names;
  for (const StampPositionName& p : StampPositions()) names.append(QString::fromLatin1(p.name));
  return names.join(QStringLiteral(", "));
}

QString DateFormNames() {
  QStringList names;
  for (const DateForm& f : DateForms()) names.append(QString::fromLatin1(f.name));
  return names.join(QStringLiteral(", "));
}

void Line(FILE* stream, const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stream);
  std::fputc('\n', stream);
}

}  // namespace

PrintOptionParser::PrintOptionParser(QCommandLineParser& parser)
    : crop_(QStringLiteral("crop"),
            QStringLiteral("Cut to a print format (%1), the frame in the middle; FORMAT@P or a bare P (10x15)\n"
                           "puts it P percent along the side it moves on.").arg(FormatNames()),
            QStringLiteral("FORMAT|P")),
      fit_(QStringLiteral("fit"), QStringLiteral("Pad to a print format with white borders instead of cutting."),
           QStringLiteral("FORMAT")),
      position_(QStringLiteral("position"), QStringLiteral("Where the stamp sits: %1.").arg(PositionNames()),
                QStringLiteral("WHERE")),
      safeMargins_(QStringLiteral("safe-margins"),
                   QStringLiteral("Keep the stamp 3% of the short side from every edge (a lab's trim).")),
      film_(QStringLiteral("film"),
            QStringLiteral("The film camera's look: seven-segment orange date '26 12 8 with a glow\n"
                           "(the font of fonts-dseg).")),
      dateFormat_(QStringLiteral("date-format"),
                  QStringLiteral("Form of the photo's date: %1, or a Qt date pattern such as dd/MM/yyyy.")
                      .arg(DateFormNames()),
                  QStringLiteral("FORM")),
      pdf_(QStringLiteral("pdf"), QStringLiteral("Write the stamped pictures into one PDF, a page of their format each,\n"
                                                 "instead of the JPEG copies."),
           QStringLiteral("OUT.pdf")) {
  parser.addOptions({crop_, fit_, position_, safeMargins_, film_, dateFormat_, pdf_});
}

std::optional<QString> PrintOptionParser::Read(const QCommandLineParser& parser, PrintOptions& options,
                                               TStampFont& font) const {
  if (parser.isSet(film_)) options.filmFontMissing = !ApplyFilmLook(font);
  if (parser.isSet(crop_) && parser.isSet(fit_)) return QStringLiteral("--crop and --fit exclude each other");
  if (parser.isSet(crop_)) {
    QString value = parser.value(crop_);
    QString at;
    if (const qsizetype sign = value.indexOf(u'@'); sign >= 0) {
      at = value.mid(sign + 1);
      value = value.left(sign);
    }
    bool number = false;
    value.toDouble(&number);
    if (number && at.isEmpty()) {
      at = value;  // the older form: 10x15 at P percent
      options.print.format = PrintFormatId::TenByFifteen;
    } else if (const auto format = FormatNamed(value)) {
      options.print.format = *format;
    } else {
      return QStringLiteral("--crop wants a format (%1), FORMAT@P or a percentage").arg(FormatNames());
    }
    if (!at.isEmpty()) {
      bool ok = false;
      const double percent = at.toDouble(&ok);
      if (!ok || !(percent >= 0 && percent <= 100)) return QStringLiteral("--crop wants a percentage from 0 to 100");
      options.cropAt = percent;
    }
    options.crop = true;
    options.print.fit = false;
  }
  if (parser.isSet(fit_)) {
    const auto format = FormatNamed(parser.value(fit_));
    if (!format) return QStringLiteral("--fit wants a format: %1").arg(FormatNames());
    options.print = PrintChoice{*format, true};
  }
  if (parser.isSet(position_)) {
    const auto position = StampPositionNamed(parser.value(position_));
    if (!position) return QStringLiteral("--position wants %1").arg(PositionNames());
    font.position = *position;
  }
  if (parser.isSet(safeMargins_)) font.safeMargins = true;
  if (parser.isSet(dateFormat_)) {
    const QString form = parser.value(dateFormat_);
    if (!IsValidDateForm(form)) return QStringLiteral("--date-format wants %1 or a date pattern").arg(DateFormNames());
    font.dateForm = form;
  }
  if (parser.isSet(pdf_)) {
    if (parser.value(pdf_).isEmpty()) return QStringLiteral("--pdf wants a file name");
    options.pdf = parser.value(pdf_);
  }
  return std::nullopt;
}

void ApplyPrintOptions(Photo& photo, const PrintOptions& options) {
  photo.print = options.print;
  if (options.print.fit || !options.crop) return;
  if (options.cropAt)
    photo.SetFrameAt(*options.cropAt);
  else
    photo.SetCentredFrame();
}

int WritePdf(const QList<ExportRun::Item>& items, const QStringList& files, const PrintOptions& options,
             bool keepGoing) {
  // Opened by its bytes, as every path here: a name need not be UTF-8.
  QFile file;
  const int fd = ::open(PathBytes(*options.pdf).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0 || !file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
    Line(stderr, QStringLiteral("Cannot write %1: %2").arg(DisplayName(*options.pdf), ErrnoText(fd < 0 ? errno : EBADF)));
    if (fd >= 0) ::close(fd);
    return 1;
  }
  QPdfWriter writer(&file);
  writer.setCreator(QStringLiteral("tessaly-stamp"));
  writer.setResolution(300);
  PageWriter pages(writer);
  bool failed = false;
  for (qsizetype i = 0; i < items.size(); ++i) {
    if (failed && !keepGoing) break;
    Line(stderr, QStringLiteral("[%1/%2] %3").arg(i + 1).arg(items.size()).arg(DisplayName(files[i])));
    QString error;
    {
      try {
        Photo photo = items[i].photo;
        if (items[i].prepare) items[i].prepare(photo);
        const RenderResult result = Render(photo.StampJob(), RenderTarget{0, 0, false});
        if (!pages.AddPage(result.image, PageSizeMm(photo.print.format, result.image.width(), result.image.height())))
          error = QStringLiteral("Cannot write %1").arg(DisplayName(*options.pdf));
      } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
      }
    }
    if (!error.isEmpty()) {
      Line(stderr, error);
      failed = true;
    }
  }
  if (!pages.Finish() || pages.Pages() == 0) {
    if (!failed) Line(stderr, QStringLiteral("Cannot write %1").arg(DisplayName(*options.pdf)));
    return 1;
  }
  const QByteArray path = PathBytes(*options.pdf);
  std::fwrite(path.constData(), 1, size_t(path.size()), stdout);
  std::fputc('\n', stdout);
  return failed ? 1 : 0;
}

}  // namespace tessaly
