#include "OutputText.h"

#include <cstdio>

#include "ExifReader.h"

namespace tessaly {

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view kListingBreak = "\r\n";

std::string Escaped(const char* format, unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::string ValidUtf8(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  while (!bytes.empty()) {
    const size_t length = Utf8SequenceLength(bytes);
    if (length == 0) {
      text += kReplacement;
      bytes.remove_prefix(1);
    } else {
      text += bytes.substr(0, length);
      bytes.remove_prefix(length);
    }
  }
  return text;
}

std::string TerminalText(std::string_view utf8) {
  std::string text;
  text.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const auto next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
    if (c < 0x20 || c == 0x7F) {
      text += Escaped("\\x%02X", c);
    } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {  // U+0080 to U+009F
      text += Escaped("\\u%04X", next);
      ++i;
    } else {
      text += static_cast<char>(c);
    }
  }
  return text;
}

std::string TerminalListing(std::string_view bytes) {
  std::string text;
  for (size_t start = 0;;) {
    const size_t end = bytes.find(kListingBreak, start);
    text += TerminalText(Win1251ToUtf8(bytes.substr(start, end - start)));
    if (end == std::string_view::npos) return text;
    text += '\n';
    start = end + kListingBreak.size();
  }
}

}  // namespace tessaly
