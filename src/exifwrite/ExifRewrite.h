// The EXIF block of a stamped copy, made from the photo's own: every
// directory and tag kept where it stands, so that the offsets inside maker
// notes (most of them counted from the TIFF header) still find their data,
// with the changes the copy needs made in place. Plain C++ without Qt: the
// bytes come from untrusted files, and every read is bounds-checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly {

// The largest TIFF block one APP1 segment holds: 65535 bytes less the length
// field and the "Exif\0\0" signature (EXIF 2.3 section 4.5.4).
inline constexpr size_t kMaxExifBlock = 65535 - 2 - 6;

struct ExifChanges {
  uint32_t width = 0;   // the copy's pixels
  uint32_t height = 0;
  bool keepLocation = false;  // keep the GPS directory
  // The copy's caption as ImageDescription; empty leaves the photo's own.
  // Only ASCII text is written; the caller decides.
  std::string description;
};

struct ExifRewrite {
  std::string tiff;     // the new block from its TIFF header on; empty on failure
  std::string problem;  // why there is none (English), empty on success
};

// Rewrites tiff (from its TIFF header on) for a copy:
//  - IFD0's Orientation becomes 1 (the copy's pixels are upright);
//  - ImageWidth/ImageLength of IFD0 and PixelXDimension/PixelYDimension of
//    the EXIF directory give the copy's size (as LONG where SHORT is short);
//  - IFD0's link to the next directory is cleared: IFD1 and its thumbnail
//    are dropped and their bytes zeroed, and cut off when they end the block;
//  - without keepLocation, the GPS pointer leaves IFD0 and the GPS
//    directory's bytes are zeroed;
//  - a description moves IFD0 to the end of the block with an
//    ImageDescription entry (nothing else moves).
// A block that is damaged (a directory or value outside it, a loop of
// directories) gives no block and the problem; so does a result that does
// not fit kMaxExifBlock. Never throws.
ExifRewrite RewriteExif(std::string_view tiff, const ExifChanges& changes);

}  // namespace tessaly
