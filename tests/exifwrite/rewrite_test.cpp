// The copy's EXIF block, read back by the project's own reader: what stays
// (dates, camera, maker note), what changes (orientation, size, caption) and
// what goes (GPS, IFD1 and its thumbnail); damaged blocks give no block and
// say why.
#include <gtest/gtest.h>

#include "CameraExif.h"
#include "ExifRewrite.h"
#include "MakerNoteReading.h"

namespace tessaly {
namespace {

using namespace testing;

std::unique_ptr<TimgData> ReadBlock(const std::string& tiff) {
  auto data = std::make_unique<TimgData>(kBuildAll, FullReader());
  data->ReadExifBlock(tiff, "copy.jpg");
  return data;
}

uint32_t NextLinkOfIfd0(const std::string& tiff, bool be) {
  const auto at = [&](size_t i) { return uint32_t(uint8_t(tiff.at(i))); };
  const auto u32 = [&](size_t i) {
    return be ? at(i) << 24 | at(i + 1) << 16 | at(i + 2) << 8 | at(i + 3)
              : at(i + 3) << 24 | at(i + 2) << 16 | at(i + 1) << 8 | at(i);
  };
  const uint32_t ifd0 = u32(4);
  const uint32_t count = be ? at(ifd0) << 8 | at(ifd0 + 1) : at(ifd0 + 1) << 8 | at(ifd0);
  return u32(ifd0 + 2 + 12 * count);
}

TEST(ExifRewrite, KeepsDatesCameraAndMakerNoteChangesOrientationAndSizeDropsGpsAndThumbnail) {
  for (const bool be : {false, true}) {
    for (const bool keepLocation : {false, true}) {
      SCOPED_TRACE(std::string(be ? "MM" : "II") + (keepLocation ? " keeping location" : ""));
      const CameraExif camera = CameraExifBlock(be);
      const ExifRewrite copy = RewriteExif(camera.tiff, {300, 400, keepLocation, "Sea at dawn"});
      ASSERT_EQ(copy.problem, "");
      const auto before = ReadBlock(camera.tiff), after = ReadBlock(copy.tiff);
      ASSERT_TRUE(before->exif && after->exif);
      const TImageInfo &photo = *before->exif, &info = *after->exif;
      ASSERT_EQ(photo.orientation, 6);

      EXPECT_EQ(info.cameraMake, "Canon");
      EXPECT_EQ(info.cameraModel, photo.cameraModel);
      EXPECT_EQ(info.OriginalDate(), photo.OriginalDate());
      EXPECT_EQ(info.DigitizedDate(), photo.DigitizedDate());
      EXPECT_EQ(info.ModifiedDate(), photo.ModifiedDate());
      EXPECT_EQ(info.TagValueText("ExposureTime"), photo.TagValueText("ExposureTime"));
      EXPECT_TRUE(info.makerNoteRead);
      EXPECT_EQ(MakerNoteRecords(info), MakerNoteRecords(photo));
      EXPECT_EQ(info.makerNoteBytes, photo.makerNoteBytes);  // byte for byte

      EXPECT_EQ(info.orientation, 1);
      EXPECT_EQ(info.TagValueText("ImageWidth"), "300");
      EXPECT_EQ(info.TagValueText("ImageLength"), "400");
      EXPECT_EQ(info.TagValueText("ExifImageWidth"), "300");
      EXPECT_EQ(info.TagValueText("ExifImageLength"), "400");
      EXPECT_EQ(info.TagValueText("ImageDescription"), "Sea at dawn");

      EXPECT_EQ(NextLinkOfIfd0(copy.tiff, be), 0u);
      EXPECT_EQ(copy.tiff.find(camera.thumbnail), std::string::npos);
      // IFD1 and the thumbnail end the photo's block: they are cut off.
      EXPECT_LE(RewriteExif(camera.tiff, {300, 400, keepLocation, ""}).tiff.size(),
                camera.tiff.size() - camera.thumbnail.size() - 42);
      ASSERT_GE(photo.TagIndex("GPSLatitude"), 0);
      if (keepLocation) {
        EXPECT_EQ(info.TagValueText("GPSLatitude"), photo.TagValueText("GPSLatitude"));
      } else {
        EXPECT_LT(info.TagIndex("GPSLatitude"), 0);
        EXPECT_LT(info.TagIndex("GPSInfo"), 0);
        // Nothing of the position is left in the bytes either.
        EXPECT_EQ(copy.tiff.find(U32(5678, be) + U32(100, be)), std::string::npos);
      }
    }
  }
}

TEST(ExifRewrite, CaptionReplacesThePhotosOwnAndAnEmptyOneKeepsIt) {
  TiffBuilder t(false);
  t.AddAscii(0, 0x010E, "OLYMPUS DIGITAL CAMERA");
  t.AddAscii(0, 0x010F, "OLYMPUS");
  t.AddShort(0, 0x0112, {8});
  const std::string tiff = t.Build();
  EXPECT_EQ(ReadBlock(RewriteExif(tiff, {10, 20, false, "Hi"}).tiff)->exif->TagValueText("ImageDescription"), "Hi");
  const ExifRewrite kept = RewriteExif(tiff, {10, 20, false, ""});
  EXPECT_EQ(ReadBlock(kept.tiff)->exif->TagValueText("ImageDescription"), "OLYMPUS DIGITAL CAMERA");
  EXPECT_EQ(ReadBlock(kept.tiff)->exif->orientation, 1);
  EXPECT_EQ(kept.tiff.size(), tiff.size());  // changed in place
}

TEST(ExifRewrite, DamagedBlocksGiveNoBlockAndTheReason) {
  const auto withExifLink = [](uint32_t offset) {
    TiffBuilder t(false);
    t.AddAscii(0, 0x010F, "Make");
    t.AddRawOffset(0, 0x8769, offset);
    return t.Build();
  };
  std::string shortDirectory = withExifLink(8);
  shortDirectory[8] = '\x40';  // 64 entries in a block of a few
  std::string farValue = withExifLink(8);
  farValue[8 + 2 + 8] = '\x70';  // the Make text's offset
  TiffBuilder big(true);
  big.AddUndefined(0, 0x927C, std::string(70000, 'x'));
  const struct {
    const char* name;
    std::string tiff;
    std::string problem;
  } cases[] = {
      {"no header", "XX*\0", "damaged EXIF data: no TIFF header"},
      {"IFD0 in the header", std::string("II*\0\4\0\0\0", 8), "damaged EXIF data: IFD0 overlaps the TIFF header"},
      {"IFD0 past the end", std::string("II*\0\0\1\0\0", 8), "damaged EXIF data: a directory lies outside the EXIF data"},
      {"directory past the end", shortDirectory, "damaged EXIF data: a directory reaches past the end of the EXIF data"},
      {"value outside", farValue, "damaged EXIF data: a value lies outside the EXIF data"},
      {"EXIF directory outside", withExifLink(5000), "damaged EXIF data: a directory lies outside the EXIF data"},
      {"directory loop", withExifLink(8), "damaged EXIF data: directories link to each other in a loop"},
      {"too large", big.Build(), "the EXIF data (70026 bytes) does not fit a JPEG segment"},
  };
  for (const auto& c : cases) {
    const ExifRewrite copy = RewriteExif(c.tiff, {1, 1, false, "x"});
    EXPECT_EQ(copy.problem, c.problem) << c.name;
    EXPECT_EQ(copy.tiff, "") << c.name;
  }
}

TEST(ExifRewrite, DroppedPartsNeedNotBeSound) {
  // A GPS pointer and an IFD1 link leading nowhere are dropped all the same.
  TiffBuilder t(true);
  t.AddAscii(0, 0x010F, "Make");
  t.AddRawOffset(0, 0x8825, 9999);
  std::string tiff = t.Build();
  tiff[8 + 2 + 2 * 12 + 3] = '\x7F';  // IFD0's next link: far outside
  const ExifRewrite copy = RewriteExif(tiff, {1, 1, false, ""});
  ASSERT_EQ(copy.problem, "");
  const auto read = ReadBlock(copy.tiff);
  EXPECT_EQ(read->exif->cameraMake, "Make");
  EXPECT_LT(read->exif->TagIndex("GPSInfo"), 0);
  EXPECT_EQ(NextLinkOfIfd0(copy.tiff, true), 0u);
}

}  // namespace
}  // namespace tessaly
