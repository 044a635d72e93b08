// libFuzzer target: arbitrary bytes through the HEIF reader: the size
// claims checked before libheif, libheif's reading of the boxes, the EXIF
// item, the thumbnail's size, and a decode of the picture or its thumbnail
// as the input's length picks.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "HeifClaims.h"
#include "HeifFile.h"

namespace {

// Pictures larger than this are checked but not decoded, so that each input
// stays quick; the checks themselves see every claim.
constexpr uint64_t kMaxDecodedPixels = 4'000'000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    tessaly::HeifFile file(bytes, tessaly::HeifFile::kFromMemory);
    file.CheckClaimedSizes();
    (void)file.Exif();
    (void)file.ThumbnailSize();
    tessaly::HeifInput input;
    input.bytes = bytes;
    input.size = int64_t(size);
    for (const tessaly::HeifClaim& claim : tessaly::ReadHeifClaims(input))
      if (claim.width * claim.height > kMaxDecodedPixels) return 0;
    if (uint64_t(file.Width()) * uint64_t(file.Height()) > kMaxDecodedPixels) return 0;
    file.Decode(size % 2 == 1);
    volatile uint8_t sink = 0;
    for (int y = 0; y < file.DecodedHeight(); ++y) sink = sink ^ file.Row(y)[0];
  } catch (const tessaly::HeifError&) {
  }
  return 0;
}
