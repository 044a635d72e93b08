// The font of a stamp, with the attributes of a classic GDI font as the
// window stores them ("FontDialog.res"): face, height in pixels, style,
// colour, character set and pitch.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <cstdint>

namespace tessaly {

struct TStampFont {
  // Height in pixels: negative gives the character height (the em), positive
  // the cell height; -11 is 8 points at 96 dots per inch.
  QString name = QStringLiteral("MS Sans Serif");
  int height = -11;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strikeOut = false;
  // A colour value: 0x00BBGGRR, or a system colour 0x800000nn
  // (0x80000008 is the window text colour, the default).
  uint32_t color = 0x80000008u;
  int charset = 1;  // DEFAULT_CHARSET
  int pitch = 0;    // 0 default, 1 variable, 2 fixed
  // A halo of the contrasting colour around the letters, so the text reads
  // on dark and light backgrounds alike. Not a GDI font attribute: the window
  // keeps it in a settings file of its own, not in "FontDialog.res".
  bool outline = false;

  static constexpr int kPixelsPerInch = 96;

  // Size in points: -height * 72 / 96, rounded as MulDiv does.
  int Size() const;
  void SetSize(int points);
  QColor Color() const;             // system colours resolved
  // The outline's colour: white around dark text, black around light text
  // (by the text colour's luma, ITU-R BT.601 weights).
  QColor HaloColor() const;
  // The outline's width for a text cell of cellHeight pixels: a twelfth of
  // it, at least 1.
  static int HaloWidth(int cellHeight);
  void SetColor(const QColor& c);   // stored as 0x00BBGGRR

  // A QFont with this face, style and pitch at the given pixel height
  // (the height's own value when 0 is passed).
  QFont ToQFont(int pixelHeight = 0) const;

  bool operator==(const TStampFont&) const = default;
};

}  // namespace tessaly
