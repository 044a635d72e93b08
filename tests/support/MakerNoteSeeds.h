// Builds photos whose EXIF data carries a maker note in the layout of one of
// the eight makers the reader knows: the maker's header, its directory and the
// values that do not fit an entry, with value offsets counted from the origin
// that maker uses. MakerNoteSamples() gives one JPEG per layout, for tests and
// as seeds for the fuzz target.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "PhotoBuilder.h"

namespace tessaly::testing {

// One entry of a maker-note directory; value bytes in the note's byte order.
// With offset set, the entry points there instead and its value is not stored.
struct NoteEntry {
  uint16_t tag;
  uint16_t format;
  uint32_t count;
  std::string value;
  std::optional<uint32_t> offset = std::nullopt;
};

inline NoteEntry NoteAscii(uint16_t tag, const std::string& text) {
  return {tag, 2, static_cast<uint32_t>(text.size() + 1), text + std::string(1, '\0')};
}
inline NoteEntry NoteUndefined(uint16_t tag, const std::string& bytes) {
  return {tag, 7, static_cast<uint32_t>(bytes.size()), bytes};
}
inline NoteEntry NoteShorts(uint16_t tag, const std::vector<uint16_t>& values, bool bigEndian) {
  std::string bytes;
  for (uint16_t v : values) bytes += U16(v, bigEndian);
  return {tag, 3, static_cast<uint32_t>(values.size()), bytes};
}
inline NoteEntry NoteLongs(uint16_t tag, const std::vector<uint32_t>& values, bool bigEndian) {
  std::string bytes;
  for (uint32_t v : values) bytes += U32(v, bigEndian);
  return {tag, 4, static_cast<uint32_t>(values.size()), bytes};
}
inline NoteEntry NoteRationals(uint16_t tag, const std::vector<std::pair<uint32_t, uint32_t>>& values,
                               bool bigEndian) {
  std::string bytes;
  for (auto [n, d] : values) bytes += U32(n, bigEndian) + U32(d, bigEndian);
  return {tag, 5, static_cast<uint32_t>(values.size()), bytes};
}

// The bytes of a maker note: header, entry count, entries, a zero next-directory
// offset, then the values longer than four bytes. A value at note byte i (from
// 0) gets the offset i - origin: origin 10 for Nikon's third kind (its own TIFF
// header), 0 for Fujifilm, and minus the note's own TIFF offset for the makers
// whose offsets count from the TIFF header of the EXIF data.
inline std::string MakerNoteBytes(const std::string& header, const std::vector<NoteEntry>& entries,
                                  bool bigEndian, int64_t origin) {
  std::string dir = U16(static_cast<uint16_t>(entries.size()), bigEndian);
  std::string values;
  const int64_t valuesAt =
      static_cast<int64_t>(header.size()) + 2 + 12 * static_cast<int64_t>(entries.size()) + 4;
  for (const NoteEntry& e : entries) {
    dir += U16(e.tag, bigEndian) + U16(e.format, bigEndian) + U32(e.count, bigEndian);
    if (e.offset) {
      dir += U32(*e.offset, bigEndian);
    } else if (e.value.size() <= 4) {
      dir += e.value + std::string(4 - e.value.size(), '\0');
    } else {
      const int64_t at = valuesAt + static_cast<int64_t>(values.size());
      dir += U32(static_cast<uint32_t>(at - origin), bigEndian);
      values += e.value;
      if (values.size() % 2) values += '\0';
    }
  }
  dir += U32(0, bigEndian);
  return header + dir + values;
}

// Where a maker counts its value offsets from.
enum class NoteOrigin { kTiffHeader, kNoteStart, kNikonHeader };

// A photo with one maker note.
struct MakerNotePhoto {
  std::string make;
  std::string model;
  std::optional<std::string> exifVersion;  // raw bytes of tag 0x9000
  bool bigEndian = false;                  // byte order of the EXIF data
  bool noteBigEndian = false;              // byte order inside the note
  std::string header;                      // the maker's header before the directory
  std::vector<NoteEntry> entries;
  NoteOrigin origin = NoteOrigin::kTiffHeader;
  // Bytes appended after the note's values (some notes carry more data).
  std::string trailer;
  // An ImageUniqueID after the note in the EXIF directory, when not empty:
  // its value lies beyond the note's bytes.
  std::string uniqueId;

  std::string Tiff() const { return Builder().Build(); }
  std::string Jpeg() const { return JpegFile({ExifSegment(Tiff())}); }
  // TIFF offset of the value of a tag of the EXIF directory.
  uint32_t ExifValueOffset(uint16_t tag) const { return Builder().ValueOffset(1, tag); }

  // The TIFF structure: Make and Model in the main directory, then the EXIF
  // directory with ExifVersion, MakerNote and ExifImageWidth 640 after it.
  TiffBuilder Builder() const {
    TiffBuilder tiff(bigEndian);
    tiff.AddAscii(0, 0x010F, make);
    tiff.AddAscii(0, 0x0110, model);
    const int exif = tiff.AddDirectory();
    tiff.Link(0, 0x8769, exif);
    if (exifVersion) tiff.AddUndefined(exif, 0x9000, *exifVersion);
    const std::string placeholder = Note(0);
    tiff.AddUndefined(exif, 0x927C, placeholder);
    tiff.AddLong(exif, 0xA002, {640});
    if (!uniqueId.empty()) tiff.AddAscii(exif, 0xA420, uniqueId);
    tiff.Replace(exif, 0x927C, Note(tiff.ValueOffset(exif, 0x927C)));
    return tiff;
  }

  // The note when it lands at TIFF offset noteOffset.
  std::string Note(uint32_t noteOffset) const {
    const int64_t o = origin == NoteOrigin::kTiffHeader   ? -static_cast<int64_t>(noteOffset)
                      : origin == NoteOrigin::kNikonHeader ? 10
                                                           : 0;
    return MakerNoteBytes(header, entries, noteBigEndian, o) + trailer;
  }
};

inline MakerNotePhoto Camera(std::string make, std::string model, std::optional<std::string> exifVersion,
                             bool bigEndian, bool noteBigEndian) {
  MakerNotePhoto p;
  p.make = std::move(make);
  p.model = std::move(model);
  p.exifVersion = std::move(exifVersion);
  p.bigEndian = bigEndian;
  p.noteBigEndian = noteBigEndian;
  return p;
}

// Typical notes, one per layout, in the given byte order of the EXIF data
// (Fujifilm's note is little-endian whatever that order is).
inline MakerNotePhoto NikonType3Photo(bool be) {
  MakerNotePhoto p = Camera("NIKON CORPORATION", "NIKON D70", std::string("0221"), be, be);
  p.header = std::string("Nikon\0\x02\x10\0\0", 10) + (be ? std::string("MM\0*", 4) : std::string("II*\0", 4)) +
             U32(8, be);
  p.origin = NoteOrigin::kNikonHeader;
  p.entries = {NoteUndefined(0x0001, std::string("\0\x02\x10\0", 4)),
               NoteShorts(0x0002, {0, 200}, be),
               NoteAscii(0x0004, "FINE "),
               NoteUndefined(0x0011, std::string(4, '\x11')),
               NoteRationals(0x0084, {{180, 10}, {550, 10}, {35, 10}, {56, 10}}, be),
               NoteAscii(0x008D, "MODE2"),
               NoteUndefined(0x0F00, "hidden data")};
  p.trailer = std::string(8, '\0');
  return p;
}

inline MakerNotePhoto NikonType1Photo(bool be) {
  MakerNotePhoto p = Camera("NIKON", "E900", std::string("0210"), be, be);
  p.header = std::string("Nikon\0\x01\0", 8);
  p.entries = {NoteShorts(0x0002, {7}, be),  NoteShorts(0x0003, {12}, be),
               NoteShorts(0x0007, {3}, be),  NoteAscii(0x0008, "AF-C   "),
               NoteShorts(0x0009, {1}, be),  NoteShorts(0x000B, {1}, be)};
  p.trailer = std::string(8, '\0');
  return p;
}

inline MakerNotePhoto NikonHeaderlessPhoto(bool be) {
  MakerNotePhoto p = Camera("NIKON", "E990", std::string("0210"), be, be);
  p.entries = {NoteAscii(0x0003, "COLOR"), NoteAscii(0x0004, "FINE  "), NoteShorts(0x000A, {1}, be)};
  p.trailer = std::string(8, '\0');
  return p;
}

inline MakerNotePhoto OlympusPhoto(bool be) {
  MakerNotePhoto p = Camera("OLYMPUS OPTICAL CO.,LTD", "C960Z,D460Z", std::string("0210"), be, be);
  p.header = std::string("OLYMP\0\x01\0", 8);
  p.entries = {NoteLongs(0x0200, {0, 0, 0}, be), NoteShorts(0x0201, {3}, be),
               NoteShorts(0x0202, {1}, be),      NoteShorts(0x0203, {0}, be),
               NoteAscii(0x0207, "SX756"),       NoteUndefined(0x0209, "OLYMPUS DIGITAL CAMERA")};
  p.trailer = std::string(8, '\0');
  return p;
}

inline MakerNotePhoto CasioPhoto(bool be) {
  MakerNotePhoto p = Camera("CASIO", "QV-3000EX", std::string("0210"), be, be);
  p.entries = {NoteShorts(0x0001, {1}, be), NoteShorts(0x0002, {3}, be),
               NoteShorts(0x0008, {1}, be), NoteLongs(0x000A, {65537}, be),
               NoteShorts(0x0014, {64}, be), NoteAscii(0x0006, "far off")};
  p.trailer = std::string(8, '\0');
  return p;
}

inline MakerNotePhoto FujifilmPhoto(bool be) {
  MakerNotePhoto p = Camera("FUJIFILM", "FinePix40i", std::string("0210"), be, false);
  p.header = std::string("FUJIFILM", 8) + U32(12, false);
  p.origin = NoteOrigin::kNoteStart;
  p.entries = {NoteUndefined(0x0000, "0130"), NoteAscii(0x1000, "NORMAL "),
               NoteShorts(0x1001, {3}, false), NoteShorts(0x1002, {256}, false),
               NoteShorts(0x1010, {1}, false), NoteShorts(0x1032, {1}, false),
               NoteShorts(0x1301, {1}, false)};
  p.trailer = std::string(8, '\0');
  return p;
}

inline MakerNotePhoto CanonPhoto(bool be) {
  MakerNotePhoto p = Camera("Canon", "Canon PowerShot S40", std::string("0220"), be, be);
  p.entries = {NoteShorts(0x0000, {0, 0, 0}, be),
               NoteShorts(0x0001, {92, 2, 0, 3, 4, 0, 0, 1}, be),
               NoteShorts(0x0004, {0, 0, 0, 0, 0, 0, 0, 1}, be),
               NoteAscii(0x0006, "IMG:PowerShot S40 JPEG"),
               NoteLongs(0x0008, {1000123}, be),
               NoteShorts(0x000F, {10, 257, 1024, 3585}, be)};
  p.trailer = std::string(8, '\0');
  return p;
}

inline MakerNotePhoto EpsonPhoto(bool be) {
  MakerNotePhoto p = Camera("SEIKO EPSON CORP.", "PhotoPC 3000Z", std::string("0210"), be, be);
  p.header = std::string("EPSON\0\x01\0", 8);
  p.entries = {NoteLongs(0x0200, {0, 0, 0}, be), NoteShorts(0x0201, {2}, be),
               NoteUndefined(0x0209, "EPSON DIGITAL CAMERA"), NoteShorts(0x0300, {5}, be),
               NoteUndefined(0x0F00, "dump data")};
  p.trailer = std::string(8, '\0');
  return p;
}

inline MakerNotePhoto SanyoPhoto(bool be) {
  MakerNotePhoto p = Camera("SANYO Electric Co.,Ltd.", "SR6", std::string("0210"), be, be);
  p.header = std::string("SANYO\0\x01\0", 8);
  p.entries = {NoteLongs(0x0200, {0, 0, 0}, be), NoteShorts(0x0202, {1}, be),
               NoteShorts(0x0203, {0}, be),      NoteShorts(0x0300, {5}, be),
               NoteUndefined(0x0F00, "DUMP")};
  p.trailer = std::string(8, '\0');
  return p;
}

inline MakerNotePhoto MinoltaPhoto(bool be) {
  MakerNotePhoto p = Camera("Minolta Co., Ltd.", "DiMAGE 7", std::string("0220"), be, be);
  p.entries = {NoteUndefined(0x0000, "MLT0"), NoteUndefined(0x0E00, "PrintIM data")};
  p.trailer = std::string(8, '\0');
  return p;
}

struct MakerNoteSample {
  std::string name;
  std::string jpeg;
};

// One JPEG per maker layout and byte order.
inline std::vector<MakerNoteSample> MakerNoteSamples() {
  std::vector<MakerNoteSample> samples;
  const std::pair<const char*, MakerNotePhoto (*)(bool)> layouts[] = {
      {"nikon3", NikonType3Photo}, {"nikon1", NikonType1Photo}, {"nikon0", NikonHeaderlessPhoto},
      {"olympus", OlympusPhoto},   {"casio", CasioPhoto},       {"fujifilm", FujifilmPhoto},
      {"canon", CanonPhoto},       {"epson", EpsonPhoto},       {"sanyo", SanyoPhoto},
      {"minolta", MinoltaPhoto}};
  for (auto [name, photo] : layouts)
    for (bool be : {false, true})
      samples.push_back({std::string("makernote-") + name + (be ? "-mm" : "-ii"), photo(be).Jpeg()});
  return samples;
}

}  // namespace tessaly::testing
