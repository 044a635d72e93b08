// The IPTC reader: finding datasets in a block, the record list and its
// editing, and whole files through the segment walk and ReadFile.
#include <filesystem>

#include <gtest/gtest.h>

#include "FullReader.h"
#include "IptcReader.h"
#include "IptcSeeds.h"

namespace tessaly {
namespace {

using namespace tessaly::testing;

// The stored records as "Name=value|Name=value".
std::string Listing(const TIPTCdata& iptc) {
  std::string text;
  for (int i = 0; i < iptc.Count(); ++i)
    text += (i ? "|" : "") + iptc.GetTag(i).tagName + "=" + iptc.GetTag(i).valueText;
  return text;
}

std::string Parsed(const std::string& block) {
  TIPTCdata iptc(nullptr);
  iptc.ParseBlock(block);
  EXPECT_EQ(iptc.HasData(), iptc.Count() > 0);
  return Listing(iptc);
}

TTagEntry Row(std::string_view name, std::string value) {
  TTagEntry record = IptcTable()[static_cast<size_t>(TIPTCdata::FindDefinition(name))];
  record.valueText = std::move(value);
  return record;
}

const std::string kCity = IptcDataset(2, 90, "Paris");

TEST(IptcTable, RowsAreDistinctAndFoundByName) {
  const TagTable& table = IptcTable();
  ASSERT_EQ(table.size(), 32u);
  EXPECT_EQ(table[0].tagName + table[31].tagName, "SKIPSubfile");
  for (size_t row = 0; row < table.size(); ++row) {
    EXPECT_EQ(TIPTCdata::FindDefinition(table[row].tagName), static_cast<int>(row));
    for (size_t other = 0; other < row; ++other)
      EXPECT_FALSE(table[row].iptcRecord == table[other].iptcRecord &&
                   table[row].tagId == table[other].tagId) << table[row].tagName;
  }
  EXPECT_EQ(TIPTCdata::FindDefinition("keywords"), 7);
  EXPECT_EQ(TIPTCdata::FindDefinition("Key words"), -1);
}

TEST(IptcBlock, DatasetsBecomeNamedRecords) {
  const std::pair<std::string, std::string> cases[] = {
      {IptcDataset(2, 25, "alpha") + IptcDataset(2, 25, "beta") + kCity,
       "Keywords=alpha,beta|City=Paris"},
      {IptcDataset(2, 20, "a") + IptcDataset(2, 20, "b"), "SuppCategory=a,b"},
      {kCity + IptcDataset(2, 90, "Rome"), "City=Paris|City=Rome"},
      {IptcDataset(2, 10, "5") + IptcDataset(8, 10, "ab"), "Urgency=5|Subfile=ab"},
      {IptcDataset(2, 0, std::string("\0\4", 2)), ""},
      {IptcDataset(2, 120, "") + kCity, "ImageCaption=|City=Paris"},
      {IptcDataset(2, 5, "N") + IptcDataset(1, 90, "x") + IptcDataset(3, 90, "y") +
           IptcDataset(2, 200, "z") + IptcDataset(2, 92, "Old town"),
       "ObjectName=N|SubLocation=Old town"},
  };
  for (const auto& [datasets, listing] : cases) EXPECT_EQ(Parsed(PhotoshopBlock(datasets)), listing);
}

TEST(IptcBlock, MalformedBlocksYieldFewerRecords) {
  const std::string sig = "Photoshop 3.0";
  const struct {
    const char* fault;
    std::string block;
    const char* listing;
  } cases[] = {
      {"empty block", "", ""},
      {"no signature, dataset before position 13", kCity + "......", ""},
      {"no signature, dataset at position 13", "............" + kCity, "City=Paris"},
      {"dataset only before the signature", kCity + sig, ""},
      {"signature at the very end", "..." + sig, ""},
      {"marker followed by record 1", sig + IptcDataset(1, 90, "Paris"), ""},
      {"marker as the last byte", sig + "\x1C", ""},
      {"header cut after the record byte", sig + "\x1C\x02", ""},
      {"header cut inside the length", sig + std::string("\x1C\x02\x5A\x00", 4), ""},
      {"zero-length dataset ends the block", sig + IptcDataset(2, 90, ""), "City="},
      {"length runs past the end", sig + kCity.substr(0, 7), "City=Pa"},
      {"length 0xFFFF after a dataset", sig + kCity + std::string("\x1C\x02\x19\xFF\xFF", 5) + "alpha",
       "City=Paris|Keywords=alpha"},
      {"no marker between datasets", sig + kCity + "\x01" + IptcDataset(2, 25, "ab").substr(1),
       "City=Paris|Keywords=ab"},
  };
  for (const auto& c : cases) EXPECT_EQ(Parsed(c.block), c.listing) << c.fault;

  // One step reads the header at pos and moves past the data and the marker.
  const struct {
    std::string block;
    const char* result;
    int64_t next;
  } steps[] = {{kCity, "City=Paris", 12}, {IptcDataset(2, 0, "ab"), "=", 9},
               {kCity.substr(0, 7), "City=Pa", 12}, {"\x1C\x02", "=", 7}};
  for (const auto& s : steps) {
    int64_t pos = 2;
    const TTagEntry record = TIPTCdata::ReadRecord(s.block, pos);
    EXPECT_EQ(record.tagName + "=" + record.valueText, s.result);
    EXPECT_EQ(pos, s.next) << s.result;
  }
}

TEST(IptcRecords, CapacityGrowsBy25AndClearKeepsIt) {
  TIPTCdata iptc(nullptr);
  EXPECT_EQ(iptc.AddTag(TTagEntry{}), -1);  // tagId 0 is never stored
  EXPECT_EQ(iptc.tagCapacity(), 0);
  EXPECT_EQ(iptc.AddTag(Row("City", "1")), 0);
  EXPECT_EQ(iptc.tagCapacity(), 25);
  for (int i = 2; i <= 24; ++i) iptc.AddTag(Row("City", std::to_string(i)));
  EXPECT_EQ(iptc.tagCapacity(), 25);
  EXPECT_EQ(iptc.AddTag(Row("City", "25")), 24);
  EXPECT_EQ(iptc.tagCapacity(), 50);
  EXPECT_EQ(iptc.GetTag(24).valueText + iptc.GetTag(25).valueText + iptc.GetTag(-1).valueText, "25");
  iptc.SetCount(50);  // beyond capacity - 1: ignored
  EXPECT_EQ(iptc.Count(), 25);
  iptc.Clear();
  iptc.SetCount(2);
  EXPECT_EQ(Listing(iptc) + "/" + std::to_string(iptc.tagCapacity()), "=|=/50");
}

TEST(IptcRecords, EditingByName) {
  TIPTCdata iptc(nullptr);
  EXPECT_EQ(iptc.SetValue("skip", "v"), -1);  // row 0 stores nothing
  iptc.ParseBlock(PhotoshopBlock(IptcDataset(2, 25, "alpha") + IptcDataset(2, 25, "beta") + kCity +
                                 IptcDataset(2, 90, "Lyon")));
  EXPECT_EQ(iptc.FindTag("keywords"), 0);
  EXPECT_EQ(iptc.GetValue("CITY", "none") + iptc.GetValue("Country", "none"), "Parisnone");
  EXPECT_EQ(iptc.SetValue("City", ""), 1);
  EXPECT_EQ(iptc.SetValue("Nowhere", "v"), -1);
  EXPECT_EQ(iptc.WriteValue("Nowhere", "v"), -1);
  EXPECT_EQ(iptc.SetValue("SKIP", "v"), 2);
  EXPECT_EQ(iptc.AppendValue("Keywords", "gamma"), 0);
  EXPECT_EQ(iptc.AppendValue("Keywords", ""), 0);
  EXPECT_EQ(Listing(iptc), "Keywords=alpha,beta,gamma|City=Paris|City=Lyon");

  EXPECT_EQ(iptc.WriteValue("Keywords", "x"), 0);
  EXPECT_EQ(iptc.WriteValue("City", "Rome"), 1);
  EXPECT_EQ(iptc.WriteValue("Urgency", "3"), 3);
  EXPECT_EQ(Listing(iptc), "Keywords=x|City=Paris,Rome|City=Lyon|Urgency=3");

  iptc.DeleteTag("Nowhere");
  iptc.DeleteTag("keywords");
  EXPECT_EQ(Listing(iptc), "City=Paris,Rome|City=Lyon|Urgency=3");
  iptc.SetCount(4);  // the freed slot is empty
  EXPECT_EQ(iptc.GetTag(3).tagId, 0);
  iptc.SetCount(3);
  iptc.DeleteTag("City");
  iptc.DeleteTag("City");
  EXPECT_EQ(iptc.SetValue("City", ""), 1);  // a City with empty text is stored
  EXPECT_EQ(Listing(iptc), "Urgency=3|City=");
}

// Sees the calls the class makes through its virtual slots; can make a
// second object parse in the middle of a parse, or answer any index.
class Recorder : public TIPTCdata {
 public:
  Recorder() : TIPTCdata(nullptr) {}
  std::string calls;
  TIPTCdata other{nullptr};
  int forcedIndex = -1;

  int AppendValue(std::string_view name, std::string_view value) override {
    calls += std::string(name) + ";";
    other.ParseBlock(PhotoshopBlock(IptcDataset(2, 105, "Other block")));
    return TIPTCdata::AppendValue(name, value);
  }
  int FindTag(std::string_view name) const override {
    return forcedIndex >= 0 ? forcedIndex : TIPTCdata::FindTag(name);
  }
};

TEST(IptcRecords, OverridesTakeEffectAndEachObjectParsesItsOwnBlock) {
  Recorder iptc;
  iptc.ParseBlock(PhotoshopBlock(IptcDataset(2, 25, "alpha") + IptcDataset(2, 25, "beta") + kCity));
  EXPECT_EQ(Listing(iptc), "Keywords=alpha,beta|City=Paris");
  EXPECT_EQ(Listing(iptc.other), "ImageHeadline=Other block");
  EXPECT_EQ(iptc.WriteValue("City", "Rome"), 1);
  EXPECT_EQ(iptc.calls, "Keywords;Keywords;City;");

  iptc.forcedIndex = 7;  // outside the list: nothing changes
  EXPECT_EQ(iptc.SetValue("City", "Lyon") + iptc.AppendValue("City", "Lyon"), 14);
  EXPECT_EQ(iptc.GetValue("City", "none"), "none");
  iptc.DeleteTag("City");
  iptc.forcedIndex = -1;
  EXPECT_EQ(Listing(iptc), "Keywords=alpha,beta|City=Paris,Rome");
}

std::string KeywordFile(const std::string& path, const std::vector<std::string>& keywords) {
  std::vector<std::string> segments;
  for (const std::string& k : keywords)
    segments.push_back(Segment(0xED, PhotoshopBlock(IptcDataset(2, 25, k))));
  return WriteFile(path, JpegFile(segments));
}

TEST(IptcFile, WalkCreatesTheObjectOnTheFirstApp13AndReadFileSparesTheOwner) {
  const std::string dir = TempDir("iptc");
  const std::string two = KeywordFile(dir + "/two.jpg", {"first", "second"});
  TimgData img(kBuildAll, FullReader());
  ASSERT_TRUE(img.ReadPicture(two));
  const std::shared_ptr<TIPTCdata> held = img.iptc;
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held->owner, &img);
  EXPECT_EQ(held->Count(), 0);  // created, not yet read
  ASSERT_EQ(img.iptcSegment, &img.segments[1]);
  held->ParseBlock(img.iptcSegment->bytes);
  EXPECT_EQ(Listing(*held), "Keywords=first");

  // ReadFile on the very object the owner holds: the owner keeps it, and
  // keeps its own file.
  EXPECT_TRUE(held->ReadFile(WriteFile(dir + "/sample.jpg", IptcSampleJpeg())));
  EXPECT_EQ(Listing(*held), "Keywords=alpha,beta|City=Paris|ImageCaption=A caption\r\non two lines|"
                            "Urgency=5|Subfile=" + std::string("\0\1", 2));
  EXPECT_EQ(img.iptc, held);
  EXPECT_EQ(img.fileName, two);
  for (const std::string& file : {KeywordFile(dir + "/none.jpg", {}), dir + "/missing.jpg"}) {
    EXPECT_FALSE(held->ReadFile(file)) << file;
    EXPECT_EQ(held->Count(), 0) << file;
  }
}

TEST(IptcFile, CorpusPhotoCarriesItsCaption) {
  const std::string photo = TESSALY_CORPUS_DIR "/photos/Nikon_E995_iptc.jpg";
  if (!std::filesystem::exists(photo)) GTEST_SKIP() << "no corpus at " << TESSALY_CORPUS_DIR;
  TIPTCdata iptc(nullptr);
  ASSERT_TRUE(iptc.ReadFile(photo));
  // The record version and the private dataset 2:232 are not stored.
  ASSERT_EQ(iptc.Count(), 1);
  const std::string caption = iptc.GetValue("ImageCaption", "");
  EXPECT_EQ(caption.substr(0, 26), "Dateiname : DSCN1767.JPG\r\n");
  EXPECT_EQ(caption.substr(caption.size() - 16), "H\xF6he (GPS) : N/A");
}

}  // namespace
}  // namespace tessaly
