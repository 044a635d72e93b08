// HEIF pictures (ISO/IEC 23008-12, HEIC among them) through libheif: the
// primary image upright as the file's rotation and mirror properties turn it,
// its own thumbnail, and its EXIF item. Plain C++ without Qt, so that the
// metadata tool shows HEIF files too; the window's side is HeifCodec.h.
// HeifFile itself is built into the HEIF module, loaded only when a HEIF
// file is met; the programs reach it through HeifPicture (HeifLoader.h),
// which also holds ReadHeifExif.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "PictureKind.h"
#include "RenderCap.h"

namespace tessaly {

// A HEIF file that cannot be opened, read or decoded; what() is the reason
// alone (libheif's message, or the system's), without the file's path.
class HeifError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The file itself cannot be opened (missing, no permission, not a regular file).
class HeifOpenError : public HeifError {
 public:
  using HeifError::HeifError;
};

class HeifFile {
 public:
  // Opens the file at path (file-system bytes) and reads its boxes, not the
  // coded pictures. Throws HeifError, "Picture too large: W x H pixels"
  // when an image item (a tile, a thumbnail), or a grid or overlay the
  // primary image is made of, claims more than kMaxRenderBytes of RGB.
  explicit HeifFile(const std::string& path);
  // The same over bytes in memory, which must outlive the object.
  enum FromMemory { kFromMemory };
  HeifFile(std::string_view bytes, FromMemory);
  ~HeifFile();
  HeifFile(const HeifFile&) = delete;
  HeifFile& operator=(const HeifFile&) = delete;

  // The primary image, upright.
  int Width() const;
  int Height() const;

  // Throws HeifError ("Picture too large: W x H pixels") when the primary
  // image as libheif sees it is past the cap too.
  void CheckClaimedSizes() const;

  // The upright size of the file's own thumbnail when it has the primary
  // image's proportions (to a pixel), else none.
  std::optional<std::pair<int, int>> ThumbnailSize() const;

  // Decodes the primary image (or the thumbnail) into 8-bit RGB rows, upright.
  // Throws HeifError.
  void Decode(bool thumbnail);
  int DecodedWidth() const;
  int DecodedHeight() const;
  const uint8_t* Row(int y) const;  // DecodedWidth() * 3 bytes

  // The primary image's EXIF item from its TIFF header on (ISO/IEC 23008-12
  // annex A: the item's first four bytes, big-endian, give the header's
  // offset after them), or none when it has no such item or it is malformed.
  std::optional<std::string> Exif() const;

  // The primary image's XMP item (a 'mime' item of type
  // "application/rdf+xml"), or none.
  std::optional<std::string> Xmp() const;

  // The primary image's colour as its 'colr' properties give it: an ICC
  // profile, and the nclx colour (the chromaticities of its primaries and
  // white point, its transfer characteristics code) when there is one.
  struct Colour {
    std::string icc;
    bool nclx = false;
    double red[2] = {}, green[2] = {}, blue[2] = {}, white[2] = {};
    int transfer = 2;
  };
  Colour ColourOf() const;

  struct State;

 private:
  void Open();
  std::unique_ptr<State> state_;
};

// The EXIF bytes of the HEIF file at path, from the TIFF header on, as
// HeifFile::Exif(); none also when the file cannot be read. Never throws.
std::optional<std::string> ReadHeifExif(const std::string& path);

}  // namespace tessaly
