#include "PictureKind.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tessaly {

namespace {

// Enough for a HEIF file's 'ftyp' box with a few compatible brands.
constexpr size_t kSignatureBytes = 64;

// The brands of HEIF files with HEVC pictures and of the image-file family
// they belong to (ISO/IEC 23008-12 annex B and section 10.2).
constexpr std::string_view kHeifBrands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1"};

bool StartsWith(std::string_view bytes, std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; }

bool HeifBrand(std::string_view brand) {
  for (const std::string_view heif : kHeifBrands)
    if (brand == heif) return true;
  return false;
}

// An 'ftyp' box first (ISO/IEC 14496-12 section 4.3): its size, the type,
// the major brand, a version, then compatible brands up to its size.
bool IsHeif(std::string_view bytes) {
  if (bytes.size() < 16 || bytes.substr(4, 4) != "ftyp") return false;
  const auto byte = [&](size_t i) { return size_t(static_cast<unsigned char>(bytes[i])); };
  const size_t size = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
  if (HeifBrand(bytes.substr(8, 4))) return true;
  for (size_t at = 16; at + 4 <= std::min(size, bytes.size()); at += 4)
    if (HeifBrand(bytes.substr(at, 4))) return true;
  return false;
}

}  // namespace

std::string LowerExtension(std::string_view fileName) {
  const size_t dot = fileName.find_last_of("./");
  if (dot == std::string_view::npos || fileName[dot] != '.') return {};
  std::string ext(fileName.substr(dot + 1));
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return ext;
}

PictureKind KindOfName(std::string_view fileName, OtherFormatTest other) {
  const std::string ext = LowerExtension(fileName);
  if (ext.empty()) return PictureKind::None;
  if (HasExtension(kJpegExtensions, ext)) return PictureKind::Jpeg;
  if (HasExtension(kHeifExtensions, ext)) return PictureKind::Heif;
  return other && other(ext) ? PictureKind::Other : PictureKind::None;
}

PictureKind KindOfSignature(std::string_view bytes) {
  // JPEG/JFIF: SOI and the next marker's FF (ITU-T T.81 annex B).
  if (StartsWith(bytes, "\xFF\xD8\xFF")) return PictureKind::Jpeg;
  if (IsHeif(bytes)) return PictureKind::Heif;
  // Formats Qt reads that are easily mistaken for the two: PNG, GIF,
  // TIFF in both byte orders, WebP.
  static constexpr std::string_view kOthers[] = {
      "\x89PNG\r\n\x1A\n", "GIF87a", "GIF89a", std::string_view("II*\0", 4), std::string_view("MM\0*", 4)};
  for (const std::string_view signature : kOthers)
    if (StartsWith(bytes, signature)) return PictureKind::Other;
  if (StartsWith(bytes, "RIFF") && bytes.substr(8, 4) == "WEBP") return PictureKind::Other;
  return PictureKind::None;
}

PictureKind KindOf(const std::string& path, OtherFormatTest other) {
  const PictureKind named = KindOfName(path, other);
  if (named == PictureKind::None) return named;
  // Without blocking: a named pipe is no picture, and the decoders say so.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return named;
  char buffer[kSignatureBytes];
  ssize_t got;
  do got = ::pread(fd, buffer, sizeof buffer, 0);
  while (got < 0 && errno == EINTR);
  ::close(fd);
  if (got <= 0) return named;
  const PictureKind signed_ = KindOfSignature(std::string_view(buffer, size_t(got)));
  return signed_ == PictureKind::None ? named : signed_;
}

}  // namespace tessaly
