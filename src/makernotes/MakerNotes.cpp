#include "MakerNotes.h"

namespace tessaly {

bool ReadMakerNoteHook(TImageInfo&) { return false; }

}  // namespace tessaly
