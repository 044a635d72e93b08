// The directory walk: value bytes and positions, value texts, the listing,
// the fields the tag switch fills, build codes, linked directories, the
// maker-note walk, and the shooting date.
#include <gtest/gtest.h>

#include "ExifReader.h"
#include "PhotoBuilder.h"
#include "SamplePhotos.h"

namespace tessaly {
namespace {

using namespace tessaly::testing;

constexpr int64_t kTiffHeaderPos = 9;  // in the bytes of an EXIF APP1 segment

class DirectoryWalk : public ::testing::Test {
 protected:
  void SetUp() override { SetDecimalSeparator('.'); }

  // Walks the first directory of tiff as the segment walk does with an EXIF
  // segment, without the steps that follow, so that outcome texts stay.
  TImageInfo& Walk(const std::string& tiff, int buildCode = kBuildAll,
                   ReaderExtensions extensions = {}) {
    data = std::make_unique<TimgData>(buildCode, extensions);
    tSection& slot = data->segments[1];
    slot.bytes = ExifSegment(tiff).substr(2);
    slot.length = static_cast<int>(slot.bytes.size());
    slot.marker = 0xE1;
    data->segmentCount = 1;
    data->exifSegment = &slot;
    data->buffer = slot.bytes;
    data->bigEndian = tiff[0] == 'M';
    data->exif = std::make_unique<TImageInfo>(data.get(), buildCode);
    TImageInfo& info = *data->exif;
    info.buffer = slot.bytes;
    info.bigEndian = data->bigEndian;
    info.ReadDirectory(kTiffHeaderPos + 8, kTiffHeaderPos, slot.length - 6, kMainDirectory);
    return info;
  }
  const std::string& Segment() const { return data->segments[1].bytes; }
  static const TTagEntry* Find(const TImageInfo& info, uint16_t tag) {
    for (const TTagEntry& t : info.tags)
      if (t.tagId == tag) return &t;
    return nullptr;
  }

  std::unique_ptr<TimgData> data;
};

TEST_F(DirectoryWalk, EmptyDirectoryAndEntriesWithoutValue) {
  TiffBuilder empty(false);
  TImageInfo& none = Walk(empty.Build());
  EXPECT_EQ(none.tagCount(), 0);
  EXPECT_EQ(none.tagText, "");

  TiffBuilder t(false);
  t.Add(0, 0x010F, 13, 4, "abcd");  // no such type
  t.Add(0, 0x0110, 0, 4, "abcd");   // type 0
  t.Add(0, 0x0131, 2, 0, "");       // count 0
  t.AddAscii(0, 0x0132, "2005:07:14 13:45:10");
  TImageInfo& info = Walk(t.Build());
  ASSERT_EQ(info.tagCount(), 1);
  EXPECT_EQ(info.tags[0].tagId, 0x0132);
  EXPECT_EQ(info.tagText, "\r\nDate Time = 2005:07:14 13:45:10");
  EXPECT_EQ(info.cameraMake, "");
}

TEST_F(DirectoryWalk, ValuesInTheEntryOrThroughTheirOffset) {
  for (const bool bigEndian : {false, true}) {
    TiffBuilder t(bigEndian);
    t.AddLong(0, 0x0100, {3008});
    t.AddAscii(0, 0x010F, "NIKON");
    t.AddRational(0, 0x011A, {{300, 1}});
    TImageInfo& info = Walk(t.Build());
    ASSERT_EQ(info.tagCount(), 3);
    const TTagEntry& width = info.tags[0];
    EXPECT_EQ(width.valueText, "3008");
    EXPECT_EQ(width.valuePos, kTiffHeaderPos + 8 + 2 + 8);  // inside the entry
    EXPECT_EQ(info.widthPos, width.valuePos);
    EXPECT_EQ(info.imageWidth, 3008);
    const TTagEntry& make = info.tags[1];
    EXPECT_EQ(make.valuePos, kTiffHeaderPos + t.ValueOffset(0, 0x010F));
    EXPECT_EQ(make.rawBytes, std::string("NIKON\0", 6));
    EXPECT_EQ(make.dataSize, 6);
    EXPECT_EQ(make.valueFormat, 2);
    EXPECT_EQ(make.sourceKind, 0);
    EXPECT_EQ(make.tagName, "Make");
    EXPECT_EQ(make.caption, "Make");
    EXPECT_EQ(info.tags[2].valueText, "300.00");
    // Every value position points at the value's bytes in the segment.
    for (const TTagEntry& tag : info.tags)
      EXPECT_EQ(Segment().substr(tag.valuePos - 1, tag.rawBytes.size()), tag.rawBytes);
  }
}

TEST_F(DirectoryWalk, ValueTextsByType) {
  TiffBuilder t(false);
  t.Add(0, 0x010E, 2, 5, "ABCDE");                         // no terminating zero
  t.AddAscii(0, 0x010F, "ABCDE");
  t.AddAscii(0, 0x0131, std::string(60, 'x'));            // longer than 50, no formatter
  t.AddAscii(0, 0x013B, "line\nbreak");
  t.AddUndefined(0, 0x9000, std::string("02\0" "20", 5));  // cut at the zero
  t.AddShort(0, 0x9209, {25});                             // formatter of the row
  t.AddRational(0, 0x829D, {{28, 10}});                    // format text of the row
  t.AddRational(0, 0x9202, {{3, 1}});                      // APEX: f-number 2^(3/2)
  t.AddRational(0, 0x9205, {{1, 1}});
  t.AddShort(0, 0xC000, {7});                              // not in the table
  TImageInfo& info = Walk(t.Build());
  EXPECT_EQ(info.tagText,
            "\r\nImage Description = ABCDE"
            "\r\nMake = ABCDE"
            "\r\nSoftware = " + std::string(50, 'x') +
            "\r\nArtist = line.break"
            "\r\nExif Version = \"02\""
            "\r\nFlash = On, auto mode"
            "\r\nFNumber = F2.8"
            "\r\nAperture Value = F2.8"
            "\r\nMax Aperture Value = F1.4"
            "\r\nUnknown = 7");
  EXPECT_EQ(info.tagCount(), 9);  // the unknown tag is listed, not stored
  EXPECT_EQ(Find(info, 0xC000), nullptr);
  EXPECT_EQ(info.exifVersion, std::string("02\0" "20", 5));
  EXPECT_EQ(info.flashValue, 25);
}

// An ASCII value is its bytes up to the first zero, or all of them without
// one: the value text, the make and the model alike.
TEST_F(DirectoryWalk, AsciiTextsAsWritten) {
  const std::pair<std::string, const char*> cases[] = {
      {std::string("Canon EOS 350D DIGITAL\0\0\0\0\0\0\0\0\0", 31), "Canon EOS 350D DIGITAL"},
      {"HTC", "HTC"},  // no terminating zero
      {std::string(4, '\0'), ""},
      {std::string("BUSHNELL\0" "7x\0", 12), "BUSHNELL"},
  };
  for (const auto& [raw, text] : cases) {
    SCOPED_TRACE(text);
    TiffBuilder t(false);
    for (const uint16_t tag : {0x010E, 0x010F, 0x0110})
      t.Add(0, tag, 2, static_cast<uint32_t>(raw.size()), raw);
    TImageInfo& info = Walk(t.Build());
    EXPECT_EQ(info.tags.at(0).valueText + "|" + info.cameraMake + "|" + info.cameraModel,
              text + std::string("|") + text + "|" + text);
  }
}

TEST_F(DirectoryWalk, TagSwitchFillsTheFields) {
  TiffBuilder t(true);
  const int exif = t.AddDirectory();
  t.AddShort(0, 0x0100, {100});
  t.AddShort(0, 0x0101, {50});
  t.AddAscii(0, 0x010F, std::string(40, 'M'));
  t.AddAscii(0, 0x0110, std::string(50, 'm'));
  t.AddAscii(0, 0x0132, "2001:01:01 01:01:01");
  t.Link(0, 0x8769, exif);
  t.AddAscii(exif, 0x9003, "2002:02:02 02:02:02");
  t.AddAscii(exif, 0x9004, "2003:03:03 03:03:03");
  t.AddUndefined(exif, 0x9286, std::string("ASCII\0\0\0", 8) + " \tHello world\r\n ");
  t.AddUndefined(exif, 0x927C, std::string("Vendor\0data", 11));
  t.AddLong(exif, 0xA002, {4000});
  t.AddLong(exif, 0xA003, {3000});
  TImageInfo& info = Walk(t.Build());
  EXPECT_EQ(info.cameraMake, std::string(32, 'M'));
  EXPECT_EQ(info.cameraModel, std::string(40, 'm'));
  EXPECT_EQ(info.dateTime, "2002:02:02 02:02:02");  // the later of DateTime and Original
  EXPECT_EQ(info.dateTimePos, kTiffHeaderPos + t.ValueOffset(0, 0x0132));
  EXPECT_EQ(info.dateTimeOriginalPos, kTiffHeaderPos + t.ValueOffset(exif, 0x9003));
  EXPECT_EQ(info.dateTimeDigitizedPos, kTiffHeaderPos + t.ValueOffset(exif, 0x9004));
  EXPECT_EQ(info.imageWidth, 4000);  // the EXIF directory's size replaces the main one
  EXPECT_EQ(info.imageHeight, 3000);
  EXPECT_EQ(info.widthPos, kTiffHeaderPos + t.ValueOffset(exif, 0xA002));
  EXPECT_EQ(info.userComment, "Hello world");
  EXPECT_EQ(info.userCommentPos, kTiffHeaderPos + t.ValueOffset(exif, 0x9286));
  EXPECT_EQ(info.userCommentLength, 8 + 16 - 9);
  EXPECT_NE(info.tagText.find("\r\nUser Comment = Hello world"), std::string::npos);
  EXPECT_EQ(info.makerNoteBytes, std::string("Vendor\0data", 11));
  EXPECT_EQ(info.makerNotePos, kTiffHeaderPos + t.ValueOffset(exif, 0x927C));
  EXPECT_FALSE(info.makerNoteRead);
}

TEST_F(DirectoryWalk, MakerNoteHookSeesTheMakeAndTheNote) {
  static std::string seenMake, seenNote;
  ReaderExtensions ext;
  ext.readMakerNote = [](TImageInfo& info) {
    seenMake = info.cameraMake;
    seenNote = info.makerNoteBytes;
    return true;
  };
  TiffBuilder t(false);
  const int exif = t.AddDirectory();
  t.AddAscii(0, 0x010F, "Canon");
  t.Link(0, 0x8769, exif);
  t.AddUndefined(exif, 0x927C, "private bytes");
  TImageInfo& info = Walk(t.Build(), kBuildAll, ext);
  EXPECT_TRUE(info.makerNoteRead);
  EXPECT_EQ(seenMake, "Canon");
  EXPECT_EQ(seenNote, "private bytes");
}

TEST_F(DirectoryWalk, BuildCodesDecideWhatIsBuilt) {
  const std::string tiff = SampleTiff(false);
  TImageInfo& all = Walk(tiff, kBuildAll);
  EXPECT_EQ(all.tagCount(), 28);  // GPSVersionID, tag 0, is listed only
  const std::string listing = all.tagText;

  TImageInfo& text = Walk(tiff, kBuildText);
  EXPECT_EQ(text.tagCount(), 0);
  EXPECT_EQ(text.tagText, listing);
  EXPECT_EQ(text.cameraMake, SampleFacts::kMake);

  for (const int code : {int{kBuildRecords}, 1, 3}) {
    TImageInfo& fields = Walk(tiff, code);
    EXPECT_EQ(fields.tagCount(), 0);
    EXPECT_EQ(fields.tagText, "");
    EXPECT_EQ(fields.cameraMake, "");
    EXPECT_EQ(fields.dateTime, "");
    EXPECT_EQ(fields.imageWidth, SampleFacts::kWidth);
    EXPECT_EQ(fields.flashValue, SampleFacts::kFlash);
    EXPECT_GT(fields.dateTimeDigitizedPos, 0);
    EXPECT_EQ(FormatIsoDateTime(fields.ShotDateTime()), "2024-05-06 07:08:02");
  }
}

TEST_F(DirectoryWalk, LinkedDirectoriesUseTheirTables) {
  TImageInfo& info = Walk(SampleTiff(false));
  const TTagEntry* gpsRef = nullptr;
  for (const TTagEntry& t : info.tags)
    if (t.tagName == "GPSLatitudeRef") gpsRef = &t;
  ASSERT_NE(gpsRef, nullptr);
  EXPECT_EQ(gpsRef->valueText, "N");
  const TTagEntry* interop = Find(info, 0x0001);
  ASSERT_NE(interop, nullptr);
  EXPECT_EQ(interop->tagName, "InteroperabilityIndex");
  EXPECT_NE(info.tagText.find("\r\nGPSLatitude = 51 Degrees 30 Minutes 15 Seconds"),
            std::string::npos);
}

TEST_F(DirectoryWalk, OnlyTheFirstSubImageIsWalked) {
  TiffBuilder t(false);
  const int first = t.AddDirectory(), second = t.AddDirectory();
  t.AddAscii(first, 0x010E, "first");
  t.AddAscii(second, 0x010E, "second");
  t.AddLong(0, 0x014A, {0, 0});
  t.Replace(0, 0x014A, U32(t.DirectoryOffset(first), false) + U32(t.DirectoryOffset(second), false));
  TImageInfo& info = Walk(t.Build());
  EXPECT_NE(info.tagText.find("= first"), std::string::npos);
  EXPECT_EQ(info.tagText.find("= second"), std::string::npos);
}

TEST_F(DirectoryWalk, BadSubDirectoryLeavesTheRest) {
  TiffBuilder t(false);
  t.AddAscii(0, 0x010F, "Make");
  t.AddRawOffset(0, 0x8769, 0x00FFFFF0);  // outside the segment
  t.AddAscii(0, 0x0132, "2005:07:14 13:45:10");
  TImageInfo& info = Walk(t.Build());
  EXPECT_EQ(info.tagCount(), 3);
  EXPECT_EQ(data->errorText, "");
  EXPECT_EQ(FormatIsoDateTime(info.ShotDateTime()), "2005-07-14 13:45:10");
}

TEST_F(DirectoryWalk, OversizedDirectoryIsNotRead) {
  TiffBuilder t(false);
  const int exif = t.AddDirectory();
  t.AddAscii(0, 0x010F, "Make");
  t.Link(0, 0x8769, exif);
  t.AddAscii(exif, 0x9003, "2005:07:14 13:45:10");
  std::string tiff = t.Build();
  tiff.replace(t.DirectoryOffset(exif), 2, U16(500, false));
  TImageInfo& info = Walk(tiff);
  EXPECT_EQ(data->errorText, "Illegally sized directory");
  EXPECT_EQ(info.tagCount(), 2);
  EXPECT_EQ(info.dateTimeOriginalPos, 0);
}

// Maker-note directories: a table of the test's own, the bytes at the start
// of a TIFF structure (directory at offset 8, offsets from the start).
class VendorWalk : public DirectoryWalk {
 protected:
  static TTagEntry Row(uint16_t tag, const char* caption, const char* list = "",
                       TagFormatter formatter = nullptr) {
    TTagEntry row;
    row.tagId = tag;
    row.tagName = row.caption = caption;
    row.decodeList = list;
    row.formatter = formatter;
    return row;
  }
  const TagTable table{Row(0x0001, "First", "", &FlashText), Row(0x0002, "Quality", "1:Fine,2:Normal"),
                       Row(0x0003, "sKiP"), Row(0x0004, "Flash", "", &FlashText),
                       Row(0x0005, "Owner")};
};

TEST_F(VendorWalk, ListsAndStoresByTheVendorTable) {
  TImageInfo& info = Walk(SampleTiff(false));
  const std::string mainBuffer = info.buffer;
  const size_t mainTags = info.tags.size();
  TiffBuilder note(false);
  note.AddShort(0, 0x0001, {1});
  note.AddShort(0, 0x0002, {2});
  note.AddShort(0, 0x0003, {3});
  note.AddShort(0, 0x0004, {25});
  note.AddAscii(0, 0x0005, "Jane Doe");
  note.AddUndefined(0, 0x0009, std::string("ab\0c", 4));
  info.ReadVendorDirectory(note.Build(), table, 8, 9, 0);
  EXPECT_EQ(info.makerNoteText,
            "\r\nFirst = 1"  // the first row's formatter is never applied
            "\r\nQuality = Normal"
            "\r\nFlash = On, auto mode"
            "\r\nOwner = \"Jane Doe\""
            "\r\nUnknown = \"ab.c\"");
  ASSERT_EQ(info.tags.size(), mainTags + 3);  // not the first row, not unknown tags
  const TTagEntry& owner = info.tags.back();
  EXPECT_EQ(owner.tagName, "Owner");
  EXPECT_EQ(owner.valueText, "\"Jane Doe\"");
  EXPECT_EQ(owner.rawBytes, std::string("Jane Doe\0", 9));
  EXPECT_EQ(owner.valueFormat, 2);
  EXPECT_EQ(owner.sourceKind, 1);
  EXPECT_EQ(info.buffer, mainBuffer);
  EXPECT_EQ(data->errorText, "");
}

TEST_F(VendorWalk, ValuesBeyondTheNoteComeFromTheSegment) {
  TImageInfo& info = Walk(SampleTiff(false));
  TiffBuilder note(false);
  note.AddRawOffset(0, 0x0005, 0);
  std::string bytes = note.Build();
  // An ASCII value of 8 bytes at offset 100: beyond the note, so it is read
  // from the segment at outside adjust + 100.
  bytes.replace(8 + 2 + 2, 2, U16(2, false));
  bytes.replace(8 + 2 + 4, 4, U32(8, false));
  bytes.replace(8 + 2 + 8, 4, U32(100, false));
  const std::string& segment = Segment();
  const size_t make = segment.find(SampleFacts::kMake);
  info.ReadVendorDirectory(bytes, table, 8, 9, static_cast<int64_t>(make + 1) - 100);
  EXPECT_EQ(info.makerNoteText, "\r\nOwner = \"Tessaly \"");
  EXPECT_EQ(info.tags.back().rawBytes, "Tessaly ");
}

TEST_F(VendorWalk, AValueEndingOnTheNotesLastByteIsReadFromTheNote) {
  TImageInfo& info = Walk(SampleTiff(false));
  TiffBuilder note(false);
  note.AddAscii(0, 0x0005, "Tessaly");  // its 8 bytes are the note's last
  const std::string bytes = note.Build();
  ASSERT_EQ(note.ValueOffset(0, 0x0005) + 8, bytes.size());
  info.ReadVendorDirectory(bytes, table, 8, 9, 0);
  EXPECT_EQ(info.makerNoteText, "\r\nOwner = \"Tessaly\"");
}

TEST_F(VendorWalk, FailureIsReportedAndTheBufferRestored) {
  TImageInfo& info = Walk(SampleTiff(false));
  const std::string mainBuffer = info.buffer;
  TiffBuilder note(false);
  note.AddShort(0, 0x0002, {1});
  std::string bytes = note.Build();
  bytes.replace(8, 2, U16(3, false));  // three entries announced, one there
  info.ReadVendorDirectory(bytes, table, 8, 9, 0);
  EXPECT_EQ(data->errorText, "Error Detected = Read outside the data at position 27");
  EXPECT_EQ(info.makerNoteText, "\r\nQuality = Fine");
  EXPECT_EQ(info.buffer, mainBuffer);
}

TEST_F(VendorWalk, FormatterFailureIsReported) {
  TImageInfo& info = Walk(SampleTiff(false));
  TiffBuilder note(false);
  note.AddAscii(0, 0x0004, "abc");  // Flash as text: not a number
  note.AddShort(0, 0x0005, {1});
  info.ReadVendorDirectory(note.Build(), table, 8, 9, 0);
  EXPECT_EQ(data->errorText.rfind("Error Detected = ", 0), 0u);
  EXPECT_EQ(info.makerNoteText, "");
}

TEST_F(VendorWalk, NothingWithBuildCodeTwo) {
  TImageInfo& info = Walk(SampleTiff(false), kBuildText);
  TiffBuilder note(false);
  note.AddShort(0, 0x0002, {1});
  info.ReadVendorDirectory(note.Build(), table, 8, 9, 0);
  EXPECT_EQ(info.makerNoteText, "");
  EXPECT_EQ(info.tagCount(), 0);
}

// The shooting date: DateTimeDigitized, DateTimeOriginal, DateTime, passing
// over a tag whose text is no date.
class ShotDate : public DirectoryWalk {
 protected:
  std::string Shot(const char* digitized, const char* original, const char* dateTime) {
    TiffBuilder t(false);
    const int exif = t.AddDirectory();
    if (dateTime) t.AddAscii(0, 0x0132, dateTime);
    t.Link(0, 0x8769, exif);
    if (original) t.AddAscii(exif, 0x9003, original);
    if (digitized) t.AddAscii(exif, 0x9004, digitized);
    const TDateTime shot = Walk(t.Build()).ShotDateTime();
    return shot == 0 ? "zero" : FormatIsoDateTime(shot);
  }
};

TEST_F(ShotDate, PrefersDigitizedThenOriginalThenDateTime) {
  EXPECT_EQ(Shot("2004:01:02 03:04:05", "2005:07:14 13:45:10", "2006:01:01 00:00:00"),
            "2004-01-02 03:04:05");
  EXPECT_EQ(Shot(nullptr, "2005:07:14 13:45:10", "2006:01:01 00:00:00"), "2005-07-14 13:45:10");
  EXPECT_EQ(Shot(nullptr, nullptr, "2005:07:14 13:45:10"), "2005-07-14 13:45:10");
  EXPECT_EQ(Shot(nullptr, nullptr, "2005-07-14T13:45:10"), "2005-07-14 13:45:10");
  EXPECT_EQ(Shot(nullptr, nullptr, nullptr), "zero");
}

TEST_F(ShotDate, PassesOverTextsThatAreNoDate) {
  const char* const garbage[] = {"                   ", "0000:00:00 00:00:00", "2005:02:30 10:00:00",
                                 "2005:07:14 24:00:00", "", "2005:07"};
  for (const char* bad : garbage) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(Shot(bad, "2005:07:14 13:45:10", "2006:01:01 00:00:00"), "2005-07-14 13:45:10");
    EXPECT_EQ(Shot(bad, bad, "2006:01:01 00:00:00"), "2006-01-01 00:00:00");
    EXPECT_EQ(Shot(bad, bad, bad), "zero");
  }
}

TEST_F(ShotDate, DateAtTheEndOfTheSegmentIsNotReadBeyondIt) {
  TImageInfo& info = Walk(SampleTiff(false));
  const int64_t size = static_cast<int64_t>(Segment().size());
  EXPECT_EQ(info.DateTimeAt(size - 5), 0);
  EXPECT_EQ(info.DateTimeAt(size + 100), 0);
  EXPECT_EQ(info.DateTimeAt(0), 0);
  EXPECT_EQ(info.DateTimeAt(-7), 0);
}

}  // namespace
}  // namespace tessaly
