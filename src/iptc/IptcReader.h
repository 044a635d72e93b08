// IptcReader: IPTC-IIM datasets of a Photoshop resource block.
//
// A JPEG carries IPTC data in an APP13 segment holding a "Photoshop 3.0"
// image-resource block. TIPTCdata finds the IPTC-IIM datasets in such a block
// and keeps one named record (a TTagEntry) per known dataset; the repeatable
// datasets (Supplemental category 2:20 and Keywords 2:25) are joined into one
// record, their values separated by ",". It also offers lookup by name,
// reading a value with a default, and setting, appending and deleting values.
// Editing changes only the list; nothing is written back into a file.
//
// Names are the tagName values of IptcTable() ("Keywords", "City", ...), not
// captions. Values are byte strings exactly as the block holds them.
//
// The block is untrusted: every read is bounds-checked, and a bad block
// simply yields fewer records. No operation here throws.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ExifReader.h"

namespace tessaly {

// The 32 datasets the reader names (rows in tables/iptc_datasets.def). Only
// iptcRecord, tagId, tagName, caption and dataSize (the maximum data length)
// are set. Row 0, the record version 2:0, is named "SKIP" and never stored.
const TagTable& IptcTable();

class TIPTCdata {
 public:
  // The owner is the reader that created this object. Its build code and
  // extensions are copied here for ReadFile, which never touches the owner
  // itself, so the object stays usable after the owner is gone.
  explicit TIPTCdata(TimgData* owner);
  virtual ~TIPTCdata() = default;
  TIPTCdata(const TIPTCdata&) = delete;
  TIPTCdata& operator=(const TIPTCdata&) = delete;

  TimgData* const owner;  // not owned, never dereferenced here

  // Records in use.
  int Count() const { return tagCount_; }
  // Sets the number of records in use to a value from 0 to tagCapacity() - 1;
  // other values are ignored. Records beyond the count keep their contents.
  void SetCount(int count);
  // Slots allocated for records: 0 at first, then grown by 25 whenever a
  // record is stored while the count has reached capacity - 1.
  int tagCapacity() const { return static_cast<int>(tags_.size()); }
  // A copy of record index (0 .. Count() - 1); an empty record (tagId 0)
  // for any other index.
  TTagEntry GetTag(int index) const;
  bool HasData() const { return tagCount_ > 0; }

  // Empties every record and sets the count to 0; the capacity stays.
  void Clear();
  // Stores a copy of the record unless its tagId is 0; returns Count() - 1
  // either way.
  int AddTag(const TTagEntry& record);
  // Row of IptcTable() whose tagName equals name, ASCII case ignored; -1 when
  // none.
  static int FindDefinition(std::string_view name);

  // Replaces the list with the datasets of a block (for a JPEG: the APP13
  // slot's bytes). The datasets are looked for after the first "Photoshop
  // 3.0" (or from position 13 when there is none), beginning at the first
  // 0x1C marker followed by record number 2 or 8. Known datasets of records 2
  // and 8 are stored, except the record version; repeatable ones are joined
  // through AppendValue. A length that runs past the end cuts the data and
  // ends the parse. The bytes are copied first, so the parse reads its own
  // block whatever overrides or other objects do meanwhile.
  void ParseBlock(std::string_view bytes);
  // Reads one dataset header at 1-based position pos of block (the record
  // number byte; the 0x1C marker stands before it) and moves pos past the
  // data and the next marker byte. The result is a copy of the dataset's row
  // with valueText := its data (cut at the end of the block), or an empty
  // record (tagId 0) for other records, unknown datasets and the record
  // version. Bytes beyond the block read as absent, never past its end.
  static TTagEntry ReadRecord(std::string_view block, int64_t& pos);

  // The operations below are virtual, and the class itself calls FindTag,
  // SetValue and AppendValue through them, so an override takes effect in
  // ParseBlock and the other operations too.

  // Index of the first record whose tagName equals name, ASCII case ignored;
  // -1 when none.
  virtual int FindTag(std::string_view name) const;
  // Removes the first record named so; the later ones move down by one.
  virtual void DeleteTag(std::string_view name);
  // A stored record gets value as its text (an empty value changes nothing);
  // otherwise a record of the named row is stored with value. Returns the
  // record's index, Count() - 1 for the "SKIP" row (nothing is stored), or
  // -1 for a name no row has.
  virtual int SetValue(std::string_view name, std::string_view value);
  // Adds "," and value to the text of a stored record (an empty value changes
  // nothing); otherwise as SetValue.
  virtual int AppendValue(std::string_view name, std::string_view value);
  // Replaces the text of the repeatable datasets (2:20, 2:25) and appends to
  // every other; -1 for a name no row has.
  virtual int WriteValue(std::string_view name, std::string_view value);
  // Text of the first record named so, or defaultValue.
  virtual std::string GetValue(std::string_view name,
                               std::string_view defaultValue) const;
  // Clears the list and reads the file with a fresh reader of its own (the
  // owner's build code and extensions), then parses that reader's first APP13
  // segment into this object. The owner and its current iptc object are left
  // as they are, so calling ReadFile on the very object the owner holds is
  // safe: nothing is discarded during the call. Returns HasData().
  virtual bool ReadFile(const std::string& fileName);

 private:
  int buildCode_;
  ReaderExtensions extensions_;
  int tagCount_ = 0;
  std::vector<TTagEntry> tags_;  // tagCapacity() slots, Count() in use
};

// The hook the segment walk calls on the first APP13 segment (see
// FullReader): a new, empty TIPTCdata owned by the reader.
std::shared_ptr<TIPTCdata> CreateIptcHook(TimgData& owner);

}  // namespace tessaly
