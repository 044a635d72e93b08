#include "Orientation.h"

#include <algorithm>
#include <cstring>
#include <cstdlib>
#include <sys/mman.h>
#include <vector>

#include "PictureError.h"

namespace tessaly {

namespace {

// Stored rows gathered before a turned picture writes them out: each write
// then puts this many neighbouring pixels (192 bytes) into one upright row.
constexpr int kStripRows = 64;

constexpr size_t kHugePage = size_t(2) << 20;

// Where stored pixel (x, y) of a w x h picture lands upright: column u, row v.
struct Place {
  int64_t u, v;
};

Place UprightPlace(int orientation, int64_t x, int64_t y, int64_t w, int64_t h) {
  switch (orientation) {
    case 2: return {w - 1 - x, y};
    case 3: return {w - 1 - x, h - 1 - y};
    case 4: return {x, h - 1 - y};
    case 5: return {y, x};
    case 6: return {h - 1 - y, x};
    case 7: return {h - 1 - y, w - 1 - x};
    case 8: return {y, w - 1 - x};
    default: return {x, y};
  }
}

}  // namespace


void MirrorRow(const uint8_t* in, uint8_t* out, int width) {
  const uint8_t* from = in + size_t(width) * 3;
  for (int x = 0; x < width; ++x, out += 3) {
    from -= 3;
    out[0] = from[0];
    out[1] = from[1];
    out[2] = from[2];
  }
}

UprightPicture::UprightPicture(Orientation orientation, int storedWidth, int storedHeight)
    : orientation_(orientation), storedWidth_(storedWidth), storedHeight_(storedHeight) {
  const bool swap = orientation_.SwapsSides();
  width_ = swap ? storedHeight : storedWidth;
  height_ = swap ? storedWidth : storedHeight;
  stride_ = size_t(std::max(width_, 0)) * 3;
  // The render cap: a file claiming far more is refused rather than
  // exhausting memory.
  CheckPictureSize(width_, height_);
  const int64_t bytes = int64_t(width_) * height_ * 3;
  // Not cleared: every pixel is written by Fill. A large picture asks for
  // huge pages: a turn by 90 degrees writes all over it, and with 4 KB pages
  // it would also fault in and look up thousands of pages per strip.
  const size_t size = size_t(bytes);
  if (size >= kHugePage * 4) {
    const size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
    pixels_.reset(static_cast<uint8_t*>(std::aligned_alloc(kHugePage, rounded)));
    if (pixels_) ::madvise(pixels_.get(), rounded, MADV_HUGEPAGE);
  } else {
    pixels_.reset(static_cast<uint8_t*>(std::malloc(size)));
  }
  if (!pixels_) throw PictureSizeError(width_, height_);
}

void UprightPicture::Free::operator()(uint8_t* p) const { std::free(p); }

void UprightPicture::Fill(const std::function<const uint8_t*(int y)>& storedRow) {
  const size_t rowBytes = size_t(storedWidth_) * 3;
  if (!orientation_.SwapsSides()) {
    for (int y = 0; y < storedHeight_; ++y) PutStrip(storedRow(y), y, 1);
    return;
  }
  // Four bytes more: a pixel is read as four bytes.
  std::vector<uint8_t> strip(rowBytes * size_t(std::min(kStripRows, storedHeight_)) + 4);
  for (int first = 0; first < storedHeight_; first += kStripRows) {
    const int count = std::min(kStripRows, storedHeight_ - first);
    for (int j = 0; j < count; ++j) std::memcpy(strip.data() + j * rowBytes, storedRow(first + j), rowBytes);
    PutStrip(strip.data(), first, count);
  }
}

// Puts stored rows firstRow .. firstRow + count - 1 (count rows of strip,
// one after the other) in place.
void UprightPicture::PutStrip(const uint8_t* strip, int firstRow, int count) {
  const int64_t w = storedWidth_, h = storedHeight_;
  const size_t rowBytes = size_t(w) * 3;
  // The upright offset, in pixels, of stored pixel (x, y) is
  // origin + x * dx + y * dy for every orientation.
  const auto offset = [&](int64_t x, int64_t y) {
    const Place p = UprightPlace(orientation_.Exif(), x, y, w, h);
    return p.v * width_ + p.u;
  };
  const int64_t origin = offset(0, 0);
  const int64_t dx = offset(1, 0) - origin, dy = offset(0, 1) - origin;
  uint8_t* const pixels = pixels_.get();

  if (!orientation_.SwapsSides()) {
    // Each stored row is one upright row, mirrored or not.
    for (int j = 0; j < count; ++j) {
      const int64_t y = firstRow + j;
      const uint8_t* in = strip + j * rowBytes;
      uint8_t* out = pixels + 3 * (origin + y * dy + (dx < 0 ? -(w - 1) : 0));
      if (dx > 0)
        std::memcpy(out, in, rowBytes);
      else
        MirrorRow(in, out, int(w));
    }
    return;
  }
  // Each stored column of the strip is a run of count neighbouring pixels of
  // one upright row (dy is 1 or -1 here), written from its left end on.
  const int64_t step = dy > 0 ? int64_t(rowBytes) : -int64_t(rowBytes);
  const int64_t firstIn = dy > 0 ? 0 : int64_t(count - 1) * int64_t(rowBytes);
  for (int64_t x = 0; x < w; ++x) {
    const uint8_t* in = strip + firstIn + 3 * x;
    const int64_t left = origin + x * dx + firstRow * dy - (dy > 0 ? 0 : count - 1);
    uint8_t* out = pixels + 3 * left;
    int j = 0;
    // Four bytes at a time; the fourth is the next pixel's first, written
    // again right after.
    for (; j + 1 < count; ++j, in += step, out += 3) {
      uint32_t v;
      std::memcpy(&v, in, 4);
      std::memcpy(out, &v, 4);
    }
    out[0] = in[0];
    out[1] = in[1];
    out[2] = in[2];
  }
}

}  // namespace tessaly
