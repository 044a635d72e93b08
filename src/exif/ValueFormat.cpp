// Conversions of tag values to numbers and display texts, the printf-style
// patterns they use, and the per-tag formatters of the tag tables.
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>

#include "TextFields.h"
#include "ExifReader.h"

namespace tessaly {

namespace {

constexpr int kMaxShownComponents = 8;
constexpr size_t kCleanTextLength = 50;
constexpr size_t kHexTextBytes = 16;
constexpr const char* kListSeparator = ", ";
constexpr const char* kFloatPlaceholder = "-9999.99";
// Diagonal of the 36 x 24 mm frame of 35 mm film: the square root of 1872.
constexpr double kFilmDiagonal = 43.266615305567875;

char gDecimalSeparator = '.';

// One "%[W][.P]c" conversion of a pattern.
struct Conversion {
  int width = 0;
  int precision = -1;  // none given
  char type = 0;
};
// printf's number of decimals when a pattern gives none.
constexpr int kDefaultDecimals = 6;

// Patterns are program data, but keep their numbers small all the same.
constexpr int kMaxPatternNumber = 100;

[[noreturn]] void PatternMismatch(std::string_view pattern) {
  throw std::invalid_argument("Pattern \"" + std::string(pattern) + "\" does not fit its argument");
}

int PatternNumber(std::string_view pattern, size_t& i) {
  int number = 0;
  while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9') {
    number = number * 10 + (pattern[i++] - '0');
    if (number > kMaxPatternNumber) PatternMismatch(pattern);
  }
  return number;
}

// Copies pattern, replacing its one conversion by render(conversion),
// right-aligned in the conversion's width. A second conversion, or one the
// argument cannot take (render throws), does not fit.
template <class Render>
std::string ApplyPattern(std::string_view pattern, Render render) {
  std::string result;
  bool argumentUsed = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') {
      result += pattern[i];
      continue;
    }
    Conversion conversion;
    conversion.width = PatternNumber(pattern, ++i);
    if (i < pattern.size() && pattern[i] == '.') conversion.precision = PatternNumber(pattern, ++i);
    if (i >= pattern.size() || argumentUsed) PatternMismatch(pattern);
    conversion.type = pattern[i];
    argumentUsed = true;
    const std::string text = render(conversion);
    if (text.size() < static_cast<size_t>(conversion.width))
      result.append(conversion.width - text.size(), ' ');
    result += text;
  }
  return result;
}

// Fixed-point text with the given number of decimals. The value is first
// written out exactly (every double has a finite decimal expansion of at most
// 1074 fraction digits), then rounded at the last shown digit with halves away
// from zero; printf would round exact binary ties such as 0.125 to even.
std::string FixedText(double value, int decimals) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  constexpr int kExactDigits = 1100;
  std::array<char, 1500> exact;
  const auto written = std::to_chars(exact.data(), exact.data() + exact.size(), std::fabs(value),
                                     std::chars_format::fixed, kExactDigits);
  const std::string_view expansion(exact.data(), written.ptr - exact.data());
  const size_t point = expansion.find('.');
  std::string digits(expansion.substr(0, point));
  size_t integerDigits = digits.size();
  digits += expansion.substr(point + 1, decimals);
  if (expansion[point + 1 + decimals] >= '5') {
    size_t i = digits.size();
    while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
    if (i == 0) {
      digits.insert(digits.begin(), '1');
      ++integerDigits;
    } else {
      ++digits[i - 1];
    }
  }
  // A value that rounds to zero shows no sign ("-0.0" reads as a fault).
  const bool negative = value < 0 && digits.find_first_not_of('0') != std::string::npos;
  std::string text = negative ? "-" : "";
  text.append(digits, 0, integerDigits);
  if (decimals > 0) {
    text += gDecimalSeparator;
    text.append(digits, integerDigits);
  }
  return text;
}

int32_t ParseIntegerField(std::string_view text) {
  if (const auto value = ParseDecimal(text)) return *value;
  throw ReadError("'" + std::string(text) + "' is not a valid integer value");
}

struct Triple {
  double first, second, third;
};

Triple ThreeFractions(std::string_view text) {
  Triple t;
  t.first = TakeLeadingFraction(text);
  t.second = TakeLeadingFraction(text);
  t.third = FractionValue(text);
  return t;
}

}  // namespace

double TakeLeadingFraction(std::string_view& rest) {
  constexpr size_t kRestLength = 64;
  const size_t comma = rest.find(kListSeparator);
  if (comma == std::string_view::npos) {
    rest = rest.substr(0, kRestLength);
    return 0;
  }
  const double number = FractionValue(rest.substr(0, comma));
  rest = rest.substr(comma + 1, kRestLength);
  return number;
}


int FormatSize(int format) {
  // TIFF 6.0 section 2, field types 1 to 12.
  static constexpr std::array<int, 13> kSizes = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  return format >= 0 && format < static_cast<int>(kSizes.size()) ? kSizes[format] : 0;
}

void SetDecimalSeparator(char separator) { gDecimalSeparator = separator; }
char DecimalSeparator() { return gDecimalSeparator; }

std::string FormatNumber(std::string_view pattern, double value) {
  return ApplyPattern(pattern, [&](const Conversion& c) {
    if (c.type != 'f') PatternMismatch(pattern);
    return FixedText(value, c.precision < 0 ? kDefaultDecimals : c.precision);
  });
}

std::string FormatInteger(std::string_view pattern, int64_t value) {
  return ApplyPattern(pattern, [&](const Conversion& c) {
    if (c.type != 'd' || c.precision >= 0) PatternMismatch(pattern);
    return std::to_string(value);
  });
}

std::string FormatText(std::string_view pattern, std::string_view text) {
  return ApplyPattern(pattern, [&](const Conversion& c) {
    if (c.type != 's' || c.precision >= 0) PatternMismatch(pattern);
    return std::string(text);
  });
}

int64_t RoundHalfEven(double value) {
  // Out of range: the nearest representable integer; not a number: 0.
  if (std::isnan(value)) return 0;
  if (value >= 0x1p63) return std::numeric_limits<int64_t>::max();
  if (value < -0x1p63) return std::numeric_limits<int64_t>::min();
  double rounded = std::round(value);  // halves away from zero
  if (std::fabs(value - std::trunc(value)) == 0.5) rounded = 2 * std::round(value / 2);
  return static_cast<int64_t>(rounded);
}

double FractionValue(std::string_view text) {
  const size_t slash = text.find('/');
  if (slash == std::string_view::npos) return 0;
  const auto numerator = ParseDecimal(text.substr(0, slash));
  const auto denominator = ParseDecimal(text.substr(slash + 1));
  if (!numerator || !denominator || *denominator == 0) return 0;
  return static_cast<double>(*numerator) / *denominator;
}

std::string AsciiText(std::string_view raw) {
  // TIFF 6.0 section 2: an ASCII value ends with a zero byte, but cameras pad
  // it with further zeros, and some leave the zero out. Blanks are kept as
  // written: the maker-note dispatch reads the model text as it stands.
  return std::string(raw.substr(0, raw.find('\0')));
}

std::string CleanText(std::string_view text) {
  std::string clean(text.substr(0, kCleanTextLength));
  for (char& c : clean)
    if (static_cast<unsigned char>(c) < ' ') c = '.';
  return clean;
}

std::string HexText(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned char byte : bytes.substr(0, kHexTextBytes)) {
    text += ' ';
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  if (bytes.size() > kHexTextBytes) text += "...";
  return text;
}

// --- Number conversions ----------------------------------------------------

double ApexToFNumber(double apex) {
  // An APEX aperture value Av stands for the f-number 2^(Av/2) (EXIF 2.3 annex C).
  return std::exp2(apex / 2);
}

// --- Formatters -----------------------------------------------------------

std::string ComponentsText(const std::string& text) {
  // EXIF 2.3 section 4.6.5, ComponentsConfiguration: one code per channel.
  static constexpr std::array<const char*, 7> kChannels = {"", "Y", "Cb", "Cr", "R", "G", "B"};
  std::string result;
  for (size_t i = 1; i <= 4 && i < text.size(); ++i) {
    const unsigned char code = text[i];
    if (code < kChannels.size()) result += kChannels[code];
  }
  return result;
}

std::string ShutterSpeedText(const std::string& text) {
  // An APEX time value v stands for 2^-v seconds (EXIF 2.3 annex C).
  // The speed 1/t must fit a 64-bit integer, and t a double.
  const double seconds = 1 / std::exp(FractionValue(text) * std::log(2.0));
  const double speed = 1 / seconds;
  if (!std::isfinite(seconds) || !(speed < 0x1p63))
    throw std::range_error("Shutter speed value " + text + " is out of range");
  std::string part;
  if (seconds <= 0.5) part = FormatInteger(" (1/%d)", RoundHalfEven(speed));
  return FormatNumber("%4.4f sec", seconds) + part;
}

std::string FlashText(const std::string& text) {
  // EXIF 2.3 section 4.6.5, Flash: bit 0 fired, bits 1-2 return light,
  // bits 3-4 mode, bit 5 function present, bit 6 red-eye reduction.
  const int32_t v = ParseIntegerField(text);
  std::string result = (v & 1) ? "On" : "Off";
  switch (v & 6) {
    case 2: result += ", UNKNOWN"; break;
    case 4: result += ", no strobe return"; break;
    case 6: result += ", strobe return"; break;
  }
  switch (v & 24) {
    case 8: result += ", forced"; break;
    case 16: result += ", surpressed"; break;
    case 24: result += ", auto mode"; break;
  }
  if (v & 32) result += ", no flash function";
  if (v & 64) result += ", red-eye reduction";
  return result;
}

std::string UserCommentText(const std::string& text) {
  // The first 8 bytes name the character code (EXIF 2.3 section 4.6.5).
  return text.size() > 8 ? text.substr(8) : std::string();
}

std::string ByteCharsText(const std::string& text) {
  // The value is little-endian UCS-2 text shown as a list of bytes
  // ("84, 0, 101, 0"): the odd fields are the low bytes. The last field is
  // not read: it is a high byte, or a low byte without its high byte.
  std::string result;
  size_t start = 0;
  size_t comma = text.find(',');
  for (int field = 1; comma != std::string::npos; ++field) {
    if (field % 2 == 1) {
      const int32_t code = ParseIntegerField(std::string_view(text).substr(start, comma - start));
      if (code & 0xFF) result += static_cast<char>(code & 0xFF);
    }
    start = comma + 1;
    comma = text.find(',', start);
  }
  return result;
}

std::string GpsDegreesText(const std::string& text) {
  Triple t = ThreeFractions(text);
  double& minutes = t.second;
  double& seconds = t.third;
  if (seconds == 0) {  // fractional minutes carry the seconds
    seconds = (minutes - std::trunc(minutes)) * 100 * 0.6;
    minutes = std::trunc(minutes);
  }
  return FormatNumber("%0.0f Degrees ", t.first) + FormatNumber("%0.0f Minutes ", minutes) +
         FormatNumber("%0.0f Seconds", seconds);
}

std::string GpsTimeText(const std::string& text) {
  const Triple t = ThreeFractions(text);
  return FormatNumber("%0.0f:", t.first) + FormatNumber("%0.0f:", t.second) +
         FormatNumber("%0.0f", t.third);
}

// --- Conversions by byte order ----------------------------------------------

namespace {

// The integer of a value by its field type (TIFF 6.0 section 2): BYTE, SHORT
// and LONG are unsigned, SBYTE, SSHORT and SLONG two's complement at their
// width, so that a LONG above 2^31 stays positive and an SSHORT of 0xFFFF is
// -1. A value of several components is one number of its four low bytes.
int64_t IntegerValue(const TImageInfo& info, std::string_view bytes, int format) {
  const auto raw = static_cast<uint32_t>(info.RawToInt(bytes));
  switch (format) {
    case 6: return bytes.size() == 1 ? static_cast<int8_t>(raw) : static_cast<int32_t>(raw);
    case 8: return bytes.size() == 2 ? static_cast<int16_t>(raw) : static_cast<int32_t>(raw);
    case 9: return static_cast<int32_t>(raw);
    default: return raw;
  }
}

struct Rational {
  int64_t numerator, denominator;
};

// The first fraction of a RATIONAL (two LONGs) or SRATIONAL (two SLONGs)
// value; missing bytes count as 0.
Rational RationalValue(const TImageInfo& info, std::string_view bytes, int format) {
  const int part = format == 5 ? 4 : 9;
  return {IntegerValue(info, bytes.substr(0, 4), part),
          IntegerValue(info, bytes.substr(std::min<size_t>(4, bytes.size()), 4), part)};
}

}  // namespace

int32_t TImageInfo::RawToInt(std::string_view bytes) const {
  uint64_t accumulator = 0;
  auto add = [&](unsigned char byte) { accumulator = accumulator * 256 + byte; };
  if (bigEndian)
    for (unsigned char byte : bytes) add(byte);
  else
    for (auto it = bytes.rbegin(); it != bytes.rend(); ++it) add(static_cast<unsigned char>(*it));
  return static_cast<int32_t>(static_cast<uint32_t>(accumulator));
}

double TImageInfo::NumericValue(std::string_view bytes, int format) const {
  // The IEEE 754 bits of a FLOAT or DOUBLE, in the buffer's byte order.
  auto ieeeBits = [&](size_t width) {
    uint64_t bits = 0;
    for (size_t i = 0; i < width; ++i)
      bits = bits * 256 + static_cast<unsigned char>(bytes[bigEndian ? i : width - 1 - i]);
    return bits;
  };
  double value = 0;
  switch (format) {
    case 1: case 3: case 4: case 6: case 8: case 9:
      return IntegerValue(*this, bytes, format);
    case 5: case 10: {
      const Rational r = RationalValue(*this, bytes, format);
      return r.denominator == 0 ? 0 : static_cast<double>(r.numerator) / r.denominator;
    }
    case 11:
      if (bytes.size() >= 4) value = std::bit_cast<float>(static_cast<uint32_t>(ieeeBits(4)));
      break;
    case 12:
      if (bytes.size() >= 8) value = std::bit_cast<double>(ieeeBits(8));
      break;
  }
  return std::isfinite(value) ? value : 0;
}

// A decode list with a RATIONAL or SRATIONAL value is looked up component by
// component with the component's own "n/d" text; a meaning found replaces
// the fraction, and a fraction the list does not hold stays shown.
std::string TImageInfo::ValueText(std::string_view bytes, int format,
                                  std::string_view decodeList, std::string_view pattern,
                                  NumberConversion convert) const {
  const size_t size = FormatSize(format);
  if (size == 0) return "0";
  const size_t count = std::min<size_t>(bytes.size() / size, kMaxShownComponents);
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    if (!text.empty()) text += kListSeparator;
    const std::string_view component = bytes.substr(i * size, size);
    switch (format) {
      case 1: case 3: case 4: case 6: case 8: case 9: {
        const std::string number = std::to_string(IntegerValue(*this, component, format));
        text += decodeList.empty() ? number : DecodeLookup(decodeList, number);
        break;
      }
      case 5: case 10: {
        const Rational r = RationalValue(*this, component, format);
        const std::string fraction = std::to_string(r.numerator) + "/" + std::to_string(r.denominator);
        const std::string meaning = DecodeLookup(decodeList, fraction);
        text += meaning.empty() ? fraction : meaning;
        break;
      }
      case 11: case 12:
        text += kFloatPlaceholder;
        break;
      default:  // ASCII and UNDEFINED values: the walks build their texts
        text += '?';
    }
  }
  if (pattern.empty()) return text;
  if (pattern.find("%s") != std::string_view::npos) return FormatText(pattern, text);
  const double number = NumericValue(bytes, format);
  return FormatNumber(pattern, convert ? convert(number) : number);
}

// --- Tag values by name -------------------------------------------------------

double TImageInfo::TagNumber(std::string_view name) const {
  const int index = TagIndex(name);
  if (index < 0 || tags[index].tagId == 0) return 0;
  return NumericValue(tags[index].rawBytes, tags[index].valueFormat);
}

int64_t TImageInfo::TagRounded(std::string_view name) const { return RoundHalfEven(TagNumber(name)); }

void TImageInfo::Derive35mmFocalLength() {
  if (TagIndex("FocalLengthin35mmFilm") >= 0) return;  // the camera wrote it
  int64_t unit = TagRounded("FocalPlaneResolutionUnit");
  if (unit <= 0) unit = TagRounded("ResolutionUnit");
  // Millimetres per resolution unit: 2 inch, 3 centimetre (TIFF 6.0 section 8).
  const double millimetres = unit == 2 ? 25.4 : unit == 3 ? 10 : 0;
  const double focalLength = TagNumber("FocalLength");
  if (millimetres == 0 || focalLength == 0) return;
  // The sensor's size from the picture size and the focal-plane resolution.
  double width = 0, height = 0;
  if (const int64_t xr = TagRounded("FocalPlaneXResolution"); xr > 0)
    width = imageWidth * millimetres / static_cast<double>(xr);
  if (const int64_t yr = TagRounded("FocalPlaneYResolution"); yr > 0)
    height = imageHeight * millimetres / static_cast<double>(yr);
  if (width * height <= 0) return;
  const double equivalent = focalLength * kFilmDiagonal / std::sqrt(width * width + height * height);

  TTagEntry entry = MainTagTable()[MainTableIndex("FocalLengthIn35mmFilm")];
  entry.valueFormat = 10;
  entry.valueText = FormatNumber("%5.2f", equivalent);
  entry.rawBytes.clear();
  entry.formatText = "%s mm";
  AddRecord(entry);
  tagText += "\r\n" + entry.caption + " = " + entry.valueText;
}

}  // namespace tessaly
