// Tag tables of the reader and the lookups over them and over stored records.
#include <algorithm>

#include "ExifReader.h"
#include "TextFields.h"

namespace tessaly {

namespace {

// Sub-image directories (TIFF tag 0x014A) are named by the main table too.
constexpr int kSubImageDirectory = 4;

TTagEntry Row(uint16_t tag, const char* name, const char* caption, const char* formatText,
              TagFormatter formatter, const char* decodeList) {
  TTagEntry row;
  row.tagId = tag;
  row.tagName = name;
  row.caption = caption;
  row.formatText = formatText;
  row.formatter = formatter;
  row.decodeList = decodeList;
  return row;
}

TTagEntry NumberRow(uint16_t tag, const char* name, const char* caption, const char* formatText,
                    NumberConversion conversion, const char* decodeList) {
  TTagEntry row = Row(tag, name, caption, formatText, nullptr, decodeList);
  row.numberConversion = conversion;
  return row;
}

// Rows leaving the caption empty get one made from the name.
TagTable WithCaptions(TagTable rows) {
  for (TTagEntry& row : rows)
    if (row.caption.empty()) row.caption = CaptionFromName(row.tagName);
  return rows;
}

char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }


// Index of the first entry with this name (ASCII case ignored), or -1.
int FirstNamed(const std::vector<TTagEntry>& entries, std::string_view name) {
  const auto found = std::ranges::find_if(
      entries, [name](const TTagEntry& e) { return SameNameIgnoringCase(e.tagName, name); });
  return found == entries.end() ? -1 : static_cast<int>(found - entries.begin());
}

}  // namespace

std::string_view Trimmed(std::string_view text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

void InitTagTables() {
  MainTagTable();
  GpsTagTable();
  UnknownTagEntry();
}

std::string CaptionFromName(std::string_view name) {
  if (name.empty()) return {};
  std::string caption(1, name.front());
  bool afterCapital = true;
  for (char c : name.substr(1)) {
    const bool capital = c >= 'A' && c <= 'Z';
    if (capital && !afterCapital) caption += ' ';
    caption += c;
    afterCapital = capital;
  }
  return caption;
}

// Built on first use; the function-local statics make the one-time set-up
// safe even when two threads ask for a table first.
const TagTable& MainTagTable() {
  static const TagTable rows = WithCaptions({
#define EXIF_TAG(tag, name, caption, formatText, formatter, decodeList) \
  Row(tag, name, caption, formatText, formatter, decodeList),
#define EXIF_NUMBER_TAG(tag, name, caption, formatText, conversion, decodeList) \
  NumberRow(tag, name, caption, formatText, conversion, decodeList),
#include "tables/main_tags.def"
#undef EXIF_TAG
#undef EXIF_NUMBER_TAG
  });
  return rows;
}

const TagTable& GpsTagTable() {
  static const TagTable rows = WithCaptions({
#define GPS_TAG(tag, name, formatter, decodeList) Row(tag, name, "", "", formatter, decodeList),
#include "tables/gps_tags.def"
#undef GPS_TAG
  });
  return rows;
}

const TTagEntry& UnknownTagEntry() {
  static const TTagEntry unknown = Row(0, "Unknown", "Unknown", "", nullptr, "");
  return unknown;
}

const TagTable& MarkerNameTable() {
  static const TagTable rows = {
#define JPEG_MARKER(code, caption) Row(code, "", caption, "", nullptr, ""),
#include "tables/marker_names.def"
#undef JPEG_MARKER
  };
  return rows;
}

TTagEntry LookupTag(uint16_t tag, int kind) {
  const TagTable* table = nullptr;
  if (kind == kMainDirectory || kind == kSubImageDirectory) table = &MainTagTable();
  if (kind == kGpsDirectory) table = &GpsTagTable();
  TTagEntry result = UnknownTagEntry();
  if (table)
    for (const TTagEntry& row : *table)
      if (row.tagId == tag) result = row;  // the last such row wins
  return result;
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) { return FoldCase(x) == FoldCase(y); });
}

int MainTableIndex(std::string_view name) { return FirstNamed(MainTagTable(), name); }

int VendorTagIndex(uint16_t tag, const TagTable& table) {
  const auto found = std::ranges::find(table, tag, &TTagEntry::tagId);
  return found == table.end() ? -1 : static_cast<int>(found - table.begin());
}

std::string VendorDecodeList(uint16_t tag, const TagTable& table) {
  const auto found = std::ranges::find(table.rbegin(), table.rend(), tag, &TTagEntry::tagId);
  return found == table.rend() ? std::string() : found->decodeList;
}

std::string DecodeLookup(std::string_view list, std::string_view value) {
  // Both the key and the list carry a separator on each side, so a value
  // matches a whole entry value only: 1 finds "1:Macro", never "21:Night".
  const std::string key = "," + std::string(Trimmed(value)) + ":";
  const std::string text = "," + std::string(list) + ",";
  const size_t at = text.find(key);
  if (at == std::string::npos) return {};
  const size_t start = at + key.size();
  return text.substr(start, text.find(',', start) - start);
}

int TImageInfo::TagIndex(std::string_view name) const { return FirstNamed(tags, name); }

std::string TImageInfo::TagValueText(std::string_view name) const {
  const int index = TagIndex(name);
  return index < 0 ? std::string() : tags[index].valueText;
}

}  // namespace tessaly
