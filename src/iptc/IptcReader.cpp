#include "IptcReader.h"

#include <algorithm>
#include <utility>

namespace tessaly {

namespace {

constexpr int kGrowth = 25;             // record slots added at a time
constexpr uint8_t kTagMarker = 0x1C;    // starts every DataSet (IPTC-IIM 4.1)
constexpr std::string_view kPhotoshopSignature = "Photoshop 3.0";
constexpr std::string_view kSkipName = "SKIP";

TagTable BuildIptcTable() {
  TagTable table;
#define IPTC_DATASET(RECORD, DATASET, NAME, CAPTION, SIZE) \
  {                                                       \
    TTagEntry row;                                        \
    row.iptcRecord = RECORD;                              \
    row.tagId = DATASET;                                  \
    row.tagName = NAME;                                   \
    row.caption = CAPTION;                                \
    row.dataSize = SIZE;                                  \
    table.push_back(std::move(row));                      \
  }
#include "tables/iptc_datasets.def"
  return table;
}

// Supplemental category and Keywords, repeatable in IPTC-IIM 4.1.
bool IsRepeatable(uint16_t dataset) { return dataset == 20 || dataset == 25; }

// Byte at 1-based position pos of block, or -1 outside it.
int ByteAt(std::string_view block, int64_t pos) {
  if (pos < 1 || pos > static_cast<int64_t>(block.size())) return -1;
  return static_cast<uint8_t>(block[static_cast<size_t>(pos - 1)]);
}

}  // namespace

const TagTable& IptcTable() {
  static const TagTable table = BuildIptcTable();
  return table;
}

TIPTCdata::TIPTCdata(TimgData* owner)
    : owner(owner),
      buildCode_(owner ? owner->buildCode : kBuildAll),
      extensions_(owner ? owner->extensions : ReaderExtensions{}) {}

void TIPTCdata::SetCount(int count) {
  if (count == 0 || (count > 0 && count < tagCapacity())) tagCount_ = count;
}

TTagEntry TIPTCdata::GetTag(int index) const {
  if (index < 0 || index >= tagCount_) return {};
  return tags_[static_cast<size_t>(index)];
}

void TIPTCdata::Clear() {
  SetCount(0);
  std::fill(tags_.begin(), tags_.end(), TTagEntry{});
}

int TIPTCdata::AddTag(const TTagEntry& record) {
  if (record.tagId != 0) {
    if (tagCount_ >= tagCapacity() - 1) tags_.resize(tags_.size() + kGrowth);
    tags_[static_cast<size_t>(tagCount_)] = record;
    ++tagCount_;
  }
  return tagCount_ - 1;
}

int TIPTCdata::FindDefinition(std::string_view name) {
  const TagTable& table = IptcTable();
  for (size_t row = 0; row < table.size(); ++row)
    if (SameNameIgnoringCase(table[row].tagName, name)) return static_cast<int>(row);
  return -1;
}

void TIPTCdata::ParseBlock(std::string_view bytes) {
  Clear();
  const std::string block(bytes);
  const int64_t length = static_cast<int64_t>(block.size());

  const size_t signature = block.find(kPhotoshopSignature);
  int64_t pos = (signature == std::string::npos ? 0 : static_cast<int64_t>(signature) + 1) +
                static_cast<int64_t>(kPhotoshopSignature.size());

  // The first dataset: a tag marker followed by record 2 or 8.
  for (; pos <= length; ++pos) {
    const int record = ByteAt(block, pos + 1);
    if (ByteAt(block, pos) == kTagMarker && (record == 2 || record == 8)) break;
  }
  if (pos > length) return;

  // From here each header is read where the previous data ends, whether or
  // not a marker stands there; only headers that match a row are stored.
  pos += 1;
  while (pos < length - 2) {
    const TTagEntry record = ReadRecord(block, pos);
    if (IsRepeatable(record.tagId))
      AppendValue(record.tagName, record.valueText);
    else
      AddTag(record);
  }
}

TTagEntry TIPTCdata::ReadRecord(std::string_view block, int64_t& pos) {
  const int record = ByteAt(block, pos);
  const int dataset = ByteAt(block, pos + 1);
  const int hi = ByteAt(block, pos + 2), lo = ByteAt(block, pos + 3);
  // The length is always taken as a plain 16-bit count; the extended form
  // (an IPTC-IIM extended DataSet, high bit set) is not interpreted.
  const int64_t dataLength = hi < 0 || lo < 0 ? 0 : hi * 256 + lo;
  pos += 4;

  TTagEntry result;
  if (record == 2 || record == 8) {
    const TagTable& table = IptcTable();
    const auto row = std::find_if(table.begin(), table.end(), [&](const TTagEntry& r) {
      return r.tagId == dataset && r.iptcRecord == record;
    });
    if (row != table.end() && row->tagName != kSkipName) {
      result = *row;
      const int64_t start = std::clamp<int64_t>(pos - 1, 0, static_cast<int64_t>(block.size()));
      result.valueText = std::string(block.substr(static_cast<size_t>(start),
                                                  static_cast<size_t>(dataLength)));
    }
  }
  pos += dataLength + 1;
  return result;
}

int TIPTCdata::FindTag(std::string_view name) const {
  for (int i = 0; i < tagCount_; ++i)
    if (SameNameIgnoringCase(tags_[static_cast<size_t>(i)].tagName, name)) return i;
  return -1;
}

void TIPTCdata::DeleteTag(std::string_view name) {
  const int index = FindTag(name);
  // A FindTag override may answer anything; only a stored index is removed.
  if (index < 0 || index >= tagCount_) return;
  std::move(tags_.begin() + index + 1, tags_.begin() + tagCount_, tags_.begin() + index);
  --tagCount_;
  tags_[static_cast<size_t>(tagCount_)] = TTagEntry{};
}

int TIPTCdata::SetValue(std::string_view name, std::string_view value) {
  const int index = FindTag(name);
  if (index >= 0) {
    if (!value.empty() && index < tagCount_) tags_[static_cast<size_t>(index)].valueText = value;
    return index;
  }
  const int row = FindDefinition(name);
  if (row < 0) return -1;
  TTagEntry record = IptcTable()[static_cast<size_t>(row)];
  record.valueText = value;
  return AddTag(record);
}

int TIPTCdata::AppendValue(std::string_view name, std::string_view value) {
  const int index = FindTag(name);
  if (index < 0) return SetValue(name, value);
  if (!value.empty() && index < tagCount_) {
    std::string& text = tags_[static_cast<size_t>(index)].valueText;
    text += ',';
    text += value;
  }
  return index;
}

int TIPTCdata::WriteValue(std::string_view name, std::string_view value) {
  const int row = FindDefinition(name);
  if (row < 0) return -1;
  const TTagEntry& definition = IptcTable()[static_cast<size_t>(row)];
  if (definition.iptcRecord == 2 && IsRepeatable(definition.tagId))
    return SetValue(name, value);
  return AppendValue(name, value);
}

std::string TIPTCdata::GetValue(std::string_view name, std::string_view defaultValue) const {
  const int index = FindTag(name);
  if (index < 0 || index >= tagCount_) return std::string(defaultValue);
  return tags_[static_cast<size_t>(index)].valueText;
}

bool TIPTCdata::ReadFile(const std::string& fileName) {
  Clear();
  TimgData reader(buildCode_, extensions_);
  reader.ReadPicture(fileName);  // its result is not needed: the segment decides
  if (reader.iptcSegment) ParseBlock(reader.iptcSegment->bytes);
  return HasData();
}

std::shared_ptr<TIPTCdata> CreateIptcHook(TimgData& owner) {
  return std::make_shared<TIPTCdata>(&owner);
}

}  // namespace tessaly
