// An EXIF block handed over without a JPEG around it (as a HEIF file's EXIF
// item is) reads exactly as the same bytes in a JPEG's EXIF segment: every
// tag, the maker note, the outcome and the date.
#include <gtest/gtest.h>

#include "MakerNoteReading.h"
#include "SamplePhotos.h"

namespace tessaly {
namespace {

using namespace testing;

std::unique_ptr<TimgData> ReadBlock(const std::string& tiff) {
  auto data = std::make_unique<TimgData>(kBuildAll, FullReader());
  data->ReadExifBlock(tiff, WriteFile(TempDir("exifblock") + "/photo.heic", "heif bytes"));
  return data;
}

TEST(ExifBlock, ReadsAsTheSameBytesInAJpegSegment) {
  std::vector<std::pair<std::string, std::string>> tiffs = {{"sample-ii", SampleTiff(false)},
                                                            {"sample-mm", SampleTiff(true)}};
  for (auto photo : {NikonType3Photo, OlympusPhoto, CanonPhoto, FujifilmPhoto})
    for (bool be : {false, true}) tiffs.emplace_back(photo(be).make, photo(be).Tiff());
  for (const auto& [name, tiff] : tiffs) {
    const auto jpeg = ReadBytes(JpegFile({ExifSegment(tiff)}), ".jpg");
    const auto block = ReadBlock(tiff);
    ASSERT_TRUE(block->HasExifSegment() && block->exif) << name;
    EXPECT_EQ(block->errorText, jpeg->errorText) << name;
    EXPECT_EQ(block->exif->tagText, jpeg->exif->tagText) << name;
    EXPECT_EQ(block->exif->makerNoteText, jpeg->exif->makerNoteText) << name;
    EXPECT_EQ(block->exif->ShotDateTime(), jpeg->exif->ShotDateTime()) << name;
  }
  EXPECT_EQ(FormatIsoDateTime(ReadBlock(SampleTiff(true))->exif->ShotDateTime()), "2024-05-06 07:08:02");
  // Longer than a JPEG segment may be: the length field cannot hold it, the walk still reads it.
  EXPECT_EQ(ReadBlock(SampleTiff(false) + std::string(70000, '\0'))->errorText, "<none>");
}

}  // namespace
}  // namespace tessaly
