// Builds HEIF files box by box (ISO/IEC 14496-12 boxes, ISO/IEC 23008-12
// items): enough structure for the size checks that run before libheif, and
// none of the coded pictures, so that a test can make any claim it likes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly::testing {

struct HeifItem {
  uint32_t id = 1;
  std::string type = "hvc1";         // "hvc1", "grid", "iovl", ...
  std::string data;                  // kept in 'idat'; none: no location
  uint32_t width = 0, height = 0;    // its 'ispe'; 0 x 0: none
  std::vector<uint32_t> derivedFrom; // 'dimg' references
};

// A whole file: 'ftyp', then 'meta' with the items, primary the main one.
std::string HeifWithItems(const std::vector<HeifItem>& items, uint32_t primary);

// The data of a grid of rows x columns tiles or of an overlay canvas
// (ISO/IEC 23008-12 section 6.6.2.3), with 32-bit sizes when wide.
std::string GridData(int rows, int columns, uint32_t width, uint32_t height, bool wide);
std::string OverlayData(uint32_t width, uint32_t height, bool wide, int inputs);

}  // namespace tessaly::testing
