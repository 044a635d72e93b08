// TimgData: the JPEG segment walk (JPEG ISO/IEC 10918-1 annex B.1; EXIF 2.3
// section 4.5.4 for the APP1 segment) and the read of TIFF-structured files.
#include <algorithm>
#include <cstdio>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ExifReader.h"

namespace tessaly {

namespace {

const std::string kExifSignature("Exif\0", 5);
constexpr int kMetadataDeadline = 5;   // metadata must show up among the first segments
constexpr int kSegmentReadLimit = 64;  // segments read, dropped ones included
constexpr int64_t kFillLimit = 65536;  // 0xFF fill bytes before a marker (B.1.1.2)
constexpr int64_t kSignaturePos = 3, kTiffHeaderPos = 9, kFirstDirectoryPos = 13;
constexpr int64_t kTiffFirstDirectory = 8;

// Where a walk takes its bytes from, front to back: a file or a buffer.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // The next byte, or -1 at the end.
  virtual int Byte() = 0;
  // count bytes; those beyond the end are zeros. got: how many there were.
  virtual std::string Read(size_t count, size_t* got = nullptr) = 0;
};

// A regular file open for reading; closed on every path. Read as the walk
// goes, so that a photo's picture data after its metadata is never read.
class InputFile final : public ByteSource {
 public:
  explicit InputFile(const std::string& name) {
    // Opened without blocking: a named pipe would otherwise wait for a writer
    // for ever. It, like a folder or a device, is then refused as no file.
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat facts {};
    if (fd >= 0 && ::fstat(fd, &facts) == 0 && S_ISREG(facts.st_mode)) file_ = ::fdopen(fd, "rb");
    if (!file_) {
      if (fd >= 0) ::close(fd);
      throw ReadError("Cannot open " + name);
    }
  }
  ~InputFile() { std::fclose(file_); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  int Byte() override { return std::getc(file_); }

  std::string Read(size_t count, size_t* got = nullptr) override {
    std::string bytes(count, '\0');
    const size_t n = std::fread(bytes.data(), 1, count, file_);
    if (got) *got = n;
    return bytes;
  }

 private:
  std::FILE* file_ = nullptr;
};

// Bytes in memory, read like a file.
class InputBytes final : public ByteSource {
 public:
  explicit InputBytes(std::string_view bytes) : bytes_(bytes) {}

  int Byte() override { return at_ < bytes_.size() ? static_cast<uint8_t>(bytes_[at_++]) : -1; }

  std::string Read(size_t count, size_t* got = nullptr) override {
    const size_t n = std::min(count, bytes_.size() - at_);
    std::string bytes(count, '\0');
    bytes.replace(0, n, bytes_.substr(at_, n));
    at_ += n;
    if (got) *got = n;
    return bytes;
  }

 private:
  std::string_view bytes_;
  size_t at_ = 0;
};

std::string LowerExtension(const std::string& name) {
  const size_t slash = name.find_last_of('/');
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = name.substr(dot);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext;
}

TDateTime LocalDateTime(std::time_t stamp) {
  std::tm t{};
  TDateTime value = 0;
  if (::localtime_r(&stamp, &t))
    TryEncodeDateTime(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min,
                      t.tm_sec, value);
  return value;
}

bool HasExifSignature(const std::string& bytes) {
  return bytes.compare(kSignaturePos - 1, kExifSignature.size(), kExifSignature) == 0;
}

// Parses the EXIF segment whose bytes are in the reader's buffer.
void ParseExifSegment(TimgData& data, const tSection& slot) {
  if (!data.exif) data.exif = std::make_unique<TImageInfo>(&data, data.buildCode);
  TImageInfo& info = *data.exif;
  if (!HasExifSignature(data.buffer)) {
    data.errorText = "Incorrect Exif header";
    return;
  }
  const std::string order =
      data.buffer.size() >= kTiffHeaderPos + 1 ? data.buffer.substr(kTiffHeaderPos - 1, 2) : "";
  if (order != "II" && order != "MM") {
    data.errorText = "Invalid Exif alignment marker";
    return;
  }
  data.bigEndian = order == "MM";
  info.tagText.clear();
  info.buffer = data.buffer;
  info.bigEndian = data.bigEndian;
  const int64_t first = data.Get32(kFirstDirectoryPos);
  const int64_t start = first == 0 ? kTiffHeaderPos + kTiffFirstDirectory : first + kTiffHeaderPos;
  info.ReadDirectory(start, kTiffHeaderPos, slot.length - 6, kMainDirectory);
  if (!data.errorText.empty()) info.Derive35mmFocalLength();
}

// The marker code after any number of 0xFF fill bytes; -1 at the end.
int NextMarker(ByteSource& file) {
  for (int64_t fill = 0; fill < kFillLimit; ++fill) {
    const int byte = file.Byte();
    if (byte != 0xFF) return byte;
  }
  return -1;
}

bool WalkSegments(TimgData& data, ByteSource& file) {
  if (file.Byte() != 0xFF || file.Byte() != 0xD8) return false;
  data.segmentCount = 0;
  for (int read = 0; data.segmentCount < TimgData::kWalkLimit && read < kSegmentReadLimit;
       ++read) {
    const int marker = NextMarker(file);
    if (marker < 0) break;
    tSection& slot = data.segments[data.segmentCount + 1];
    std::string bytes = file.Read(2);
    const int length = static_cast<uint8_t>(bytes[0]) << 8 | static_cast<uint8_t>(bytes[1]);
    if (length < 2) break;  // cannot hold its own length bytes (or the file ended)
    ++data.segmentCount;
    // A segment cut short by the end of the file keeps its length, zero-filled.
    bytes += file.Read(static_cast<size_t>(length - 2));
    slot.bytes = std::move(bytes);
    slot.marker = marker;
    slot.length = length;
    if (data.segmentCount == kMetadataDeadline && !data.HasMetadata()) break;

    switch (marker) {
      case 0xD9:  // end of image
      case 0xDA:  // start of scan: no metadata follows
        return data.HasMetadata();
      case 0xE0: data.jfifSegment = &slot; break;
      case 0xE1:
        // Late APP1 segments give their slot back.
        if (data.segmentCount > kMetadataDeadline) {
          --data.segmentCount;
          break;
        }
        // An APP1 of other data (XMP, say) keeps its slot like any other
        // segment, but never displaces EXIF data already read.
        if (data.exifSegment && HasExifSignature(data.exifSegment->bytes) &&
            !HasExifSignature(slot.bytes))
          break;
        data.exifSegment = &slot;
        data.exif.reset();
        data.exif = std::make_unique<TImageInfo>(&data, data.buildCode);
        data.buffer = slot.bytes;
        ParseExifSegment(data, slot);
        break;
      case 0xED:
        if (!data.iptcSegment) {
          data.iptcSegment = &slot;
          if (data.extensions.createIptc) data.iptc = data.extensions.createIptc(data);
        }
        break;
      case 0xFE: data.commentSegment = &slot; break;
      default: break;
    }
  }
  return data.HasMetadata();
}

bool ReadJpeg(TimgData& data, ByteSource& file) {
  data.tiffMode = false;
  try {
    return WalkSegments(data, file);
  } catch (const std::exception&) {
    return false;  // what was recorded before stays
  }
}

bool ReadTiffStructure(TimgData& data, ByteSource& file) {
  const std::string order = file.Read(2);
  if (order != "II" && order != "MM") return false;
  tSection& slot = data.segments[1];
  size_t got = 0;
  file.Read(6, &got);  // magic number and first offset; the walk starts at offset 8
  if (got != 6) return false;
  slot.bytes = file.Read(TimgData::kTiffReadSize);
  slot.length = TimgData::kTiffReadSize;
  slot.marker = 0;
  data.segmentCount = 1;
  data.exifSegment = &slot;
  data.exif = std::make_unique<TImageInfo>(&data, data.buildCode);
  TImageInfo& info = *data.exif;
  info.tiffMode = true;
  info.tagText.clear();
  data.buffer = slot.bytes;
  info.buffer = slot.bytes;
  info.bigEndian = order == "MM";
  // File offset X stands at position X - 7: position 1 holds offset 8.
  info.ReadDirectory(1, 1 - kTiffFirstDirectory, TimgData::kTiffReadSize, kMainDirectory);
  info.Derive35mmFocalLength();
  return true;
}

bool ReadTiff(TimgData& data, ByteSource& file) {
  struct TiffMode {
    TimgData& data;
    ~TiffMode() { data.tiffMode = false; }
  } mode{data};
  data.tiffMode = true;
  try {
    return ReadTiffStructure(data, file);
  } catch (const std::exception&) {
    return false;
  }
}

// Reads a picture as its name's extension says (JPEG or TIFF-structured),
// its bytes from the source open() gives. An extension of neither kind is no
// EXIF file; a source that cannot be opened (open() throws) is an error.
template <typename Open>
void ReadByExtension(TimgData& data, const std::string& name, Open open) {
  data.errorText = "Not an EXIF file";
  try {
    const std::string ext = LowerExtension(name);
    bool read = false;
    if (ext == ".jpg" || ext == ".jpeg" || ext == ".jpe") {
      auto source = open();
      read = ReadJpeg(data, source);
    } else if (ext == ".tif" || ext == ".tiff" || ext == ".nef") {
      auto source = open();
      read = ReadTiff(data, source);
    }
    if (read) data.errorText = "<none>";
  } catch (const std::exception&) {
    data.errorText = "Illegal Exif construction";
  }
}

// The file's name, date and size; false when it cannot be found.
bool ReadFileFacts(TimgData& data, const std::string& name) {
  struct stat facts {};
  if (::stat(name.c_str(), &facts) != 0) return false;
  data.fileName = name;
  data.fileDate = LocalDateTime(facts.st_mtime);
  data.fileSize = facts.st_size;
  return true;
}

}  // namespace

TimgData::TimgData(int buildCode, ReaderExtensions extensions)
    : buildCode(buildCode), extensions(extensions) {
  Reset();
}

TimgData::~TimgData() = default;

void TimgData::Reset() {
  segmentCount = 0;
  exifSegment = iptcSegment = commentSegment = jfifSegment = nullptr;
  fileName.clear();
  fileDate = 0;
  fileSize = 0;
  errorText.clear();
  exif.reset();
  iptc.reset();
  bigEndian = false;
}

bool TimgData::ReadPicture(const std::string& name) {
  Reset();
  if (!ReadFileFacts(*this, name)) return false;
  ReadByExtension(*this, name, [&] { return InputFile(name); });
  return HasMetadata();
}

bool TimgData::ReadPictureBytes(std::string_view bytes, const std::string& name) {
  Reset();
  fileName = name;
  fileSize = static_cast<int64_t>(bytes.size());
  ReadByExtension(*this, name, [&] { return InputBytes(bytes); });
  return HasMetadata();
}

bool TimgData::ReadExifBlock(const std::string& tiffBytes, const std::string& name) {
  Reset();
  if (!ReadFileFacts(*this, name)) fileName = name;
  errorText = "Not an EXIF file";
  // The block takes the place of an APP1 segment: its length bytes (the
  // field holds 16 bits; the slot keeps the whole length), the signature
  // "Exif\0\0", the TIFF bytes, so that every position and offset is the
  // one a JPEG file's EXIF data would have.
  const std::string tiff = tiffBytes.substr(0, kTiffReadSize);
  const size_t length = kTiffHeaderPos - 1 + tiff.size();
  const size_t field = std::min<size_t>(length, 0xFFFF);
  tSection& slot = segments[1];
  slot.bytes = std::string{char(field >> 8), char(field & 0xFF)} + kExifSignature + '\0' + tiff;
  slot.marker = 0xE1;
  slot.length = static_cast<int>(length);
  segmentCount = 1;
  exifSegment = &slot;
  exif = std::make_unique<TImageInfo>(this, buildCode);
  buffer = slot.bytes;
  try {
    ParseExifSegment(*this, slot);
    if (errorText == "Not an EXIF file") errorText = "<none>";
  } catch (const std::exception&) {
    errorText = "Illegal Exif construction";
  }
  return HasMetadata();
}

}  // namespace tessaly
