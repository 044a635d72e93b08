// Value formatting: patterns, conversions by field type, text helpers,
// formatters of the tag tables and the derived 35 mm focal length.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ExifReader.h"

namespace tessaly {
namespace {

// Every test starts from the '.' separator and leaves it so.
class Format : public ::testing::Test {
 protected:
  void SetUp() override { SetDecimalSeparator('.'); }
  void TearDown() override { SetDecimalSeparator('.'); }
};

TEST_F(Format, FixedPointRoundsHalvesAwayFromZeroAtTheLastDigit) {
  const struct { const char* pattern; double value; const char* text; } cases[] = {
      {"%5.2f", 3.5, " 3.50"},
      {"%5.2f", 300, "300.00"},
      {"%0.2f", 0.125, "0.13"},     // an exact binary tie; printf gives 0.12
      {"%0.2f", 0.375, "0.38"},
      {"%0.2f", -0.125, "-0.13"},
      {"%0.0f", 2.5, "3"},
      {"%0.0f", -2.5, "-3"},
      {"%0.0f", 99.5, "100"},       // the carry adds a digit
      {"%0.2f", 9.995, "9.99"},     // 9.995 is stored a little below the tie
      {"%0.1f", -0.01, "0.0"},      // no sign on a zero
      {"%4.4f sec", 0.0078125, "0.0078 sec"},
      {"F%0.1f", 2.8, "F2.8"},
      {"%8.3f|", 3.14159, "   3.142|"},
      {"%-6.1f|", 3.14159, "3.1   |"},
      {"%f", 1.5, "1.500000"},
      {"%0.0f", 1e20, "100000000000000000000"},
      {"no number", 7, "no number"},
      {"100%% at %0.0f", 7, "100% at 7"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatNumber(c.pattern, c.value), c.text) << c.pattern;
}

TEST_F(Format, CommaSeparatorReachesEveryFixedPointText) {
  SetDecimalSeparator(',');
  EXPECT_EQ(DecimalSeparator(), ',');
  EXPECT_EQ(FormatNumber("%5.2f", 3.5), " 3,50");
  EXPECT_EQ(FormatNumber("%0.0f", 3.5), "4");
  EXPECT_EQ(ShutterSpeedText("-1/1"), "2,0000 sec");
  EXPECT_EQ(ShutterSpeedText("7/1"), "0,0078 sec (1/128)");
}

TEST_F(Format, IntegerAndTextPatterns) {
  EXPECT_EQ(FormatInteger(" (1/%d)", 128), " (1/128)");
  EXPECT_EQ(FormatInteger("%d", -5), "-5");
  EXPECT_EQ(FormatInteger("%4d|%%", 42), "  42|%");
  EXPECT_EQ(FormatInteger("%.3d", -7), "-007");
  EXPECT_EQ(FormatInteger("%d", std::numeric_limits<int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(FormatText("%s sec", "1/60"), "1/60 sec");
  EXPECT_EQ(FormatText("[%-4s]", "ab"), "[ab  ]");
  EXPECT_EQ(FormatText("%.2s", "abc"), "ab");
}

TEST_F(Format, PatternsThatDoNotFitTheirArgumentRaise) {
  const struct { const char* name; std::function<std::string()> call; const char* message; } cases[] = {
      {"integer_conversion_for_number", [] { return FormatNumber("%d", 1); }, "Pattern \"%d\" does not fit its argument"},
      {"text_conversion_for_number", [] { return FormatNumber("%s", 1); }, "Pattern \"%s\" does not fit its argument"},
      {"two_conversions", [] { return FormatNumber("%f %f", 1); }, "Pattern \"%f %f\" does not fit its argument"},
      {"lone_percent_at_end", [] { return FormatNumber("5 %", 1); }, "Pattern \"5 %\" does not fit its argument"},
      {"precision_without_type", [] { return FormatNumber("%5.", 1); }, "Pattern \"%5.\" does not fit its argument"},
      {"unknown_type", [] { return FormatNumber("%x", 1); }, "Pattern \"%x\" does not fit its argument"},
      {"huge_width", [] { return FormatNumber("%999f", 1); }, "Pattern \"%999f\" does not fit its argument"},
      {"number_conversion_for_integer", [] { return FormatInteger("%f", 1); }, "Pattern \"%f\" does not fit its argument"},
      {"integer_conversion_for_text", [] { return FormatText("%d", "1"); }, "Pattern \"%d\" does not fit its argument"},
  };
  for (const auto& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << c.name << " did not raise";
    } catch (const std::invalid_argument& e) {
      EXPECT_STREQ(e.what(), c.message) << c.name;
    }
  }
}

TEST_F(Format, RoundingToIntegersTakesHalvesToEven) {
  const struct { double value; int64_t rounded; } cases[] = {
      {0.5, 0}, {1.5, 2}, {2.5, 2}, {-0.5, 0}, {-1.5, -2}, {2.4, 2}, {2.6, 3}, {-2.6, -3},
      {std::nan(""), 0}, {1e300, std::numeric_limits<int64_t>::max()},
      {-1e300, std::numeric_limits<int64_t>::min()},
  };
  for (const auto& c : cases) EXPECT_EQ(RoundHalfEven(c.value), c.rounded) << c.value;
}

TEST_F(Format, SizesOfTheFieldTypes) {
  const int sizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 0};
  for (int format = 0; format < 14; ++format) EXPECT_EQ(FormatSize(format), sizes[format]);
  EXPECT_EQ(FormatSize(-1), 0);
  EXPECT_EQ(FormatSize(0xFFFF), 0);
}

TEST_F(Format, FractionTexts) {
  const struct { const char* text; double value; } cases[] = {
      {"-15/10", -1.5},   {" 5/1", 5},           {"+6/4", 1.5},       {"7/ 2", 3.5},
      {"5/1, 2/1", 0},    {"", 0},               {"5", 0},            {"/1", 0},
      {"5/", 0},          {"5/0", 0},            {"5 /1", 0},         {"5/1 ", 0},
      {"2147483648/1", 0}, {"-2147483648/1", -2147483648.0}, {"1/2/3", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(FractionValue(c.text), c.value) << '"' << c.text << '"';
}

TEST_F(Format, CleanAndHexTexts) {
  EXPECT_EQ(CleanText(std::string(60, 'x')), std::string(50, 'x'));
  EXPECT_EQ(CleanText(std::string("a\nb\0c\x1F\x7F\xB0", 8)), "a.b.c.\x7F\xB0");
  EXPECT_EQ(HexText("\x01\xAB"), " 01 AB");
  EXPECT_EQ(HexText(""), "");
  EXPECT_EQ(HexText(std::string(17, '\xFF')),
            " FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF...");
}

TEST_F(Format, ComponentAndCommentFormatters) {
  EXPECT_EQ(ComponentsText("\"\x01\x02\x03\""), "YCbCr");
  EXPECT_EQ(ComponentsText("\"\x04\x05\x06\""), "RGB");
  EXPECT_EQ(ComponentsText("\"\x07\x01"), "Y");  // unknown codes give nothing
  EXPECT_EQ(ComponentsText("\""), "");
  EXPECT_EQ(UserCommentText(std::string("ASCII\0\0\0Hello", 13)), "Hello");
  EXPECT_EQ(UserCommentText(std::string("ASCII\0\0\0", 8)), "");
  EXPECT_EQ(UserCommentText(""), "");
}

TEST_F(Format, ShutterSpeeds) {
  const struct { const char* text; const char* shown; } cases[] = {
      {"7/1", "0.0078 sec (1/128)"}, {"2/1", "0.2500 sec (1/4)"}, {"1/1", "0.5000 sec (1/2)"},
      {"0/1", "1.0000 sec"},         {"abc", "1.0000 sec"},       {"-1/1", "2.0000 sec"},
  };
  for (const auto& c : cases) EXPECT_EQ(ShutterSpeedText(c.text), c.shown) << c.text;
  for (const char* outOfRange : {"64/1", "2000/1", "-2000/1"})
    EXPECT_THROW(ShutterSpeedText(outOfRange), std::range_error) << outOfRange;
}

TEST_F(Format, FlashBits) {
  const struct { const char* text; const char* shown; } cases[] = {
      {"0", "Off"}, {"1", "On"}, {"2", "Off, UNKNOWN"}, {"5", "On, no strobe return"},
      {"7", "On, strobe return"}, {"8", "Off, forced"}, {"16", "Off, surpressed"},
      {"24", "Off, auto mode"}, {"25", "On, auto mode"}, {"32", "Off, no flash function"},
      {"89", "On, auto mode, red-eye reduction"}, {" 129", "On"}, {"+1", "On"},
      {"-1", "On, strobe return, auto mode, no flash function, red-eye reduction"},
  };
  for (const auto& c : cases) EXPECT_EQ(FlashText(c.text), c.shown) << c.text;
}

TEST_F(Format, FieldsThatAreNotIntegersRaise) {
  const struct { const char* name; std::string (*formatter)(const std::string&); const char* text; const char* message; } cases[] = {
      {"letters", FlashText, "abc", "'abc' is not a valid integer value"},
      {"empty", FlashText, "", "'' is not a valid integer value"},
      {"decimal_point", FlashText, "1.5", "'1.5' is not a valid integer value"},
      {"trailing_blank", FlashText, "5 ", "'5 ' is not a valid integer value"},
      {"hexadecimal", FlashText, "0x10", "'0x10' is not a valid integer value"},
      {"beyond_32_bits", FlashText, "4294967296", "'4294967296' is not a valid integer value"},
      {"sign_only", FlashText, "-", "'-' is not a valid integer value"},
      {"letter_field", ByteCharsText, "x, 0", "'x' is not a valid integer value"},
      {"empty_field", ByteCharsText, "84, 0,, 0", "'' is not a valid integer value"},
  };
  for (const auto& c : cases) {
    try {
      c.formatter(c.text);
      ADD_FAILURE() << c.name << " did not raise";
    } catch (const ReadError& e) {
      EXPECT_STREQ(e.what(), c.message) << c.name;
    }
  }
}

TEST_F(Format, ByteCodedTextsAndGpsPositions) {
  EXPECT_EQ(ByteCharsText("84, 0, 101, 0, 115, 0, 116, 0"), "Test");
  EXPECT_EQ(ByteCharsText("84"), "");
  EXPECT_EQ(ByteCharsText("84, 0, abc"), "T");  // the last field is never read
  EXPECT_EQ(ByteCharsText("0, 0, 321, 256"), "A");  // low 8 bits; zero skipped

  const struct { const char* text; const char* degrees; const char* time; } cases[] = {
      {"51/1, 30/1, 15/1", "51 Degrees 30 Minutes 15 Seconds", "51:30:15"},
      {"51/1, 3045/100, 0/1", "51 Degrees 30 Minutes 27 Seconds", "51:30:0"},
      {"10/1", "0 Degrees 0 Minutes 10 Seconds", "0:0:10"},
      {"-33/1, 52/1, 1/2", "-33 Degrees 52 Minutes 1 Seconds", "-33:52:1"},
      {"0/1, 0/1, 0/1", "0 Degrees 0 Minutes 0 Seconds", "0:0:0"},
      {"14/1, 5/1, 9/1", "14 Degrees 5 Minutes 9 Seconds", "14:5:9"},
      {"", "0 Degrees 0 Minutes 0 Seconds", "0:0:0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GpsDegreesText(c.text), c.degrees) << c.text;
    EXPECT_EQ(GpsTimeText(c.text), c.time) << c.text;
  }
}

TEST_F(Format, WindowsCyrillicBecomesUtf8) {
  EXPECT_EQ(Win1251ToUtf8("Plain text"), "Plain text");
  EXPECT_EQ(Win1251ToUtf8("90\xB0"), "90\u00B0");
  EXPECT_EQ(Win1251ToUtf8("\xC4\xE0\xF2\xE0"), "\u0414\u0430\u0442\u0430");
  EXPECT_EQ(Win1251ToUtf8("\xC0\xFF\xA8\xB8"), "\u0410\u044F\u0401\u0451");
  EXPECT_EQ(Win1251ToUtf8("\x88\xB9\x96\x80"), "\u20AC\u2116\u2013\u0402");
  EXPECT_EQ(Win1251ToUtf8("\x98"), "\uFFFD");  // no character in the code page
  EXPECT_EQ(Win1251ToUtf8(std::string(1, '\0')), std::string(1, '\0'));
}

// --- Conversions by byte order ---------------------------------------------

class Values : public Format {
 protected:
  TImageInfo be{nullptr, kBuildAll};
  TImageInfo le{nullptr, kBuildAll};
  void SetUp() override {
    Format::SetUp();
    be.bigEndian = true;
  }
  static std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s += static_cast<char>(b);
    return s;
  }
};

TEST_F(Values, RawIntegersInBothByteOrders) {
  const struct { std::string bytes; int32_t big, little; } cases[] = {
      {"", 0, 0},
      {Bytes({0xFF, 0xFF}), 65535, 65535},
      {Bytes({0xFF, 0xFF, 0xFF, 0xFF}), -1, -1},
      {Bytes({0x01, 0x02}), 0x0102, 0x0201},
      {Bytes({1, 2, 3, 4, 5}), 0x02030405, 0x04030201},  // the 4 low bytes count
  };
  for (const auto& c : cases) {
    EXPECT_EQ(be.RawToInt(c.bytes), c.big);
    EXPECT_EQ(le.RawToInt(c.bytes), c.little);
  }
}

TEST_F(Values, NumbersOfEveryFieldType) {
  const struct { std::string bytes; int format; double value; } cases[] = {
      {Bytes({0, 1, 0, 2, 0, 3}), 3, 0x00020003},  // components form one number
      {Bytes({0, 0, 0, 7, 0, 0, 0, 2}), 5, 3.5},
      {Bytes({0, 0, 0, 0, 0, 0, 0, 0}), 5, 0},       // 0/0
      {Bytes({0xFF, 0xFF, 0xFF, 0xFD, 0, 0, 0, 10}), 10, -0.3},
      {Bytes({0, 0, 0, 7}), 5, 0},                   // no denominator
      {Bytes({0x40, 0x49, 0x0F, 0xDB}), 11, 3.1415927410125732},
      {Bytes({0x3F, 0xF8, 0, 0, 0, 0, 0, 0}), 12, 1.5},
      {Bytes({0x7F, 0xC0, 0, 0}), 11, 0},            // not a number
      {Bytes({0x40, 0x49, 0x0F}), 11, 0},            // cut short
      {"abc", 2, 0}, {"abc", 7, 0}, {"abcd", 0, 0}, {"abcd", 13, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(be.NumericValue(c.bytes, c.format), c.value) << c.format;
  EXPECT_EQ(le.NumericValue(Bytes({0, 0, 0xC0, 0x3F}), 11), 1.5);
}

TEST_F(Values, DisplayTexts) {
  const std::string orientation = LookupTag(0x0112, 1).decodeList;
  const struct { std::string bytes; int format; std::string list, pattern; const char* text; } cases[] = {
      {Bytes({0, 1, 0, 2, 0, 3}), 3, "", "", "1, 2, 3"},
      {Bytes({0, 1, 0, 2, 0, 3}), 3, "1:A,3:C", "", "A, , C"},
      {std::string(12, '\x07'), 1, "", "", "7, 7, 7, 7, 7, 7, 7, 7"},
      {Bytes({0, 0, 0, 0, 0, 0, 0, 0}), 5, "", "", "0/0"},
      {Bytes({0xFF, 0xFF, 0xFF, 0xFD, 0, 0, 0, 10}), 10, "", "", "-3/10"},
      {Bytes({0xFF, 0xFF, 0xFF, 0xFD}), 9, "", "", "-3"},
      {std::string(8, '\0'), 11, "", "", "-9999.99, -9999.99"},
      {std::string(8, '\0'), 12, "", "", "-9999.99"},
      {"abc", 7, "", "", "?, ?, ?"},
      {"abc", 0, "", "", "0"},
      {"abc", 13, "", "%5.2f", "0"},
      {Bytes({0, 0, 1, 0x2C, 0, 0, 0, 1}), 5, "", "%5.2f", "300.00"},
      {Bytes({0, 0, 0, 7, 0, 0, 0, 2}), 5, "", "%5.2f", " 3.50"},
      {Bytes({0, 0, 0, 28, 0, 0, 0, 10}), 5, "", "F%0.1f", "F2.8"},
      {Bytes({0, 0, 0, 55, 0, 0, 0, 10}), 5, "", "%5.2f mm", " 5.50 mm"},
      {Bytes({0, 0, 0, 1, 0, 0, 0, 60}), 5, "", "%s sec", "1/60 sec"},
      {Bytes({0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 9, 0, 0, 0, 1}), 5, "", "%5.2f", " 0.50"},
      {Bytes({0, 6}), 3, orientation, "", "CounterClockwise 90\xB0"},
      {Bytes({0, 5}), 3, orientation, "", ""},
      // rationals look each component up by its own fraction text
      {Bytes({0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4}), 5, "1/2:Half", "", "Half, 3/4"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(be.ValueText(c.bytes, c.format, c.list, c.pattern), c.text) << c.text;
  EXPECT_EQ(le.ValueText(Bytes({1, 0, 2, 0}), 3, "", ""), "1, 2");
  EXPECT_THROW(be.ValueText(Bytes({0, 1}), 3, "", "%d"), std::invalid_argument);
}

// --- Tag values by name and the derived 35 mm focal length -----------------

class Focal : public Values {
 protected:
  void Store(uint16_t tag, int format, std::string raw) {
    TTagEntry entry = LookupTag(tag, kMainDirectory);
    entry.valueFormat = static_cast<uint16_t>(format);
    entry.rawBytes = std::move(raw);
    be.tags.push_back(entry);
  }
  static std::string Rational(uint32_t n, uint32_t d) {
    return Bytes({int(n >> 24), int(n >> 16 & 255), int(n >> 8 & 255), int(n & 255),
                  int(d >> 24), int(d >> 16 & 255), int(d >> 8 & 255), int(d & 255)});
  }
  // A 4.5 mm lens, 2048 x 1536 pixels at 3000 pixels per centimetre.
  void StoreCompactCamera() {
    be.imageWidth = 2048;
    be.imageHeight = 1536;
    Store(0x920A, 5, Rational(45, 10));
    Store(0xA20E, 5, Rational(3000, 1));
    Store(0xA20F, 5, Rational(3000, 1));
    Store(0xA210, 3, Bytes({0, 3}));
  }
};

TEST_F(Focal, TagNumbersByName) {
  StoreCompactCamera();
  EXPECT_EQ(be.TagNumber("focallength"), 4.5);
  EXPECT_EQ(be.TagRounded("FocalLength"), 4);  // 4.5 to even
  EXPECT_EQ(be.TagRounded("FocalPlaneResolutionUnit"), 3);
  EXPECT_EQ(be.TagNumber("ExposureTime"), 0);
}

TEST_F(Focal, DerivedFromSensorSizeWhenTheCameraGaveNone) {
  StoreCompactCamera();
  be.tagText = "before";
  be.Derive35mmFocalLength();
  ASSERT_EQ(be.tagCount(), 5);
  const TTagEntry& derived = be.tags.back();
  EXPECT_EQ(derived.tagId, 0xA405);
  EXPECT_EQ(derived.valueText, "22.82");
  EXPECT_EQ(derived.valueFormat, 10);
  EXPECT_EQ(derived.formatText, "%s mm");
  EXPECT_TRUE(derived.rawBytes.empty());
  EXPECT_EQ(be.tagText, "before\r\nFocal Length in 35mm Film = 22.82");
  be.Derive35mmFocalLength();  // the tag now exists
  EXPECT_EQ(be.tagCount(), 5);
}

TEST_F(Focal, InchesFromTheMainResolutionUnit) {
  StoreCompactCamera();
  be.tags.pop_back();                  // no focal-plane unit
  Store(0x0128, 3, Bytes({0, 2}));     // inches: 2.54 times the sensor
  be.Derive35mmFocalLength();
  EXPECT_EQ(be.tags.back().valueText, " 8.98");
}

TEST_F(Focal, NothingDerivedWithoutEveryMeasure) {
  const struct { const char* name; uint16_t dropTag; uint16_t addTag; std::string addValue; } cases[] = {
      {"camera_gave_it", 0, 0xA405, Bytes({0, 0, 0, 28, 0, 0, 0, 1})},
      {"no_resolution_unit", 0xA210, 0, ""},
      {"unit_none_specified", 0xA210, 0x0128, Bytes({0, 1})},
      {"no_focal_length", 0x920A, 0, ""},
      {"no_x_resolution", 0xA20E, 0, ""},
      {"no_y_resolution", 0xA20F, 0, ""},
  };
  for (const auto& c : cases) {
    be.tags.clear();
    be.tagText.clear();
    StoreCompactCamera();
    std::erase_if(be.tags, [&](const TTagEntry& e) { return e.tagId == c.dropTag; });
    if (c.addTag) Store(c.addTag, 3, c.addValue);
    const int before = be.tagCount();
    be.Derive35mmFocalLength();
    EXPECT_EQ(be.tagCount(), before) << c.name;
    EXPECT_EQ(be.tagText, "") << c.name;
  }
}

}  // namespace
}  // namespace tessaly
