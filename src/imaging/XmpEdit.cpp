#include "XmpEdit.h"

#include <memory>
#include <mutex>
#include <vector>

#include <exempi/xmp.h>
#include <exempi/xmpconsts.h>

namespace tessaly {

namespace {

// An XMP packet in a JPEG file fits one APP1 segment with its 29-byte
// signature (XMP part 3 section 1.1.3).
constexpr size_t kMaxPacket = 65535 - 2 - 29;
constexpr uint32_t kPadding = 256;
constexpr char kXmpNoteNamespace[] = "http://ns.adobe.com/xmp/note/";

struct XmpFree {
  void operator()(XmpPtr x) const { xmp_free(x); }
};
struct StringFree {
  void operator()(XmpStringPtr s) const { xmp_string_free(s); }
};
struct IteratorFree {
  void operator()(XmpIteratorPtr i) const { xmp_iterator_free(i); }
};
using Xmp = std::unique_ptr<std::remove_pointer_t<XmpPtr>, XmpFree>;
using XmpString = std::unique_ptr<std::remove_pointer_t<XmpStringPtr>, StringFree>;
using Iterator = std::unique_ptr<std::remove_pointer_t<XmpIteratorPtr>, IteratorFree>;

bool Initialised() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] { ready = xmp_init(); });
  return ready;
}

void SetIfPresent(XmpPtr xmp, const char* schema, const char* name, uint32_t value) {
  if (xmp_has_property(xmp, schema, name)) xmp_set_property_int32(xmp, schema, name, int32_t(value), 0);
}

// The location properties of the EXIF schema (EXIF 2.3 section 4.6.6 in
// XMP form): every top-level exif: property whose name starts with GPS.
void DropLocation(XmpPtr xmp) {
  std::vector<std::string> names;
  {
    const Iterator it(xmp_iterator_new(xmp, NS_EXIF, nullptr, XmpIterOptions(XMP_ITER_JUSTCHILDREN | XMP_ITER_JUSTLEAFNAME)));
    const XmpString schema(xmp_string_new()), name(xmp_string_new()), value(xmp_string_new());
    uint32_t options = 0;
    while (it && xmp_iterator_next(it.get(), schema.get(), name.get(), value.get(), &options)) {
      std::string leaf = xmp_string_cstr(name.get());
      if (const size_t colon = leaf.find(':'); colon != std::string::npos) leaf = leaf.substr(colon + 1);
      if (leaf.rfind("GPS", 0) == 0) names.push_back(leaf);
    }
  }
  for (const std::string& name : names) xmp_delete_property(xmp, NS_EXIF, name.c_str());
}

}  // namespace

bool EditXmp(const std::string& packet, const XmpChanges& changes, std::string& result, std::string* problem) {
  result.clear();
  const auto fail = [&](const char* why) {
    if (problem) *problem = why;
    return false;
  };
  if (packet.empty() && changes.description.empty()) return true;
  if (!Initialised()) return fail("the XMP toolkit cannot start");
  // Exports run on several threads; the toolkit is not promised to be
  // safe for that, and a packet is edited in no time.
  static std::mutex toolkit;
  const std::lock_guard lock(toolkit);
  Xmp xmp(packet.empty() ? xmp_new_empty() : xmp_new(packet.data(), packet.size()));
  if (!xmp) return fail("the XMP data does not parse");
  XmpPtr x = xmp.get();
  xmp_delete_property(x, NS_TIFF, "Orientation");
  xmp_delete_property(x, kXmpNoteNamespace, "HasExtendedXMP");
  SetIfPresent(x, NS_TIFF, "ImageWidth", changes.width);
  SetIfPresent(x, NS_TIFF, "ImageLength", changes.height);
  SetIfPresent(x, NS_EXIF, "PixelXDimension", changes.width);
  SetIfPresent(x, NS_EXIF, "PixelYDimension", changes.height);
  if (!changes.keepLocation) DropLocation(x);
  if (!changes.description.empty() &&
      !xmp_set_localized_text(x, NS_DC, "description", "", "x-default", changes.description.c_str(), 0))
    return fail("the caption cannot be written into the XMP data");
  const XmpString out(xmp_string_new());
  // In its packet wrapper (XMP part 1 section 7.3), with a little padding
  // for editors that change it in place.
  if (!xmp_serialize(x, out.get(), 0, kPadding)) return fail("the XMP data cannot be written");
  result = xmp_string_cstr(out.get());
  if (result.size() > kMaxPacket) {
    result.clear();
    return fail("the XMP data does not fit a JPEG segment");
  }
  return true;
}

}  // namespace tessaly
