#include "FilmLook.h"

#include <QFontDatabase>

#include "DateForm.h"

namespace tessaly {

bool FilmFontInstalled() { return QFontDatabase::hasFamily(QString::fromLatin1(kFilmFontFamily)); }

bool ApplyFilmLook(TStampFont& font) {
  const bool installed = FilmFontInstalled();
  font.name = QString::fromLatin1(installed ? kFilmFontFamily : kFilmFallbackFamily);
  font.bold = !installed;
  font.italic = font.underline = font.strikeOut = false;
  font.pitch = 0;
  font.SetColor(QColor(kFilmColor));
  font.glow = true;
  font.dateForm = QString::fromLatin1(kFilmDateForm);
  font.position = StampPosition::BottomRight;
  return installed;
}

}  // namespace tessaly
