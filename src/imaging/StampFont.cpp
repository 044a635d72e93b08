#include "StampFont.h"

#include <QFontMetrics>
#include <algorithm>

namespace tessaly {

namespace {

// a * b / c rounded half away from zero, as the Windows MulDiv.
int MulDiv(int a, int b, int c) {
  const int64_t n = int64_t(a) * b;
  const int64_t half = c / 2;
  return int(n >= 0 ? (n + half) / c : -((-n + half) / c));
}

constexpr uint32_t kSystemColorFlag = 0x80000000u;

struct SystemColor {
  int index;
  const char* name;
  int red, green, blue;
};

constexpr SystemColor kSystemColors[] = {
#define SYSTEM_COLOR(index, name, red, green, blue) {index, name, red, green, blue},
#include "tables/SystemColors.def"
};

// Pixel size whose line height (ascent + descent, the character cell) is at
// most cellHeight and as close to it as the font allows.
int PixelSizeForCell(QFont font, int cellHeight) {
  font.setPixelSize(cellHeight);
  const int measured = QFontMetrics(font).height();
  int size = measured > 0 ? std::max(1, int(int64_t(cellHeight) * cellHeight / measured)) : cellHeight;
  for (int step = 0; step < 4; ++step) {
    font.setPixelSize(size + 1);
    if (QFontMetrics(font).height() > cellHeight) break;
    ++size;
  }
  for (int step = 0; step < 4 && size > 1; ++step) {
    font.setPixelSize(size);
    if (QFontMetrics(font).height() <= cellHeight) break;
    --size;
  }
  return size;
}

constexpr StampPositionName kPositions[] = {
#define STAMP_POSITION(id, name, caption) {StampPosition::id, name, caption},
#include "tables/stamp_positions.def"
#undef STAMP_POSITION
};

}  // namespace

std::span<const StampPositionName> StampPositions() { return kPositions; }

std::optional<StampPosition> StampPositionNamed(const QString& name) {
  for (const StampPositionName& p : kPositions)
    if (name.compare(QLatin1String(p.name), Qt::CaseInsensitive) == 0) return p.position;
  return std::nullopt;
}

const char* NameOf(StampPosition position) {
  for (const StampPositionName& p : kPositions)
    if (p.position == position) return p.name;
  return kPositions[0].name;
}

int64_t TStampFont::SafeMargin(int64_t width, int64_t height) {
  const int64_t shortSide = std::max<int64_t>(0, std::min(width, height));
  return (shortSide * kSafeMarginPercent + 99) / 100;
}

int TStampFont::Size() const { return MulDiv(-height, 72, kPixelsPerInch); }

void TStampFont::SetSize(int points) { height = -MulDiv(points, kPixelsPerInch, 72); }

QColor TStampFont::Color() const {
  if (color & kSystemColorFlag) {
    for (const SystemColor& c : kSystemColors)
      if (uint32_t(c.index) == (color & 0xFFu)) return QColor(c.red, c.green, c.blue);
    return QColor(0, 0, 0);
  }
  return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

QColor TStampFont::HaloColor() const {
  const QColor text = Color();
  const int luma = (299 * text.red() + 587 * text.green() + 114 * text.blue()) / 1000;
  return luma < 128 ? QColor(255, 255, 255) : QColor(0, 0, 0);
}

int TStampFont::HaloWidth(int cellHeight) { return std::max(1, (cellHeight + 6) / 12); }

void TStampFont::SetColor(const QColor& c) {
  color = uint32_t(c.red()) | uint32_t(c.green()) << 8 | uint32_t(c.blue()) << 16;
}

QFont TStampFont::ToQFont(int pixelHeight) const { return MakeQFont(pixelHeight, QFont::PreferDefaultHinting); }

QFont TStampFont::StampQFont(int pixelHeight) const { return MakeQFont(pixelHeight, QFont::PreferNoHinting); }

QFont TStampFont::MakeQFont(int pixelHeight, QFont::HintingPreference hinting) const {
  QFont font(name);
  font.setHintingPreference(hinting);
  font.setBold(bold);
  font.setItalic(italic);
  font.setUnderline(underline);
  font.setStrikeOut(strikeOut);
  if (pitch == 2) {
    font.setFixedPitch(true);
    font.setStyleHint(QFont::TypeWriter);
  }
  const int h = pixelHeight != 0 ? pixelHeight : height;
  if (h < 0)
    font.setPixelSize(-h);
  else if (h > 0)
    font.setPixelSize(PixelSizeForCell(font, h));
  return font;
}

}  // namespace tessaly
