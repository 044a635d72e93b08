#include "CopyMetadata.h"

#include <QColorSpace>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <optional>

#include "DecodeMessages.h"
#include "ExifRewrite.h"
#include "HeifCodec.h"
#include "HeifLoader.h"
#include "PathBytes.h"
#include "PictureList.h"
#include "RenderCap.h"
#include "XmpEdit.h"

namespace tessaly {

namespace {

// libpng's errors end the read through this jump; its warnings (a damaged
// text chunk, say) are the render's to report, not this read's.
[[noreturn]] void PngFails(png_structp png, png_const_charp) {
  std::longjmp(*static_cast<std::jmp_buf*>(png_get_error_ptr(png)), 1);
}
void PngWarns(png_structp, png_const_charp) {}

// A PNG's embedded ICC profile (its iCCP chunk, PNG 1.2 section 4.2.2.4),
// read from the chunks before the picture data: empty when it has none or
// the header cannot be read (the render then says why); nullopt when the
// file is no PNG, or describes its colours by gamma and chromaticities
// alone (gAMA, cHRM), which Qt's reader turns into a profile.
std::optional<std::string> PngProfile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rbe");
  if (!file) return {};
  png_byte signature[8];
  if (std::fread(signature, 1, sizeof signature, file) != sizeof signature || png_sig_cmp(signature, 0, 8) != 0) {
    std::fclose(file);
    return std::nullopt;
  }
  std::jmp_buf failed;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &failed, PngFails, PngWarns);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::string profile;
  bool described = false;
  if (info && setjmp(failed) == 0) {
    png_init_io(png, file);
    png_set_sig_bytes(png, sizeof signature);
    png_read_info(png, info);
    png_charp name = nullptr;
    png_bytep data = nullptr;
    png_uint_32 length = 0;
    int compression = 0;
    if (png_get_iCCP(png, info, &name, &compression, &data, &length) == PNG_INFO_iCCP && data)
      profile.assign(reinterpret_cast<const char*>(data), length);
    else if (png_get_valid(png, info, PNG_INFO_gAMA | PNG_INFO_cHRM) && !png_get_valid(png, info, PNG_INFO_sRGB))
      described = true;
  }
  png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  std::fclose(file);
  if (described) return std::nullopt;
  return profile;
}

// EXIF ImageDescription holds ASCII (EXIF 2.3 section 4.6.5); other text is
// only the XMP caption's.
bool IsPrintableAscii(const std::string& text) {
  for (const char c : text)
    if (c < 0x20 || c > 0x7E) return false;
  return true;
}

// A name for the profile made from a HEIF file's nclx colour.
std::string NclxDescription(const HeifFile::Colour& c) {
  const auto near = [](double a, double b) { return std::abs(a - b) < 0.002; };
  if (near(c.red[0], 0.680) && near(c.red[1], 0.320) && near(c.white[0], 0.3127)) return "Display P3";
  if (near(c.red[0], 0.708) && near(c.red[1], 0.292)) return "ITU-R BT.2020";
  if (near(c.red[0], 0.640) && near(c.red[1], 0.330)) return "ITU-R BT.709";
  return "RGB (nclx)";
}

}  // namespace

CopyMetadata::CopyMetadata(const QString& picture, const CopySettings& settings, const QString& comment)
    : settings_(settings), comment_(comment.trimmed().toStdString()) {
  const std::string path = PathBytes(picture).toStdString();
  switch (KindOf(picture)) {
    case PictureKind::Jpeg: ReadJpeg(path); break;
    case PictureKind::Heif: ReadHeif(path); break;
    default:
      if (std::optional<std::string> profile = PngProfile(path))
        icc_ = std::move(*profile);
      else
        ReadOther(picture);
      break;
  }
  SettleProfile();
  if (settings_.noMetadata) exif_.clear(), xmp_.clear(), photoshop_.clear();
}

CopyMetadata::~CopyMetadata() = default;

void CopyMetadata::ReadJpeg(const std::string& path) {
  std::vector<JpegMarker> segments;
  if (!ReadJpegAppSegments(path, segments, nullptr)) return;  // the render says why
  JpegMetadata meta = CollectJpegMetadata(segments);
  icc_ = std::move(meta.icc);
  iccChunks_ = std::move(meta.iccChunks);
  exif_ = std::move(meta.exif);
  xmp_ = std::move(meta.xmp);
  photoshop_ = std::move(meta.photoshop);
  if (!meta.problem.empty()) problems_.push_back("ICC profile left out: " + meta.problem);
  if (!photoshop_.empty() && !settings_.noMetadata) {
    std::string kept;
    if (!DropPhotoshopThumbnails(photoshop_, kept)) problems_.push_back("IPTC left out: its Photoshop resources are damaged");
    photoshop_ = std::move(kept);
  }
}

void CopyMetadata::ReadHeif(const std::string& path) {
  try {
    const HeifPicture file(path);
    if (std::optional<std::string> exif = file.Exif()) exif_ = std::move(*exif);
    if (std::optional<std::string> xmp = file.Xmp()) xmp_ = std::move(*xmp);
    const HeifFile::Colour colour = file.ColourOf();
    icc_ = colour.icc;
    if (icc_.empty() && colour.nclx) {
      const PrimariesAndTransfer nclx{{colour.red[0], colour.red[1]}, {colour.green[0], colour.green[1]},
                                      {colour.blue[0], colour.blue[1]}, {colour.white[0], colour.white[1]},
                                      colour.transfer};
      if (!IsSrgb(nclx)) icc_ = ProfileFromPrimaries(nclx, NclxDescription(colour));
    }
  } catch (const std::exception&) {
    // The render opens the file again and reports what is wrong.
  }
}

// Formats other than JPEG, HEIF and PNG: the profile Qt's reader finds. The picture is decoded for
// it; the render decodes it again and reports what its decoder says, so what
// the decoder says here is kept quiet.
void CopyMetadata::ReadOther(const QString& picture) {
  const int fd = ::open(PathBytes(picture).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  QFile file;
  if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    if (fd >= 0) ::close(fd);
    return;
  }
  QImageReader reader(&file, QFileInfo(picture).suffix().toLower().toLatin1());
  reader.setAllocationLimit(int(kMaxRenderBytes >> 20));
  const DecodeMessages quiet;
  const QImage image = reader.read();
  if (!image.isNull()) icc_ = image.colorSpace().iccProfile().toStdString();
}

void CopyMetadata::SettleProfile() {
  if (!icc_.empty() && !IsRgbProfile(icc_)) {
    // The copy's pixels are RGB whatever the photo's were.
    icc_.clear();
    iccChunks_.clear();
  }
  if (settings_.convertToSrgb && !icc_.empty()) {
    conversion_ = SrgbConversion::From(icc_);
    if (conversion_) {
      icc_ = SrgbProfile();
      iccChunks_.clear();
    }
  }
}

std::vector<JpegMarker> CopyMetadata::Markers(uint32_t width, uint32_t height) {
  std::vector<JpegMarker> markers;
  if (!exif_.empty()) {
    ExifChanges changes{width, height, settings_.keepLocation, {}};
    if (IsPrintableAscii(comment_)) changes.description = comment_;
    const ExifRewrite exif = RewriteExif(exif_, changes);
    if (exif.tiff.empty()) problems_.push_back("EXIF left out: " + exif.problem);
    else markers.push_back(ExifMarker(exif.tiff));
  }
  if (!settings_.noMetadata) {
    std::string packet, problem;
    if (!EditXmp(xmp_, {width, height, settings_.keepLocation, comment_}, packet, &problem))
      problems_.push_back("XMP left out: " + problem);
    else if (!packet.empty())
      markers.push_back(XmpMarker(packet));
  }
  for (JpegMarker& m : IccMarkers(icc_, iccChunks_)) markers.push_back(std::move(m));
  for (JpegMarker& m : PhotoshopMarkers(photoshop_)) markers.push_back(std::move(m));
  return markers;
}

QString CopyMetadata::Warning() const {
  QString text;
  for (const std::string& problem : problems_) {
    if (!text.isEmpty()) text += QStringLiteral("; ");
    text += QString::fromStdString(problem);
  }
  return text;
}

}  // namespace tessaly
