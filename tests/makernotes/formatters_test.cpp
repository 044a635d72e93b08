// The vendor formatters, their text helpers and the shape of the tables.
#include <gtest/gtest.h>

#include <set>

#include "MakerNotes.h"

namespace tessaly {
namespace {

class Formatters : public ::testing::Test {
 protected:
  void SetUp() override { SetDecimalSeparator('.'); }
};

TEST(TextHelpers, SplitAtTheFirstSeparatorAndCountFields) {
  EXPECT_EQ(BeforeFirst("a, b", ", "), "a");
  EXPECT_EQ(BeforeFirst("abc", ","), "abc");
  EXPECT_EQ(AfterFirst("a, b, c", ", "), "b, c");
  EXPECT_EQ(AfterFirst("abc", ","), "");
  EXPECT_EQ(AfterFirst("abc", ""), "abc");

  EXPECT_EQ(GetField("a,b,c", ",", 2), "b");
  EXPECT_EQ(GetField("a,b,c", ",", 3), "c");
  EXPECT_EQ(GetField("a,b,c", ",", 4), "");
  EXPECT_EQ(GetField("a,b,c", ",", 0), "a");
  EXPECT_EQ(GetField("a,b,c", ",", -5), "a");
  EXPECT_EQ(GetField("1, 2, 3", ",", 2), " 2");

  EXPECT_EQ(CountOf("1, 2, 3", ","), 2);
  EXPECT_EQ(CountOf("aaaa", "aa"), 2);  // without overlap
  EXPECT_EQ(CountOf("", ","), 0);
  EXPECT_EQ(CountOf("abc", ""), 0);
}

TEST(TextHelpers, DecodeFieldAndCustomFunctionLine) {
  EXPECT_EQ(DecodeField("0, 2, 7", 1, "1:Macro,2:Normal"), "Normal");
  EXPECT_EQ(DecodeField("0, 2, 7", 2, "1:Macro,2:Normal"), "");
  EXPECT_EQ(DecodeField("0, 2, 7", 9, "1:Macro,2:Normal"), "");
  EXPECT_EQ(CustomFunctionLine("Noise Reduction", 1, "0: Off,1: On"), "Noise Reduction =  On");
  EXPECT_EQ(CustomFunctionLine("Mirror Lockup", 7, "0:Disable,1:Enable"), "Mirror Lockup = ");
}

TEST_F(Formatters, NikonColorModeAndLens) {
  EXPECT_EQ(ColorModeText("\"MODE1\""), "Mode1 (sRGB)");
  EXPECT_EQ(ColorModeText("\"MODE2\""), "Mode 2 (Adobe RGB)");
  EXPECT_EQ(ColorModeText("\"MODE3\""), "Mode 3 (sRGB): higher saturation");
  EXPECT_EQ(ColorModeText("\"COLOR\""), "COLOR");
  EXPECT_EQ(ColorModeText("\"mode2\""), "mode2");
  EXPECT_EQ(ColorModeText("\"MO\""), "MO\"");
  EXPECT_EQ(ColorModeText("\""), "");
  EXPECT_EQ(ColorModeText(""), "");

  EXPECT_EQ(LensText("180/10, 550/10, 35/10, 56/10"), "18.0-55.0(mm)  F3.5-F5.6");
  // The text after the last ", " always gives the fourth number.
  EXPECT_EQ(LensText("180/10, 550/10"), "18.0-0.0(mm)  F0.0-F55.0");
  EXPECT_EQ(LensText(""), "0.0-0.0(mm)  F0.0-F0.0");
  EXPECT_EQ(LensText("abc, x/y, 1/0, 7"), "0.0-0.0(mm)  F0.0-F0.0");
  SetDecimalSeparator(',');
  EXPECT_EQ(LensText("180/10, 550/10, 35/10, 56/10"), "18,0-55,0(mm)  F3,5-F5,6");
}

TEST_F(Formatters, CanonSettingsOfAnEightValueText) {
  const std::string text = "92, 2, 0, 3, 4, 0, 0, 1";
  EXPECT_EQ(CanonSettings1Text(text),
            "92, 2, 0, 3, 4, 0, 0, 1\r\n"
            "Macro mode = Normal\r\n"
            "Self Timer =  2\r\n"
            "Compression Rate = Basic\r\n"
            "Flash Mode = Slow sync\r\n"
            "Drive Mode = Single\r\n"
            "Focus Mode = AI Servo\r\n"
            "Image Size = \r\n"
            "Easy Shoot = \r\n"
            "Contrast = \r\n"
            "Saturation = \r\n"
            "Sharpness = \r\n"
            "CCD ISO = \r\n"
            "Metering Mode = \r\n"
            "AF Point = \r\n"
            "Exposure Mode = \r\n"
            "Long focal = \r\n"
            "Short focal = \r\n"
            "Focal Units = \r\n"
            "Flash Details = \r\n"
            "Focus Mode = ");
}

TEST_F(Formatters, CanonSettingsReachEveryField) {
  // 33 fields (more than the walk ever passes): field f holds f % 4, except
  // 16 (65535) and 20 (12291), so every line shows which field it reads.
  std::string text = "0";
  for (int f = 2; f <= 33; ++f)
    text += ", " + std::to_string(f == 16 ? 65535 : f == 20 ? 12291 : f % 4);
  EXPECT_EQ(CanonSettings1Text(text),
            text + "\r\n"
            "Macro mode = Normal\r\n"
            "Self Timer =  2\r\n"
            "Compression Rate = SuperFine\r\n"
            "Flash Mode = Auto\r\n"
            "Drive Mode = \r\n"
            "Focus Mode = One-Shot\r\n"
            "Image Size = \r\n"
            "Easy Shoot = Full Auto\r\n"
            "Contrast = \r\n"
            "Saturation = \r\n"
            "Sharpness = Low\r\n"
            "CCD ISO = \r\n"
            "Metering Mode = \r\n"
            "AF Point = Center\r\n"
            "Exposure Mode = Program\r\n"
            "Long focal =  0\r\n"
            "Short focal =  1\r\n"
            "Focal Units =  2\r\n"
            "Flash Details =  1\r\n"
            "Focus Mode = Continuous");
  EXPECT_EQ(CanonSettings2Text(text),
            text + "\r\n"
            "White balance = Auto\r\n"
            "Sequence Number =  1\r\n"
            "OpticalZoom Step =  3\r\n"
            "AF point =  2\r\n"
            "Flash bias = \r\n"
            "Distance =  3");
}

TEST_F(Formatters, CanonCustomFunctions) {
  EXPECT_EQ(CanonCustomFunctionsText("10, 257, 1024, 3585"),
            "10, 257, 1024, 3585\r\nNoise Reduction =  On\r\nExposure Level = 1/2 stop");
  EXPECT_EQ(CanonCustomFunctionsText("4095, 0"),
            "4095, 0\r\nShutter Release w/o CF Card = ");
  // Not a number, negative, function 16 and above, and the last field: nothing.
  EXPECT_EQ(CanonCustomFunctionsText("x, -257, 4096, 65535, 1.5, , 257"),
            "x, -257, 4096, 65535, 1.5, , 257");
  EXPECT_EQ(CanonCustomFunctionsText("1793, 1537, "),
            "1793, 1537, \r\nAEB Sequence = \r\nAV Shutter Speed =  1/200 (fixed)");
  EXPECT_EQ(CanonCustomFunctionsText("99999999999, 3585,"),
            "99999999999, 3585,\r\nSuperimposed Display =  Off");
  EXPECT_EQ(CanonCustomFunctionsText(""), "");
}

struct TableShape {
  const char* name;
  const TagTable& table;
  size_t rows;
};

TEST(VendorTables, RowCountsUniqueTagsAndHiddenRows) {
  const TableShape tables[] = {
      {"Nikon type 1", NikonType1Table(), 11}, {"Nikon type 3", NikonType3Table(), 28},
      {"Olympus", OlympusTable(), 33},         {"Casio", CasioTable(), 26},
      {"Fujifilm", FujifilmTable(), 18},       {"Canon", CanonTable(), 16},
      {"Epson", EpsonTable(), 12},             {"Sanyo", SanyoTable(), 6},
      {"Minolta", MinoltaTable(), 2}};
  for (const TableShape& t : tables) {
    SCOPED_TRACE(t.name);
    EXPECT_EQ(t.table.size(), t.rows);
    std::set<uint16_t> tags;
    for (const TTagEntry& row : t.table) {
      EXPECT_TRUE(tags.insert(row.tagId).second) << row.tagId;
      EXPECT_EQ(row.sourceKind, 0);
      EXPECT_TRUE(row.valueText.empty() && row.rawBytes.empty() && row.formatText.empty());
    }
  }
  EXPECT_EQ(EpsonTable()[11].caption, "skip");  // hidden in lower case too
  const CanonCustomFunction* functions = CanonCustomFunctions();
  for (int i = 0; i < kCanonCustomFunctionCount; ++i) EXPECT_EQ(functions[i].number, i + 1);
}

}  // namespace
}  // namespace tessaly
