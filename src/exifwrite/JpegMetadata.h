// The metadata segments of a JPEG file, taken apart for a copy and put
// together again: the EXIF block, the XMP packet, the ICC profile (which may
// be split over several APP2 segments) and the Photoshop resources that hold
// IPTC data. Plain C++ without Qt; the bytes are untrusted and every read is
// bounds-checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

// One segment of a JPEG file: the marker code and the payload after the
// length field.
struct JpegMarker {
  uint8_t code = 0;
  std::string payload;
};

// The largest payload of one segment (the length field counts itself).
inline constexpr size_t kMaxSegmentPayload = 65535 - 2;

// The APPn segments of a JPEG file up to its first scan, in file order.
// Reads at most a few hundred segments; false (and why, in English) when
// the file cannot be opened or does not start as a JPEG file. Never throws.
bool ReadJpegAppSegments(const std::string& path, std::vector<JpegMarker>& segments, std::string* problem);

struct JpegMetadata {
  std::string exif;  // from the TIFF header on (first APP1 "Exif")
  std::string xmp;   // the standard XMP packet (first APP1 XMP)
  std::string icc;   // the joined ICC profile
  std::vector<size_t> iccChunks;  // the sizes it was split into, in order
  std::string photoshop;          // the joined APP13 resource blocks
  std::string problem;            // what could not be taken, empty when all could
};

// Sorts the segments out. An ICC profile whose chunks are missing, repeated
// or disagree on their count is not taken and gives a problem.
JpegMetadata CollectJpegMetadata(const std::vector<JpegMarker>& segments);

// The segments a copy gets, each payload at most kMaxSegmentPayload:
// "Exif\0\0" and the block; the XMP signature and the packet.
JpegMarker ExifMarker(const std::string& tiff);
JpegMarker XmpMarker(const std::string& packet);
// The APP2 segments of a profile (ICC.1:2010 annex B.4), split into the
// given chunk sizes when they add up to the profile and each fits, else
// into chunks as large as a segment holds.
std::vector<JpegMarker> IccMarkers(const std::string& icc, const std::vector<size_t>& chunks = {});
// The APP13 segments of joined Photoshop resources.
std::vector<JpegMarker> PhotoshopMarkers(const std::string& resources);

// The Photoshop image resources (8BIM blocks) without the thumbnail ones
// (resource IDs 1033 and 1036), which show the photo as it was; false when
// the blocks are malformed (the result is then empty).
bool DropPhotoshopThumbnails(std::string_view resources, std::string& kept);

}  // namespace tessaly
