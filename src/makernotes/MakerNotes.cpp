// The maker-note dispatch: which maker wrote the note and how to walk it.
#include "MakerNotes.h"

namespace tessaly {

namespace {

enum class MakerLayout {
#define MAKER_LAYOUT(layout, prefix, table, start, adjustKind, adjust, outside, order) layout,
#include "tables/MakerLayouts.def"
#undef MAKER_LAYOUT
};

enum AdjustKind { kFixed, kNotePos };
enum OutsideOrigin { kAtZero, kAtTiffHeader };
enum ByteOrder { kExifByteOrder, kLittleEndian };

struct LayoutRow {
  MakerLayout layout;
  std::string_view prefix;
  const TagTable& (*table)();
  int directoryStart;  // counted from byte 0 of the note
  AdjustKind adjustKind;
  int adjust;
  OutsideOrigin outside;
  ByteOrder order;
};

constexpr LayoutRow kLayouts[] = {
#define MAKER_LAYOUT(layout, prefix, table, start, adjustKind, adjust, outside, order) \
  {MakerLayout::layout, prefix, &table, start, adjustKind, adjust, outside, order},
#include "tables/MakerLayouts.def"
#undef MAKER_LAYOUT
};

// Position of the TIFF header in the EXIF data: byte 9 of an EXIF segment
// (after the length and the "Exif\0\0" signature), or -7 in the bytes of a
// TIFF-structured file, which start at file offset 8.
constexpr int64_t kSegmentTiffHeader = 9;
constexpr int64_t kTiffFileHeader = -7;

const LayoutRow& RowOf(MakerLayout layout) {
  for (const LayoutRow& row : kLayouts)
    if (row.layout == layout) return row;
  return kLayouts[0];  // every layout has a row
}

// The make's first five characters in upper case (ASCII letters only).
std::string MakePrefix(std::string_view make) {
  std::string prefix(make.substr(0, 5));
  for (char& c : prefix)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return prefix;
}

// The character after the model's first blank, or its first character when it
// has none ("NIKON D70" -> 'D', "E995" -> 'E'); 0 when there is no such one.
char ModelLetter(std::string_view model) {
  const size_t blank = model.find(' ');
  const size_t at = blank == std::string_view::npos ? 0 : blank + 1;
  return at < model.size() ? model[at] : '\0';
}

// Nikon wrote three layouts over the years. Newer cameras (ExifVersion above
// 0210, compared byte by byte with a longer text above its own prefix, and the
// D-series NEF files, which carry no ExifVersion) use the third kind with its
// own TIFF header; older ones start with "Nikon" or have no header at all.
MakerLayout NikonLayout(const TImageInfo& info, bool tiffMode) {
  if (info.exifVersion > std::string_view("0210")) return MakerLayout::NikonType3;
  if (info.exifVersion.empty() && tiffMode && ModelLetter(info.cameraModel) == 'D')
    return MakerLayout::NikonType3;
  if (info.makerNoteBytes.starts_with("Nikon")) return MakerLayout::NikonType1;
  return MakerLayout::NikonHeaderless;
}

// Sets the EXIF object's byte order for one walk and puts it back afterwards,
// also when the walk throws.
class ByteOrderScope {
 public:
  ByteOrderScope(TImageInfo& info, bool bigEndian) : info_(info), saved_(info.bigEndian) {
    info_.bigEndian = bigEndian;
  }
  ~ByteOrderScope() { info_.bigEndian = saved_; }
  ByteOrderScope(const ByteOrderScope&) = delete;
  ByteOrderScope& operator=(const ByteOrderScope&) = delete;

 private:
  TImageInfo& info_;
  bool saved_;
};

}  // namespace

bool ReadMakerNoteHook(TImageInfo& info) {
  TmsInfo note(info.tiffMode, &info);
  return note.ReadMakerNote(info);
}

TmsInfo::TmsInfo(bool tiffMode, TImageInfo* imageInfo)
    : tiffMode(tiffMode), imageInfo(imageInfo), notePos(imageInfo->makerNotePos) {}

bool TmsInfo::ReadMakerNote(TImageInfo& info) {
  const std::string make = MakePrefix(info.cameraMake);
  // makerNotePos counts from the start of the bytes read; in a TIFF file the
  // TIFF header lies 16 positions lower than in an EXIF segment, and the
  // P-based layouts count offsets from the TIFF header.
  if (tiffMode) notePos += kSegmentTiffHeader - kTiffFileHeader;

  const LayoutRow* row = nullptr;
  for (const LayoutRow& candidate : kLayouts)
    if (candidate.prefix == make) {
      row = &candidate;
      break;
    }
  if (row == nullptr) return false;
  if (row->prefix == "NIKON") row = &RowOf(NikonLayout(info, tiffMode));

  const int64_t offsetAdjust = row->adjust + (row->adjustKind == kNotePos ? notePos : 0);
  // A value outside the note is read relative to the TIFF header, which in a
  // TIFF file is not at 9 but at -7.
  const int64_t outsideAdjust =
      row->outside == kAtTiffHeader ? (tiffMode ? kTiffFileHeader : kSegmentTiffHeader) : 0;
  const bool bigEndian = row->order == kExifByteOrder && info.bigEndian;

  ByteOrderScope order(info, bigEndian);
  info.ReadVendorDirectory(info.makerNoteBytes, row->table(), row->directoryStart, offsetAdjust,
                           outsideAdjust);
  return true;
}

}  // namespace tessaly
