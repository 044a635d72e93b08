// TImageInfo: the walk over TIFF image file directories (TIFF 6.0 section 2,
// "Image File Directory"; EXIF 2.3 section 4.6) and over maker-note
// directories laid out the same way.
#include <algorithm>
#include <cmath>

#include "ExifReader.h"
#include "TextFields.h"

namespace tessaly {

namespace {

constexpr int64_t kEntrySize = 12;  // tag, type, count, value or offset
constexpr int kMaxDepth = 8;        // real files nest three deep at most
// Far above any real photo (a few hundred entries, some tens of kilobytes of
// values); a hostile file reaches it and stops there.
constexpr int64_t kEntryBudget = 65536;
constexpr int64_t kByteBudget = int64_t{16} << 20;

constexpr uint16_t kTagImageWidth = 0x0100, kTagImageLength = 0x0101;
constexpr uint16_t kTagMake = 0x010F, kTagModel = 0x0110, kTagDateTime = 0x0132;
constexpr uint16_t kTagSubIfds = 0x014A, kTagExifIfd = 0x8769, kTagGpsIfd = 0x8825;
constexpr uint16_t kTagExifVersion = 0x9000, kTagDateTimeOriginal = 0x9003;
constexpr uint16_t kTagDateTimeDigitized = 0x9004, kTagFlash = 0x9209;
constexpr uint16_t kTagMakerNote = 0x927C, kTagUserComment = 0x9286;
constexpr uint16_t kTagPixelXDimension = 0xA002, kTagPixelYDimension = 0xA003;
constexpr uint16_t kTagInteropIfd = 0xA005;
constexpr uint16_t kTagOrientation = 0x0112;

constexpr size_t kMaxExifVersion = 6, kMaxMake = 32, kMaxModel = 40, kMaxDateTime = 20;
constexpr int64_t kUserCommentPrefix = 8;  // character code, EXIF 2.3 table 9
constexpr size_t kDateTimeLength = 19;     // "YYYY:MM:DD HH:MM:SS"

const std::string kNoBytes;

// Up to count bytes of s from the 1-based position pos: fewer where s ends,
// none when pos lies outside it.
std::string CopyBytes(const std::string& s, int64_t pos, int64_t count) {
  const int64_t size = static_cast<int64_t>(s.size());
  if (pos < 1 || pos > size || count <= 0) return {};
  return s.substr(static_cast<size_t>(pos - 1),
                  static_cast<size_t>(std::min(count, size - pos + 1)));
}

std::string Quoted(const std::string& text) { return '"' + text + '"'; }

std::string Cut(const std::string& text, size_t maxLength) { return text.substr(0, maxLength); }

// Value positions are kept in 32 bits; one beyond that lies in no buffer.
int32_t Position32(int64_t pos) {
  return static_cast<int32_t>(std::clamp<int64_t>(pos, INT32_MIN, INT32_MAX));
}

// The head of a 12-byte directory entry (TIFF 6.0 section 2): tag, field
// type, and the value's byte size (type size x count, in 64 bits so that no
// count overflows it).
struct EntryHead {
  uint16_t tag;
  uint16_t format;
  int64_t size;
};

EntryHead ReadEntry(const tEndInd& bytes, int64_t entryPos) {
  const uint16_t tag = bytes.Get16(entryPos);
  const uint16_t format = bytes.Get16(entryPos + 2);
  return {tag, format, int64_t{FormatSize(format)} * bytes.Get32(entryPos + 4)};
}

std::string ListingLine(const std::string& caption, const std::string& text) {
  return "\r\n" + caption + " = " + text;
}

}  // namespace

TImageInfo::TImageInfo(TimgData* owner, int buildCode) : owner(owner), buildCode(buildCode) {
  InitTagTables();
}

void TImageInfo::ResetBudget() {
  entriesLeft_ = kEntryBudget;
  bytesLeft_ = kByteBudget;
}

void TImageInfo::Spend(int64_t entries, int64_t bytes) {
  entriesLeft_ -= entries;
  bytesLeft_ -= bytes;
  if (entriesLeft_ < 0) throw ReadError("Too many directory entries");
  if (bytesLeft_ < 0) throw ReadError("Too many value bytes");
}

void TImageInfo::AddRecord(const TTagEntry& entry) {
  if (entry.tagId != 0) tags.push_back(entry);
}

void TImageInfo::ReadDirectory(int64_t start, int64_t offsetBase, int64_t dataLength, int kind) {
  if (depth_ == 0) ResetBudget();
  // A link back to a directory on the current path would loop for ever.
  if (depth_ >= kMaxDepth ||
      std::find(activeDirs_.begin(), activeDirs_.end(), start) != activeDirs_.end())
    return;
  ++depth_;
  activeDirs_.push_back(start);
  struct Leave {
    TImageInfo& info;
    ~Leave() {
      --info.depth_;
      info.activeDirs_.pop_back();
    }
  } leave{*this};

  const int64_t count = Get16(start);
  if (start + 2 + kEntrySize * count > offsetBase + dataLength) {
    if (owner) owner->errorText = "Illegally sized directory";
    return;
  }
  const std::string& segment =
      owner && owner->exifSegment ? owner->exifSegment->bytes : kNoBytes;
  const bool buildText = buildCode == kBuildText || buildCode == kBuildAll;

  for (int64_t i = 0; i < count; ++i) {
    Spend(1, 0);
    const int64_t entryPos = start + 2 + kEntrySize * i;
    const EntryHead head = ReadEntry(*this, entryPos);
    const uint16_t tag = head.tag, format = head.format;
    const int64_t size = head.size;
    // Size 0 is an unknown type or no value; a negative count is no value either.
    if (size <= 0) continue;
    const int64_t pos = size <= 4 ? entryPos + 8 : offsetBase + Get32(entryPos + 8);
    const std::string raw = CopyBytes(segment, pos, size);
    Spend(0, static_cast<int64_t>(raw.size()));

    TTagEntry entry;
    std::string text;
    if (buildText) {
      entry = LookupTag(tag, kind);
      if (format == 2)
        text = AsciiText(raw);
      else if (format == 7)
        text = Quoted(AsciiText(raw));
      else
        text = ValueText(raw, format, entry.decodeList, entry.formatText,
                         entry.numberConversion);
      text = entry.tagId != 0 && entry.formatter ? entry.formatter(text) : CleanText(text);
      if (tag == kTagUserComment) {
        userComment = std::string(Trimmed(CopyBytes(raw, kUserCommentPrefix + 1, size)));
        text = userComment;
        userCommentPos = Position32(pos);
        userCommentLength = Position32(size - kUserCommentPrefix - 1);
      }
      tagText += ListingLine(entry.caption, text);
    }

    const auto rounded = [&] { return static_cast<int32_t>(RoundHalfEven(NumericValue(raw, format))); };
    switch (tag) {
      case kTagImageWidth:
      case kTagPixelXDimension:
        widthPos = Position32(entryPos + 8);
        imageWidth = rounded();
        break;
      case kTagImageLength:
      case kTagPixelYDimension:
        heightPos = Position32(entryPos + 8);
        imageHeight = rounded();
        break;
      case kTagMake: cameraMake = Cut(text, kMaxMake); break;
      case kTagModel: cameraModel = Cut(text, kMaxModel); break;
      case kTagDateTime:
        dateTimePos = Position32(pos);
        dateTime = Cut(text, kMaxDateTime);
        break;
      case kTagExifVersion: exifVersion = Cut(raw, kMaxExifVersion); break;
      case kTagDateTimeOriginal:
        dateTimeOriginalPos = Position32(pos);
        dateTime = Cut(text, kMaxDateTime);
        break;
      case kTagDateTimeDigitized: dateTimeDigitizedPos = Position32(pos); break;
      case kTagFlash: flashValue = rounded(); break;
      case kTagOrientation:
        // Only the main image's own directory, IFD0, says how it is held
        // (TIFF 6.0 section 8; EXIF 2.3 section 4.6.4); values 1 to 8.
        if (depth_ == 1 && kind == kMainDirectory) {
          const double value = NumericValue(raw, format);
          orientation = value >= 1 && value <= 8 && value == std::floor(value) ? static_cast<int32_t>(value) : 1;
        }
        break;
      case kTagMakerNote:
        makerNoteBytes = raw;
        makerNotePos = Position32(pos);
        if (owner && owner->extensions.readMakerNote)
          makerNoteRead = owner->extensions.readMakerNote(*this);
        break;
      case kTagExifIfd:
      case kTagInteropIfd:
      case kTagSubIfds:  // of several sub-images only the first is walked
      case kTagGpsIfd:
        try {
          ReadDirectory(offsetBase + Get32(pos), offsetBase, dataLength,
                        tag == kTagGpsIfd ? kGpsDirectory : kMainDirectory);
        } catch (const std::exception&) {
          // A broken sub-directory is left out; the rest of this one still counts.
        }
        break;
      default: break;
    }

    if (buildCode == kBuildAll) {
      try {
        entry.valueText = text;
        entry.rawBytes = raw;
        entry.dataSize = static_cast<int32_t>(raw.size());
        entry.valuePos = Position32(pos);
        entry.valueFormat = format;
        AddRecord(entry);
      } catch (const std::exception&) {
        // A record that cannot be stored is left out.
      }
    }
  }
}

void TImageInfo::ReadVendorDirectory(const std::string& bytes, const TagTable& table,
                                     int directoryStart, int64_t offsetAdjust,
                                     int64_t outsideAdjust) {
  if (buildCode != kBuildRecords && buildCode != kBuildAll) return;
  if (depth_ == 0) ResetBudget();
  const std::string& ownerBytes = owner ? owner->buffer : kNoBytes;
  buffer = bytes;
  try {
    const int64_t start = int64_t{directoryStart} + 1;
    const int64_t base = start - offsetAdjust + 1;
    const int64_t count = Get16(start);
    for (int64_t i = 0; i < count; ++i) {
      Spend(1, 0);
      const int64_t entryPos = start + 2 + kEntrySize * i;
      const EntryHead head = ReadEntry(*this, entryPos);
      const uint16_t tag = head.tag, format = head.format;
      const int64_t size = head.size;
      int64_t offset = 0, pos = entryPos + 8;
      if (size > 4) {
        offset = Get32(entryPos + 8);
        pos = base + offset;
      }
      // Values that lie beyond the maker note are looked for in the segment;
      // one that ends on the note's last byte (pos + size - 1) is inside it.
      const std::string raw = static_cast<int64_t>(bytes.size()) < pos + size - 1
                                  ? CopyBytes(ownerBytes, outsideAdjust + offset, size)
                                  : CopyBytes(bytes, pos, size);
      Spend(0, static_cast<int64_t>(raw.size()));

      const int index = VendorTagIndex(tag, table);
      const TTagEntry* row = index >= 0 ? &table[static_cast<size_t>(index)] : nullptr;
      const std::string name = row ? row->caption : "Unknown";
      if (SameNameIgnoringCase(name, "SKIP")) continue;

      std::string text;
      if (format == 2) {
        text = Quoted(AsciiText(raw));
      } else if (format == 7) {
        text = Quoted(raw);
      } else {
        try {
          text = row ? ValueText(raw, format, VendorDecodeList(tag, table), row->formatText)
                     : ValueText(raw, format, "", "");
        } catch (const std::exception&) {
          text = Quoted(raw);
        }
      }
      // The first row of a vendor table never applies its formatter.
      const bool formats = index > 0 && row->formatter;
      text = formats ? row->formatter(text) : CleanText(text);
      makerNoteText += ListingLine(name, text);

      if (index > 0) {
        TTagEntry record = *row;
        record.valueText = text;
        record.rawBytes = raw;
        record.dataSize = static_cast<int32_t>(raw.size());
        record.valueFormat = format;
        record.sourceKind = 1;
        AddRecord(record);
      }
    }
  } catch (const std::exception& error) {
    if (owner) owner->errorText = std::string("Error Detected = ") + error.what();
  }
  buffer = ownerBytes;
}

TDateTime TImageInfo::DateTimeAt(int64_t pos) const {
  const std::string& segment =
      owner && owner->exifSegment ? owner->exifSegment->bytes : kNoBytes;
  return ParseExifDateTime(CopyBytes(segment, pos, kDateTimeLength));
}

TDateTime TImageInfo::OriginalDate() const {
  return dateTimeOriginalPos > 0 ? DateTimeAt(dateTimeOriginalPos) : 0;
}

TDateTime TImageInfo::DigitizedDate() const {
  return dateTimeDigitizedPos > 0 ? DateTimeAt(dateTimeDigitizedPos) : 0;
}

TDateTime TImageInfo::ModifiedDate() const { return dateTimePos > 0 ? DateTimeAt(dateTimePos) : 0; }

TDateTime TImageInfo::ShotDateTime() const {
  // A tag that holds blanks or zeros is passed over for the next one.
  for (const int32_t pos : {dateTimeDigitizedPos, dateTimeOriginalPos, dateTimePos}) {
    if (pos <= 0) continue;
    if (const TDateTime value = DateTimeAt(pos); value != 0) return value;
  }
  return 0;
}

TDateTime TImageInfo::TakenDateTime() const {
  for (const int32_t pos : {dateTimeOriginalPos, dateTimeDigitizedPos, dateTimePos}) {
    if (pos <= 0) continue;
    if (const TDateTime value = DateTimeAt(pos); value != 0) return value;
  }
  return 0;
}

}  // namespace tessaly
