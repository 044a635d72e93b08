// The font of a stamp, with the attributes of a classic GDI font as the
// window stores them ("FontDialog.res"): face, height in pixels, style,
// colour, character set and pitch.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <cstdint>
#include <optional>
#include <span>

namespace tessaly {

// Where the stamp sits on the picture. The margins are the bottom right
// corner's, mirrored to the side chosen: three "#" widths from the side
// edge, one text cell from the top or bottom edge.
enum class StampPosition { BottomRight, BottomLeft, TopRight, TopLeft, BottomCenter };

struct StampPositionName {
  StampPosition position;
  const char* name;     // command line and settings
  const char* caption;  // shown in the window (translated there)
};
std::span<const StampPositionName> StampPositions();
std::optional<StampPosition> StampPositionNamed(const QString& name);
const char* NameOf(StampPosition position);

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
  // Also beyond the GDI font, kept beside the outline: where the stamp sits,
  // whether it keeps at least kSafeMarginPercent of the picture's short side
  // from every edge (a lab's borderless print trims 2 to 3 mm), and a faint
  // glow of the text's own colour around the letters (the film look).
  StampPosition position = StampPosition::BottomRight;
  bool safeMargins = false;
  bool glow = false;
  // The form dates taken from the photo are stamped in (DateForm.h): a
  // form's name or a pattern; empty for the system's short date.
  QString dateForm;

  static constexpr int kSafeMarginPercent = 3;
  // The safe margin in pixels on an output of width x height: 3% of its
  // short side, rounded up.
  static int64_t SafeMargin(int64_t width, int64_t height);

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
  // The same for the stamp drawn into pictures: unhinted, so that its size,
  // letter spacing and outlines are the font's design alone, the same
  // whatever platform, screen settings or thread draws it.
  QFont StampQFont(int pixelHeight) const;

  bool operator==(const TStampFont&) const = default;

 private:
  QFont MakeQFont(int pixelHeight, QFont::HintingPreference hinting) const;
};

}  // namespace tessaly
