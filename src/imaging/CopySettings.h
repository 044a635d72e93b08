// What a stamped copy carries of its photo and how it is encoded: the
// choices the window keeps and tessaly-stamp takes as its defaults.
#pragma once

#include <QByteArray>

namespace tessaly {

struct CopySettings {
  bool convertToSrgb = false;  // pixels converted to sRGB, an sRGB profile embedded
  bool keepLocation = false;   // the GPS data stays
  bool noMetadata = false;     // no EXIF, IPTC or XMP (the profile stays)
  int quality = 100;           // JPEG quality, 1..100
  bool operator==(const CopySettings&) const = default;
};

inline constexpr int kMinQuality = 1;
inline constexpr int kMaxQuality = 100;

// "CopyOptions.ini", kept beside the default font's files:
//   [Copy]
//   ConvertToSrgb=false
//   KeepLocation=false
//   NoMetadata=false
//   Quality=100
inline constexpr char kCopyOptionsFileName[] = "CopyOptions.ini";
QByteArray CopySettingsText(const CopySettings& settings);
// Takes the settings the text holds; unknown keys and values that do not
// parse (a quality outside 1..100) are passed over.
void ReadCopySettings(const QByteArray& text, CopySettings& settings);

}  // namespace tessaly
