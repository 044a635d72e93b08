// Dates: the calendar scale (days since 30 December 1899) and EXIF date texts.
#include <gtest/gtest.h>

#include <cmath>

#include "ExifReader.h"

namespace tessaly {
namespace {

TEST(DateTime, ExifTextsReadOnlyTheirDigitFields) {
  const struct { std::string text; const char* iso; } cases[] = {
      {"2005:07:14 13:45:10", "2005-07-14 13:45:10"},
      {"2005-07-14T13:45:10", "2005-07-14 13:45:10"},  // separators are not read
      {"2000:02:29 23:59:59", "2000-02-29 23:59:59"},
      {"2005:07:14 13: 5:+9", "2005-07-14 13:05:09"},  // blank and sign allowed
      {std::string("2005:07:14 13:45:10\0junk", 24), "2005-07-14 13:45:10"},
      {"0001:01:01 00:00:00", "0001-01-01 00:00:00"},
      {"9999:12:31 23:59:59", "9999-12-31 23:59:59"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatIsoDateTime(ParseExifDateTime(c.text)), c.iso) << c.text;
  EXPECT_DOUBLE_EQ(ParseExifDateTime("2005:07:14 13:45:10"), 38547 + 49510.0 / 86400);
  EXPECT_EQ(ParseExifDateTime("1899:12:30 12:00:00"), 0.5);
}

TEST(DateTime, FaultyExifTextsGiveNoDate) {
  const struct { const char* fault; std::string text; } cases[] = {
      {"no_such_day", "2005:02:30 10:00:00"},
      {"no_leap_day_in_2100", "2100:02:29 10:00:00"},
      {"hour_24", "2005:07:14 24:00:00"},
      {"minute_60", "2005:07:14 13:60:00"},
      {"second_60", "2005:07:14 13:45:60"},
      {"month_13", "2005:13:01 10:00:00"},
      {"year_0", "0000:00:00 00:00:00"},
      {"all_blanks", "                   "},
      {"negative_minute", "2005:07:14 13:-5:10"},
      {"trailing_blank_in_field", "2005:07:14 13:5 :10"},
      {"letter_in_year", "2O05:07:14 13:45:10"},
      {"colon_in_field", "2005:07:14 13:45::0"},
      {"cut_before_last_digit", "2005:07:14 13:45:1"},
      {"empty", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseExifDateTime(c.text), 0) << c.fault;
}

TEST(DateTime, EncodeAndDecodeAreInverse) {
  const struct { int y, mo, d, h, mi, s; double value; } cases[] = {
      {1899, 12, 30, 12, 0, 0, 0.5},
      {1899, 12, 29, 6, 0, 0, -1.25},  // before day 0 the time is subtracted
      {1, 1, 1, 0, 0, 0, -693593},
      {9999, 12, 31, 23, 59, 59, 2958465 + 86399.0 / 86400},
  };
  for (const auto& c : cases) {
    TDateTime value = 0;
    ASSERT_TRUE(TryEncodeDateTime(c.y, c.mo, c.d, c.h, c.mi, c.s, value));
    EXPECT_DOUBLE_EQ(value, c.value);
    int y, mo, d, h, mi, s;
    DecodeDateTime(value, y, mo, d, h, mi, s);
    EXPECT_EQ(std::vector<int>({y, mo, d, h, mi, s}), std::vector<int>({c.y, c.mo, c.d, c.h, c.mi, c.s}));
  }
  // Less than half a millisecond before midnight is the next day.
  EXPECT_EQ(FormatIsoDateTime(38547 + (86400 - 0.0001) / 86400), "2005-07-15 00:00:00");
}

TEST(DateTime, OutOfRangeValuesAreRefused) {
  const struct { const char* fault; int y, mo, d, h, mi, s; } cases[] = {
      {"year_10000", 10000, 1, 1, 0, 0, 0}, {"month_0", 2000, 0, 1, 0, 0, 0},
      {"month_257", 2000, 257, 1, 0, 0, 0}, {"day_32", 2000, 1, 32, 0, 0, 0},
      {"february_29_1900", 1900, 2, 29, 0, 0, 0}, {"day_negative", 2000, 1, -1, 0, 0, 0},
      {"hour_negative", 2000, 1, 1, -1, 0, 0},
  };
  for (const auto& c : cases) {
    TDateTime value = 123;
    EXPECT_FALSE(TryEncodeDateTime(c.y, c.mo, c.d, c.h, c.mi, c.s, value)) << c.fault;
    EXPECT_EQ(value, 123) << c.fault;
  }
  for (double outside : {std::nan(""), 1e10, 2958466.0, -693594.0})
    EXPECT_EQ(FormatIsoDateTime(outside), "0000-00-00 00:00:00") << outside;
}

}  // namespace
}  // namespace tessaly
