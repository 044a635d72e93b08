// The film camera's look ("Плёнка"): the date in seven segments (DSEG7
// Classic of Debian's fonts-dseg), warm orange with a faint glow, as '26 12 8
// at the bottom right.
#pragma once

#include <QColor>

#include "StampFont.h"

namespace tessaly {

inline constexpr char kFilmFontFamily[] = "DSEG7 Classic";
inline constexpr QRgb kFilmColor = qRgb(0xFF, 0x8A, 0x1F);
// The plain bold face used when the seven-segment font is not installed.
inline constexpr char kFilmFallbackFamily[] = "DejaVu Sans";

// Whether the seven-segment font is installed (needs a Gui application).
bool FilmFontInstalled();

// The font with the film look: face, colour, glow, date form, position.
// Its size and outline stay. Without the seven-segment font, a plain bold
// face; returns whether the seven-segment one was there.
bool ApplyFilmLook(TStampFont& font);

}  // namespace tessaly
