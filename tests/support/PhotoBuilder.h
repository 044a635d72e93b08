// Builds the bytes of test photos: TIFF structures with directories and
// linked sub-directories, EXIF APP1 segments and JPEG segment sequences.
// Tests make every photo they read with these; nothing is read from outside.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tessaly::testing {

// Multi-byte values in the chosen byte order.
std::string U16(uint16_t v, bool bigEndian);
std::string U32(uint32_t v, bool bigEndian);

// TIFF header + directories. Directory 0 is the first (main) directory; the
// layout is: header (8 bytes), then each directory in the order created, each
// followed by the values that do not fit into an entry.
class TiffBuilder {
 public:
  explicit TiffBuilder(bool bigEndian);

  bool bigEndian() const { return bigEndian_; }
  int AddDirectory();  // returns its number; directory 0 exists from the start

  // Adds an entry with raw value bytes (already in the file's byte order).
  // count is written as given, so a test can make it disagree with the bytes.
  void Add(int dir, uint16_t tag, uint16_t format, uint32_t count, std::string value);
  void AddAscii(int dir, uint16_t tag, const std::string& text);  // adds the zero
  void AddShort(int dir, uint16_t tag, std::vector<uint16_t> values);
  void AddLong(int dir, uint16_t tag, std::vector<uint32_t> values);
  void AddRational(int dir, uint16_t tag, std::vector<std::pair<uint32_t, uint32_t>> values);
  void AddSRational(int dir, uint16_t tag, std::vector<std::pair<int32_t, int32_t>> values);
  void AddUndefined(int dir, uint16_t tag, const std::string& bytes);
  // A LONG entry whose value is the offset of another directory.
  void Link(int dir, uint16_t tag, int child);
  // A LONG entry with an arbitrary offset (for offsets that point anywhere).
  void AddRawOffset(int dir, uint16_t tag, uint32_t offset);

  // Sets the next-directory link of dir (IFD0's link leads to IFD1).
  void SetNext(int dir, int next);

  // Replaces the value of an entry with bytes of the same length (for values,
  // such as maker notes, that contain offsets and so depend on the layout).
  void Replace(int dir, uint16_t tag, std::string value);
  // TIFF offset (from the header) of an entry's value, or of a directory.
  uint32_t ValueOffset(int dir, uint16_t tag) const;
  uint32_t DirectoryOffset(int dir) const;

  // The whole structure: "II*\0"/"MM\0*", offset 8, directories.
  std::string Build() const;

 private:
  struct Entry {
    uint16_t tag, format;
    uint32_t count;
    std::string value;
    int link = -1;  // directory number for Link entries
  };
  std::vector<std::vector<Entry>> dirs_;
  std::vector<int> next_;  // next-directory link of each directory, -1: none
  bool bigEndian_;
  const Entry& Find(int dir, uint16_t tag) const;
  std::vector<uint32_t> Layout() const;  // offset of each directory
};

// A JPEG segment: 0xFF, marker, length (counting itself), payload.
std::string Segment(uint8_t marker, const std::string& payload);
// An APP1 segment with the EXIF signature and the TIFF structure.
std::string ExifSegment(const std::string& tiff);
// SOI, the segments, then SOS with a tiny fake scan and EOI. Not decodable
// as a picture; for the metadata reader only.
std::string JpegFile(const std::vector<std::string>& segments);

// Writes bytes to a file; returns the path. Folder from TempDir().
std::string WriteFile(const std::string& path, const std::string& bytes);
// A fresh folder under the system's temporary folder for one test.
std::string TempDir(const std::string& name);

}  // namespace tessaly::testing
