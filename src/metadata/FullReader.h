// The reader as the programs use it: maker notes and IPTC included.
#pragma once

#include "ExifReader.h"

namespace tessaly {

// The hooks that plug the maker-note dispatch and the IPTC reader into the
// segment and directory walks.
ReaderExtensions FullReader();

}  // namespace tessaly
