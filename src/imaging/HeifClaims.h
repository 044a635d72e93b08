// The picture sizes a HEIF file claims, read from its boxes before libheif
// is given the file, so that nothing is allocated or decoded for a claim
// past the render cap: every image item's spatial extents ('ispe'), and the
// output size of each grid and overlay, which the primary image or a
// thumbnail may be.
#pragma once

#include <cstdint>
#include <vector>

#include "HeifInput.h"

namespace tessaly {

struct HeifClaim {
  uint64_t width = 0, height = 0;
};

// The claims in the order found: the 'ispe' properties in file order, then
// the output sizes of the grids and overlays by item number. Throws
// HeifError when the file holds an absurd number of boxes, when the data of
// a grid or overlay cannot be read (its size then cannot be checked), or
// when a derived image is made of an item that does not exist. Boxes that
// are malformed otherwise are left to libheif.
std::vector<HeifClaim> ReadHeifClaims(const HeifInput& input);

}  // namespace tessaly
