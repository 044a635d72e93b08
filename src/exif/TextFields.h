// Fields of value texts ("72/1, 30/1", " 2005"): the pieces the reader's
// formatters are made of, offered to the maker-note formatters too.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tessaly {

// A 32-bit decimal integer: leading blanks, an optional sign, at least one
// digit and nothing after the digits. Anything else, or a value outside the
// 32-bit range, gives no value.
inline std::optional<int32_t> ParseDecimal(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return std::nullopt;
  int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > int64_t{INT32_MAX} + 1) return std::nullopt;
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

// Splits a value text at its first ", " as the position formatters do: returns
// the fraction before it and leaves in rest the text from the blank after the
// comma on (at most 64 characters). Without ", " the number is 0 and rest is
// the whole text (at most 64 characters).
double TakeLeadingFraction(std::string_view& rest);

// Without leading and trailing blanks and control characters.
std::string_view Trimmed(std::string_view text);

}  // namespace tessaly
