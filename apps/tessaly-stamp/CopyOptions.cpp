#include "CopyOptions.h"

namespace tessaly {

namespace {

// An option and the one that says the opposite.
struct Switch {
  const char* on;
  const char* off;
  const char* onHelp;
  const char* offHelp;
  bool CopySettings::*field;
  bool onValue;
};

const Switch kSwitches[] = {
    {"srgb", "no-srgb", "Convert the pixels to sRGB (perceptual) and embed an sRGB profile.",
     "Keep the photo's colours and profile.", &CopySettings::convertToSrgb, true},
    {"keep-location", "no-location", "Keep the photo's GPS position in the copy.",
     "Leave the GPS position out of the copy.", &CopySettings::keepLocation, true},
    {"no-metadata", "metadata", "Write no EXIF, IPTC or XMP data (the colour profile stays).",
     "Carry the photo's EXIF, IPTC and XMP data.", &CopySettings::noMetadata, true},
};

}  // namespace

void AddCopyOptions(QCommandLineParser& parser) {
  for (const Switch& s : kSwitches) {
    parser.addOption(QCommandLineOption(QString::fromLatin1(s.on), QString::fromLatin1(s.onHelp)));
    parser.addOption(QCommandLineOption(QString::fromLatin1(s.off), QString::fromLatin1(s.offHelp)));
  }
  parser.addOption(QCommandLineOption(QStringLiteral("quality"),
                                      QStringLiteral("JPEG quality of the copies, 1 to 100 (default: 100, or the window's choice)."),
                                      QStringLiteral("N")));
}

std::optional<QString> TakeCopyOptions(const QCommandLineParser& parser, CopySettings& settings) {
  for (const Switch& s : kSwitches) {
    const bool on = parser.isSet(QString::fromLatin1(s.on)), off = parser.isSet(QString::fromLatin1(s.off));
    if (on && off) return QStringLiteral("--%1 and --%2 contradict each other").arg(QLatin1String(s.on), QLatin1String(s.off));
    if (on) settings.*s.field = s.onValue;
    if (off) settings.*s.field = !s.onValue;
  }
  if (parser.isSet(QStringLiteral("quality"))) {
    bool ok = false;
    const int quality = parser.value(QStringLiteral("quality")).toInt(&ok);
    if (!ok || quality < kMinQuality || quality > kMaxQuality) return QStringLiteral("--quality wants a number from 1 to 100");
    settings.quality = quality;
  }
  return std::nullopt;
}

}  // namespace tessaly
