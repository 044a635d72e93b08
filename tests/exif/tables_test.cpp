// Tag tables: their shape, captions, lookups by number and name, decode lists.
#include <gtest/gtest.h>

#include "ExifReader.h"

namespace tessaly {
namespace {

TEST(TagTables, MainAndGpsTablesAreOrderedAndComplete) {
  const TagTable& main = MainTagTable();
  ASSERT_EQ(main.size(), 250u);
  for (size_t i = 1; i < main.size(); ++i)
    EXPECT_LT(main[i - 1].tagId, main[i].tagId) << main[i].tagName;
  EXPECT_EQ(main.front().tagName, "InteroperabilityIndex");
  EXPECT_EQ(main.back().tagName, "ImageUniqueID");

  const TagTable& gps = GpsTagTable();
  ASSERT_EQ(gps.size(), 31u);
  for (size_t i = 0; i < gps.size(); ++i) EXPECT_EQ(gps[i].tagId, i);
  for (const TTagEntry* row : {&main.front(), &gps.front()}) {
    EXPECT_EQ(row->sourceKind, 0);
    EXPECT_EQ(row->valueFormat, 0);
    EXPECT_TRUE(row->valueText.empty() && row->rawBytes.empty());
  }
}

TEST(TagTables, NamesKeepTheirSpelling) {
  const struct { uint16_t tag; int kind; const char* name; } cases[] = {
      {0x0122, kMainDirectory, "GrayReponseUnit"},
      {0x0123, kMainDirectory, "GrayReponseCurve"},
      {0xA405, kMainDirectory, "FocalLengthin35mmFilm"},
      {0x83BB, kMainDirectory, "IPTC/NAA"},
      {0x0017, kGpsDirectory, "GPSDestBearingkRef"},
  };
  for (const auto& c : cases) EXPECT_EQ(LookupTag(c.tag, c.kind).tagName, c.name);
}

TEST(TagTables, CaptionsAreGeneratedOnlyWhereRowsLeaveThemEmpty) {
  const struct { const char* name; const char* caption; } generated[] = {
      {"ExposureTime", "Exposure Time"}, {"GPSLatitudeRef", "GPSLatitude Ref"},
      {"FNumber", "FNumber"},            {"ISOSpeedRatings", "ISOSpeed Ratings"},
      {"T4Options", "T4 Options"},       {"SubIFDs", "Sub IFDs"},
      {"TIFF/EPStandardID", "TIFF/ EPStandard ID"},
      {"Unknown", "Unknown"},            {"", ""},
  };
  for (const auto& c : generated) EXPECT_EQ(CaptionFromName(c.name), c.caption) << c.name;

  InitTagTables();
  InitTagTables();  // a second call changes nothing
  EXPECT_EQ(LookupTag(0x9216, 1).caption, "TIFF/ EPStandard ID");
  EXPECT_EQ(LookupTag(0xA216, 1).caption, "TIFF/EPStandardID");  // stored
  EXPECT_EQ(LookupTag(0x83BB, 1).caption, "IPTC/NAA");           // stored
  EXPECT_EQ(LookupTag(0xA405, 1).caption, "Focal Length in 35mm Film");
  EXPECT_EQ(LookupTag(0x001E, 2).caption, "GPSDifferential");
  EXPECT_EQ(UnknownTagEntry().caption, "Unknown");
}

TEST(TagTables, LookupByNumberChoosesTheTableOfTheDirectoryKind) {
  for (int kind : {1, 4}) {
    const TTagEntry row = LookupTag(0x9003, kind);
    EXPECT_EQ(row.tagName, "DateTimeOriginal");
    EXPECT_EQ(row.caption, "Date Time Original");
  }
  for (int kind : {0, 2, 3, 5})
    EXPECT_EQ(LookupTag(0x9003, kind).tagName, "Unknown") << kind;

  const TTagEntry version = LookupTag(0x0000, kGpsDirectory);
  EXPECT_EQ(version.tagName, "GPSVersionID");
  EXPECT_EQ(version.tagId, 0);  // stands like the unknown entry, never stored

  const TTagEntry unknown = LookupTag(0x1234, kMainDirectory);
  EXPECT_EQ(unknown.tagId, 0);
  EXPECT_EQ(unknown.tagName, "Unknown");
  EXPECT_TRUE(unknown.decodeList.empty() && unknown.formatText.empty());
  EXPECT_EQ(unknown.formatter, nullptr);

  TTagEntry copy = LookupTag(0x0112, kMainDirectory);
  copy.decodeList = "changed";
  EXPECT_NE(LookupTag(0x0112, kMainDirectory).decodeList, "changed");
}

TEST(TagTables, RowsCarryTheirFormattingAndDecodeLists) {
  const struct { uint16_t tag; int kind; TagFormatter formatter; } formatters[] = {
      {0x9101, 1, ComponentsText}, {0x9201, 1, ShutterSpeedText}, {0x9209, 1, FlashText},
      {0x9286, 1, UserCommentText}, {0x9C9B, 1, ByteCharsText},  {0x9C9F, 1, ByteCharsText},
      {0x0002, 2, GpsDegreesText}, {0x0016, 2, GpsDegreesText}, {0x0007, 2, GpsTimeText},
      {0x829A, 1, nullptr},         {0x0006, 2, nullptr},
  };
  for (const auto& c : formatters) EXPECT_EQ(LookupTag(c.tag, c.kind).formatter, c.formatter) << c.tag;

  EXPECT_EQ(LookupTag(0x829A, 1).formatText, "%s sec");
  EXPECT_EQ(LookupTag(0x829D, 1).formatText, "F%0.1f");
  EXPECT_EQ(LookupTag(0x920A, 1).formatText, "%5.2f mm");
  EXPECT_EQ(LookupTag(0x0112, 1).decodeList,
            "1:Normal,3:Rotated 180\xB0,6:CounterClockwise 90\xB0,8:Clockwise 90\xB0");
  EXPECT_EQ(LookupTag(0x0005, 2).decodeList, "0:Sealevel");
}

TEST(TagTables, NameLookupIgnoresAsciiCaseAndFindsTheFirstRow) {
  for (const char* name : {"FocalLengthIn35mmFilm", "focallengthin35mmfilm", "FOCALLENGTHIN35MMFILM"})
    EXPECT_EQ(MainTableIndex(name), 241) << name;
  EXPECT_EQ(MainTagTable()[MainTableIndex("FocalPlaneXResolution")].tagId, 0x920E);
  for (const char* absent : {"", "Focal", "FocalLengthIn35mmFilmX", "Make\xE0"})
    EXPECT_EQ(MainTableIndex(absent), -1) << absent;

  EXPECT_TRUE(SameNameIgnoringCase("Make", "mAKE"));
  EXPECT_FALSE(SameNameIgnoringCase("\xC0", "\xE0"));  // only ASCII letters fold
  EXPECT_FALSE(SameNameIgnoringCase("Make", "Makes"));
}

TEST(TagTables, DecodeLookupMatchesWholeEntryValuesOnly) {
  const std::string lightSource = LookupTag(0x9208, 1).decodeList;
  const std::string orientation = LookupTag(0x0112, 1).decodeList;
  const struct { std::string list; const char* value; const char* meaning; } cases[] = {
      {"0:Auto,1:Manual", "1", "Manual"},
      {"0:Auto,1:Manual", "  1 ", "Manual"},
      {"0:Auto,1:Manual", "\t1\r\n", "Manual"},
      {"0:Auto,1:Manual", "2", ""},
      {"0:Auto,1:Manual", "", ""},
      {"", "0", ""},
      {lightSource, "1", "Daylight"},
      {lightSource, "10", "Flash"},
      {"10:Flash,21:Night", "1", ""},
      {"5:A, 6:B", "6", ""},  // the blank belongs to the entry's value
      {"2:Left,1:Right", "1", "Right"},
      {orientation, "6", "CounterClockwise 90\xB0"},
      {orientation, "2", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DecodeLookup(c.list, c.value), c.meaning) << c.list << " / " << c.value;
}

TEST(TagTables, VendorLookupsTakeTheFirstRowAndTheLastDecodeList) {
  TagTable vendor(3);
  vendor[0].tagId = 7, vendor[0].decodeList = "1:First";
  vendor[1].tagId = 9;
  vendor[2].tagId = 7, vendor[2].decodeList = "1:Last";
  EXPECT_EQ(VendorTagIndex(7, vendor), 0);
  EXPECT_EQ(VendorTagIndex(9, vendor), 1);
  EXPECT_EQ(VendorTagIndex(8, vendor), -1);
  EXPECT_EQ(VendorDecodeList(7, vendor), "1:Last");
  EXPECT_EQ(VendorDecodeList(8, vendor), "");
  EXPECT_EQ(VendorTagIndex(7, TagTable{}), -1);
}

TEST(TagTables, StoredRecordsAreFoundByTheirFirstName) {
  TImageInfo info(nullptr, kBuildAll);
  EXPECT_EQ(info.TagIndex("Make"), -1);
  EXPECT_EQ(info.TagValueText("Make"), "");
  for (const char* value : {"first", "second"}) {
    TTagEntry entry = LookupTag(0x010F, kMainDirectory);
    entry.valueText = value;
    info.tags.push_back(entry);
  }
  EXPECT_EQ(info.TagIndex("MAKE"), 0);
  EXPECT_EQ(info.TagValueText("make"), "first");
}

TEST(TagTables, MarkerNamesKeepTheirListingOrder) {
  const TagTable& markers = MarkerNameTable();
  ASSERT_EQ(markers.size(), 30u);
  EXPECT_EQ(markers[0].tagId, 0xC0);
  EXPECT_EQ(markers[0].caption, "Baseline");
  EXPECT_EQ(markers[11].tagId, 0xCD);  // before 0xCC
  EXPECT_EQ(markers[12].tagId, 0xCC);
  EXPECT_EQ(markers[24].caption, "Exif Data");
  EXPECT_EQ(markers[29].tagId, 0);
  EXPECT_EQ(markers[29].caption, "Unknown");
}

}  // namespace
}  // namespace tessaly
