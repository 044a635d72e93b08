// The bytes of a HEIF file as libheif and the size check read them: a file
// by its descriptor, or bytes in memory (the fuzz target's input).
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <unistd.h>

namespace tessaly {

struct HeifInput {
  int fd = -1;             // the file, or -1 for memory
  std::string_view bytes;  // the bytes when fd is -1
  int64_t size = 0;
  int64_t position = 0;    // libheif's reading position

  // Reads exactly count bytes at offset; false when there are fewer.
  bool ReadAt(int64_t offset, void* data, size_t count) const {
    if (offset < 0 || offset > size || int64_t(count) > size - offset) return false;
    auto* out = static_cast<char*>(data);
    if (fd < 0) {
      std::memcpy(out, bytes.data() + offset, count);
      return true;
    }
    while (count > 0) {
      const ssize_t got = ::pread(fd, out, count, offset);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      out += got;
      offset += got;
      count -= size_t(got);
    }
    return true;
  }
};

}  // namespace tessaly
