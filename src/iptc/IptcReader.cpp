#include "IptcReader.h"

namespace tessaly {

std::shared_ptr<TIPTCdata> CreateIptcHook(TimgData&) { return nullptr; }

}  // namespace tessaly
