// tessaly-stamp's options for prints and the stamp's look: --crop FORMAT,
// --fit FORMAT, --position, --safe-margins, --film, --date-format and --pdf;
// and the PDF they can make instead of the JPEG copies.
#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "ExportRun.h"
#include "Photo.h"
#include "PrintFormat.h"
#include "Render.h"
#include "StampFont.h"

namespace tessaly {

struct PrintOptions {
  // The stored print choice, then the command line's.
  PrintChoice print;
  // Where the frame lies: p percent along its axis, or in the middle; none
  // without a --crop.
  bool crop = false;
  std::optional<double> cropAt;
  std::optional<QString> pdf;
  // Set when --film found no seven-segment font.
  bool filmFontMissing = false;
};

class PrintOptionParser {
 public:
  explicit PrintOptionParser(QCommandLineParser& parser);
  // Reads the options into options and font (--film first, then
  // --position and --date-format over it); a message when one is not
  // usable. Called before the font's own options, which then win.
  std::optional<QString> Read(const QCommandLineParser& parser, PrintOptions& options, TStampFont& font) const;

 private:
  QCommandLineOption crop_, fit_, position_, safeMargins_, film_, dateFormat_, pdf_;
};

// The photo's print for the options (its facts read): the format's frame,
// or the picture padded to it.
void ApplyPrintOptions(Photo& photo, const PrintOptions& options);

// Writes the pictures, stamped, as one PDF with a page of each one's format
// per picture, each settled first by its item's prepare; a progress line for each on stderr, the PDF's path on stdout.
// Returns the exit status: 0, or 1 when a picture or the file failed.
int WritePdf(const QList<ExportRun::Item>& items, const QStringList& files, const PrintOptions& options,
             bool keepGoing);

}  // namespace tessaly
