// Colour profiles of stamped copies through Little CMS: whether a profile is
// sRGB, an ICC profile for colours a HEIF file gives as primaries and a
// transfer function, and the conversion of rows to sRGB.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tessaly {

// True when the profile (ICC.1) describes RGB pixels, the only kind a copy
// holds; a CMYK or grey profile would not fit the copy's pixels.
bool IsRgbProfile(const std::string& icc);

// The profile's description (its 'desc' tag) in ASCII, empty when it has none.
std::string ProfileDescription(const std::string& icc);

// An sRGB profile (IEC 61966-2-1) to embed after a conversion.
std::string SrgbProfile();

// Colours given as in ISO/IEC 23003-4 (the nclx colour of HEIF): the CIE xy
// chromaticities of the primaries and the white point and a transfer
// characteristics code (ITU-T H.273 table 3).
struct PrimariesAndTransfer {
  double red[2], green[2], blue[2], white[2];
  int transfer = 2;
};

// True when the colours are those of sRGB (BT.709 primaries, D65, the sRGB
// curve, or an unspecified curve).
bool IsSrgb(const PrimariesAndTransfer& colours);

// An equivalent ICC profile; empty when the transfer function has no
// equivalent curve (PQ and HLG of HDR pictures).
std::string ProfileFromPrimaries(const PrimariesAndTransfer& colours, const std::string& description);

// Converts 8-bit RGB rows from a profile to sRGB with the perceptual intent.
class SrgbConversion {
 public:
  // Null when the profile cannot be read, is not RGB or already is sRGB
  // (its conversion changes no pixel by more than one level).
  static std::unique_ptr<SrgbConversion> From(const std::string& icc);
  ~SrgbConversion();
  SrgbConversion(const SrgbConversion&) = delete;
  SrgbConversion& operator=(const SrgbConversion&) = delete;

  void Convert(const uint8_t* in, uint8_t* out, int pixels) const;

 private:
  explicit SrgbConversion(void* transform) : transform_(transform) {}
  void* transform_;
};

}  // namespace tessaly
