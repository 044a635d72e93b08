// ExifReader: the JPEG container and TIFF/EXIF directory reader.
//
// The reader parses untrusted bytes. Every read goes through tEndInd::Get16 /
// Get32 or a checked copy; a position outside a buffer throws ReadError, which
// the enclosing step catches and turns into an outcome text in
// TimgData::errorText. Nothing here throws to the caller of ReadPicture.
//
// Strings are byte strings exactly as the file holds them: one byte, one
// character. Texts of the tag tables are in the Windows-1251 code page (the
// degree sign is byte 0xB0). Convert with Win1251ToUtf8 only where text leaves
// the library.
//
// Positions into byte buffers are 1-based throughout, as in the file formats'
// own descriptions ("position 9 is the TIFF header of an EXIF segment").
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

class TimgData;
class TImageInfo;
class TIPTCdata;  // IptcReader module

// A date-time as days since 30 December 1899 00:00, the fraction being the
// time of day (0.5 is noon). 0 stands for "no date".
using TDateTime = double;

// A read outside a buffer, or another fault in the bytes of a file.
class ReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// ---------------------------------------------------------------------------
// Tag records and tables (TagTables.cpp; rows in tables/*.def)

// Per-tag formatting routine: takes the value text the walk built, returns the
// display text. May throw (a field that is not an integer, for example).
using TagFormatter = std::string (*)(const std::string& text);
// Per-tag number conversion: turns the number of a value into the number its
// format text shows (an APEX value into an f-number, for example).
using NumberConversion = double (*)(double number);

// One tag, both as a table row and as a stored tag with its value.
struct TTagEntry {
  int32_t sourceKind = 0;      // 0 table rows and standard directories, 1 maker notes
  uint16_t valueFormat = 0;    // TIFF field type of the stored value; 0 in rows
  uint16_t iptcRecord = 0;     // IPTC record number (IPTC table only)
  uint16_t tagId = 0;          // 0 marks the unknown entry, never stored
  std::string tagName;
  std::string caption;
  std::string decodeList;      // "0:Auto,1:Manual,..." or empty
  std::string valueText;
  std::string rawBytes;
  int32_t valuePos = 0;        // 1-based position of the value bytes
  std::string formatText;      // "%5.2f", "%s sec", ...
  int32_t dataSize = 0;        // length of rawBytes; IPTC rows: max data length
  TagFormatter formatter = nullptr;
  NumberConversion numberConversion = nullptr;
};

using TagTable = std::vector<TTagEntry>;

// Directory kinds: which table names the tags of a directory.
enum DirectoryKind : int { kMainDirectory = 1, kGpsDirectory = 2 };

// Makes sure the captions of the static tables are generated (idempotent).
void InitTagTables();
// "ExposureTime" -> "Exposure Time"; only a capital after a non-capital gets a blank.
std::string CaptionFromName(std::string_view name);
const TagTable& MainTagTable();      // 250 rows, ascending tag numbers
const TagTable& GpsTagTable();       // 31 rows, 0x0000..0x001E
const TTagEntry& UnknownTagEntry();  // tagId 0, name and caption "Unknown"
// The marker-name table of the JPEG segment reader (30 rows; tagId and caption).
const TagTable& MarkerNameTable();

// Copy of the row for tag in the table of the directory kind (1 and 4: main,
// 2: GPS), or of the unknown entry.
TTagEntry LookupTag(uint16_t tag, int kind);
// 0-based index of the first main-table row named so (ASCII case ignored), or -1.
int MainTableIndex(std::string_view name);
// Index of the first row of a vendor table with this tag, or -1.
int VendorTagIndex(uint16_t tag, const TagTable& table);
// Decode list of the last row of a vendor table with this tag, or empty.
std::string VendorDecodeList(uint16_t tag, const TagTable& table);
// The meaning of value in a decode list; empty when the list does not hold it.
std::string DecodeLookup(std::string_view list, std::string_view value);
// Compares two names with ASCII letters folded to one case.
bool SameNameIgnoringCase(std::string_view a, std::string_view b);

// ---------------------------------------------------------------------------
// Value formatting (ValueFormat.cpp)

// Component size in bytes of a TIFF field type; 0 for codes 0 and above 12.
int FormatSize(int format);

// The decimal separator of fixed-point output. The library default is '.';
// programs set it from the user's locale, tests pin it.
void SetDecimalSeparator(char separator);
char DecimalSeparator();

// printf-style formatting of the reader's patterns with one argument:
// "%d" (integer), "%s" (text) and "%W.Pf" (fixed point, halves rounded away
// from zero, DecimalSeparator()). Other characters are copied. Throws
// std::invalid_argument when the pattern does not fit the argument.
std::string FormatNumber(std::string_view pattern, double value);
std::string FormatInteger(std::string_view pattern, int64_t value);
std::string FormatText(std::string_view pattern, std::string_view text);

// Rounds to the nearest integer, halves to even (the word Round of the formats).
int64_t RoundHalfEven(double value);

double FractionValue(std::string_view text);  // "-15/10" -> -1.5; failure 0
// The text of an ASCII value (TIFF type 2): its bytes up to the first zero
// byte, or all of them when it has none.
std::string AsciiText(std::string_view raw);
std::string CleanText(std::string_view text); // first 50 chars, controls -> '.'
std::string HexText(std::string_view bytes);  // " 01 AB" for the first 16 bytes, "..."

// Number conversions referenced by table rows.
double ApexToFNumber(double apex);  // APEX aperture value -> f-number

// Formatters referenced by table rows.
std::string ComponentsText(const std::string& text);
std::string ShutterSpeedText(const std::string& text);
std::string FlashText(const std::string& text);
std::string UserCommentText(const std::string& text);
std::string ByteCharsText(const std::string& text);
std::string GpsDegreesText(const std::string& text);
std::string GpsTimeText(const std::string& text);

// Windows-1251 bytes to UTF-8, for text that leaves the library.
std::string Win1251ToUtf8(std::string_view bytes);

// Length of the well-formed UTF-8 sequence at the start of bytes (Unicode
// 15.0, table 3-7: no overlong forms, no surrogates, nothing past U+10FFFF),
// 1 for an ASCII byte; 0 when none starts there or bytes is empty.
size_t Utf8SequenceLength(std::string_view bytes);

// ---------------------------------------------------------------------------
// Dates (DateTime.cpp)

// Calendar conversions of the TDateTime scale; false when out of range.
bool TryEncodeDateTime(int year, int month, int day, int hour, int minute,
                       int second, TDateTime& result);
void DecodeDateTime(TDateTime value, int& year, int& month, int& day,
                    int& hour, int& minute, int& second);
// "YYYY:MM:DD HH:MM:SS" (separator positions not read) -> date-time, or 0.
TDateTime ParseExifDateTime(std::string_view text);
// "YYYY-MM-DD HH:MM:SS"
std::string FormatIsoDateTime(TDateTime value);

// ---------------------------------------------------------------------------
// Byte buffer with a byte order.

class tEndInd {
 public:
  bool bigEndian = false;
  std::string buffer;  // positions are 1-based

  // Unsigned 16-bit value at pos and pos+1; throws ReadError outside buffer.
  uint16_t Get16(int64_t pos) const;
  // Signed 32-bit value at pos..pos+3; throws ReadError outside buffer.
  int32_t Get32(int64_t pos) const;
};

// One JPEG segment slot.
struct tSection {
  std::string bytes;  // the two length bytes, then the payload
  int marker = 0;
  int length = 0;     // the 16-bit length field (counts its own two bytes)
};

// Hooks through which the reader reaches the maker-note and IPTC modules,
// which are built on top of it. An empty hook leaves that step out.
struct ReaderExtensions {
  // Runs the maker-note dispatch for the maker note the walk just met;
  // returns whether a maker was recognised.
  bool (*readMakerNote)(TImageInfo& info) = nullptr;
  // Creates the IPTC object for the first APP13 segment of a file.
  std::shared_ptr<TIPTCdata> (*createIptc)(TimgData& owner) = nullptr;
};

// Build codes: what the directory walks build.
enum BuildCode : int { kBuildText = 2, kBuildRecords = 4, kBuildAll = 255 };

// ---------------------------------------------------------------------------
// TIFF/EXIF directory parser (ImageInfo.cpp)

class TImageInfo : public tEndInd {
 public:
  TImageInfo(TimgData* owner, int buildCode);
  virtual ~TImageInfo() = default;
  TImageInfo(const TImageInfo&) = delete;
  TImageInfo& operator=(const TImageInfo&) = delete;

  TimgData* owner;
  std::vector<TTagEntry> tags;  // stored records, in walk order
  int buildCode;
  bool tiffMode = false;

  std::string exifVersion;  // at most 6 bytes
  std::string cameraMake;   // at most 32
  std::string cameraModel;  // at most 40
  std::string dateTime;     // at most 20
  int32_t dateTimePos = 0, dateTimeOriginalPos = 0, dateTimeDigitizedPos = 0;
  int32_t imageWidth = 0, imageHeight = 0;
  int32_t widthPos = 0, heightPos = 0;
  int32_t flashValue = 0;
  // EXIF Orientation of IFD0 (EXIF 2.3 section 4.6.4): 1 upright, 2 mirrored,
  // 3 turned 180 degrees, 4 flipped, 5 transposed, 6 to be turned 90 degrees
  // clockwise, 7 transverse, 8 to be turned 90 degrees anticlockwise; 1 when
  // the tag is missing or holds anything else.
  int32_t orientation = 1;
  std::string userComment;
  int32_t userCommentPos = 0, userCommentLength = 0;
  std::string makerNoteBytes;
  int32_t makerNotePos = 0;
  bool makerNoteRead = false;
  std::string tagText;        // listing of the main walk
  std::string makerNoteText;  // listing of the vendor walk

  int tagCount() const { return static_cast<int>(tags.size()); }

  // Walks one directory: start S (1-based position of the count field), a
  // TIFF offset X stands at position B + X, the data ends at B + L.
  void ReadDirectory(int64_t start, int64_t offsetBase, int64_t dataLength, int kind);
  // Walks one maker-note directory of the bytes D with a vendor table.
  void ReadVendorDirectory(const std::string& bytes, const TagTable& table,
                           int directoryStart, int64_t offsetAdjust,
                           int64_t outsideAdjust);

  // Conversions by this object's byte order.
  int32_t RawToInt(std::string_view bytes) const;
  double NumericValue(std::string_view bytes, int format) const;
  // The display text of a value; a number pattern shows convert(number)
  // when a conversion is given.
  std::string ValueText(std::string_view bytes, int format, std::string_view decodeList,
                        std::string_view pattern, NumberConversion convert = nullptr) const;

  // Lookups over the stored records by name (the class's two virtual operations).
  virtual int TagIndex(std::string_view name) const;
  virtual std::string TagValueText(std::string_view name) const;
  double TagNumber(std::string_view name) const;
  int64_t TagRounded(std::string_view name) const;
  void Derive35mmFocalLength();

  // The shooting date: DateTimeDigitized, then DateTimeOriginal, then
  // DateTime; a tag whose text does not parse is passed over; 0 when none.
  TDateTime ShotDateTime() const;
  // Each date tag on its own: DateTimeOriginal (0x9003), DateTimeDigitized
  // (0x9004) and DateTime (0x0132); 0 when the tag is missing or its text
  // does not parse.
  TDateTime OriginalDate() const;
  TDateTime DigitizedDate() const;
  TDateTime ModifiedDate() const;
  // Parses the (at most) 19 bytes of the owner's EXIF segment from pos on.
  TDateTime DateTimeAt(int64_t pos) const;

  // Appends a record as the walks do (tags with tagId 0 are not stored).
  void AddRecord(const TTagEntry& entry);

 private:
  int depth_ = 0;                      // nesting of directory walks
  std::vector<int64_t> activeDirs_;    // directories on the current walk path
  // What one top-level walk may still read: entries visited and value bytes
  // copied (maker notes included), so that no file can make it run long or
  // grow large.
  int64_t entriesLeft_ = 0;
  int64_t bytesLeft_ = 0;
  void ResetBudget();
  void Spend(int64_t entries, int64_t bytes);
};

// ---------------------------------------------------------------------------
// JPEG segment reader (ImgData.cpp)

class TimgData : public tEndInd {
 public:
  static constexpr int kSlotCount = 21;
  static constexpr int kWalkLimit = 20;
  static constexpr int kTiffReadSize = 256000;

  explicit TimgData(int buildCode, ReaderExtensions extensions = {});
  ~TimgData();
  TimgData(const TimgData&) = delete;
  TimgData& operator=(const TimgData&) = delete;

  tSection segments[kSlotCount + 1];  // slots 1..21; [0] unused
  bool tiffMode = false;
  int buildCode;
  int segmentCount = 0;
  const tSection* exifSegment = nullptr;
  const tSection* iptcSegment = nullptr;
  const tSection* commentSegment = nullptr;
  const tSection* jfifSegment = nullptr;
  std::string fileName;
  TDateTime fileDate = 0;
  int64_t fileSize = 0;
  std::string errorText;
  std::unique_ptr<TImageInfo> exif;
  std::shared_ptr<TIPTCdata> iptc;
  ReaderExtensions extensions;

  // Reads the file and returns HasMetadata(); never throws. Its name's
  // extension decides how: .jpg/.jpeg/.jpe as JPEG, .tif/.tiff/.nef as TIFF.
  bool ReadPicture(const std::string& fileName);
  // Reads a picture held in memory exactly as ReadPicture reads a file of
  // these bytes named name: fileName is name, fileSize the byte count,
  // fileDate 0. Nothing refers to bytes after the call. Never throws.
  bool ReadPictureBytes(std::string_view bytes, const std::string& name);
  // Reads an EXIF block that comes without a JPEG around it (the EXIF item
  // of a HEIF file, which the caller takes out of the file): tiffBytes from
  // the TIFF header on, at most kTiffReadSize of them, parsed exactly as the
  // EXIF segment of a JPEG file. fileName gives the file's date and size.
  // Returns HasMetadata(); never throws.
  bool ReadExifBlock(const std::string& tiffBytes, const std::string& fileName);
  bool HasExifSegment() const { return exifSegment != nullptr; }
  bool HasMetadata() const {
    return exifSegment != nullptr || commentSegment != nullptr || iptcSegment != nullptr;
  }
  void Reset();
};

}  // namespace tessaly
