// libFuzzer target: arbitrary bytes through the whole metadata reader, once
// as a JPEG file and once as a TIFF-structured file, then the accessors.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ExifReader.h"
#include "FullReader.h"
#include "IptcReader.h"

namespace {

// name's extension says how the reader takes the bytes.
void ReadAs(const char* asFile, const uint8_t* bytes, size_t size) {
  tessaly::TimgData data(tessaly::kBuildAll, tessaly::FullReader());
  data.ReadPictureBytes(std::string_view(reinterpret_cast<const char*>(bytes), size), asFile);
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
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  ReadAs("fuzz.jpg", bytes, size);
  ReadAs("fuzz.tif", bytes, size);
  return 0;
}
