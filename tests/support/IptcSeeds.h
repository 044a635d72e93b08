// Builds IPTC-IIM datasets, the Photoshop image-resource block that carries
// them in a JPEG APP13 segment, and a sample JPEG holding such a block (a seed
// for the fuzz target).
#pragma once

#include <cstdint>
#include <string>

#include "PhotoBuilder.h"

namespace tessaly::testing {

// One DataSet (IPTC-IIM 4.1): tag marker 0x1C, record, dataset, 16-bit
// big-endian length, data.
inline std::string IptcDataset(uint8_t record, uint8_t dataset, const std::string& data) {
  std::string s;
  s += '\x1C';
  s += static_cast<char>(record);
  s += static_cast<char>(dataset);
  s += U16(static_cast<uint16_t>(data.size()), true);
  return s + data;
}

// The APP13 payload: "Photoshop 3.0", a zero, then one image resource
// "8BIM", id 0x0404 (IPTC-NAA), an empty name padded to even length, the
// 32-bit size and the datasets, padded to even length.
inline std::string PhotoshopBlock(const std::string& datasets) {
  std::string s("Photoshop 3.0\0" "8BIM\x04\x04\0\0", 22);
  s += U32(static_cast<uint32_t>(datasets.size()), true);
  s += datasets;
  if (datasets.size() % 2 != 0) s += '\0';
  return s;
}

// A JPEG with a JFIF header and an APP13 block holding the record version,
// two keywords, a city, a caption, urgency and a subfile dataset.
inline std::string IptcSampleJpeg() {
  const std::string datasets =
      IptcDataset(2, 0, std::string("\0\4", 2)) + IptcDataset(2, 25, "alpha") +
      IptcDataset(2, 25, "beta") + IptcDataset(2, 90, "Paris") +
      IptcDataset(2, 120, "A caption\r\non two lines") + IptcDataset(2, 10, "5") +
      IptcDataset(8, 10, std::string("\0\1", 2));
  return JpegFile({Segment(0xE0, std::string("JFIF\0\1\1\0\0\1\0\1\0\0", 14)),
                   Segment(0xED, PhotoshopBlock(datasets))});
}

}  // namespace tessaly::testing
