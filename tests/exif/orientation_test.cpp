// The Orientation the reader gives: IFD0's own tag, 1 to 8, else 1.
#include <gtest/gtest.h>

#include <filesystem>

#include "ExifReader.h"
#include "PhotoBuilder.h"

namespace tessaly {
namespace {

using namespace tessaly::testing;

int OrientationOf(const std::string& path) {
  TimgData data(kBuildAll);
  data.ReadPicture(path);
  return data.exif ? data.exif->orientation : -1;
}

TEST(ReaderOrientation, MainDirectoryOnly) {
  // The tag's format and little-endian value, whether it is in the EXIF directory, the outcome.
  const struct { const char* name; uint16_t format; std::string value; bool inExif; int expected; } cases[] = {
      {"sideways", 3, U16(6, false), false, 6},   {"as a LONG", 4, U32(3, false), false, 3},
      {"nine", 3, U16(9, false), false, 1},       {"as text", 2, std::string("6\0", 2), false, 1},
      {"in the EXIF directory only", 3, U16(6, false), true, 1}};
  for (const auto& c : cases) {
    TiffBuilder tiff(false);
    const int exif = tiff.AddDirectory();
    tiff.Link(0, 0x8769, exif);
    tiff.Add(c.inExif ? exif : 0, 0x0112, c.format, 1, c.value);
    const std::string path = WriteFile(TempDir("reader-orientation") + "/o.jpg", JpegFile({ExifSegment(tiff.Build())}));
    EXPECT_EQ(OrientationOf(path), c.expected) << c.name;
  }
  // A phone photo stored sideways, when the shared photos are there.
  const std::filesystem::path phone = TESSALY_CORPUS_DIR "/phones/Apple_iPhone_4S.jpg";
  if (std::filesystem::exists(phone)) {
    EXPECT_EQ(OrientationOf(phone.string()), 6);
  }
}

}  // namespace
}  // namespace tessaly
