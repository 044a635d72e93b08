#include "ExifReader.h"

namespace tessaly {

namespace {

// Throws unless the bytes pos .. pos + width - 1 (1-based) lie in the buffer.
void CheckRange(const std::string& buffer, int64_t pos, int64_t width) {
  if (pos < 1 || pos - 1 > static_cast<int64_t>(buffer.size()) - width)
    throw ReadError("Read outside the data at position " + std::to_string(pos));
}

uint8_t ByteAt(const std::string& buffer, int64_t pos) {
  return static_cast<uint8_t>(buffer[static_cast<size_t>(pos - 1)]);
}

}  // namespace

uint16_t tEndInd::Get16(int64_t pos) const {
  CheckRange(buffer, pos, 2);
  const uint16_t first = ByteAt(buffer, pos), second = ByteAt(buffer, pos + 1);
  return bigEndian ? static_cast<uint16_t>(first << 8 | second)
                   : static_cast<uint16_t>(second << 8 | first);
}

int32_t tEndInd::Get32(int64_t pos) const {
  CheckRange(buffer, pos, 4);
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    const uint32_t byte = ByteAt(buffer, bigEndian ? pos + i : pos + 3 - i);
    value = value << 8 | byte;
  }
  return static_cast<int32_t>(value);
}

}  // namespace tessaly
