// Calendar conversions of the reader's date-time scale (days since
// 30 December 1899) and the EXIF date-time text "YYYY:MM:DD HH:MM:SS".
#include <chrono>
#include <cmath>
#include <cstdio>

#include "TextFields.h"
#include "ExifReader.h"

namespace tessaly {

namespace {

namespace chr = std::chrono;

constexpr int kSecondsPerDay = 86400;
constexpr int64_t kMillisecondsPerDay = int64_t{kSecondsPerDay} * 1000;
// Day 0 of the scale.
constexpr chr::sys_days kEpoch = chr::sys_days(chr::year(1899) / 12 / 30);
constexpr chr::sys_days kFirstDay = chr::sys_days(chr::year(1) / 1 / 1);
constexpr chr::sys_days kLastDay = chr::sys_days(chr::year(9999) / 12 / 31);

// Character positions (1-based) and widths of the fields of an EXIF
// date-time text (EXIF 2.3 section 4.6.4, DateTime).
struct Field {
  size_t position, width;
};
constexpr Field kYear{1, 4}, kMonth{6, 2}, kDay{9, 2};
constexpr Field kHour{12, 2}, kMinute{15, 2}, kSecond{18, 2};
constexpr size_t kExifDateTimeLength = 19;

std::optional<int32_t> ReadField(std::string_view text, Field field) {
  return ParseDecimal(text.substr(field.position - 1, field.width));
}

}  // namespace

// Days before day 0 are negative and carry the time of day as a positive
// fraction subtracted from them: -1.25 is 29 December 1899 06:00.
bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                       TDateTime& result) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 ||
      hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
    return false;
  const chr::year_month_day date{chr::year(year), chr::month(month), chr::day(day)};
  if (!date.ok()) return false;  // a day the month does not have
  const double days = (chr::sys_days(date) - kEpoch).count();
  const double time = (hour * 3600.0 + minute * 60.0 + second) / kSecondsPerDay;
  result = days >= 0 ? days + time : days - time;
  return true;
}

// A value outside the years 1 to 9999, or not a number, decodes to all zeros.
void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute,
                    int& second) {
  year = month = day = hour = minute = second = 0;
  if (!std::isfinite(value)) return;
  const double whole = std::trunc(value);
  if (whole < (kFirstDay - kEpoch).count() || whole > (kLastDay - kEpoch).count()) return;
  auto date = kEpoch + chr::days(static_cast<int64_t>(whole));
  int64_t milliseconds = std::llround(std::fabs(value - whole) * kMillisecondsPerDay);
  if (milliseconds >= kMillisecondsPerDay) {  // rounds up to the next midnight
    date += chr::days(value < 0 ? -1 : 1);
    milliseconds = 0;
  }
  if (date < kFirstDay || date > kLastDay) return;
  const chr::year_month_day ymd(date);
  year = static_cast<int>(ymd.year());
  month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  const int64_t seconds = milliseconds / 1000;
  hour = static_cast<int>(seconds / 3600);
  minute = static_cast<int>(seconds / 60 % 60);
  second = static_cast<int>(seconds % 60);
}

TDateTime ParseExifDateTime(std::string_view text) {
  // Only the digit fields are read; the separators may be anything. A text
  // too short to hold every field is no date.
  if (text.size() < kExifDateTimeLength) return 0;
  const auto day = ReadField(text, kDay), month = ReadField(text, kMonth),
             year = ReadField(text, kYear), second = ReadField(text, kSecond),
             minute = ReadField(text, kMinute), hour = ReadField(text, kHour);
  if (!day || !month || !year || !second || !minute || !hour) return 0;
  TDateTime result = 0;
  if (!TryEncodeDateTime(*year, *month, *day, *hour, *minute, *second, result)) return 0;
  return result;
}

std::string FormatIsoDateTime(TDateTime value) {
  int year, month, day, hour, minute, second;
  DecodeDateTime(value, year, month, day, hour, minute, second);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour,
                minute, second);
  return text;
}

}  // namespace tessaly
