// An EXIF block handed over without a JPEG around it (as a HEIF file's EXIF
// item is) reads exactly as the same bytes in a JPEG's EXIF segment: every
// tag, the maker note, the outcome and the date; malformed blocks end with
// the segment's outcome texts.
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
    EXPECT_EQ(block->exif->tagCount(), jpeg->exif->tagCount()) << name;
    EXPECT_EQ(block->exif->ShotDateTime(), jpeg->exif->ShotDateTime()) << name;
  }
  EXPECT_EQ(FormatIsoDateTime(ReadBlock(SampleTiff(true))->exif->ShotDateTime()), "2024-05-06 07:08:02");
}

TEST(ExifBlock, MalformedBlocksEndWithTheirOutcome) {
  std::string pastAJpegSegment = SampleTiff(false);  // a block longer than a segment may be
  pastAJpegSegment += std::string(70000, '\0');
  const struct {
    const char* name;  // after its one fault
    std::string tiff;
    const char* outcome;
  } cases[] = {
      {"empty", "", "Invalid Exif alignment marker"},
      {"no_byte_order", std::string("XX*\0\x08\0\0\0", 8), "Invalid Exif alignment marker"},
      {"directory_count_beyond_block", std::string("II*\0\x08\0\0\0\xFF\xFF", 10), "Illegally sized directory"},
      {"first_directory_outside_block", std::string("II*\0\xFF\xFF\0\0", 8), "Illegal Exif construction"},
      {"longer_than_a_segment", pastAJpegSegment, "<none>"},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadBlock(c.tiff)->errorText, c.outcome) << c.name;
}

}  // namespace
}  // namespace tessaly
