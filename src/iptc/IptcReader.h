// IptcReader: IPTC-IIM datasets of a Photoshop resource block.
#pragma once

#include "ExifReader.h"

namespace tessaly {

// The hook the segment walk calls on the first APP13 segment (see FullReader).
std::shared_ptr<TIPTCdata> CreateIptcHook(TimgData& owner);

}  // namespace tessaly
