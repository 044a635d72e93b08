#include "HeifClaims.h"

#include <map>
#include <set>
#include <string>
#include <string_view>

#include "HeifFile.h"

namespace tessaly {

namespace {

// A real file has a few dozen boxes; one made of nothing but tiny boxes is
// not walked for ever.
constexpr int kMaxBoxes = 1 << 16;
// The 'meta' box is read whole; a phone's holds a few kilobytes.
constexpr int64_t kMaxMetaBytes = int64_t(64) << 20;
// Big-endian fields of a box's body, every read bounds-checked: past the
// end, ok turns false and the fields read 0.
class Fields {
 public:
  explicit Fields(std::string_view bytes) : bytes_(bytes) {}
  uint64_t Read(size_t count) {
    if (!ok || count > bytes_.size() - at_) {
      ok = false;
      return 0;
    }
    uint64_t value = 0;
    for (size_t i = 0; i < count; ++i) value = value << 8 | static_cast<unsigned char>(bytes_[at_ + i]);
    at_ += count;
    return value;
  }
  std::string_view Rest() const { return ok ? bytes_.substr(at_) : std::string_view(); }
  bool ok = true;

 private:
  std::string_view bytes_;
  size_t at_ = 0;
};

struct Box {
  std::string_view type;
  std::string_view body;
};

// The boxes laid out in bytes (ISO/IEC 14496-12 section 4.2): a 32-bit size
// (1: a 64-bit size follows the type, 0: to the end), a four-letter type.
// A box that overruns its container ends there and ends the list.
std::vector<Box> Children(std::string_view bytes, int& boxes) {
  std::vector<Box> list;
  while (bytes.size() >= 8) {
    if (++boxes > kMaxBoxes) throw HeifError("Too many boxes");
    Fields header(bytes);
    uint64_t size = header.Read(4);
    const std::string_view type = bytes.substr(4, 4);
    header.Read(4);
    size_t headerSize = 8;
    if (size == 1) {
      size = header.Read(8);
      headerSize = 16;
    } else if (size == 0) {
      size = bytes.size();
    }
    if (!header.ok || size < headerSize) break;
    // A box claiming more than its container holds is read to the
    // container's end, as libheif reads it, so that nothing libheif sees
    // escapes the checks.
    if (size > bytes.size()) size = bytes.size();
    list.push_back({type, bytes.substr(headerSize, size_t(size) - headerSize)});
    bytes.remove_prefix(size_t(size));
  }
  return list;
}

struct Extent {
  uint64_t offset = 0, length = 0;  // length 0: to the end of the data
};

struct Location {
  int method = 0;  // 0: file offsets, 1: offsets into 'idat'
  std::vector<Extent> extents;
};

// What the decode needs from 'meta' (ISO/IEC 23008-12 section 9 and
// ISO/IEC 14496-12 section 8.11).
struct Items {
  uint32_t primary = 0;
  std::map<uint32_t, std::string> types;
  std::map<uint32_t, Location> locations;
  std::map<uint32_t, std::vector<uint32_t>> derivedFrom;  // 'dimg' references
  std::vector<HeifClaim> extents;                         // every 'ispe'
  std::string_view idat;
};

void ReadItemInfo(std::string_view body, Items& items, int& boxes) {
  Fields f(body);
  const uint64_t version = f.Read(4) >> 24;
  f.Read(version == 0 ? 2 : 4);  // entry count; the boxes say it too
  for (const Box& entry : Children(f.Rest(), boxes)) {
    if (entry.type != "infe") continue;
    Fields e(entry.body);
    const uint64_t v = e.Read(4) >> 24;
    if (v < 2) continue;  // no item types before version 2
    const auto id = uint32_t(e.Read(v == 2 ? 2 : 4));
    e.Read(2);  // protection index
    const uint64_t type = e.Read(4);
    if (e.ok) items.types[id] = {char(type >> 24), char(type >> 16), char(type >> 8), char(type)};
  }
}

void ReadLocations(std::string_view body, Items& items) {
  Fields f(body);
  const uint64_t version = f.Read(4) >> 24;
  const uint64_t sizes = f.Read(2);
  const size_t offsetSize = (sizes >> 12) & 15, lengthSize = (sizes >> 8) & 15, baseSize = (sizes >> 4) & 15;
  const size_t indexSize = version == 1 || version == 2 ? sizes & 15 : 0;
  const uint64_t count = f.Read(version < 2 ? 2 : 4);
  for (uint64_t i = 0; i < count && f.ok; ++i) {
    const auto id = uint32_t(f.Read(version < 2 ? 2 : 4));
    Location location;
    if (version == 1 || version == 2) location.method = int(f.Read(2) & 15);
    f.Read(2);  // data reference index
    const uint64_t base = f.Read(baseSize);
    const uint64_t extents = f.Read(2);
    for (uint64_t e = 0; e < extents && f.ok; ++e) {
      f.Read(indexSize);
      Extent extent;
      extent.offset = base + f.Read(offsetSize);
      extent.length = f.Read(lengthSize);
      if (extent.offset < base) f.ok = false;  // wrapped
      location.extents.push_back(extent);
    }
    if (f.ok) items.locations[id] = std::move(location);
  }
}

void ReadReferences(std::string_view body, Items& items, int& boxes) {
  Fields f(body);
  const uint64_t version = f.Read(4) >> 24;
  for (const Box& reference : Children(f.Rest(), boxes)) {
    if (reference.type != "dimg") continue;
    Fields r(reference.body);
    const auto from = uint32_t(r.Read(version == 0 ? 2 : 4));
    const uint64_t count = r.Read(2);
    for (uint64_t i = 0; i < count && r.ok; ++i) {
      const auto to = uint32_t(r.Read(version == 0 ? 2 : 4));
      if (r.ok) items.derivedFrom[from].push_back(to);
    }
  }
}

// The image spatial extents ('ispe', ISO/IEC 23008-12 section 6.5.3): every
// one claims a size something may be decoded at (a tile, a thumbnail).
void ReadProperties(std::string_view body, Items& items, int& boxes) {
  for (const Box& container : Children(body, boxes)) {
    if (container.type != "ipco") continue;
    for (const Box& property : Children(container.body, boxes)) {
      if (property.type != "ispe") continue;
      Fields p(property.body);
      p.Read(4);  // version and flags
      const uint64_t width = p.Read(4), height = p.Read(4);
      if (p.ok) items.extents.push_back({width, height});
    }
  }
}

// The first count bytes of an item's data, or fewer when it has fewer.
std::string ItemData(const HeifInput& input, const Items& items, const Location& location, size_t count) {
  std::string data;
  for (const Extent& extent : location.extents) {
    if (data.size() >= count) break;
    const size_t want = count - data.size();
    if (location.method == 1) {
      if (extent.offset > items.idat.size()) break;
      std::string_view bytes = items.idat.substr(size_t(extent.offset));
      if (extent.length != 0 && extent.length < bytes.size()) bytes = bytes.substr(0, size_t(extent.length));
      data += bytes.substr(0, want);
    } else if (location.method == 0) {
      if (extent.offset > uint64_t(input.size)) break;
      uint64_t available = uint64_t(input.size) - extent.offset;
      if (extent.length != 0 && extent.length < available) available = extent.length;
      std::string bytes(size_t(std::min<uint64_t>(available, want)), '\0');
      if (!input.ReadAt(int64_t(extent.offset), bytes.data(), bytes.size())) break;
      data += bytes;
    }
  }
  return data;
}

// The output size of a grid ('grid', ISO/IEC 23008-12 section 6.6.2.3.2) or
// an overlay ('iovl', section 6.6.2.3.3): after version and flags (and, for
// an overlay, four 16-bit fill values) come the width and height, 16-bit or,
// with flag 1, 32-bit.
HeifClaim DerivedSize(const HeifInput& input, const Items& items, uint32_t id, const std::string& type) {
  const auto location = items.locations.find(id);
  const size_t skip = type == "grid" ? 2 : 8;
  const std::string data =
      location == items.locations.end() ? std::string() : ItemData(input, items, location->second, 2 + skip + 8);
  Fields f(data);
  const uint64_t flags = f.Read(2) & 0xFF;
  f.Read(skip);
  const size_t field = flags & 1 ? 4 : 2;
  HeifClaim claim;
  claim.width = f.Read(field);
  claim.height = f.Read(field);
  if (!f.ok) throw HeifError("Cannot read the size of the " + type + " of item " + std::to_string(id));
  return claim;
}

}  // namespace

std::vector<HeifClaim> ReadHeifClaims(const HeifInput& input) {
  int boxes = 0;
  // The 'meta' box among the top-level ones, found by their headers alone.
  int64_t metaBegin = -1, metaEnd = -1;
  for (int64_t pos = 0; pos + 8 <= input.size;) {
    if (++boxes > kMaxBoxes) throw HeifError("Too many boxes");
    unsigned char header[16];
    if (!input.ReadAt(pos, header, 8)) break;
    Fields f(std::string_view(reinterpret_cast<const char*>(header), 8));
    int64_t size = int64_t(f.Read(4)), headerSize = 8;
    if (size == 1) {
      if (!input.ReadAt(pos + 8, header + 8, 8)) break;
      const uint64_t large = Fields(std::string_view(reinterpret_cast<const char*>(header + 8), 8)).Read(8);
      if (large > uint64_t(input.size)) break;
      size = int64_t(large);
      headerSize = 16;
    } else if (size == 0) {
      size = input.size - pos;
    }
    if (size < headerSize || size > input.size - pos) break;  // libheif says what is wrong
    if (std::string_view(reinterpret_cast<const char*>(header + 4), 4) == "meta") {
      metaBegin = pos + headerSize;
      metaEnd = pos + size;
      break;
    }
    pos += size;
  }
  if (metaBegin < 0 || metaEnd - metaBegin < 4) return {};
  if (metaEnd - metaBegin > kMaxMetaBytes) throw HeifError("Metadata box too large");
  std::string meta(size_t(metaEnd - metaBegin), '\0');
  if (!input.ReadAt(metaBegin, meta.data(), meta.size())) return {};

  Items items;
  for (const Box& box : Children(std::string_view(meta).substr(4), boxes)) {  // after version and flags
    if (box.type == "pitm") {
      Fields f(box.body);
      const uint64_t version = f.Read(4) >> 24;
      items.primary = uint32_t(f.Read(version == 0 ? 2 : 4));
    } else if (box.type == "iinf") {
      ReadItemInfo(box.body, items, boxes);
    } else if (box.type == "iloc") {
      ReadLocations(box.body, items);
    } else if (box.type == "iref") {
      ReadReferences(box.body, items, boxes);
    } else if (box.type == "iprp") {
      ReadProperties(box.body, items, boxes);
    } else if (box.type == "idat") {
      items.idat = box.body;
    }
  }

  std::vector<HeifClaim> claims = items.extents;
  // Every derived image (the primary one, a thumbnail), whatever may draw
  // it: its output size, and the images it is made of, which must exist
  // and be images (libheif 1.15 aborts on a reference to anything else).
  static const std::set<std::string> kImageTypes = {"hvc1", "av01", "grid", "iovl", "iden", "jpeg"};
  for (const auto& [id, type] : items.types) {
    if (type == "grid" || type == "iovl") claims.push_back(DerivedSize(input, items, id, type));
    if (const auto sources = items.derivedFrom.find(id); sources != items.derivedFrom.end())
      for (const uint32_t source : sources->second) {
        const auto found = items.types.find(source);
        if (found == items.types.end())
          throw HeifError("Item " + std::to_string(id) + " is made of item " + std::to_string(source) +
                          ", which does not exist");
        if (kImageTypes.count(found->second) == 0)
          throw HeifError("Item " + std::to_string(id) + " is made of item " + std::to_string(source) +
                          ", which is no image");
      }
  }
  return claims;
}

}  // namespace tessaly
