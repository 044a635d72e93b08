// The vendor tag tables, their formatters and the formatters' text helpers.
#include <optional>

#include "MakerNotes.h"
#include "TextFields.h"

namespace tessaly {

namespace {

TTagEntry Row(uint16_t tag, const char* name, const char* caption,
              const char* decodeList, TagFormatter formatter) {
  TTagEntry row;
  row.tagId = tag;
  row.tagName = name;
  row.caption = caption;
  row.decodeList = decodeList;
  row.formatter = formatter;
  return row;
}

#define MAKERNOTE_TAG(tag, name, caption, decodeList, formatter) \
  Row(tag, name, caption, decodeList, formatter),

// One line of the Canon settings formatters.
struct SettingLine {
  std::string_view name;
  int field;
  bool decoded;
  std::string_view decodeList;
};

#define CANON_DECODED(name, field, decodeList) {name, field, true, decodeList},
#define CANON_UNCHANGED(name, field) {name, field, false, ""},
constexpr SettingLine kCanonSettings1[] = {
#include "tables/CanonSettings1.def"
};
constexpr SettingLine kCanonSettings2[] = {
#include "tables/CanonSettings2.def"
};
#undef CANON_DECODED
#undef CANON_UNCHANGED

#define CANON_CUSTOM_FUNCTION(number, name, decodeList) {number, name, decodeList},
constexpr CanonCustomFunction kCustomFunctions[] = {
#include "tables/CanonCustomFunctions.def"
};
#undef CANON_CUSTOM_FUNCTION
static_assert(std::size(kCustomFunctions) == kCanonCustomFunctionCount);

const std::string kLineBreak = "\r\n";

// The value text, then "name = value" per line, lines separated by CR LF.
template <size_t N>
std::string SettingsText(const std::string& text, const SettingLine (&lines)[N]) {
  std::string result = text + kLineBreak;
  for (size_t i = 0; i < N; ++i) {
    const SettingLine& line = lines[i];
    if (i > 0) result += kLineBreak;
    result += line.name;
    result += " = ";
    result += line.decoded ? DecodeField(text, line.field - 1, line.decodeList)
                           : GetField(text, ",", line.field);
  }
  return result;
}

}  // namespace

const TagTable& NikonType1Table() {
  static const TagTable table = {
#include "tables/NikonType1.def"
  };
  return table;
}

const TagTable& NikonType3Table() {
  static const TagTable table = {
#include "tables/NikonType3.def"
  };
  return table;
}

const TagTable& OlympusTable() {
  static const TagTable table = {
#include "tables/Olympus.def"
  };
  return table;
}

const TagTable& CasioTable() {
  static const TagTable table = {
#include "tables/Casio.def"
  };
  return table;
}

const TagTable& FujifilmTable() {
  static const TagTable table = {
#include "tables/Fujifilm.def"
  };
  return table;
}

const TagTable& CanonTable() {
  static const TagTable table = {
#include "tables/Canon.def"
  };
  return table;
}

const TagTable& EpsonTable() {
  static const TagTable table = {
#include "tables/Epson.def"
  };
  return table;
}

const TagTable& SanyoTable() {
  static const TagTable table = {
#include "tables/Sanyo.def"
  };
  return table;
}

const TagTable& MinoltaTable() {
  static const TagTable table = {
#include "tables/Minolta.def"
  };
  return table;
}

#undef MAKERNOTE_TAG

const CanonCustomFunction* CanonCustomFunctions() { return kCustomFunctions; }

// ---------------------------------------------------------------------------
// Text helpers

std::string BeforeFirst(std::string_view text, std::string_view separator) {
  return std::string(text.substr(0, text.find(separator)));
}

std::string AfterFirst(std::string_view text, std::string_view separator) {
  const size_t at = text.find(separator);
  if (at == std::string_view::npos) return {};
  return std::string(text.substr(at + separator.size()));
}

std::string GetField(std::string_view text, std::string_view separator, int n) {
  std::string rest(text);
  for (int i = 1; i < n && !rest.empty(); ++i) rest = AfterFirst(rest, separator);
  return BeforeFirst(rest, separator);
}

int CountOf(std::string_view text, std::string_view separator) {
  if (separator.empty()) return 0;
  int count = 0;
  for (size_t at = text.find(separator); at != std::string_view::npos;
       at = text.find(separator, at + separator.size()))
    ++count;
  return count;
}

// DecodeLookup never throws, so a field always yields its meaning or "".
std::string DecodeField(std::string_view text, int index, std::string_view decodeList) {
  return DecodeLookup(decodeList, GetField(text, ",", index + 1));
}

std::string CustomFunctionLine(std::string_view name, int value, std::string_view decodeList) {
  return std::string(name) + " = " + DecodeLookup(decodeList, std::to_string(value));
}

// ---------------------------------------------------------------------------
// Formatters

std::string ColorModeText(const std::string& text) {
  // The walk puts an ASCII value between double quotes; skip the first one.
  const std::string mode = text.size() > 1 ? text.substr(1, 5) : std::string();
  if (mode == "MODE1") return "Mode1 (sRGB)";
  if (mode == "MODE2") return "Mode 2 (Adobe RGB)";
  if (mode == "MODE3") return "Mode 3 (sRGB): higher saturation";
  return mode;
}

std::string LensText(const std::string& text) {
  // Four rationals "a/b, c/d, e/f, g/h". Each of the first three numbers is
  // the fraction before the next ", "; the fourth is whatever follows the
  // last one, so a short list still ends with its last fraction.
  std::string_view rest = text;
  double numbers[4] = {};
  for (int i = 0; i < 3; ++i) numbers[i] = TakeLeadingFraction(rest);
  numbers[3] = FractionValue(rest);
  return FormatNumber("%0.1f-", numbers[0]) + FormatNumber("%0.1f(mm)  ", numbers[1]) +
         FormatNumber("F%0.1f-", numbers[2]) + FormatNumber("F%0.1f", numbers[3]);
}

std::string CanonSettings1Text(const std::string& text) {
  return SettingsText(text, kCanonSettings1);
}

std::string CanonSettings2Text(const std::string& text) {
  return SettingsText(text, kCanonSettings2);
}

std::string CanonCustomFunctionsText(const std::string& text) {
  std::string result = text;
  // One field per comma: the field after the last comma is not examined.
  // The fields are walked in one pass rather than fetched one by one with
  // GetField, which starts again from the front each time: an ASCII or
  // UNDEFINED value of this tag may hold tens of thousands of commas.
  std::string_view rest(text);
  for (size_t comma = rest.find(','); comma != std::string_view::npos; comma = rest.find(',')) {
    const std::optional<int32_t> field = ParseDecimal(rest.substr(0, comma));
    rest.remove_prefix(comma + 1);
    if (!field) continue;
    const int32_t function = *field / 256;  // truncates toward zero
    const int32_t value = *field - 256 * function;
    if (function < 1 || function > kCanonCustomFunctionCount) continue;
    const CanonCustomFunction& f = kCustomFunctions[function - 1];
    result += kLineBreak + CustomFunctionLine(f.name, value, f.decodeList);
  }
  return result;
}

}  // namespace tessaly
