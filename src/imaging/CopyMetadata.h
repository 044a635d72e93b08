// What a stamped copy carries of its photo: the colour profile always, the
// EXIF, XMP and IPTC data unless the settings say otherwise, the comment as
// its caption. Gathered from the photo before the render; the segments are
// made once the copy's size is known. Metadata that cannot be carried is
// left out and said why, never failing the export.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ColourProfiles.h"
#include "CopySettings.h"
#include "JpegMetadata.h"

namespace tessaly {

class CopyMetadata {
 public:
  // Reads the photo's profile and metadata (JPEG segments, a HEIF file's
  // items and colour, the profile Qt's readers report for other formats).
  // Never throws: a photo that cannot be read gives nothing here, and its
  // render says why.
  CopyMetadata(const QString& picture, const CopySettings& settings, const QString& comment);
  ~CopyMetadata();

  int Quality() const { return settings_.quality; }

  // The segments that follow SOI in a copy of width x height pixels, in
  // order: EXIF, XMP, the ICC profile, the Photoshop resources (IPTC).
  std::vector<JpegMarker> Markers(uint32_t width, uint32_t height);

  // The conversion the copy's pixels go through, or null when they keep
  // the photo's colours.
  const SrgbConversion* Conversion() const { return conversion_.get(); }

  // Why something was left out, in one line ("" when nothing was).
  QString Warning() const;

 private:
  CopySettings settings_;
  std::string comment_;  // UTF-8
  std::string icc_;
  std::vector<size_t> iccChunks_;
  std::string exif_, xmp_, photoshop_;
  std::unique_ptr<SrgbConversion> conversion_;
  std::vector<std::string> problems_;

  void ReadJpeg(const std::string& path);
  void ReadHeif(const std::string& path);
  void ReadOther(const QString& picture);
  void SettleProfile();
};

}  // namespace tessaly
