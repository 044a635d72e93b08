// The largest picture a render makes, which every decoder checks a file's
// claim against before decoding: plain C++, for the JPEG decoder, the HEIF
// reader and the render alike.
#pragma once

#include <cstdint>

namespace tessaly {

// 3 bytes a pixel in 1 GiB (a 24-megapixel photo takes 72 MB).
inline constexpr int64_t kMaxRenderBytes = int64_t(1) << 30;

// Whether a render of width x height pixels stays within kMaxRenderBytes.
inline bool WithinRenderCap(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= INT32_MAX && height <= INT32_MAX &&
         width * height <= kMaxRenderBytes / 3;
}

}  // namespace tessaly
