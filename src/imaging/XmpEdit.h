// The XMP packet of a stamped copy, made from the photo's own through
// Exempi (the XMP toolkit): what no longer holds for the copy is taken out
// or set anew, and the comment becomes the caption.
#pragma once

#include <cstdint>
#include <string>

namespace tessaly {

struct XmpChanges {
  uint32_t width = 0;  // the copy's pixels
  uint32_t height = 0;
  bool keepLocation = false;
  std::string description;  // UTF-8; empty leaves the photo's own
};

// packet may be empty (a new one is made when there is a description).
// Takes out tiff:Orientation (the pixels are upright), the link to extended
// XMP (not carried) and, without keepLocation, the exif:GPS properties; sets
// tiff:ImageWidth/ImageLength and exif:PixelXDimension/PixelYDimension where
// present; writes the description as dc:description (x-default). Returns
// the new packet, empty when there is nothing to write; false with problem
// when the packet does not parse or the result would not fit a segment.
bool EditXmp(const std::string& packet, const XmpChanges& changes, std::string& result, std::string* problem);

}  // namespace tessaly
