#include "ColourProfiles.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include <lcms2.h>

namespace tessaly {

namespace {

// ICC.1:2010 section 7.2: the header is 128 bytes; the data colour space
// signature stands at byte 16.
constexpr size_t kIccHeaderSize = 128;

struct ProfileCloser {
  void operator()(void* p) const { cmsCloseProfile(p); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

Profile Open(const std::string& icc) {
  if (icc.size() < kIccHeaderSize || icc.size() > UINT32_MAX) return nullptr;
  return Profile(cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size())));
}

std::string Save(cmsHPROFILE profile) {
  cmsUInt32Number size = 0;
  if (!profile || !cmsSaveProfileToMem(profile, nullptr, &size) || size == 0) return {};
  std::string bytes(size, '\0');
  if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) return {};
  bytes.resize(size);
  return bytes;
}

void SetDescription(cmsHPROFILE profile, const std::string& text) {
  cmsMLU* mlu = cmsMLUalloc(nullptr, 1);
  if (!mlu) return;
  cmsMLUsetASCII(mlu, "en", "US", text.c_str());
  cmsWriteTag(profile, cmsSigProfileDescriptionTag, mlu);
  cmsMLUfree(mlu);
}

// A transfer characteristics code (ITU-T H.273 table 3) as the parametric
// curve of type 4 (ICC.1 section 10.18: Y = (aX + b)^g for X >= d, else cX)
// that decodes it; false for curves without one.
bool CurveParameters(int transfer, double params[5]) {
  switch (transfer) {
    case 1: case 6: case 14: case 15: {  // BT.709, BT.601, BT.2020
      const double p[5] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
      std::copy(p, p + 5, params);
      return true;
    }
    case 2: case 13: {  // unspecified (taken as sRGB), IEC 61966-2-1
      const double p[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
      std::copy(p, p + 5, params);
      return true;
    }
    case 4: case 5: case 8: {  // gamma 2.2, gamma 2.8, linear
      const double g = transfer == 4 ? 2.2 : transfer == 5 ? 2.8 : 1.0;
      const double p[5] = {g, 1, 0, 0, 0};
      std::copy(p, p + 5, params);
      return true;
    }
    default: return false;
  }
}

bool Near(double a, double b) { return std::abs(a - b) < 0.002; }

}  // namespace

bool IsRgbProfile(const std::string& icc) {
  return icc.size() >= kIccHeaderSize && icc.compare(16, 4, "RGB ") == 0;
}

std::string ProfileDescription(const std::string& icc) {
  const Profile profile = Open(icc);
  if (!profile) return {};
  char text[256] = {};
  cmsGetProfileInfoASCII(profile.get(), cmsInfoDescription, "en", "US", text, sizeof text);
  return text;
}

std::string SrgbProfile() {
  static const std::string bytes = [] {
    const Profile srgb(cmsCreate_sRGBProfile());
    return Save(srgb.get());
  }();
  return bytes;
}

bool IsSrgb(const PrimariesAndTransfer& c) {
  return Near(c.red[0], 0.64) && Near(c.red[1], 0.33) && Near(c.green[0], 0.30) && Near(c.green[1], 0.60) &&
         Near(c.blue[0], 0.15) && Near(c.blue[1], 0.06) && Near(c.white[0], 0.3127) && Near(c.white[1], 0.3290) &&
         (c.transfer == 2 || c.transfer == 13);
}

std::string ProfileFromPrimaries(const PrimariesAndTransfer& c, const std::string& description) {
  double params[5];
  if (!CurveParameters(c.transfer, params)) return {};
  const cmsCIExyY white{c.white[0], c.white[1], 1.0};
  const cmsCIExyYTRIPLE primaries{{c.red[0], c.red[1], 1.0}, {c.green[0], c.green[1], 1.0}, {c.blue[0], c.blue[1], 1.0}};
  cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, params);
  if (!curve) return {};
  cmsToneCurve* curves[3] = {curve, curve, curve};
  const Profile profile(cmsCreateRGBProfile(&white, &primaries, curves));
  cmsFreeToneCurve(curve);
  if (!profile) return {};
  SetDescription(profile.get(), description);
  return Save(profile.get());
}

std::unique_ptr<SrgbConversion> SrgbConversion::From(const std::string& icc) {
  if (!IsRgbProfile(icc)) return nullptr;
  const Profile source = Open(icc);
  const Profile srgb(cmsCreate_sRGBProfile());
  if (!source || !srgb) return nullptr;
  cmsHTRANSFORM transform =
      cmsCreateTransform(source.get(), TYPE_RGB_8, srgb.get(), TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
  if (!transform) return nullptr;
  std::unique_ptr<SrgbConversion> conversion(new SrgbConversion(transform));
  // A profile that is sRGB by another name converts every colour to itself;
  // its pixels are left alone. A coarse grid of colours tells.
  std::vector<uint8_t> grid, converted;
  for (int r = 0; r < 256; r += 17)
    for (int g = 0; g < 256; g += 17)
      for (int b = 0; b < 256; b += 17) grid.insert(grid.end(), {uint8_t(r), uint8_t(g), uint8_t(b)});
  converted.resize(grid.size());
  conversion->Convert(grid.data(), converted.data(), int(grid.size() / 3));
  for (size_t i = 0; i < grid.size(); ++i)
    if (std::abs(int(grid[i]) - int(converted[i])) > 1) return conversion;
  return nullptr;
}

SrgbConversion::~SrgbConversion() { cmsDeleteTransform(transform_); }

void SrgbConversion::Convert(const uint8_t* in, uint8_t* out, int pixels) const {
  cmsDoTransform(transform_, in, out, cmsUInt32Number(pixels));
}

}  // namespace tessaly
