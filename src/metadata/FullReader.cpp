#include "FullReader.h"

#include "IptcReader.h"
#include "MakerNotes.h"

namespace tessaly {

ReaderExtensions FullReader() {
  ReaderExtensions ext;
  ext.readMakerNote = &ReadMakerNoteHook;
  ext.createIptc = &CreateIptcHook;
  return ext;
}

}  // namespace tessaly
