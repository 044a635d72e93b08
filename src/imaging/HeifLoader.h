// The programs' way to HEIF files: the HEIF module (HeifModule.h) loaded on
// the first call that needs it, never for a run that meets no HEIF file.
// Also ReadHeifExif of HeifFile.h, which live here, on the
// programs' side.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "HeifFile.h"
#include "HeifModule.h"

namespace tessaly {

// Where the programs look for the module: beside them, at the place the
// installation gives it (lib/tessaly under the prefix, also in the build
// tree), found from the running program's own path.
std::string HeifModulePath();

// HeifFile's calls through the module. Throws HeifError (HeifOpenError when
// the file cannot be opened); a module that cannot be loaded is a HeifError
// too, saying why.
class HeifPicture {
 public:
  explicit HeifPicture(const std::string& path);
  ~HeifPicture();
  HeifPicture(const HeifPicture&) = delete;
  HeifPicture& operator=(const HeifPicture&) = delete;

  int Width() const { return file_->Width(); }
  int Height() const { return file_->Height(); }
  void CheckClaimedSizes() const;
  std::optional<std::pair<int, int>> ThumbnailSize() const;
  void Decode(bool thumbnail);
  int DecodedWidth() const { return file_->DecodedWidth(); }
  int DecodedHeight() const { return file_->DecodedHeight(); }
  const uint8_t* Row(int y) const { return file_->Row(y); }
  std::optional<std::string> Exif() const;
  std::optional<std::string> Xmp() const;
  HeifFile::Colour ColourOf() const { return file_->ColourOf(); }

 private:
  std::unique_ptr<HeifModuleFile> file_;
};

}  // namespace tessaly
