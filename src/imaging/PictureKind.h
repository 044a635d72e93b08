// What kind of picture a file is, in one place for the folder listing, the
// Open dialog, the render, the copy's name and the metadata tool. The
// extension says whether a file is a picture at all; the first bytes (the
// formats' signatures) correct the kind where the extension lies, as when a
// phone saves a HEIF photo under a .jpg name. Plain C++, no Qt.
#pragma once

#include <string>
#include <string_view>

namespace tessaly {

enum class PictureKind {
  Jpeg,   // decoded by libjpeg; EXIF from its APP1 segment
  Heif,   // decoded by libheif (ISO/IEC 23008-12)
  Other,  // another format that Qt's image readers take
  None,   // not a picture
};

// The extensions of each kind, lower case, without the dot. The JPEG names
// the metadata reader opens as JPEG containers are kJpegContainerExtensions;
// .jfif is decoded as JPEG but not read for EXIF.
inline constexpr const char* kJpegContainerExtensions[] = {"jpg", "jpeg", "jpe"};
inline constexpr const char* kJpegExtensions[] = {"jpg", "jpeg", "jpe", "jfif"};
inline constexpr const char* kHeifExtensions[] = {"heic", "heif", "hif"};

// The extension of a file name (after its last dot, not in a folder part),
// lower case (ASCII letters only: the name is bytes); empty without one.
std::string LowerExtension(std::string_view fileName);

// Whether an extension (lower case) is one of the list's.
template <size_t N>
bool HasExtension(const char* const (&list)[N], std::string_view extension) {
  for (const char* entry : list)
    if (extension == entry) return true;
  return false;
}

// Decides whether the other formats' extensions (Qt's readers) count; the
// plain C++ side passes none, so only JPEG and HEIF names are pictures.
using OtherFormatTest = bool (*)(std::string_view lowerExtension);

// The kind by the name alone.
PictureKind KindOfName(std::string_view fileName, OtherFormatTest other = nullptr);

// The kind a file's first bytes show, None when they match no signature the
// program knows (which leaves the decision to the name).
PictureKind KindOfSignature(std::string_view firstBytes);

// The kind of the file at path (file-system bytes): by its name, then, for a
// picture name, by its first bytes when they are readable and show another
// known format.
PictureKind KindOf(const std::string& path, OtherFormatTest other = nullptr);

}  // namespace tessaly
