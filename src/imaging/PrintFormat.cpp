#include "PrintFormat.h"

#include <algorithm>
#include <cmath>

namespace tessaly {

namespace {

constexpr PrintFormat kFormats[] = {
#define PRINT_FORMAT(id, name, caption, longSide, shortSide, pageLong, pageShort) \
  {PrintFormatId::id, name, caption, longSide, shortSide, pageLong, pageShort},
#include "tables/print_formats.def"
#undef PRINT_FORMAT
};

int64_t Round(double v) { return int64_t(std::nearbyint(v)); }  // halves to even

// Start of a run of `length` pixels placed p percent along `side` pixels,
// kept inside the side.
int64_t Place(double p, int64_t side, int64_t length) {
  const int64_t start = Round(p * (double(side) / 100.0));
  return std::clamp<int64_t>(start, 0, std::max<int64_t>(side - length, 0));
}

}  // namespace

std::span<const PrintFormat> PrintFormats() { return kFormats; }

const PrintFormat& FormatOf(PrintFormatId id) {
  for (const PrintFormat& f : kFormats)
    if (f.id == id) return f;
  return kFormats[0];
}

std::optional<PrintFormatId> FormatNamed(const QString& name) {
  for (const PrintFormat& f : kFormats)
    if (name.compare(QLatin1String(f.name), Qt::CaseInsensitive) == 0) return f.id;
  return std::nullopt;
}

bool KeepsLegacyFrame(int64_t width, int64_t height) {
  const int64_t longSide = std::max(width, height), shortSide = std::min(width, height);
  return 2 * longSide <= 3 * shortSide;
}

std::pair<int64_t, int64_t> LegacyTenByFifteen(double p, int64_t side, int64_t other) {
  const int64_t length = Round(double(other) / 1.5);
  const int64_t start = std::min(Round(p * (double(side) / 100.0)), side - length);
  return {start, length};
}

FrameGeometry FrameOf(PrintFormatId format, int64_t width, int64_t height) {
  FrameGeometry frame;
  if (width <= 0 || height <= 0) return frame;
  const PrintFormat& f = FormatOf(format);
  // The frame's proportions as width : height.
  const bool landscape = width > height;
  const int64_t fw = landscape ? f.longSide : f.shortSide;
  const int64_t fh = landscape ? f.shortSide : f.longSide;
  if (width * fh > height * fw) {
    // Wider than the format: the height whole, moving along x.
    frame.height = height;
    frame.width = std::min(width, Round(double(height) * double(fw) / double(fh)));
    frame.horizontal = true;
    frame.travel = width - frame.width;
  } else {
    frame.width = width;
    frame.height = std::min(height, Round(double(width) * double(fh) / double(fw)));
    frame.travel = height - frame.height;
  }
  return frame;
}

TRect FrameAt(PrintFormatId format, int64_t width, int64_t height, double p) {
  if (format == PrintFormatId::TenByFifteen && KeepsLegacyFrame(width, height)) {
    if (width > height) {
      const auto [top, length] = LegacyTenByFifteen(p, height, width);
      return TRect{0, int32_t(top), int32_t(width), int32_t(top + length)};
    }
    const auto [left, length] = LegacyTenByFifteen(p, width, height);
    return TRect{int32_t(left), 0, int32_t(left + length), int32_t(height)};
  }
  const FrameGeometry frame = FrameOf(format, width, height);
  if (frame.horizontal) {
    const int64_t left = Place(p, width, frame.width);
    return TRect{int32_t(left), 0, int32_t(left + frame.width), int32_t(height)};
  }
  const int64_t top = Place(p, height, frame.height);
  return TRect{0, int32_t(top), int32_t(width), int32_t(top + frame.height)};
}

TRect CentredFrame(PrintFormatId format, int64_t width, int64_t height) {
  const FrameGeometry frame = FrameOf(format, width, height);
  const int64_t start = frame.travel / 2;
  if (frame.horizontal) return TRect{int32_t(start), 0, int32_t(start + frame.width), int32_t(height)};
  return TRect{0, int32_t(start), int32_t(width), int32_t(start + frame.height)};
}

TRect FitRect(PrintFormatId format, int64_t width, int64_t height) {
  if (width <= 0 || height <= 0) return TRect{};
  const PrintFormat& f = FormatOf(format);
  const bool landscape = width > height;
  const int64_t fw = landscape ? f.longSide : f.shortSide;
  const int64_t fh = landscape ? f.shortSide : f.longSide;
  int64_t pw = width, ph = height;
  if (width * fh > height * fw)
    ph = std::max(height, Round(double(width) * double(fh) / double(fw)));
  else
    pw = std::max(width, Round(double(height) * double(fw) / double(fh)));
  const int64_t left = (pw - width) / 2, top = (ph - height) / 2;
  return TRect{int32_t(-left), int32_t(-top), int32_t(pw - left), int32_t(ph - top)};
}

QSizeF PageSizeMm(PrintFormatId format, int64_t width, int64_t height) {
  const PrintFormat& f = FormatOf(format);
  if (width > height) return QSizeF(f.pageLongMm, f.pageShortMm);
  return QSizeF(f.pageShortMm, f.pageLongMm);
}

}  // namespace tessaly
