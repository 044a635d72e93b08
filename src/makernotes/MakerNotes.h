// MakerNotes: the maker-note dispatch and the vendor tag tables.
#pragma once

#include "ExifReader.h"

namespace tessaly {

// The hook the directory walk calls on tag 0x927C (see FullReader).
bool ReadMakerNoteHook(TImageInfo& info);

}  // namespace tessaly
