#include "CopySettings.h"

#include <QList>

namespace tessaly {

namespace {

QByteArray Flag(bool on) { return on ? "true" : "false"; }

void ReadFlag(const QByteArray& value, bool& flag) {
  if (value == "true" || value == "1") flag = true;
  if (value == "false" || value == "0") flag = false;
}

}  // namespace

QByteArray CopySettingsText(const CopySettings& s) {
  return "[Copy]\nConvertToSrgb=" + Flag(s.convertToSrgb) + "\nKeepLocation=" + Flag(s.keepLocation) +
         "\nNoMetadata=" + Flag(s.noMetadata) + "\nQuality=" + QByteArray::number(s.quality) + "\n";
}

void ReadCopySettings(const QByteArray& text, CopySettings& s) {
  for (const QByteArray& rawLine : text.split('\n')) {
    const QByteArray line = rawLine.trimmed();
    const qsizetype equals = line.indexOf('=');
    if (equals < 0 || line.startsWith('[') || line.startsWith(';')) continue;
    const QByteArray key = line.left(equals).trimmed().toLower();
    const QByteArray value = line.mid(equals + 1).trimmed().toLower();
    if (key == "converttosrgb") ReadFlag(value, s.convertToSrgb);
    else if (key == "keeplocation") ReadFlag(value, s.keepLocation);
    else if (key == "nometadata") ReadFlag(value, s.noMetadata);
    else if (key == "quality") {
      bool ok = false;
      const int quality = value.toInt(&ok);
      if (ok && quality >= kMinQuality && quality <= kMaxQuality) s.quality = quality;
    }
  }
}

}  // namespace tessaly
