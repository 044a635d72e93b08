// tessaly-exif [--json] FILE...: shows what the metadata reader sees in
// photos: the outcome, the shooting date and the listings, or all of it as
// one JSON array.
#include <clocale>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "ExifReader.h"
#include "FullReader.h"
#include "IptcReader.h"

namespace tessaly {
namespace {

constexpr int kBadUsage = 2;

// Text of the reader (Windows-1251) as UTF-8 with the listing's CR LF line
// breaks as plain line feeds.
std::string Utf8Lines(std::string_view bytes) {
  std::string text = Win1251ToUtf8(bytes);
  std::string out;
  for (size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
  return out;
}

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

// Arguments are UTF-8 file names already; they are escaped without conversion.
std::string JsonFileName(std::string_view name) { return JsonEscaped(name); }

std::string JsonBool(bool value) { return value ? "true" : "false"; }

// The segment walk only creates the IPTC object; its datasets are read here.
std::vector<TTagEntry> IptcRecords(const TimgData& data) {
  std::vector<TTagEntry> records;
  if (!data.iptc || !data.iptcSegment) return records;
  data.iptc->ParseBlock(data.iptcSegment->bytes);
  for (int i = 0; i < data.iptc->Count(); ++i) records.push_back(data.iptc->GetTag(i));
  return records;
}

std::string ShotDateText(const TimgData& data) {
  return data.HasExifSegment() && data.exif ? FormatIsoDateTime(data.exif->ShotDateTime()) : "";
}

void PrintText(const std::string& file, bool read, const TimgData& data) {
  std::printf("File: %s\n", file.c_str());
  std::printf("Read: %s\n", read ? "yes" : "no");
  std::printf("Outcome: %s\n", Utf8Lines(data.errorText).c_str());
  const std::string date = ShotDateText(data);
  std::printf("Shot: %s\n", date.empty() ? "-" : date.c_str());
  if (data.exif) {
    std::printf("%s\n", Utf8Lines(data.exif->tagText).c_str());
    if (!data.exif->makerNoteText.empty())
      std::printf("Maker note:%s\n", Utf8Lines(data.exif->makerNoteText).c_str());
  }
  for (const TTagEntry& record : IptcRecords(data))
    std::printf("IPTC %d:%d %s = %s\n", record.iptcRecord, record.tagId,
                Utf8Lines(record.tagName).c_str(), Utf8Lines(record.valueText).c_str());
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
  member("shotDateTime", date.empty() ? "null" : JsonString(date));
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

int Run(int argc, char** argv) {
  bool json = false;
  std::vector<std::string> files;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (options && arg == "--json") {
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

  if (json) std::printf("[\n");
  for (size_t i = 0; i < files.size(); ++i) {
    TimgData data(kBuildAll, FullReader());
    const bool read = data.ReadPicture(files[i]);
    if (json)
      std::printf("%s%s\n", JsonObject(files[i], read, data).c_str(),
                  i + 1 < files.size() ? "," : "");
    else
      PrintText(files[i], read, data);
  }
  if (json) std::printf("]\n");
  return 0;
}

}  // namespace
}  // namespace tessaly

int main(int argc, char** argv) { return tessaly::Run(argc, argv); }
