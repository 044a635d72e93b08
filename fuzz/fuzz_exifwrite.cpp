// libFuzzer target: arbitrary bytes as the EXIF block of a photo through the
// copy's rewriting (every change at once: size, no GPS, a caption), the
// result read back by the reader; and as JPEG segments through their
// collection and the Photoshop resources' filter.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include <string>

#include "ExifReader.h"
#include "ExifRewrite.h"
#include "FullReader.h"
#include "JpegMetadata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string input(reinterpret_cast<const char*>(bytes), size);
  for (const bool keepLocation : {false, true}) {
    const tessaly::ExifRewrite copy =
        tessaly::RewriteExif(input, {4000, 3000, keepLocation, keepLocation ? "" : "Caption"});
    if (copy.tiff.empty() == copy.problem.empty()) std::abort();  // one or the other
    if (copy.tiff.size() > tessaly::kMaxExifBlock) std::abort();
    if (!copy.tiff.empty()) {
      tessaly::TimgData data(tessaly::kBuildAll, tessaly::FullReader());
      data.ReadExifBlock(copy.tiff, "copy.jpg");
    }
  }

  const std::string path = "/tmp/tessaly-fuzz-write-" + std::to_string(::getpid()) + ".jpg";
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(bytes, 1, size, f);
    std::fclose(f);
    std::vector<tessaly::JpegMarker> segments;
    tessaly::ReadJpegAppSegments(path, segments, nullptr);
    const tessaly::JpegMetadata meta = tessaly::CollectJpegMetadata(segments);
    std::string kept;
    tessaly::DropPhotoshopThumbnails(meta.photoshop, kept);
    tessaly::IccMarkers(meta.icc, meta.iccChunks);
    std::remove(path.c_str());
  }
  return 0;
}
