// JPEG segments (ISO/IEC 10918-1 annex B.1.1): a 0xFF byte, any number of
// 0xFF fill bytes, the marker code, a 16-bit big-endian length that counts
// itself, the payload. The metadata kinds are told apart by the signature
// their payload starts with: "Exif\0\0" (EXIF 2.3 section 4.5.4), the XMP
// namespace with a zero byte (XMP part 3 section 1.1.3), "ICC_PROFILE\0"
// with a chunk number and count (ICC.1:2010 annex B.4), "Photoshop 3.0\0"
// for the image resources that hold IPTC data.
#include "JpegMetadata.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

namespace {

const std::string kExifSignature("Exif\0\0", 6);
const std::string kXmpSignature("http://ns.adobe.com/xap/1.0/\0", 29);
const std::string kIccSignature("ICC_PROFILE\0", 12);
const std::string kPhotoshopSignature("Photoshop 3.0\0", 14);
constexpr size_t kIccHeader = 14;  // signature, chunk number, chunk count
constexpr size_t kMaxIccChunk = kMaxSegmentPayload - kIccHeader;
constexpr size_t kMaxPhotoshopChunk = kMaxSegmentPayload - 14;
constexpr int kMaxSegments = 512;
constexpr int kMaxFill = 65536;

bool StartsWith(const std::string& bytes, const std::string& prefix) {
  return bytes.size() >= prefix.size() && bytes.compare(0, prefix.size(), prefix) == 0;
}

class Input {
 public:
  explicit Input(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat facts {};
    if (fd_ >= 0 && (::fstat(fd_, &facts) != 0 || !S_ISREG(facts.st_mode))) {
      ::close(fd_);
      fd_ = -1;
      errno = EINVAL;
    }
  }
  ~Input() {
    if (fd_ >= 0) ::close(fd_);
  }
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;
  bool open() const { return fd_ >= 0; }

  // -1 at the end of the file or on an error.
  int Byte() {
    if (next_ == filled_) {
      ssize_t n;
      do n = ::read(fd_, buffer_, sizeof buffer_);
      while (n < 0 && errno == EINTR);
      if (n <= 0) return -1;
      next_ = 0;
      filled_ = size_t(n);
    }
    return uint8_t(buffer_[next_++]);
  }
  bool Read(std::string& out, size_t count) {
    out.resize(count);
    for (size_t i = 0; i < count; ++i) {
      const int b = Byte();
      if (b < 0) return false;
      out[i] = char(b);
    }
    return true;
  }
  bool Skip(size_t count) {
    for (size_t i = 0; i < count; ++i)
      if (Byte() < 0) return false;
    return true;
  }

 private:
  int fd_ = -1;
  char buffer_[1 << 16];
  size_t next_ = 0, filled_ = 0;
};

}  // namespace

bool ReadJpegAppSegments(const std::string& path, std::vector<JpegMarker>& segments, std::string* problem) {
  segments.clear();
  const auto fail = [&](const std::string& why) {
    if (problem) *problem = why;
    return false;
  };
  Input in(path);
  if (!in.open()) return fail(std::strerror(errno));
  if (in.Byte() != 0xFF || in.Byte() != 0xD8) return fail("not a JPEG file");
  for (int count = 0; count < kMaxSegments; ++count) {
    int code = in.Byte();
    if (code != 0xFF) return true;  // not a marker: the header is over
    for (int fill = 0; code == 0xFF && fill < kMaxFill; ++fill) code = in.Byte();
    if (code < 0 || code == 0xDA || code == 0xD9) return true;
    if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) continue;  // no length field
    const int high = in.Byte(), low = in.Byte();
    if (high < 0 || low < 0 || (high << 8 | low) < 2) return true;
    const size_t length = size_t(high << 8 | low) - 2;
    if (code >= 0xE0 && code <= 0xEF) {
      JpegMarker marker{uint8_t(code), {}};
      if (!in.Read(marker.payload, length)) return true;  // cut short: left out
      segments.push_back(std::move(marker));
    } else if (!in.Skip(length)) {
      return true;
    }
  }
  return true;
}

JpegMetadata CollectJpegMetadata(const std::vector<JpegMarker>& segments) {
  JpegMetadata meta;
  struct Chunk {
    int number, count;
    const std::string* payload;
  };
  std::vector<Chunk> chunks;
  bool exifSeen = false, xmpSeen = false;
  for (const JpegMarker& s : segments) {
    if (s.code == 0xE1 && !exifSeen && StartsWith(s.payload, kExifSignature)) {
      exifSeen = true;
      meta.exif = s.payload.substr(kExifSignature.size());
    } else if (s.code == 0xE1 && !xmpSeen && StartsWith(s.payload, kXmpSignature)) {
      xmpSeen = true;
      meta.xmp = s.payload.substr(kXmpSignature.size());
    } else if (s.code == 0xE2 && StartsWith(s.payload, kIccSignature) && s.payload.size() > kIccHeader) {
      chunks.push_back({uint8_t(s.payload[12]), uint8_t(s.payload[13]), &s.payload});
    } else if (s.code == 0xED && StartsWith(s.payload, kPhotoshopSignature)) {
      meta.photoshop += s.payload.substr(kPhotoshopSignature.size());
    }
  }
  if (!chunks.empty()) {
    std::stable_sort(chunks.begin(), chunks.end(), [](const Chunk& a, const Chunk& b) { return a.number < b.number; });
    bool whole = chunks.size() == size_t(chunks.front().count);
    for (size_t i = 0; whole && i < chunks.size(); ++i)
      whole = chunks[i].number == int(i + 1) && chunks[i].count == chunks.front().count;
    if (whole) {
      for (const Chunk& c : chunks) {
        meta.icc += c.payload->substr(kIccHeader);
        meta.iccChunks.push_back(c.payload->size() - kIccHeader);
      }
    } else {
      meta.problem = "the ICC profile's segments are incomplete";
    }
  }
  return meta;
}

JpegMarker ExifMarker(const std::string& tiff) { return {0xE1, kExifSignature + tiff}; }

JpegMarker XmpMarker(const std::string& packet) { return {0xE1, kXmpSignature + packet}; }

std::vector<JpegMarker> IccMarkers(const std::string& icc, const std::vector<size_t>& chunks) {
  std::vector<size_t> sizes = chunks;
  size_t total = 0;
  for (size_t s : sizes) total += s;
  const bool usable = total == icc.size() && sizes.size() <= 255 &&
                      std::all_of(sizes.begin(), sizes.end(), [](size_t s) { return s > 0 && s <= kMaxIccChunk; });
  if (!usable) {
    sizes.clear();
    for (size_t at = 0; at < icc.size(); at += kMaxIccChunk) sizes.push_back(std::min(kMaxIccChunk, icc.size() - at));
  }
  std::vector<JpegMarker> out;
  if (icc.empty() || sizes.size() > 255) return out;
  size_t at = 0;
  for (size_t i = 0; i < sizes.size(); ++i) {
    JpegMarker m{0xE2, kIccSignature};
    m.payload += char(i + 1);
    m.payload += char(sizes.size());
    m.payload += icc.substr(at, sizes[i]);
    at += sizes[i];
    out.push_back(std::move(m));
  }
  return out;
}

std::vector<JpegMarker> PhotoshopMarkers(const std::string& resources) {
  std::vector<JpegMarker> out;
  for (size_t at = 0; at < resources.size(); at += kMaxPhotoshopChunk)
    out.push_back({0xED, kPhotoshopSignature + resources.substr(at, kMaxPhotoshopChunk)});
  return out;
}

// An image resource block: "8BIM", a 16-bit ID, a Pascal name padded to an
// even size, a 32-bit data size, the data padded to an even size; all
// numbers big-endian.
bool DropPhotoshopThumbnails(std::string_view resources, std::string& kept) {
  kept.clear();
  size_t at = 0;
  const auto byte = [&](size_t i) { return uint32_t(uint8_t(resources[i])); };
  while (at < resources.size()) {
    if (resources.size() - at < 7 || resources.substr(at, 4) != "8BIM") {
      kept.clear();
      return false;
    }
    const uint32_t id = byte(at + 4) << 8 | byte(at + 5);
    size_t name = 1 + byte(at + 6);
    name += name % 2;
    const size_t sizeAt = at + 6 + name;
    if (sizeAt > resources.size() || resources.size() - sizeAt < 4) {
      kept.clear();
      return false;
    }
    const uint64_t size = byte(sizeAt) << 24 | byte(sizeAt + 1) << 16 | byte(sizeAt + 2) << 8 | byte(sizeAt + 3);
    const uint64_t padded = size + size % 2;
    const size_t dataAt = sizeAt + 4;
    // The last block may lack its padding byte.
    if (size > resources.size() - dataAt) {
      kept.clear();
      return false;
    }
    const size_t end = size_t(std::min<uint64_t>(dataAt + padded, resources.size()));
    if (id != 1033 && id != 1036) kept.append(resources.substr(at, end - at));
    at = end;
  }
  return true;
}

}  // namespace tessaly
