// Tag tables: their shape, captions, lookups by number and name, decode lists.
#include <gtest/gtest.h>

#include "ExifReader.h"

namespace tessaly {
namespace {

TEST(TagTables, TablesAreOrderedAndComplete) {
  const TagTable& main = MainTagTable();
  ASSERT_EQ(main.size(), 250u);
  for (size_t i = 1; i < main.size(); ++i)
    EXPECT_LT(main[i - 1].tagId, main[i].tagId) << main[i].tagName;
  const TagTable& gps = GpsTagTable();
  ASSERT_EQ(gps.size(), 31u);
  for (size_t i = 0; i < gps.size(); ++i) EXPECT_EQ(gps[i].tagId, i);

  const TagTable& markers = MarkerNameTable();
  ASSERT_EQ(markers.size(), 30u);
  EXPECT_EQ(markers[11].tagId, 0xCD);  // listed before 0xCC
  EXPECT_EQ(markers[12].tagId, 0xCC);
  EXPECT_EQ(markers[29].tagId, 0);
  EXPECT_EQ(markers[29].caption, "Unknown");
}

TEST(TagTables, CaptionsAreGeneratedOnlyWhereRowsLeaveThemEmpty) {
  const struct { const char* name; const char* caption; } generated[] = {
      {"ExposureTime", "Exposure Time"}, {"GPSLatitudeRef", "GPSLatitude Ref"},
      {"FNumber", "FNumber"},            {"ISOSpeedRatings", "ISOSpeed Ratings"},
      {"T4Options", "T4 Options"},       {"SubIFDs", "Sub IFDs"},
      {"Unknown", "Unknown"},            {"", ""},
  };
  for (const auto& c : generated) EXPECT_EQ(CaptionFromName(c.name), c.caption) << c.name;

  InitTagTables();
  const struct { uint16_t tag; int kind; const char* caption; } rows[] = {
      {0x9216, 1, "TIFF/ EPStandard ID"},  // generated
      {0xA216, 1, "TIFF/EPStandardID"},    // stored
      {0x83BB, 1, "IPTC/NAA"},
      {0xA405, 1, "Focal Length in 35mm Film"},
      {0x9003, 1, "Date Time Original"},
      {0x001E, 2, "GPSDifferential"},
  };
  for (const auto& r : rows) EXPECT_EQ(LookupTag(r.tag, r.kind).caption, r.caption) << r.tag;
  EXPECT_EQ(UnknownTagEntry().caption, "Unknown");
}

TEST(TagTables, LookupByNumberChoosesTheTableOfTheDirectoryKind) {
  for (int kind : {1, 4}) EXPECT_EQ(LookupTag(0x9003, kind).tagName, "DateTimeOriginal");
  for (int kind : {0, 2, 3, 5}) EXPECT_EQ(LookupTag(0x9003, kind).tagName, "Unknown") << kind;
  EXPECT_EQ(LookupTag(0x0017, 2).tagName, "GPSDestBearingkRef");
  EXPECT_EQ(LookupTag(0x0000, 2).tagName, "GPSVersionID");  // tag 0: never stored

  const TTagEntry unknown = LookupTag(0x1234, kMainDirectory);
  EXPECT_EQ(unknown.tagId, 0);
  EXPECT_TRUE(unknown.decodeList.empty() && unknown.formatText.empty() && !unknown.formatter);

  EXPECT_EQ(LookupTag(0x9209, 1).formatter, FlashText);
  EXPECT_EQ(LookupTag(0x0007, 2).formatter, GpsTimeText);
  EXPECT_EQ(LookupTag(0x920A, 1).formatText, "%5.2f mm");

  TTagEntry copy = LookupTag(0x0112, kMainDirectory);
  copy.decodeList = "changed";
  EXPECT_NE(LookupTag(0x0112, kMainDirectory).decodeList, "changed");
}

TEST(TagTables, NameLookupIgnoresAsciiCaseAndFindsTheFirstRow) {
  for (const char* name : {"FocalLengthIn35mmFilm", "focallengthin35mmfilm", "FOCALLENGTHIN35MMFILM"})
    EXPECT_EQ(MainTableIndex(name), 241) << name;
  EXPECT_EQ(MainTagTable()[MainTableIndex("FocalPlaneXResolution")].tagId, 0x920E);
  for (const char* absent : {"", "Focal", "FocalLengthIn35mmFilmX"})
    EXPECT_EQ(MainTableIndex(absent), -1) << absent;
  EXPECT_FALSE(SameNameIgnoringCase("\xC0", "\xE0"));  // only ASCII letters fold

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

TEST(TagTables, DecodeLookupMatchesWholeEntryValuesOnly) {
  const std::string lightSource = LookupTag(0x9208, 1).decodeList;
  const std::string orientation = LookupTag(0x0112, 1).decodeList;
  const struct { std::string list; const char* value; const char* meaning; } cases[] = {
      {"0:Auto,1:Manual", "1", "Manual"},
      {"0:Auto,1:Manual", " \t1\r\n", "Manual"},
      {"0:Auto,1:Manual", "2", ""},
      {"0:Auto,1:Manual", "", ""},
      {"", "0", ""},
      {lightSource, "1", "Daylight"},
      {lightSource, "10", "Flash"},
      {"10:Flash,21:Night", "1", ""},
      {"5:A, 6:B", "6", ""},  // the blank belongs to the entry's value
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
  EXPECT_EQ(VendorTagIndex(8, vendor), -1);
  EXPECT_EQ(VendorDecodeList(7, vendor), "1:Last");
  EXPECT_EQ(VendorDecodeList(8, vendor), "");
}

}  // namespace
}  // namespace tessaly
