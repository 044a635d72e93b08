// The edge between the programs and the HEIF module. libheif and its codecs
// (libde265, x265, ...) take milliseconds to load and start, so the code that
// uses libheif (HeifFile.cpp) is built as a module of its own, loaded by
// HeifLoader.cpp when the first HEIF file is met. A JPEG-only run never
// loads it. No exception crosses this edge: the module's calls say whether
// they worked and leave the reason in a HeifFailure.
#pragma once

#include <cstdint>
#include <string>

#include "HeifFile.h"

namespace tessaly {

struct HeifFailure {
  std::string text;      // the reason alone, without the file's path
  bool opening = false;  // the file itself could not be opened
};

// One HEIF file opened by the module; the calls of HeifFile.h.
class HeifModuleFile {
 public:
  virtual ~HeifModuleFile() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual bool CheckClaimedSizes(HeifFailure& failure) const = 0;
  // False when the file has no thumbnail of the picture's proportions.
  virtual bool ThumbnailSize(int& width, int& height) const = 0;
  virtual bool Decode(bool thumbnail, HeifFailure& failure) = 0;
  virtual int DecodedWidth() const = 0;
  virtual int DecodedHeight() const = 0;
  virtual const uint8_t* Row(int y) const = 0;
  // False when there is no usable EXIF item.
  virtual bool Exif(std::string& bytes) const = 0;
  // False when there is no usable XMP item.
  virtual bool Xmp(std::string& bytes) const = 0;
  virtual HeifFile::Colour ColourOf() const = 0;
};

// The module's one entry, looked up by this name: opens path (file-system
// bytes); nullptr and the reason in failure when that fails.
using HeifModuleOpen = HeifModuleFile* (*)(const char* path, HeifFailure* failure);
inline constexpr char kHeifModuleEntry[] = "tessaly_heif_open_v2";

}  // namespace tessaly
