// Rewriting the EXIF block of a copy in place. The block is a TIFF structure
// (TIFF 6.0 section 2: an 8-byte header, image file directories of 12-byte
// entries, values of more than four bytes stored at offsets counted from the
// header); EXIF 2.3 section 4.6.3 adds the EXIF, GPS and interoperability
// directories linked from IFD0 and the EXIF directory, and section 4.5.2
// puts the thumbnail into IFD1, the directory IFD0's next-directory link
// points to.
//
// Nothing of what stays is moved. A maker note is one opaque value to the
// TIFF structure, but most makers' private directories give offsets counted
// from the TIFF header, so the only sound way to keep them readable is to
// leave every byte that is kept at its offset.
#include "ExifRewrite.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace tessaly {

namespace {

constexpr uint16_t kImageWidth = 0x0100, kImageLength = 0x0101, kImageDescription = 0x010E;
constexpr uint16_t kStripOffsets = 0x0111, kOrientation = 0x0112, kStripByteCounts = 0x0117;
constexpr uint16_t kSubIfds = 0x014A, kThumbnailOffset = 0x0201, kThumbnailLength = 0x0202;
constexpr uint16_t kExifPointer = 0x8769, kGpsPointer = 0x8825;
constexpr uint16_t kPixelXDimension = 0xA002, kPixelYDimension = 0xA003, kInteropPointer = 0xA005;
constexpr uint16_t kShort = 3, kLong = 4, kAscii = 2, kIfd = 13;
constexpr size_t kHeaderSize = 8, kEntrySize = 12;
// Directories linked below IFD0: EXIF, interoperability, sub-images. No
// real file nests deeper; a deeper chain is a loop or a trap.
constexpr int kMaxDepth = 4;
constexpr size_t kMaxDirectories = 64;

class Damaged : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Component sizes of the field types (TIFF 6.0 section 2, "Types"; 13 is
// the IFD type of the TIFF technical notes); 0 for unknown types, whose
// entries a reader skips.
uint64_t TypeSize(uint16_t type) {
  switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: case 13: return 4;
    case 5: case 10: case 12: return 8;
    default: return 0;
  }
}

struct Range {
  size_t begin, end;
};

struct Entry {
  size_t at;  // offset of the 12-byte entry
  uint16_t tag, type;
  uint32_t count;
  uint64_t size;   // value bytes
  size_t valueAt;  // offset of the value (inside the entry when size <= 4)
};

struct Directory {
  size_t at;
  std::vector<Entry> entries;
  bool hasLink;  // the 4-byte next-directory offset fits the block
};

class Block {
 public:
  explicit Block(std::string_view bytes) : bytes_(bytes) {
    if (bytes_.size() < kHeaderSize) throw Damaged("no TIFF header");
    if (bytes_.compare(0, 4, std::string("II*\0", 4)) == 0) bigEndian_ = false;
    else if (bytes_.compare(0, 4, std::string("MM\0*", 4)) == 0) bigEndian_ = true;
    else throw Damaged("no TIFF header");
  }

  std::string& bytes() { return bytes_; }
  size_t size() const { return bytes_.size(); }
  bool bigEndian() const { return bigEndian_; }

  void Need(uint64_t offset, uint64_t count, const char* what) const {
    if (offset > bytes_.size() || count > bytes_.size() - offset) throw Damaged(what);
  }
  uint16_t U16(size_t offset) const {
    Need(offset, 2, "a read past the end");
    const auto b = [&](size_t i) { return uint16_t(uint8_t(bytes_[offset + i])); };
    return bigEndian_ ? uint16_t(b(0) << 8 | b(1)) : uint16_t(b(1) << 8 | b(0));
  }
  uint32_t U32(size_t offset) const {
    Need(offset, 4, "a read past the end");
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
      v |= uint32_t(uint8_t(bytes_[offset + size_t(i)])) << (bigEndian_ ? 8 * (3 - i) : 8 * i);
    return v;
  }
  void Put16(size_t offset, uint16_t v) {
    Need(offset, 2, "a write past the end");
    bytes_[offset + (bigEndian_ ? 0 : 1)] = char(v >> 8);
    bytes_[offset + (bigEndian_ ? 1 : 0)] = char(v & 0xFF);
  }
  void Put32(size_t offset, uint32_t v) {
    Need(offset, 4, "a write past the end");
    for (int i = 0; i < 4; ++i) bytes_[offset + size_t(bigEndian_ ? 3 - i : i)] = char((v >> (8 * i)) & 0xFF);
  }
  std::string Raw16(uint16_t v) const {
    std::string s(2, '\0');
    s[bigEndian_ ? 0 : 1] = char(v >> 8);
    s[bigEndian_ ? 1 : 0] = char(v & 0xFF);
    return s;
  }
  std::string Raw32(uint32_t v) const {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[size_t(bigEndian_ ? 3 - i : i)] = char((v >> (8 * i)) & 0xFF);
    return s;
  }

  Directory ReadDirectory(size_t at) const {
    Need(at, 2, "a directory lies outside the EXIF data");
    const uint16_t n = U16(at);
    Need(at, 2 + uint64_t(n) * kEntrySize, "a directory reaches past the end of the EXIF data");
    Directory dir{at, {}, false};
    dir.hasLink = at + 2 + n * kEntrySize + 4 <= bytes_.size();
    for (size_t i = 0; i < n; ++i) {
      Entry e{};
      e.at = at + 2 + i * kEntrySize;
      e.tag = U16(e.at);
      e.type = U16(e.at + 2);
      e.count = U32(e.at + 4);
      e.size = TypeSize(e.type) * e.count;
      e.valueAt = e.size <= 4 ? e.at + 8 : U32(e.at + 8);
      if (e.size > 4) Need(e.valueAt, e.size, "a value lies outside the EXIF data");
      dir.entries.push_back(e);
    }
    return dir;
  }
  size_t DirectoryEnd(const Directory& dir) const {
    return dir.at + 2 + dir.entries.size() * kEntrySize + (dir.hasLink ? 4 : 0);
  }

 private:
  std::string bytes_;
  bool bigEndian_ = false;
};

// Finds the byte ranges of what is kept and of what is dropped.
class Survey {
 public:
  Survey(const Block& block, bool keepLocation) : block_(block), keepLocation_(keepLocation) {
    const uint32_t first = block.U32(4);
    if (first < kHeaderSize) throw Damaged("IFD0 overlaps the TIFF header");
    kept.push_back({0, kHeaderSize});
    ifd0 = Walk(first, 0, kept);
    if (ifd0.hasLink) {
      const uint32_t next = block.U32(block.DirectoryEnd(ifd0) - 4);
      if (next != 0) DropThumbnailDirectory(next);
    }
  }

  Directory ifd0;
  std::vector<Directory> exifDirectories;  // EXIF directories linked from IFD0
  std::vector<Range> kept, dropped;

 private:
  const Block& block_;
  bool keepLocation_;
  std::vector<size_t> visited_;

  Directory Walk(size_t at, int depth, std::vector<Range>& into) {
    if (depth > kMaxDepth || visited_.size() >= kMaxDirectories) throw Damaged("directories nest too deep");
    if (std::find(visited_.begin(), visited_.end(), at) != visited_.end())
      throw Damaged("directories link to each other in a loop");
    visited_.push_back(at);
    Directory dir = block_.ReadDirectory(at);
    into.push_back({dir.at, block_.DirectoryEnd(dir)});
    for (const Entry& e : dir.entries) {
      if (e.size > 4) into.push_back({e.valueAt, size_t(e.valueAt + e.size)});
      const bool pointer = e.tag == kExifPointer || e.tag == kInteropPointer || e.tag == kSubIfds ||
                           e.tag == kGpsPointer;
      if (!pointer || (e.type != kLong && e.type != kIfd) || e.count == 0) continue;
      if (e.tag == kGpsPointer && !keepLocation_ && &into == &kept) {
        DropGps(block_.U32(e.valueAt), depth + 1);
        continue;
      }
      // Of several sub-images each is a directory of its own.
      const uint32_t children = e.tag == kSubIfds ? e.count : 1;
      for (uint32_t c = 0; c < children; ++c) {
        Directory child = Walk(block_.U32(e.valueAt + 4 * c), depth + 1, into);
        if (e.tag == kExifPointer && depth == 0) exifDirectories.push_back(std::move(child));
      }
    }
    return dir;
  }

  // What is dropped need not be sound: whatever of it can be found is zeroed.
  void DropGps(size_t at, int depth) {
    try {
      Walk(at, depth, dropped);
    } catch (const Damaged&) {
    }
  }

  void DropThumbnailDirectory(size_t at) {
    try {
      const Directory ifd1 = Walk(at, 1, dropped);
      // The thumbnail's data (EXIF 2.3 section 4.5.5): JPEG interchange
      // format offset and length, or strips.
      std::vector<uint32_t> offsets, lengths;
      for (const Entry& e : ifd1.entries) {
        std::vector<uint32_t>* list = e.tag == kThumbnailOffset || e.tag == kStripOffsets ? &offsets
                                    : e.tag == kThumbnailLength || e.tag == kStripByteCounts ? &lengths
                                                                                              : nullptr;
        if (!list || (e.type != kLong && e.type != kShort)) continue;
        for (uint32_t i = 0; i < e.count && i < 1024; ++i)
          list->push_back(e.type == kLong ? block_.U32(e.valueAt + 4 * i) : block_.U16(e.valueAt + 2 * i));
      }
      for (size_t i = 0; i < offsets.size() && i < lengths.size(); ++i) {
        const uint64_t begin = offsets[i], end = begin + lengths[i];
        if (end <= block_.size()) dropped.push_back({size_t(begin), size_t(end)});
      }
    } catch (const Damaged&) {
    }
  }
};

const Entry* Find(const Directory& dir, uint16_t tag) {
  for (const Entry& e : dir.entries)
    if (e.tag == tag) return &e;
  return nullptr;
}

// A SHORT stays a SHORT when the number fits it; else the entry becomes a
// LONG (both are allowed for these tags, EXIF 2.3 section 4.6.5).
void SetDimension(Block& block, const Entry& e, uint32_t value) {
  if (e.type == kShort && e.count == 1 && value <= 0xFFFF) {
    block.Put16(e.valueAt, uint16_t(value));
    block.Put16(e.valueAt + 2, 0);
    return;
  }
  block.Put16(e.at + 2, kLong);
  block.Put32(e.at + 4, 1);
  block.Put32(e.at + 8, value);
}

// Takes the entry out of its directory: the entries after it and the link
// move up by one entry, the count drops by one, the freed bytes are zeroed.
void RemoveEntry(Block& block, Directory& dir, size_t index) {
  std::string& bytes = block.bytes();
  const size_t from = dir.entries[index].at + kEntrySize;
  const size_t end = block.DirectoryEnd(dir);
  std::copy(bytes.begin() + long(from), bytes.begin() + long(end), bytes.begin() + long(from - kEntrySize));
  std::fill(bytes.begin() + long(end - kEntrySize), bytes.begin() + long(end), '\0');
  block.Put16(dir.at, uint16_t(dir.entries.size() - 1));
  dir.entries.erase(dir.entries.begin() + long(index));
  for (size_t i = index; i < dir.entries.size(); ++i) {
    dir.entries[i].at -= kEntrySize;
    if (dir.entries[i].size <= 4) dir.entries[i].valueAt -= kEntrySize;
  }
}

// Zeroes the dropped bytes that nothing kept shares, then cuts the zeros
// that end the block, down to the end of the last kept range.
void ClearDropped(Block& block, const Survey& survey) {
  std::string& bytes = block.bytes();
  std::vector<bool> keep(bytes.size(), false);
  size_t keptEnd = 0;
  for (const Range& r : survey.kept) {
    std::fill(keep.begin() + long(r.begin), keep.begin() + long(r.end), true);
    keptEnd = std::max(keptEnd, r.end);
  }
  for (const Range& r : survey.dropped)
    for (size_t i = r.begin; i < r.end; ++i)
      if (!keep[i]) bytes[i] = '\0';
  size_t end = bytes.size();
  while (end > keptEnd && bytes[end - 1] == '\0') --end;
  bytes.resize(end);
}

// Writes IFD0 anew at the end of the block with an ImageDescription entry
// (TIFF 6.0 section 8) in its sorted place, its text after it; the old
// directory's bytes are zeroed. Values stay where they are.
void AppendDescription(Block& block, const Directory& ifd0, const std::string& text) {
  std::string& bytes = block.bytes();
  std::vector<std::string> entries;
  for (const Entry& e : ifd0.entries)
    if (e.tag != kImageDescription) entries.push_back(bytes.substr(e.at, kEntrySize));
  if (bytes.size() % 2) bytes += '\0';  // word boundary (TIFF 6.0 section 2)
  const size_t at = bytes.size();
  const uint32_t count = uint32_t(text.size() + 1);
  const size_t valueAt = at + 2 + (entries.size() + 1) * kEntrySize + 4;
  std::string value = text + '\0';
  std::string field = count <= 4 ? value + std::string(4 - value.size(), '\0') : block.Raw32(uint32_t(valueAt));
  const std::string entry = block.Raw16(kImageDescription) + block.Raw16(kAscii) + block.Raw32(count) + field;
  // Sorted by tag (TIFF 6.0 section 2): the entry goes before the first
  // larger tag.
  const auto tagOf = [&](const std::string& raw) {
    const uint16_t a = uint8_t(raw[0]), b = uint8_t(raw[1]);
    return block.bigEndian() ? uint16_t(a << 8 | b) : uint16_t(b << 8 | a);
  };
  size_t index = 0;
  while (index < entries.size() && tagOf(entries[index]) < kImageDescription) ++index;
  entries.insert(entries.begin() + long(index), entry);
  std::fill(bytes.begin() + long(ifd0.at), bytes.begin() + long(block.DirectoryEnd(ifd0)), '\0');
  bytes += block.Raw16(uint16_t(entries.size()));
  for (const std::string& e : entries) bytes += e;
  bytes += block.Raw32(0);
  if (count > 4) bytes += value;
  block.Put32(4, uint32_t(at));
}

}  // namespace

ExifRewrite RewriteExif(std::string_view tiff, const ExifChanges& changes) {
  try {
    Block block(tiff);
    Survey survey(block, changes.keepLocation);
    Directory& ifd0 = survey.ifd0;

    if (const Entry* e = Find(ifd0, kOrientation)) {
      block.Put16(e->at + 2, kShort);
      block.Put32(e->at + 4, 1);
      block.Put32(e->at + 8, 0);
      block.Put16(e->at + 8, 1);
    }
    if (const Entry* e = Find(ifd0, kImageWidth)) SetDimension(block, *e, changes.width);
    if (const Entry* e = Find(ifd0, kImageLength)) SetDimension(block, *e, changes.height);
    for (const Directory& exif : survey.exifDirectories) {
      if (const Entry* e = Find(exif, kPixelXDimension)) SetDimension(block, *e, changes.width);
      if (const Entry* e = Find(exif, kPixelYDimension)) SetDimension(block, *e, changes.height);
    }
    if (ifd0.hasLink) block.Put32(block.DirectoryEnd(ifd0) - 4, 0);
    if (!changes.keepLocation)
      for (size_t i = 0; i < ifd0.entries.size(); ++i)
        if (ifd0.entries[i].tag == kGpsPointer) RemoveEntry(block, ifd0, i--);
    ClearDropped(block, survey);

    if (block.size() > kMaxExifBlock)
      return {{}, "the EXIF data (" + std::to_string(block.size()) + " bytes) does not fit a JPEG segment"};
    if (!changes.description.empty()) {
      Block described = block;
      AppendDescription(described, ifd0, changes.description);
      // A caption that does not fit leaves the photo's own.
      if (described.size() <= kMaxExifBlock) return {std::move(described.bytes()), {}};
    }
    return {std::move(block.bytes()), {}};
  } catch (const Damaged& damage) {
    return {{}, std::string("damaged EXIF data: ") + damage.what()};
  } catch (const std::exception& error) {
    return {{}, std::string("EXIF data not usable: ") + error.what()};
  }
}

}  // namespace tessaly
