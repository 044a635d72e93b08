// The JPEG segment walk and the TIFF read: which segments are kept, which
// one is taken as EXIF data, and the outcome texts.
#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

#include "ExifReader.h"
#include "PhotoBuilder.h"
#include "SamplePhotos.h"

namespace tessaly {
namespace {

using namespace tessaly::testing;

const std::string kJfif("JFIF\0\x01\x02\x00\x00\x01\x00\x01\x00\x00", 14);

std::string Dqt() { return Segment(0xDB, std::string(65, '\x01')); }
std::string Com(const std::string& text = "note") { return Segment(0xFE, text); }
std::string Exif() { return ExifSegment(SampleTiff(false)); }
std::string Xmp() { return Segment(0xE1, "http://ns.adobe.com/xap/1.0/\0<x/>"); }

class SegmentWalk : public ::testing::Test {
 protected:
  std::string dir = TempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
  TimgData data{kBuildAll};

  // The bytes read as a file so named would be.
  bool Read(const std::string& bytes, const std::string& name = "photo.jpg") {
    return data.ReadPictureBytes(bytes, name);
  }
  int SlotOf(const tSection* section) const {
    return section ? static_cast<int>(section - data.segments) : 0;
  }
};

TEST_F(SegmentWalk, ExtensionDecidesHowTheFileIsRead) {
  const std::string photo = JpegFile({Exif()});
  for (const char* name : {"a.jpg", "b.JPG", "c.jpeg", "d.Jpe"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(Read(photo, name));
    EXPECT_EQ(data.errorText, "<none>");
    EXPECT_TRUE(data.HasExifSegment());
  }
  for (const char* name : {"e.jpeg2", "f.png", "noextension", "g.jpg.txt"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(Read(photo, name));
    EXPECT_EQ(data.errorText, "Not an EXIF file");
    EXPECT_FALSE(data.HasExifSegment());
  }
}

TEST_F(SegmentWalk, MissingOrUnopenableFile) {
  EXPECT_FALSE(data.ReadPicture(dir + "/absent.jpg"));
  EXPECT_EQ(data.errorText, "");
  EXPECT_EQ(data.fileName, "");

  // A folder, and a named pipe that no one writes to (opening it must not
  // wait for a writer), are no files to read.
  std::filesystem::create_directory(dir + "/folder.jpg");
  ASSERT_EQ(::mkfifo((dir + "/pipe.jpg").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo((dir + "/pipe.tif").c_str(), 0600), 0);
  for (const char* name : {"/folder.jpg", "/pipe.jpg", "/pipe.tif"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(data.ReadPicture(dir + name));
    EXPECT_EQ(data.errorText, "Illegal Exif construction");
  }
}

TEST_F(SegmentWalk, RecordsTheFileFacts) {
  const std::string photo = JpegFile({Exif()});
  const std::string path = WriteFile(dir + "/facts.jpg", photo);
  ASSERT_TRUE(data.ReadPicture(path));
  EXPECT_EQ(data.fileName, path);
  EXPECT_EQ(data.fileSize, static_cast<int64_t>(photo.size()));
  EXPECT_GT(data.fileDate, 45000.0);  // written just now, well after 2023
}

TEST_F(SegmentWalk, TypicalCameraFileStopsAtTheScan) {
  const std::string sof = Segment(0xC0, std::string(15, '\x08'));
  const std::string dht = Segment(0xC4, std::string(20, '\x00'));
  ASSERT_TRUE(Read(JpegFile({Segment(0xE0, kJfif), Exif(), Dqt(), dht, sof})));
  EXPECT_EQ(data.errorText, "<none>");
  EXPECT_EQ(data.segmentCount, 6);  // the scan header is read, then the walk stops
  EXPECT_EQ(data.segments[6].marker, 0xDA);
  EXPECT_EQ(SlotOf(data.jfifSegment), 1);
  EXPECT_EQ(SlotOf(data.exifSegment), 2);
  EXPECT_EQ(data.segments[2].length, static_cast<int>(data.segments[2].bytes.size()));
  EXPECT_EQ(data.segments[2].marker, 0xE1);
  ASSERT_NE(data.exif, nullptr);
  EXPECT_EQ(data.exif->cameraMake, SampleFacts::kMake);
  EXPECT_FALSE(data.bigEndian);
}

TEST_F(SegmentWalk, NoStartOfImage) {
  const std::string photo = JpegFile({Exif()});
  EXPECT_FALSE(Read(photo.substr(2)));
  EXPECT_EQ(data.errorText, "Not an EXIF file");
  EXPECT_FALSE(Read("\xFF\xD9" + photo.substr(2)));
  EXPECT_EQ(data.errorText, "Not an EXIF file");
}

TEST_F(SegmentWalk, MetadataMustComeWithinTheFirstFourSegments) {
  EXPECT_FALSE(Read(JpegFile({Dqt(), Dqt(), Dqt(), Dqt(), Exif()})));
  EXPECT_EQ(data.errorText, "Not an EXIF file");
  EXPECT_EQ(data.segmentCount, 5);
  EXPECT_FALSE(data.HasExifSegment());

  EXPECT_TRUE(Read(JpegFile({Dqt(), Dqt(), Dqt(), Exif()})));
  EXPECT_EQ(data.errorText, "<none>");

  // Something found before the fifth place keeps the walk going.
  EXPECT_TRUE(Read(JpegFile({Com(), Dqt(), Dqt(), Dqt(), Exif()})));
  EXPECT_EQ(SlotOf(data.exifSegment), 5);
}

TEST_F(SegmentWalk, LateApp1GivesItsSlotBack) {
  ASSERT_TRUE(Read(JpegFile({Com(), Dqt(), Dqt(), Dqt(), Dqt(), Exif(), Com("last")})));
  EXPECT_FALSE(data.HasExifSegment());
  EXPECT_EQ(data.segmentCount, 7);  // six kept, then the scan
  EXPECT_EQ(SlotOf(data.commentSegment), 6);
  EXPECT_EQ(data.segments[6].bytes.substr(2), "last");
}

TEST_F(SegmentWalk, LaterExifSegmentReplacesEarlierOne) {
  const std::string second = ExifSegment(SampleTiff(true));
  ASSERT_TRUE(Read(JpegFile({Exif(), second})));
  EXPECT_EQ(SlotOf(data.exifSegment), 2);
  EXPECT_TRUE(data.bigEndian);
  EXPECT_EQ(data.exif->cameraModel, SampleFacts::kModel);
}

TEST_F(SegmentWalk, OtherApp1DataNeverDisplacesExif) {
  // Editors put XMP in an APP1 after the EXIF one; the EXIF data stays.
  ASSERT_TRUE(Read(JpegFile({Segment(0xE0, kJfif), Exif(), Xmp()})));
  EXPECT_EQ(data.errorText, "<none>");
  EXPECT_EQ(SlotOf(data.exifSegment), 2);
  EXPECT_EQ(data.segmentCount, 4);  // the XMP segment keeps its slot, then the scan
  EXPECT_EQ(data.segments[3].marker, 0xE1);
  EXPECT_EQ(data.segments[4].marker, 0xDA);
  EXPECT_EQ(data.exif->cameraMake, SampleFacts::kMake);
  EXPECT_EQ(FormatIsoDateTime(data.exif->ShotDateTime()), "2024-05-06 07:08:02");

  // Alone, such an APP1 is taken: an EXIF segment without tags.
  ASSERT_TRUE(Read(JpegFile({Xmp(), Dqt()})));
  EXPECT_EQ(data.errorText, "<none>");
  EXPECT_TRUE(data.HasExifSegment());
  ASSERT_NE(data.exif, nullptr);
  EXPECT_EQ(data.exif->tagCount(), 0);
  EXPECT_EQ(data.exif->ShotDateTime(), 0);

  // And an EXIF segment after it replaces it.
  ASSERT_TRUE(Read(JpegFile({Xmp(), Exif()})));
  EXPECT_EQ(SlotOf(data.exifSegment), 2);
  EXPECT_EQ(data.exif->cameraMake, SampleFacts::kMake);
}

TEST_F(SegmentWalk, FirstApp13IsTheIptcSegmentAndCommentsTheLast) {
  ASSERT_TRUE(Read(JpegFile({Segment(0xED, "Photoshop 3.0\0first"), Com("one"),
                              Segment(0xED, "Photoshop 3.0\0second"), Com("two")})));
  EXPECT_EQ(SlotOf(data.iptcSegment), 1);
  EXPECT_EQ(SlotOf(data.commentSegment), 4);
  EXPECT_FALSE(data.HasExifSegment());
  EXPECT_EQ(data.errorText, "<none>");
  EXPECT_EQ(data.iptc, nullptr);  // no IPTC module plugged in
}

TEST_F(SegmentWalk, CreatesTheIptcObjectThroughItsHookOnce) {
  static int calls;
  calls = 0;
  ReaderExtensions ext;
  ext.createIptc = [](TimgData& owner) -> std::shared_ptr<TIPTCdata> {
    ++calls;
    EXPECT_NE(owner.iptcSegment, nullptr);
    return nullptr;
  };
  TimgData withIptc(kBuildAll, ext);
  const std::string app13 = Segment(0xED, "Photoshop 3.0");
  ASSERT_TRUE(withIptc.ReadPictureBytes(JpegFile({app13, app13}), "iptc.jpg"));
  EXPECT_EQ(calls, 1);
}

TEST_F(SegmentWalk, FillsAtMostTwentySlots) {
  std::vector<std::string> segments(30, Com());
  ASSERT_TRUE(Read(JpegFile(segments)));
  EXPECT_EQ(data.segmentCount, 20);
}

TEST_F(SegmentWalk, SkipsFillBytesBeforeMarkers) {
  const std::string exif = Exif();
  ASSERT_TRUE(Read(JpegFile({"\xFF\xFF\xFF" + exif})));
  EXPECT_EQ(data.exif->cameraMake, SampleFacts::kMake);
}

TEST_F(SegmentWalk, LengthBelowTwoEndsTheWalk) {
  for (const char* length : {"\x00\x00", "\x00\x01"}) {
    const std::string bad = std::string("\xFF\xFE", 2) + std::string(length, 2) + "rest";
    EXPECT_TRUE(Read(JpegFile({Com("kept"), bad, Exif()})));
    EXPECT_EQ(data.segmentCount, 1);
    EXPECT_EQ(data.segments[1].bytes.substr(2), "kept");
    EXPECT_FALSE(data.HasExifSegment());
  }
}

TEST_F(SegmentWalk, SegmentCutByTheEndOfTheFileKeepsItsLength) {
  const std::string exif = Exif();
  const std::string photo = "\xFF\xD8" + exif;
  ASSERT_TRUE(Read(photo.substr(0, photo.size() - 10)));
  EXPECT_EQ(data.segmentCount, 1);
  EXPECT_EQ(data.segments[1].bytes.size(), exif.size() - 2);
  EXPECT_EQ(data.segments[1].bytes.substr(data.segments[1].bytes.size() - 10),
            std::string(10, '\0'));
  EXPECT_EQ(data.errorText, "<none>");
  EXPECT_EQ(data.exif->cameraMake, SampleFacts::kMake);
}

TEST_F(SegmentWalk, FirstDirectoryOffsetZeroMeansRightAfterTheHeader) {
  std::string tiff = SampleTiff(false);
  tiff.replace(4, 4, U32(0, false));
  ASSERT_TRUE(Read(JpegFile({ExifSegment(tiff)})));
  EXPECT_EQ(data.exif->cameraMake, SampleFacts::kMake);
}

TEST_F(SegmentWalk, ReadingAgainStartsAfresh) {
  ASSERT_TRUE(Read(JpegFile({Exif(), Com()})));
  ASSERT_TRUE(Read(JpegFile({Com()}), "second.jpg"));
  EXPECT_FALSE(data.HasExifSegment());
  EXPECT_EQ(data.exif, nullptr);
  EXPECT_EQ(SlotOf(data.commentSegment), 1);
  EXPECT_EQ(data.segmentCount, 2);
  EXPECT_FALSE(data.bigEndian);
}

class TiffRead : public SegmentWalk {};

TEST_F(TiffRead, ReadsTheFirstDirectoryAtOffsetEight) {
  for (const bool bigEndian : {false, true}) {
    for (const char* name : {"a.tif", "b.TIFF", "c.nef"}) {
      SCOPED_TRACE(name);
      ASSERT_TRUE(Read(SampleTiff(bigEndian), name));
      EXPECT_EQ(data.errorText, "<none>");
      EXPECT_EQ(data.segmentCount, 1);
      EXPECT_EQ(SlotOf(data.exifSegment), 1);
      EXPECT_EQ(data.segments[1].bytes.size(), size_t{TimgData::kTiffReadSize});
      EXPECT_FALSE(data.tiffMode);
      EXPECT_FALSE(data.bigEndian);
      ASSERT_NE(data.exif, nullptr);
      EXPECT_TRUE(data.exif->tiffMode);
      EXPECT_EQ(data.exif->bigEndian, bigEndian);
      EXPECT_EQ(data.exif->cameraModel, SampleFacts::kModel);
      EXPECT_EQ(data.exif->imageWidth, SampleFacts::kWidth);
      EXPECT_EQ(FormatIsoDateTime(data.exif->ShotDateTime()), "2024-05-06 07:08:02");
    }
  }
}

TEST_F(TiffRead, NeedsAByteOrderMark) {
  for (const std::string start : {"XX", "I", "", "MI"}) {
    EXPECT_FALSE(Read(start + SampleTiff(false).substr(2), "bad.tif"));
    EXPECT_EQ(data.errorText, "Not an EXIF file");
    EXPECT_FALSE(data.tiffMode);
  }
}

}  // namespace
}  // namespace tessaly
