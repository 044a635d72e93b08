// libFuzzer target: arbitrary bytes through the whole metadata reader, once
// as a JPEG file and once as a TIFF-structured file, then the accessors.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "ExifReader.h"
#include "FullReader.h"
#include "IptcReader.h"

namespace {

std::string TempPath(const char* extension) {
  return "/tmp/tessaly-fuzz-" + std::to_string(::getpid()) + extension;
}

void ReadAs(const char* extension, const uint8_t* bytes, size_t size) {
  const std::string path = TempPath(extension);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(bytes, 1, size, f);
  std::fclose(f);

  tessaly::TimgData data(tessaly::kBuildAll, tessaly::FullReader());
  data.ReadPicture(path);
  if (data.exif) {
    const tessaly::TImageInfo& info = *data.exif;
    info.ShotDateTime();
    for (const char* name : {"ExposureTime", "FNumber", "FocalLength", "ISOSpeedRatings"})
      info.TagRounded(name);
    for (const tessaly::TTagEntry& tag : info.tags) tessaly::Win1251ToUtf8(tag.valueText);
    tessaly::Win1251ToUtf8(info.tagText + info.makerNoteText);
  }
  if (data.iptc && data.iptcSegment) {
    data.iptc->ParseBlock(data.iptcSegment->bytes);
    for (int i = 0; i < data.iptc->Count(); ++i) data.iptc->GetTag(i);
  }
  std::remove(path.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  ReadAs(".jpg", bytes, size);
  ReadAs(".tif", bytes, size);
  return 0;
}
