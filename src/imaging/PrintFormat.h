// Print formats and the arithmetic of their frames: which part of a picture
// a print of a format shows ("fill": the largest rectangle of the format's
// proportions inside the picture) and how a picture is padded with white to
// the format ("fit"). Pure functions over pixel sizes; the table of formats
// is tables/print_formats.def.
#pragma once

#include <QSizeF>
#include <QString>
#include <cstdint>
#include <optional>
#include <span>

#include "Render.h"

namespace tessaly {

enum class PrintFormatId {
#define PRINT_FORMAT(id, name, caption, longSide, shortSide, pageLong, pageShort) id,
#include "tables/print_formats.def"
#undef PRINT_FORMAT
};

struct PrintFormat {
  PrintFormatId id;
  const char* name;     // "10x15", "A4", "square", ...: command line and settings
  const char* caption;  // shown in the window (translated there)
  int longSide, shortSide;     // the proportions
  int pageLongMm, pageShortMm;  // the paper
};

inline constexpr PrintFormatId kDefaultPrintFormat = PrintFormatId::TenByFifteen;

// A picture's print: its format, and whether it is padded to it with white
// borders ("С полями", fit) rather than cut (fill).
struct PrintChoice {
  PrintFormatId format = kDefaultPrintFormat;
  bool fit = false;
  bool operator==(const PrintChoice&) const = default;
};

std::span<const PrintFormat> PrintFormats();
const PrintFormat& FormatOf(PrintFormatId id);
// By name, letters in any case ("a4", "SQUARE"); none for an unknown name.
std::optional<PrintFormatId> FormatNamed(const QString& name);

// The frame of a format on an upright picture of width x height pixels. The
// frame is landscape on a picture wider than high, portrait otherwise.
struct FrameGeometry {
  int64_t width = 0, height = 0;
  // The axis the frame moves along: x when it is narrower than the picture,
  // else y. It can move by `travel` pixels (0 when it covers the picture).
  bool horizontal = false;
  int64_t travel = 0;
};

// The largest rectangle of the format's proportions inside the picture: it
// keeps the picture's side across the axis it moves along whole. The sides
// are rounded half to even. For 10x15 on a picture of 3:2 or narrower the
// frame is the long side whole and the long side / 1.5 across it, as ever.
FrameGeometry FrameOf(PrintFormatId format, int64_t width, int64_t height);

// The frame placed p percent of the picture's side along its axis, at most
// so far that it ends at the picture's far edge: picture pixels, right and
// bottom exclusive. Inside the picture for every format and p from 0 to 100.
TRect FrameAt(PrintFormatId format, int64_t width, int64_t height, double p);

// The frame in the middle of its travel.
TRect CentredFrame(PrintFormatId format, int64_t width, int64_t height);

// The 10x15 cut the crop frame always made: p percent along the short side
// (of `side` pixels), the other side whole; start and length. A cut longer
// than the side (a picture wider than 3:2) starts before it.
std::pair<int64_t, int64_t> LegacyTenByFifteen(double p, int64_t side, int64_t other);
// Whether 10x15 on this picture keeps that arithmetic: 3:2 or narrower.
bool KeepsLegacyFrame(int64_t width, int64_t height);

// "Fit": the picture padded to the format's proportions with white borders
// of equal width on both sides (the odd pixel going to the right or bottom),
// as a rectangle in picture pixels that reaches outside the picture by the
// border widths. Nothing is cut.
TRect FitRect(PrintFormatId format, int64_t width, int64_t height);

// The paper of a format in millimetres, portrait or landscape as the picture.
QSizeF PageSizeMm(PrintFormatId format, int64_t width, int64_t height);

}  // namespace tessaly
