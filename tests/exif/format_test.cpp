// Value formatting: patterns, conversions by field type, text helpers,
// formatters of the tag tables and the derived 35 mm focal length.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "ExifReader.h"

namespace tessaly {
namespace {

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += static_cast<char>(b);
  return s;
}

// Every test starts from the '.' separator and leaves it so.
class Format : public ::testing::Test {
 protected:
  void SetUp() override { SetDecimalSeparator('.'); }
  void TearDown() override { SetDecimalSeparator('.'); }
  TImageInfo be{nullptr, kBuildAll};  // big-endian after SetUp
  TImageInfo le{nullptr, kBuildAll};
};

TEST_F(Format, FixedPointRoundsHalvesAwayFromZeroAtTheLastDigit) {
  const struct { const char* pattern; double value; const char* text; } cases[] = {
      {"%5.2f", 3.5, " 3.50"},   {"%0.2f", 0.125, "0.13"},  // printf gives 0.12
      {"%0.2f", -0.125, "-0.13"}, {"%0.0f", 2.5, "3"},     {"%0.0f", 99.5, "100"},
      {"%0.2f", 9.995, "9.99"},   // stored a little below the tie
      {"%0.1f", -0.01, "0.0"},    {"F%0.1f", 2.8, "F2.8"},  {"%8.3f|", 3.14159, "   3.142|"},
      {"%f", 1.5, "1.500000"},    {"%0.0f", 1e20, "100000000000000000000"},
      {"%0.1f", NAN, "NAN"},      {"no number", 7, "no number"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatNumber(c.pattern, c.value), c.text) << c.pattern;
  EXPECT_EQ(FormatInteger(" (1/%d)", -128), " (1/-128)");
  EXPECT_EQ(FormatText("%5s sec", "1/60"), " 1/60 sec");

  SetDecimalSeparator(',');
  EXPECT_EQ(FormatNumber("%5.2f", 3.5), " 3,50");
  EXPECT_EQ(ShutterSpeedText("-1/1"), "2,0000 sec");
}

TEST_F(Format, PatternsThatDoNotFitTheirArgumentRaise) {
  const struct { const char* fault; std::function<std::string()> call; const char* message; } cases[] = {
      {"integer_conversion_for_number", [] { return FormatNumber("%d", 1); }, "Pattern \"%d\" does not fit its argument"},
      {"two_conversions", [] { return FormatNumber("%f %f", 1); }, "Pattern \"%f %f\" does not fit its argument"},
      {"percent_at_end", [] { return FormatNumber("5 %", 1); }, "Pattern \"5 %\" does not fit its argument"},
      {"precision_without_type", [] { return FormatNumber("%5.", 1); }, "Pattern \"%5.\" does not fit its argument"},
      {"huge_width", [] { return FormatNumber("%999f", 1); }, "Pattern \"%999f\" does not fit its argument"},
      {"number_conversion_for_integer", [] { return FormatInteger("%f", 1); }, "Pattern \"%f\" does not fit its argument"},
      {"precision_for_text", [] { return FormatText("%.2s", "1"); }, "Pattern \"%.2s\" does not fit its argument"},
  };
  for (const auto& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << c.fault << " did not raise";
    } catch (const std::invalid_argument& e) {
      EXPECT_STREQ(e.what(), c.message) << c.fault;
    }
  }
}

TEST_F(Format, NumberAndTextHelpers) {
  const struct { double value; int64_t rounded; } halves[] = {
      {0.5, 0}, {1.5, 2}, {2.5, 2}, {-1.5, -2}, {2.6, 3}, {NAN, 0},
      {1e300, std::numeric_limits<int64_t>::max()}, {-1e300, std::numeric_limits<int64_t>::min()},
  };
  for (const auto& c : halves) EXPECT_EQ(RoundHalfEven(c.value), c.rounded) << c.value;

  const struct { const char* text; double value; } fractions[] = {
      {"-15/10", -1.5}, {" 5/1", 5}, {"+6/4", 1.5}, {"5/1, 2/1", 0}, {"", 0}, {"5", 0},
      {"/1", 0}, {"5/0", 0}, {"5 /1", 0}, {"2147483648/1", 0}, {"-2147483648/1", -2147483648.0},
  };
  for (const auto& c : fractions) EXPECT_EQ(FractionValue(c.text), c.value) << '"' << c.text << '"';

  EXPECT_EQ(FormatSize(12), 8);
  EXPECT_EQ(FormatSize(13), 0);
  EXPECT_EQ(CleanText(std::string(60, 'x')), std::string(50, 'x'));
  EXPECT_EQ(CleanText(std::string("a\nb\0c\x7F\xB0", 7)), "a.b.c\x7F\xB0");
  EXPECT_EQ(HexText("\x01\xAB"), " 01 AB");
  EXPECT_EQ(HexText(std::string(17, '\xFF')), " FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF...");
  EXPECT_EQ(Win1251ToUtf8("90\xB0 \xC4\xE0\xF2\xE0 \xA8\xB9\x88"), "90\u00B0 \u0414\u0430\u0442\u0430 \u0401\u2116\u20AC");
  EXPECT_EQ(Win1251ToUtf8("\x98"), "\uFFFD");  // no character in the code page
}

TEST_F(Format, Formatters) {
  const struct { TagFormatter formatter; std::string text; const char* shown; } cases[] = {
      {ComponentsText, "\"\x01\x02\x03\"", "YCbCr"},  {ComponentsText, "\"\x04\x05\x06\"", "RGB"},
      {ComponentsText, "\"", ""},
      {ShutterSpeedText, "7/1", "0.0078 sec (1/128)"}, {ShutterSpeedText, "2/1", "0.2500 sec (1/4)"},
      {ShutterSpeedText, "0/1", "1.0000 sec"},         {ShutterSpeedText, "abc", "1.0000 sec"},
      {FlashText, "0", "Off"},                  {FlashText, "7", "On, strobe return"},
      {FlashText, "16", "Off, surpressed"},     {FlashText, "24", "Off, auto mode"},
      {FlashText, "89", "On, auto mode, red-eye reduction"}, {FlashText, " +2", "Off, UNKNOWN"},
      {FlashText, "-1", "On, strobe return, auto mode, no flash function, red-eye reduction"},
      {UserCommentText, std::string("ASCII\0\0\0Hi", 10), "Hi"}, {UserCommentText, "ASCII", ""},
      {ByteCharsText, "84, 0, 101, 0, 115, 0, 116, 0", "Test"}, {ByteCharsText, "84", ""},
      {ByteCharsText, "84, 0, abc", "T"},      // the last field is never read
      {ByteCharsText, "0, 0, 321, 256", "A"},  // low 8 bits; zero skipped
      {GpsDegreesText, "51/1, 30/1, 15/1", "51 Degrees 30 Minutes 15 Seconds"},
      {GpsDegreesText, "51/1, 3045/100, 0/1", "51 Degrees 30 Minutes 27 Seconds"},
      {GpsDegreesText, "10/1", "0 Degrees 0 Minutes 10 Seconds"},
      {GpsTimeText, "14/1, 5/1, 9/1", "14:5:9"}, {GpsTimeText, "0/1, 0/1, 0/1", "0:0:0"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.formatter(c.text), c.shown) << c.text;
  for (const char* outOfRange : {"64/1", "-2000/1"})
    EXPECT_THROW(ShutterSpeedText(outOfRange), std::range_error) << outOfRange;
}

TEST_F(Format, FieldsThatAreNotIntegersRaise) {
  const struct { const char* fault; TagFormatter formatter; const char* text; const char* message; } cases[] = {
      {"letters", FlashText, "abc", "'abc' is not a valid integer value"},
      {"empty", FlashText, "", "'' is not a valid integer value"},
      {"decimal_point", FlashText, "1.5", "'1.5' is not a valid integer value"},
      {"trailing_blank", FlashText, "5 ", "'5 ' is not a valid integer value"},
      {"beyond_32_bits", FlashText, "4294967296", "'4294967296' is not a valid integer value"},
      {"sign_only", FlashText, "-", "'-' is not a valid integer value"},
      {"letter_field", ByteCharsText, "x, 0", "'x' is not a valid integer value"},
  };
  for (const auto& c : cases) {
    try {
      c.formatter(c.text);
      ADD_FAILURE() << c.fault << " did not raise";
    } catch (const ReadError& e) {
      EXPECT_STREQ(e.what(), c.message) << c.fault;
    }
  }
}

TEST_F(Format, IntegersAndNumbersByByteOrder) {
  be.bigEndian = true;
  const struct { std::string bytes; int32_t big, little; } ints[] = {
      {"", 0, 0}, {Bytes({0xFF, 0xFF}), 65535, 65535}, {Bytes({0xFF, 0xFF, 0xFF, 0xFF}), -1, -1},
      {Bytes({1, 2, 3, 4, 5}), 0x02030405, 0x04030201},  // the 4 low bytes count
  };
  for (const auto& c : ints) {
    EXPECT_EQ(be.RawToInt(c.bytes), c.big);
    EXPECT_EQ(le.RawToInt(c.bytes), c.little);
  }
  const struct { std::string bytes; int format; double value; } numbers[] = {
      {Bytes({0, 1, 0, 2, 0, 3}), 3, 0x00020003},  // components form one number
      {Bytes({0xFF}), 6, -1}, {Bytes({0xFF, 0xFF}), 8, -1}, {Bytes({0xFF, 0xFF, 0xFF, 0xFF}), 8, -1},
      {Bytes({0xFF, 0xFF, 0xFF, 0xFF}), 4, 4294967295.0},
      {Bytes({0x80, 0, 0, 0, 0, 0, 0, 2}), 5, 1073741824},  // numerator of 2^31
      {Bytes({0, 0, 0, 7, 0, 0, 0, 2}), 5, 3.5},
      {std::string(8, '\0'), 5, 0},                // 0/0
      {Bytes({0xFF, 0xFF, 0xFF, 0xFD, 0, 0, 0, 10}), 10, -0.3},
      {Bytes({0, 0, 0, 7}), 5, 0},                 // no denominator
      {Bytes({0x40, 0x49, 0x0F, 0xDB}), 11, 3.1415927410125732},
      {Bytes({0x3F, 0xF8, 0, 0, 0, 0, 0, 0}), 12, 1.5},
      {Bytes({0x7F, 0xC0, 0, 0}), 11, 0},          // not a number
      {Bytes({0x40, 0x49, 0x0F}), 11, 0},          // cut short
      {"abc", 2, 0}, {"abc", 7, 0}, {"abcd", 13, 0},
  };
  for (const auto& c : numbers) EXPECT_EQ(be.NumericValue(c.bytes, c.format), c.value) << c.format;
  EXPECT_EQ(le.NumericValue(Bytes({0, 0, 0xC0, 0x3F}), 11), 1.5);
}

TEST_F(Format, DisplayTexts) {
  be.bigEndian = true;
  const std::string orientation = LookupTag(0x0112, 1).decodeList;
  const std::string half = Bytes({0, 0, 0, 1, 0, 0, 0, 2}), nine = Bytes({0, 0, 0, 9, 0, 0, 0, 1});
  const struct { std::string bytes; int format; std::string list, pattern; const char* text; } cases[] = {
      {Bytes({0, 1, 0, 2, 0, 3}), 3, "", "", "1, 2, 3"},
      {Bytes({0, 1, 0, 2, 0, 3}), 3, "1:A,3:C", "", "A, , C"},
      {std::string(12, '\x07'), 1, "", "", "7, 7, 7, 7, 7, 7, 7, 7"},
      {std::string(8, '\0'), 5, "", "", "0/0"},
      {Bytes({0xFF, 0xFF, 0xFF, 0xFD, 0, 0, 0, 10}), 10, "", "", "-3/10"},
      {Bytes({0xFF, 0xFF, 0xFF, 0xFD, 0, 0, 0, 10}), 5, "", "", "4294967293/10"},
      {Bytes({0xFF, 0x80, 0xFF, 0xFE}), 8, "", "", "-128, -2"},
      {Bytes({0xFF, 0x80}), 6, "", "", "-1, -128"},
      {Bytes({0xFF, 0xFF, 0xFF, 0xFF}), 4, "", "", "4294967295"},
      {std::string(8, '\0'), 11, "", "", "-9999.99, -9999.99"},
      {"abc", 7, "", "", "?, ?, ?"},
      {"abc", 13, "", "%5.2f", "0"},
      {Bytes({0, 0, 1, 0x2C, 0, 0, 0, 1}), 5, "", "%5.2f", "300.00"},
      {Bytes({0, 0, 0, 7, 0, 0, 0, 2}), 5, "", "%5.2f", " 3.50"},
      {Bytes({0, 0, 0, 55, 0, 0, 0, 10}), 5, "", "%5.2f mm", " 5.50 mm"},
      {Bytes({0, 0, 0, 1, 0, 0, 0, 60}), 5, "", "%s sec", "1/60 sec"},
      {half + nine, 5, "", "%5.2f", " 0.50"},  // the number of the first fraction
      {half + nine, 5, "1/2:Half", "", "Half, 9/1"},  // each fraction looked up
      {Bytes({0, 6}), 3, orientation, "", "CounterClockwise 90\xB0"},
      {Bytes({0, 5}), 3, orientation, "", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(be.ValueText(c.bytes, c.format, c.list, c.pattern), c.text) << c.text;
  EXPECT_EQ(le.ValueText(Bytes({1, 0, 2, 0}), 3, "", ""), "1, 2");
  EXPECT_THROW(be.ValueText(Bytes({0, 1}), 3, "", "%d"), std::invalid_argument);
}

// A 4.5 mm lens, 2048 x 1536 pixels at 3000 pixels per centimetre; each case
// drops one tag, adds one SHORT tag, and gives the derived text or none.
TEST_F(Format, FocalLengthIn35mmFilmFromTheSensorSize) {
  const struct { const char* name; uint16_t drop, add; std::string value; const char* derived; } cases[] = {
      {"centimetres", 0, 0, "", "22.82"},
      {"inches_from_main_unit", 0xA210, 0x0128, Bytes({0, 2}), " 8.98"},
      {"no_resolution_unit", 0xA210, 0, "", nullptr},
      {"unit_none_specified", 0xA210, 0x0128, Bytes({0, 1}), nullptr},
      {"camera_gave_it", 0, 0xA405, Bytes({0, 28}), nullptr},
      {"no_focal_length", 0x920A, 0, "", nullptr},
      {"no_x_resolution", 0xA20E, 0, "", nullptr},
      {"no_y_resolution", 0xA20F, 0, "", nullptr},
  };
  const std::string perCentimetre = Bytes({0, 0, 0x0B, 0xB8, 0, 0, 0, 1});  // 3000/1
  for (const auto& c : cases) {
    TImageInfo info(nullptr, kBuildAll);
    info.bigEndian = true;
    info.imageWidth = 2048;
    info.imageHeight = 1536;
    auto store = [&](uint16_t tag, int format, std::string raw) {
      if (tag == c.drop) return;
      TTagEntry entry = LookupTag(tag, kMainDirectory);
      entry.valueFormat = static_cast<uint16_t>(format);
      entry.rawBytes = std::move(raw);
      info.tags.push_back(entry);
    };
    store(0x920A, 5, Bytes({0, 0, 0, 45, 0, 0, 0, 10}));
    store(0xA20E, 5, perCentimetre);
    store(0xA20F, 5, perCentimetre);
    store(0xA210, 3, Bytes({0, 3}));
    if (c.add) store(c.add, 3, c.value);
    const int before = info.tagCount();
    info.Derive35mmFocalLength();
    if (!c.derived) {
      EXPECT_EQ(info.tagCount(), before) << c.name;
      EXPECT_EQ(info.tagText, "") << c.name;
      continue;
    }
    ASSERT_EQ(info.tagCount(), before + 1) << c.name;
    const TTagEntry& entry = info.tags.back();
    EXPECT_EQ(entry.tagId, 0xA405);
    EXPECT_EQ(entry.valueText, c.derived);
    EXPECT_EQ(entry.formatText, "%s mm");
    EXPECT_EQ(entry.valueFormat, 10);
    EXPECT_EQ(info.tagText, std::string("\r\nFocal Length in 35mm Film = ") + c.derived);
    info.Derive35mmFocalLength();  // at most once: the tag now exists
    EXPECT_EQ(info.tagCount(), before + 1) << c.name;
  }
}

}  // namespace
}  // namespace tessaly
