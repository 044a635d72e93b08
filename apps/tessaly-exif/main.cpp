// tessaly-exif [--json] FILE...: shows what the metadata reader sees in
// photos: the outcome, the shooting date and the listings, or all of it as
// one JSON array.
#include <cerrno>
#include <clocale>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ExifReader.h"
#include "FullReader.h"
#include "IptcReader.h"
#include "OutputText.h"
#include "TessalyVersion.h"
#ifdef TESSALY_HEIF
#include "HeifFile.h"
#endif

namespace tessaly {
namespace {

constexpr int kBadUsage = 2;

// A JSON string (RFC 8259 section 7) of UTF-8 text: quotes, backslashes and
// control characters escaped.
std::string JsonEscaped(std::string_view utf8) {
  std::string out = "\"";
  for (const char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

// Texts of the reader are Windows-1251 bytes.
std::string JsonString(std::string_view bytes) { return JsonEscaped(Win1251ToUtf8(bytes)); }

// File names are bytes; one that is not UTF-8 is shown with U+FFFD in place of
// its bad bytes, so that the output stays valid JSON.
std::string JsonFileName(std::string_view name) { return JsonEscaped(ValidUtf8(name)); }

std::string JsonBool(bool value) { return value ? "true" : "false"; }

// The segment walk only creates the IPTC object; its datasets are read here.
std::vector<TTagEntry> IptcRecords(const TimgData& data) {
  std::vector<TTagEntry> records;
  if (!data.iptc || !data.iptcSegment) return records;
  data.iptc->ParseBlock(data.iptcSegment->bytes);
  for (int i = 0; i < data.iptc->Count(); ++i) records.push_back(data.iptc->GetTag(i));
  return records;
}

// A date of the EXIF data as text, empty when the file has none.
std::string DateText(const TimgData& data, TDateTime (TImageInfo::*date)() const) {
  if (!data.HasExifSegment() || !data.exif) return "";
  const TDateTime value = (*data.exif.*date)();
  return value == 0 ? "" : FormatIsoDateTime(value);
}

std::string ShotDateText(const TimgData& data) {
  return data.HasExifSegment() && data.exif ? FormatIsoDateTime(data.exif->ShotDateTime()) : "";
}

std::string JsonDate(const std::string& text) { return text.empty() ? "null" : JsonString(text); }

// Every text that comes from the file or its name is written out through
// TerminalText or TerminalListing, so that none can drive the terminal.
void PrintText(const std::string& file, bool read, const TimgData& data) {
  std::printf("File: %s\n", TerminalText(ValidUtf8(file)).c_str());
  std::printf("Read: %s\n", read ? "yes" : "no");
  std::printf("Outcome: %s\n", TerminalListing(data.errorText).c_str());
  const std::string date = ShotDateText(data);
  std::printf("Shot: %s\n", date.empty() ? "-" : date.c_str());
  if (data.exif) {
    std::printf("%s\n", TerminalListing(data.exif->tagText).c_str());
    if (!data.exif->makerNoteText.empty())
      std::printf("Maker note:%s\n", TerminalListing(data.exif->makerNoteText).c_str());
  }
  for (const TTagEntry& record : IptcRecords(data))
    std::printf("IPTC %d:%d %s = %s\n", record.iptcRecord, record.tagId,
                TerminalText(Win1251ToUtf8(record.tagName)).c_str(),
                TerminalText(Win1251ToUtf8(record.valueText)).c_str());
  std::printf("\n");
}

std::string JsonObject(const std::string& file, bool read, const TimgData& data) {
  const TImageInfo* exif = data.exif.get();
  const TImageInfo empty(nullptr, 0);
  const TImageInfo& info = exif ? *exif : empty;
  std::string o = "  {\n";
  const auto member = [&o](const char* name, const std::string& value, bool last = false) {
    o += std::string("    \"") + name + "\": " + value + (last ? "\n" : ",\n");
  };
  member("file", JsonFileName(file));
  member("readPicture", JsonBool(read));
  member("errorText", JsonString(data.errorText));
  member("hasExifSegment", JsonBool(data.HasExifSegment()));
  member("segmentCount", std::to_string(data.segmentCount));
  const std::string date = ShotDateText(data);
  member("shotDateTime", JsonDate(date));
  member("dateTaken", JsonDate(DateText(data, &TImageInfo::TakenDateTime)));
  const auto dateMember = [&data](const char* name, TDateTime (TImageInfo::*date)() const) {
    return std::string("\"") + name + "\": " + JsonDate(DateText(data, date));
  };
  member("dates", "{" + dateMember("original", &TImageInfo::OriginalDate) + ", " +
                      dateMember("digitized", &TImageInfo::DigitizedDate) + ", " +
                      dateMember("modified", &TImageInfo::ModifiedDate) + "}");
  member("cameraMake", JsonString(info.cameraMake));
  member("cameraModel", JsonString(info.cameraModel));
  member("exifVersion", JsonString(info.exifVersion));
  member("userComment", JsonString(info.userComment));
  member("imageWidth", std::to_string(info.imageWidth));
  member("imageHeight", std::to_string(info.imageHeight));
  member("flashValue", std::to_string(info.flashValue));
  member("orientation", std::to_string(info.orientation));
  member("makerNoteRead", JsonBool(info.makerNoteRead));
  std::string tags = "[";
  for (const TTagEntry& t : info.tags) {
    tags += tags.size() > 1 ? ",\n      " : "\n      ";
    tags += "{\"id\": " + std::to_string(t.tagId) + ", \"name\": " + JsonString(t.tagName) +
            ", \"caption\": " + JsonString(t.caption) + ", \"value\": " +
            JsonString(t.valueText) + ", \"format\": " + std::to_string(t.valueFormat) +
            ", \"sourceKind\": " + std::to_string(t.sourceKind) +
            ", \"pos\": " + std::to_string(t.valuePos) + "}";
  }
  member("tags", tags + (info.tags.empty() ? "]" : "\n    ]"));
  member("tagText", JsonString(info.tagText));
  member("makerNoteText", JsonString(info.makerNoteText));
  std::string iptc = "[";
  for (const TTagEntry& r : IptcRecords(data)) {
    iptc += iptc.size() > 1 ? ",\n      " : "\n      ";
    iptc += "{\"record\": " + std::to_string(r.iptcRecord) +
            ", \"dataset\": " + std::to_string(r.tagId) + ", \"name\": " +
            JsonString(r.tagName) + ", \"value\": " + JsonString(r.valueText) + "}";
  }
  member("iptc", iptc + (iptc.size() > 1 ? "\n    ]" : "]"), true);
  return o + "  }";
}

// Why a file cannot be read (the system's text), empty when it can: it opens
// and is a regular file.
std::string Unreadable(const std::string& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  struct stat facts {};
  const bool regular = ::fstat(fd, &facts) == 0 && S_ISREG(facts.st_mode);
  const bool folder = S_ISDIR(facts.st_mode);
  ::close(fd);
  if (folder) return std::strerror(EISDIR);
  return regular ? "" : "Not a regular file";
}

bool ReadFile(TimgData& data, const std::string& file) {
#ifdef TESSALY_HEIF
  // HEIF files (ISO/IEC 23008-12) hold their EXIF data in an item of their
  // own, which libheif finds; the reader parses it as a JPEG's EXIF segment.
  if (KindOf(file) == PictureKind::Heif) {
    const std::optional<std::string> exif = ReadHeifExif(file);
    if (exif) return data.ReadExifBlock(*exif, file);
  }
#endif
  return data.ReadPicture(file);
}

int Run(int argc, char** argv) {
  bool json = false;
  std::vector<std::string> files;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (options && arg == "--version") {
      std::printf("tessaly-exif %s\n", TESSALY_VERSION);
      return 0;
    } else if (options && arg == "--help") {
      std::printf("usage: tessaly-exif [--json] FILE...\n"
                  "Shows what the metadata reader sees in photos; --json writes it as one JSON array.\n");
      return 0;
    } else if (options && arg == "--json") {
      json = true;
    } else if (options && arg == "--") {
      options = false;
    } else if (options && arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "tessaly-exif: unknown option %s\n", argv[i]);
      files.clear();
      break;
    } else {
      files.emplace_back(arg);
    }
  }
  if (files.empty()) {
    std::fprintf(stderr, "usage: tessaly-exif [--json] FILE...\n");
    return kBadUsage;
  }

  // Numbers are shown with the user's decimal separator, as the window does.
  std::setlocale(LC_ALL, "");
  const char* point = std::localeconv()->decimal_point;
  SetDecimalSeparator(point && point[0] && !point[1] ? point[0] : '.');
  std::setlocale(LC_NUMERIC, "C");

  int status = 0;
  bool first = true;
  if (json) std::printf("[\n");
  for (size_t i = 0; i < files.size(); ++i) {
    // A file that is missing or cannot be read is said on stderr and makes
    // the exit status 1; the others are listed.
    if (const std::string problem = Unreadable(files[i]); !problem.empty()) {
      std::fprintf(stderr, "tessaly-exif: cannot read %s: %s\n", TerminalText(ValidUtf8(files[i])).c_str(),
                   problem.c_str());
      status = 1;
      continue;
    }
    TimgData data(kBuildAll, FullReader());
    const bool read = ReadFile(data, files[i]);
    if (json)
      std::printf("%s%s", first ? "" : ",\n", JsonObject(files[i], read, data).c_str());
    else
      PrintText(files[i], read, data);
    first = false;
  }
  if (json) std::printf("%s]\n", first ? "" : "\n");
  return status;
}

}  // namespace
}  // namespace tessaly

int main(int argc, char** argv) { return tessaly::Run(argc, argv); }
